// Note windows: making them, their place and size, the title-bar buttons, the
// commands and the painted frame, driven through real windows.
#include "support/test_env.h"
#include <limits.h>
#include <richedit.h>
#include <string>
#include <vector>
#include "notes/note_frame.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/guards.h"
#include "shell/main_dialog.h"
#include "shell/ui_text.h"

namespace {

// Sits in front of NoteWndProc: records the sizes the program asks for and
// swallows WM_SYSCOMMAND, which is how the default handling of a title-bar
// press shows itself (a caption press starts a move).
struct WindowSpy {
    WNDPROC original = nullptr;
    int systemCommands = 0;
    std::vector<int> heights;
};
WindowSpy spy;

LRESULT CALLBACK SpyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SYSCOMMAND) {
        spy.systemCommands++;
        return 0;
    }
    if (message == WM_WINDOWPOSCHANGING) {
        const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!(pos->flags & SWP_NOSIZE)) spy.heights.push_back(pos->cy);
    }
    return CallWindowProcA(spy.original, window, message, wParam, lParam);
}

void Spy(HWND window)
{
    spy = WindowSpy();
    spy.original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SpyProc)));
}

// Answers any message box of this thread with "Yes" and remembers that one
// was asked; stopped by its destructor, so a box that never came leaves
// nothing behind for the next test.
class AnyBoxWatch {
public:
    AnyBoxWatch() { asked = false; timer_ = SetTimer(NULL, 0, 50, Tick); }
    ~AnyBoxWatch() { KillTimer(NULL, timer_); }
    static bool asked;
private:
    static BOOL CALLBACK Find(HWND window, LPARAM param)
    {
        char cls[16];
        GetClassNameA(window, cls, sizeof cls);
        if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        HWND box = NULL;
        EnumThreadWindows(GetCurrentThreadId(), Find, reinterpret_cast<LPARAM>(&box));
        if (!box) return;
        asked = true;
        PostMessageA(box, WM_COMMAND, IDYES, 0);
    }
    UINT_PTR timer_;
};
bool AnyBoxWatch::asked;

LRESULT PressTitle(HWND window, int x, int y)
{
    return SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(x, y));
}

RECT WindowRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

// Presses the middle of a title-bar button.
void PressButton(HWND window, TitleButton button)
{
    RECT r = WindowRect(window);
    int y = r.top + 10;
    switch (button) {
    case TitleMenu: PressTitle(window, r.left + 10, y); break;
    case TitleAlarm: PressTitle(window, r.left + 30, y); break;
    case TitleHide: PressTitle(window, r.right - 30, y); break;
    case TitleDelete: PressTitle(window, r.right - 10, y); break;
    default: PressTitle(window, (r.left + r.right) / 2, y); break;
    }
}

void PaintFrameNow(HWND window)
{
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
}

COLORREF WindowPixel(HWND window, int x, int y)
{
    WindowDC dc(window, true);
    return GetPixel(dc, x, y);
}

const COLORREF Black = RGB(0, 0, 0);
const COLORREF BellRed = RGB(0xE0, 0x18, 0x18);

// Quits and starts again as far as the notes go: save, windows gone, records
// freed, index read back, visible notes shown.
void RestartNotes()
{
    ASSERT_EQ(1, SaveNotes());
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        HWND window = note->window;
        note->window = NULL;
        if (window) DestroyWindow(window);
    }
    FreeNotes();
    ASSERT_EQ(1, LoadNotes());
    ASSERT_EQ(1, ShowVisibleNotes());
}

// Windows sends WM_SIZE and WM_MOVE to a new window before CreateWindowExA
// returns; Wine sends them at the first showing. This hook sends them where
// Windows does, right after WM_CREATE.
LRESULT CALLBACK SizeAndMoveAfterCreate(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    char cls[32] = "";
    if (code == HC_ACTION && call->message == WM_CREATE && GetClassNameA(call->hwnd, cls, sizeof cls) &&
        strcmp(cls, NoteWindowClass) == 0) {
        RECT client;
        GetClientRect(call->hwnd, &client);
        POINT origin = { 0, 0 };
        ClientToScreen(call->hwnd, &origin);
        SendMessageA(call->hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
        SendMessageA(call->hwnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

class CreationMessages {
public:
    CreationMessages() : hook_(SetWindowsHookExA(WH_CALLWNDPROCRET, SizeAndMoveAfterCreate, NULL, GetCurrentThreadId())) {}
    ~CreationMessages() { if (hook_) UnhookWindowsHookEx(hook_); }
    bool active() const { return hook_ != NULL; }
private:
    HHOOK hook_;
};

// Gives normal captions a height of their own, well above the small caption
// of a tool window (Wine's defaults make the two sums agree by chance).
class TallCaptions {
public:
    TallCaptions()
    {
        saved_.cbSize = sizeof saved_;
        SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof saved_, &saved_, 0);
        NONCLIENTMETRICSA tall = saved_;
        tall.iCaptionHeight = saved_.iSmCaptionHeight + 8;
        SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, sizeof tall, &tall, 0);
    }
    ~TallCaptions() { SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, sizeof saved_, &saved_, 0); }
private:
    NONCLIENTMETRICSA saved_;
};

}  // namespace

class NoteWindowTest : public QuibletTest {
protected:
    NoteRecord* ShowNote(LONG left = 200, LONG top = 150, LONG width = 180, LONG height = 200)
    {
        NoteRecord* note = AddTestNote(left, top, width, height);
        EXPECT_EQ(1, MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile));
        return note;
    }
};

// ---- Making windows ---------------------------------------------------------

TEST_F(NoteWindowTest, NewNoteHasTheDefaultsAndSitsAtTheLowerRight)
{
    AppSettings.notesSizeX = 180;
    AppSettings.notesSizeY = 200;
    NotesOnTop = 1;
    ASSERT_EQ(1, CreateNote());
    NoteRecord* note = NoteList.head;
    EXPECT_EQ(GetSystemMetrics(SM_CXFULLSCREEN) - 210, note->left);
    EXPECT_EQ(GetSystemMetrics(SM_CYFULLSCREEN) - 230, note->top);
    EXPECT_EQ(1, note->visible);
    RECT r = WindowRect(note->window);
    RECT expected = { note->left, note->top, note->left + 180, note->top + 200 };
    EXPECT_TRUE(EqualRect(&r, &expected));
    EXPECT_TRUE(IsWindowVisible(note->window));
    EXPECT_EQ(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, GetWindowLongA(note->window, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
    EXPECT_EQ(note->editor, FindNoteEditor(note->window));
    EXPECT_EQ(NOTE_EDITOR_EVENTS, (DWORD)SendMessageA(note->editor, EM_GETEVENTMASK, 0, 0));
    ASSERT_EQ(1, CreateNote());
    EXPECT_NE(note, NoteList.head) << "the newest note is in front";
}

// A hidden note in front of the one being shown must not take the messages
// of the new window's creation.
TEST_F(NoteWindowTest, WindowIsBoundToItsOwnRecordWhileBeingMade)
{
    CreationMessages messages;
    ASSERT_TRUE(messages.active());
    NoteRecord* hidden = AddTestNote(10, 20, 150, 160);
    hidden->visible = 0;
    NoteRecord* shown = AddTestNote(400, 300, 180, 200);
    ASSERT_EQ(1, ShowVisibleNotes());
    EXPECT_EQ(NULL, hidden->window);
    EXPECT_EQ(10, hidden->left);
    EXPECT_EQ(20, hidden->top);
    EXPECT_EQ(150, hidden->width);
    EXPECT_EQ(160, hidden->height);
    ASSERT_NE((HWND)NULL, shown->window);
    EXPECT_EQ(shown, NoteOfWindow(shown->window));
    EXPECT_EQ(shown, FindNoteByWindow(shown->window));
    EXPECT_EQ(400, shown->left);
    EXPECT_EQ(300, shown->top);

    // The alarm path and the note list make the window of any record.
    ASSERT_EQ(1, MakeNoteWindow(hidden, NOTE_EDITOR_STYLE, NoteTextFromFile));
    EXPECT_EQ(hidden, NoteOfWindow(hidden->window));
    EXPECT_EQ(400, shown->left);
}

// A 1 MB text comes back whole after being shown, saved and loaded.
TEST_F(NoteWindowTest, LongNoteSurvivesShowSaveAndLoad)
{
    NoteRecord* note = AddTestNote();
    std::string rtf = "{\\rtf1\\ansi ";
    std::string expected;
    char line[64];
    for (int i = 0; expected.size() < 1100000; i++) {
        wsprintfA(line, "Zeile %06d mit etwas Text zum Auffuellen", i);
        rtf += line;
        rtf += "\\par\n";
        expected += line;
    }
    rtf += "}";
    ASSERT_TRUE(WriteFileBytes(InDataFolder(note->fileName), rtf));

    ASSERT_EQ(1, ShowVisibleNotes());
    EXPECT_EQ(NOTE_TEXT_LIMIT, SendMessageA(note->editor, EM_GETLIMITTEXT, 0, 0));
    std::string shown = EditorText(note->editor);
    ASSERT_GE(shown.size(), expected.size());
    EXPECT_NE(std::string::npos, shown.find("Zeile 020000"));
    std::string lastLine = line;
    EXPECT_NE(std::string::npos, shown.rfind(lastLine)) << "the end of the text is there";

    RestartNotes();
    ASSERT_NE((HWND)NULL, NoteList.head->window);
    EXPECT_EQ(shown, EditorText(NoteList.head->editor));
}

// ---- Place and size ---------------------------------------------------------

TEST_F(NoteWindowTest, PlaceDoesNotCreepOverTenRestarts)
{
    TallCaptions captions;
    NoteRecord* first = ShowNote(321, 234, 180, 200);
    POINT origin = { 0, 0 };
    ClientToScreen(first->window, &origin);
    ASSERT_NE(GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYBORDER), origin.y - 234)
        << "the metrics must tell a normal caption from a tool window's";
    MoveWindow(first->window, 333, 222, 180, 200, TRUE);
    EXPECT_EQ(333, first->left);
    EXPECT_EQ(222, first->top);
    MoveWindow(first->window, 321, 234, 180, 200, TRUE);
    for (int round = 0; round < 10; round++) {
        RestartNotes();
        NoteRecord* note = NoteList.head;
        ASSERT_NE((HWND)NULL, note->window);
        RECT r = WindowRect(note->window);
        ASSERT_EQ(321, note->left) << "round " << round;
        ASSERT_EQ(234, note->top) << "round " << round;
        ASSERT_EQ(321, r.left);
        ASSERT_EQ(234, r.top);
        ASSERT_EQ(180, r.right - r.left);
        ASSERT_EQ(200, r.bottom - r.top);
    }
}

TEST_F(NoteWindowTest, NoteOffEveryMonitorComesBackOnTheNearest)
{
    NoteRecord* lost = AddTestNote(-5000, -4000, 180, 200);
    NoteRecord* partly = AddTestNote(-60, 100, 180, 200);
    NoteRecord* farOut = AddTestNote(LONG_MAX - 10, LONG_MAX - 10, 180, 200);
    NoteRecord* tooWide = AddTestNote(-5000, 100, 0x7FFF, 200);   // wider than a window may be
    ASSERT_EQ(1, ShowVisibleNotes());
    for (NoteRecord* note : { farOut, tooWide }) {
        RECT r = WindowRect(note->window);
        EXPECT_NE((HMONITOR)NULL, MonitorFromRect(&r, MONITOR_DEFAULTTONULL)) << r.left << "," << r.top;
        EXPECT_EQ(r.left, note->left);
        EXPECT_EQ(r.top, note->top);
    }
    RECT r = WindowRect(lost->window);
    EXPECT_NE((HMONITOR)NULL, MonitorFromRect(&r, MONITOR_DEFAULTTONULL));
    EXPECT_EQ(r.left, lost->left);
    EXPECT_EQ(r.top, lost->top);
    EXPECT_EQ(180, r.right - r.left);
    EXPECT_EQ(-60, partly->left) << "a partly visible note stays";
    EXPECT_EQ(100, partly->top);

    LONG left = lost->left, top = lost->top;
    RestartNotes();
    EXPECT_EQ(left, NoteList.head->left) << "the new place is the one saved";
    EXPECT_EQ(top, NoteList.head->top);
}

TEST(NotePlacement, PlaceInsideAreaShiftsLeastNeeded)
{
    struct Case { LONG left, top, width, height; POINT expected; } cases[] = {
        { -500, -400, 180, 200, { 0, 0 } },
        { 2000, 900, 180, 200, { 1100, 800 } },
        { 10, 10, 1490, 50, { 0, 10 } },   // wider than the area
        { LONG_MAX, LONG_MIN, 180, 200, { 1100, 0 } },
        { LONG_MIN, LONG_MAX - 5, 0x7FFF, 0x7FFF, { 0, 0 } },
    };
    const RECT area = { 0, 0, 1280, 1000 };
    for (const Case& c : cases) {
        POINT place = PlaceInsideArea(c.left, c.top, c.width, c.height, area);
        EXPECT_EQ(c.expected.x, place.x) << c.left << "," << c.top;
        EXPECT_EQ(c.expected.y, place.y) << c.left << "," << c.top;
    }
}

TEST_F(NoteWindowTest, SizingKeepsAtLeastHundredByHundredAndIsStored)
{
    NoteRecord* note = ShowNote(200, 150, 180, 200);
    RECT small = { 300, 200, 380, 260 };   // 80 x 60, dragged at the top left
    SendMessageA(note->window, WM_SIZING, WMSZ_TOPLEFT, reinterpret_cast<LPARAM>(&small));
    RECT grown = { 300, 200, 400, 300 };
    EXPECT_TRUE(EqualRect(&small, &grown)) << "right and bottom edges are moved";
    EXPECT_EQ(100, note->width);
    EXPECT_EQ(100, note->height);

    RECT large = { 300, 200, 550, 500 };
    SendMessageA(note->window, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&large));
    EXPECT_EQ(550, large.right);
    EXPECT_EQ(250, note->width);
    EXPECT_EQ(300, note->height);
}

// ---- Title-bar buttons ------------------------------------------------------

TEST(TitleButtons, HitAreasHaveExclusiveBounds)
{
    const RECT w = { 100, 200, 300, 400 };   // L 100, T 200, R 300
    struct Case { int x, y; TitleButton expected; } cases[] = {
        { 110, 210, TitleMenu },
        { 101, 210, TitleNone }, { 102, 210, TitleMenu }, { 118, 210, TitleMenu }, { 119, 210, TitleNone },
        { 110, 201, TitleNone }, { 110, 202, TitleMenu }, { 110, 218, TitleMenu }, { 110, 219, TitleNone },
        { 122, 210, TitleNone }, { 123, 210, TitleAlarm }, { 138, 210, TitleAlarm }, { 139, 210, TitleNone },
        { 262, 210, TitleNone }, { 263, 210, TitleHide }, { 277, 210, TitleHide }, { 278, 210, TitleNone },
        { 281, 210, TitleNone }, { 282, 210, TitleDelete }, { 300, 210, TitleDelete }, { 301, 210, TitleNone },
        { 290, 219, TitleNone }, { 290, 250, TitleNone }, { 200, 210, TitleNone },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, HitTitleButton(w, c.x, c.y)) << "x " << c.x << " y " << c.y;
}

// A press beside a button, or on any button while the properties are open,
// goes on to the default handling.
TEST_F(NoteWindowTest, PressesBesideOrOnInertButtonsGetTheDefaultHandling)
{
    AppSettings.safeMode = 0;
    NoteRecord* note = ShowNote();
    HWND window = note->window;
    Spy(window);
    MenuSeen* menu = WatchNextMenu();
    RECT r = WindowRect(window);
    PressTitle(window, r.left + 1, r.top + 10);
    PressTitle(window, r.left + 19, r.top + 10);
    PressTitle(window, r.left + 10, r.top + 19);
    PressTitle(window, r.right - 19, r.top + 10);
    EXPECT_EQ(4, spy.systemCommands);
    note->frameState = FRAME_PROPERTIES;
    note->alarmOn = 1;
    for (TitleButton button : { TitleMenu, TitleAlarm, TitleHide, TitleDelete }) PressButton(window, button);
    PumpPending();
    EXPECT_FALSE(menu->opened);
    StopMenuWatch();
    EXPECT_EQ(8, spy.systemCommands);
    ASSERT_TRUE(IsNoteListed(note));
    EXPECT_EQ(window, note->window);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(1, note->alarmOn);
    EXPECT_EQ(FRAME_PROPERTIES, note->frameState);
}

TEST_F(NoteWindowTest, MenuButtonOpensTheCommandMenuBelowTheTitle)
{
    NoteRecord* note = ShowNote(250, 180);
    MenuSeen* menu = WatchNextMenu();
    PressButton(note->window, TitleMenu);
    ASSERT_TRUE(menu->opened);
    EXPECT_EQ(250 - 1, menu->rect.left);  // one pixel over the edge, so Wine paints it
    EXPECT_EQ(180 + 16, menu->rect.top);
}

TEST_F(NoteWindowTest, AlarmIconAcknowledgesAndRemovesTheBell)
{
    NoteRecord* note = ShowNote();
    note->frameState = FRAME_RINGING;
    note->alarmOn = 1;
    PaintFrameNow(note->window);
    ASSERT_EQ(FRAME_PEN_RINGING, WindowPixel(note->window, 0, 0));
    ASSERT_EQ(BellRed, WindowPixel(note->window, FRAME_ALARM_ICON_X + 5, FRAME_ICON_TOP + 10));
    Spy(note->window);
    PressButton(note->window, TitleAlarm);
    EXPECT_EQ(FRAME_NORMAL, note->frameState);
    EXPECT_EQ(0, note->alarmOn);
    EXPECT_EQ(1, spy.systemCommands) << "the press is then an ordinary caption press";
    PaintFrameNow(note->window);
    EXPECT_EQ(Black, WindowPixel(note->window, 0, 0));
    EXPECT_EQ(note->backColor, WindowPixel(note->window, FRAME_ALARM_ICON_X + 5, FRAME_ICON_TOP + 10));
}

TEST_F(NoteWindowTest, HideButtonSavesRollsUpAndKeepsTheRecord)
{
    NoteRecord* note = ShowNote(200, 150, 180, 200);
    NoteRecord* other = ShowNote(500, 150, 180, 200);
    SetEditorText(note->editor, "Zahnarzt um drei");
    HWND window = note->window;
    Spy(window);
    PressButton(window, TitleHide);

    std::vector<int> expected = { 200, 155, 110, 65, 20 };
    EXPECT_EQ(expected, spy.heights);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(NULL, note->window);
    EXPECT_EQ(0, note->visible);
    EXPECT_EQ(200, note->height) << "the stored height stays";
    EXPECT_EQ(180, note->width);
    EXPECT_NE((HWND)NULL, other->window);

    // Saved before the window went: the text is in its file, and the index
    // still marks the note visible until the next save.
    std::string index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
    ASSERT_EQ(2 * sizeof(NoteIndexRecord), index.size());
    const NoteIndexRecord* first = reinterpret_cast<const NoteIndexRecord*>(index.data());
    EXPECT_EQ(1, first->visible);
    EXPECT_NE(std::string::npos, ReadFileBytes(InDataFolder(note->fileName)).find("Zahnarzt um drei"));

    ASSERT_EQ(1, ShowAllNotes());
    EXPECT_EQ("Zahnarzt um drei", EditorText(note->editor));
    EXPECT_EQ(200, WindowRect(note->window).bottom - WindowRect(note->window).top);
}

TEST_F(NoteWindowTest, DeleteButtonAsksOnlyInSafeMode)
{
    AppSettings.safeMode = 1;
    NoteRecord* note = ShowNote();
    SetEditorText(note->editor, "wichtig");
    ASSERT_EQ(1, SaveNotes());
    std::string file = InDataFolder(note->fileName);
    ASSERT_TRUE(FileExists(file));
    HWND window = note->window;

    BoxAnswer* no = AnswerNextBox(TEXT_DELETE_CAPTION, IDNO);
    PressButton(window, TitleDelete);
    ASSERT_TRUE(no->answered) << "the question was asked";
    EXPECT_NE(std::string::npos, no->text.find(TEXT_DELETE_QUESTION));
    EXPECT_TRUE(IsNoteListed(note));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(FileExists(file));

    BoxAnswer* noAgain = AnswerNextBox(TEXT_DELETE_CAPTION, IDNO);
    SendMessageA(window, WM_COMMAND, IDM_NOTE_DELETE, 0);
    ASSERT_TRUE(noAgain->answered) << "\"Note löschen\" asks the same question";
    EXPECT_TRUE(IsNoteListed(note));

    BoxAnswer* yes = AnswerNextBox(TEXT_DELETE_CAPTION, IDYES);
    PressButton(window, TitleDelete);
    ASSERT_TRUE(yes->answered);
    EXPECT_EQ(0, CountNotes());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(FileExists(file));
}

TEST_F(NoteWindowTest, DeleteWithoutSafeModeAndCloseNeverAsk)
{
    AppSettings.safeMode = 0;
    NoteRecord* pressed = ShowNote(100, 100);
    NoteRecord* commanded = ShowNote(300, 100);
    AppSettings.safeMode = 1;
    NoteRecord* closed = ShowNote(500, 100);
    ASSERT_EQ(1, SaveNotes());
    std::string closedFile = InDataFolder(closed->fileName);
    HWND windows[] = { pressed->window, commanded->window, closed->window };
    AnyBoxWatch watch;

    AppSettings.safeMode = 0;
    PressButton(windows[0], TitleDelete);
    SendMessageA(windows[1], WM_COMMAND, IDM_NOTE_DELETE, 0);
    AppSettings.safeMode = 1;
    ASSERT_TRUE(FileExists(closedFile));
    SendMessageA(windows[2], WM_CLOSE, 0, 0);

    EXPECT_FALSE(AnyBoxWatch::asked);
    EXPECT_EQ(0, CountNotes());
    for (HWND window : windows) EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(FileExists(closedFile));
}

// ---- Commands ---------------------------------------------------------------

TEST_F(NoteWindowTest, HideAllKeepsVisibleAndTheTrayBringsTheSameNotesBack)
{
    NoteRecord* a = ShowNote(100, 100);
    NoteRecord* b = ShowNote(400, 100);
    NoteRecord* hidden = AddTestNote(700, 100);
    hidden->visible = 0;
    SetEditorText(a->editor, "erste");
    HWND windowA = a->window, windowB = b->window;

    SendMessageA(windowA, WM_COMMAND, IDM_NOTE_HIDE_ALL, 0);
    EXPECT_EQ(1u, NotesHidden);
    EXPECT_FALSE(IsWindow(windowA));
    EXPECT_FALSE(IsWindow(windowB));
    EXPECT_EQ(NULL, a->window);
    EXPECT_EQ(NULL, b->window);
    EXPECT_EQ(1, a->visible);
    EXPECT_EQ(1, b->visible);
    EXPECT_EQ(0, hidden->visible);
    EXPECT_NE(std::string::npos, ReadFileBytes(InDataFolder(a->fileName)).find("erste"));

    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    EXPECT_EQ(0u, NotesHidden);
    ASSERT_NE((HWND)NULL, a->window);
    EXPECT_NE((HWND)NULL, b->window);
    EXPECT_EQ(NULL, hidden->window);
    EXPECT_EQ("erste", EditorText(a->editor));

    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    EXPECT_EQ(1u, NotesHidden);
    EXPECT_EQ(NULL, a->window);
    EXPECT_EQ(1, a->visible);
}

TEST_F(NoteWindowTest, ClearCommandEmptiesOnlyOnAPlainCommandWord)
{
    NoteRecord* note = ShowNote();
    SetEditorText(note->editor, "bleibt");
    SendMessageA(note->window, WM_COMMAND, MAKEWPARAM(IDM_NOTE_CLEAR, 1), 0);
    EXPECT_EQ("bleibt", EditorText(note->editor));
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_CLEAR, 0);
    EXPECT_EQ("", EditorText(note->editor));
    EXPECT_EQ(0, SendMessageA(note->editor, EM_CANUNDO, 0, 0));
}

// ---- The painted frame ------------------------------------------------------

TEST_F(NoteWindowTest, FrameShowsColourOutlineAndIconsAtTheirPlaces)
{
    AppSettings.defaultBackColor = RGB(255, 255, 160);
    NoteRecord* note = ShowNote(300, 200, 180, 200);
    HWND window = note->window;
    const int W = 180, H = 200;
    PaintFrameNow(window);

    struct Probe { int x, y; COLORREF colour; const char* what; } normal[] = {
        { 0, 0, Black, "outline top left" },
        { W - 1, H - 1, Black, "outline bottom right" },
        { W / 2, H - 2, RGB(255, 255, 160), "fill" },
        { FRAME_MENU_ICON_X + 2, FRAME_ICON_TOP + 5, Black, "menu triangle" },
        { FRAME_MENU_ICON_X + 1, FRAME_ICON_TOP + 5, RGB(255, 255, 160), "left of the triangle" },
        { W - 17 + 2, FRAME_ICON_TOP + 3, Black, "delete cross" },
        { W - 39 + 2, FRAME_ICON_TOP + 7, Black, "hide bar" },
        { FRAME_ALARM_ICON_X + 5, FRAME_ICON_TOP + 10, RGB(255, 255, 160), "no bell" },
    };
    for (const Probe& p : normal) EXPECT_EQ(p.colour, WindowPixel(window, p.x, p.y)) << p.what;

    note->alarmOn = 1;
    PaintFrameNow(window);
    EXPECT_EQ(BellRed, WindowPixel(window, FRAME_ALARM_ICON_X + 5, FRAME_ICON_TOP + 10));

    note->frameState = FRAME_PROPERTIES;
    PaintFrameNow(window);
    EXPECT_EQ(FRAME_PEN_PROPERTIES, WindowPixel(window, 0, 0));
    EXPECT_EQ(FRAME_PEN_PROPERTIES, WindowPixel(window, W - 1, H / 2));

    note->frameState = FRAME_RINGING;
    PaintFrameNow(window);
    EXPECT_EQ(FRAME_PEN_RINGING, WindowPixel(window, 0, H / 2));

    // The right-hand icons follow the right edge. (A 100-pixel note, with
    // hide at 61 and delete at 83, cannot be had: the system keeps a sizable
    // window above its minimum tracking width.)
    MoveWindow(window, 300, 200, 260, 150, TRUE);
    PaintFrameNow(window);
    struct Edge { int x, row; } edges[] = { { 260 - 39, 7 }, { 260 - 17, 3 } };   // hide bar, cross
    for (const Edge& e : edges) {
        EXPECT_EQ(RGB(255, 255, 160), WindowPixel(window, e.x + 1, FRAME_ICON_TOP + e.row)) << e.x;
        EXPECT_EQ(Black, WindowPixel(window, e.x + 2, FRAME_ICON_TOP + e.row)) << e.x;
    }
}

TEST_F(NoteWindowTest, ThousandRepaintsLeaveTheGdiCountAlone)
{
    NoteRecord* note = ShowNote();
    for (LONG state : { FRAME_NORMAL, FRAME_RINGING }) {
        note->frameState = state;
        PaintFrameNow(note->window);
        PumpPending();
        int before = CountGdiObjects();
        ASSERT_GT(before, 0) << "the count must be readable";
        for (int i = 0; i < 1000; i++) PaintFrameNow(note->window);
        PumpPending();
        EXPECT_EQ(before, CountGdiObjects()) << "frame state " << state;
    }
}
