// STUB: the note menus are being written.
#include "notes/note_menus.h"
void ShowNotesMenu(HWND, HWND) {}
void ShowCommandMenu(HWND) {}
void RunTextCommand(HWND, HWND, UINT) {}
void ToggleBold(HWND) {}
void ToggleItalic(HWND) {}
void ToggleUnderline(HWND) {}
void ToggleStrikeOut(HWND) {}
void SetAlignment(HWND, WORD) {}
void ChooseSelectionFont(HWND, HWND) {}
void ClearRichText(HWND) {}
LONG FontHeightFromTwips(LONG, int) { return 0; }
