// Dialog 123 "Einstellungen allgemein" and the colour and sound pickers that
// the alarm dialog shares.
#pragma once
#include <windows.h>

#define SWATCH_COUNT   7
#define SIZE_TRACK_MIN 100
#define SIZE_TRACK_MAX 1000
#define NO_COLOR_CHOSEN 0xFFFFFFFF
#define WAVE_PATH_SIZE 256   // what ChooseWaveFile may write, zero included
#define FILE_TITLE_SIZE 260

extern DWORD    GeneralDialogOpen;
extern HWND     hGeneralDialog;
extern COLORREF CustomColors[16];
extern HBRUSH   hSwatchBrush;

// The colour of swatch control 1026..1032.
COLORREF SwatchColor(int controlId);
BOOL IsSwatch(int controlId);

// The brush for a swatch or the colour preview of dialogs 123 and 144: the
// brush held in *held is deleted and replaced by one of the control's colour
// (the preview shows previewColor). NULL for every other control.
HBRUSH SwatchBrushFor(HBRUSH* held, int controlId, COLORREF previewColor);
// Repaints the colour preview 1017 of a dialog now.
void RepaintColorPreview(HWND dialog);
// Puts the file title of a path into control 1035; a path that has no title
// (empty or malformed) is shown as it stands.
void ShowSoundFileTitle(HWND dialog, const char* path);

void OpenGeneralProperties();
COLORREF ChooseNoteColor(COLORREF initial);
BOOL ChooseWaveFile(HWND owner, char* path);
void ShowAlarmFileName(HWND dialog);
INT_PTR CALLBACK GeneralDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
