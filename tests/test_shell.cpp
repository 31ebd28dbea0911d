// The tray, the settings and their key, the alarm passes and dialog, the note
// list and the sounds, as a user's clicks reach them.
#include "support/test_env.h"
#include <commctrl.h>
#include "alarm/alarm_scheduler.h"
#include "alarm/note_props_dialog.h"
#include "notelist/note_list_dialog.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/general_dialog.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/guards.h"
#include "shell/main_dialog.h"
#include "shell/ui_text.h"

namespace {
int Checked(UINT id) { return (GetMenuState(hTaskBarMenu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; }
void Click(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, id, 0); }
const SYSTEMTIME AlarmMinute = { 2026, 4, 5, 3, 7, 5, 0, 0 };

NoteRecord* AlarmedNote(WORD repeat = 0)
{
    NoteRecord* note = AddTestNote();
    note->alarmYear = 2026, note->alarmMonth = 4, note->alarmDay = 3, note->alarmHour = 7, note->alarmMinute = 5;
    note->alarmOn = 1;
    note->alarmRepeatMinutes = repeat;
    lstrcpyA(note->soundFile, "alarm.wav");
    return note;
}

std::string Cell(int row, int column)
{
    char text[64] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendDlgItemMessageA(hNoteListDialog, IDC_LIST_VIEW, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

void ChooseRow(int row)
{
    LVITEMA item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageA(hNoteListDialog, IDC_LIST_VIEW, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}
}  // namespace

TEST_F(QuibletTest, TrayMenuOpensWithItsItemsAndChecksAndTogglesByTheRule)
{
    NotesHidden = 0, AlarmsOn = 2, NotesOnTop = 1;
    MenuSeen* seen = WatchNextMenu();
    SendMessageA(hMainDialog, WM_TRAY_CALLBACK, TRAY_ICON_ID, WM_RBUTTONDOWN);
    ASSERT_TRUE(seen->opened);
    ASSERT_EQ(seen->menu, hTaskBarMenu);
    const UINT order[] = { IDM_TRAY_SHOW_ALL, 0, IDM_TRAY_ON_TOP, IDM_TRAY_HIDE_NOTES, IDM_TRAY_ALARM, 0,
                           IDM_TRAY_NOTE_LIST, IDM_TRAY_SETTINGS, 0, IDM_TRAY_INFO, IDM_TRAY_HELP, IDM_TRAY_QUIT };
    ASSERT_EQ(GetMenuItemCount(hTaskBarMenu), 12);
    for (int i = 0; i < 12; i++) EXPECT_EQ(GetMenuItemID(hTaskBarMenu, i), order[i]) << i;
    EXPECT_EQ(Checked(IDM_TRAY_HIDE_NOTES) + 2 * Checked(IDM_TRAY_ALARM) + 4 * Checked(IDM_TRAY_ON_TOP), 4) << "only 1 ticks";
    RunTrayCommand(IDM_TRAY_ALARM);
    RunTrayCommand(IDM_TRAY_ON_TOP);
    EXPECT_EQ(AlarmsOn * 10 + NotesOnTop, 10u) << "a stored 2 toggles to 1, 1 to 0";
    SendMessageA(hMainDialog, WM_TRAY_CALLBACK, TRAY_ICON_ID, WM_LBUTTONDOWN);
    EXPECT_TRUE(CountNotes() == 1 && IsWindowVisible(NoteList.head->window));
}

TEST_F(QuibletTest, HidingOnTopCloseEndSessionAndQuitKeepTheText)
{
    NoteRecord* a = ShownNote("alpha", 100, 100);
    NoteRecord* b = AddTestNote(400, 100);
    b->visible = 0;
    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    EXPECT_EQ(a->window, (HWND)NULL);
    EXPECT_NE(ReadFileBytes(InDataFolder(a->fileName)).find("alpha"), std::string::npos);
    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    ASSERT_TRUE(a->window && !b->window) << "only the visible notes come back";
    NotesOnTop = 2;
    RunTrayCommand(IDM_TRAY_ON_TOP);
    ASSERT_NE(a->window, (HWND)NULL);
    EXPECT_TRUE(GetWindowLongA(a->window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(EditorText(a->editor), "alpha");
    for (UINT message : { WM_ENDSESSION, WM_CLOSE }) {
        SetEditorText(a->editor, message == WM_CLOSE ? "closed" : "ended");
        SendMessageA(hMainDialog, message, TRUE, 0);
        EXPECT_NE(ReadFileBytes(InDataFolder(a->fileName)).find(message == WM_CLOSE ? "closed" : "ended"), std::string::npos);
    }
    SetEditorText(a->editor, "quit");
    RunTrayCommand(IDM_TRAY_QUIT);
    MSG quit;
    EXPECT_TRUE(!a->window && PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_NE(ReadFileBytes(InDataFolder(a->fileName)).find("quit"), std::string::npos);
}

// The machine key, or the same path for the user when the machine key
// cannot be written (here: below a volatile key, which takes no lasting one).
TEST_F(QuibletTest, SettingsLiveUnderTheProgramsKeyOrTheUsersKey)
{
    EXPECT_STREQ(SETTINGS_KEY_PATH, "SOFTWARE\\kestrix\\Quiblet");
    std::string parent = std::string(SettingsKeyPath) + "-volatile";
    std::string path = parent + "\\Quiblet";
    RegistryKey machine;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, parent.c_str(), 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL,
                              machine.receive(), NULL), ERROR_SUCCESS);
    const char* own = SettingsKeyPath;
    SettingsKeyPath = path.c_str();
    AppSettings.notesSizeX = 321;
    EXPECT_TRUE(SaveSettings());
    SetDefaultSettings(&AppSettings);
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings.notesSizeX, 321);
    DWORD value = 0, size = sizeof value;
    RegGetValueA(HKEY_CURRENT_USER, path.c_str(), "NotesSizeX", RRF_RT_DWORD, NULL, &value, &size);
    EXPECT_EQ(value, 321u);
    RegDeleteTreeA(HKEY_CURRENT_USER, parent.c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, parent.c_str());
    SettingsKeyPath = own;
}

TEST_F(QuibletTest, GeneralDialogTogglesSwatchesTestsTheSoundAndStoresOnClose)
{
    AppSettings.splash = 2;
    AppSettings.sound = 0;
    RunTrayCommand(IDM_TRAY_SETTINGS);
    ASSERT_NE(hGeneralDialog, (HWND)NULL);
    HWND dialog = hGeneralDialog;
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_GEN_SPLASH), BST_UNCHECKED);
    Click(dialog, IDC_GEN_SPLASH);
    Click(dialog, IDC_GEN_SAFE_MODE);
    EXPECT_EQ(AppSettings.splash * 10 + AppSettings.safeMode, 10u) << "a stored 2 toggles to 1, 1 to 0";
    Click(dialog, IDC_SWATCH_FIRST);
    EXPECT_EQ(AppSettings.defaultBackColor, 0x00FE9832u);
    Click(dialog, IDC_TEST_SOUND);
    EXPECT_EQ(SoundsPlayed, std::vector<std::string>({ "..\\bellsong.wav" })) << "Testen plays with sounds off too";
    Click(dialog, IDC_CLOSE);
    EXPECT_FALSE(IsWindow(dialog));
    AppSettingsData stored = AppSettings;
    SetDefaultSettings(&AppSettings);
    LoadSettings();
    EXPECT_EQ(memcmp(&stored, &AppSettings, offsetof(AppSettingsData, defaultAlarm)), 0) << "closing stored the settings";
}

TEST_F(QuibletTest, AlarmsRingInTheirMinuteAndOnTheCountdownWithTheirSound)
{
    NoteRecord* note = AlarmedNote(10);
    SYSTEMTIME before = AlarmMinute, after = AlarmMinute;
    before.wMinute--, after.wMinute++;
    CheckAlarmsAt(before);
    CheckAlarmsAt(after);
    AlarmsOn = 0;
    CheckAlarmsAt(AlarmMinute);
    CheckStartupAlarmsAt(after);
    EXPECT_EQ(note->window, (HWND)NULL) << "not its minute, or alarms off";
    AlarmsOn = 2;
    note->visible = 0;
    CheckAlarmsAt(AlarmMinute);
    ASSERT_NE(note->window, (HWND)NULL) << "a hidden note rings in a window of its own";
    EXPECT_EQ(std::vector<LONG>({ note->visible, note->frameState, note->reminderCountdown }), std::vector<LONG>({ 0, FRAME_RINGING, 121 }));
    EXPECT_EQ(SoundsPlayed, std::vector<std::string>({ "alarm.wav" }));
    for (int tick = 0; tick < 119; tick++) CheckAlarmsAt(after);
    EXPECT_EQ(note->reminderCountdown, 2);
    AppSettings.sound = 0;
    CheckAlarmsAt(after);
    CheckAlarmsAt(after);
    EXPECT_EQ(note->reminderCountdown, 121) << "the countdown rang again";
    EXPECT_EQ(SoundsPlayed.size(), 1u) << "no sound with sounds off";

    // At start-up the alarm instant may have passed; a date no calendar has never passes.
    SYSTEMTIME instant = AlarmMinute, early = AlarmMinute;   // alarmOn and the interval stand as seconds and milliseconds
    instant.wSecond = early.wSecond = 1, instant.wMilliseconds = 10, early.wMilliseconds = 9;
    EXPECT_TRUE(HasAlarmPassed(*note, instant) && HasAlarmPassed(*note, after));
    EXPECT_FALSE(HasAlarmPassed(*note, early) || HasAlarmPassed(*note, before));
    note->alarmMonth = 2, note->alarmDay = 30;
    EXPECT_FALSE(HasAlarmPassed(*note, after));
}

// Windows the system refuses: one clear error box, the notes kept.
TEST_F(QuibletTest, AlarmsAndTheListActOnNotesWhoseWindowCannotBeMade)
{
    AlarmedNote()->visible = 0;
    AlarmedNote()->visible = 0;
    BoxAnswer* errors = AnswerEveryBox(TEXT_ERROR_CAPTION);
    RefuseWindowsOfClass(NoteWindowClass);
    CheckAlarmsAt(AlarmMinute);
    EXPECT_EQ(std::make_pair(errors->count, errors->text), std::make_pair(1, std::string(TEXT_ERR_CREATE_WINDOW)));
    RefuseWindowsOfClass(NULL);
    OpenNoteList(hMainDialog);
    ASSERT_NE(hNoteListDialog, (HWND)NULL);
    RefuseWindowsOfClass(NOTE_EDITOR_CLASS);
    Click(hNoteListDialog, IDC_LIST_VISIBLE);
    EXPECT_EQ(std::make_pair(errors->count, errors->text), std::make_pair(2, std::string(TEXT_ERR_CREATE_RTF_WINDOW)));
    EXPECT_TRUE(CountNotes() == 2 && !NoteList.head->window && !FindWindowA(NoteWindowClass, NULL));
}

TEST_F(QuibletTest, NoteListShowsRowsAndActsOnTheChosenNoteOnly)
{
    NoteRecord* first = AlarmedNote();
    NoteRecord* second = AddTestNote(400, 100);
    NoteRecord* third = AddTestNote(600, 100);
    second->visible = 0;
    WriteFileBytes(InDataFolder(first->fileName), "{\\rtf1 Zahnarzt}");
    RunTrayCommand(IDM_TRAY_NOTE_LIST);
    ASSERT_NE(hNoteListDialog, (HWND)NULL);
    HWND list = hNoteListDialog;
    const char* rows[2][5] = { { "1", "yes", "on", "07:05", "03.04.2026" }, { "2", "no", "off", "n/a", "n/a" } };
    for (int row = 0; row < 2; row++)
        for (int column = 0; column < 5; column++) EXPECT_EQ(Cell(row, column), rows[row][column]);
    Click(list, IDC_LIST_VISIBLE);   // the first note, chosen on opening, hidden and shown
    Click(list, IDC_LIST_VISIBLE);
    ASSERT_NE(first->window, (HWND)NULL);
    EXPECT_EQ(EditorText(first->editor), "Zahnarzt");
    ChooseRow(2);
    Click(list, IDC_LIST_ALARM);
    EXPECT_TRUE(third->alarmOn == 1 && first->alarmOn == 1 && Cell(2, 2) == "on");

    ChooseRow(1);
    RemoveNote(second);   // gone another way while chosen
    Click(list, IDC_LIST_VISIBLE);
    Click(list, IDC_LIST_DELETE);
    EXPECT_TRUE(CountNotes() == 2 && third->visible == 1 && !third->window) << "nothing else acted on";
    AppSettings.safeMode = 0;
    ChooseRow(1);
    Click(list, IDC_LIST_DELETE);
    EXPECT_TRUE(CountNotes() == 1 && NoteList.head == first);
}

TEST_F(QuibletTest, AlarmDialogShowsStoresAndArmsWithinItsRanges)
{
    NoteRecord* note = ShownNote("x");
    note->reminderCountdown = 7;
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_PROPERTIES, 0);
    HWND dialog = hNotePropsDialog;
    ASSERT_NE(dialog, (HWND)NULL);
    EXPECT_EQ(note->frameState, FRAME_PROPERTIES);
    int low = 0, high = 0;
    SendDlgItemMessageA(dialog, IDC_PROPS_YEAR_SPIN, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(std::make_pair(low, high), std::make_pair(1999, 2099));
    const int edits[] = { IDC_PROPS_HOUR, IDC_PROPS_MINUTE, IDC_PROPS_DAY, IDC_PROPS_MONTH, IDC_PROPS_YEAR, IDC_PROPS_REPEAT };
    for (int i = 0; i < 6; i++) SetDlgItemInt(dialog, edits[i], i == 4 ? 2030 : 9 + i, FALSE);
    Click(dialog, IDC_PROPS_ALARM_ON);
    EXPECT_EQ(std::vector<int>({ note->alarmOn, note->alarmYear, note->alarmMinute, note->alarmRepeatMinutes }),
              std::vector<int>({ 1, 2030, 10, 0 })) << "the interval is stored on closing";
    Click(dialog, IDC_SWATCH_FIRST + 1);
    EXPECT_EQ(note->backColor, 0x00CBFECBu);
    AppSettings.sound = 0;
    Click(dialog, IDC_TEST_SOUND);
    EXPECT_EQ(SoundsPlayed, std::vector<std::string>({ note->soundFile }));
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(std::vector<LONG>({ note->alarmRepeatMinutes, note->reminderCountdown, note->frameState }),
              std::vector<LONG>({ 14, 0, FRAME_NORMAL }));

    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_PROPERTIES, 0);
    ASSERT_NE(hNotePropsDialog, (HWND)NULL);
    HWND window = note->window;
    RemoveNote(note);
    DestroyWindow(window);
    EXPECT_EQ(hNotePropsDialog, (HWND)NULL) << "deleting its note closes it";
}
