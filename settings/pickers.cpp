#include "settings/pickers.h"
#include <commdlg.h>
#include "resources/resource.h"
#include "shell/globals.h"
#include "shell/services.h"
#include "shell/ui_text.h"

// ---- Module state ---------------------------------------------------------
COLORREF CustomColors[16];

namespace {

const COLORREF SwatchColors[SWATCH_COUNT] = {
    0x00FE9832,   // blue
    0x00CBFECB,   // pale green
    0x0098FEFE,   // pale yellow, the default colour of new notes
    0x00FECBCB,   // pale blue
    0x00C0C0C0,   // grey
    0x00FFFFFF,   // white
    0x006532FE,   // pink red
};

const wchar_t WaveFilter[] = L"WAVE Files (*.WAV)\0*.WAV\0";

}  // namespace

BOOL IsSwatch(int controlId)
{
    return controlId >= IDC_SWATCH_FIRST && controlId <= IDC_SWATCH_LAST;
}

COLORREF SwatchColor(int controlId)
{
    return IsSwatch(controlId) ? SwatchColors[controlId - IDC_SWATCH_FIRST] : 0;
}

HBRUSH SwatchBrushFor(HBRUSH* held, int controlId, COLORREF previewColor)
{
    COLORREF color;
    if (controlId == IDC_COLOR_PREVIEW) color = previewColor;
    else if (IsSwatch(controlId)) color = SwatchColor(controlId);
    else return NULL;
    if (*held) DeleteObject(*held);
    *held = CreateSolidBrush(color);
    return *held;
}

void RepaintColorPreview(HWND dialog)
{
    HWND preview = GetDlgItem(dialog, IDC_COLOR_PREVIEW);
    InvalidateRect(preview, NULL, TRUE);
    UpdateWindow(preview);
}

void ShowSoundFileTitle(HWND dialog, const char* path)
{
    char title[FILE_TITLE_SIZE];
    if (path[0] == 0 || GetFileTitleA(path, title, sizeof title) != 0)
        lstrcpynA(title, path, sizeof title);
    SetDlgItemTextA(dialog, IDC_SOUND_NAME, title);
}

COLORREF ChooseNoteColor(COLORREF initial)
{
    CHOOSECOLORA request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = hMainDialog;
    request.hInstance = reinterpret_cast<HWND>(hInstance);
    request.rgbResult = initial;
    request.lpCustColors = CustomColors;
    request.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR;
    if (!ChooseColorA(&request)) return NO_COLOR_CHOSEN;
    return request.rgbResult;
}

BOOL SoundPathForRecord(const wchar_t* path, char* out, size_t outSize)
{
    if (ToCodePage(path, out, outSize)) return TRUE;
    wchar_t shortPath[MAX_PATH];
    DWORD length = GetShortPathNameW(path, shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH && ToCodePage(shortPath, out, outSize);
}

// The file dialog opens in the start folder, beside the program's own sounds,
// and leaves the current directory wherever the user went. A file the record
// cannot name is refused, and the sound stays as it was.
BOOL ChooseWaveFile(HWND owner, char* path)
{
    EnterDataFolder();
    SetCurrentDirectoryA("..");
    wchar_t chosen[MAX_PATH] = L"";
    OPENFILENAMEW request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.lpstrFilter = WaveFilter;
    request.nFilterIndex = 1;
    request.lpstrFile = chosen;
    request.nMaxFile = MAX_PATH;
    request.Flags = OFN_PATHMUSTEXIST;
    request.lpstrDefExt = L"WAV";
    if (!GetOpenFileNameW(&request)) return FALSE;
    if (SoundPathForRecord(chosen, path, WAVE_PATH_SIZE)) return TRUE;
    wchar_t text[MAX_PATH + 256];
    wsprintfW(text, TEXT_ERR_SOUND_PATH, chosen);
    ShowError(text);
    return FALSE;
}
