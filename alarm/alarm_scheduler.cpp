// STUB: the alarm scheduler is being written.
#include "alarm/alarm_scheduler.h"
BOOL IsAlarmMinuteNow(const NoteRecord&, const SYSTEMTIME&) { return FALSE; }
BOOL HasAlarmPassed(const NoteRecord&, const SYSTEMTIME&) { return FALSE; }
LONG ReminderTicks(WORD m) { return m * TICKS_PER_MINUTE + 1; }
void CheckAlarmsAtStartup() {}
void CheckAlarms() {}
BOOL RingAlarm(NoteRecord*) { return FALSE; }
