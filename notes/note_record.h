// One note in memory (NoteRecord) and the global list of notes (NoteList).
#pragma once
#include <windows.h>

#define NOTE_FILE_NAME_SIZE   21
#define NOTE_SOUND_FILE_SIZE  260

// The fields from `left` to `reminderCountdown` are the stored ones; they
// stay together and in this order, as the autosave check hashes them
// straight from the record.
struct NoteRecord {
    NoteRecord* next;
    LONG  left, top, width, height;        // window rectangle, screen pixels
    char  fileName[NOTE_FILE_NAME_SIZE];   // content file in the data folder
    COLORREF backColor;
    // The eight alarm words have the layout of a SYSTEMTIME: alarmOn sits
    // where the seconds are, alarmRepeatMinutes where the milliseconds are.
    WORD  alarmYear, alarmMonth, alarmDayOfWeek, alarmDay;
    WORD  alarmHour, alarmMinute, alarmOn, alarmRepeatMinutes;
    char  soundFile[NOTE_SOUND_FILE_SIZE];
    LONG  visible;             // 1 shown, 0 hidden with its hide button
    LONG  reminderCountdown;   // 5-second ticks to the next reminder
    LONG  frameState;          // FRAME_NORMAL, FRAME_PROPERTIES, FRAME_RINGING
    HWND  window;
    HWND  editor;
    BOOL  textSaved;           // the content file holds the editor's text
    BOOL  textUnread;          // the content file exists but could not be read:
                               // the editor is read-only and the file not written
    HBRUSH backBrush;          // solid brush of backColor while the window exists
    DWORD serial;              // never reused, unlike the record's address
    BOOL  ringFailed;          // this ringing could not show its window
};

enum NoteFrameState { FRAME_NORMAL = 0, FRAME_PROPERTIES = 1, FRAME_RINGING = 2 };

// The list owns every record; it starts empty and frees the records when the
// program's globals are torn down.
struct NoteListHead {
    NoteRecord* head = nullptr;
    NoteListHead() = default;
    NoteListHead(const NoteListHead&) = delete;
    NoteListHead& operator=(const NoteListHead&) = delete;
    ~NoteListHead();
};
extern NoteListHead NoteList;

// "%X%X.dat" of a FILETIME: low 32 bits, then high 32 bits, upper-case hex.
void FormatContentFileName(const FILETIME& time, char out[NOTE_FILE_NAME_SIZE]);

// A content file name made from the current local time that no note uses and
// no file in the data folder has (the time is stepped on until it is free).
void MakeUniqueContentFileName(char out[NOTE_FILE_NAME_SIZE]);
// Lets go of the data folder's names read for that check (after a load they
// are read again when next needed).
void ForgetFolderNames();

// A number no record of this run had before; given at creation and load.
DWORD NewNoteSerial();

// A fresh record with the defaults of a new note; not yet in the list.
// Returns null when there is no memory for it.
NoteRecord* NewNoteRecord();
void PushNoteFront(NoteRecord* note);
void AppendNote(NoteRecord* note);
// Takes a record out of the list without freeing it. FALSE if not listed.
BOOL UnlinkNote(NoteRecord* note);
// Frees a record that is not (or no longer) in the list, with its brush.
void DiscardNote(NoteRecord* note);

BOOL IsNoteListed(const NoteRecord* note);

// A note held across message loops (by the alarm dialog, the note list): the
// record and its serial, so that a new record made at a deleted one's address
// is never taken for it.
struct NoteRef {
    NoteRecord* note = nullptr;
    DWORD serial = 0;
};
NoteRef RefToNote(NoteRecord* note);
// The note referred to, or null once it has been deleted.
NoteRecord* ResolveNote(const NoteRef& ref);
NoteRecord* NoteAtPosition(int position);
int CountNotes();

// Changes a note's colour, keeping its brush in step.
void SetNoteColor(NoteRecord* note, COLORREF color);

// The record a note window was made for (bound to it through the creation
// parameter); null for any other window and once the record is gone.
NoteRecord* FindNoteByWindow(HWND window);
// Deletes the note of a window (sound, unlink, brush, free). Its content
// file goes once "note.dat" no longer lists the note (at the next save), so
// that a failed save or a crash never leaves the note without its text.
// The caller destroys the window. Returns 1, or 0 when no record matched.
int DeleteNote(HWND window);
// The same for a record the caller holds, with or without a window.
int RemoveNote(NoteRecord* note);
void FreeNotes();
