// The notes on disk: the index "note.dat" and one RTF content file per note.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "notes/note_record.h"

#define NOTE_INDEX_FILE  "note.dat"

#pragma pack(push, 1)
struct NoteIndexRecord {
    int32_t  left;                 // 0
    int32_t  top;                  // 4
    int32_t  width;                // 8
    int32_t  height;               // 12
    int32_t  visible;              // 16
    char     fileName[21];         // 20
    char     soundFile[260];       // 41
    uint8_t  padding[3];           // 301
    uint32_t backColor;            // 304
    uint16_t alarmYear;            // 308
    uint16_t alarmMonth;           // 310
    uint16_t alarmDayOfWeek;       // 312
    uint16_t alarmDay;             // 314
    uint16_t alarmHour;            // 316
    uint16_t alarmMinute;          // 318
    uint16_t alarmOn;              // 320
    uint16_t alarmRepeatMinutes;   // 322
    int32_t  reminderCountdown;    // 324
};
#pragma pack(pop)
static_assert(sizeof(NoteIndexRecord) == 328, "note.dat records are 328 bytes");

// Record conversion, no files involved.
void EncodeIndexRecord(const NoteRecord& note, NoteIndexRecord* out);
// Fills the stored fields of a note; an unsafe content file name is replaced
// by a fresh one (the note then starts empty). Returns FALSE in that case.
// Sizes are bounded by the screen's (see ScreenSize).
BOOL DecodeIndexRecord(const NoteIndexRecord& in, NoteRecord* note, SIZE screen);
BOOL DecodeIndexRecord(const NoteIndexRecord& in, NoteRecord* note);
// A content file name is a plain name inside the data folder that no other
// file of the program has: not the index, the backups folder, a temporary
// file or the keeper of an original.
BOOL IsSafeContentFileName(const char* name);

// The steps of a save, each of which may fail on a full or refusing disk.
enum StoreStep { StoreCreate, StoreWrite, StoreFlush, StoreReplace };
// Test seam: when set, a step for which it returns true fails as the disk
// would make it fail.
extern bool (*StoreFaultInjector)(StoreStep step, const char* path);

int SaveNotes();
enum SaveReporting { SaveWithErrorBox, SaveQuietly };
int SaveNotesReporting(SaveReporting reporting);
// Successful saves so far; a change noticed before the count moved is saved.
extern DWORD SaveCount;
int LoadNotes();
// Files chosen by the user, so named in any script.
int StreamFileIn(HWND editor, int format, const wchar_t* path);
// Writes the editor's RTF to `path` through a temporary file beside it.
// Returns 0, with the file as it was, when any step failed.
int StreamFileOut(HWND editor, const wchar_t* path);

// A content file larger than this is not read: the editor could not take it
// in good time. Like a file held by another program it is never written over.
const LONGLONG MostContentFileBytes = 64ll << 20;

// Only "not found" means that a file is missing. A file that exists but
// cannot be read now (another program holds it, a lock, an I/O error) is
// tried again for about two seconds when waiting briefly, once otherwise.
enum FilePatience { WaitBriefly, TryOnce };
enum NoteTextLoad { NoteTextMissing = 0, NoteTextLoaded = 1, NoteTextUnreadable = 2 };

// The note's text from or to its content file in the data folder, wherever
// the current directory stands. An unreadable file leaves the editor as it was.
NoteTextLoad LoadNoteText(const NoteRecord* note, HWND editor, FilePatience patience = WaitBriefly);
int SaveNoteText(const NoteRecord* note, HWND editor);
// A deleted note's content file, with its ".bak" keeper, is removed once a
// save has written "note.dat" without the note; a failed save keeps it.
void DeleteContentFileAfterSave(const char* fileName);
// Whether a content file name still waits for that save (it is not free).
BOOL IsContentFileAwaitingDelete(const char* fileName);
// Removes temporary files that an interrupted save left in the data folder.
void CleanUpInterruptedSaves();
