#include "notes/note_window.h"
#include <algorithm>
#include <limits.h>
#include <richedit.h>
#include <windowsx.h>
#include "alarm/note_props_dialog.h"
#include "notes/note_frame.h"
#include "notes/note_io.h"
#include "notes/note_menus.h"
#include "notes/note_store.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/globals.h"
#include "shell/services.h"
#include "shell/ui_text.h"

// ---- Module state ---------------------------------------------------------
HWND EnumeratedChild;

// ---- Making note windows ------------------------------------------------------
void SetUpNoteEditor(HWND editor, COLORREF backColor)
{
    SendMessageA(editor, EM_SETBKGNDCOLOR, 0, backColor);
    SendMessageA(editor, EM_LIMITTEXT, 0, 0);
    // The control's default limit would cut a long note short when its text
    // is streamed in, and the cut text would be saved back that way.
    SendMessageA(editor, EM_EXLIMITTEXT, 0, NOTE_TEXT_LIMIT);
    SendMessageA(editor, EM_SETEVENTMASK, 0, NOTE_EDITOR_EVENTS);
    // Text starts in the regular weight. Wine's control starts bold but
    // writes its runs as if it started regular, so a note saved there would
    // read back with the text before a bold run bold too.
    CHARFORMAT2W regular = {};
    regular.cbSize = sizeof regular;
    regular.dwMask = CFM_BOLD;
    SendMessageW(editor, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&regular));
}

// Before the window exists the stored place is judged; afterwards the
// window's own rectangle, since the system may have given it another size
// than the stored one (its tracking limits).
void KeepNoteOnScreen(NoteRecord* note)
{
    RECT place;
    LONGLONG right, bottom;
    if (note->window) {
        if (!GetWindowRect(note->window, &place)) return;
        right = place.right;
        bottom = place.bottom;
    } else {
        right = static_cast<LONGLONG>(note->left) + note->width;
        bottom = static_cast<LONGLONG>(note->top) + note->height;
        SetRect(&place, note->left, note->top, ClampedToLong(right), ClampedToLong(bottom));
    }
    // A place at the very end of the coordinate range cannot hold the note
    // whole; such a note is off the screen whatever a monitor says.
    bool whole = place.right == right && place.bottom == bottom;
    if (whole && MonitorFromRect(&place, MONITOR_DEFAULTTONULL)) return;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromRect(&place, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    LONG width = note->window ? place.right - place.left : note->width;
    LONG height = note->window ? place.bottom - place.top : note->height;
    POINT inside = PlaceInsideArea(place.left, place.top, width, height, monitor.rcWork);
    note->left = inside.x;
    note->top = inside.y;
    if (note->window)
        SetWindowPos(note->window, NULL, inside.x, inside.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Said once while the file stays unreadable. The box's loop may remove the
// note; the caller then goes no further with it.
static int TellTextUnread(const NoteRecord* note)
{
    wchar_t text[512];
    wsprintfW(text, TEXT_ERR_READ_NOTE, note->fileName);
    NoteRef ref = RefToNote(const_cast<NoteRecord*>(note));
    ShowError(text);
    return ResolveNote(ref) != nullptr;
}

static void ReleaseBackBrush(NoteRecord* note)
{
    if (note->backBrush) DeleteObject(note->backBrush);
    note->backBrush = NULL;
}

int MakeNoteWindow(NoteRecord* note, DWORD editorStyle, NoteTextSource text)
{
    KeepNoteOnScreen(note);
    PassStep("keep_on_screen");
    note->editor = NULL;
    DWORD exStyle = NotesOnTop == 1 ? WS_EX_TOOLWINDOW | WS_EX_TOPMOST : WS_EX_TOOLWINDOW;
    // A note holds its brush only while it is shown: hidden notes hold no
    // GDI object.
    note->backBrush = CreateSolidBrush(note->backColor);
    // The record travels as the creation parameter, so that the messages sent
    // while the window is being made act on this record and no other.
    HWND window = note->backBrush ? CreateWindowExW(exStyle, NoteWindowClass, NOTE_WINDOW_TITLE, WS_THICKFRAME,
                                                    note->left, note->top, note->width, note->height,
                                                    NULL, NULL, hInstance, note)
                                  : NULL;
    if (!window) {
        ReleaseBackBrush(note);
        ShowError(TEXT_ERR_CREATE_WINDOW);
        return 0;
    }
    PassStep("create_window");
    KeepCornersSquare(window);
    note->window = window;
    KeepNoteOnScreen(note);
    PassStep("place_window");
    // Made at the client's size and visible, the editor is drawn once, with
    // its window.
    RECT client;
    GetClientRect(window, &client);
    HWND editor = CreateWindowExW(0, NOTE_EDITOR_CLASS, L"", editorStyle | WS_VISIBLE, 0, 0, client.right,
                                  client.bottom, window, NULL, hInstance, NULL);
    if (!editor) {
        note->window = NULL;
        DestroyWindow(window);
        ReleaseBackBrush(note);
        ShowError(TEXT_ERR_CREATE_RTF_WINDOW);
        return 0;
    }
    PassStep("create_editor");
    note->editor = editor;
    SetUpNoteEditor(editor, note->backColor);
    PassStep("set_up_editor");
    NoteTextLoad load = text == NoteTextFromFile ? LoadNoteText(note, editor) : NoteTextMissing;
    PassStep("stream_in");
    bool told = note->textUnread;
    note->textSaved = load == NoteTextLoaded;
    // A text that could not be read takes no typing: its file is not
    // written until a save reads it.
    note->textUnread = load == NoteTextUnreadable;
    if (note->textUnread) SendMessageA(editor, EM_SETREADONLY, TRUE, 0);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    PassStep("show_window");
    return note->textUnread && !told ? TellTextUnread(note) : 1;
}

int CreateNote()
{
    NoteRecord* note = NewNoteRecord();
    if (!note) return 0;
    PushNoteFront(note);
    PassStep("new_record");
    if (!MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextEmpty)) {
        UnlinkNote(note);
        DiscardNote(note);
        return 0;
    }
    SetForegroundWindow(note->window);
    SetFocus(note->editor);
    PassStep("foreground");
    return 1;
}

int ShowAllNotes()
{
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (!note->window) {
            note->visible = 1;
            if (!MakeNoteWindow(note, NOTE_EDITOR_STYLE_SHOWALL, NoteTextFromFile)) return 0;
        }
        SetForegroundWindow(note->window);
    }
    return 1;
}

int ShowVisibleNotes()
{
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (note->visible != 1) continue;
        if (!note->window && !MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile)) return 0;
        SetForegroundWindow(note->window);
        PassStep("foreground");
    }
    return 1;
}

int HideAllNoteWindows()
{
    // The editors still hold the texts; the windows go only once the texts
    // are on disk.
    if (!SaveNotes()) return 0;
    NotesHidden = 1;
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (note->window) DestroyNoteWindow(note);
    }
    return 1;
}

// The record lets go of the window first, so that no message sent while it
// is destroyed finds the record still holding it.
void DestroyNoteWindow(NoteRecord* note)
{
    HWND window = note->window;
    ShowWindow(window, SW_HIDE);
    note->window = NULL;
    note->editor = NULL;
    DestroyWindow(window);
    ReleaseBackBrush(note);
}

BOOL CALLBACK FindEditorChild(HWND child, LPARAM)
{
    EnumeratedChild = child;
    return TRUE;
}

HWND FindNoteEditor(HWND noteWindow)
{
    EnumeratedChild = NULL;
    EnumChildWindows(noteWindow, FindEditorChild, 0);
    return EnumeratedChild;
}

// The zones are given for 96 DPI and grow with the note's scale.
TitleButton HitTitleButton(const RECT& window, int x, int y, UINT dpi)
{
    x -= window.left;
    y -= window.top;
    int width = window.right - window.left;
    if (y <= ScaledToDpi(TITLE_BAND_TOP, dpi) || y >= ScaledToDpi(TITLE_BAND_BOTTOM, dpi)) return TitleNone;
    if (x > ScaledToDpi(TITLE_MENU_FROM, dpi) && x < ScaledToDpi(TITLE_MENU_TO, dpi)) return TitleMenu;
    if (x > ScaledToDpi(TITLE_ALARM_FROM, dpi) && x < ScaledToDpi(TITLE_ALARM_TO, dpi)) return TitleAlarm;
    if (x > width - ScaledToDpi(TITLE_HIDE_FROM_RIGHT, dpi) && x < width - ScaledToDpi(TITLE_HIDE_TO_RIGHT, dpi))
        return TitleHide;
    if (x > width - ScaledToDpi(TITLE_DELETE_FROM_RIGHT, dpi) && x < width + ScaledToDpi(TITLE_DELETE_TO_RIGHT, dpi))
        return TitleDelete;
    return TitleNone;
}

// -1 within the border before an edge's start, 1 within the one at its end.
static int BorderSide(int at, int length, int border)
{
    if (at < border) return -1;
    return at >= length - border ? 1 : 0;
}

// The hit-test code of a point (screen coordinates) of a note's window: the
// title buttons and the band are its caption, the border sizes it.
static LRESULT HitNoteFrame(const RECT& window, int x, int y, UINT dpi)
{
    static const LRESULT zones[3][3] = { { HTTOPLEFT, HTTOP, HTTOPRIGHT },
                                         { HTLEFT, HTCLIENT, HTRIGHT },
                                         { HTBOTTOMLEFT, HTBOTTOM, HTBOTTOMRIGHT } };
    if (HitTitleButton(window, x, y, dpi) != TitleNone) return HTCAPTION;
    int border = ScaledToDpi(NOTE_FRAME_BORDER, dpi);
    int column = BorderSide(x - window.left, window.right - window.left, border);
    int row = BorderSide(y - window.top, window.bottom - window.top, border);
    LRESULT zone = zones[row + 1][column + 1];
    if (zone == HTCLIENT && y - window.top < ScaledToDpi(NOTE_FRAME_BAND, dpi)) return HTCAPTION;
    return zone;
}

// ---- What the title-bar buttons and commands do ---------------------------
static void DeleteNoteWindow(HWND window)
{
    DeleteNote(window);
    DestroyWindow(window);
    if (NotesHidden == 0) ShowVisibleNotes();
}

static void AskAndDeleteNote(HWND window)
{
    // Only the window handle is used after the question: while the box is
    // open the record may go another way (note list, tray).
    if (AppSettings.safeMode == 1 &&
        MessageBoxW(window, TEXT_DELETE_QUESTION, TEXT_DELETE_CAPTION, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    DeleteNoteWindow(window);
}

static void HideNote(HWND window)
{
    // Saved while the editor exists; a text that did not reach its file
    // keeps its window.
    if (!SaveNotes()) return;
    NoteRecord* note = FindNoteByWindow(window);
    if (!note) return;
    if (AppSettings.sound == 1) PlayFileSound(TEXT_SOUND_HIDDEN);
    LONG step = ScaledToDpi(NOTE_ROLLUP_STEP, WindowDpi(window));
    for (LONG height = note->height; height > 0; height -= step) {
        MoveWindow(window, note->left, note->top, note->width, height, TRUE);
        UpdateWindow(window);
    }
    note->visible = 0;
    DestroyNoteWindow(note);
    if (NotesHidden == 0) ShowVisibleNotes();
}

static void AcknowledgeAlarm(HWND window, NoteRecord* note)
{
    note->frameState = FRAME_NORMAL;
    note->alarmOn = 0;
    // The ringing kept the note above the other windows.
    if (NotesOnTop != 1)
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawNoteFrame(window);
}

// ---- Message handlers -------------------------------------------------------
static void OnNcCreate(HWND window, LPARAM lParam)
{
    const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

// The window rectangle itself: the client position that WM_MOVE carries
// would need the height of the small tool-window caption.
static void OnMove(HWND window, NoteRecord* note)
{
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    note->left = rect.left;
    note->top = rect.top;
}

static void OnSize(NoteRecord* note, int width, int height)
{
    if (note->editor) MoveWindow(note->editor, 0, 0, width, height, TRUE);
}

static void OnSizing(HWND window, NoteRecord* note, RECT* rect)
{
    int least = ScaledToDpi(NOTE_MIN_SIZE, WindowDpi(window));
    if (rect->right - rect->left < least) rect->right = rect->left + least;
    if (rect->bottom - rect->top < least) rect->bottom = rect->top + least;
    note->width = rect->right - rect->left;
    note->height = rect->bottom - rect->top;
    if (note->editor) ShowWindow(note->editor, SW_SHOWMAXIMIZED);
}

// On a monitor of another scale the note takes the place and size Windows
// proposes; the text keeps its point size, the frame is drawn anew.
static void OnDpiChanged(HWND window, NoteRecord* note, const RECT* proposed)
{
    SetWindowPos(window, NULL, proposed->left, proposed->top, proposed->right - proposed->left,
                 proposed->bottom - proposed->top, SWP_NOZORDER | SWP_NOACTIVATE);
    note->width = proposed->right - proposed->left;
    note->height = proposed->bottom - proposed->top;
    RedrawNoteFrame(window);
}

// The client area is the window less the frame the note paints, so that the
// system's own frame, wider on some systems than others, takes no room.
static void OnNcCalcSize(HWND window, RECT* rect)
{
    UINT dpi = WindowDpi(window);
    int border = ScaledToDpi(NOTE_FRAME_BORDER, dpi);
    RECT frame = *rect;
    rect->left = std::min(frame.left + border, frame.right);
    rect->right = std::max(frame.right - border, rect->left);
    rect->top = std::min(frame.top + ScaledToDpi(NOTE_FRAME_BAND, dpi), frame.bottom);
    rect->bottom = std::max(frame.bottom - border, rect->top);
}

static LRESULT OnNcHitTest(HWND window, LPARAM lParam)
{
    RECT rect;
    if (!GetWindowRect(window, &rect)) return HTNOWHERE;
    return HitNoteFrame(rect, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), WindowDpi(window));
}

static void OnNcPaint(HWND window)
{
    DrawNoteFrame(window);
}

static void OnNotify(HWND window, const NMHDR* header)
{
    if (header->code != EN_MSGFILTER) return;
    const MSGFILTER* filter = reinterpret_cast<const MSGFILTER*>(header);
    if (filter->msg == WM_RBUTTONDOWN) ShowNotesMenu(header->hwndFrom, window);
}

static LRESULT OnNcLButtonDown(HWND window, NoteRecord* note, WPARAM wParam, LPARAM lParam)
{
    RECT rect;
    GetWindowRect(window, &rect);
    TitleButton button = note->frameState == FRAME_PROPERTIES
                             ? TitleNone
                             : HitTitleButton(rect, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), WindowDpi(window));
    switch (button) {
    case TitleMenu:
        ShowCommandMenu(window);
        return 0;
    case TitleAlarm:
        // Acknowledged; the press still drags the note like any caption press.
        AcknowledgeAlarm(window, note);
        break;
    case TitleHide:
        HideNote(window);
        return 0;
    case TitleDelete:
        AskAndDeleteNote(window);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, WM_NCLBUTTONDOWN, wParam, lParam);
}

// A note the user clicks into takes typing in its text. Notes the program
// brings forward (start-up, alarms) leave the keys where they were going.
static LRESULT OnActivate(HWND window, NoteRecord* note, WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == WA_CLICKACTIVE && note->editor) {
        SetFocus(note->editor);
        return 0;
    }
    return DefWindowProcW(window, WM_ACTIVATE, wParam, lParam);
}

// Alt+F4 puts the note away as its hide button does; the default would
// turn it into a close request, which ends the program.
static LRESULT OnSysCommand(HWND window, WPARAM command, LPARAM lParam)
{
    if ((command & 0xFFF0) != SC_CLOSE) return DefWindowProcW(window, WM_SYSCOMMAND, command, lParam);
    HideNote(window);
    return 0;
}

// The whole command word counts: only menu commands (notification code 0).
// The text commands act on the window's one child, its editor.
// A note whose file could not be read shows no text of its own: what import
// or clearing would put there would be replaced once the file reads.
static void OnCommand(HWND window, const NoteRecord* note, WPARAM command)
{
    HWND editor = FindNoteEditor(window);
    if (note->textUnread && (command == IDM_NOTE_IMPORT || command == IDM_NOTE_CLEAR)) return;
    switch (command) {
    case IDM_NOTE_HIDE_ALL:
        HideAllNoteWindows();
        break;
    case IDM_NOTE_IMPORT:
        ImportNoteText(window, editor);
        break;
    case IDM_NOTE_EXPORT:
        ExportNoteText(window, editor);
        break;
    case IDM_NOTE_PRINT:
        PrintRichText(editor);
        break;
    case IDM_NOTE_PROPERTIES:
        OpenNoteProperties(window);
        break;
    case IDM_NOTE_DELETE:
        AskAndDeleteNote(window);
        break;
    case IDM_NOTE_CLEAR:
        ClearRichText(editor);
        break;
    default:
        break;
    }
}

LRESULT CALLBACK NoteWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        OnNcCreate(window, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    NoteRecord* note = FindNoteByWindow(window);
    if (!note) return 0;
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_MOVE:
        OnMove(window, note);
        return 0;
    case WM_SIZE:
        OnSize(note, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_ACTIVATE:
        return OnActivate(window, note, wParam, lParam);
    case WM_SYSCOMMAND:
        return OnSysCommand(window, wParam, lParam);
    case WM_CLOSE:
        // A close request is not the user's delete: it ends the program
        // as one to the main dialog does.
        SendMessageA(hMainDialog, WM_CLOSE, 0, 0);
        return 0;
    case WM_NOTIFY:
        OnNotify(window, reinterpret_cast<const NMHDR*>(lParam));
        return 0;
    case WM_HELP:
        ShowHelp();
        return 0;
    case WM_NCPAINT:
        OnNcPaint(window);
        return 0;
    case WM_NCACTIVATE:
        return 1;
    case WM_NCCALCSIZE:
        // Whether wParam asks for the rectangles or not, the first is the window's.
        OnNcCalcSize(window, reinterpret_cast<RECT*>(lParam));
        return 0;
    case WM_NCHITTEST:
        return OnNcHitTest(window, lParam);
    case WM_NCLBUTTONDOWN:
        return OnNcLButtonDown(window, note, wParam, lParam);
    case WM_COMMAND:
        OnCommand(window, note, wParam);
        return 0;
    case WM_SIZING:
        OnSizing(window, note, reinterpret_cast<RECT*>(lParam));
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(window, note, reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
