// The floor of loading the index: the same "note.dat" of 1,000 records read
// into memory in one piece, nothing decoded.
//   floor_read <runs>
#include <windows.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include "bench/bench_common.h"

static bool ReadWholeFile(const std::string& path, std::vector<char>* bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD size = GetFileSize(file, NULL);
    bytes->resize(size);
    DWORD count = 0;
    bool whole = ReadFile(file, bytes->data(), size, &count, NULL) && count == size;
    CloseHandle(file);
    return whole;
}

int main(int argc, char** argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 11;
    std::string folder = MakeScratchFolder("read");
    if (!WriteNoteFolder(folder, 1000, 100)) return 1;
    std::string index = folder + "\\note.dat";
    std::vector<char> first;
    // The first read pays for opening the folder; it is not counted.
    if (!ReadWholeFile(index, &first)) return 1;
    for (int run = 0; run < runs; run++) {
        std::vector<char> bytes;
        Stopwatch clock;
        bool read = ReadWholeFile(index, &bytes);
        double ms = clock.elapsedMs();
        if (!read) return 1;
        PrintResult("load1000_ms", ms);
    }
    RemoveFolder(folder);
    return 0;
}
