// Dialog 144 "Einstellungen / Alarm": a note's colour, alarm and sound.
#pragma once
#include <windows.h>
#include "notes/note_record.h"

#define ALARM_YEAR_MIN    1999
#define ALARM_YEAR_MAX    2099
#define ALARM_REPEAT_MAX  960

extern DWORD       NotePropsDialogOpen;
extern NoteRecord* CurrentPropsNote;
extern HWND        hNotePropsDialog;
extern HBRUSH      hPropsSwatchBrush;

void OpenNoteProperties(HWND noteWindow);
void OpenListNoteProperties(NoteRecord* note);
void ShowNoteSoundName(HWND dialog, const char* path);
INT_PTR CALLBACK NotePropsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
