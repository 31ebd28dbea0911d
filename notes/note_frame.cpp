#include "notes/note_frame.h"
#include "notes/note_record.h"
#include "shell/globals.h"
#include "shell/guards.h"
#include "shell/services.h"
#include "resources/resource.h"

#define TITLE_ICON_CACHE 32

struct LoadedIcon { int resource; int size; HICON icon; };
static LoadedIcon LoadedIcons[TITLE_ICON_CACHE];
static int LoadedIconCount;

HICON TitleIcon(int resource, int size, HICON fallback)
{
    for (int i = 0; i < LoadedIconCount; ++i)
        if (LoadedIcons[i].resource == resource && LoadedIcons[i].size == size) return LoadedIcons[i].icon;
    if (LoadedIconCount == TITLE_ICON_CACHE) return fallback;
    HICON icon = static_cast<HICON>(LoadImageA(hInstance, MAKEINTRESOURCEA(resource), IMAGE_ICON, size, size, 0));
    if (!icon) return fallback;
    LoadedIcon loaded = { resource, size, icon };
    LoadedIcons[LoadedIconCount++] = loaded;
    return icon;
}

void FreeTitleIcons()
{
    while (LoadedIconCount > 0) DestroyIcon(LoadedIcons[--LoadedIconCount].icon);
}

HPEN CreateFramePen(LONG frameState, int width)
{
    int style = width > 1 ? PS_INSIDEFRAME : PS_SOLID;
    switch (frameState) {
    case FRAME_PROPERTIES:
        return CreatePen(style, width, FRAME_PEN_PROPERTIES);
    case FRAME_RINGING:
        return CreatePen(style, width, FRAME_PEN_RINGING);
    default:
        return width > 1 ? CreatePen(style, width, FRAME_PEN_NORMAL) : NULL;
    }
}

static void DrawFrameIcon(HDC dc, int x, int resource, HICON icon, UINT dpi)
{
    int size = ScaledToDpi(FRAME_ICON_SIZE, dpi);
    DrawIconEx(dc, x, ScaledToDpi(FRAME_ICON_TOP, dpi), TitleIcon(resource, size, icon), size, size, 0, NULL,
               DI_NORMAL);
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
    UINT dpi = WindowDpi(window);
    GdiObject<HPEN> pen(CreateFramePen(note->frameState, ScaledToDpi(1, dpi)));
    SelectedObject selectedPen(dc, pen.get());
    Rectangle(dc, 0, 0, width, height);
    DrawFrameIcon(dc, ScaledToDpi(FRAME_MENU_ICON_X, dpi), IDI_MENU, hMenuIcon, dpi);
    DrawFrameIcon(dc, width - ScaledToDpi(FRAME_KILL_ICON_FROM_RIGHT, dpi), IDI_KILL, hKillIcon, dpi);
    DrawFrameIcon(dc, width - ScaledToDpi(FRAME_HIDE_ICON_FROM_RIGHT, dpi), IDI_HIDE, hHideIcon, dpi);
    if (note->alarmOn == 1)
        DrawFrameIcon(dc, ScaledToDpi(FRAME_ALARM_ICON_X, dpi), IDI_ALARM, hAlarmIcon, dpi);
}

void RedrawNoteFrame(HWND window)
{
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_FRAME);
}
