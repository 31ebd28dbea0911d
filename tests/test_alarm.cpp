// Alarms: due checks, the start-up and tick passes, ringing, and the note
// properties and alarm dialog.
#include "support/test_env.h"
#include <commctrl.h>
#include <richedit.h>
#include <vector>
#include "alarm/alarm_scheduler.h"
#include "alarm/note_props_dialog.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "shell/main_dialog.h"

namespace {

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second = 0)
{
    SYSTEMTIME time = {};
    time.wYear = year; time.wMonth = month; time.wDay = day;
    time.wHour = hour; time.wMinute = minute; time.wSecond = second;
    return time;
}

void Arm(NoteRecord* note, WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD repeat = 0)
{
    note->alarmYear = year; note->alarmMonth = month; note->alarmDay = day;
    note->alarmHour = hour; note->alarmMinute = minute;
    note->alarmRepeatMinutes = repeat;
    note->alarmOn = 1;
}

TEST(AlarmDueChecks, MinuteMatchPassedInstantAndImpossibleDates)
{
    NoteRecord note = {};
    Arm(&note, 2031, 4, 30, 14, 30);
    EXPECT_TRUE(IsAlarmMinuteNow(note, At(2031, 4, 30, 14, 30, 59)));
    for (SYSTEMTIME other : { At(2031, 4, 30, 14, 31), At(2031, 4, 30, 15, 30), At(2031, 4, 29, 14, 30),
                              At(2031, 5, 30, 14, 30), At(2032, 4, 30, 14, 30) })
        EXPECT_FALSE(IsAlarmMinuteNow(note, other));
    // The seconds word holds alarmOn: the instant is one second into the minute.
    EXPECT_FALSE(HasAlarmPassed(note, At(2031, 4, 30, 14, 30, 0)));
    EXPECT_TRUE(HasAlarmPassed(note, At(2031, 4, 30, 14, 30, 1)));
    EXPECT_TRUE(HasAlarmPassed(note, At(2040, 1, 1, 0, 0)));
    const SYSTEMTIME late = At(2099, 12, 31, 23, 59);
    Arm(&note, 2031, 4, 31, 8, 0);
    EXPECT_FALSE(HasAlarmPassed(note, late));
    Arm(&note, 0, 0, 0, 0, 0);
    EXPECT_FALSE(HasAlarmPassed(note, late));
    Arm(&note, 2032, 2, 29, 8, 0);
    EXPECT_TRUE(HasAlarmPassed(note, late));
    EXPECT_EQ(ReminderTicks(5), 61);
    EXPECT_EQ(ReminderTicks(ALARM_REPEAT_MAX), 11521);
}

class AlarmPassTest : public QuibletTest {
protected:
    // Whether a pass rings the note (its frame turns red again).
    bool TickRings(NoteRecord* note, const SYSTEMTIME& now)
    {
        note->frameState = FRAME_NORMAL;
        CheckAlarmsAt(now);
        return note->frameState == FRAME_RINGING;
    }
};

TEST_F(AlarmPassTest, TickPassRingsInTheAlarmMinuteAndOnTheCountdown)
{
    NoteRecord* plain = AddTestNote(100, 100);
    Arm(plain, 2031, 6, 15, 14, 30);
    int rings = 0;
    for (WORD second = 0; second < 60; second += 5)
        rings += TickRings(plain, At(2031, 6, 15, 14, 30, second));
    EXPECT_EQ(rings, 12);
    EXPECT_FALSE(TickRings(plain, At(2031, 6, 15, 14, 31)));

    NoteRecord* reminded = AddTestNote(300, 100);
    Arm(reminded, 2031, 6, 15, 14, 30, 2);
    std::vector<int> ringing;
    for (int tick = 0; tick < 60; tick++)
        if (TickRings(reminded, At(2031, 6, 15, 14, 30 + tick / 12, tick % 12 * 5))) ringing.push_back(tick);
    EXPECT_EQ(ringing, (std::vector<int>{ 0, 25, 50 }));   // once in its minute, then every 12 x 2 + 1
    EXPECT_EQ(reminded->reminderCountdown, 25 - 9);
}

TEST_F(AlarmPassTest, AlarmsOffFreezesBothPassesAndTwoStillRuns)
{
    NoteRecord* note = AddTestNote();
    Arm(note, 2031, 6, 15, 14, 30, 5);
    note->reminderCountdown = 5;
    AlarmsOn = 0;
    CheckAlarmsAt(At(2031, 6, 15, 14, 30));
    CheckAlarms();
    CheckAlarmsAtStartup();
    EXPECT_EQ(note->reminderCountdown, 5);
    EXPECT_EQ(note->frameState, FRAME_NORMAL);
    AlarmsOn = 2;
    CheckAlarms();
    CheckAlarmsAtStartup();
    EXPECT_EQ(note->reminderCountdown, 3);
    note->alarmOn = 2;   // only 1 is armed
    CheckAlarms();
    EXPECT_EQ(note->reminderCountdown, 3);
}

TEST_F(AlarmPassTest, StartUpRingsPassedAlarmsAndDueCountdownsOnly)
{
    const SYSTEMTIME now = At(2031, 6, 15, 14, 30, 30);
    NoteRecord* passed = AddTestNote(100, 100);
    Arm(passed, 2031, 6, 15, 14, 30);
    NoteRecord* future = AddTestNote(150, 100);
    Arm(future, 2031, 6, 15, 14, 31);
    NoteRecord* counting = AddTestNote(200, 100);
    Arm(counting, 2031, 6, 14, 9, 0, 5);
    counting->reminderCountdown = 9;
    NoteRecord* april31 = AddTestNote(250, 100);
    Arm(april31, 2031, 4, 31, 8, 0);
    NoteRecord* dueApril31 = AddTestNote(300, 100);
    Arm(dueApril31, 2031, 4, 31, 8, 0, 3);
    dueApril31->reminderCountdown = 1;
    CheckStartupAlarmsAt(now);
    EXPECT_EQ(passed->frameState, FRAME_RINGING);
    EXPECT_EQ(future->frameState, FRAME_NORMAL);
    EXPECT_EQ(future->window, (HWND)NULL);
    EXPECT_EQ(counting->frameState, FRAME_NORMAL);
    EXPECT_EQ(counting->reminderCountdown, 8);
    EXPECT_EQ(april31->frameState, FRAME_NORMAL);
    EXPECT_EQ(dueApril31->frameState, FRAME_RINGING);
    EXPECT_EQ(dueApril31->reminderCountdown, 37);
}

TEST_F(AlarmPassTest, AHiddenNoteRingsInAWindowOfItsOwnAndStaysHidden)
{
    NoteRecord* note = AddTestNote(120, 140, 220, 180);
    note->visible = 0;
    ASSERT_TRUE(WriteFileBytes(InDataFolder(note->fileName), "{\\rtf1 Zahnarzt anrufen\\par}"));
    Arm(note, 2031, 6, 15, 14, 30);
    note->reminderCountdown = -3;
    ASSERT_TRUE(RingAlarm(note));
    ASSERT_NE(note->window, (HWND)NULL);
    EXPECT_TRUE(IsWindowVisible(note->window));
    EXPECT_NE(EditorText(note->editor).find("Zahnarzt anrufen"), std::string::npos);
    EXPECT_EQ(note->visible, 0);
    EXPECT_EQ(note->reminderCountdown, -3);   // no interval: left as it was
    HWND window = note->window;
    ASSERT_TRUE(RingAlarm(note));
    EXPECT_EQ(note->window, window);
    EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == window; }, 2000));
}

// A top-level window whose thread answers nothing until it is released.
volatile LONG HungWindowSawShift;
HANDLE HungWindowReady, HungWindowRelease;

DWORD WINAPI HungWindowThread(LPVOID)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_KEYDOWN && wParam == VK_SHIFT) HungWindowSawShift = 1;
        return DefWindowProcA(window, message, wParam, lParam);
    };
    wc.lpszClassName = "QuibletHungWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 9, 9, NULL, NULL, NULL, NULL);
    SetEvent(HungWindowReady);
    WaitForSingleObject(HungWindowRelease, 15000);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    DestroyWindow(window);
    return 0;
}

TEST_F(AlarmPassTest, TheShiftBroadcastDoesNotWaitForAHungWindow)
{
    HungWindowReady = CreateEventA(NULL, TRUE, FALSE, NULL);
    HungWindowRelease = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, HungWindowThread, NULL, 0, NULL);
    ASSERT_EQ(WaitForSingleObject(HungWindowReady, 5000), WAIT_OBJECT_0);
    NoteRecord* note = AddTestNote();
    Arm(note, 2031, 6, 15, 14, 30);
    DWORD start = GetTickCount();
    EXPECT_TRUE(RingAlarm(note));
    EXPECT_LT(GetTickCount() - start, 3000u);
    SetEvent(HungWindowRelease);
    WaitForSingleObject(thread, 20000);
    EXPECT_EQ(HungWindowSawShift, 1);
    CloseHandle(thread);
    CloseHandle(HungWindowReady);
    CloseHandle(HungWindowRelease);
}

// ---- Dialog 144 -------------------------------------------------------------------
class NotePropsTest : public QuibletTest {
protected:
    NoteRecord* NoteWithWindow(LONG left = 100)
    {
        NoteRecord* note = AddTestNote(left, 100);
        EXPECT_TRUE(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextEmpty));
        Arm(note, 2031, 6, 15, 14, 30, 5);
        note->alarmOn = 0;
        return note;
    }
    HWND Open(NoteRecord* note)
    {
        OpenNoteProperties(note->window);
        return hNotePropsDialog;
    }
    void Command(int id, int code = 0) { SendMessageA(hNotePropsDialog, WM_COMMAND, MAKEWPARAM(id, code), 0); }
    UINT Shown(int id) { return GetDlgItemInt(hNotePropsDialog, id, NULL, FALSE); }
    void Show(UINT hour, UINT minute, UINT day, UINT month, UINT year, UINT repeat)
    {
        const UINT values[] = { hour, minute, day, month, year, repeat };
        const int edits[] = { IDC_PROPS_HOUR, IDC_PROPS_MINUTE, IDC_PROPS_DAY, IDC_PROPS_MONTH, IDC_PROPS_YEAR, IDC_PROPS_REPEAT };
        for (int i = 0; i < 6; i++) SetDlgItemInt(hNotePropsDialog, edits[i], values[i], FALSE);
    }
    std::vector<int> Stored(const NoteRecord* note)
    {
        return { note->alarmHour, note->alarmMinute, note->alarmDay, note->alarmMonth, note->alarmYear, note->alarmRepeatMinutes };
    }
    void ExpectClosed(HWND dialog)
    {
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(hNotePropsDialog, (HWND)NULL);
        EXPECT_EQ(NotePropsDialogOpen, 0u);
    }
};

TEST_F(NotePropsTest, OpensOnceForOneNoteWithItsFrameGreen)
{
    NoteRecord* note = NoteWithWindow(100);
    NoteRecord* other = NoteWithWindow(400);
    HWND dialog = Open(note);
    ASSERT_NE(dialog, (HWND)NULL);
    EXPECT_EQ(note->frameState, FRAME_PROPERTIES);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), note->window);
    EXPECT_EQ(Open(other), dialog);
    OpenListNoteProperties(other);
    EXPECT_EQ(CurrentPropsNote, note);
    EXPECT_EQ(other->frameState, FRAME_NORMAL);
    EXPECT_EQ(CountThreadWindows("Einstellungen / Alarm"), 1);
    // A colour takes effect at once, in the record and in the editor.
    Command(1026);
    EXPECT_EQ(note->backColor, 0x00FE9832u);
    EXPECT_EQ(SendMessageA(note->editor, EM_SETBKGNDCOLOR, 0, 0), 0x00FE9832);
}

TEST_F(NotePropsTest, OpensWithinTheScreenForANoteAtTheLowerRight)
{
    NoteRecord* note = NewNoteRecord();   // at the default place of a new note
    PushNoteFront(note);
    ASSERT_TRUE(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextEmpty));
    HWND dialog = Open(note);
    ASSERT_NE(dialog, (HWND)NULL);
    RECT place, work;
    GetWindowRect(dialog, &place);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_GE(place.left, work.left);
    EXPECT_GE(place.top, work.top);
    EXPECT_LE(place.right, work.right);
    EXPECT_LE(place.bottom, work.bottom);
}

TEST_F(NotePropsTest, ClosingStoresTheShownValuesAndEndsTheReminder)
{
    NoteRecord* note = NoteWithWindow();
    note->alarmYear = 0;   // never had a date: today is shown
    SYSTEMTIME today;
    GetLocalTime(&today);
    ASSERT_TRUE(Open(note));
    EXPECT_EQ(Shown(IDC_PROPS_YEAR), today.wYear);
    EXPECT_EQ(Shown(IDC_PROPS_REPEAT), 5u);
    Show(7, 45, 31, 4, 2032, 960);
    note->frameState = FRAME_RINGING;
    note->reminderCountdown = 40;
    HWND dialog = hNotePropsDialog;
    Command(IDC_CLOSE);
    ExpectClosed(dialog);
    EXPECT_EQ(Stored(note), (std::vector<int>{ 7, 45, 31, 4, 2032, 960 }));
    EXPECT_EQ(note->frameState, FRAME_NORMAL);
    EXPECT_EQ(note->reminderCountdown, 0);

    note->reminderCountdown = 12;
    dialog = Open(note);
    EXPECT_EQ(Shown(IDC_PROPS_DAY), 31u);
    SetDlgItemInt(dialog, IDC_PROPS_MINUTE, 5, FALSE);
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    ExpectClosed(dialog);
    EXPECT_EQ(note->alarmMinute, 5);
    EXPECT_EQ(note->reminderCountdown, 0);
}

TEST_F(NotePropsTest, ArmingStoresDateAndTimeAtOnceAndTheYearWraps)
{
    NoteRecord* note = NoteWithWindow();
    ASSERT_TRUE(Open(note));
    Show(9, 10, 11, 12, 2099, 20);
    Command(IDC_PROPS_ALARM_ON);
    EXPECT_EQ(note->alarmOn, 1);
    EXPECT_EQ(Stored(note), (std::vector<int>{ 9, 10, 11, 12, 2099, 5 }));
    // The up arrow on the year steps past 2099 to 1999, as the up-down does.
    SendDlgItemMessageA(hNotePropsDialog, IDC_PROPS_YEAR, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(Shown(IDC_PROPS_YEAR), 1999u);
    SendDlgItemMessageA(hNotePropsDialog, IDC_PROPS_REPEAT, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(Shown(IDC_PROPS_REPEAT), 19u);
    EXPECT_EQ(note->alarmYear, 2099);
    Command(IDC_PROPS_ALARM_ON);
    EXPECT_EQ(note->alarmOn, 0);
    Command(IDC_PROPS_ALARM_ON, BN_SETFOCUS);
    EXPECT_EQ(note->alarmOn, 0);
    Command(IDC_CLOSE);
    EXPECT_EQ(Stored(note), (std::vector<int>{ 9, 10, 11, 12, 1999, 19 }));
}

TEST_F(NotePropsTest, ItsNoteHiddenOrMadeAnewTheDialogEndsAsByClosing)
{
    NoteRecord* note = NoteWithWindow();
    note->reminderCountdown = 30;
    HWND dialog = Open(note);
    ASSERT_TRUE(dialog);
    Show(6, 5, 4, 3, 2034, 2);
    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    ExpectClosed(dialog);
    EXPECT_EQ(Stored(note), (std::vector<int>{ 6, 5, 4, 3, 2034, 2 }));
    EXPECT_EQ(note->frameState, FRAME_NORMAL);
    EXPECT_EQ(note->reminderCountdown, 0);

    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    dialog = Open(note);
    ASSERT_TRUE(dialog);
    SetDlgItemInt(dialog, IDC_PROPS_REPEAT, 45, FALSE);
    RunTrayCommand(IDM_TRAY_ON_TOP);
    ExpectClosed(dialog);
    EXPECT_EQ(note->alarmRepeatMinutes, 45);
    ASSERT_NE(note->window, (HWND)NULL);
    EXPECT_TRUE(Open(note));
}

TEST_F(NotePropsTest, DeletingItsNoteClosesTheDialogWithoutWritingToIt)
{
    NoteRecord* note = NoteWithWindow();
    HWND dialog = Open(note);
    ASSERT_TRUE(dialog);
    Show(1, 2, 3, 4, 2035, 6);
    ForgetNoteProperties(note);
    ExpectClosed(dialog);
    EXPECT_EQ(Stored(note), (std::vector<int>{ 14, 30, 15, 6, 2031, 5 }));

    note->frameState = FRAME_NORMAL;
    dialog = Open(note);
    HWND window = note->window;
    EXPECT_EQ(DeleteNote(window), 1);
    DestroyWindow(window);
    ExpectClosed(dialog);
    EXPECT_EQ(CurrentPropsNote, nullptr);
}

TEST_F(NotePropsTest, AFailedCreationLeavesItOpenable)
{
    NoteRecord* note = AddTestNote();
    HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    DestroyWindow(gone);
    HWND mainDialog = hMainDialog;
    hMainDialog = gone;
    OpenListNoteProperties(note);
    hMainDialog = mainDialog;
    EXPECT_EQ(NotePropsDialogOpen, 0u);
    EXPECT_EQ(note->frameState, FRAME_NORMAL);
    OpenListNoteProperties(note);
    EXPECT_NE(hNotePropsDialog, (HWND)NULL);
    EXPECT_EQ(GetWindow(hNotePropsDialog, GW_OWNER), hMainDialog);
}

}  // namespace
