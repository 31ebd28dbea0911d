#include "alarm/note_props_dialog.h"
#include <commctrl.h>
#include <richedit.h>
#include "notes/note_frame.h"
#include "resources/resource.h"
#include "settings/pickers.h"
#include "shell/globals.h"
#include "shell/services.h"

// ---- Module state ---------------------------------------------------------
DWORD       NotePropsDialogOpen;
NoteRecord* CurrentPropsNote;
HWND        hNotePropsDialog;
HBRUSH      hPropsSwatchBrush;
// CurrentPropsNote as a reference that finds it gone.
static NoteRef PropsNoteRef;

namespace {

struct AlarmSpin {
    int spin;
    int edit;
    WORD NoteRecord::*field;
    int low, high;
};

// The first five are the alarm's date and time, stored when the alarm is
// armed; the reminder interval is stored only when the dialog closes.
const AlarmSpin AlarmSpins[] = {
    { IDC_PROPS_HOUR_SPIN,   IDC_PROPS_HOUR,   &NoteRecord::alarmHour,   0, 23 },
    { IDC_PROPS_MINUTE_SPIN, IDC_PROPS_MINUTE, &NoteRecord::alarmMinute, 0, 59 },
    { IDC_PROPS_DAY_SPIN,    IDC_PROPS_DAY,    &NoteRecord::alarmDay,    1, 31 },
    { IDC_PROPS_MONTH_SPIN,  IDC_PROPS_MONTH,  &NoteRecord::alarmMonth,  1, 12 },
    { IDC_PROPS_YEAR_SPIN,   IDC_PROPS_YEAR,   &NoteRecord::alarmYear,   ALARM_YEAR_MIN, ALARM_YEAR_MAX },
    { IDC_PROPS_REPEAT_SPIN, IDC_PROPS_REPEAT, &NoteRecord::alarmRepeatMinutes, 0, ALARM_REPEAT_MAX },
};
const int DateTimeSpinCount = 5;
const int AllSpinCount = sizeof AlarmSpins / sizeof AlarmSpins[0];

void StoreShownValues(HWND dialog, NoteRecord* note, int count)
{
    for (int i = 0; i < count; i++)
        note->*AlarmSpins[i].field = static_cast<WORD>(GetDlgItemInt(dialog, AlarmSpins[i].edit, NULL, FALSE));
}

void ShowValue(HWND dialog, int edit, WORD value)
{
    SetDlgItemInt(dialog, edit, value, FALSE);
}

// The note's editor takes the colour, its frame shows the state.
void RepaintNote(const NoteRecord* note)
{
    if (!note->window) return;
    if (note->editor) SendMessageA(note->editor, EM_SETBKGNDCOLOR, 0, note->backColor);
    RedrawNoteFrame(note->window);
}

// A modal chooser runs a message loop in which the dialog may end (its owner
// destroyed, its note deleted); after it only a dialog still open may act.
bool StillEditing(HWND dialog, const NoteRecord* note)
{
    return hNotePropsDialog == dialog && ResolveNote(PropsNoteRef) == note;
}

// Every way the dialog ends, except its note being deleted, comes here once.
void FinishEditing(HWND dialog, NoteRecord* note)
{
    StoreShownValues(dialog, note, AllSpinCount);
    hNotePropsDialog = NULL;
    NotePropsDialogOpen = 0;
    note->frameState = FRAME_NORMAL;
    note->reminderCountdown = 0;
    RepaintNote(note);
}

void OpenPropsDialog(NoteRecord* note, HWND owner)
{
    CurrentPropsNote = note;
    PropsNoteRef = RefToNote(note);
    note->frameState = FRAME_PROPERTIES;
    if (note->window) RedrawNoteFrame(note->window);
    NotePropsDialogOpen = 1;
    HWND dialog = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_NOTE_PROPS), owner,
                                     NotePropsDialogProc, 0);
    if (!dialog) {
        hNotePropsDialog = NULL;
        NotePropsDialogOpen = 0;
        note->frameState = FRAME_NORMAL;
        if (note->window) RedrawNoteFrame(note->window);
        return;
    }
    // The dialog opens at its owner's corner; for a note near the lower
    // right of the screen that would put most of it out of reach.
    KeepWindowOnScreen(dialog);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
}

}  // namespace

void OpenNoteProperties(HWND noteWindow)
{
    if (NotePropsDialogOpen) return;
    NoteRecord* note = FindNoteByWindow(noteWindow);
    // The lookup stands in a windowless note for an unknown window; the
    // dialog must edit the note of this window or none.
    if (!note || !noteWindow || note->window != noteWindow) return;
    OpenPropsDialog(note, noteWindow);
}

void OpenListNoteProperties(NoteRecord* note)
{
    if (NotePropsDialogOpen || !note) return;
    OpenPropsDialog(note, hMainDialog);
}

void ShowNoteSoundName(HWND dialog, const char* path)
{
    ShowSoundFileTitle(dialog, path);
}

// ---- Dialog procedure -------------------------------------------------------
static void OnInitDialog(HWND dialog, const NoteRecord* note)
{
    hNotePropsDialog = dialog;
    ShowNoteSoundName(dialog, note->soundFile);
    for (const AlarmSpin& spin : AlarmSpins)
        SendDlgItemMessageA(dialog, spin.spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(dialog, spin.edit)), 0);
    for (const AlarmSpin& spin : AlarmSpins)
        SendDlgItemMessageA(dialog, spin.spin, UDM_SETRANGE32, spin.low, spin.high);
    ShowValue(dialog, IDC_PROPS_REPEAT, note->alarmRepeatMinutes);
    if (note->alarmYear != 0) {
        for (int i = 0; i < DateTimeSpinCount; i++)
            ShowValue(dialog, AlarmSpins[i].edit, note->*AlarmSpins[i].field);
    } else {
        SYSTEMTIME now;
        GetLocalTime(&now);
        ShowValue(dialog, IDC_PROPS_HOUR, now.wHour);
        ShowValue(dialog, IDC_PROPS_MINUTE, now.wMinute);
        ShowValue(dialog, IDC_PROPS_DAY, now.wDay);
        ShowValue(dialog, IDC_PROPS_MONTH, now.wMonth);
        ShowValue(dialog, IDC_PROPS_YEAR, now.wYear);
    }
    CheckDlgButton(dialog, IDC_PROPS_ALARM_ON, note->alarmOn == 1 ? BST_CHECKED : BST_UNCHECKED);
}

static void OnSwatch(HWND dialog, NoteRecord* note, int id)
{
    SetNoteColor(note, SwatchColor(id));
    RepaintColorPreview(dialog);
    RepaintNote(note);
}

static void OnChooseColor(HWND dialog, NoteRecord* note)
{
    ShowWindow(dialog, SW_HIDE);
    COLORREF color = ChooseNoteColor(note->backColor);
    if (!StillEditing(dialog, note)) return;
    if (color != NO_COLOR_CHOSEN) SetNoteColor(note, color);
    RepaintNote(note);
    ShowWindow(dialog, SW_SHOW);
    RepaintColorPreview(dialog);
}

// The box is not read: a click flips the note's switch from what it holds.
static void OnAlarmSwitch(HWND dialog, NoteRecord* note)
{
    if (note->alarmOn != 0) {
        note->alarmOn = 0;
        return;
    }
    note->alarmOn = 1;
    StoreShownValues(dialog, note, DateTimeSpinCount);
}

static void OnChooseSound(HWND dialog, NoteRecord* note)
{
    char path[WAVE_PATH_SIZE] = "";
    if (ChooseWaveFile(dialog, path) != 1 || !StillEditing(dialog, note)) return;
    lstrcpynA(note->soundFile, path, sizeof note->soundFile);
    ShowNoteSoundName(dialog, note->soundFile);
}

static void OnClose(HWND dialog, NoteRecord* note)
{
    FinishEditing(dialog, note);
    DestroyWindow(dialog);
}

// Reached without OnClose when the owner note window is destroyed first (the
// notes hidden, or made anew for "Immer im Vordergrund"): end as by a close.
static void OnDestroy(HWND dialog, NoteRecord* note)
{
    if (hNotePropsDialog == dialog) FinishEditing(dialog, note);
}

static void OnCommand(HWND dialog, NoteRecord* note, WPARAM command)
{
    int id = static_cast<int>(command);   // notification code 0 only
    if (IsSwatch(id)) {
        OnSwatch(dialog, note, id);
        return;
    }
    switch (id) {
    case IDC_CHOOSE_COLOR:
        OnChooseColor(dialog, note);
        break;
    case IDC_PROPS_ALARM_ON:
        OnAlarmSwitch(dialog, note);
        break;
    case IDC_TEST_SOUND:
        PlayFileSound(note->soundFile);
        break;
    case IDC_CHOOSE_SOUND:
        OnChooseSound(dialog, note);
        break;
    case IDC_CLOSE:
        OnClose(dialog, note);
        break;
    default:
        break;
    }
}

// The note was deleted while the dialog was open: the dialog ends without
// touching it, with its owner (a deleted note's window) or at the user's
// next click.
static void OnNoteGone(HWND dialog, UINT message)
{
    if (hNotePropsDialog != dialog) return;
    CurrentPropsNote = nullptr;
    hNotePropsDialog = NULL;
    NotePropsDialogOpen = 0;
    if (message != WM_DESTROY) DestroyWindow(dialog);
}

static HBRUSH OnCtlColorStatic(HWND control, const NoteRecord* note)
{
    return SwatchBrushFor(&hPropsSwatchBrush, GetDlgCtrlID(control), note->backColor);
}

INT_PTR CALLBACK NotePropsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    NoteRecord* note = ResolveNote(PropsNoteRef);
    if (!note) {
        if (message == WM_COMMAND || message == WM_CLOSE || message == WM_DESTROY) OnNoteGone(dialog, message);
        return 0;
    }
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, note);
        return 0;
    case WM_COMMAND:
        OnCommand(dialog, note, wParam);
        return 0;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(OnCtlColorStatic(reinterpret_cast<HWND>(lParam), note));
    case WM_CLOSE:
        OnClose(dialog, note);
        return 0;
    case WM_DESTROY:
        OnDestroy(dialog, note);
        return 0;
    case WM_HELP:
        ShowHelp();
        return 0;
    default:
        return 0;
    }
}
