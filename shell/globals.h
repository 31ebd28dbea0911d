// The process-wide state set up at start, and the per-user data folder that
// every file, sound and help-page name is resolved from.
#pragma once
#include <windows.h>
#include <stddef.h>

// ---- Process-wide state, alive for the whole run -------------------------
extern HINSTANCE hInstance;
extern HWND      hMainDialog;
extern char      DataFolder[MAX_PATH];   // per-user data folder, no trailing '\'
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

// Builds "<currentDir>\<userName or default>" into out. Returns FALSE, and
// leaves out empty, when the result does not fit in outSize bytes.
BOOL MakeDataFolderPath(const char* currentDir, const char* userName, char* out, size_t outSize);

// Fills DataFolder from the current directory and the user name and creates
// the folder. Returns FALSE when the path does not fit.
BOOL SetUpDataFolder();

// Makes the data folder the current directory; every relative file, sound
// and help-page name is resolved from there.
BOOL EnterDataFolder();

// Builds "<DataFolder>\<name>" into out (MAX_PATH bytes). FALSE if too long.
BOOL DataFolderPath(const char* name, char* out, size_t outSize);
