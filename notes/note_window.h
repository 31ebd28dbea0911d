// Note windows: making them, their window procedure and their commands.
#pragma once
#include <windows.h>
#include "notes/note_record.h"

// Rich-edit styles of a note's editor.
#define NOTE_EDITOR_STYLE          0x40008044  // WS_CHILD|ES_SAVESEL|ES_AUTOVSCROLL|ES_MULTILINE
#define NOTE_EDITOR_STYLE_SHOWALL  0x40000204  // the style ShowAllNotes uses
#define NOTE_EDITOR_EVENTS         0xFFFFFFFE  // every event but ENM_CHANGE
#define NOTE_TEXT_LIMIT            0x7FFFFFFE  // far above the control's default
#define NOTE_ROLLUP_STEP           45
#define NOTE_WINDOW_TITLE          L"Quiblet"
#define NOTE_EDITOR_CLASS          L"RICHEDIT50W"   // MSFTEDIT.DLL

// The frame the note draws itself, at 96 DPI: the title band above the text
// and the border on the other three sides, where the note is sized.
#define NOTE_FRAME_BAND            20
#define NOTE_FRAME_BORDER          4

// Title-bar hit areas, offsets from the window rectangle; bounds exclusive.
#define TITLE_BAND_TOP             1    // T + 1 < y < T + 19
#define TITLE_BAND_BOTTOM          19
#define TITLE_MENU_FROM            1    // L + 1 < x < L + 19
#define TITLE_MENU_TO              19
#define TITLE_ALARM_FROM           22   // L + 22 < x < L + 39
#define TITLE_ALARM_TO             39
#define TITLE_HIDE_FROM_RIGHT      38   // R - 38 < x < R - 22
#define TITLE_HIDE_TO_RIGHT        22
#define TITLE_DELETE_FROM_RIGHT    19   // R - 19 < x < R + 1
#define TITLE_DELETE_TO_RIGHT      1    // (added to R)

enum NoteTextSource { NoteTextEmpty, NoteTextFromFile };

// Written by FindEditorChild.
extern HWND EnumeratedChild;

// Makes the window and editor of a record (steps shared by CreateNote,
// ShowAllNotes and ShowVisibleNotes). Works for any record of the list that
// has no window. Returns 1, or 0 after an error box. Passes its steps
// (PassStep), as start-up does.
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
// The editor of a note window, found through FindEditorChild.
HWND FindNoteEditor(HWND noteWindow);

// Takes a note's window off the screen and destroys it; the record stays.
void DestroyNoteWindow(NoteRecord* note);

// Hides every note window (the command "&Notes verbergen"), keeping visible.
// Returns 0, with every window left, when the save before failed.
int HideAllNoteWindows();

// Title-bar hit areas, relative to the window rectangle (exclusive bounds).
enum TitleButton { TitleNone, TitleMenu, TitleAlarm, TitleHide, TitleDelete };
TitleButton HitTitleButton(const RECT& window, int x, int y, UINT dpi = USER_DEFAULT_SCREEN_DPI);
