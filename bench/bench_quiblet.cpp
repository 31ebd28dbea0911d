// The program's own figures, measured in-process on the program's code.
//   bench_quiblet startup           start-up to the tray icon, 0 notes
//   bench_quiblet start <notes>     LoadNotes + ShowVisibleNotes of generated
//                                   notes (100 visible), then the peak memory
//   bench_quiblet repeat <runs>     CreateNote, SaveNotes (100 open notes
//                                   all changed or one changed; 1,000 notes,
//                                   100 open), showing 100 hidden notes and
//                                   filling the note list of 1,000, each with
//                                   its floor in turn; LoadNotes of 1,000,
//                                   one alarm pass, one idle timer tick
//   bench_quiblet objects <cycles> [seconds]
//                                   GDI/USER objects and kernel handles around
//                                   show/hide cycles (stopping early when the
//                                   seconds are up)
//   bench_quiblet scale <notes> <runs>
//                                   with generated notes (100 visible): the
//                                   start-up steps, the GDI objects held, a
//                                   save with one changed, the note list
//                                   filled, then the peak memory
//   bench_quiblet settings          the program's own key: no info screen at
//                                   start, so that a launch ends at the tray
#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "alarm/alarm_scheduler.h"
#include "bench/bench_common.h"
#include "bench/bench_program.h"
#include "bench/floor_window.h"
#include "notelist/note_list_dialog.h"
#include "notes/autosave.h"
#include "notes/note_record.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/main_dialog.h"
#include "shell/services.h"

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

// Start-up's note steps, from the notes loaded to the visible ones shown.
static Stopwatch NoteStepsClock;
static double NoteStepsMs;

static void TimeNoteSteps(const char* step)
{
    if (strcmp(step, "clean_up_saves") == 0) NoteStepsClock.restart();
    if (strcmp(step, "show_notes") == 0) NoteStepsMs = NoteStepsClock.elapsedMs();
}

// A fresh start with generated notes (100 visible), its note steps timed
// into NoteStepsMs.
static bool StartTimedWithNotes(HINSTANCE instance, int records)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    StepHook = TimeNoteSteps;
    bool started = StartUpWithNotes(instance, records, BENCH_VISIBLE_NOTES);
    StepHook = nullptr;
    return started && CountNotes() == records && CountWindowedNotes() == BENCH_VISIBLE_NOTES;
}

static int MeasureStartWithNotes(HINSTANCE instance, int records)
{
    if (!StartTimedWithNotes(instance, records)) return 1;
    PumpPending();
    if (records == BENCH_VISIBLE_NOTES) PrintResult("notes100_ms", NoteStepsMs);
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

// Marks the first `count` open notes' editors as changed, so that a save
// writes their texts.
static void ChangeOpenNotes(int count)
{
    for (NoteRecord* note = NoteList.head; note && count > 0; note = note->next)
        if (note->editor) {
            SendMessageA(note->editor, EM_SETMODIFY, TRUE, 0);
            count--;
        }
}

// The open notes' editors streamed out to temporary files, flushed and moved
// into place, without an index: the floor of a save.
static bool WriteFloorTexts(int count)
{
    for (NoteRecord* note = NoteList.head; note && count > 0; note = note->next) {
        if (!note->editor) continue;
        char path[MAX_PATH];
        if (!DataFolderPath(note->fileName, path, sizeof path) || !SaveRtfSafely(note->editor, path)) return false;
        count--;
    }
    return true;
}

static bool IndexHolds(int records)
{
    WIN32_FILE_ATTRIBUTE_DATA index;
    char path[MAX_PATH];
    return DataFolderPath(NOTE_INDEX_FILE, path, sizeof path) &&
           GetFileAttributesExA(path, GetFileExInfoStandard, &index) &&
           index.nFileSizeLow == records * sizeof(NoteIndexRecord);
}

// SaveNotes with `changed` of the open notes changed, and its floor, the
// same editors written without an index, turn by turn: a busy disk then
// weighs on both alike.
static bool MeasureSaveOf(int runs, int changed, const char* figure)
{
    for (int run = -1; run < runs; run++) {
        ChangeOpenNotes(changed);
        Stopwatch clock;
        int saved = SaveNotes();
        double ms = clock.elapsedMs();
        if (!saved) return false;
        PumpPending();
        clock.restart();
        if (!WriteFloorTexts(changed)) return false;
        double floorMs = clock.elapsedMs();
        PumpPending();
        if (run < 0) continue;
        PrintResult(figure, ms);
        PrintResult((std::string("floor_") + figure).c_str(), floorMs);
    }
    return true;
}

static bool MeasureSave(int runs)
{
    if (!LoadGeneratedNotes(BENCH_VISIBLE_NOTES, BENCH_VISIBLE_NOTES) || !ShowVisibleNotes()) return false;
    PumpPending();
    if (!MeasureSaveOf(runs, BENCH_VISIBLE_NOTES, "save100_ms") || !MeasureSaveOf(runs, 1, "save1of100_ms") ||
        !IndexHolds(BENCH_VISIBLE_NOTES))
        return false;
    if (!LoadGeneratedNotes(1000, BENCH_VISIBLE_NOTES) || !ShowVisibleNotes()) return false;
    PumpPending();
    return MeasureSaveOf(runs, BENCH_VISIBLE_NOTES, "save1000_ms") && IndexHolds(1000);
}

// The tray's "Alle Notes anzeigen" with 100 hidden notes, and its floor:
// 100 tool windows with an editor each, filled from the same files.
static bool MeasureShowAll(int runs)
{
    if (!LoadGeneratedNotes(BENCH_VISIBLE_NOTES, 0)) return false;
    for (int run = -1; run < runs; run++) {
        Stopwatch clock;
        RunTrayCommand(IDM_TRAY_SHOW_ALL);
        double ms = clock.elapsedMs();
        if (CountWindowedNotes() != BENCH_VISIBLE_NOTES) return false;
        PumpPending();
        for (NoteRecord* note = NoteList.head; note; note = note->next) {
            DestroyNoteWindow(note);
            note->visible = 0;
        }
        PumpPending();
        clock.restart();
        std::vector<FloorNote> floor = MakeFloorNotes(BenchDataFolder(), BENCH_VISIBLE_NOTES);
        double floorMs = clock.elapsedMs();
        bool made = AllFloorNotesMade(floor);
        DestroyFloorNotes(&floor);
        if (!made) return false;
        if (run < 0) continue;
        PrintResult("showall_ms", ms);
        PrintResult("floor_showall_ms", floorMs);
    }
    return true;
}

static double FillAndPaint(HWND listView)
{
    Stopwatch clock;
    FillNoteList(listView);
    UpdateWindow(listView);
    return clock.elapsedMs();
}

// FillNoteList of 1,000 notes in the open list, painted, and its floor: a
// bare list view of the same style and size filled with the same rows.
static bool MeasureNoteList(int runs)
{
    if (!LoadGeneratedNotes(1000, BENCH_VISIBLE_NOTES)) return false;
    OpenNoteList(hMainDialog);
    PumpPending();
    HWND listView = GetDlgItem(hNoteListDialog, IDC_LIST_VIEW);
    RECT place;
    if (!listView || !GetWindowRect(listView, &place)) return false;
    std::vector<std::vector<std::string>> rows;
    int position = 0;
    for (NoteRecord* note = NoteList.head; note; note = note->next, position++) {
        char texts[NOTE_LIST_COLUMNS][ROW_TEXT_SIZE];
        FormatNoteListRow(*note, position, texts);
        rows.emplace_back(texts, texts + NOTE_LIST_COLUMNS);
    }
    HWND floorList = MakeFloorList(place, NOTE_LIST_COLUMNS);
    if (!floorList) return false;
    for (int run = -1; run < runs; run++) {
        double ms = FillAndPaint(listView);
        PumpPending();
        Stopwatch clock;
        FillFloorList(floorList, rows);
        double floorMs = clock.elapsedMs();
        PumpPending();
        if (run < 0) continue;
        PrintResult("notelist_ms", ms);
        PrintResult("floor_notelist_ms", floorMs);
    }
    bool filled = SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0) == 1000 &&
                  SendMessageA(floorList, LVM_GETITEMCOUNT, 0, 0) == 1000;
    DestroyWindow(GetParent(floorList));
    DestroyWindow(hNoteListDialog);
    PumpPending();
    return filled;
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
        for (int tick = 0; tick < IDLE_TICKS_PER_RUN; tick++)
            DispatchFromMainLoop(MSG{ hMainDialog, WM_TIMER, MAIN_TIMER_ID, 0, GetTickCount() });
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
    bool measured = MeasureCreateNote(runs) && MeasureSave(runs) && MeasureShowAll(runs) &&
                    MeasureNoteList(runs) && MeasureLoad(runs) && MeasureAlarmPass(runs) && MeasureIdleTick(runs);
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

// The figures that grow with the number of notes, all of one process, so
// that 1,000 and 10,000 notes compare like for like.
static int MeasureScale(HINSTANCE instance, int records, int runs)
{
    if (!StartTimedWithNotes(instance, records)) return 1;
    SilenceSounds();
    PumpPending();
    std::string prefix = "scale" + std::to_string(records);
    PrintResult((prefix + "_start_ms").c_str(), NoteStepsMs);
    PrintResult((prefix + "_gdi").c_str(), GdiObjectCount());
    if (!MeasureSaveOf(runs, 1, (prefix + "_save1_ms").c_str()) || !IndexHolds(records)) return 1;
    OpenNoteList(hMainDialog);
    PumpPending();
    HWND listView = GetDlgItem(hNoteListDialog, IDC_LIST_VIEW);
    if (!listView) return 1;
    for (int run = -1; run < runs; run++) {
        double ms = FillAndPaint(listView);
        PumpPending();
        if (run >= 0) PrintResult((prefix + "_notelist_ms").c_str(), ms);
    }
    if (SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0) != records) return 1;
    DestroyWindow(hNoteListDialog);
    PumpPending();
    PrintPeakMemory(prefix.c_str());
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
    if (strcmp(argv[1], "scale") == 0) return MeasureScale(instance, count, argc > 3 ? atoi(argv[3]) : 5);
    if (strcmp(argv[1], "settings") == 0) return PrepareLaunchSettings();
    return 2;
}
