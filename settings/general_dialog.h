// Dialog 123 "Einstellungen allgemein": the settings of new notes and of
// the program's start.
#pragma once
#include <windows.h>

#define SIZE_TRACK_MIN 100
#define SIZE_TRACK_MAX 1000

extern DWORD    GeneralDialogOpen;
extern HWND     hGeneralDialog;
extern HBRUSH   hSwatchBrush;

void OpenGeneralProperties();
void ShowAlarmFileName(HWND dialog);
INT_PTR CALLBACK GeneralDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
