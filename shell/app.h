// Start-up, single instance, the message loop and shutdown.
#pragma once
#include <windows.h>
#include "shell/globals.h"

// Copies the start-up settings into the run-time switches, as stored.
void SeedRunTimeSwitches();

BOOL InitApplication(HINSTANCE instance);
// The hidden main dialog 102 with its 5-second timer.
HWND CreateMainDialog(HINSTANCE instance);
BOOL InitInstance(HINSTANCE instance);

// One turn of the main message loop for a message it took: dispatched, and
// after a tick of the main dialog's timer the autosave, which thus runs in
// no modal loop (a box, a menu, a common dialog) opened by some handler.
void DispatchFromMainLoop(const MSG& msg);

// WinMain's body: single instance, data folder, initialisation, message loop,
// shutdown. Returns the process exit code.
int RunQuiblet(HINSTANCE instance);
