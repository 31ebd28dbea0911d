// The real program killed without warning while it saves a hundred notes,
// over and over: it always leaves a whole index and whole content files, old
// or new, and starts cleanly. And a thousand notes in one process, twice,
// without growth in GDI objects or windows.
#include "support/test_env.h"
#include "support/gdi_count.h"
#include <commctrl.h>
#include <richedit.h>
#include <map>
#include <random>
#include <set>
#include "notelist/note_list_dialog.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"

static const int Notes = 100;

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

TEST_F(QuibletTest, KilledWhileSavingItLeavesWholeFilesAndStartsCleanly)
{
    const std::string exe = _pgmptr, program = exe.substr(0, exe.rfind("\\tests\\")) + "\\Quiblet.exe";
    // The folder a start one level up uses, as the program works it out; the program starts there too.
    SetCurrentDirectoryA((dataFolder + "\\..").c_str());
    ASSERT_TRUE(SetUpDataFolder());
    DWORD off = 0;   // the key a user's start reads: quiet, no info screen, the notes shown
    for (const char* name : { "Splash", "Sound", "StartupNotes" })
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH, name, REG_DWORD, &off, sizeof off);
    std::vector<std::set<std::string>> texts(Notes);
    for (int i = 0; i < Notes; i++)
        WriteFileBytes(InDataFolder(Name(i)), Rtf(*texts[i].insert(std::to_string(i) + std::string(2000, 'x')).first));
    WriteFileBytes(InDataFolder("note.dat"), IndexOf(Notes));
    WriteFileBytes(InDataFolder("note.dat.tmp"), "left by a save that never ended");
    HWND reader = ShownNote("")->editor;
    std::mt19937 random(CountFromEnvironment("QUIBLET_SEED", GetTickCount()));
    const int kills = CountFromEnvironment("QUIBLET_CRASH_KILLS", 4);
    for (int kill = 0; kill <= kills; kill++) {
        PROCESS_INFORMATION running;
        STARTUPINFOA si = { sizeof si };
        ASSERT_TRUE(CreateProcessA(program.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, NULL, &si, &running));
        // The program's main dialog and its notes' editors by the notes' places, all made by its first thread.
        HWND main = NULL;
        std::map<std::pair<LONG, LONG>, HWND> editors;
        // Not an ASSERT: the program is ended below whatever happens.
        EXPECT_TRUE(PumpUntil([&] {
            main = NULL, editors.clear();
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
        EXPECT_FALSE(FileExists(InDataFolder("note.dat.tmp"))) << "leftovers are cleaned up at start";
        if (kill == kills && PostMessageA(main, WM_CLOSE, 0, 0)) {   // the last start ends as a user ends it
            EXPECT_EQ(WaitForSingleObject(running.hProcess, 20000), WAIT_OBJECT_0);
        }
        for (int change = 0; kill < kills && change < 3; change++) {
            int typed = random() % Notes;
            const std::string text = *texts[typed].insert("round " + std::to_string(kill * 3 + change)).first;
            SendMessageTimeoutA(editors[Place(typed)], WM_SETTEXT, 0, LPARAM(text.c_str()), SMTO_NORMAL, 5000, NULL);
            PostMessageA(main, WM_ENDSESSION, TRUE, 0);
        }
        WaitForSingleObject(running.hProcess, random() % 400);
        TerminateProcess(running.hProcess, 9);
        WaitForSingleObject(running.hProcess, 10000);
        for (HANDLE handle : { running.hProcess, running.hThread }) CloseHandle(handle);

        ASSERT_EQ(ReadFileBytes(InDataFolder("note.dat")), IndexOf(Notes)) << "a whole index";
        for (int i = 0; i < Notes; i++) {
            StreamFileIn(reader, SF_RTF, (InDataFolder(Name(i))).c_str());
            std::string text = EditorText(reader);
            text.erase(text.find_last_not_of("\r\n") + 1);
            EXPECT_TRUE(texts[i].count(text)) << "note " << i << " reads \"" << text.substr(0, 40) << "\"";
        }
    }
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
