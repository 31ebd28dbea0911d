#include "shell/globals.h"
#include <string.h>

// ---- Process-wide state ----------------------------------------------------
HINSTANCE hInstance;
HWND      hMainDialog;
char      DataFolder[MAX_PATH];
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

BOOL MakeDataFolderPath(const char* currentDir, const char* userName, char* out, size_t outSize)
{
    const char* name = userName && userName[0] ? userName : "default";
    size_t dirLength = strlen(currentDir);
    bool needsSeparator = dirLength == 0 || currentDir[dirLength - 1] != '\\';
    size_t total = dirLength + (needsSeparator ? 1 : 0) + strlen(name);
    if (outSize == 0) return FALSE;
    out[0] = 0;
    if (total + 1 > outSize) return FALSE;
    memcpy(out, currentDir, dirLength);
    size_t at = dirLength;
    if (needsSeparator) out[at++] = '\\';
    strcpy(out + at, name);
    return TRUE;
}

BOOL SetUpDataFolder()
{
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current) return FALSE;
    char user[256] = "";
    DWORD userSize = 255;
    if (!GetUserNameA(user, &userSize)) user[0] = 0;
    char folder[MAX_PATH];
    if (!MakeDataFolderPath(current, user, folder, sizeof folder - DataFileNameRoom)) return FALSE;
    lstrcpynA(DataFolder, folder, sizeof DataFolder);
    CreateDirectoryA(DataFolder, NULL);
    return TRUE;
}

BOOL EnterDataFolder()
{
    return SetCurrentDirectoryA(DataFolder);
}

BOOL DataFolderPath(const char* name, char* out, size_t outSize)
{
    size_t folderLength = strlen(DataFolder);
    size_t nameLength = strlen(name);
    if (folderLength + 1 + nameLength + 1 > outSize) return FALSE;
    memcpy(out, DataFolder, folderLength);
    out[folderLength] = '\\';
    memcpy(out + folderLength + 1, name, nameLength + 1);
    return TRUE;
}
