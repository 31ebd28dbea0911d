// The real program killed without warning while it saves a hundred notes,
// over and over: what it leaves on disk is always a whole index, old or new,
// and whole content files, and the next start cleans up after it.
#include "support/test_env.h"
#include <richedit.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <vector>
#include "notes/note_store.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/guards.h"

namespace {

const int NoteCount = 100;
const int NoteWidth = 180;
const int NoteHeight = 200;
const int DefaultKills = 25;

// ---- The settings the program reads, set for the run and put back after --------

class ProgramSettings {
public:
    ProgramSettings()
    {
        RegistryKey probe;
        existed_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH, 0, KEY_READ, probe.receive()) == ERROR_SUCCESS;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, key_.receive(), NULL);
        for (Saved& value : saved_) {
            DWORD size = sizeof value.data;
            value.had = RegQueryValueExA(key_, value.name, NULL, &value.type, value.data, &size) == ERROR_SUCCESS;
            value.size = size;
            DWORD off = 0;
            RegSetValueExA(key_, value.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
        }
    }
    ~ProgramSettings()
    {
        for (const Saved& value : saved_) {
            if (value.had) RegSetValueExA(key_, value.name, 0, value.type, value.data, value.size);
            else RegDeleteValueA(key_, value.name);
        }
        if (!existed_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH);
    }
    ProgramSettings(const ProgramSettings&) = delete;
    ProgramSettings& operator=(const ProgramSettings&) = delete;

private:
    struct Saved {
        const char* name;
        bool had;
        DWORD type, size;
        BYTE data[1024];
    };
    Saved saved_[2] = { { "Splash", false, 0, 0, {} }, { "Sound", false, 0, 0, {} } };
    bool existed_ = false;
    RegistryKey key_;
};

// ---- The program's process and its windows -------------------------------------------

std::string ProgramPath()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(NULL, exe, sizeof exe);
    std::string path = exe;
    path = path.substr(0, path.find_last_of('\\'));
    return path.substr(0, path.find_last_of('\\')) + "\\Quiblet.exe";
}

bool InstanceMutexFree()
{
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, InstanceMutexName);
    if (!mutex) return true;
    CloseHandle(mutex);
    return false;
}

struct ProgramWindows {
    DWORD processId;
    HWND main;
    std::vector<HWND> notes;
};

BOOL CALLBACK CollectProgramWindow(HWND window, LPARAM param)
{
    ProgramWindows* found = reinterpret_cast<ProgramWindows*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != found->processId) return TRUE;
    char cls[32];
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") == 0 && GetDlgItem(window, IDC_MAIN_OK)) found->main = window;
    if (strcmp(cls, NoteWindowClass) == 0) found->notes.push_back(window);
    return TRUE;
}

ProgramWindows FindProgramWindows(DWORD processId)
{
    ProgramWindows found = { processId, NULL, {} };
    EnumWindows(CollectProgramWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

class RunningProgram {
public:
    ~RunningProgram() { Kill(); }
    bool Start(const std::string& program, const std::string& startFolder)
    {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::vector<char> start(startFolder.begin(), startFolder.end());
        start.push_back(0);
        if (!CreateProcessA(program.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, start.data(), &si, &pi_)) return false;
        running_ = true;
        return true;
    }
    // Waits for the main dialog and every note window, then for the program
    // to sit in its message loop.
    bool WaitForNotes(size_t count, ProgramWindows* windows)
    {
        bool up = PumpUntil([&] {
            *windows = FindProgramWindows(pi_.dwProcessId);
            return windows->main && windows->notes.size() >= count;
        }, 30000);
        WaitForInputIdle(pi_.hProcess, 10000);
        *windows = FindProgramWindows(pi_.dwProcessId);
        return up;
    }
    void Kill()
    {
        if (!running_) return;
        TerminateProcess(pi_.hProcess, 9);
        WaitForSingleObject(pi_.hProcess, 10000);
        Close();
    }
    // Gives the program `ms` to go on with what it does; false when it ended.
    bool RunFor(DWORD ms) { return WaitForSingleObject(pi_.hProcess, ms) == WAIT_TIMEOUT; }
    bool EndByClose(HWND mainDialog)
    {
        PostMessageA(mainDialog, WM_CLOSE, 0, 0);
        bool ended = WaitForSingleObject(pi_.hProcess, 20000) == WAIT_OBJECT_0;
        if (!ended) Kill();
        else Close();
        return ended;
    }

private:
    void Close()
    {
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
        running_ = false;
    }
    PROCESS_INFORMATION pi_ = {};
    bool running_ = false;
};

// ---- What the notes hold -------------------------------------------------------------

struct Place {
    LONG left, top;
    bool operator<(const Place& other) const { return left != other.left ? left < other.left : top < other.top; }
    bool operator==(const Place& other) const { return left == other.left && top == other.top; }
};

Place BasePlace(int note) { return { 10 + (note % 10) * 100, 10 + (note / 10) * 80 }; }

std::string ContentName(int note)
{
    FILETIME time = { 0x40000000u + static_cast<DWORD>(note), 0x01D9A3B1u };
    char name[NOTE_FILE_NAME_SIZE];
    FormatContentFileName(time, name);
    return name;
}

// About 2 KB of RTF; the text a rich-edit control reads from it has the
// lines ended by "\r".
void MakeInitialContent(int note, std::string* rtf, std::string* text)
{
    *rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red0\\green0\\blue128;}\n\\f0\\fs20 ";
    text->clear();
    for (int line = 0; line < 30; line++) {
        char buffer[96];
        wsprintfA(buffer, "Note %d, line %02d: the quick brown fox jumps over the dog", note, line);
        if (line) {
            *rtf += "\\par\n";
            *text += "\r";
        }
        *rtf += line == 0 ? std::string("{\\b ") + buffer + "}" : buffer;
        *text += buffer;
    }
    *rtf += "}";
}

// Paragraph ends read back as "\r" or "\r\n"; a last empty paragraph may
// or may not be there.
std::string Normalized(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    while (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

// A whole RTF document: one group from the first byte to the last.
bool IsWholeRtf(const std::string& bytes)
{
    if (bytes.compare(0, 5, "{\\rtf") != 0) return false;
    int depth = 0;
    size_t end = std::string::npos;
    for (size_t i = 0; i < bytes.size(); i++) {
        char c = bytes[i];
        if (c == '\\') { i++; continue; }
        if (c == '{') depth++;
        if (c == '}' && --depth == 0) { end = i; break; }
        if (depth < 0) return false;
    }
    if (end == std::string::npos) return false;
    for (size_t i = end + 1; i < bytes.size(); i++)
        if (!strchr("\r\n \t", bytes[i]) && bytes[i] != 0) return false;
    return true;
}

class CrashTest : public QuibletTest {
protected:
    void SetUp() override
    {
        QuibletTest::SetUp();
        startFolder = dataFolder.substr(0, dataFolder.find_last_of('\\'));
        char user[256] = "";
        DWORD size = sizeof user - 1;
        if (!GetUserNameA(user, &size) || !user[0]) lstrcpyA(user, "default");
        programFolder = startFolder + "\\" + user;
        CreateDirectoryA(programFolder.c_str(), NULL);
        host = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 300, NULL, NULL, hInstance, NULL);
        reader = CreateWindowExA(0, "RICHEDIT", "", WS_CHILD | ES_MULTILINE, 0, 0, 400, 300, host, NULL, hInstance, NULL);
        SendMessageA(reader, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    }
    void TearDown() override
    {
        DestroyWindow(host);
        QuibletTest::TearDown();
    }

    std::string ProgramFile(const std::string& name) { return programFolder + "\\" + name; }

    void WriteHundredNotes()
    {
        std::string index;
        for (int i = 0; i < NoteCount; i++) {
            std::string rtf, text;
            MakeInitialContent(i, &rtf, &text);
            ASSERT_TRUE(WriteFileBytes(ProgramFile(ContentName(i)), rtf));
            texts[i].insert(Normalized(text));
            Place place = BasePlace(i);
            places[i].insert(place);
            current[i] = place;
            NoteIndexRecord record = {};
            record.left = place.left;
            record.top = place.top;
            record.width = NoteWidth;
            record.height = NoteHeight;
            record.visible = 1;
            lstrcpyA(record.fileName, ContentName(i).c_str());
            record.backColor = 0x0098FEFE;
            index.append(reinterpret_cast<const char*>(&record), sizeof record);
            noteOfFile[ContentName(i)] = i;
        }
        ASSERT_TRUE(WriteFileBytes(ProgramFile(NOTE_INDEX_FILE), index));
    }

    std::vector<std::string> TempFiles()
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(ProgramFile("*.tmp").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do names.push_back(found.cFileName); while (FindNextFileA(search, &found));
        FindClose(search);
        return names;
    }

    // What a kill left: a whole index whose every record is one the test
    // made, and content files that load with a text the test gave them.
    void CheckFilesAfterKill(int kill)
    {
        std::string index = ReadFileBytes(ProgramFile(NOTE_INDEX_FILE));
        ASSERT_EQ(index.size(), NoteCount * sizeof(NoteIndexRecord)) << "kill " << kill;
        std::set<int> seen;
        for (int k = 0; k < NoteCount; k++) {
            NoteIndexRecord record;
            memcpy(&record, index.data() + k * sizeof record, sizeof record);
            NoteRecord decoded = {};
            ASSERT_TRUE(DecodeIndexRecord(record, &decoded)) << "kill " << kill << " record " << k;
            auto file = noteOfFile.find(decoded.fileName);
            ASSERT_NE(file, noteOfFile.end()) << decoded.fileName;
            int i = file->second;
            EXPECT_EQ(i, k) << "the notes keep their order";
            EXPECT_TRUE(seen.insert(i).second) << decoded.fileName << " named twice";
            Place place = { decoded.left, decoded.top };
            EXPECT_TRUE(places[i].count(place)) << "kill " << kill << " note " << i << " at " << place.left << "," << place.top;
            EXPECT_EQ(decoded.width, NoteWidth);
            EXPECT_EQ(decoded.height, NoteHeight);
            EXPECT_EQ(decoded.visible, 1);
            current[i] = place;

            std::string content = ReadFileBytes(ProgramFile(decoded.fileName));
            EXPECT_TRUE(IsWholeRtf(content)) << "kill " << kill << " " << decoded.fileName << ": " << content.substr(0, 80)
                                             << " ... " << content.substr(content.size() > 80 ? content.size() - 80 : 0);
            SetWindowTextA(reader, "");
            ASSERT_EQ(StreamFileIn(reader, SF_RTF, ProgramFile(decoded.fileName).c_str()), 1);
            std::string text = Normalized(EditorText(reader));
            EXPECT_TRUE(texts[i].count(text)) << "kill " << kill << " note " << i << " reads \"" << text.substr(0, 60) << "\"";
        }
    }

    // Window i of the program is the one standing at note i's place.
    bool MapWindows(const ProgramWindows& windows)
    {
        std::map<Place, int> noteAt;
        for (int i = 0; i < NoteCount; i++) noteAt[current[i]] = i;
        for (int i = 0; i < NoteCount; i++) noteWindow[i] = NULL;
        for (HWND window : windows.notes) {
            RECT rect;
            GetWindowRect(window, &rect);
            auto note = noteAt.find({ rect.left, rect.top });
            if (note == noteAt.end()) return false;
            noteWindow[note->second] = window;
        }
        for (int i = 0; i < NoteCount; i++)
            if (!noteWindow[i]) return false;
        return true;
    }

    // Moves one note and gives another a new text, so that the next save
    // differs from the last.
    void ChangeSomething(std::mt19937& random, int round)
    {
        int moved = random() % NoteCount;
        Place base = BasePlace(moved);
        Place place = { base.left + static_cast<LONG>(random() % 16), base.top + static_cast<LONG>(random() % 16) };
        places[moved].insert(place);
        SetWindowPos(noteWindow[moved], NULL, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

        int typed = random() % NoteCount;
        char text[32];
        wsprintfA(text, "round %d", round);
        texts[typed].insert(text);
        HWND editor = FindWindowExA(noteWindow[typed], NULL, "RICHEDIT", NULL);
        DWORD_PTR result;
        SendMessageTimeoutA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &result);
    }

    std::string startFolder, programFolder;
    HWND host = NULL, reader = NULL;
    std::set<Place> places[NoteCount];
    std::set<std::string> texts[NoteCount];
    Place current[NoteCount];
    HWND noteWindow[NoteCount];
    std::map<std::string, int> noteOfFile;
};

int KillsWanted()
{
    const char* wanted = getenv("QUIBLET_CRASH_KILLS");
    int kills = wanted ? atoi(wanted) : DefaultKills;
    return kills > 0 ? kills : DefaultKills;
}

TEST_F(CrashTest, KilledWhileSavingLeavesWholeFilesAndStartsCleanly)
{
    std::string program = ProgramPath();
    ASSERT_TRUE(FileExists(program)) << program;
    ASSERT_NO_FATAL_FAILURE(WriteHundredNotes());
    ProgramSettings settings;
    const char* seedText = getenv("QUIBLET_CRASH_SEED");
    unsigned seed = seedText ? static_cast<unsigned>(strtoul(seedText, NULL, 10)) : GetTickCount();
    std::mt19937 random(seed);

    const int kills = KillsWanted();
    int survived = 0, killsInSave = 0, killsInIndex = 0, killsInContent = 0, rounds = 0;
    DWORD saveMs = 0, longestStartMs = 0, began = GetTickCount();
    for (int kill = 0; kill <= kills; kill++) {
        ASSERT_TRUE(PumpUntil(InstanceMutexFree, 60000)) << "another Quiblet keeps running";
        RunningProgram running;
        DWORD startedAt = GetTickCount();
        ASSERT_TRUE(running.Start(program, startFolder));
        ProgramWindows windows;
        ASSERT_TRUE(running.WaitForNotes(NoteCount, &windows)) << "start " << kill << ": " << windows.notes.size() << " notes";
        longestStartMs = std::max(longestStartMs, GetTickCount() - startedAt);
        // The leftovers of the last kill are gone and none became a note.
        EXPECT_TRUE(TempFiles().empty()) << "start " << kill << ": " << TempFiles().front();
        ASSERT_EQ(windows.notes.size(), static_cast<size_t>(NoteCount)) << "start " << kill;
        ASSERT_TRUE(MapWindows(windows)) << "start " << kill << ": a note window stands at a place no note had";

        if (kill == 0) {
            // One save waited for, to learn how long a save of these notes takes.
            ChangeSomething(random, rounds++);
            DWORD_PTR result;
            DWORD before = GetTickCount();
            SendMessageTimeoutA(windows.main, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 20000, &result);
            saveMs = std::max<DWORD>(GetTickCount() - before, 1);
            ASSERT_NO_FATAL_FAILURE(CheckFilesAfterKill(kill));
        }
        if (kill == kills) {
            EXPECT_TRUE(running.EndByClose(windows.main));
            break;
        }

        int changes = 1 + random() % 3;
        for (int c = 0; c < changes; c++) {
            ChangeSomething(random, rounds++);
            for (int s = 0, saves = 1 + random() % 3; s < saves; s++)
                PostMessageA(windows.main, WM_ENDSESSION, TRUE, 0);
        }
        // Any moment from before the first save to the end of the last.
        DWORD window = std::max<DWORD>(40, saveMs * 2);
        ASSERT_TRUE(running.RunFor(random() % (window + 1))) << "the program ended by itself";
        running.Kill();

        std::vector<std::string> left = TempFiles();
        if (!left.empty()) killsInSave++;
        if (std::count(left.begin(), left.end(), std::string(NOTE_INDEX_FILE ".tmp"))) killsInIndex++;
        if (std::any_of(left.begin(), left.end(), [](const std::string& n) { return n != NOTE_INDEX_FILE ".tmp"; }))
            killsInContent++;
        ASSERT_NO_FATAL_FAILURE(CheckFilesAfterKill(kill + 1));
        if (HasFailure()) break;
        survived++;
    }
    DWORD seconds = (GetTickCount() - began + 500) / 1000;
    printf("[ figures  ] seed %u: %d kills survived, %d during a save (%d with the index half written, %d inside a "
           "content file), %d changes, one save of %d notes %lu ms, slowest start %lu ms, %lu s in all\n",
           seed, survived, killsInSave, killsInIndex, killsInContent, rounds, NoteCount,
           static_cast<unsigned long>(saveMs), static_cast<unsigned long>(longestStartMs), static_cast<unsigned long>(seconds));
    EXPECT_EQ(survived, kills);
    EXPECT_GT(killsInSave, 0) << "no kill landed inside a save";
}

}  // namespace
