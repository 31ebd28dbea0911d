#include "notes/note_frame.h"
#include "notes/note_record.h"
#include "shell/globals.h"
#include "shell/guards.h"

HPEN CreateFramePen(LONG frameState)
{
    switch (frameState) {
    case FRAME_PROPERTIES:
        return CreatePen(PS_SOLID, 1, FRAME_PEN_PROPERTIES);
    case FRAME_RINGING:
        return CreatePen(PS_SOLID, 1, FRAME_PEN_RINGING);
    default:
        return NULL;
    }
}

static void DrawFrameIcon(HDC dc, int x, HICON icon)
{
    DrawIconEx(dc, x, FRAME_ICON_TOP, icon, FRAME_ICON_SIZE, FRAME_ICON_SIZE, 0, NULL, DI_NORMAL);
}

void DrawNoteFrame(HWND window)
{
    NoteRecord* note = FindNoteByWindow(window);
    if (!note) return;
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    WindowDC dc(window, true);
    if (!dc) return;
    // The editor covers the client area and paints it itself; drawing over
    // it would make it paint a second time.
    RECT editor;
    if (note->editor && GetWindowRect(note->editor, &editor))
        ExcludeClipRect(dc, editor.left - rect.left, editor.top - rect.top, editor.right - rect.left,
                        editor.bottom - rect.top);
    // Declared in this order so that the pen is selected out before it is
    // deleted, and everything is selected out before the DC is released.
    SelectedObject brush(dc, note->backBrush);
    GdiObject<HPEN> pen(CreateFramePen(note->frameState));
    SelectedObject selectedPen(dc, pen.get());
    Rectangle(dc, 0, 0, width, height);
    DrawFrameIcon(dc, FRAME_MENU_ICON_X, hMenuIcon);
    DrawFrameIcon(dc, width - FRAME_KILL_ICON_FROM_RIGHT, hKillIcon);
    DrawFrameIcon(dc, width - FRAME_HIDE_ICON_FROM_RIGHT, hHideIcon);
    if (note->alarmOn == 1) DrawFrameIcon(dc, FRAME_ALARM_ICON_X, hAlarmIcon);
}

void RedrawNoteFrame(HWND window)
{
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_FRAME);
}
