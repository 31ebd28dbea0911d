// The colour and sound pickers of the general settings and of a note's
// alarm dialog: the seven swatches, the colour preview, the colour and sound
// file choosers and the sound's file title.
#pragma once
#include <windows.h>

#define SWATCH_COUNT   7
#define NO_COLOR_CHOSEN 0xFFFFFFFF
#define WAVE_PATH_SIZE 256   // what ChooseWaveFile may write, zero included
#define FILE_TITLE_SIZE 260

// The custom colours of the colour chooser, kept for the whole run.
extern COLORREF CustomColors[16];

// The colour of swatch control 1026..1032.
COLORREF SwatchColor(int controlId);
BOOL IsSwatch(int controlId);

// The brush for a swatch or the colour preview of dialogs 123 and 144: the
// brush held in *held is deleted and replaced by one of the control's colour
// (the preview shows previewColor). NULL for every other control. The brush
// must live until the control has painted with it, so it is deleted only
// when replaced.
HBRUSH SwatchBrushFor(HBRUSH* held, int controlId, COLORREF previewColor);
// Repaints the colour preview 1017 of a dialog now.
void RepaintColorPreview(HWND dialog);
// Puts the file title of a path into control 1035; a path that has no title
// (empty or malformed) is shown as it stands.
void ShowSoundFileTitle(HWND dialog, const char* path);

// The chosen colour, or NO_COLOR_CHOSEN when the user cancels.
COLORREF ChooseNoteColor(COLORREF initial);
// The path as a record's 8-bit field can hold it, into out: as it stands when
// the code page holds every character, else its short (8.3) name when that
// one does; FALSE, with nothing usable in out, otherwise.
BOOL SoundPathForRecord(const wchar_t* path, char* out, size_t outSize);
// Fills path (WAVE_PATH_SIZE characters) with the chosen file; 1 on success.
BOOL ChooseWaveFile(HWND owner, char* path);
