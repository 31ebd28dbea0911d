// The tray's switches, the settings key, the alarms and the dialogs' sound
// test, as a user's clicks reach them.
#include "support/test_env.h"
#include <commctrl.h>
#include "alarm/alarm_scheduler.h"
#include "alarm/note_props_dialog.h"
#include "notelist/note_list_dialog.h"
#include "notes/note_menus.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/general_dialog.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/main_dialog.h"
#include "shell/ui_text.h"

bool Checked(UINT id)
{
    return (GetMenuState(hTaskBarMenu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

// A switch is ticked at 1 only; a stored 2 toggles to 1.
TEST_F(QuibletTest, TrayMenuTicksAndTogglesItsSwitches)
{
    AlarmsOn = 2;
    NotesOnTop = 1;
    MenuSeen* seen = WatchNextMenu();
    SendMessageA(hMainDialog, WM_TRAY_CALLBACK, TRAY_ICON_ID, WM_RBUTTONDOWN);
    ASSERT_TRUE(seen->opened);
    EXPECT_FALSE(Checked(IDM_TRAY_ALARM));
    EXPECT_TRUE(Checked(IDM_TRAY_ON_TOP));
    RunTrayCommand(IDM_TRAY_ALARM);
    EXPECT_EQ(AlarmsOn, 1u);
}

void SetMachineSizeX(DWORD x)
{
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, SettingsKeyPath, "NotesSizeX", REG_DWORD, &x, sizeof x);
}

// A user who may not write the machine key reads the administrator's
// settings there and keeps their own in the user's key, which wins.
TEST_F(QuibletTest, SettingsOfAUserWhoMayNotWriteTheMachineKeyAreKept)
{
    SetMachineSizeX(333);
    MachineKeyWriteRefused = [] { return true; };
    LoadSettings();
    EXPECT_EQ(AppSettings.notesSizeX, 333);
    AppSettings.notesSizeX = 444;
    EXPECT_TRUE(SaveSettings());
    SetMachineSizeX(555);
    LoadSettings();
    EXPECT_EQ(AppSettings.notesSizeX, 444);
    MachineKeyWriteRefused = nullptr;
}

// ---- Alarms ----------------------------------------------------------------------
const SYSTEMTIME AlarmMinute = { 2026, 4, 5, 3, 7, 5 };

// A hidden note with an alarm in AlarmMinute, repeated every `repeat` minutes.
NoteRecord* AlarmedNote(WORD repeat)
{
    NoteRecord* note = AddTestNote();
    note->visible = 0;
    note->alarmOn = 1;
    note->alarmYear = AlarmMinute.wYear;
    note->alarmMonth = AlarmMinute.wMonth;
    note->alarmDay = AlarmMinute.wDay;
    note->alarmHour = AlarmMinute.wHour;
    note->alarmMinute = AlarmMinute.wMinute;
    note->alarmRepeatMinutes = repeat;
    lstrcpyA(note->soundFile, "alarm.wav");
    return note;
}

// An alarm rings in its minute, while alarms are on: a hidden note in a
// window of its own, with its sound while sounds are on. A reminder rings
// again when its countdown of five-second ticks ends.
TEST_F(QuibletTest, AlarmsRingInTheirMinuteAndAgainWhenTheCountdownEnds)
{
    NoteRecord* note = AlarmedNote(10);
    SYSTEMTIME after = AlarmMinute;
    after.wMinute++;
    CheckAlarmsAt(after);
    AlarmsOn = 0;
    CheckAlarmsAt(AlarmMinute);
    EXPECT_EQ(note->window, nullptr);
    AlarmsOn = 1;
    // Sounds are on at 1 only.
    AppSettings.sound = 2;
    CheckAlarmsAt(AlarmMinute);
    ASSERT_NE(note->window, nullptr);
    EXPECT_EQ(note->visible, 0);
    EXPECT_EQ(note->reminderCountdown, 121);
    AppSettings.sound = 1;
    for (int tick = 0; tick < 121; tick++) CheckAlarmsAt(after);
    EXPECT_EQ(SoundsPlayed, std::vector<std::string>({ "alarm.wav" }));
}

// An alarm whose window the system refuses shows one error box per ringing
// (not one per tick while it is due) and its reminder still counts down.
TEST_F(QuibletTest, AlarmsWithoutAWindowShowOneBoxPerRinging)
{
    AlarmedNote(0);
    NoteRecord* reminder = AlarmedNote(5);
    RefuseWindowsOfClass(NoteWindowClass);
    BoxAnswer* boxes = AnswerEveryBox(TEXT_ERROR_CAPTION);
    for (int tick = 0; tick < 3; tick++) CheckAlarmsAt(AlarmMinute);
    EXPECT_EQ(boxes->count, 2);
    EXPECT_EQ(boxes->text, TEXT_ERR_CREATE_WINDOW);
    // 61 ticks at its ringing in the second tick, one off in the third.
    EXPECT_EQ(reminder->reminderCountdown, 60);
}

// ---- Alarms missed, a ringing note seen --------------------------------------------
SYSTEMTIME ClockTime;
void WINAPI TestClock(LPSYSTEMTIME now) { *now = ClockTime; }

SYSTEMTIME SecondsAfterAlarm(LONGLONG seconds)
{
    FILETIME time;
    SystemTimeToFileTime(&AlarmMinute, &time);
    ULARGE_INTEGER value = { { time.dwLowDateTime, time.dwHighDateTime } };
    value.QuadPart += seconds * 10000000;
    time = { value.LowPart, value.HighPart };
    SYSTEMTIME out;
    FileTimeToSystemTime(&time, &out);
    return out;
}

// No tick comes while the computer sleeps or the program is held. Two
// minutes after the alarm minute, a tick `lastTick` seconds after it came
// before: resuming, a clock change or a tick after a gap ring the alarm.
TEST_F(QuibletTest, AlarmsMissedWithoutTicksRingWhenTheyComeAgain)
{
    struct Way { UINT message; WPARAM event; LONGLONG lastTick; bool rings; };
    const Way ways[] = {
        { WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 115, true },
        { WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 115, true },
        { WM_POWERBROADCAST, PBT_APMSUSPEND, 115, false },
        { WM_TIMECHANGE, 0, 115, true },
        { WM_TIMER, MAIN_TIMER_ID, -60, true },
        { WM_TIMER, MAIN_TIMER_ID, 115, false },
    };
    AlarmClock = TestClock;
    for (const Way& way : ways) {
        ClockTime = SecondsAfterAlarm(way.lastTick);
        SendMessageA(hMainDialog, WM_TIMER, MAIN_TIMER_ID, 0);
        NoteRecord* note = AlarmedNote(0);
        ClockTime = SecondsAfterAlarm(120);
        SendMessageA(hMainDialog, way.message, way.event, 0);
        EXPECT_EQ(note->window != nullptr, way.rings) << way.message << " " << way.event;
        note->alarmOn = 0;
    }
}

bool Topmost(HWND window)
{
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// A ringing note stays above the other windows until its bell is clicked;
// then only "Immer im Vordergrund" keeps it there. (HTNOWHERE: no drag follows.)
TEST_F(QuibletTest, RingingNotesStayOnTopUntilTheirBell)
{
    for (DWORD onTop : { 0, 1 }) {
        NotesOnTop = onTop;
        NoteRecord* note = AlarmedNote(0);
        CheckAlarmsAt(AlarmMinute);
        ASSERT_NE(note->window, nullptr);
        EXPECT_TRUE(Topmost(note->window));
        RECT place;
        GetWindowRect(note->window, &place);
        SendMessageA(note->window, WM_NCLBUTTONDOWN, HTNOWHERE, MAKELPARAM(place.left + 30, place.top + 10));
        EXPECT_EQ(note->alarmOn, 0);
        EXPECT_EQ(Topmost(note->window), onTop == 1);
    }
}

// ---- The tray icon, the data folder, the command menu --------------------------
int TrayAdditions;
int TrayFailures;
BOOL WINAPI FailingTray(DWORD action, PNOTIFYICONDATAA)
{
    if (action != NIM_ADD) return TRUE;
    TrayAdditions++;
    return TrayAdditions > TrayFailures;
}

// Before the notification area is ready the icon cannot be added: it is
// tried again on a timer, for five minutes at most.
TEST_F(QuibletTest, ATrayIconThatCannotBeAddedIsTriedAgain)
{
    struct Case { int failures; int additions; };
    for (Case c : { Case{ 2, 3 }, Case{ 1000, 1 + TRAY_RETRY_COUNT } }) {
        TrayNotifier = FailingTray;
        TrayAdditions = 0;
        TrayFailures = c.failures;
        AddTrayIcon(hMainDialog);
        for (int tick = 0; tick < 2 * TRAY_RETRY_COUNT; tick++)
            SendMessageA(hMainDialog, WM_TIMER, TRAY_RETRY_TIMER_ID, 0);
        EXPECT_EQ(TrayAdditions, c.additions);
        EXPECT_FALSE(KillTimer(hMainDialog, TRAY_RETRY_TIMER_ID));
    }
}

// Held by a copy on another computer, the data folder is not taken.
TEST_F(QuibletTest, ADataFolderHeldElsewhereIsNotTaken)
{
    std::string lock = InDataFolder(DATA_FOLDER_LOCK_FILE);
    HANDLE other = CreateFileA(lock.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    EXPECT_FALSE(LockDataFolder());
    CloseHandle(other);
    EXPECT_TRUE(LockDataFolder());
    other = CreateFileA(lock.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    UnlockDataFolder();
    EXPECT_FALSE(FileExists(lock));
}

// The command menu hangs one pixel to the left, but not off the note's monitor.
TEST_F(QuibletTest, TheCommandMenuStaysOnTheNotesMonitor)
{
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    NoteRecord* note = ShownNote("x", work.left, work.top);
    EXPECT_EQ(CommandMenuLeft(note->window, work.left), work.left);
    EXPECT_EQ(CommandMenuLeft(note->window, work.left + 50), work.left + 49);
}

// ---- The dialogs -------------------------------------------------------------------
// "Testen" plays the sound with sounds off too: the default alarm's in the
// settings, the note's own in its alarm dialog.
TEST_F(QuibletTest, TestenPlaysWithSoundsOff)
{
    AppSettings.sound = 0;
    RunTrayCommand(IDM_TRAY_SETTINGS);
    SendMessageA(hGeneralDialog, WM_COMMAND, IDC_TEST_SOUND, 0);
    NoteRecord* note = ShownNote("x");
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_PROPERTIES, 0);
    SendMessageA(hNotePropsDialog, WM_COMMAND, IDC_TEST_SOUND, 0);
    EXPECT_EQ(SoundsPlayed, std::vector<std::string>({ "..\\bellsong.wav", note->soundFile }));
}

// The room a static control's text takes, in the control's font, broken
// into lines at the control's width as the control breaks it.
SIZE StaticTextSize(HWND control, const RECT& client)
{
    RECT need = { 0, 0, client.right, 0 };
    HDC dc = GetDC(control);
    HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    DrawTextA(dc, EditorText(control).c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, font);
    ReleaseDC(control, dc);
    return { need.right, need.bottom };
}

// At the scale the test runs at (the scaled scenario runs it at 120, 144
// and 192 DPI too) the controls of the three dialogs lie inside them, static
// texts show whole and the note list's headers fit their columns.
TEST_F(QuibletTest, DialogsHoldTheirControlsAndWholeTexts)
{
    NoteRecord* note = ShownNote("x");
    RunTrayCommand(IDM_TRAY_SETTINGS);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_PROPERTIES, 0);
    RunTrayCommand(IDM_TRAY_NOTE_LIST);
    for (HWND dialog : { hGeneralDialog, hNotePropsDialog, hNoteListDialog }) {
        ASSERT_TRUE(IsWindow(dialog));
        RECT inside;
        GetClientRect(dialog, &inside);
        MapWindowPoints(dialog, NULL, reinterpret_cast<POINT*>(&inside), 2);
        for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
            std::string seen = std::to_string(GetDlgCtrlID(control)) + " " + EditorText(control);
            RECT rect, both, client;
            GetWindowRect(control, &rect);
            IntersectRect(&both, &rect, &inside);
            EXPECT_TRUE(EqualRect(&both, &rect)) << seen;
            char kind[16] = "";
            GetClassNameA(control, kind, sizeof kind);
            if (lstrcmpiA(kind, "Static") != 0 || (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) > SS_RIGHT)
                continue;
            GetClientRect(control, &client);
            SIZE need = StaticTextSize(control, client);
            EXPECT_LE(need.cx, client.right) << seen;
            EXPECT_LE(need.cy, client.bottom) << seen;
        }
    }
    HWND list = GetDlgItem(hNoteListDialog, IDC_LIST_VIEW);
    for (int column = 0; column < NOTE_LIST_COLUMNS; ++column) {
        char header[16] = "";
        LVCOLUMNA asked = { LVCF_TEXT };
        asked.pszText = header;
        asked.cchTextMax = sizeof header;
        SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&asked));
        LRESULT text = SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(header));
        EXPECT_GT(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0), text) << header;
    }
}
