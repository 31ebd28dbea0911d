// The painted frame of a note: its colour, its outline and the four icons.
#pragma once
#include <windows.h>

#define FRAME_PEN_PROPERTIES  RGB(0, 255, 0)
#define FRAME_PEN_RINGING     RGB(255, 0, 0)
#define FRAME_PEN_NORMAL      RGB(0, 0, 0)
#define FRAME_ICON_SIZE       16
#define FRAME_ICON_TOP        1
#define FRAME_MENU_ICON_X     1
#define FRAME_ALARM_ICON_X    22
#define FRAME_HIDE_ICON_FROM_RIGHT  39
#define FRAME_KILL_ICON_FROM_RIGHT  17

void DrawNoteFrame(HWND window);
// A title icon (IDI_MENU, IDI_ALARM, IDI_HIDE, IDI_KILL) at its own pixel
// size, loaded once per size; `fallback` where the size cannot be loaded.
HICON TitleIcon(int resource, int size, HICON fallback);
// Destroys the icons TitleIcon loaded.
void FreeTitleIcons();
// Invalidates a note's frame so that it is painted again.
void RedrawNoteFrame(HWND window);
// The outline pen of a frame state; null for the DC's own (black) pen.
// A wider outline (scaled displays) is always a pen of its own.
HPEN CreateFramePen(LONG frameState, int width = 1);
