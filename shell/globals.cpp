#include "shell/globals.h"
#include <string.h>
#include <wchar.h>

// ---- Process-wide state ----------------------------------------------------
HINSTANCE hInstance;
HWND      hMainDialog;
wchar_t   DataFolder[MAX_PATH];
HMODULE   hRichEditLib;
HICON     hTrayIcon, hKillIcon, hMenuIcon, hHideIcon, hAlarmIcon;
HMENU     hMainMenu, hNotesMenu, hTaskBarMenu, hCommandMenu;
DWORD     NotesHidden;
DWORD     AlarmsOn;
DWORD     NotesOnTop;
DWORD     TrayIconPending = 1;

const char* const InstanceMutexName = "kestrix Quiblet";
const wchar_t* const NoteWindowClass = L"kestrixNotes";

// Room kept behind the data folder for "\" and the longest content file name
// with the suffix of its temporary copy, so every file of a note fits MAX_PATH.
static const size_t DataFileNameRoom = 1 + 20 + 4;

BOOL MakeDataFolderPath(const wchar_t* startDir, const wchar_t* userName, wchar_t* out, size_t outSize)
{
    const wchar_t* name = userName && userName[0] ? userName : L"default";
    size_t dirLength = wcslen(startDir);
    bool needsSeparator = dirLength == 0 || startDir[dirLength - 1] != L'\\';
    size_t total = dirLength + (needsSeparator ? 1 : 0) + wcslen(name);
    if (outSize == 0) return FALSE;
    out[0] = 0;
    if (total + 1 > outSize) return FALSE;
    wmemcpy(out, startDir, dirLength);
    size_t at = dirLength;
    if (needsSeparator) out[at++] = L'\\';
    wcscpy(out + at, name);
    return TRUE;
}

// "C:\Windows\system32" and "C:\Windows\system32\" are the same folder.
static bool SameFolder(const wchar_t* a, const wchar_t* b)
{
    size_t n = wcslen(a), m = wcslen(b);
    if (n > 0 && a[n - 1] == L'\\') n--;
    if (m > 0 && b[m - 1] == L'\\') m--;
    return n == m && n > 0 && CompareStringOrdinal(a, static_cast<int>(n), b, static_cast<int>(m), TRUE) == CSTR_EQUAL;
}

const wchar_t* ChooseStartDirectory(const wchar_t* current, const wchar_t* system, const wchar_t* program)
{
    return SameFolder(current, system) && program[0] ? program : current;
}

static bool ProgramFolder(wchar_t (&out)[MAX_PATH])
{
    DWORD length = GetModuleFileNameW(NULL, out, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    wchar_t* slash = wcsrchr(out, L'\\');
    if (!slash) return false;
    slash[slash == out + 2 && out[1] == L':' ? 1 : 0] = 0;   // "C:\" keeps its backslash
    return true;
}

// The program only finds out that a folder takes no files when a save fails:
// a file made and removed at once tells it at start.
static bool FolderTakesFiles(const wchar_t* folder)
{
    wchar_t probe[MAX_PATH];
    if (wcslen(folder) + 16 >= MAX_PATH) return false;
    wsprintfW(probe, L"%s\\~quiblet.tmp", folder);
    HANDLE file = CreateFileW(probe, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                              NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

DataFolderSetUp SetUpDataFolder()
{
    wchar_t current[MAX_PATH], system[MAX_PATH] = L"", program[MAX_PATH] = L"";
    DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
    if (length == 0 || length >= MAX_PATH) return DataFolderTooLong;
    UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH) system[0] = 0;
    if (!ProgramFolder(program)) program[0] = 0;
    wchar_t user[256] = L"";
    DWORD userSize = 255;
    if (!GetUserNameW(user, &userSize)) user[0] = 0;
    wchar_t folder[MAX_PATH];
    if (!MakeDataFolderPath(ChooseStartDirectory(current, system, program), user, folder, MAX_PATH - DataFileNameRoom))
        return DataFolderTooLong;
    lstrcpynW(DataFolder, folder, MAX_PATH);
    CreateDirectoryW(DataFolder, NULL);
    return FolderTakesFiles(DataFolder) ? DataFolderReady : DataFolderUnwritable;
}

BOOL EnterDataFolder()
{
    return SetCurrentDirectoryW(DataFolder);
}

BOOL ToCodePage(const wchar_t* text, char* out, size_t outSize)
{
    if (outSize == 0) return FALSE;
    BOOL lossy = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out, static_cast<int>(outSize), NULL, &lossy);
    if (bytes > 0 && !lossy) return TRUE;
    out[0] = 0;
    return FALSE;
}

BOOL DataFolderInCodePage(char* out, size_t outSize)
{
    return ToCodePage(DataFolder, out, outSize);
}

// The 8-bit file functions reach a folder outside the code page only as the
// current directory.
BOOL DataFolderPath(const char* name, char* out, size_t outSize)
{
    char folder[MAX_PATH];
    size_t nameLength = strlen(name);
    if (!DataFolderInCodePage(folder, sizeof folder)) {
        if (nameLength + 1 > outSize || !EnterDataFolder()) return FALSE;
        memcpy(out, name, nameLength + 1);
        return TRUE;
    }
    size_t folderLength = strlen(folder);
    if (folderLength + 1 + nameLength + 1 > outSize) return FALSE;
    memcpy(out, folder, folderLength);
    out[folderLength] = '\\';
    memcpy(out + folderLength + 1, name, nameLength + 1);
    return TRUE;
}

// Held, without sharing, for the whole run: a second copy on this or another
// computer (a data folder on a network share) cannot open it. The system
// closes it, and so removes it, however the program ends.
static HANDLE DataFolderLock = INVALID_HANDLE_VALUE;

BOOL LockDataFolder()
{
    char path[MAX_PATH];
    if (DataFolderLock != INVALID_HANDLE_VALUE || !DataFolderPath(DATA_FOLDER_LOCK_FILE, path, sizeof path)) return TRUE;
    DataFolderLock = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (DataFolderLock != INVALID_HANDLE_VALUE) return TRUE;
    // A folder that takes no file at all is the store's to report.
    DWORD error = GetLastError();
    return error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION;
}

void UnlockDataFolder()
{
    if (DataFolderLock == INVALID_HANDLE_VALUE) return;
    CloseHandle(DataFolderLock);
    DataFolderLock = INVALID_HANDLE_VALUE;
}
