#include "settings/general_dialog.h"
#include <commctrl.h>
#include <stdio.h>
#include "notes/note_window.h"
#include "settings/pickers.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/globals.h"
#include "shell/services.h"

// ---- Module state ---------------------------------------------------------
DWORD    GeneralDialogOpen;
HWND     hGeneralDialog;
// The brush last handed out for a swatch or the preview (see SwatchBrushFor).
HBRUSH   hSwatchBrush;

namespace {

struct CheckBoxSetting {
    int id;
    DWORD* setting;
};

const CheckBoxSetting CheckBoxes[] = {
    { IDC_GEN_STARTUP_HIDDEN, &AppSettings.startupNotes },
    { IDC_GEN_SPLASH,         &AppSettings.splash },
    { IDC_GEN_STARTUP_ALARMS, &AppSettings.startupAlarms },
    { IDC_GEN_SOUND_ON,       &AppSettings.sound },
    { IDC_GEN_SAFE_MODE,      &AppSettings.safeMode },
    { IDC_GEN_ON_TOP,         &AppSettings.alwaysOnTop },
};

DWORD* SettingOfCheckBox(int id)
{
    for (const CheckBoxSetting& box : CheckBoxes)
        if (box.id == id) return box.setting;
    return nullptr;
}

}  // namespace

void ShowAlarmFileName(HWND dialog)
{
    ShowSoundFileTitle(dialog, AppSettings.defaultAlarm);
}

void OpenGeneralProperties()
{
    if (GeneralDialogOpen) return;
    GeneralDialogOpen = 1;
    HWND dialog = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_GENERAL), hMainDialog,
                                     GeneralDialogProc, 0);
    if (!dialog) {
        GeneralDialogOpen = 0;
        return;
    }
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
}

// ---- Dialog procedure -------------------------------------------------------
static void ShowSizeLabels(HWND dialog)
{
    char text[16];
    sprintf(text, "%d", static_cast<int>(AppSettings.notesSizeX));
    SetDlgItemTextA(dialog, IDC_GEN_WIDTH_LABEL, text);
    sprintf(text, "%d", static_cast<int>(AppSettings.notesSizeY));
    SetDlgItemTextA(dialog, IDC_GEN_HEIGHT_LABEL, text);
}

static void SetUpSizeTrackbar(HWND dialog, int id, LONG size)
{
    SendDlgItemMessageA(dialog, id, TBM_SETRANGE, TRUE, MAKELPARAM(SIZE_TRACK_MIN, SIZE_TRACK_MAX));
    SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, size);
}

static void OnInitDialog(HWND dialog)
{
    hGeneralDialog = dialog;
    SetUpSizeTrackbar(dialog, IDC_GEN_WIDTH, AppSettings.notesSizeX);
    SetUpSizeTrackbar(dialog, IDC_GEN_HEIGHT, AppSettings.notesSizeY);
    ShowSizeLabels(dialog);
    for (const CheckBoxSetting& box : CheckBoxes)
        CheckDlgButton(dialog, box.id, *box.setting == 1 ? BST_CHECKED : BST_UNCHECKED);
    ShowAlarmFileName(dialog);
}

// Any move of either trackbar stores both, so both sizes end up in range.
static void OnSizeTrackbar(HWND dialog)
{
    AppSettings.notesSizeX = static_cast<LONG>(SendDlgItemMessageA(dialog, IDC_GEN_WIDTH, TBM_GETPOS, 0, 0));
    AppSettings.notesSizeY = static_cast<LONG>(SendDlgItemMessageA(dialog, IDC_GEN_HEIGHT, TBM_GETPOS, 0, 0));
    ShowSizeLabels(dialog);
    UpdateWindow(dialog);
}

// The colour dialog belongs to the main dialog; this one steps aside meanwhile.
static void OnChooseColor(HWND dialog)
{
    ShowWindow(dialog, SW_HIDE);
    COLORREF color = ChooseNoteColor(AppSettings.defaultBackColor);
    if (color != NO_COLOR_CHOSEN) AppSettings.defaultBackColor = color;
    if (!IsWindow(dialog)) return;
    ShowWindow(dialog, SW_SHOW);
    RepaintColorPreview(dialog);
}

static void OnChooseSound(HWND dialog)
{
    char path[SETTINGS_PATH_SIZE] = "";
    if (ChooseWaveFile(dialog, path) != 1) return;
    lstrcpynA(AppSettings.defaultAlarm, path, sizeof AppSettings.defaultAlarm);
    if (IsWindow(dialog)) ShowAlarmFileName(dialog);
}

static void OnCloseButton(HWND dialog)
{
    SaveSettings();
    GeneralDialogOpen = 0;
    ShowWindow(dialog, SW_HIDE);
    ShowVisibleNotes();
    DestroyWindow(dialog);
}

static void OnClose(HWND dialog)
{
    SaveSettings();
    GeneralDialogOpen = 0;
    DestroyWindow(dialog);
}

static void OnDestroy(HWND dialog)
{
    if (hGeneralDialog == dialog) hGeneralDialog = NULL;
    GeneralDialogOpen = 0;
}

static void OnCommand(HWND dialog, WPARAM command)
{
    int id = static_cast<int>(command);   // notification code 0 only
    if (IsSwatch(id)) {
        AppSettings.defaultBackColor = SwatchColor(id);
        RepaintColorPreview(dialog);
        return;
    }
    if (DWORD* setting = SettingOfCheckBox(id)) {
        *setting = ToggledFlag(*setting);
        return;
    }
    switch (id) {
    case IDC_CHOOSE_COLOR:
        OnChooseColor(dialog);
        break;
    case IDC_TEST_SOUND:
        PlayFileSound(AppSettings.defaultAlarm);
        break;
    case IDC_CHOOSE_SOUND:
        OnChooseSound(dialog);
        break;
    case IDC_CLOSE:
        OnCloseButton(dialog);
        break;
    default:
        break;
    }
}

static HBRUSH OnCtlColorStatic(HWND control)
{
    return SwatchBrushFor(&hSwatchBrush, GetDlgCtrlID(control), AppSettings.defaultBackColor);
}

INT_PTR CALLBACK GeneralDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return 0;
    case WM_COMMAND:
        OnCommand(dialog, wParam);
        return 0;
    case WM_HSCROLL:
        OnSizeTrackbar(dialog);
        return 0;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(OnCtlColorStatic(reinterpret_cast<HWND>(lParam)));
    case WM_CLOSE:
        OnClose(dialog);
        return 0;
    case WM_DESTROY:
        OnDestroy(dialog);
        return 0;
    case WM_HELP:
        ShowHelp();
        return 0;
    default:
        return 0;
    }
}
