// Note windows: making them, their window procedure and their commands.
#pragma once
#include <windows.h>
#include "notes/note_record.h"

// Rich-edit styles of a note's editor.
#define NOTE_EDITOR_STYLE          0x40008044  // WS_CHILD|ES_SAVESEL|ES_AUTOVSCROLL|ES_MULTILINE
#define NOTE_EDITOR_STYLE_SHOWALL  0x40000204  // the style ShowAllNotes uses
#define NOTE_EDITOR_EVENTS         0xFFFFFFFE  // every event but ENM_CHANGE
#define NOTE_TEXT_LIMIT            0x7FFFFFFE  // far above the control's default
#define NOTE_MIN_SIZE              100
#define NOTE_ROLLUP_STEP           45

enum NoteTextSource { NoteTextEmpty, NoteTextFromFile };

extern HWND EnumeratedChild;

// Makes the window and editor of a record (steps shared by CreateNote,
// ShowAllNotes and ShowVisibleNotes). Returns 1, or 0 after an error box.
int MakeNoteWindow(NoteRecord* note, DWORD editorStyle, NoteTextSource text);
// Sends the editor its set-up: background colour, raised text limit, events.
void SetUpNoteEditor(HWND editor, COLORREF backColor);
// Moves a stored place that lies wholly off every monitor onto the nearest.
void KeepNoteOnScreen(NoteRecord* note);

int CreateNote();
int ShowAllNotes();
int ShowVisibleNotes();
LRESULT CALLBACK NoteWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL CALLBACK FindEditorChild(HWND child, LPARAM lParam);
HWND FindNoteEditor(HWND noteWindow);

// Hides every note window (the command "&Notes verbergen"), keeping visible.
void HideAllNoteWindows();

// Title-bar hit areas, relative to the window rectangle (exclusive bounds).
enum TitleButton { TitleNone, TitleMenu, TitleAlarm, TitleHide, TitleDelete };
TitleButton HitTitleButton(const RECT& window, int x, int y);
