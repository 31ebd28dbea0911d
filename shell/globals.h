// The process-wide state set up at start, and the per-user data folder that
// every file, sound and help-page name is resolved from.
#pragma once
#include <windows.h>
#include <stddef.h>

// ---- Process-wide state, alive for the whole run -------------------------
extern HINSTANCE hInstance;
extern HWND      hMainDialog;
extern wchar_t   DataFolder[MAX_PATH];   // per-user data folder, no trailing '\'
extern HMODULE   hRichEditLib;
extern HICON     hTrayIcon, hKillIcon, hMenuIcon, hHideIcon, hAlarmIcon;
extern HMENU     hMainMenu, hNotesMenu, hTaskBarMenu, hCommandMenu;

// Run-time switches, seeded from the settings and toggled by the tray menu.
// They hold what the settings held (a stored 2 stays 2); tests compare with 1.
extern DWORD NotesHidden;
extern DWORD AlarmsOn;
extern DWORD NotesOnTop;
extern DWORD TrayIconPending;

extern const char* const InstanceMutexName;   // "kestrix Quiblet"
extern const wchar_t* const NoteWindowClass;  // "kestrixNotes"

// Builds "<startDir>\<userName or default>" into out. Returns FALSE, and
// leaves out empty, when the result does not fit in outSize characters.
BOOL MakeDataFolderPath(const wchar_t* startDir, const wchar_t* userName, wchar_t* out, size_t outSize);

// The folder the notes live under: the current directory, or the program's
// own folder when the current one is the Windows system folder (where some
// autostart entries start a program). Comparison ignores case.
const wchar_t* ChooseStartDirectory(const wchar_t* current, const wchar_t* system, const wchar_t* program);

// Fills DataFolder from the start directory and the user name, creates the
// folder and makes sure a file can be written in it.
enum DataFolderSetUp { DataFolderReady, DataFolderTooLong, DataFolderUnwritable };
DataFolderSetUp SetUpDataFolder();

// Makes the data folder the current directory; every relative file, sound
// and help-page name is resolved from there.
BOOL EnterDataFolder();

// The name by which a file of the data folder is opened, into out (MAX_PATH
// bytes): "<DataFolder>\<name>" where the folder's path fits the code page,
// otherwise the bare name with the data folder made the current directory.
// FALSE if too long, or when the data folder cannot be entered.
BOOL DataFolderPath(const char* name, char* out, size_t outSize);
// Text in the system's code page, when it holds every character (no
// look-alike stands in); FALSE, with out empty, otherwise or when too long.
BOOL ToCodePage(const wchar_t* text, char* out, size_t outSize);
// The data folder as an 8-bit path, when the code page holds every character
// of it; FALSE otherwise.
BOOL DataFolderInCodePage(char* out, size_t outSize);

// The file that marks the data folder as in use; no note may take its name.
#define DATA_FOLDER_LOCK_FILE "quiblet.lock"
// Takes the data folder for this run. FALSE when another copy, maybe on
// another computer, holds it: this one must then write nothing.
BOOL LockDataFolder();
void UnlockDataFolder();
