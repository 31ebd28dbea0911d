// The hidden main dialog (info screen), the tray icon and tray menu, and the
// operations on all note windows that the tray menu starts.
#pragma once
#include <windows.h>
#include <shellapi.h>

#define TRAY_ICON_ID        1025
#define WM_TRAY_CALLBACK    (WM_USER + 2)   // 1026
#define MAIN_TIMER_ID       1
#define MAIN_TIMER_PERIOD   5000
#define TRAY_RETRY_TIMER_ID     2
#define TRAY_RETRY_PERIOD       5000
#define TRAY_RETRY_COUNT        60      // five minutes of retries

enum TrayAction { TrayAdd, TrayDelete };

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetTrayIcon(HWND window, TrayAction action);
// Adds the tray icon; when the notification area is not ready yet (a start
// at logon) it tries again every few seconds for a few minutes.
void AddTrayIcon(HWND window);
// What the tray icon is set through: Shell_NotifyIconA (the tests fail it).
extern BOOL (WINAPI* TrayNotifier)(DWORD action, PNOTIFYICONDATAA data);
void OnTrayNotify(HWND window, WPARAM id, LPARAM mouseMessage);

// Set once the quit is posted after the last save: the program is ending.
extern BOOL QuitPending;

// Carries out one command of the tray menu (what a choice in the menu does).
void RunTrayCommand(UINT command);

// Sets the tray menu's check marks from the run-time switches.
void UpdateTrayMenuChecks();

BOOL CloseAllNoteWindows();
// Re-creates the note windows with the on-top switch; FALSE, with the
// windows left as they were, when the save before failed.
BOOL ApplyNotesOnTop();
