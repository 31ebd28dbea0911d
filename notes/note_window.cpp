// STUB: the note windows are being written.
#include "notes/note_window.h"
HWND EnumeratedChild;
int MakeNoteWindow(NoteRecord*, DWORD, NoteTextSource) { return 0; }
void SetUpNoteEditor(HWND, COLORREF) {}
void KeepNoteOnScreen(NoteRecord*) {}
int CreateNote() { return 0; }
int ShowAllNotes() { return 1; }
int ShowVisibleNotes() { return 1; }
LRESULT CALLBACK NoteWndProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }
BOOL CALLBACK FindEditorChild(HWND child, LPARAM) { EnumeratedChild = child; return TRUE; }
HWND FindNoteEditor(HWND) { return NULL; }
void HideAllNoteWindows() {}
TitleButton HitTitleButton(const RECT&, int, int) { return TitleNone; }
