// The floor's note windows and files: what any program must do to show a
// rich-edit window and keep its text, and nothing more. Shared by the floor
// program of the start-up figures and by the in-process figures, whose
// floors run in the same process as the program, turn by turn.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct FloorNote {
    HWND window;
    HWND editor;
    std::string path;
};

// The steps of making windows, summed, when profiling.
struct FloorWindowSteps {
    double window = 0, editor = 0, text = 0, show = 0;
};

// Loads the rich-edit library and registers the floor's window class.
bool SetUpFloorWindows();
// A tool window with its editor, filled from `path` when one is given,
// shown and painted.
FloorNote MakeFloorNote(const RECT& place, const char* path, FloorWindowSteps* steps = NULL);
// One window per generated note (the first 100), filled from `folder`.
std::vector<FloorNote> MakeFloorNotes(const std::string& folder, int count, FloorWindowSteps* steps = NULL);
bool AllFloorNotesMade(const std::vector<FloorNote>& notes);
void DestroyFloorNotes(std::vector<FloorNote>* notes);
// Where a new note goes: the lower right corner of the work area.
RECT NewFloorNotePlace();

// Streams an RTF file into a rich-edit control; true when the file opened.
bool StreamRtfIn(HWND editor, const char* path);
// Streams a rich-edit control out as RTF into a temporary file beside
// `path`, flushes it and moves it into place.
bool SaveRtfSafely(HWND editor, const char* path);

// A bare list view of the note list's style and size with `columns`
// columns, in a window of its own, shown.
HWND MakeFloorList(const RECT& listRect, int columns);
// Fills it with the rows' texts, redrawing once, and paints it.
void FillFloorList(HWND list, const std::vector<std::vector<std::string>>& rows);
