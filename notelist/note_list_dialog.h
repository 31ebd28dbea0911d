// Dialog 146 "Note - Liste": every note in one list, acting on one at a time.
#pragma once
#include <windows.h>
#include "notes/note_record.h"

#define ROW_TEXT_SIZE     32
#define NOTE_LIST_COLUMNS 5

extern DWORD       NoteListDialogOpen;
extern NoteRecord* CurrentListNote;
extern int         CurrentListRow;
extern HWND        hNoteListDialog;

// The five texts of the row of the note at a position (number, visible,
// alarm, time, date).
void FormatNoteListRow(const NoteRecord& note, int position, char texts[NOTE_LIST_COLUMNS][ROW_TEXT_SIZE]);

void OpenNoteList(HWND owner);
void FillNoteList(HWND listView);
void UpdateNoteListRow(HWND listView);
INT_PTR CALLBACK NoteListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
