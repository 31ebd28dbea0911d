// STUB: import, export and printing are being written.
#include "notes/note_io.h"
BOOL ChooseRtfFile(HWND, char*, RtfDialogMode) { return FALSE; }
void ImportNoteText(HWND) {}
void ExportNoteText(HWND) {}
void PrintRichText(HWND) {}
int RenderRichTextPages(HWND, HDC) { return 0; }
