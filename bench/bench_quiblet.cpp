// The program's own figures, measured in-process on the program's code.
//   bench_quiblet startup           start-up to the tray icon, 0 notes
//   bench_quiblet start <notes>     LoadNotes + ShowVisibleNotes of generated
//                                   notes (100 visible), then the peak memory
//   bench_quiblet repeat <runs>     CreateNote and SaveNotes with 100 open
//                                   notes, each with its floor in turn;
//                                   LoadNotes of 1,000, one alarm pass, one
//                                   idle timer tick
//   bench_quiblet objects <cycles> [seconds]
//                                   GDI/USER objects and kernel handles around
//                                   show/hide cycles (stopping early when the
//                                   seconds are up)
//   bench_quiblet settings          the program's own key: no info screen at
//                                   start, so that a launch ends at the tray
#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "alarm/alarm_scheduler.h"
#include "bench/bench_common.h"
#include "bench/bench_program.h"
#include "bench/floor_window.h"
#include "notes/autosave.h"
#include "notes/note_record.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/main_dialog.h"

#define ALARM_PASSES_PER_RUN 1000
#define IDLE_TICKS_PER_RUN   100

// ---- The figures --------------------------------------------------------------
static int MeasureStartUp(HINSTANCE instance)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    Stopwatch clock;
    bool started = StartUp(instance);
    double us = clock.elapsedUs();
    if (!started) return 1;
    PrintResult("startup_us", us);
    PumpPending();
    PrintPeakMemory("mem0");
    ShutDown();
    return 0;
}

// The start-up of InitInstance in its steps, the note steps timed.
static int MeasureStartWithNotes(HINSTANCE instance, int records)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    if (!StartUpToNotes(instance) || !WriteNoteFolder(DataFolder, records, BENCH_VISIBLE_NOTES)) return 1;
    Stopwatch clock;
    LoadNotes();
    if (NotesHidden == 0) ShowVisibleNotes();
    double ms = clock.elapsedMs();
    if (CountNotes() != records || CountWindowedNotes() != BENCH_VISIBLE_NOTES) return 1;
    FinishStartUp();
    PumpPending();
    if (records == BENCH_VISIBLE_NOTES) PrintResult("notes100_ms", ms);
    char prefix[32];
    wsprintfA(prefix, "mem%d", records);
    PrintPeakMemory(prefix);
    ShutDown();
    return 0;
}

// CreateNote and its floor, one tool window with an editor, turn by turn.
static bool MeasureCreateNote(int runs)
{
    RECT place = NewFloorNotePlace();
    for (int run = -1; run < runs; run++) {
        Stopwatch clock;
        int created = CreateNote();
        double ms = clock.elapsedMs();
        if (!created || !NoteList.head->window) return false;
        HWND window = NoteList.head->window;
        DeleteNote(window);
        DestroyWindow(window);
        PumpPending();
        clock.restart();
        FloorNote floor = MakeFloorNote(place, NULL);
        double floorMs = clock.elapsedMs();
        if (!floor.editor) return false;
        DestroyWindow(floor.window);
        PumpPending();
        // The first of each pays for its class's first use; it is not counted.
        if (run < 0) continue;
        PrintResult("createnote_ms", ms);
        PrintResult("floor_createnote_ms", floorMs);
    }
    return true;
}

// SaveNotes and its floor, the same editors streamed out to temporary files,
// flushed and moved into place without an index, turn by turn: a busy disk
// then weighs on both alike.
static bool MeasureSave(int runs)
{
    if (!LoadGeneratedNotes(BENCH_VISIBLE_NOTES, BENCH_VISIBLE_NOTES) || !ShowVisibleNotes()) return false;
    PumpPending();
    for (int run = -1; run < runs; run++) {
        Stopwatch clock;
        int saved = SaveNotes();
        double ms = clock.elapsedMs();
        if (!saved) return false;
        PumpPending();
        clock.restart();
        for (NoteRecord* note = NoteList.head; note; note = note->next) {
            char path[MAX_PATH];
            if (!DataFolderPath(note->fileName, path, sizeof path) || !SaveRtfSafely(note->editor, path)) return false;
        }
        double floorMs = clock.elapsedMs();
        PumpPending();
        if (run < 0) continue;
        PrintResult("save100_ms", ms);
        PrintResult("floor_save100_ms", floorMs);
    }
    WIN32_FILE_ATTRIBUTE_DATA index;
    char path[MAX_PATH];
    return DataFolderPath(NOTE_INDEX_FILE, path, sizeof path) &&
           GetFileAttributesExA(path, GetFileExInfoStandard, &index) &&
           index.nFileSizeLow == BENCH_VISIBLE_NOTES * sizeof(NoteIndexRecord);
}

static bool MeasureLoad(int runs)
{
    if (!LoadGeneratedNotes(1000, BENCH_VISIBLE_NOTES)) return false;
    for (int run = -1; run < runs; run++) {
        FreeNotes();
        Stopwatch clock;
        LoadNotes();
        double ms = clock.elapsedMs();
        if (CountNotes() != 1000) return false;
        if (run >= 0) PrintResult("load1000_ms", ms);
    }
    return true;
}

static bool NoneRang()
{
    for (NoteRecord* note = NoteList.head; note; note = note->next)
        if (note->frameState == FRAME_RINGING || note->window) return false;
    return true;
}

// Every note has an alarm armed for next year, so each one is looked at
// and none is due.
static bool MeasureAlarmPass(int runs)
{
    if (!LoadGeneratedNotes(1000, BENCH_VISIBLE_NOTES)) return false;
    AlarmsOn = 1;
    CheckAlarms();
    for (int run = 0; run < runs; run++) {
        Stopwatch clock;
        for (int pass = 0; pass < ALARM_PASSES_PER_RUN; pass++) CheckAlarms();
        PrintResult("alarmpass_us", clock.elapsedUs() / ALARM_PASSES_PER_RUN);
    }
    return NoneRang();
}

// The main dialog's 5-second tick as the message loop dispatches it, with
// 1,000 notes (100 open) and nothing changed since the last save: the alarm
// pass and the autosave check, which must find nothing to save.
static bool MeasureIdleTick(int runs)
{
    if (!LoadGeneratedNotes(1000, BENCH_VISIBLE_NOTES) || !ShowVisibleNotes() || !SaveNotes()) return false;
    PumpPending();
    ResetAutosave();
    AlarmsOn = 1;
    DWORD saves = SaveCount;
    for (int run = 0; run < runs; run++) {
        Stopwatch clock;
        for (int tick = 0; tick < IDLE_TICKS_PER_RUN; tick++) {
            TickFromMainLoop = TRUE;
            SendMessageA(hMainDialog, WM_TIMER, MAIN_TIMER_ID, 0);
            TickFromMainLoop = FALSE;
        }
        PrintResult("idletick_us", clock.elapsedUs() / IDLE_TICKS_PER_RUN);
    }
    return SaveCount == saves;
}

static int MeasureRepeated(HINSTANCE instance, int runs)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    if (!StartUp(instance) || !SetUpFloorWindows()) return 1;
    SilenceSounds();
    bool measured = MeasureCreateNote(runs) && MeasureSave(runs) && MeasureLoad(runs) && MeasureAlarmPass(runs) &&
                    MeasureIdleTick(runs);
    ShutDown();
    return measured ? 0 : 1;
}

// The tray's "Notes verbergen" twice: every window saved and destroyed,
// then made again from the files.
static bool HideAndShowNotes()
{
    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    PumpPending();
    if (NotesHidden != 1 || CountWindowedNotes() != 0) return false;
    RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    PumpPending();
    return NotesHidden == 0 && CountWindowedNotes() == BENCH_VISIBLE_NOTES;
}

static void PrintObjects(const char* when)
{
    std::string suffix = when;
    PrintResult(("gdi_" + suffix).c_str(), GdiObjectCount());
    PrintResult(("user_" + suffix).c_str(), CountUserObjects());
    PrintResult(("handles_" + suffix).c_str(), CountKernelHandles());
}

static int MeasureObjects(HINSTANCE instance, int cycles, double budgetSeconds)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    if (!StartUp(instance)) return 1;
    SilenceSounds();
    if (!LoadGeneratedNotes(BENCH_VISIBLE_NOTES, BENCH_VISIBLE_NOTES) || !ShowVisibleNotes()) return 1;
    PumpPending();
    // One cycle first, so that what the first save and the first hide set
    // up once is in the count before.
    if (!HideAndShowNotes()) return 1;
    PrintObjects("before");
    Stopwatch total;
    int cycle = 0;
    while (cycle < cycles && (budgetSeconds <= 0 || total.elapsedMs() < budgetSeconds * 1000)) {
        Stopwatch clock;
        if (!HideAndShowNotes()) return 1;
        if (cycle % 10 == 0) PrintResult("cycle_ms", clock.elapsedMs());
        cycle++;
    }
    PrintResult("cycles_done", cycle);
    PrintObjects("after");
    ShutDown();
    return 0;
}

static int PrepareLaunchSettings()
{
    LoadSettings();
    if (AppSettings.splash != 1) return 0;
    AppSettings.splash = 0;
    return SaveSettings() ? 0 : 1;
}

int main(int argc, char** argv)
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    hInstance = instance;
    if (argc < 2) return 2;
    int count = argc > 2 ? atoi(argv[2]) : 0;
    if (strcmp(argv[1], "startup") == 0) return MeasureStartUp(instance);
    if (strcmp(argv[1], "start") == 0) return MeasureStartWithNotes(instance, count);
    if (strcmp(argv[1], "repeat") == 0) return MeasureRepeated(instance, count);
    if (strcmp(argv[1], "objects") == 0) return MeasureObjects(instance, count, argc > 3 ? atof(argv[3]) : 0);
    if (strcmp(argv[1], "settings") == 0) return PrepareLaunchSettings();
    return 2;
}
