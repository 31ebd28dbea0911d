// The real program killed without warning while it saves its notes, over
// and over: it always leaves a whole index and whole content files, old or
// new, and starts cleanly.
#include "support/test_env.h"
#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/globals.h"
#include "shell/guards.h"

static const int Notes = 5;   // few, so that a start and a kill stay cheap

// A text typed in a round into a note picked at random: the round's mark and
// a body. A whole content file holds the mark of one round so far and ends its
// RTF group, which its bytes show as well as an editor would: the texts need
// no escapes.
static std::string Mark(int round) { return "<" + std::to_string(round) + ">"; }

static std::string Text(int round) { return Mark(round) + std::string(2000, 'x'); }

static std::string MarkIn(const std::string& rtf)
{
    size_t from = rtf.find('<');
    size_t to = rtf.find('>', from);
    size_t last = rtf.find_last_not_of(std::string("\r\n\0", 3));
    if (to == std::string::npos || last == std::string::npos || rtf[last] != '}') return "";
    return rtf.substr(from, to + 1 - from);
}

// A temporary file of a save that never ended.
static bool SaveLeftOver()
{
    for (const auto& file : std::filesystem::directory_iterator(DataFolder))
        if (file.path().extension() == ".tmp") return true;
    return false;
}

static bool CopyKey(const char* from, const char* to)
{
    RegistryKey source, target;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, from, 0, KEY_READ, source.receive()) == ERROR_SUCCESS &&
           RegCreateKeyExA(HKEY_LOCAL_MACHINE, to, 0, NULL, 0, KEY_ALL_ACCESS, NULL, target.receive(), NULL) == ERROR_SUCCESS &&
           RegCopyTreeA(source, NULL, target) == ERROR_SUCCESS;
}

TEST_F(QuibletTest, KilledWhileSavingItLeavesWholeFilesAndStartsCleanly)
{
    // The real program reads the key a user's start reads. It comes back as it was (or goes) when the test
    // ends, so that a developer's own Quiblet in this prefix keeps its settings; TearDown drops the copy.
    struct PutBack {
        bool had = CopyKey(SETTINGS_KEY_PATH, SettingsKeyPath);
        ~PutBack()
        {
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH);
            if (had) CopyKey(SettingsKeyPath, SETTINGS_KEY_PATH);
        }
    } putBack;
    DWORD off = 0;   // quiet, no info screen, the notes shown
    for (const char* name : { "Splash", "Sound", "StartupNotes" })
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH, name, REG_DWORD, &off, sizeof off);
    const std::string exe = _pgmptr;
    const std::string program = exe.substr(0, exe.rfind("\\tests\\")) + "\\Quiblet.exe";
    // The program started one level up works out the test's data folder (saves move into it).
    const std::string start = dataFolder + "\\..";
    SetCurrentDirectoryA(start.c_str());
    ASSERT_EQ(SetUpDataFolder(), DataFolderReady);
    std::vector<std::string> files;
    for (int i = 0; i < Notes; i++) {
        files.push_back(InDataFolder(AddTestNote(10 + 100 * i, 10)->fileName));
        WriteFileBytes(files.back(), "{\\rtf1\\ansi " + Text(-1) + "\\par}");
    }
    ASSERT_EQ(SaveNotes(), 1);
    FreeNotes();
    const std::string index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
    std::set<std::string> marks = { Mark(-1) };
    WriteFileBytes(InDataFolder("note.dat.tmp"), "left by a save that never ended");
    std::mt19937 random(CountFromEnvironment("QUIBLET_SEED", GetTickCount()));
    const int kills = CountFromEnvironment("QUIBLET_CRASH_KILLS", 4);
    int killsDuringSave = 0;
    for (int kill = 0; kill < kills; kill++) {
        PROCESS_INFORMATION running;
        STARTUPINFOA startup = { sizeof startup };
        ASSERT_TRUE(CreateProcessA(program.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, start.c_str(), &startup, &running));
        // The program's main dialog and its notes' editors, all made by its first thread.
        HWND main = NULL;
        std::vector<HWND> editors;
        const bool started = PumpUntil([&] {
            main = NULL;
            editors.clear();
            for (HWND top = GetTopWindow(NULL); top; top = GetWindow(top, GW_HWNDNEXT)) {
                if (GetWindowThreadProcessId(top, NULL) != running.dwThreadId) continue;
                if (GetDlgItem(top, IDC_MAIN_OK)) main = top;
                if (HWND editor = FindWindowExW(top, NULL, NOTE_EDITOR_CLASS, NULL)) editors.push_back(editor);
            }
            return main && editors.size() == Notes;
        }, 60000);
        // Not an ASSERT: the program is ended below whatever happens.
        EXPECT_TRUE(started) << editors.size() << " note windows";
        WaitForInputIdle(running.hProcess, 10000);
        EXPECT_FALSE(SaveLeftOver()) << "leftovers are cleaned up at start";
        for (int round = 3 * kill; round < 3 * kill + 3 && started; round++) {
            marks.insert(Mark(round));
            HWND editor = editors[random() % Notes];
            SendMessageTimeoutA(editor, WM_SETTEXT, 0, LPARAM(Text(round).c_str()), SMTO_NORMAL, 5000, NULL);
            PostMessageA(main, WM_ENDSESSION, TRUE, 0);
        }
        // The saves take some tens of milliseconds: the kill falls among them.
        WaitForSingleObject(running.hProcess, random() % 25);
        TerminateProcess(running.hProcess, 9);
        WaitForSingleObject(running.hProcess, 10000);
        CloseHandle(running.hProcess);
        CloseHandle(running.hThread);

        killsDuringSave += SaveLeftOver();
        if ((kill + 1) % 50 == 0)
            std::cout << kill + 1 << " of " << kills << " kills, " << killsDuringSave << " during a save" << std::endl;
        ASSERT_EQ(ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)), index) << "a whole index";
        for (const std::string& file : files) {
            const std::string mark = MarkIn(ReadFileBytes(file));
            EXPECT_EQ(marks.count(mark), 1u) << file << " reads \"" << mark << "\"";
        }
    }
    std::cout << kills << " kills, " << killsDuringSave << " during a save (a save's temporary file left)" << std::endl;
}
