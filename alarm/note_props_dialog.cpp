// STUB: the note properties dialog is being written.
#include "alarm/note_props_dialog.h"
DWORD NotePropsDialogOpen;
NoteRecord* CurrentPropsNote;
HWND hNotePropsDialog;
void OpenNoteProperties(HWND) {}
void OpenListNoteProperties(NoteRecord*) {}
void ForgetNoteProperties(NoteRecord*) {}
void ShowNoteSoundName(HWND, const char*) {}
INT_PTR CALLBACK NotePropsDialogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
