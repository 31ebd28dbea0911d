// The alarm passes: at start-up and on every 5-second tick.
#pragma once
#include <windows.h>
#include "notes/note_record.h"

#define TICKS_PER_MINUTE 12

// Due checks on plain values.
BOOL IsAlarmMinuteNow(const NoteRecord& note, const SYSTEMTIME& now);
// Start-up: the alarm instant has passed (FALSE for a date no calendar has).
BOOL HasAlarmPassed(const NoteRecord& note, const SYSTEMTIME& now);
LONG ReminderTicks(WORD repeatMinutes);

// Ticks further apart than this (100-ns units, one minute) left a gap.
#define ALARM_TICK_GAP (60ULL * 10000000ULL)

void CheckAlarmsAtStartup();
// The tick pass; after a gap in the ticks it catches the past alarms instead.
void CheckAlarms();
// After sleep or a change of the clock: the past alarms ring as at start-up.
void CatchUpMissedAlarms();
// The local time the passes read: GetLocalTime (the tests set their own).
extern void (WINAPI* AlarmClock)(LPSYSTEMTIME now);
// The two passes for a given local time; the ones above pass the clock's.
void CheckStartupAlarmsAt(const SYSTEMTIME& now);
void CheckAlarmsAt(const SYSTEMTIME& now);
BOOL RingAlarm(NoteRecord* note);
