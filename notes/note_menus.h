// The text menu and the command menu of a note, and text formatting.
#pragma once
#include <windows.h>
#include <richedit.h>

#define COMMAND_MENU_DROP       16          // the command menu opens this far below the note's top
// ... and this far left of the note's edge: a popup that lies wholly inside
// another of the program's windows stays unpainted (black) under Wine's X11
// driver, and the command menu is smaller than a note of the default size.
#define COMMAND_MENU_OVERHANG   1
#define FONT_POINTS_MIN         1
#define FONT_POINTS_MAX         1638
#define TWIPS_PER_INCH          1440
// What the font command sets: size, colour, face, character set, the four
// effects and (cleared) protection and link; never the baseline offset.
#define CHOSEN_FONT_MASK        (CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_CHARSET | CFM_BOLD | CFM_ITALIC | \
                                 CFM_UNDERLINE | CFM_STRIKEOUT | CFM_PROTECTED | CFM_LINK)

void ShowNotesMenu(HWND editor, HWND noteWindow);
void ShowCommandMenu(HWND noteWindow);
// Where the command menu's left edge goes: the overhang, kept on the note's monitor.
LONG CommandMenuLeft(HWND noteWindow, LONG windowLeft);
// Carries out one command of the text menu on an editor.
void RunTextCommand(HWND editor, HWND noteWindow, UINT command);
// Ticks the text menu for the effects and alignment in force.
void SetTextMenuTicks(HMENU menu, DWORD effects, WORD alignment);

void ToggleBold(HWND editor);
void ToggleItalic(HWND editor);
void ToggleUnderline(HWND editor);
void ToggleStrikeOut(HWND editor);
void SetAlignment(HWND editor, WORD alignment);
void ChooseSelectionFont(HWND editor, HWND owner);
void ClearRichText(HWND editor);

// LOGFONT height for a character height in twips at a resolution.
LONG FontHeightFromTwips(LONG twips, int pixelsPerInch);
// The font dialog's starting font for a selection's format.
void LogFontFromFormat(const CHARFORMATA& format, int pixelsPerInch, LOGFONTA* font);
// Turns the selection's format into the one the chosen font and colour give.
void FormatFromChosenFont(const LOGFONTA& font, int pointSizeTenths, COLORREF color, CHARFORMATA* format);
