#include "shell/app.h"
#include <commctrl.h>
#include "alarm/alarm_scheduler.h"
#include "notes/autosave.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/main_dialog.h"
#include "shell/services.h"
#include "notes/note_frame.h"
#include "shell/ui_text.h"

void SeedRunTimeSwitches()
{
    NotesHidden = AppSettings.startupNotes;
    AlarmsOn = AppSettings.startupAlarms;
    NotesOnTop = AppSettings.alwaysOnTop;
}

BOOL InitApplication(HINSTANCE instance)
{
    hInstance = instance;
    // The tray shows the small size of the screen's scale; shared, so never destroyed.
    hTrayIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TRAY), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (!hTrayIcon) return FALSE;
    hKillIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KILL));
    hMenuIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MENU));
    if (!hMenuIcon) return FALSE;
    hHideIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_HIDE));
    if (!hHideIcon) return FALSE;
    hAlarmIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ALARM));
    if (!hAlarmIcon) return FALSE;
    PassStep("icons");

    LoadSettings();
    SeedRunTimeSwitches();
    PassStep("settings");

    hMainMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    hNotesMenu = GetSubMenu(hMainMenu, MENU_POS_NOTES);
    hTaskBarMenu = GetSubMenu(hMainMenu, MENU_POS_TASKBAR);
    hCommandMenu = GetSubMenu(hMainMenu, MENU_POS_COMMAND);
    PassStep("menus");

    // A Unicode class and loop: typed characters reach the editor whole,
    // whatever the system's code page.
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = NoteWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = NoteWindowClass;
    RegisterClassExW(&wc);
    PassStep("note_class");
    return TRUE;
}

HWND CreateMainDialog(HINSTANCE instance)
{
    return CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
}

BOOL InitInstance(HINSTANCE instance)
{
    hInstance = instance;
    hMainDialog = CreateMainDialog(instance);
    PassStep("main_dialog");
    CleanUpInterruptedSaves();
    PassStep("clean_up_saves");
    LoadNotes();
    PassStep("load_notes");
    if (NotesHidden == 0) ShowVisibleNotes();
    PassStep("show_notes");
    ResetAutosave();
    if (AppSettings.splash == 1) {
        ShowWindow(hMainDialog, SW_SHOW);
        UpdateWindow(hMainDialog);
    } else {
        TrayIconPending = 0;
        AddTrayIcon(hMainDialog);
    }
    PassStep("tray_icon");
    CheckAlarmsAtStartup();
    PassStep("startup_alarms");
    return TRUE;
}

void DispatchFromMainLoop(const MSG& msg)
{
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (msg.message == WM_TIMER && msg.hwnd == hMainDialog && msg.wParam == MAIN_TIMER_ID) AutosaveTick(msg.time);
}

void LoadControlLibraries()
{
    InitCommonControls();
    PassStep("common_controls");
    // The rich edit that current Windows maintains: any script, emoji, input
    // methods; it reads and writes the same RTF as the 1.0 control did.
    hRichEditLib = LoadLibraryW(L"MSFTEDIT.DLL");
    PassStep("msftedit");
}

BOOL StartQuiblet(HINSTANCE instance)
{
    switch (SetUpDataFolder()) {
    case DataFolderReady:
        break;
    case DataFolderTooLong:
        MessageBoxW(NULL, TEXT_ERR_DATA_FOLDER_LONG, TEXT_ERROR_CAPTION, MB_OK | MB_ICONERROR);
        return FALSE;
    case DataFolderUnwritable: {
        // Said at once: every save would fail, and "Beenden" with it.
        wchar_t text[MAX_PATH + 256];
        wsprintfW(text, TEXT_ERR_DATA_FOLDER_WRITE, DataFolder);
        MessageBoxW(NULL, text, TEXT_ERROR_CAPTION, MB_OK | MB_ICONERROR);
        return FALSE;
    }
    }
    // Ending writes nothing, and a second copy's notes would be out of date
    // the moment the first one saves.
    if (!LockDataFolder()) {
        wchar_t text[MAX_PATH + 256];
        wsprintfW(text, TEXT_DATA_FOLDER_IN_USE, DataFolder);
        MessageBoxW(NULL, text, TEXT_ALREADY_RUNNING_CAPTION, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
        return FALSE;
    }
    PassStep("data_folder");
    LoadControlLibraries();
    return InitApplication(instance) && InitInstance(instance);
}

void ShutDownQuiblet()
{
    // Nothing may be dispatched to a rich-edit control after its library is
    // gone: the note windows go first, whatever ended the loop.
    CloseAllNoteWindows();
    FreeTitleIcons();
    if (hRichEditLib) {
        FreeLibrary(hRichEditLib);
        hRichEditLib = NULL;
    }
    SetTrayIcon(hMainDialog, TrayDelete);
    UnlockDataFolder();
}

int RunQuiblet(HINSTANCE instance)
{
    // A copy run elevated holds a mutex this one may not open.
    CreateMutexA(NULL, TRUE, InstanceMutexName);
    DWORD mutexError = GetLastError();
    if (mutexError == ERROR_ALREADY_EXISTS || mutexError == ERROR_ACCESS_DENIED) {
        MessageBoxW(NULL, TEXT_USAGE_HINT, TEXT_ALREADY_RUNNING_CAPTION, MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    if (!StartQuiblet(instance)) return 0;

    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) DispatchFromMainLoop(msg);
    ShutDownQuiblet();
    return static_cast<int>(msg.wParam);
}
