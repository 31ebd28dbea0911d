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
#include "alarm/alarm_scheduler.h"
#include "notelist/note_list_dialog.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/guards.h"

namespace {
const int Notes = 100;

std::string Rtf(const std::string& text) { return "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 " + text + "\\par}"; }

POINT Place(int note) { return { 10 + (note % 10) * 100, 10 + (note / 10 % 10) * 80 }; }

std::string Name(int note)
{
    char name[NOTE_FILE_NAME_SIZE];
    FormatContentFileName({ 0x40000000u + note, 0x01D9A3B1u }, name);
    return name;
}

std::string IndexOf(int notes)
{
    std::string index;
    for (int i = 0; i < notes; i++) {
        NoteIndexRecord record = { Place(i).x, Place(i).y, 180, 200, 1 };
        lstrcpyA(record.fileName, Name(i).c_str());
        index.append(reinterpret_cast<const char*>(&record), sizeof record);
    }
    return index;
}

struct Program {
    PROCESS_INFORMATION pi = {};
    ~Program() { Kill(); }
    void Kill()
    {
        if (pi.hProcess && TerminateProcess(pi.hProcess, 9)) WaitForSingleObject(pi.hProcess, 10000);
        if (pi.hProcess) CloseHandle(pi.hProcess), CloseHandle(pi.hThread);
        pi.hProcess = NULL;
    }
};

struct Found { DWORD process; HWND main; std::map<std::pair<LONG, LONG>, HWND> notes; };
BOOL CALLBACK Collect(HWND window, LPARAM param)
{
    Found* found = reinterpret_cast<Found*>(param);
    DWORD process = 0;
    char cls[32];
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, cls, sizeof cls);
    RECT r;
    GetWindowRect(window, &r);
    if (process == found->process && GetDlgItem(window, IDC_MAIN_OK)) found->main = window;
    if (process == found->process && strcmp(cls, NoteWindowClass) == 0) found->notes[{ r.left, r.top }] = window;
    return TRUE;
}
}  // namespace

TEST_F(QuibletTest, KilledWhileSavingItLeavesWholeFilesAndStartsCleanly)
{
    char exe[MAX_PATH], user[256] = "default";
    GetModuleFileNameA(NULL, exe, sizeof exe);
    std::string program = std::string(exe).substr(0, std::string(exe).rfind("\\tests\\")) + "\\Quiblet.exe";
    ASSERT_TRUE(FileExists(program)) << program;
    DWORD size = sizeof user;
    GetUserNameA(user, &size);
    std::string start = dataFolder + "\\..", folder = start + "\\" + user + "\\";
    CreateDirectoryA(folder.c_str(), NULL);
    DWORD off = 0;   // the key a user's start reads: quiet, no info screen, the notes shown
    for (const char* name : { "Splash", "Sound", "StartupNotes" })
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH, name, REG_DWORD, &off, sizeof off);
    std::vector<std::set<std::string>> texts(Notes);
    for (int i = 0; i < Notes; i++) {
        texts[i].insert("note " + std::to_string(i) + " " + std::string(2000, 'x'));
        WriteFileBytes(folder + Name(i), Rtf(*texts[i].begin()));
    }
    WriteFileBytes(folder + "note.dat", IndexOf(Notes));
    WriteFileBytes(folder + "note.dat.tmp", "left by a save that never ended");
    HWND reader = CreateWindowExA(0, NOTE_EDITOR_CLASS, "", ES_MULTILINE, 0, 0, 100, 100, NULL, NULL, hInstance, NULL);
    SendMessageA(reader, EM_EXLIMITTEXT, 0, NOTE_TEXT_LIMIT);
    std::mt19937 random(CountFromEnvironment("QUIBLET_SEED", GetTickCount()));
    const int kills = CountFromEnvironment("QUIBLET_CRASH_KILLS", 4);
    int midSave = 0;
    for (int kill = 0; kill <= kills; kill++) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        Program running;
        STARTUPINFOA si = { sizeof si };
        ASSERT_TRUE(CreateProcessA(program.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, start.c_str(), &si, &running.pi));
        Found found = { running.pi.dwProcessId, NULL, {} };
        ASSERT_TRUE(PumpUntil([&] {
            found.main = NULL, found.notes.clear();
            EnumWindows(Collect, reinterpret_cast<LPARAM>(&found));
            return found.main && found.notes.size() == size_t(Notes);
        }, 60000)) << found.notes.size() << " note windows";
        WaitForInputIdle(running.pi.hProcess, 10000);
        EXPECT_FALSE(FileExists(folder + "note.dat.tmp")) << "leftovers are cleaned up at start";
        if (kill == kills) {
            PostMessageA(found.main, WM_CLOSE, 0, 0);
            EXPECT_EQ(WaitForSingleObject(running.pi.hProcess, 20000), WAIT_OBJECT_0);
            break;
        }
        for (int change = 0; change < 3; change++) {
            int typed = random() % Notes;
            std::string text = "round " + std::to_string(kill) + "." + std::to_string(change);
            texts[typed].insert(text);
            HWND editor = FindWindowExA(found.notes[{ Place(typed).x, Place(typed).y }], NULL, NOTE_EDITOR_CLASS, NULL);
            DWORD_PTR result;
            SendMessageTimeoutA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 5000, &result);
            PostMessageA(found.main, WM_ENDSESSION, TRUE, 0);
        }
        WaitForSingleObject(running.pi.hProcess, random() % 400);
        running.Kill();
        midSave += FileExists(folder + "note.dat.tmp");

        ASSERT_EQ(ReadFileBytes(folder + "note.dat"), IndexOf(Notes)) << "a whole index";
        for (int i = 0; i < Notes; i++) {
            EXPECT_EQ(ReadFileBytes(folder + Name(i)).compare(0, 5, "{\\rtf"), 0) << Name(i);
            SetWindowTextA(reader, "");
            StreamFileIn(reader, SF_RTF, (folder + Name(i)).c_str());
            std::string text = EditorText(reader);
            text.erase(text.find_last_not_of("\r\n") + 1);
            EXPECT_TRUE(texts[i].count(text)) << "note " << i << " reads \"" << text.substr(0, 40) << "\"";
        }
    }
    printf("[ figures  ] %d kills, %d of them with the index half saved\n", kills, midSave);
    DestroyWindow(reader);
}

TEST_F(QuibletTest, AThousandNotesLoadShowSaveRingAndListTwiceWithoutGrowth)
{
    const int notes = CountFromEnvironment("QUIBLET_MANY_NOTES", 1000);
    for (int i = 0; i < notes; i++) WriteFileBytes(InDataFolder(Name(i).c_str()), Rtf("Notiz " + std::to_string(i)));
    WriteFileBytes(InDataFolder("note.dat"), IndexOf(notes));
    int gdi[2] = {};
    for (int round = 0; round < 2; round++) {
        DWORD began = GetTickCount();
        ASSERT_EQ(LoadNotes(), 1);
        ASSERT_EQ(CountNotes(), notes);
        NoteRecord* note = NoteList.head;
        for (int i = 0; i < 100 && note; i++, note = note->next) ASSERT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile), 1);
        EXPECT_EQ(EditorText(NoteList.head->editor), "Notiz 0");
        ASSERT_EQ(SaveNotes(), 1);
        CheckAlarmsAt(SYSTEMTIME{ 2026, 1, 1, 1, 1, 1, 0, 0 });
        OpenNoteList(hMainDialog);
        EXPECT_EQ(SendDlgItemMessageA(hNoteListDialog, IDC_LIST_VIEW, LVM_GETITEMCOUNT, 0, 0), notes);
        SendMessageA(hNoteListDialog, WM_COMMAND, IDC_CLOSE, 0);
        for (note = NoteList.head; note; note = note->next)
            if (note->window) DestroyNoteWindow(note);
        FreeNotes();
        PumpPending();
        gdi[round] = GdiObjectCount();
        printf("[ figures  ] round %d: %d notes in %lu ms, %d GDI objects after\n", round, notes, GetTickCount() - began, gdi[round]);
    }
    EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")), IndexOf(notes));
    EXPECT_LE(gdi[1], gdi[0] + 2);
}
