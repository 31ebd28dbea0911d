#include "bench/bench_common.h"
#include <psapi.h>
#include <richedit.h>
#include <stdio.h>
#include <string.h>
#include "notes/note_store.h"

void PrintResult(const char* figure, double value)
{
    printf("RESULT %s %.3f\n", figure, value);
    fflush(stdout);
}

// ---- Time ---------------------------------------------------------------------
static LARGE_INTEGER CounterFrequency()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    return frequency;
}

Stopwatch::Stopwatch() { restart(); }

void Stopwatch::restart() { QueryPerformanceCounter(&start_); }

double Stopwatch::elapsedUs() const
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start_.QuadPart) * 1e6 /
           static_cast<double>(CounterFrequency().QuadPart);
}

double Stopwatch::elapsedMs() const { return elapsedUs() / 1000.0; }

void StepClock::step(const char* name)
{
    PrintResult(("prof_" + area_ + "_" + name + "_us").c_str(), clock_.elapsedUs());
    clock_.restart();
}

// ---- Memory and objects -----------------------------------------------------
PeakMemory ReadPeakMemory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    PeakMemory peak = { 0, 0 };
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        peak.workingSetKb = counters.PeakWorkingSetSize / 1024.0;
        peak.pagefileKb = counters.PeakPagefileUsage / 1024.0;
    }
    return peak;
}

void PrintPeakMemory(const char* figurePrefix)
{
    PeakMemory peak = ReadPeakMemory();
    std::string prefix = figurePrefix;
    PrintResult((prefix + "_peak_ws_kb").c_str(), peak.workingSetKb);
    PrintResult((prefix + "_peak_commit_kb").c_str(), peak.pagefileKb);
}

static BOOL CALLBACK CountChild(HWND, LPARAM param)
{
    ++*reinterpret_cast<int*>(param);
    return TRUE;
}

static BOOL CALLBACK CountOwnWindow(HWND window, LPARAM param)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    ++*reinterpret_cast<int*>(param);
    EnumChildWindows(window, CountChild, param);
    return TRUE;
}

int CountUserObjects()
{
    int count = static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    if (count) return count;
    EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Wine answers GetProcessHandleCount with 0; its handles are small
// multiples of 4, so the open ones are found by asking each in turn.
static int ProbeKernelHandles()
{
    int count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) count++;
    }
    return count;
}

int CountKernelHandles()
{
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count ? static_cast<int>(count) : ProbeKernelHandles();
}

// ---- Folders ------------------------------------------------------------------
std::string MakeScratchFolder(const char* tag)
{
    static int counter;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char folder[MAX_PATH];
    wsprintfA(folder, "%squiblet-bench-%s-%lu-%d", temp, tag, GetCurrentProcessId(), ++counter);
    RemoveFolder(folder);
    CreateDirectoryA(folder, NULL);
    return folder;
}

void RemoveFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveFolder(path);
            else DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// ---- Generated notes ----------------------------------------------------------
std::string NoteRtf(int index)
{
    static const char* const paragraphs[] = {
        "\\pard\\ql\\f0\\fs20 Einkauf f\\'fcr das Wochenende: \\b Milch\\b0 , Brot, \\i K\\'e4se\\i0 , "
        "\\ul \\'c4pfel\\ulnone  und Kaffee. Nicht vergessen, die Flaschen zur\\'fcckzubringen.\\par\n",
        "\\pard\\qc\\f1\\fs24\\cf1 Termin beim Zahnarzt\\cf0\\fs20  am Dienstag um 9:30 Uhr, vorher "
        "\\strike das alte\\strike0  das neue Formular ausf\\'fcllen.\\par\n",
        "\\pard\\qr\\f2\\fs18 Telefon: 030 1234567 \\endash  R\\'fcckruf bis Freitag\\par\n",
        "\\pard\\ql\\f0\\fs20\\cf2 Projekt: \\b\\i Angebot pr\\'fcfen\\b0\\i0\\cf0 , Zahlen aus dem "
        "letzten Quartal \\'fcbernehmen, Gr\\'f6\\'dfe der Tabelle anpassen.\\par\n",
        "\\pard\\li360\\f0\\fs20\\bullet  Geschenk f\\'fcr Oma besorgen\\par\n"
        "\\pard\\li360\\bullet  \\ul Blumen gie\\'dfen\\ulnone  (Balkon und K\\'fcche)\\par\n",
        "\\pard\\ql\\f1\\fs22 Ein l\\'e4ngerer Gedanke, der hier nur steht, damit der Zettel "
        "etwas zu tragen hat: \\i Ordnung ist das halbe Leben\\i0 , sagt man.\\par\n",
    };
    const int count = sizeof paragraphs / sizeof paragraphs[0];
    char head[512];
    wsprintfA(head,
              "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031"
              "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\froman\\fcharset0 Times New Roman;}"
              "{\\f2\\fmodern\\fcharset0 Courier New;}}\n"
              "{\\colortbl ;\\red192\\green0\\blue0;\\red0\\green0\\blue160;}\n"
              "\\viewkind4\\uc1\\pard\\qc\\b\\f0\\fs24 Notiz %d\\b0\\fs20\\par\n",
              index + 1);
    std::string rtf = head;
    for (int i = 0; rtf.size() < 1990; i++) rtf += paragraphs[(index + i) % count];
    rtf += "}\n";
    return rtf;
}

std::string NoteContentName(int index)
{
    char name[NOTE_FILE_NAME_SIZE];
    wsprintfA(name, "%X%X.dat", 0x6D6A0000u + static_cast<unsigned>(index) * 0x9C41u, 0x1DA0F3Bu);
    return name;
}

RECT NotePlace(int index)
{
    int slot = index % 100;
    RECT place;
    place.left = 20 + (slot % 10) * 110;
    place.top = 20 + (slot / 10) * 90;
    place.right = place.left + BENCH_NOTE_WIDTH;
    place.bottom = place.top + BENCH_NOTE_HEIGHT;
    return place;
}

static bool WriteWholeFile(const std::string& path, const void* data, size_t size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, data, static_cast<DWORD>(size), &written, NULL) && written == size;
    return CloseHandle(file) && ok;
}

bool WriteNoteFolder(const std::string& folder, int count, int visible)
{
    static const COLORREF swatches[] = { 0x0098FEFE, 0x00FFFFFF, 0x00C0FFC0, 0x00FFE0C0,
                                         0x00C0E0FF, 0x00E0C0FF, 0x00D0D0D0 };
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::vector<NoteIndexRecord> records(count);
    for (int i = 0; i < count; i++) {
        NoteIndexRecord& record = records[i];
        memset(&record, 0, sizeof record);
        RECT place = NotePlace(i);
        record.left = place.left;
        record.top = place.top;
        record.width = BENCH_NOTE_WIDTH;
        record.height = BENCH_NOTE_HEIGHT;
        record.visible = i < visible ? 1 : 0;
        lstrcpynA(record.fileName, NoteContentName(i).c_str(), sizeof record.fileName);
        lstrcpynA(record.soundFile, "..\\bellsong.wav", sizeof record.soundFile);
        record.backColor = swatches[i % 7];
        record.alarmYear = static_cast<uint16_t>(now.wYear + 1);
        record.alarmMonth = static_cast<uint16_t>(1 + i % 12);
        record.alarmDay = static_cast<uint16_t>(1 + i % 28);
        record.alarmHour = static_cast<uint16_t>(i % 24);
        record.alarmMinute = static_cast<uint16_t>(i % 60);
        record.alarmOn = 1;
        std::string rtf = NoteRtf(i);
        if (!WriteWholeFile(folder + "\\" + record.fileName, rtf.data(), rtf.size())) return false;
    }
    return WriteWholeFile(folder + "\\" NOTE_INDEX_FILE, records.data(), records.size() * sizeof(NoteIndexRecord));
}

// ---- Rich edit ------------------------------------------------------------------
HMODULE LoadRichEdit()
{
    static HMODULE library;
    if (!library) library = LoadLibraryW(L"MSFTEDIT.DLL");
    return library;
}
