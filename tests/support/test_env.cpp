#include "support/test_env.h"
#include <deque>
#include <filesystem>
#include <fstream>
#include "alarm/alarm_scheduler.h"
#include "alarm/note_props_dialog.h"
#include "notelist/note_list_dialog.h"
#include "notes/autosave.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/general_dialog.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/main_dialog.h"
#include "shell/services.h"

std::vector<std::string> SoundsPlayed;

// The condition is judged once per turn: what it gathered on the turn that
// held is what the caller goes on with.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); !condition(); PumpPending()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// ---- Boxes, refused windows and menus, seen through one hook of the thread ----
// An answer still awaited, or given (`done`) when it was for one box only.
// The deque keeps the answers where they are.
struct Pending : BoxAnswer {
    std::wstring caption;
    int button;
    bool every, done;
    std::function<void(HWND)> prepare;
};
static std::deque<Pending> pending;
static std::wstring refusedClass;
static HWND openMenu;   // the last popup menu window made on this thread
static MenuSeen menuSeen;

static void OnBoxActivated(HWND box)
{
    const std::wstring caption = WindowTextW(box);
    const std::wstring text = WindowTextW(GetDlgItem(box, 0xFFFF));   // a message box's text
    for (Pending& want : pending) {
        if (want.done || (!want.caption.empty() && want.caption != caption)) continue;
        static_cast<BoxAnswer&>(want) = { true, want.count + 1, text };
        want.done = !want.every;
        if (want.prepare) want.prepare(box);
        PostMessageA(box, WM_COMMAND, want.button, 0);
        return;
    }
    ADD_FAILURE() << "unexpected box \"" << ::testing::PrintToString(caption) << "\": " << ::testing::PrintToString(text);
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
}

static LRESULT CALLBACK WatchWindows(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t cls[64] = L"";
    GetClassNameW(window, cls, 64);
    if (code == HCBT_CREATEWND && refusedClass == cls) return 1;
    if (code == HCBT_CREATEWND && wcscmp(cls, L"#32768") == 0) openMenu = window;
    bool own = window == hMainDialog || window == hGeneralDialog || window == hNotePropsDialog || window == hNoteListDialog;
    // A box is answered once, however often it is activated again.
    if (code == HCBT_ACTIVATE && wcscmp(cls, L"#32770") == 0 && !own && !GetPropA(window, "QuibletSeen")) {
        SetPropA(window, "QuibletSeen", window);
        OnBoxActivated(window);
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

static BOOL WINAPI RecordSound(LPCSTR sound, HMODULE, DWORD)
{
    SoundsPlayed.push_back(sound);
    return TRUE;
}

BoxAnswer* AnswerNextBox(const wchar_t* caption, int buttonId, std::function<void(HWND)> prepare)
{
    return &pending.emplace_back(Pending{ {}, caption ? caption : L"", buttonId, false, false, prepare });
}

BoxAnswer* AnswerEveryBox(const wchar_t* caption)
{
    return &pending.emplace_back(Pending{ {}, caption ? caption : L"", IDOK, true, false, nullptr });
}

void RefuseWindowsOfClass(const wchar_t* className) { refusedClass = className ? className : L""; }

static void CALLBACK LookForMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (!IsWindowVisible(openMenu)) return;
    KillTimer(NULL, timer);
    GetWindowRect(openMenu, &menuSeen.rect);
    menuSeen.menu = reinterpret_cast<HMENU>(SendMessageA(openMenu, MN_GETHMENU, 0, 0));
    menuSeen.opened = true;
    EndMenu();
}

MenuSeen* WatchNextMenu()
{
    menuSeen = MenuSeen();
    SetTimer(NULL, 0, 30, LookForMenu);
    return &menuSeen;
}

// ---- Files and notes ------------------------------------------------------------
std::string ReadFileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary);
    return file.write(bytes.data(), bytes.size()) && file.flush();
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
// The tests' data folders fit the code page.
std::string InDataFolder(const std::string& name)
{
    char folder[MAX_PATH];
    DataFolderInCodePage(folder, sizeof folder);
    return std::string(folder) + "\\" + name;
}

std::wstring WindowTextW(HWND window)
{
    std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(GetWindowTextW(window, &text[0], text.size()));
    return text;
}

std::string EditorText(HWND editor)
{
    std::string text(GetWindowTextLengthA(editor) + 1, '\0');
    text.resize(GetWindowTextA(editor, &text[0], text.size()));
    return text;
}

NoteRecord* AddTestNote(LONG left, LONG top)
{
    NoteRecord* note = NewNoteRecord();
    note->left = left;
    note->top = top;
    AppendNote(note);
    return note;
}

NoteRecord* ShownNote(const char* text, LONG left, LONG top)
{
    NoteRecord* note = AddTestNote(left, top);
    if (MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextEmpty)) SetEditorText(note->editor, text);
    return note;
}

void SetEditorText(HWND editor, const char* text)
{
    SetWindowTextA(editor, text);
    // WM_SETTEXT leaves the control unmodified; typing would not.
    SendMessageA(editor, EM_SETMODIFY, TRUE, 0);
}

int CountFromEnvironment(const char* name, int fallback)
{
    const char* value = getenv(name);
    return value && atoi(value) > 0 ? atoi(value) : fallback;
}

void SetTestDataFolder(const std::string& folder)
{
    MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, DataFolder, MAX_PATH);
}

// ---- Fixture ----------------------------------------------------------------------
// The data folder lies in a folder of the test's own, which goes with it.
void QuibletTest::SetUp()
{
    static int counter;
    dataFolder = std::string(getenv("TEMP")) + "\\quiblet-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(++counter) + "\\tester";
    std::filesystem::create_directories(dataFolder);
    SetTestDataFolder(dataFolder);
    EnterDataFolder();
    SetDefaultSettings(&AppSettings);
    SeedRunTimeSwitches();
    ResetAutosave();
    QuitPending = FALSE;
    SoundsPlayed.clear();
}

void QuibletTest::TearDown()
{
    SendMessageA(hNoteListDialog, WM_COMMAND, IDC_CLOSE, 0);
    SendMessageA(hNotePropsDialog, WM_CLOSE, 0, 0);
    SendMessageA(hGeneralDialog, WM_CLOSE, 0, 0);
    for (NoteRecord* note = NoteList.head; note; note = note->next)
        if (note->window) DestroyNoteWindow(note);
    FreeNotes();
    PumpPending();
    pending.clear();
    refusedClass.clear();
    StoreFaultInjector = nullptr;
    AlarmClock = GetLocalTime;
    TrayNotifier = Shell_NotifyIconA;
    SetCurrentDirectoryA(getenv("TEMP"));
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(dataFolder).parent_path(), ignored);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, SettingsKeyPath);
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKeyPath);
}

// The test programs' main: the program set up by its own start-up steps, without
// the single-instance guard, the data folder, the notes and the message loop, on
// a registry key of its own.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    static std::string keyPath = "SOFTWARE\\kestrix\\QuibletTest-" + std::to_string(GetCurrentProcessId());
    SettingsKeyPath = keyPath.c_str();
    LoadControlLibraries();
    if (!InitApplication(GetModuleHandleA(NULL))) return 1;
    hMainDialog = CreateMainDialog(hInstance);
    // One hook sees the boxes, refused windows and menus of every test.
    SetWindowsHookExA(WH_CBT, WatchWindows, NULL, GetCurrentThreadId());
    SoundPlayer = RecordSound;
    return RUN_ALL_TESTS();
}
