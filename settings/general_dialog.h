// Dialog 123 "Einstellungen allgemein" and the colour and sound pickers that
// the alarm dialog shares.
#pragma once
#include <windows.h>

#define SWATCH_COUNT   7
#define SIZE_TRACK_MIN 100
#define SIZE_TRACK_MAX 1000
#define NO_COLOR_CHOSEN 0xFFFFFFFF

extern DWORD    GeneralDialogOpen;
extern HWND     hGeneralDialog;
extern COLORREF CustomColors[16];

// The colour of swatch control 1026..1032.
COLORREF SwatchColor(int controlId);
BOOL IsSwatch(int controlId);

void OpenGeneralProperties();
COLORREF ChooseNoteColor(COLORREF initial);
BOOL ChooseWaveFile(HWND owner, char* path);
void ShowAlarmFileName(HWND dialog);
INT_PTR CALLBACK GeneralDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
