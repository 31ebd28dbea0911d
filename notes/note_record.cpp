#include "notes/note_record.h"
#include <new>
#include <stdio.h>
#include <string.h>
#include "alarm/note_props_dialog.h"
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

static bool ContentNameInUse(const char* name)
{
    for (NoteRecord* note = NoteList.head; note; note = note->next)
        if (_stricmp(note->fileName, name) == 0) return true;
    char path[MAX_PATH];
    return DataFolderPath(name, path, sizeof path) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
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
    note->backBrush = CreateSolidBrush(note->backColor);
    note->visible = 1;
    if (!note->backBrush) {
        delete note;
        return nullptr;
    }
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
    HBRUSH brush = CreateSolidBrush(color);
    if (!brush) return;
    if (note->backBrush) DeleteObject(note->backBrush);
    note->backColor = color;
    note->backBrush = brush;
}

// While a window is being created its handle is not yet stored in the
// record, so the first record without a window stands in for it.
NoteRecord* FindNoteByWindow(HWND window)
{
    for (NoteRecord* note = NoteList.head; note; note = note->next)
        if (note->window == window) return note;
    for (NoteRecord* note = NoteList.head; note; note = note->next)
        if (note->window == NULL) return note;
    return nullptr;
}

static void PlayDeleteSound()
{
    if (AppSettings.sound == 1) PlayFileSound(TEXT_SOUND_DELETED);
}

// Unlinks, frees and forgets a record; the alarm dialog lets go of it first
// so that it never writes into a freed record.
static void RemoveListedNote(NoteRecord* note)
{
    ForgetNoteProperties(note);
    UnlinkNote(note);
    DeleteContentFile(note);
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
