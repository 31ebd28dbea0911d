// Where the program's time goes: the steps of start-up, of making a note
// window and of a save, timed one by one. The steps are the program's own
// calls in the program's order; where a function of the program does
// several of them (InitApplication, MakeNoteWindow) its body is followed
// here step by step, so these figures explain the table's and do not
// replace them.
//   profile_quiblet startup   the steps of start-up to the tray icon
//   profile_quiblet notes     the steps of showing 100 notes
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

static int ProfileStartUp(HINSTANCE instance)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    StepClock clock("startup");
    if (!SetUpDataFolder()) return 1;
    clock.step("data_folder");
    InitCommonControls();
    clock.step("common_controls");
    hRichEditLib = LoadLibraryA("RICHED32.DLL");
    clock.step("riched32");
    // InitApplication, step by step.
    hTrayIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRAY));
    hKillIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KILL));
    hMenuIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MENU));
    hHideIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_HIDE));
    hAlarmIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ALARM));
    clock.step("icons");
    LoadSettings();
    SeedRunTimeSwitches();
    clock.step("settings");
    hMainMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    hNotesMenu = GetSubMenu(hMainMenu, MENU_POS_NOTES);
    hTaskBarMenu = GetSubMenu(hMainMenu, MENU_POS_TASKBAR);
    hCommandMenu = GetSubMenu(hMainMenu, MENU_POS_COMMAND);
    clock.step("menus");
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = NoteWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = NoteWindowClass;
    RegisterClassA(&wc);
    clock.step("note_class");
    // InitInstance, step by step.
    hMainDialog = CreateMainDialog(instance);
    clock.step("main_dialog");
    CleanUpInterruptedSaves();
    clock.step("clean_up_saves");
    LoadNotes();
    clock.step("load_notes");
    ResetAutosave();
    TrayIconPending = 0;
    SetTrayIcon(hMainDialog, TrayAdd);
    clock.step("tray_icon");
    CheckAlarmsAtStartup();
    clock.step("startup_alarms");
    ShutDown();
    return 0;
}

// MakeNoteWindow's steps, summed over the visible notes.
struct WindowSteps {
    double place = 0, window = 0, editor = 0, setUp = 0, text = 0, show = 0, front = 0;
};

static bool MakeNoteWindowInSteps(NoteRecord* note, WindowSteps* steps)
{
    Stopwatch clock;
    KeepNoteOnScreen(note);
    steps->place += clock.elapsedUs(); clock.restart();
    DWORD exStyle = NotesOnTop == 1 ? WS_EX_TOOLWINDOW | WS_EX_TOPMOST : WS_EX_TOOLWINDOW;
    note->window = CreateWindowExA(exStyle, NoteWindowClass, NOTE_WINDOW_TITLE, WS_THICKFRAME, note->left, note->top,
                                   note->width, note->height, NULL, NULL, hInstance, note);
    steps->window += clock.elapsedUs(); clock.restart();
    if (!note->window) return false;
    RECT client;
    GetClientRect(note->window, &client);
    note->editor = CreateWindowExA(0, NOTE_EDITOR_CLASS, "", NOTE_EDITOR_STYLE | WS_VISIBLE, 0, 0, client.right,
                                   client.bottom, note->window, NULL, hInstance, NULL);
    steps->editor += clock.elapsedUs(); clock.restart();
    if (!note->editor) return false;
    SetUpNoteEditor(note->editor, note->backColor);
    steps->setUp += clock.elapsedUs(); clock.restart();
    note->textSaved = LoadNoteText(note, note->editor);
    steps->text += clock.elapsedUs(); clock.restart();
    ShowWindow(note->window, SW_SHOW);
    UpdateWindow(note->window);
    steps->show += clock.elapsedUs(); clock.restart();
    SetForegroundWindow(note->window);
    steps->front += clock.elapsedUs();
    return true;
}

static int ProfileNotes(HINSTANCE instance)
{
    UseOwnSettingsKey();
    EnterFreshStartFolder();
    if (!StartUpToNotes(instance) || !WriteNoteFolder(DataFolder, BENCH_VISIBLE_NOTES, BENCH_VISIBLE_NOTES)) return 1;
    Stopwatch clock;
    LoadNotes();
    PrintResult("prof_notes_load_notes_us", clock.elapsedUs());
    WindowSteps steps;
    for (NoteRecord* note = NoteList.head; note; note = note->next)
        if (note->visible == 1 && !MakeNoteWindowInSteps(note, &steps)) return 1;
    PrintResult("prof_notes_keep_on_screen_us", steps.place);
    PrintResult("prof_notes_create_window_us", steps.window);
    PrintResult("prof_notes_create_editor_us", steps.editor);
    PrintResult("prof_notes_set_up_editor_us", steps.setUp);
    PrintResult("prof_notes_stream_in_us", steps.text);
    PrintResult("prof_notes_show_window_us", steps.show);
    PrintResult("prof_notes_foreground_us", steps.front);
    FinishStartUp();
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
    double recordUs = 0;
    WindowSteps steps;
    for (int run = -1; run < runs; run++) {
        // The first note pays for the class's first use; it is not counted.
        WindowSteps ignored;
        WindowSteps* counted = run >= 0 ? &steps : &ignored;
        Stopwatch clock;
        NoteRecord* note = NewNoteRecord();
        if (!note) return 1;
        PushNoteFront(note);
        if (run >= 0) recordUs += clock.elapsedUs();
        if (!MakeNoteWindowInSteps(note, counted)) return 1;
        HWND window = note->window;
        DeleteNote(window);
        DestroyWindow(window);
        PumpPending();
    }
    PrintResult("prof_create_new_record_us", recordUs / runs);
    PrintResult("prof_create_keep_on_screen_us", steps.place / runs);
    PrintResult("prof_create_create_window_us", steps.window / runs);
    PrintResult("prof_create_create_editor_us", steps.editor / runs);
    PrintResult("prof_create_set_up_editor_us", steps.setUp / runs);
    PrintResult("prof_create_show_window_us", steps.show / runs);
    PrintResult("prof_create_foreground_us", steps.front / runs);
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
        for (int i = 0; i < 1000; i++) DecodeIndexRecord(records[i], &decoded);
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
    if (strcmp(argv[1], "startup") == 0) return ProfileStartUp(instance);
    if (strcmp(argv[1], "notes") == 0) return ProfileNotes(instance);
    if (strcmp(argv[1], "create") == 0) return ProfileCreateNote(instance, 11);
    if (strcmp(argv[1], "save") == 0) return ProfileSave(instance);
    if (strcmp(argv[1], "idle") == 0) return ProfileIdleTick(instance);
    if (strcmp(argv[1], "load") == 0) return ProfileLoad(instance);
    return 2;
}
