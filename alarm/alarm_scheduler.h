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

void CheckAlarmsAtStartup();
void CheckAlarms();
// The two passes for a given local time; the ones above pass the clock's.
void CheckStartupAlarmsAt(const SYSTEMTIME& now);
void CheckAlarmsAt(const SYSTEMTIME& now);
BOOL RingAlarm(NoteRecord* note);
