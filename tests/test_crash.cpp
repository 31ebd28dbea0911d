// The real program killed without warning while it saves its notes, over
// and over: it always leaves a whole index and whole content files, old or
// new, and starts cleanly. And a thousand notes in one process, twice,
// without growth in GDI objects or windows.
#include "support/test_env.h"
#include <commctrl.h>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include "notelist/note_list_dialog.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/globals.h"
#include "shell/guards.h"
#include "testing/gdi_count.h"

static const int Notes = 5;   // few, so that a start and a kill stay cheap

static std::string Rtf(const std::string& text) { return "{\\rtf1\\ansi " + text + "\\par}"; }

static std::pair<LONG, LONG> Place(int note) { return { 10 + (note % 10) * 100, 10 + (note / 10 % 10) * 80 }; }

static std::string Name(int note) { return "c" + std::to_string(note) + ".dat"; }

static std::string IndexOf(int notes)
{
    std::string index;
    for (int i = 0; i < notes; i++) {
        NoteIndexRecord record = { Place(i).first, Place(i).second, 180, 200, 1 };
        lstrcpyA(record.fileName, Name(i).c_str());
        index.append(reinterpret_cast<const char*>(&record), sizeof record);
    }
    return index;
}

// A note's text: a mark of its own and a body. A whole content file holds
// one mark and ends its RTF group, which its bytes show as well as an editor
// would: the texts need no escapes.
static std::string Mark(int note, int round) { return "<" + std::to_string(note) + ":" + std::to_string(round) + ">"; }

static std::string Text(int note, int round) { return Mark(note, round) + std::string(2000, 'x'); }

static std::string MarkIn(const std::string& rtf)
{
    size_t from = rtf.find('<'), to = rtf.find('>', from);
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
    // The key a user's start reads, which the real program is started on, comes back as it was (or goes) when
    // the test ends, so that a developer's own Quiblet in this prefix keeps its settings; TearDown drops the copy.
    struct PutBack {
        bool had = CopyKey(SETTINGS_KEY_PATH, SettingsKeyPath);
        ~PutBack()
        {
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH);
            if (had) CopyKey(SettingsKeyPath, SETTINGS_KEY_PATH);
        }
    } putBack;
    const std::string exe = _pgmptr, program = exe.substr(0, exe.rfind("\\tests\\")) + "\\Quiblet.exe";
    // The folder a start one level up uses, as the program works it out; the program starts there too.
    SetCurrentDirectoryA((dataFolder + "\\..").c_str());
    ASSERT_TRUE(SetUpDataFolder());
    DWORD off = 0;   // the key a user's start reads: quiet, no info screen, the notes shown
    for (const char* name : { "Splash", "Sound", "StartupNotes" })
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH, name, REG_DWORD, &off, sizeof off);
    std::vector<std::set<std::string>> marks(Notes);
    for (int i = 0; i < Notes; i++) {
        WriteFileBytes(InDataFolder(Name(i)), Rtf(Text(i, -1)));
        marks[i].insert(Mark(i, -1));
    }
    WriteFileBytes(InDataFolder("note.dat"), IndexOf(Notes));
    WriteFileBytes(InDataFolder("note.dat.tmp"), "left by a save that never ended");
    std::mt19937 random(CountFromEnvironment("QUIBLET_SEED", GetTickCount()));
    const int kills = CountFromEnvironment("QUIBLET_CRASH_KILLS", 4);
    int killsDuringSave = 0;
    for (int kill = 0; kill <= kills; kill++) {
        PROCESS_INFORMATION running;
        STARTUPINFOA si = { sizeof si };
        ASSERT_TRUE(CreateProcessA(program.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, NULL, &si, &running));
        // The program's main dialog and its notes' editors by the notes' places, all made by its first thread.
        HWND main = NULL;
        std::map<std::pair<LONG, LONG>, HWND> editors;
        // Not an ASSERT: the program is ended below whatever happens.
        EXPECT_TRUE(PumpUntil([&] {
            main = NULL;
            editors.clear();
            for (HWND top = GetTopWindow(NULL); top; top = GetWindow(top, GW_HWNDNEXT)) {
                RECT r;
                GetWindowRect(top, &r);
                if (GetWindowThreadProcessId(top, NULL) != running.dwThreadId) continue;
                if (GetDlgItem(top, IDC_MAIN_OK)) main = top;
                if (HWND editor = FindWindowExA(top, NULL, NOTE_EDITOR_CLASS, NULL)) editors[{ r.left, r.top }] = editor;
            }
            return main && editors.size() == size_t(Notes);
        }, 60000)) << editors.size() << " note windows";
        WaitForInputIdle(running.hProcess, 10000);
        EXPECT_FALSE(SaveLeftOver()) << "leftovers are cleaned up at start";
        if (kill == kills && PostMessageA(main, WM_CLOSE, 0, 0)) {   // the last start ends as a user ends it
            EXPECT_EQ(WaitForSingleObject(running.hProcess, 20000), WAIT_OBJECT_0);
        }
        for (int change = 0; kill < kills && change < 3; change++) {
            int typed = random() % Notes;
            const int round = kill * 3 + change;
            marks[typed].insert(Mark(typed, round));
            SendMessageTimeoutA(editors[Place(typed)], WM_SETTEXT, 0, LPARAM(Text(typed, round).c_str()), SMTO_NORMAL, 5000, NULL);
            PostMessageA(main, WM_ENDSESSION, TRUE, 0);
        }
        // The three saves begin at once and take some tens of milliseconds: the kill falls among them.
        WaitForSingleObject(running.hProcess, random() % 25);
        TerminateProcess(running.hProcess, 9);
        WaitForSingleObject(running.hProcess, 10000);
        for (HANDLE handle : { running.hProcess, running.hThread }) CloseHandle(handle);

        killsDuringSave += SaveLeftOver();
        if (kill < kills && (kill + 1) % 50 == 0)
            std::cout << kill + 1 << " of " << kills << " kills, " << killsDuringSave << " during a save" << std::endl;
        ASSERT_EQ(ReadFileBytes(InDataFolder("note.dat")), IndexOf(Notes)) << "a whole index";
        for (int i = 0; i < Notes; i++) {
            const std::string mark = MarkIn(ReadFileBytes(InDataFolder(Name(i))));
            EXPECT_EQ(marks[i].count(mark), 1u) << "note " << i << " reads \"" << mark << "\"";
        }
    }
    std::cout << kills << " kills, " << killsDuringSave << " during a save (a save's temporary file left)" << std::endl;
}

TEST_F(QuibletTest, AThousandNotesLoadShowSaveAndListTwiceWithoutGrowth)
{
    const int notes = CountFromEnvironment("QUIBLET_MANY_NOTES", 1000);
    int gdi[2] = {};
    for (int round = 0; round < 2; round++) {
        for (int i = 0; i < notes; i++) WriteFileBytes(InDataFolder(Name(i)), Rtf("Notiz " + std::to_string(i)));
        WriteFileBytes(InDataFolder("note.dat"), IndexOf(notes));
        ASSERT_EQ(LoadNotes(), 1);
        NoteRecord* note = NoteList.head;
        for (int i = 0; i < 100 && note; i++, note = note->next) ASSERT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile), 1);
        ASSERT_EQ(SaveNotes(), 1);
        EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")), IndexOf(notes));
        OpenNoteList(hMainDialog);
        EXPECT_EQ(SendDlgItemMessageA(hNoteListDialog, IDC_LIST_VIEW, LVM_GETITEMCOUNT, 0, 0), notes);
        // Each round ends as a test ends (dialogs closed, windows and notes freed) and the next begins afresh.
        TearDown();
        SetUp();
        gdi[round] = GdiObjectCount();
    }
    EXPECT_LE(gdi[1], gdi[0] + 2);
}
