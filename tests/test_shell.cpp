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
    ListView_GetItemText(GetDlgItem(hNoteListDialog, IDC_LIST_VIEW), row, column, text, sizeof text);
    return text;
}
}  // namespace

TEST_F(QuibletTest, TrayMenuOpensWithItsItemsAndChecksAndTogglesByTheRule)
{
    NotesHidden = 0, AlarmsOn = 2, NotesOnTop = 1;
    MenuSeen* seen = WatchNextMenu();
    SendMessageA(hMainDialog, WM_TRAY_CALLBACK, TRAY_ICON_ID, WM_RBUTTONDOWN);
    ASSERT_TRUE(seen->opened && seen->menu == hTaskBarMenu);
    const UINT order[] = { IDM_TRAY_SHOW_ALL, 0, IDM_TRAY_ON_TOP, IDM_TRAY_HIDE_NOTES, IDM_TRAY_ALARM, 0,
                           IDM_TRAY_NOTE_LIST, IDM_TRAY_SETTINGS, 0, IDM_TRAY_INFO, IDM_TRAY_HELP, IDM_TRAY_QUIT };
    ASSERT_EQ(GetMenuItemCount(hTaskBarMenu), 12);
    for (int i = 0; i < 12; i++) EXPECT_EQ(GetMenuItemID(hTaskBarMenu, i), order[i]) << i;
    EXPECT_EQ(Checked(IDM_TRAY_HIDE_NOTES) + 2 * Checked(IDM_TRAY_ALARM) + 4 * Checked(IDM_TRAY_ON_TOP), 4) << "only 1 ticks";
    RunTrayCommand(IDM_TRAY_ALARM);
    RunTrayCommand(IDM_TRAY_ON_TOP);
    EXPECT_EQ(AlarmsOn * 10 + NotesOnTop, 10u) << "a stored 2 toggles to 1, 1 to 0";

    // Hiding all and closing save the text first.
    NoteRecord* a = ShownNote("alpha", 100, 100);
    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    EXPECT_EQ(a->window, (HWND)NULL);
    EXPECT_NE(ReadFileBytes(InDataFolder(a->fileName)).find("alpha"), std::string::npos);
    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    ASSERT_NE(a->window, (HWND)NULL);
    for (UINT message : { WM_ENDSESSION, WM_CLOSE }) {
        SetEditorText(a->editor, message == WM_CLOSE ? "closed" : "ended");
        SendMessageA(hMainDialog, message, TRUE, 0);
        EXPECT_NE(ReadFileBytes(InDataFolder(a->fileName)).find(message == WM_CLOSE ? "closed" : "ended"), std::string::npos);
    }
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
    RegDeleteTreeA(HKEY_CURRENT_USER, parent.c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, parent.c_str());
    SettingsKeyPath = own;
}

TEST_F(QuibletTest, AlarmsRingInTheirMinuteAndOnTheCountdownWithTheirSoundOrGiveOneErrorBox)
{
    NoteRecord* note = AlarmedNote(10);
    SYSTEMTIME before = AlarmMinute, after = AlarmMinute;
    before.wMinute--, after.wMinute++;
    for (const SYSTEMTIME& other : { before, after }) CheckAlarmsAt(other);
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
    AppSettings.sound = 0;
    for (int tick = 0; tick < 121; tick++) CheckAlarmsAt(after);
    EXPECT_EQ(note->reminderCountdown, 121) << "the countdown rang again on its 121st tick";
    EXPECT_EQ(SoundsPlayed.size(), 1u) << "no sound with sounds off";

    // At start-up the alarm instant must lie strictly before now.
    SYSTEMTIME instant = AlarmMinute, early = AlarmMinute;   // alarmOn and the interval stand as seconds and milliseconds
    instant.wSecond = early.wSecond = 1, instant.wMilliseconds = 10, early.wMilliseconds = 9;
    EXPECT_TRUE(HasAlarmPassed(*note, instant) && HasAlarmPassed(*note, after));
    EXPECT_FALSE(HasAlarmPassed(*note, early) || HasAlarmPassed(*note, before));

    // Windows the system refuses: one clear error box, the notes kept.
    for (int i = 0; i < 2; i++) AlarmedNote()->visible = 0;
    BoxAnswer* errors = AnswerEveryBox(TEXT_ERROR_CAPTION);
    RefuseWindowsOfClass(NoteWindowClass);
    CheckAlarmsAt(AlarmMinute);
    EXPECT_EQ(std::make_pair(errors->count, errors->text), std::make_pair(1, std::string(TEXT_ERR_CREATE_WINDOW)));
    EXPECT_EQ(CountNotes(), 3);
}

TEST_F(QuibletTest, NoteListShowsRowsAndActsOnTheChosenNoteOnly)
{
    AlarmedNote();
    NoteRecord* second = AddTestNote(400, 100);
    NoteRecord* third = AddTestNote(600, 100);
    second->visible = 0;
    RunTrayCommand(IDM_TRAY_NOTE_LIST);
    ASSERT_NE(hNoteListDialog, (HWND)NULL);
    const char* rows[2][5] = { { "1", "yes", "on", "07:05", "03.04.2026" }, { "2", "no", "off", "n/a", "n/a" } };
    for (int cell = 0; cell < 10; cell++) EXPECT_EQ(Cell(cell / 5, cell % 5), rows[cell / 5][cell % 5]) << cell;
    HWND view = GetDlgItem(hNoteListDialog, IDC_LIST_VIEW);
    ListView_SetItemState(view, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    RemoveNote(second);   // gone another way while chosen
    Click(hNoteListDialog, IDC_LIST_VISIBLE);
    Click(hNoteListDialog, IDC_LIST_DELETE);
    EXPECT_TRUE(CountNotes() == 2 && third->visible == 1 && !third->window) << "nothing else acted on";
}

TEST_F(QuibletTest, SettingsAndAlarmDialogsToggleByTheRuleAndTestTheSoundWithSoundsOff)
{
    AppSettings.splash = 2;
    AppSettings.sound = 0;
    RunTrayCommand(IDM_TRAY_SETTINGS);
    EXPECT_EQ(IsDlgButtonChecked(hGeneralDialog, IDC_GEN_SPLASH), BST_UNCHECKED);
    Click(hGeneralDialog, IDC_GEN_SPLASH);
    Click(hGeneralDialog, IDC_GEN_SAFE_MODE);
    EXPECT_EQ(AppSettings.splash * 10 + AppSettings.safeMode, 10u) << "a stored 2 toggles to 1, 1 to 0";
    Click(hGeneralDialog, IDC_TEST_SOUND);
    Click(hGeneralDialog, IDC_CLOSE);

    NoteRecord* note = ShownNote("x");
    note->reminderCountdown = 7;
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_PROPERTIES, 0);
    ASSERT_NE(hNotePropsDialog, (HWND)NULL);
    EXPECT_EQ(note->frameState, FRAME_PROPERTIES);
    int low = 0, high = 0;
    SendDlgItemMessageA(hNotePropsDialog, IDC_PROPS_YEAR_SPIN, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                        reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(std::make_pair(low, high), std::make_pair(1999, 2099));
    Click(hNotePropsDialog, IDC_TEST_SOUND);
    EXPECT_EQ(SoundsPlayed, std::vector<std::string>({ "..\\bellsong.wav", note->soundFile })) << "Testen plays anyway";
    SendMessageA(hNotePropsDialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(std::make_pair(note->reminderCountdown, note->frameState), std::make_pair(0L, LONG(FRAME_NORMAL)));
}
