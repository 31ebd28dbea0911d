#include "shell/main_dialog.h"
#include <shellapi.h>
#include <windowsx.h>
#include "alarm/alarm_scheduler.h"
#include "notelist/note_list_dialog.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/general_dialog.h"
#include "settings/settings_store.h"
#include "shell/globals.h"
#include "shell/services.h"
#include "shell/ui_text.h"

// ---- Module state ---------------------------------------------------------
// The shell broadcasts this message when the task bar is created anew (for
// example after Explorer restarted); the tray icon must then be added again.
static UINT TaskbarCreatedMessage;

static const char* const TrayTip = "Quiblet";

// Set while a close request's save runs (its error box has a message loop).
static bool ClosingOnRequest;

BOOL QuitPending;

BOOL (WINAPI* TrayNotifier)(DWORD action, PNOTIFYICONDATAA data) = Shell_NotifyIconA;
static int TrayRetriesLeft;

BOOL SetTrayIcon(HWND window, TrayAction action)
{
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = TRAY_ICON_ID;
    data.uCallbackMessage = WM_TRAY_CALLBACK;
    data.hIcon = hTrayIcon;
    lstrcpynA(data.szTip, TrayTip, 64);
    if (action == TrayAdd) {
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        return TrayNotifier(NIM_ADD, &data);
    }
    data.uFlags = 0;
    return TrayNotifier(NIM_DELETE, &data);
}

void AddTrayIcon(HWND window)
{
    if (SetTrayIcon(window, TrayAdd)) return;
    TrayRetriesLeft = TRAY_RETRY_COUNT;
    SetTimer(window, TRAY_RETRY_TIMER_ID, TRAY_RETRY_PERIOD, NULL);
}

static void RetryTrayIcon(HWND window)
{
    if (TrayRetriesLeft <= 0) return;   // a tick already queued when it stopped
    TrayRetriesLeft--;
    if (SetTrayIcon(window, TrayAdd)) TrayRetriesLeft = 0;
    if (TrayRetriesLeft == 0) KillTimer(window, TRAY_RETRY_TIMER_ID);
}

BOOL CloseAllNoteWindows()
{
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (!note->window) continue;
        DestroyNoteWindow(note);
        note->visible = 0;
    }
    return TRUE;
}

BOOL ApplyNotesOnTop()
{
    if (NotesHidden == 1) return TRUE;
    if (!SaveNotes()) return FALSE;
    CloseAllNoteWindows();
    ShowAllNotes();
    return TRUE;
}

void UpdateTrayMenuChecks()
{
    SetMenuCheck(hTaskBarMenu, IDM_TRAY_HIDE_NOTES, NotesHidden == 1);
    SetMenuCheck(hTaskBarMenu, IDM_TRAY_ALARM, AlarmsOn == 1);
    SetMenuCheck(hTaskBarMenu, IDM_TRAY_ON_TOP, NotesOnTop == 1);
}

static void ToggleNotesHidden()
{
    if (NotesHidden == 1) {
        NotesHidden = 0;
        ShowVisibleNotes();
        return;
    }
    HideAllNoteWindows();
}

// After the last save. The windows closed leave their notes marked hidden,
// so nothing may be saved again; yet a close request reaches every window
// of the program, and those after the first come once the quit is posted.
static void CloseWindowsAndQuit()
{
    CloseAllNoteWindows();
    PostQuitMessage(0);
    QuitPending = TRUE;
}

void RunTrayCommand(UINT command)
{
    switch (command) {
    case IDM_TRAY_SHOW_ALL:
        NotesHidden = 0;
        ShowAllNotes();
        break;
    case IDM_TRAY_ON_TOP: {
        DWORD before = NotesOnTop;
        NotesOnTop = ToggledFlag(NotesOnTop);
        if (!ApplyNotesOnTop()) NotesOnTop = before;
        break;
    }
    case IDM_TRAY_HIDE_NOTES:
        ToggleNotesHidden();
        break;
    case IDM_TRAY_ALARM:
        AlarmsOn = ToggledFlag(AlarmsOn);
        break;
    case IDM_TRAY_NOTE_LIST:
        SaveNotes();
        OpenNoteList(hMainDialog);
        break;
    case IDM_TRAY_SETTINGS:
        SaveNotes();
        OpenGeneralProperties();
        break;
    case IDM_TRAY_INFO:
        ShowWindow(hMainDialog, SW_SHOW);
        break;
    case IDM_TRAY_HELP:
        ShowHelp();
        break;
    case IDM_TRAY_QUIT:
        // After a failed save the user frees the disk and quits again.
        if (QuitPending || !SaveNotes()) break;
        CloseWindowsAndQuit();
        break;
    default:
        break;
    }
}

static void ShowTrayMenu(HWND window)
{
    POINT cursor;
    GetCursorPos(&cursor);
    UpdateTrayMenuChecks();
    if (NotesHidden == 0) ShowVisibleNotes();
    SetActiveWindow(window);
    SetForegroundWindow(window);
    UINT command = TrackPopupMenu(hTaskBarMenu, TPM_RIGHTBUTTON | TPM_RETURNCMD, cursor.x, cursor.y, 0, window, NULL);
    // Without this the menu would not close when the user clicks elsewhere.
    PostMessageA(window, WM_NULL, 0, 0);
    RunTrayCommand(command);
}

void OnTrayNotify(HWND window, WPARAM id, LPARAM mouseMessage)
{
    if (id != TRAY_ICON_ID) return;
    switch (mouseMessage) {
    case WM_LBUTTONDOWN:
        CreateNote();
        break;
    case WM_RBUTTONDOWN:
        ShowTrayMenu(window);
        break;
    default:
        break;
    }
}

// ---- Message handlers -------------------------------------------------------
static void OnInitDialog(HWND dialog)
{
    if (!TaskbarCreatedMessage) TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    SetTimer(dialog, MAIN_TIMER_ID, MAIN_TIMER_PERIOD, NULL);
    SetForegroundWindow(dialog);
}

static void OnInfoOk(HWND dialog)
{
    ShowWindow(dialog, SW_HIDE);
    if (NotesHidden == 0) ShowVisibleNotes();
    if (TrayIconPending == 1) {
        AddTrayIcon(dialog);
        TrayIconPending = 0;
    }
}

static void OnCommand(HWND dialog, WORD id)
{
    switch (id) {
    case IDC_MAIN_OK:
        OnInfoOk(dialog);
        break;
    case IDC_MAIN_HELP:
        ShowHelp();
        break;
    default:
        break;
    }
}

// A close request that is not the user's own command (Alt+F4 on the info
// screen, a note's close, the system, another program) ends the program as
// "Beenden" does. Such a request reaches every window of the program at
// once: while the first one's error box is open, the others bring none.
static void OnClose()
{
    if (ClosingOnRequest) return;
    ClosingOnRequest = true;
    RunTrayCommand(IDM_TRAY_QUIT);
    ClosingOnRequest = false;
}

// No box, which would hold up the shutdown screen. The Restart Manager
// (ENDSESSION_CLOSEAPP) waits for the program to end; after a failed save
// the windows stay with their text, and its close request that follows
// shows the error.
static void OnEndSession(WPARAM ending, LPARAM flags)
{
    if (!ending || QuitPending || !SaveNotesReporting(SaveQuietly)) return;
    if (flags & ENDSESSION_CLOSEAPP) CloseWindowsAndQuit();
}

static void OnTimer(HWND dialog, WPARAM id)
{
    if (id == TRAY_RETRY_TIMER_ID) RetryTrayIcon(dialog);
    else CheckAlarms();
}

// No tick came while the computer slept.
static void OnPowerBroadcast(WPARAM event)
{
    if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) CatchUpMissedAlarms();
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return FALSE;
    case WM_TIMER:
        OnTimer(dialog, wParam);
        return FALSE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return FALSE;
    case WM_HELP:
        ShowHelp();
        return FALSE;
    case WM_ENDSESSION:
        OnEndSession(wParam, lParam);
        return FALSE;
    case WM_CLOSE:
        OnClose();
        return FALSE;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_POWERBROADCAST:
        OnPowerBroadcast(wParam);
        return FALSE;
    case WM_TIMECHANGE:
        CatchUpMissedAlarms();
        return FALSE;
    case WM_TRAY_CALLBACK:
        OnTrayNotify(dialog, wParam, lParam);
        return FALSE;
    default:
        if (message == TaskbarCreatedMessage && message != 0) {
            if (TrayIconPending == 0 && SetTrayIcon(dialog, TrayAdd)) {
                TrayRetriesLeft = 0;
                KillTimer(dialog, TRAY_RETRY_TIMER_ID);
            }
        }
        return FALSE;
    }
}
