// Start-up, single instance, the message loop and shutdown.
#pragma once
#include <windows.h>
#include "shell/globals.h"

// Copies the start-up settings into the run-time switches, as stored.
void SeedRunTimeSwitches();

// Common controls and the rich-edit library, loaded before any window.
void LoadControlLibraries();
// Icons, settings, menus and the note window class.
BOOL InitApplication(HINSTANCE instance);
// The hidden main dialog 102 with its 5-second timer.
HWND CreateMainDialog(HINSTANCE instance);
// The main dialog, the notes loaded and shown, the tray icon (or the info
// screen) and the alarms that fell due while the program was not running.
BOOL InitInstance(HINSTANCE instance);

// Start-up as far as the message loop: the data folder (an error box when
// its path is too long), the libraries, InitApplication and InitInstance.
// The test and benchmark programs start the program through these too.
BOOL StartQuiblet(HINSTANCE instance);
// What follows the message loop: the note windows closed, the rich-edit
// library freed, the tray icon removed.
void ShutDownQuiblet();

// One turn of the main message loop for a message it took: dispatched, and
// after a tick of the main dialog's timer the autosave, which thus runs in
// no modal loop (a box, a menu, a common dialog) opened by some handler.
void DispatchFromMainLoop(const MSG& msg);

// WinMain's body: single instance, data folder, initialisation, message loop,
// shutdown. Returns the process exit code.
int RunQuiblet(HINSTANCE instance);
