#include "notes/note_record.h"
#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "notes/note_store.h"
#include "settings/settings_store.h"
#include "shell/globals.h"
#include "shell/services.h"
#include "shell/ui_text.h"

// ---- Module state ---------------------------------------------------------
NoteListHead NoteList;

NoteListHead::~NoteListHead()
{
    FreeNotes();
}

void FormatContentFileName(const FILETIME& time, char out[NOTE_FILE_NAME_SIZE])
{
    snprintf(out, NOTE_FILE_NAME_SIZE, "%lX%lX.dat",
             static_cast<unsigned long>(time.dwLowDateTime), static_cast<unsigned long>(time.dwHighDateTime));
}

// The data folder's file names, read once per folder and again after each
// load: apart from the notes' own files, which the list names, and deleted
// notes' files that wait for the next save, only what was there before can
// hold a name, so a new note asks the disk nothing. Only names short enough
// to be a content file's are kept, upper case, sorted.
typedef char FolderName[NOTE_FILE_NAME_SIZE];
static wchar_t     NamesFolder[MAX_PATH];   // the folder they were read from
static bool        FolderNamesRead;
static bool        FolderNamesWhole;        // false: memory ran out, ask the disk
static FolderName* FolderNames;
static size_t      FolderNameCount, FolderNameRoom;

void ForgetFolderNames()
{
    free(FolderNames);
    FolderNames = nullptr;
    FolderNameCount = FolderNameRoom = 0;
    FolderNamesRead = false;
}

static bool AddFolderName(const char* name)
{
    if (strlen(name) >= NOTE_FILE_NAME_SIZE) return true;
    if (FolderNameCount == FolderNameRoom) {
        size_t room = FolderNameRoom ? FolderNameRoom * 2 : 64;
        FolderName* grown = static_cast<FolderName*>(realloc(FolderNames, room * sizeof(FolderName)));
        if (!grown) return false;
        FolderNames = grown;
        FolderNameRoom = room;
    }
    lstrcpynA(FolderNames[FolderNameCount], name, NOTE_FILE_NAME_SIZE);
    CharUpperA(FolderNames[FolderNameCount++]);
    return true;
}

static int CompareFolderNames(const void* a, const void* b)
{
    return strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

static void ReadFolderNames()
{
    ForgetFolderNames();
    lstrcpynW(NamesFolder, DataFolder, MAX_PATH);
    FolderNamesRead = FolderNamesWhole = true;
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    HANDLE search = DataFolderPath("*", pattern, sizeof pattern) ? FindFirstFileA(pattern, &found)
                                                                 : INVALID_HANDLE_VALUE;
    if (search == INVALID_HANDLE_VALUE) return;
    do FolderNamesWhole = FolderNamesWhole && AddFolderName(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    qsort(FolderNames, FolderNameCount, sizeof(FolderName), CompareFolderNames);
}

static bool ContentNameInUse(const char* name)
{
    for (NoteRecord* note = NoteList.head; note; note = note->next)
        if (_stricmp(note->fileName, name) == 0) return true;
    if (IsContentFileAwaitingDelete(name)) return true;
    if (!FolderNamesRead || wcscmp(NamesFolder, DataFolder) != 0) ReadFolderNames();
    if (!FolderNamesWhole) {
        char path[MAX_PATH];
        return DataFolderPath(name, path, sizeof path) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    }
    FolderName upper;
    lstrcpynA(upper, name, sizeof upper);
    CharUpperA(upper);
    return bsearch(upper, FolderNames, FolderNameCount, sizeof(FolderName), CompareFolderNames) != nullptr;
}

// Two notes made within one tick of the clock would get the same name; the
// time is stepped on by one unit until the name is free.
void MakeUniqueContentFileName(char out[NOTE_FILE_NAME_SIZE])
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME time;
    SystemTimeToFileTime(&now, &time);
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    for (int attempt = 0; attempt < 100000; attempt++, value.QuadPart++) {
        time.dwLowDateTime = value.LowPart;
        time.dwHighDateTime = value.HighPart;
        FormatContentFileName(time, out);
        if (!ContentNameInUse(out)) return;
    }
}

DWORD NewNoteSerial()
{
    static DWORD lastSerial;
    return ++lastSerial;
}

NoteRecord* NewNoteRecord()
{
    NoteRecord* note = new (std::nothrow) NoteRecord();
    if (!note) return nullptr;
    note->width = AppSettings.notesSizeX;
    note->height = AppSettings.notesSizeY;
    note->left = GetSystemMetrics(SM_CXFULLSCREEN) - 30 - note->width;
    note->top = GetSystemMetrics(SM_CYFULLSCREEN) - 30 - note->height;
    MakeUniqueContentFileName(note->fileName);
    lstrcpynA(note->soundFile, AppSettings.defaultAlarm, sizeof note->soundFile);
    note->backColor = AppSettings.defaultBackColor;
    note->visible = 1;
    note->serial = NewNoteSerial();
    return note;
}

void PushNoteFront(NoteRecord* note)
{
    note->next = NoteList.head;
    NoteList.head = note;
}

void AppendNote(NoteRecord* note)
{
    note->next = nullptr;
    NoteRecord** link = &NoteList.head;
    while (*link) link = &(*link)->next;
    *link = note;
}

BOOL UnlinkNote(NoteRecord* note)
{
    for (NoteRecord** link = &NoteList.head; *link; link = &(*link)->next) {
        if (*link == note) {
            *link = note->next;
            note->next = nullptr;
            return TRUE;
        }
    }
    return FALSE;
}

void DiscardNote(NoteRecord* note)
{
    if (!note) return;
    if (note->backBrush) DeleteObject(note->backBrush);
    delete note;
}

BOOL IsNoteListed(const NoteRecord* note)
{
    for (NoteRecord* n = NoteList.head; n; n = n->next)
        if (n == note) return TRUE;
    return FALSE;
}

NoteRef RefToNote(NoteRecord* note)
{
    NoteRef ref;
    ref.note = note;
    ref.serial = note ? note->serial : 0;
    return ref;
}

NoteRecord* ResolveNote(const NoteRef& ref)
{
    return ref.note && IsNoteListed(ref.note) && ref.note->serial == ref.serial ? ref.note : nullptr;
}

NoteRecord* NoteAtPosition(int position)
{
    NoteRecord* note = NoteList.head;
    for (int i = 0; note && i < position; i++) note = note->next;
    return position < 0 ? nullptr : note;
}

int CountNotes()
{
    int count = 0;
    for (NoteRecord* note = NoteList.head; note; note = note->next) count++;
    return count;
}

void SetNoteColor(NoteRecord* note, COLORREF color)
{
    if (note->backBrush) {
        HBRUSH brush = CreateSolidBrush(color);
        if (!brush) return;
        DeleteObject(note->backBrush);
        note->backBrush = brush;
    }
    note->backColor = color;
}

// Only the record bound to the window at its creation: a window destroyed
// meanwhile (in the message loop of an error box) has none and must not
// stand for another note, and a deleted note's window, which still gets the
// messages of its destruction, finds none.
NoteRecord* FindNoteByWindow(HWND window)
{
    NoteRecord* bound = reinterpret_cast<NoteRecord*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!bound || !IsNoteListed(bound)) return nullptr;
    return bound->window == window || bound->window == NULL ? bound : nullptr;
}

static void PlayDeleteSound()
{
    if (AppSettings.sound == 1) PlayFileSound(TEXT_SOUND_DELETED);
}

// Unlinks and frees a record; the dialogs that held it find it gone through
// their NoteRef.
static void RemoveListedNote(NoteRecord* note)
{
    UnlinkNote(note);
    DeleteContentFileAfterSave(note->fileName);
    DiscardNote(note);
}

int DeleteNote(HWND window)
{
    PlayDeleteSound();
    if (!window) return 0;
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (note->window == window) {
            RemoveListedNote(note);
            return 1;
        }
    }
    return 0;
}

int RemoveNote(NoteRecord* note)
{
    PlayDeleteSound();
    if (!IsNoteListed(note)) return 0;
    RemoveListedNote(note);
    return 1;
}

void FreeNotes()
{
    NoteRecord* note = NoteList.head;
    while (note) {
        NoteRecord* next = note->next;
        DiscardNote(note);
        note = next;
    }
    NoteList.head = nullptr;
}
