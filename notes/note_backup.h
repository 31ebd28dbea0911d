// Daily backups of the data folder: the first save of a day keeps the files
// of the last save in backup\<YYYY-MM-DD>, for a week of days.
#pragma once
#include <windows.h>

#define BACKUP_FOLDER "backup"

// Test seam: the clock that names the day of a backup.
extern void (WINAPI* BackupClock)(SYSTEMTIME* now);

// Copies "note.dat" as the last save left it and the content files it lists
// into today's backup folder, unless today has one; prunes the oldest days.
void BackUpFirstSaveOfDay();
