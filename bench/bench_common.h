// What the benchmark programs share: a stopwatch, the result lines the
// driver reads, memory and object counts, and the generated note folders
// that the program and its floors both work on.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "testing/gdi_count.h"
#include "testing/message_pump.h"

// Result lines on stdout, one value each: "RESULT <figure> <value>".
void PrintResult(const char* figure, double value);

class Stopwatch {
public:
    Stopwatch();
    void restart();
    double elapsedMs() const;
    double elapsedUs() const;
private:
    LARGE_INTEGER start_;
};

// Times steps one after another; each is printed as
// "RESULT prof_<area>_<step>_us".
class StepClock {
public:
    explicit StepClock(const char* area) : area_(area) {}
    void step(const char* name);
private:
    std::string area_;
    Stopwatch clock_;
};

// Peak working set and peak committed private memory of this process, KiB.
struct PeakMemory {
    double workingSetKb;
    double pagefileKb;
};
PeakMemory ReadPeakMemory();
void PrintPeakMemory(const char* figurePrefix);

// USER objects as GetGuiResources counts them, or the windows of this
// process where Wine answers 0.
int CountUserObjects();
// Open kernel handles (files, events, keys...) of this process.
int CountKernelHandles();

// A fresh, empty folder under the temporary folder; removed with its files.
std::string MakeScratchFolder(const char* tag);
void RemoveFolder(const std::string& folder);

// The generated notes. Note i has about 2 KB of formatted RTF in its content
// file, the default size, a place on a 10 x 10 grid, one of the swatch
// colours and an alarm armed for a minute next year (so none is due).
#define BENCH_NOTE_WIDTH   180
#define BENCH_NOTE_HEIGHT  200
std::string NoteRtf(int index);
std::string NoteContentName(int index);
RECT NotePlace(int index);
// Writes "note.dat" with `count` records (the first `visible` shown) and
// the content files of all of them into `folder`. False on a write error.
bool WriteNoteFolder(const std::string& folder, int count, int visible);

// Loads MSFTEDIT.DLL, the note editor's library, once per process and returns it.
HMODULE LoadRichEdit();

