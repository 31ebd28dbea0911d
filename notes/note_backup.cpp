#include "notes/note_backup.h"
#include <string.h>
#include "notes/note_store.h"
#include "shell/globals.h"
#include "shell/guards.h"

// ---- Module state ---------------------------------------------------------
void (WINAPI* BackupClock)(SYSTEMTIME* now) = GetLocalTime;

namespace {

const int BackupDaysKept = 7;
const size_t BackupDayLength = 10;   // YYYY-MM-DD

bool JoinPath(const char* folder, const char* name, char* out)
{
    if (strlen(folder) + 1 + strlen(name) + 1 > MAX_PATH) return false;
    wsprintfA(out, "%s\\%s", folder, name);
    return true;
}

bool CopyIntoBackup(const char* name, const char* folder)
{
    char from[MAX_PATH], to[MAX_PATH];
    if (!DataFolderPath(name, from, sizeof from) || !JoinPath(folder, name, to)) return false;
    if (GetFileAttributesA(from) == INVALID_FILE_ATTRIBUTES) return true;   // a note never saved
    if (StoreFaultInjector && StoreFaultInjector(StoreCreate, to)) return false;
    return CopyFileA(from, to, FALSE) != 0;
}

void RemoveBackupFolder(const char* folder)
{
    char pattern[MAX_PATH], path[MAX_PATH];
    if (!JoinPath(folder, "*", pattern)) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && JoinPath(folder, found.cFileName, path))
                DeleteFileA(path);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder);
}

bool IsBackupDayName(const char* name)
{
    if (strlen(name) != BackupDayLength) return false;
    for (size_t i = 0; i < BackupDayLength; i++)
        if ((i == 4 || i == 7) ? name[i] != '-' : (name[i] < '0' || name[i] > '9')) return false;
    return true;
}

// Day names sort as dates: the oldest goes while more than a week is kept.
void PruneBackups(const char* backups)
{
    char pattern[MAX_PATH], oldest[MAX_PATH];
    if (!JoinPath(backups, "*", pattern)) return;
    for (;;) {
        int days = 0;
        oldest[0] = 0;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern, &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsBackupDayName(found.cFileName)) continue;
            days++;
            if (!oldest[0] || strcmp(found.cFileName, oldest) < 0) lstrcpyA(oldest, found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        char folder[MAX_PATH];
        if (days <= BackupDaysKept || !JoinPath(backups, oldest, folder)) return;
        RemoveBackupFolder(folder);
    }
}

}  // namespace

// A backup that cannot be made whole is removed (the next save tries again);
// it never fails the save.
void BackUpFirstSaveOfDay()
{
    char index[MAX_PATH], backups[MAX_PATH], folder[MAX_PATH], day[BackupDayLength + 1];
    SYSTEMTIME today;
    BackupClock(&today);
    wsprintfA(day, "%04u-%02u-%02u", today.wYear, today.wMonth, today.wDay);
    if (!DataFolderPath(NOTE_INDEX_FILE, index, sizeof index) || !DataFolderPath(BACKUP_FOLDER, backups, sizeof backups) ||
        !JoinPath(backups, day, folder) || GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES)
        return;
    KernelHandle file(CreateFileA(index, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.valid()) return;
    CreateDirectoryA(backups, NULL);
    if (!CreateDirectoryA(folder, NULL)) return;
    bool whole = CopyIntoBackup(NOTE_INDEX_FILE, folder);
    NoteIndexRecord record;
    DWORD count = 0;
    while (whole && ReadFile(file.get(), &record, sizeof record, &count, NULL) && count == sizeof record) {
        char name[NOTE_FILE_NAME_SIZE];
        lstrcpynA(name, record.fileName, sizeof name);
        if (IsSafeContentFileName(name)) whole = CopyIntoBackup(name, folder);
    }
    if (!whole) RemoveBackupFolder(folder);
    else PruneBackups(backups);
}
