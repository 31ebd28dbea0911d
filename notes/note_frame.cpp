// STUB: the frame painting is being written.
#include "notes/note_frame.h"
void DrawNoteFrame(HWND) {}
void RedrawNoteFrame(HWND window) { RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_FRAME); }
