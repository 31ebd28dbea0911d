// The floor of start-up with notes: plain tool windows with a rich-edit
// child each, the generated files streamed in, shown, nothing else around.
//   floor_notes start <notes in note.dat>   100 windows (timed), then the
//                                           peak memory with the index read
//   floor_notes profile <runs>              the steps of making one window
//                                           (per window) and 100 (summed)
#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "bench/bench_common.h"
#include "bench/floor_window.h"

#define FLOOR_VISIBLE_NOTES 100

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

static int MeasureStart(int records)
{
    std::string folder = MakeScratchFolder("floor-start");
    if (!WriteNoteFolder(folder, records, FLOOR_VISIBLE_NOTES)) return 1;
    Stopwatch clock;
    std::vector<FloorNote> notes = MakeFloorNotes(folder, FLOOR_VISIBLE_NOTES);
    double ms = clock.elapsedMs();
    if (!AllFloorNotesMade(notes)) return 1;
    // The records stay in memory, as the program's do.
    std::vector<char> index = ReadIndex(folder);
    PumpPending();
    if (records == FLOOR_VISIBLE_NOTES) PrintResult("notes100_ms", ms);
    char prefix[32];
    wsprintfA(prefix, "mem%d", records);
    PrintPeakMemory(prefix);
    DestroyFloorNotes(&notes);
    RemoveFolder(folder);
    return 0;
}

static void PrintSteps(const char* area, const FloorWindowSteps& steps, int count, bool withText)
{
    std::string prefix = std::string("prof_") + area + "_";
    PrintResult((prefix + "create_window_us").c_str(), steps.window / count);
    PrintResult((prefix + "create_editor_us").c_str(), steps.editor / count);
    if (withText) PrintResult((prefix + "stream_in_us").c_str(), steps.text / count);
    PrintResult((prefix + "show_window_us").c_str(), steps.show / count);
}

static int ProfileWindows(int runs)
{
    FloorWindowSteps single;
    for (int run = -1; run < runs; run++) {
        // The first window pays for the class's first use; it is not counted.
        FloorWindowSteps ignored;
        FloorNote note = MakeFloorNote(NewFloorNotePlace(), NULL, run >= 0 ? &single : &ignored);
        if (!note.editor) return 1;
        DestroyWindow(note.window);
        PumpPending();
    }
    PrintSteps("floor_create", single, runs, false);
    std::string folder = MakeScratchFolder("floor-profile");
    if (!WriteNoteFolder(folder, FLOOR_VISIBLE_NOTES, FLOOR_VISIBLE_NOTES)) return 1;
    FloorWindowSteps steps;
    std::vector<FloorNote> notes = MakeFloorNotes(folder, FLOOR_VISIBLE_NOTES, &steps);
    if (!AllFloorNotesMade(notes)) return 1;
    PrintSteps("floor_notes", steps, 1, true);
    DestroyFloorNotes(&notes);
    RemoveFolder(folder);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 3 || !SetUpFloorWindows()) return 2;
    int count = atoi(argv[2]);
    if (strcmp(argv[1], "start") == 0) return MeasureStart(count);
    if (strcmp(argv[1], "profile") == 0) return ProfileWindows(count);
    return 2;
}
