// Small services every part of the program uses: the error box, the help
// page, menu check marks and sound files. They reach nothing but the
// process-wide state, so any part may call them.
#pragma once
#include <windows.h>

// The error box: no owner, caption "Error".
void ShowError(const char* text);

// Opens "..\hilfe.htm" from the data folder; a missing page is not reported.
void ShowHelp();

// Flips a switch the way every toggle of the program does (the tray menu,
// the settings dialog): 1 turns off, anything else on.
inline DWORD ToggledFlag(DWORD flag) { return flag == 1 ? 0 : 1; }

// Ticks or clears a menu item by command, with the default check mark.
void SetMenuCheck(HMENU menu, UINT command, bool checked);

// Plays a sound file (relative names from the data folder), without waiting.
// Callers decide whether the sound setting allows it.
void PlayFileSound(const char* path);
