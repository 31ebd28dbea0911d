// The text menu and the command menu of a note, and text formatting.
#pragma once
#include <windows.h>

void ShowNotesMenu(HWND editor, HWND noteWindow);
void ShowCommandMenu(HWND noteWindow);
// Carries out one command of the text menu on an editor.
void RunTextCommand(HWND editor, HWND noteWindow, UINT command);

void ToggleBold(HWND editor);
void ToggleItalic(HWND editor);
void ToggleUnderline(HWND editor);
void ToggleStrikeOut(HWND editor);
void SetAlignment(HWND editor, WORD alignment);
void ChooseSelectionFont(HWND editor, HWND owner);
void ClearRichText(HWND editor);

// LOGFONT height for a character height in twips at a resolution.
LONG FontHeightFromTwips(LONG twips, int pixelsPerInch);
