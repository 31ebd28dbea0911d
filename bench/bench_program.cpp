#include "bench/bench_program.h"
#include <commctrl.h>
#include <string>
#include "alarm/alarm_scheduler.h"
#include "bench/bench_common.h"
#include "notes/autosave.h"
#include "notes/note_record.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/main_dialog.h"

// ---- Module state ---------------------------------------------------------
static char BenchKeyPath[96];
static std::string StartFolder;

static void DeleteOwnSettingsKey()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, BenchKeyPath);
    RegDeleteKeyA(HKEY_CURRENT_USER, BenchKeyPath);
}

void UseOwnSettingsKey()
{
    wsprintfA(BenchKeyPath, "SOFTWARE\\kestrix\\QuibletBench-%lu", GetCurrentProcessId());
    SettingsKeyPath = BenchKeyPath;
    DeleteOwnSettingsKey();
}

void EnterFreshStartFolder()
{
    StartFolder = MakeScratchFolder("start");
    SetCurrentDirectoryA(StartFolder.c_str());
}

bool StartUp(HINSTANCE instance)
{
    if (!SetUpDataFolder()) return false;
    InitCommonControls();
    hRichEditLib = LoadLibraryA("RICHED32.DLL");
    return InitApplication(instance) && InitInstance(instance) && TrayIconPending == 0;
}

bool StartUpToNotes(HINSTANCE instance)
{
    if (!SetUpDataFolder()) return false;
    InitCommonControls();
    hRichEditLib = LoadLibraryA("RICHED32.DLL");
    if (!InitApplication(instance)) return false;
    hMainDialog = CreateMainDialog(instance);
    CleanUpInterruptedSaves();
    return hMainDialog != NULL;
}

void FinishStartUp()
{
    ResetAutosave();
    TrayIconPending = 0;
    SetTrayIcon(hMainDialog, TrayAdd);
    CheckAlarmsAtStartup();
}

void SilenceSounds()
{
    AppSettings.sound = 0;
}

void ShutDown()
{
    CloseAllNoteWindows();
    FreeNotes();
    SetTrayIcon(hMainDialog, TrayDelete);
    DestroyWindow(hMainDialog);
    PumpPending();
    SetCurrentDirectoryA("\\");
    RemoveFolder(StartFolder);
    DeleteOwnSettingsKey();
}

int CountWindowedNotes()
{
    int count = 0;
    for (NoteRecord* note = NoteList.head; note; note = note->next)
        if (note->window && note->editor) count++;
    return count;
}

bool LoadGeneratedNotes(int count, int visible)
{
    CloseAllNoteWindows();
    FreeNotes();
    if (!WriteNoteFolder(DataFolder, count, visible)) return false;
    return LoadNotes() && CountNotes() == count;
}
