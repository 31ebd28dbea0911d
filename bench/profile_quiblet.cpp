// Where the program's time goes: the steps of start-up, of making a note
// window and of a save, timed one by one. Start-up and MakeNoteWindow are
// the program's own code, timed between the steps they pass (PassStep); the
// other areas time the program's functions beside their parts done alone.
//   profile_quiblet startup   the steps of start-up to the tray icon
//   profile_quiblet notes     the same with 100 notes shown, the window
//                             steps summed over the notes
//   profile_quiblet create    the steps of CreateNote, per note
//   profile_quiblet save      the parts of SaveNotes with 100 open notes,
//                             one of them changed
//   profile_quiblet load      the parts of LoadNotes of 1,000 records
//   profile_quiblet idle      the parts of an idle timer tick, 1,000 notes
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include <string.h>
#include <string>
#include <vector>
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
#include "shell/services.h"

// ---- The program's own steps (PassStep), summed by name ----------------------
static std::vector<std::pair<std::string, double>> StepSums;   // in the order first passed
static Stopwatch StepLap;

static void SumStep(const char* step)
{
    double us = StepLap.elapsedUs();
    StepLap.restart();
    for (auto& sum : StepSums)
        if (sum.first == step) {
            sum.second += us;
            return;
        }
    StepSums.emplace_back(step, us);
}

// The time up to each step counts from here.
static void TimeSteps()
{
    StepLap.restart();
    StepHook = SumStep;
}

// Each step's sum divided by `count`, as "prof_<area>_<step>_us".
static void PrintSteps(const char* area, int count)
{
    StepHook = nullptr;
    for (const auto& sum : StepSums)
        PrintResult(("prof_" + std::string(area) + "_" + sum.first + "_us").c_str(), sum.second / count);
    StepSums.clear();
}

// Start-up to the tray icon with no notes, then with 100 visible notes (the
// steps of MakeNoteWindow summed over the notes).
static int ProfileStartUp(HINSTANCE instance, int notes, const char* area)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    if (SetUpDataFolder() != DataFolderReady || (notes > 0 && !WriteNoteFolder(BenchDataFolder(), notes, notes))) return 1;
    TimeSteps();
    if (!StartUp(instance)) return 1;
    PrintSteps(area, 1);
    ShutDown();
    return 0;
}

// CreateNote's steps (the record, then MakeNoteWindow's), per new note.
static int ProfileCreateNote(HINSTANCE instance, int runs)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    if (!StartUp(instance)) return 1;
    SilenceSounds();
    for (int run = -1; run < runs; run++) {
        // The first note pays for the class's first use; it is not counted.
        if (run >= 0) TimeSteps();
        if (!CreateNote()) return 1;
        StepHook = nullptr;
        HWND window = NoteList.head->window;
        DeleteNote(window);
        DestroyWindow(window);
        PumpPending();
    }
    PrintSteps("create", runs);
    ShutDown();
    return 0;
}

// SaveNotes with 100 open notes, none or one changed, beside its parts
// done alone: asking the editors, the index and one text written.
static int ProfileSave(HINSTANCE instance)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    if (!StartUp(instance)) return 1;
    SilenceSounds();
    if (!LoadGeneratedNotes(BENCH_VISIBLE_NOTES, BENCH_VISIBLE_NOTES) || !ShowVisibleNotes()) return 1;
    PumpPending();
    SaveNotes();
    NoteRecord* first = NoteList.head;
    char path[MAX_PATH];
    if (!DataFolderPath(first->fileName, path, sizeof path)) return 1;
    for (int round = 0; round < 5; round++) {
        SendMessageA(first->editor, EM_SETMODIFY, TRUE, 0);
        Stopwatch clock;
        SaveNotes();
        PrintResult("prof_save_save_notes_one_changed_us", clock.elapsedUs());
        clock.restart();
        SaveNotes();
        PrintResult("prof_save_save_notes_none_changed_us", clock.elapsedUs());
        clock.restart();
        LRESULT modified = 0;
        for (NoteRecord* note = NoteList.head; note; note = note->next)
            modified |= SendMessageA(note->editor, EM_GETMODIFY, 0, 0);
        PrintResult("prof_save_ask_100_editors_modified_us", clock.elapsedUs() + modified);
        clock.restart();
        SaveNoteText(first, first->editor);
        PrintResult("prof_save_save_note_text_one_us", clock.elapsedUs());
        clock.restart();
        SaveRtfSafely(first->editor, path);
        PrintResult("prof_save_floor_routine_one_us", clock.elapsedUs());
    }
    ShutDown();
    return 0;
}

// LoadNotes of 1,000 records beside its kinds of work done alone: reading
// the file, decoding, allocating the records and a brush per record.
static int ProfileLoad(HINSTANCE instance)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    if (!StartUp(instance)) return 1;
    if (!LoadGeneratedNotes(1000, BENCH_VISIBLE_NOTES)) return 1;
    char path[MAX_PATH];
    if (!DataFolderPath(NOTE_INDEX_FILE, path, sizeof path)) return 1;
    static NoteIndexRecord records[1000];
    for (int round = 0; round < 5; round++) {
        FreeNotes();
        Stopwatch clock;
        LoadNotes();
        PrintResult("prof_load_load_notes_us", clock.elapsedUs());
        clock.restart();
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD count = 0;
        ReadFile(file, records, sizeof records, &count, NULL);
        CloseHandle(file);
        PrintResult("prof_load_open_and_read_in_one_piece_us", clock.elapsedUs());
        NoteRecord decoded;
        clock.restart();
        SIZE screen = ScreenSize();
        for (int i = 0; i < 1000; i++) DecodeIndexRecord(records[i], &decoded, screen);
        PrintResult("prof_load_decoding_1000_records_us", clock.elapsedUs());
        std::vector<NoteRecord*> made;
        clock.restart();
        for (int i = 0; i < 1000; i++) made.push_back(new NoteRecord());
        for (NoteRecord* note : made) delete note;
        PrintResult("prof_load_1000_records_allocated_and_freed_us", clock.elapsedUs());
        clock.restart();
        for (NoteRecord* note = NoteList.head; note; note = note->next) DeleteObject(CreateSolidBrush(note->backColor));
        PrintResult("prof_load_a_brush_per_record_made_and_deleted_us", clock.elapsedUs());
    }
    ShutDown();
    return 0;
}

// The parts of an idle tick with 1,000 notes, 100 open: each timed over
// 100 repetitions, per repetition.
static int ProfileIdleTick(HINSTANCE instance)
{
    const int repetitions = 100;
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    if (!StartUp(instance)) return 1;
    SilenceSounds();
    if (!LoadGeneratedNotes(1000, BENCH_VISIBLE_NOTES) || !ShowVisibleNotes() || !SaveNotes()) return 1;
    PumpPending();
    AlarmsOn = 1;
    Stopwatch clock;
    for (int i = 0; i < repetitions; i++) CheckAlarms();
    PrintResult("prof_idle_alarm_pass_us", clock.elapsedUs() / repetitions);
    clock.restart();
    uint64_t print = 0;
    for (int i = 0; i < repetitions; i++) print ^= IndexFingerprint();
    PrintResult("prof_idle_index_fingerprint_us", clock.elapsedUs() / repetitions);
    clock.restart();
    LRESULT modified = 0;
    for (int i = 0; i < repetitions; i++)
        for (NoteRecord* note = NoteList.head; note; note = note->next)
            if (note->editor) modified |= SendMessageA(note->editor, EM_GETMODIFY, 0, 0);
    PrintResult("prof_idle_ask_100_editors_modified_us", clock.elapsedUs() / repetitions);
    ShutDown();
    return print == 1 && modified ? 1 : 0;
}

int main(int argc, char** argv)
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    hInstance = instance;
    if (argc < 2) return 2;
    if (strcmp(argv[1], "startup") == 0) return ProfileStartUp(instance, 0, "startup");
    if (strcmp(argv[1], "notes") == 0) return ProfileStartUp(instance, BENCH_VISIBLE_NOTES, "notes");
    if (strcmp(argv[1], "create") == 0) return ProfileCreateNote(instance, 11);
    if (strcmp(argv[1], "save") == 0) return ProfileSave(instance);
    if (strcmp(argv[1], "idle") == 0) return ProfileIdleTick(instance);
    if (strcmp(argv[1], "load") == 0) return ProfileLoad(instance);
    return 2;
}
