#include "alarm/alarm_scheduler.h"
#include "notes/note_frame.h"
#include "notes/note_window.h"
#include "settings/settings_store.h"
#include "shell/globals.h"
#include "shell/services.h"

BOOL IsAlarmMinuteNow(const NoteRecord& note, const SYSTEMTIME& now)
{
    return note.alarmHour == now.wHour && note.alarmMinute == now.wMinute &&
           note.alarmDay == now.wDay && note.alarmMonth == now.wMonth &&
           note.alarmYear == now.wYear;
}

// The eight alarm words are taken as a SYSTEMTIME as they stand, so the
// instant lies alarmOn seconds and alarmRepeatMinutes milliseconds into the
// alarm minute. A date that does not convert has no instant and never passes.
BOOL HasAlarmPassed(const NoteRecord& note, const SYSTEMTIME& now)
{
    SYSTEMTIME alarm;
    alarm.wYear = note.alarmYear;
    alarm.wMonth = note.alarmMonth;
    alarm.wDayOfWeek = note.alarmDayOfWeek;
    alarm.wDay = note.alarmDay;
    alarm.wHour = note.alarmHour;
    alarm.wMinute = note.alarmMinute;
    alarm.wSecond = note.alarmOn;
    alarm.wMilliseconds = note.alarmRepeatMinutes;
    FILETIME alarmTime, nowTime;
    if (!SystemTimeToFileTime(&alarm, &alarmTime)) return FALSE;
    if (!SystemTimeToFileTime(&now, &nowTime)) return FALSE;
    return CompareFileTime(&alarmTime, &nowTime) != 1;
}

LONG ReminderTicks(WORD repeatMinutes)
{
    return static_cast<LONG>(repeatMinutes) * TICKS_PER_MINUTE + 1;
}

// A reminder still counting down takes one tick off and keeps the note quiet.
static bool CountDownReminder(NoteRecord* note)
{
    if (note->reminderCountdown <= 1) return false;
    note->reminderCountdown--;
    return true;
}

// A ringing whose window could not be made has shown its error box; it
// stays quiet until it is over, and the ticks that come in the box's own
// message loop pass it by.
static bool RingsAgain(NoteRecord* note, bool due)
{
    if (!due) note->ringFailed = FALSE;
    return due && !note->ringFailed;
}

void CheckStartupAlarmsAt(const SYSTEMTIME& now)
{
    if (AlarmsOn == 0) return;
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (note->alarmOn != 1) continue;
        bool due = !CountDownReminder(note) && (HasAlarmPassed(*note, now) || note->reminderCountdown == 1);
        if (!RingsAgain(note, due)) continue;
        if (!RingAlarm(note)) return;
    }
}

void CheckAlarmsAt(const SYSTEMTIME& now)
{
    if (AlarmsOn == 0) return;
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (note->alarmOn != 1) continue;
        bool due = !CountDownReminder(note) && (IsAlarmMinuteNow(*note, now) || note->reminderCountdown == 1);
        if (!RingsAgain(note, due)) continue;
        if (!RingAlarm(note)) return;
    }
}

// ---- The clock -----------------------------------------------------------------
void (WINAPI* AlarmClock)(LPSYSTEMTIME now) = GetLocalTime;
static ULONGLONG LastTickTime;   // 100-ns units; 0 before the first tick

static ULONGLONG TimeValue(const SYSTEMTIME& time)
{
    FILETIME value;
    if (!SystemTimeToFileTime(&time, &value)) return 0;
    return (static_cast<ULONGLONG>(value.dwHighDateTime) << 32) | value.dwLowDateTime;
}

void CheckAlarmsAtStartup()
{
    SYSTEMTIME now;
    AlarmClock(&now);
    LastTickTime = TimeValue(now);
    CheckStartupAlarmsAt(now);
}

void CatchUpMissedAlarms()
{
    CheckAlarmsAtStartup();
}

// No tick comes while the computer sleeps or the program is held: after a
// gap of more than a minute the alarm minutes in between are caught as at
// start-up, each ringing once.
void CheckAlarms()
{
    SYSTEMTIME now;
    AlarmClock(&now);
    ULONGLONG time = TimeValue(now);
    bool gap = LastTickTime != 0 && time > LastTickTime + ALARM_TICK_GAP;
    LastTickTime = time;
    if (gap) CheckStartupAlarmsAt(now);
    else CheckAlarmsAt(now);
}

BOOL RingAlarm(NoteRecord* note)
{
    note->frameState = FRAME_RINGING;
    // The reminder counts down whether or not the window can be shown.
    if (note->alarmRepeatMinutes != 0) note->reminderCountdown = ReminderTicks(note->alarmRepeatMinutes);
    // A hidden note is shown for its alarm, but stays hidden in its record.
    if (!note->window) {
        note->ringFailed = TRUE;   // until the window exists: the error box runs a message loop
        if (!MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile)) return FALSE;
        note->ringFailed = FALSE;
    }
    RedrawNoteFrame(note->window);
    // Windows keeps a program the user is not working with from taking the
    // foreground: the note stays above the other windows without taking
    // the keyboard until its bell is clicked, and the display wakes.
    SetWindowPos(note->window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetThreadExecutionState(ES_DISPLAY_REQUIRED);
    SetForegroundWindow(note->window);
    // Posted rather than sent, so that a hung top-level window cannot stall us.
    PostMessageA(HWND_BROADCAST, WM_KEYDOWN, VK_SHIFT, 0);
    if (AppSettings.sound == 1) PlayFileSound(note->soundFile);
    return TRUE;
}
