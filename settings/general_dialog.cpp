// STUB: the general properties dialog is being written.
#include "settings/general_dialog.h"
DWORD GeneralDialogOpen;
HWND hGeneralDialog;
COLORREF CustomColors[16];
COLORREF SwatchColor(int) { return 0; }
BOOL IsSwatch(int) { return FALSE; }
void OpenGeneralProperties() {}
COLORREF ChooseNoteColor(COLORREF) { return NO_COLOR_CHOSEN; }
BOOL ChooseWaveFile(HWND, char*) { return FALSE; }
void ShowAlarmFileName(HWND) {}
INT_PTR CALLBACK GeneralDialogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
