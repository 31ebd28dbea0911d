// Import, export and printing of a note's text.
#pragma once
#include <windows.h>

#define RTF_PATH_SIZE 260
#define PRINT_LEFT    1000     // print area in twips
#define PRINT_TOP     1000
#define PRINT_RIGHT   10080
#define PRINT_BOTTOM  14400

enum RtfDialogMode { RtfSave = 0, RtfOpen = 1 };

BOOL ChooseRtfFile(HWND owner, wchar_t* path, RtfDialogMode mode);
void ImportNoteText(HWND noteWindow, HWND editor);
void ExportNoteText(HWND noteWindow, HWND editor);
void PrintRichText(HWND editor);
// The page loop on a device context on which the caller has started the
// document and its first page; the caller ends the last page. Returns the
// number of pages rendered.
int RenderRichTextPages(HWND editor, HDC printer);
