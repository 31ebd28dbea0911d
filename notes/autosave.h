// Saving by itself: a few seconds after the notes last changed, on the tick
// of the main dialog's timer.
#pragma once
#include <windows.h>
#include <stdint.h>

#define AUTOSAVE_QUIET_MS      3000    // the last change must be this old
#define AUTOSAVE_MAX_DELAY_MS  60000   // ...unless changes never pause

// A hash of what "note.dat" would hold now.
uint64_t IndexFingerprint();

// One tick: notices changes since the last save and saves when they have
// rested long enough. Returns TRUE when it saved. Run by the main message
// loop only, where the note list is in a whole state.
BOOL AutosaveTick(DWORD nowMs);
// Forgets pending changes and a shown error (a fresh start, or a test).
void ResetAutosave();
