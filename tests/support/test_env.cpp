#include "support/test_env.h"
#include <richedit.h>
#include <stdio.h>
#include "shell/app.h"
#include "shell/main_dialog.h"
#include "settings/settings_store.h"
#include "settings/general_dialog.h"
#include "alarm/note_props_dialog.h"
#include "notelist/note_list_dialog.h"
#include "notes/note_store.h"
#include "resources/resource.h"

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return condition();
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpPending()
{
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE); i++) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// ---- Answering modal loops from a timer ---------------------------------
namespace {
struct PendingAnswer {
    std::string caption;   // empty: any
    int buttonId;
    BoxAnswer* result;
    DWORD started;
    std::function<void(HWND)> prepare;   // fills the box in before the answer
};
std::vector<PendingAnswer> pendingAnswers;
UINT_PTR answerTimer;

struct FoundBox { const PendingAnswer* want; HWND box; };

BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    FoundBox* found = reinterpret_cast<FoundBox*>(param);
    char cls[32], caption[256];
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    GetWindowTextA(window, caption, sizeof caption);
    if (!found->want->caption.empty() && found->want->caption != caption) return TRUE;
    if (GetDlgItem(window, found->want->buttonId) == NULL) return TRUE;
    found->box = window;
    return FALSE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param)
{
    char cls[32], text[1024];
    GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
        *reinterpret_cast<std::string*>(param) += text;
    return TRUE;
}

void CALLBACK AnswerTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    for (size_t i = 0; i < pendingAnswers.size(); i++) {
        PendingAnswer& want = pendingAnswers[i];
        FoundBox found = { &want, NULL };
        EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&found));
        if (!found.box) continue;
        char caption[256];
        GetWindowTextA(found.box, caption, sizeof caption);
        want.result->caption = caption;
        EnumChildWindows(found.box, CollectStaticText, reinterpret_cast<LPARAM>(&want.result->text));
        want.result->answered = true;
        if (want.prepare) want.prepare(found.box);
        int button = want.buttonId;
        pendingAnswers.erase(pendingAnswers.begin() + i);
        PostMessageA(found.box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(found.box, button)));
        break;
    }
    if (pendingAnswers.empty()) {
        KillTimer(NULL, answerTimer);
        answerTimer = 0;
    }
}

void CALLBACK CloseMenuTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(NULL, id);
    EndMenu();
}
}  // namespace

BoxAnswer* AnswerNextBox(const char* caption, int buttonId)
{
    static std::vector<std::unique_ptr<BoxAnswer>> tickets;
    tickets.emplace_back(new BoxAnswer);
    pendingAnswers.push_back({ caption ? caption : "", buttonId, tickets.back().get(), GetTickCount(), nullptr });
    if (!answerTimer) answerTimer = SetTimer(NULL, 0, 50, AnswerTimerProc);
    return tickets.back().get();
}

BoxAnswer* AnswerNextBoxAfter(const char* caption, int buttonId, std::function<void(HWND)> prepare)
{
    BoxAnswer* ticket = AnswerNextBox(caption, buttonId);
    pendingAnswers.back().prepare = prepare;
    return ticket;
}

void CloseMenuSoon()
{
    SetTimer(NULL, 0, 100, CloseMenuTimerProc);
}

// ---- Files ----------------------------------------------------------------
std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string InDataFolder(const char* name)
{
    return std::string(DataFolder) + "\\" + name;
}

std::string EditorText(HWND editor)
{
    int length = GetWindowTextLengthA(editor);
    std::string text(length + 1, '\0');
    GetWindowTextA(editor, &text[0], length + 1);
    text.resize(strlen(text.c_str()));
    return text;
}

void SetEditorText(HWND editor, const char* text)
{
    SetWindowTextA(editor, text);
    // WM_SETTEXT leaves the control unmodified; typing would not.
    SendMessageA(editor, EM_SETMODIFY, TRUE, 0);
}

NoteRecord* AddTestNote(LONG left, LONG top, LONG width, LONG height)
{
    NoteRecord* note = NewNoteRecord();
    note->left = left;
    note->top = top;
    note->width = width;
    note->height = height;
    AppendNote(note);
    return note;
}

// Wine answers GetGuiResources with 0; there the process's GDI handle table
// (the PEB's GdiSharedHandleTable, 24-byte entries as on Windows) is counted:
// byte 14 of an entry is its type, 0 once freed; bit 7 of byte 12 marks
// stock objects.
static int CountGdiTableEntries()
{
    struct BasicInformation { LONG_PTR exitStatus; const unsigned char* peb; ULONG_PTR rest[4]; } info = {};
    typedef LONG (WINAPI *QueryProcess)(HANDLE, int, void*, ULONG, ULONG*);
    QueryProcess query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    if (!query || query(GetCurrentProcess(), 0, &info, sizeof info, NULL) != 0 || !info.peb) return 0;
    const unsigned char* peb = info.peb;
    const unsigned char* table = *reinterpret_cast<const unsigned char* const*>(peb + 0xF8);
    if (!table) return 0;
    int count = 0;
    for (int i = 0; i < 0x10000; i++) {
        const unsigned char* entry = table + 24 * i;
        if (entry[14] != 0 && !(entry[12] & 0x80)) count++;
    }
    return count;
}

int CountGdiObjects()
{
    int count = static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    return count ? count : CountGdiTableEntries();
}

// ---- Fixture ----------------------------------------------------------------
static void RemoveFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveFolder(path);
            else { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL); DeleteFileA(path.c_str()); }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

static std::string startFolder;

void QuibletTest::SetUp()
{
    static int counter;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char start[MAX_PATH];
    wsprintfA(start, "%squiblet-test-%lu-%d", temp, GetCurrentProcessId(), ++counter);
    startFolder = start;
    CreateDirectoryA(start, NULL);
    dataFolder = startFolder + "\\tester";
    CreateDirectoryA(dataFolder.c_str(), NULL);
    lstrcpynA(DataFolder, dataFolder.c_str(), MAX_PATH);
    SetCurrentDirectoryA(DataFolder);

    RegDeleteKeyA(HKEY_LOCAL_MACHINE, SettingsKeyPath);
    SetDefaultSettings(&AppSettings);
    AppSettings.sound = 0;   // tests stay quiet unless they ask for sound
    NotesHidden = AppSettings.startupNotes;
    AlarmsOn = AppSettings.startupAlarms;
    NotesOnTop = AppSettings.alwaysOnTop;
}

void QuibletTest::TearDown()
{
    if (hNoteListDialog) SendMessageA(hNoteListDialog, WM_COMMAND, IDC_CLOSE, 0);
    if (hNotePropsDialog) SendMessageA(hNotePropsDialog, WM_CLOSE, 0, 0);
    if (hGeneralDialog) SendMessageA(hGeneralDialog, WM_CLOSE, 0, 0);
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (note->window) DestroyWindow(note->window);
        note->window = NULL;
    }
    FreeNotes();
    PumpPending();
    SetCurrentDirectoryA(startFolder.c_str());
    SetCurrentDirectoryA("..");
    RemoveFolder(startFolder);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, SettingsKeyPath);
}

// ---- Watching popup menus ---------------------------------------------------
namespace {
MenuSeen menuSeen;
UINT_PTR menuWatchTimer;

BOOL CALLBACK FindPopupMenu(HWND window, LPARAM param)
{
    char cls[16];
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32768") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

void CALLBACK MenuWatchTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    HWND menu = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindPopupMenu, reinterpret_cast<LPARAM>(&menu));
    if (!menu) return;
    GetWindowRect(menu, &menuSeen.rect);
    menuSeen.opened = true;
    StopMenuWatch();
    EndMenu();
}
}  // namespace

MenuSeen* WatchNextMenu()
{
    menuSeen = MenuSeen();
    if (!menuWatchTimer) menuWatchTimer = SetTimer(NULL, 0, 30, MenuWatchTimerProc);
    return &menuSeen;
}

void StopMenuWatch()
{
    if (menuWatchTimer) KillTimer(NULL, menuWatchTimer);
    menuWatchTimer = 0;
}

int CountThreadWindows(const char* caption)
{
    struct Count { const char* caption; int found; } count = { caption, 0 };
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM param) -> BOOL {
        Count* count = reinterpret_cast<Count*>(param);
        char text[256];
        GetWindowTextA(window, text, sizeof text);
        if (strcmp(text, count->caption) == 0) count->found++;
        return TRUE;
    }, reinterpret_cast<LPARAM>(&count));
    return count.found;
}
