// Small services every part of the program uses: the error box, the help
// page, menu check marks, sound files, keeping windows on the screen and the
// steps of start-up. They reach nothing but the
// process-wide state, so any part may call them.
#pragma once
#include <windows.h>

// The error box: no owner, caption "Error".
void ShowError(const wchar_t* text);

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

// A 64-bit value held to the range of a LONG.
LONG ClampedToLong(LONGLONG value);
// The top-left corner nearest to (left, top) at which a rectangle of the
// given size lies inside `area`; a larger one starts at the area's edge.
POINT PlaceInsideArea(LONG left, LONG top, LONG width, LONG height, const RECT& area);
// Moves a window that sticks out of its monitor's work area back inside it.
void KeepWindowOnScreen(HWND window);
// What PlayFileSound plays through: PlaySoundA (the tests record instead).
extern BOOL (WINAPI* SoundPlayer)(LPCSTR sound, HMODULE module, DWORD flags);

// Start-up and the making of a note window pass each step's name (what was
// just done) to StepHook when one is set; the program sets none, the
// benchmark's profile times the steps between the calls.
extern void (*StepHook)(const char* step);
void PassStep(const char* step);

// ---- Display scale ------------------------------------------------------------
// The DPI a window is shown at: its monitor's under per-monitor awareness
// (GetDpiForWindow, where user32 has it), else the screen's.
UINT WindowDpi(HWND window);
// A length given for 96 DPI, at `dpi`.
inline int ScaledToDpi(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }
// Asks Windows 11 for square corners; where dwmapi or the attribute is
// missing (older systems, Wine) nothing changes.
void KeepCornersSquare(HWND window);
#define DWM_CORNER_PREFERENCE  33  // DWMWA_WINDOW_CORNER_PREFERENCE
#define DWM_CORNERS_SQUARE     1   // DWMWCP_DONOTROUND
