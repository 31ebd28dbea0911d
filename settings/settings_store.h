// The program-wide settings and their registry key.
#pragma once
#include <windows.h>

#define SETTINGS_KEY_PATH  "SOFTWARE\\kestrix\\Quiblet"
#define SETTINGS_PATH_SIZE 260

struct AppSettingsData {
    COLORREF defaultBackColor;
    LONG  notesSizeX;
    LONG  notesSizeY;
    DWORD startupNotes;
    DWORD startupAlarms;
    DWORD splash;
    DWORD sound;
    DWORD safeMode;
    DWORD alwaysOnTop;
    char  defaultAlarm[SETTINGS_PATH_SIZE];
};

extern AppSettingsData AppSettings;
// The key path below HKEY_CURRENT_USER (the user's own settings, which win
// once they exist) and HKEY_LOCAL_MACHINE (read without them, written when
// the user may). Tests point it at a key of their own.
extern const char* SettingsKeyPath;
// Test seam: when set and true, opening the machine key for writing fails
// as it does for a user without administrator rights.
extern bool (*MachineKeyWriteRefused)();

// The smallest width and height a note can have.
#define NOTE_MIN_SIZE 100

// The virtual screen's width and height, which bound every note's size.
// Asking the system costs more than decoding a record, so a whole index is
// bounded by one answer.
SIZE ScreenSize();
// A note's width or height as the screen can show it: at least a note's
// smallest size, at most the screen's width or height.
LONG BoundedNoteSize(LONG size, LONG screenSize);

void SetDefaultSettings(AppSettingsData* settings);
BOOL LoadSettings();
BOOL SaveSettings();
