#include "bench/bench_program.h"
#include <string>
#include "bench/bench_common.h"
#include "notes/note_record.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/main_dialog.h"

// ---- Module state ---------------------------------------------------------
static char BenchKeyPath[96];
static std::string StartFolder;

static void DeleteOwnSettingsKey()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, BenchKeyPath);
    RegDeleteKeyA(HKEY_CURRENT_USER, BenchKeyPath);
}

std::string BenchDataFolder()
{
    char folder[MAX_PATH];
    return DataFolderInCodePage(folder, sizeof folder) ? folder : "";
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
    return StartQuiblet(instance) && TrayIconPending == 0;
}

bool StartUpWithNotes(HINSTANCE instance, int count, int visible)
{
    return SetUpDataFolder() == DataFolderReady && WriteNoteFolder(BenchDataFolder(), count, visible) && StartUp(instance);
}

void SilenceSounds()
{
    AppSettings.sound = 0;
}

void ShutDown()
{
    ShutDownQuiblet();
    FreeNotes();
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
    if (!WriteNoteFolder(BenchDataFolder(), count, visible)) return false;
    return LoadNotes() && CountNotes() == count;
}
