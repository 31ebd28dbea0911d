// Start-up, the main dialog, the tray menu and the ways the program ends.
#include "support/test_env.h"
#include <shellapi.h>
#include <string.h>
#include "notes/note_record.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/main_dialog.h"
#include "shell/ui_text.h"

namespace {

bool QuitWasPosted()
{
    MSG msg;
    bool quit = false;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) quit = true;
        else DispatchMessageA(&msg);
    }
    return quit;
}

std::wstring MenuText(HMENU menu, UINT command)
{
    wchar_t text[128] = L"";
    GetMenuStringW(menu, command, text, 128, MF_BYCOMMAND);
    return text;
}

bool IsChecked(HMENU menu, UINT command)
{
    return (GetMenuState(menu, command, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool TrayIconExists()
{
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = hMainDialog;
    data.uID = TRAY_ICON_ID;
    data.uFlags = NIF_TIP;
    lstrcpyA(data.szTip, "Quiblet");
    return Shell_NotifyIconA(NIM_MODIFY, &data) != 0;
}

// ---- Data folder ---------------------------------------------------------------

TEST(DataFolder, IsBuiltFromTheStartDirectoryAndTheUser)
{
    struct { const char* dir; const char* user; const char* folder; } cases[] = {
        { "C:\\", "user1", "C:\\user1" },
        { "C:\\Tools\\Notes", "user1", "C:\\Tools\\Notes\\user1" },
        { "C:\\Tools\\Notes\\", "user1", "C:\\Tools\\Notes\\user1" },
        { "C:\\Tools", "", "C:\\Tools\\default" },
        { "D:\\x", nullptr, "D:\\x\\default" },
    };
    for (const auto& c : cases) {
        char out[MAX_PATH];
        ASSERT_TRUE(MakeDataFolderPath(c.dir, c.user, out, sizeof out));
        EXPECT_STREQ(out, c.folder);
    }
}

TEST(DataFolder, TooLongIsRefused)
{
    std::string dir = "C:\\" + std::string(250, 'd');
    char out[MAX_PATH] = "untouched";
    EXPECT_FALSE(MakeDataFolderPath(dir.c_str(), "someone", out, sizeof out));
    EXPECT_STREQ(out, "");
    std::string fits = "C:\\" + std::string(240, 'd');
    EXPECT_TRUE(MakeDataFolderPath(fits.c_str(), "user1", out, sizeof out));
}

// ---- Switches and the tray menu -----------------------------------------------------

class ShellTest : public QuibletTest {
protected:
    NoteRecord* ShownNote(const char* text)
    {
        NoteRecord* note = AddTestNote();
        EXPECT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextEmpty), 1);
        SetEditorText(note->editor, text);
        return note;
    }
};

TEST_F(ShellTest, SwitchesAreSeededAsStored)
{
    AppSettings.startupNotes = 1;
    AppSettings.startupAlarms = 2;
    AppSettings.alwaysOnTop = 0;
    SeedRunTimeSwitches();
    EXPECT_EQ(NotesHidden, 1u);
    EXPECT_EQ(AlarmsOn, 2u);
    EXPECT_EQ(NotesOnTop, 0u);

    UpdateTrayMenuChecks();
    EXPECT_TRUE(IsChecked(hTaskBarMenu, IDM_TRAY_HIDE_NOTES));
    EXPECT_FALSE(IsChecked(hTaskBarMenu, IDM_TRAY_ALARM));   // 2 is not 1
    EXPECT_FALSE(IsChecked(hTaskBarMenu, IDM_TRAY_ON_TOP));
    RunTrayCommand(IDM_TRAY_ALARM);
    EXPECT_EQ(AlarmsOn, 1u);
    RunTrayCommand(IDM_TRAY_ALARM);
    EXPECT_EQ(AlarmsOn, 0u);
    RunTrayCommand(IDM_TRAY_ON_TOP);   // notes hidden: only the switch flips
    EXPECT_EQ(NotesOnTop, 1u);
    UpdateTrayMenuChecks();
    EXPECT_TRUE(IsChecked(hTaskBarMenu, IDM_TRAY_ON_TOP));
    EXPECT_FALSE(FileExists(InDataFolder("note.dat")));
}

TEST_F(ShellTest, MenusCarryTheirGermanTexts)
{
    EXPECT_EQ(MenuText(hNotesMenu, IDM_TEXT_UNDO), L"R\u00fcckg\u00e4nig");
    EXPECT_EQ(MenuText(hNotesMenu, IDM_TEXT_ALIGN_LEFT), L"Linksb\u00fcndig");
    EXPECT_EQ(MenuText(hNotesMenu, IDM_TEXT_PASTE), L"Einf\u00fcgen");
    EXPECT_EQ(MenuText(hCommandMenu, IDM_NOTE_CLEAR), L"&L\u00f6schen");
    EXPECT_EQ(MenuText(hCommandMenu, IDM_NOTE_DELETE), L"Note &l\u00f6schen");
    EXPECT_EQ(MenuText(hTaskBarMenu, IDM_TRAY_SHOW_ALL), L"Alle Notes anzeigen");
    EXPECT_EQ(MenuText(hTaskBarMenu, IDM_TRAY_QUIT), L"Beenden");
    // The tray menu's order, separators included.
    const UINT order[] = { IDM_TRAY_SHOW_ALL, 0, IDM_TRAY_ON_TOP, IDM_TRAY_HIDE_NOTES, IDM_TRAY_ALARM, 0,
                           IDM_TRAY_NOTE_LIST, IDM_TRAY_SETTINGS, 0, IDM_TRAY_INFO, IDM_TRAY_HELP, IDM_TRAY_QUIT };
    ASSERT_EQ(GetMenuItemCount(hTaskBarMenu), 12);
    for (int i = 0; i < 12; i++) EXPECT_EQ(GetMenuItemID(hTaskBarMenu, i), order[i] ? order[i] : 0u) << i;

    // Texts of the dialogs reach the screen in the ANSI code page intact.
    HWND general = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_GENERAL), NULL,
                                      [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return 0; }, 0);
    ASSERT_NE(general, (HWND)NULL);
    char text[64];
    GetDlgItemTextA(general, IDC_CLOSE, text, sizeof text);
    EXPECT_STREQ(text, "Schließen");
    GetDlgItemTextA(general, IDC_GEN_SAFE_MODE, text, sizeof text);
    EXPECT_STREQ(text, "Rückfragen vor Löschen");
    DestroyWindow(general);
}

TEST_F(ShellTest, HidingTwiceShowsExactlyTheVisibleNotes)
{
    NoteRecord* a = ShownNote("a");
    NoteRecord* b = AddTestNote();   // hidden with its hide button
    b->visible = 0;
    NoteRecord* c = ShownNote("c text");

    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    EXPECT_EQ(NotesHidden, 1u);
    EXPECT_EQ(a->window, (HWND)NULL);
    EXPECT_EQ(c->window, (HWND)NULL);
    EXPECT_EQ(a->visible, 1);
    EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")).size(), 3 * 328u);
    EXPECT_NE(ReadFileBytes(InDataFolder(c->fileName)).find("c text"), std::string::npos);

    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    EXPECT_EQ(NotesHidden, 0u);
    ASSERT_NE(a->window, (HWND)NULL);
    EXPECT_EQ(b->window, (HWND)NULL);
    ASSERT_NE(c->window, (HWND)NULL);
    EXPECT_EQ(EditorText(c->editor), "c text");

    RunTrayCommand(IDM_TRAY_SHOW_ALL);
    EXPECT_NE(b->window, (HWND)NULL);
    EXPECT_EQ(b->visible, 1);
}

TEST_F(ShellTest, OnTopRecreatesWindowsKeepingTheirText)
{
    NoteRecord* a = ShownNote("typed before");
    NoteRecord* hidden = AddTestNote();
    hidden->visible = 0;
    RunTrayCommand(IDM_TRAY_ON_TOP);
    EXPECT_EQ(NotesOnTop, 1u);
    ASSERT_NE(a->window, (HWND)NULL);
    EXPECT_TRUE(GetWindowLongA(a->window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(EditorText(a->editor), "typed before");
    EXPECT_NE(hidden->window, (HWND)NULL);   // notes hidden one by one come back too
}

TEST_F(ShellTest, QuitSavesClosesAndQuits)
{
    NoteRecord* a = ShownNote("last words");
    RunTrayCommand(IDM_TRAY_QUIT);
    EXPECT_TRUE(QuitWasPosted());
    EXPECT_EQ(a->window, (HWND)NULL);
    EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")).size(), 328u);
    EXPECT_NE(ReadFileBytes(InDataFolder(a->fileName)).find("last words"), std::string::npos);
}

TEST_F(ShellTest, CloseAndEndSessionSaveTheText)
{
    NoteRecord* a = ShownNote("alt f4");
    SendMessageA(hMainDialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(QuitWasPosted());
    EXPECT_NE(ReadFileBytes(InDataFolder(a->fileName)).find("alt f4"), std::string::npos);

    SetEditorText(a->editor, "logging off");
    SendMessageA(hMainDialog, WM_ENDSESSION, FALSE, 0);
    EXPECT_FALSE(QuitWasPosted());
    EXPECT_NE(ReadFileBytes(InDataFolder(a->fileName)).find("logging off"), std::string::npos);
    EXPECT_NE(a->window, (HWND)NULL);
}

TEST_F(ShellTest, InfoScreenOkAddsTheTrayIconOnce)
{
    TrayIconPending = 1;
    RunTrayCommand(IDM_TRAY_INFO);
    EXPECT_TRUE(IsWindowVisible(hMainDialog));
    SendMessageA(hMainDialog, WM_COMMAND, IDC_MAIN_OK, 0);
    EXPECT_FALSE(IsWindowVisible(hMainDialog));
    EXPECT_EQ(TrayIconPending, 0u);
    EXPECT_TRUE(TrayIconExists());

    // A second "Ok" adds nothing: one delete removes the only icon.
    RunTrayCommand(IDM_TRAY_INFO);
    SendMessageA(hMainDialog, WM_COMMAND, IDC_MAIN_OK, 0);
    EXPECT_TRUE(SetTrayIcon(hMainDialog, TrayDelete));
    EXPECT_FALSE(TrayIconExists());

    // A new task bar gets the icon back.
    static UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    SendMessageA(hMainDialog, taskbarCreated, 0, 0);
    EXPECT_TRUE(TrayIconExists());
    SetTrayIcon(hMainDialog, TrayDelete);
}

TEST_F(ShellTest, LeftClickOnTheTrayIconMakesANote)
{
    SendMessageA(hMainDialog, WM_TRAY_CALLBACK, TRAY_ICON_ID, WM_LBUTTONDOWN);
    ASSERT_EQ(CountNotes(), 1);
    EXPECT_NE(NoteList.head->window, (HWND)NULL);
    SendMessageA(hMainDialog, WM_TRAY_CALLBACK, TRAY_ICON_ID + 1, WM_LBUTTONDOWN);
    SendMessageA(hMainDialog, WM_TRAY_CALLBACK, TRAY_ICON_ID, WM_LBUTTONUP);
    EXPECT_EQ(CountNotes(), 1);
}

TEST_F(ShellTest, RightClickOpensTheMenuWithItsChecks)
{
    NotesHidden = 0;
    AlarmsOn = 1;
    NotesOnTop = 1;
    CloseMenuSoon();
    SendMessageA(hMainDialog, WM_TRAY_CALLBACK, TRAY_ICON_ID, WM_RBUTTONDOWN);
    EXPECT_FALSE(IsChecked(hTaskBarMenu, IDM_TRAY_HIDE_NOTES));
    EXPECT_TRUE(IsChecked(hTaskBarMenu, IDM_TRAY_ALARM));
    EXPECT_TRUE(IsChecked(hTaskBarMenu, IDM_TRAY_ON_TOP));
    EXPECT_EQ(NotesHidden, 0u);   // the dismissed menu changed nothing
}

// ---- A second copy ----------------------------------------------------------------

struct FoundWindow { const char* caption; HWND window; };
BOOL CALLBACK FindByCaption(HWND window, LPARAM param)
{
    FoundWindow* found = reinterpret_cast<FoundWindow*>(param);
    char caption[128];
    GetWindowTextA(window, caption, sizeof caption);
    if (strcmp(caption, found->caption) == 0 && IsWindowVisible(window)) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectTexts(HWND child, LPARAM param)
{
    char text[512];
    if (GetWindowTextA(child, text, sizeof text) > 0) *reinterpret_cast<std::string*>(param) += text;
    return TRUE;
}

TEST_F(ShellTest, SecondCopyShowsTheBoxAndEndsWithZero)
{
    HANDLE mutex = CreateMutexA(NULL, TRUE, InstanceMutexName);
    ASSERT_NE(mutex, (HANDLE)NULL);
    char exe[MAX_PATH];
    GetModuleFileNameA(NULL, exe, sizeof exe);
    std::string program = exe;
    program = program.substr(0, program.find_last_of('\\'));
    program = program.substr(0, program.find_last_of('\\')) + "\\Quiblet.exe";
    ASSERT_TRUE(FileExists(program)) << program;

    char start[MAX_PATH];
    lstrcpyA(start, dataFolder.c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(program.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, start, &si, &pi));
    FoundWindow found = { TEXT_ALREADY_RUNNING_CAPTION, NULL };
    ASSERT_TRUE(PumpUntil([&] { EnumWindows(FindByCaption, reinterpret_cast<LPARAM>(&found)); return found.window != NULL; }, 20000));
    std::string body;
    EnumChildWindows(found.window, CollectTexts, reinterpret_cast<LPARAM>(&body));
    EXPECT_NE(body.find("Ein neues Note können Sie"), std::string::npos) << body;
    PostMessageA(found.window, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // The second copy made no data folder in its start directory.
    char user[256];
    DWORD size = sizeof user;
    GetUserNameA(user, &size);
    EXPECT_FALSE(FileExists(dataFolder + "\\" + user));
    CloseHandle(mutex);
}

}  // namespace
