// STUB: the note list is being written.
#include "notelist/note_list_dialog.h"
DWORD NoteListDialogOpen;
NoteRecord* CurrentListNote;
int CurrentListRow;
HWND hNoteListDialog;
void FormatNoteListRow(const NoteRecord&, int, char[5][ROW_TEXT_SIZE]) {}
void OpenNoteList(HWND) {}
void FillNoteList(HWND) {}
void UpdateNoteListRow(HWND) {}
INT_PTR CALLBACK NoteListDialogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
