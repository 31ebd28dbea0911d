// The floors of the note windows: plain tool windows with a rich-edit child
// each, made, filled and saved with nothing else around them.
//   floor_notes start <notes in note.dat>   100 windows streaming the files in
//                                           (timed), then the peak memory
//   floor_notes repeat <runs>               one new window; saving 100 windows
//   floor_notes profile <runs>              the steps of making one window
//                                           (per window) and 100 (summed)
#include <windows.h>
#include <richedit.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "bench/bench_common.h"

#define FLOOR_VISIBLE_NOTES 100

// ---- Module state ---------------------------------------------------------
static const char* const FloorClass = "benchFloorNote";
// A popup with a sizing border: a note's window without a caption for the
// system to paint (the program paints its own title bar instead).
static const DWORD FloorWindowStyle = WS_POPUP | WS_THICKFRAME;
static const DWORD FloorEditorStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL;

struct FloorNote {
    HWND window;
    HWND editor;
    std::string path;
};

static void OnSize(HWND window, int width, int height)
{
    HWND editor = GetWindow(window, GW_CHILD);
    if (editor) MoveWindow(editor, 0, 0, width, height, TRUE);
}

static LRESULT CALLBACK FloorNoteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        OnSize(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

static bool SetUp()
{
    if (!LoadRichEdit()) return false;
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = FloorNoteProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = FloorClass;
    return RegisterClassA(&wc) != 0;
}

// The steps of making windows, summed, when profiling.
struct WindowSteps {
    double window = 0, editor = 0, text = 0, show = 0;
};

static void Lap(Stopwatch* clock, double* sum)
{
    *sum += clock->elapsedUs();
    clock->restart();
}

// A tool window with its editor, filled from `path` when one is given.
static FloorNote MakeFloorNote(const RECT& place, const char* path, WindowSteps* steps = NULL)
{
    WindowSteps ignored;
    if (!steps) steps = &ignored;
    Stopwatch clock;
    FloorNote note = { NULL, NULL, path ? path : "" };
    note.window = CreateWindowExA(WS_EX_TOOLWINDOW, FloorClass, "Floor", FloorWindowStyle, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    if (!note.window) return note;
    Lap(&clock, &steps->window);
    RECT client;
    GetClientRect(note.window, &client);
    note.editor = CreateWindowExA(0, "RICHEDIT", "", FloorEditorStyle, 0, 0, client.right, client.bottom,
                                  note.window, NULL, GetModuleHandleA(NULL), NULL);
    if (!note.editor) return note;
    SendMessageA(note.editor, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    Lap(&clock, &steps->editor);
    if (path) StreamRtfIn(note.editor, path);
    Lap(&clock, &steps->text);
    ShowWindow(note.window, SW_SHOW);
    UpdateWindow(note.window);
    Lap(&clock, &steps->show);
    return note;
}

static std::vector<FloorNote> MakeVisibleNotes(const std::string& folder, WindowSteps* steps = NULL)
{
    std::vector<FloorNote> notes;
    for (int i = 0; i < FLOOR_VISIBLE_NOTES; i++) {
        std::string path = folder + "\\" + NoteContentName(i);
        notes.push_back(MakeFloorNote(NotePlace(i), path.c_str(), steps));
    }
    return notes;
}

static void DestroyNotes(std::vector<FloorNote>* notes)
{
    for (FloorNote& note : *notes) DestroyWindow(note.window);
    notes->clear();
    PumpPending();
}

static bool AllMade(const std::vector<FloorNote>& notes)
{
    for (const FloorNote& note : notes)
        if (!note.window || !note.editor) return false;
    return true;
}

static std::vector<char> ReadIndex(const std::string& folder)
{
    std::vector<char> bytes;
    HANDLE file = CreateFileA((folder + "\\note.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, NULL));
    DWORD count = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, NULL)) bytes.clear();
    CloseHandle(file);
    return bytes;
}

// ---- The figures --------------------------------------------------------------
static int MeasureStart(int records)
{
    std::string folder = MakeScratchFolder("floor-start");
    if (!WriteNoteFolder(folder, records, FLOOR_VISIBLE_NOTES)) return 1;
    Stopwatch clock;
    std::vector<FloorNote> notes = MakeVisibleNotes(folder);
    double ms = clock.elapsedMs();
    if (!AllMade(notes)) return 1;
    std::vector<char> index = ReadIndex(folder);
    PumpPending();
    if (records == FLOOR_VISIBLE_NOTES) PrintResult("notes100_ms", ms);
    char prefix[32];
    wsprintfA(prefix, "mem%d", records);
    PrintPeakMemory(prefix);
    DestroyNotes(&notes);
    RemoveFolder(folder);
    return 0;
}

static void PrintSteps(const char* area, const WindowSteps& steps, int count, bool withText)
{
    std::string prefix = std::string("prof_") + area + "_";
    PrintResult((prefix + "create_window_us").c_str(), steps.window / count);
    PrintResult((prefix + "create_editor_us").c_str(), steps.editor / count);
    if (withText) PrintResult((prefix + "stream_in_us").c_str(), steps.text / count);
    PrintResult((prefix + "show_window_us").c_str(), steps.show / count);
}

static RECT NewNotePlace()
{
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT place = { work.right - BENCH_NOTE_WIDTH - 30, work.bottom - BENCH_NOTE_HEIGHT - 30,
                   work.right - 30, work.bottom - 30 };
    return place;
}

static int ProfileStart(int runs)
{
    WindowSteps single;
    for (int run = -1; run < runs; run++) {
        WindowSteps ignored;
        FloorNote note = MakeFloorNote(NewNotePlace(), NULL, run >= 0 ? &single : &ignored);
        if (!note.editor) return 1;
        DestroyWindow(note.window);
        PumpPending();
    }
    PrintSteps("floor_create", single, runs, false);
    std::string folder = MakeScratchFolder("floor-profile");
    if (!WriteNoteFolder(folder, FLOOR_VISIBLE_NOTES, FLOOR_VISIBLE_NOTES)) return 1;
    WindowSteps steps;
    std::vector<FloorNote> notes = MakeVisibleNotes(folder, &steps);
    if (!AllMade(notes)) return 1;
    PrintSteps("floor_notes", steps, 1, true);
    DestroyNotes(&notes);
    RemoveFolder(folder);
    return 0;
}

static int MeasureNewWindow(int runs)
{
    RECT place = NewNotePlace();
    for (int run = -1; run < runs; run++) {
        Stopwatch clock;
        FloorNote note = MakeFloorNote(place, NULL);
        double ms = clock.elapsedMs();
        if (!note.editor) return 1;
        DestroyWindow(note.window);
        PumpPending();
        // The first window pays for the class's first use; it is not counted.
        if (run >= 0) PrintResult("createnote_ms", ms);
    }
    return 0;
}

static int MeasureSave(int runs)
{
    std::string folder = MakeScratchFolder("floor-save");
    if (!WriteNoteFolder(folder, FLOOR_VISIBLE_NOTES, FLOOR_VISIBLE_NOTES)) return 1;
    std::vector<FloorNote> notes = MakeVisibleNotes(folder);
    if (!AllMade(notes)) return 1;
    PumpPending();
    for (int run = -1; run < runs; run++) {
        Stopwatch clock;
        for (const FloorNote& note : notes)
            if (!SaveRtfSafely(note.editor, note.path.c_str())) return 1;
        double ms = clock.elapsedMs();
        PumpPending();
        if (run >= 0) PrintResult("save100_ms", ms);
    }
    DestroyNotes(&notes);
    RemoveFolder(folder);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 3 || !SetUp()) return 2;
    int count = atoi(argv[2]);
    if (strcmp(argv[1], "start") == 0) return MeasureStart(count);
    if (strcmp(argv[1], "profile") == 0) return ProfileStart(count);
    if (strcmp(argv[1], "repeat") == 0) {
        int failed = MeasureNewWindow(count);
        return failed ? failed : MeasureSave(count);
    }
    return 2;
}
