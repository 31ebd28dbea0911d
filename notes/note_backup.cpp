#include "notes/note_backup.h"
#include <algorithm>
#include <string.h>
#include <string>
#include <vector>
#include "notes/note_store.h"
#include "shell/globals.h"
#include "shell/guards.h"

// ---- Module state ---------------------------------------------------------
void (WINAPI* BackupClock)(SYSTEMTIME* now) = GetLocalTime;

namespace {

const int BackupDaysKept = 7;
const size_t BackupDayLength = 10;   // YYYY-MM-DD
// What a backup adds behind the data folder, the longest content file name
// included: "\backup\YYYY-MM-DD\<name>". The data folder reserves less, so a
// deep one gets no backups.
const size_t BackupPathRoom = 1 + (sizeof BACKUP_FOLDER - 1) + 1 + BackupDayLength + 1 + (NOTE_FILE_NAME_SIZE - 1);

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

// A copy keeps the read-only attribute of its content file; the program
// clears it on what it made.
void RemoveBackupFile(const char* folder, const char* name)
{
    char path[MAX_PATH];
    if (!JoinPath(folder, name, path)) return;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileA(path);
}

// Removes what the program put into a day folder, the files its "note.dat"
// lists and the index itself, and then the folder if nothing else is left.
void RemoveBackupFolder(const char* folder)
{
    char index[MAX_PATH];
    if (!JoinPath(folder, NOTE_INDEX_FILE, index)) return;
    {
        KernelHandle file(CreateFileA(index, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
        NoteIndexRecord record;
        DWORD count = 0;
        while (file.valid() && ReadFile(file.get(), &record, sizeof record, &count, NULL) && count == sizeof record) {
            char name[NOTE_FILE_NAME_SIZE];
            lstrcpynA(name, record.fileName, sizeof name);
            if (IsSafeContentFileName(name)) RemoveBackupFile(folder, name);
        }
    }
    RemoveBackupFile(folder, NOTE_INDEX_FILE);
    RemoveDirectoryA(folder);
}

bool IsBackupDayName(const char* name)
{
    if (strlen(name) != BackupDayLength) return false;
    for (size_t i = 0; i < BackupDayLength; i++)
        if ((i == 4 || i == 7) ? name[i] != '-' : (name[i] < '0' || name[i] > '9')) return false;
    return true;
}

// Day names sort as dates. Today's folder and the newest days before it make
// the week kept; each older day is removed once, and what cannot be removed
// stays without holding anything up. A day after today (a clock set back, or
// once set forward) is neither counted nor removed.
void PruneBackups(const char* backups, const char* today)
{
    char pattern[MAX_PATH];
    if (!JoinPath(backups, "*", pattern)) return;
    std::vector<std::string> days;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsBackupDayName(found.cFileName) &&
            strcmp(found.cFileName, today) < 0)
            days.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(days.begin(), days.end());
    const size_t daysBefore = BackupDaysKept - 1;
    for (size_t i = 0; i + daysBefore < days.size(); i++) {
        char folder[MAX_PATH];
        if (JoinPath(backups, days[i].c_str(), folder)) RemoveBackupFolder(folder);
    }
}

}  // namespace

// A backup that cannot be made whole is removed (the next save tries again);
// it never fails the save.
void BackUpFirstSaveOfDay()
{
    char index[MAX_PATH], backups[MAX_PATH], folder[MAX_PATH], day[24];
    SYSTEMTIME today;
    BackupClock(&today);
    wsprintfA(day, "%04u-%02u-%02u", today.wYear, today.wMonth, today.wDay);
    if (wcslen(DataFolder) + BackupPathRoom >= MAX_PATH || !IsBackupDayName(day)) return;
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
    else PruneBackups(backups, day);
}
