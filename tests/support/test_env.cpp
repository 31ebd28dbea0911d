#include "support/test_env.h"
#include "support/gdi_count.h"
#include <commctrl.h>
#include <shellapi.h>
#include <fstream>
#include <deque>
#include <set>
#include "alarm/note_props_dialog.h"
#include "notelist/note_list_dialog.h"
#include "notes/autosave.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "settings/general_dialog.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "resources/resource.h"

std::vector<std::string> SoundsPlayed;

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); !condition(); MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT)) {
        if (GetTickCount() - start > timeoutMs) return condition();
        PumpPending();
    }
    return true;
}

void PumpPending()
{
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE); i++) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// ---- Boxes and refused windows, seen through one hook of the thread ---------
namespace {
struct Pending {
    std::string caption;
    int button;
    bool every;
    BoxAnswer* result;
    std::function<void(HWND)> prepare;
};
std::vector<Pending> pending;
std::deque<BoxAnswer> tickets;   // answers stay where they are
std::set<HWND> boxesSeen;
std::string refusedClass;
HHOOK hook;

BOOL CALLBACK TakeStaticText(HWND child, LPARAM param)
{
    char cls[32], text[1024];
    GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
        *reinterpret_cast<std::string*>(param) += text;
    return TRUE;
}

void OnBoxActivated(HWND box)
{
    char caption[256];
    std::string text;
    GetWindowTextA(box, caption, sizeof caption);
    EnumChildWindows(box, TakeStaticText, reinterpret_cast<LPARAM>(&text));
    for (size_t i = 0; i < pending.size(); i++) {
        Pending want = pending[i];
        if (!want.caption.empty() && want.caption != caption) continue;
        *want.result = { true, want.result->count + 1, text };
        if (!want.every) pending.erase(pending.begin() + i);
        if (want.prepare) want.prepare(box);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(want.button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, want.button)));
        return;
    }
    ADD_FAILURE() << "unexpected box \"" << caption << "\": " << text;
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
}

LRESULT CALLBACK WatchWindows(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (code == HCBT_CREATEWND && refusedClass == cls) return 1;
    bool ownDialog = window == hMainDialog || window == hGeneralDialog || window == hNotePropsDialog ||
                     window == hNoteListDialog;
    if (code == HCBT_ACTIVATE && strcmp(cls, "#32770") == 0 && !ownDialog && boxesSeen.insert(window).second)
        OnBoxActivated(window);
    return CallNextHookEx(hook, code, wParam, lParam);
}

BOOL WINAPI RecordSound(LPCSTR sound, HMODULE, DWORD)
{
    return SoundsPlayed.push_back(sound), TRUE;
}

// The program's PlaySoundA goes through this executable's import table.
void CaptureSounds()
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(NULL));
    IMAGE_NT_HEADERS* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); dll->Name; dll++) {
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; name->u1.AddressOfData; name++, slot++) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name, "PlaySoundA") != 0)
                continue;
            DWORD was;
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &was);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(RecordSound);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, was, &was);
        }
    }
}
}  // namespace

BoxAnswer* AnswerNextBox(const char* caption, int buttonId, std::function<void(HWND)> prepare)
{
    tickets.emplace_back();
    pending.push_back({ caption ? caption : "", buttonId, false, &tickets.back(), prepare });
    return &tickets.back();
}

BoxAnswer* AnswerEveryBox(const char* caption)
{
    BoxAnswer* ticket = AnswerNextBox(caption, IDOK);
    pending.back().every = true;
    return ticket;
}

void RefuseWindowsOfClass(const char* className) { refusedClass = className ? className : ""; }

// ---- Popup menus --------------------------------------------------------------
static MenuSeen menuSeen;

static BOOL CALLBACK FindOpenMenu(HWND window, LPARAM found)
{
    char cls[16];
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32768") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

static void CALLBACK LookForMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND menu = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindOpenMenu, reinterpret_cast<LPARAM>(&menu));
    if (!menu) return;
    KillTimer(NULL, timer);
    GetWindowRect(menu, &menuSeen.rect);
    menuSeen.menu = reinterpret_cast<HMENU>(SendMessageA(menu, 0x01E1 /* MN_GETHMENU */, 0, 0));
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
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary);
    return file.write(bytes.data(), bytes.size()) && file.flush();
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
std::string InDataFolder(const char* name) { return std::string(DataFolder) + "\\" + name; }

std::string EditorText(HWND editor)
{
    std::string text(GetWindowTextLengthA(editor) + 1, '\0');
    text.resize(GetWindowTextA(editor, &text[0], static_cast<int>(text.size())));
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

int CountGdiObjects()
{
    return GdiObjectCount();
}

int CountFromEnvironment(const char* name, int fallback)
{
    const char* value = getenv(name);
    return value && atoi(value) > 0 ? atoi(value) : fallback;
}

// ---- Fixture ----------------------------------------------------------------------
static std::string startFolder;

void QuibletTest::SetUp()
{
    static int counter;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    startFolder = std::string(temp) + "quiblet-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    dataFolder = startFolder + "\\tester";
    CreateDirectoryA(startFolder.c_str(), NULL);
    CreateDirectoryA(dataFolder.c_str(), NULL);
    lstrcpynA(DataFolder, dataFolder.c_str(), MAX_PATH);
    SetCurrentDirectoryA(DataFolder);
    SetDefaultSettings(&AppSettings);
    SeedRunTimeSwitches();
    ResetAutosave();
    SoundsPlayed.clear();
    if (!hook) hook = SetWindowsHookExA(WH_CBT, WatchWindows, NULL, GetCurrentThreadId());
}

void QuibletTest::TearDown()
{
    if (hNoteListDialog) SendMessageA(hNoteListDialog, WM_COMMAND, IDC_CLOSE, 0);
    if (hNotePropsDialog) SendMessageA(hNotePropsDialog, WM_CLOSE, 0, 0);
    if (hGeneralDialog) SendMessageA(hGeneralDialog, WM_CLOSE, 0, 0);
    for (NoteRecord* note = NoteList.head; note; note = note->next)
        if (note->window) DestroyNoteWindow(note);
    FreeNotes();
    PumpPending();
    pending.clear();
    refusedClass.clear();
    StoreFaultInjector = nullptr;
    SetCurrentDirectoryA((startFolder + "\\..").c_str());
    std::string from = startFolder + '\0';
    SHFILEOPSTRUCTA remove = { NULL, FO_DELETE, from.c_str(), NULL, FOF_NO_UI };
    SHFileOperationA(&remove);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, SettingsKeyPath);
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKeyPath);
}

// The test programs' main: the program set up as start-up does it, without
// the single-instance guard and the message loop, on a registry key of its own.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    static std::string keyPath = "SOFTWARE\\kestrix\\QuibletTest-" + std::to_string(GetCurrentProcessId());
    SettingsKeyPath = keyPath.c_str();
    InitCommonControls();
    hRichEditLib = LoadLibraryA("RICHED32.DLL");
    if (!InitApplication(GetModuleHandleA(NULL))) return 1;
    hMainDialog = CreateMainDialog(hInstance);
    CaptureSounds();
    return RUN_ALL_TESTS();
}
