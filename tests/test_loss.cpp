// Nothing is lost when a save fails or a file is odd: windows stay until
// their text is on disk, deleted notes keep their file until the index
// forgets them, stale records are never acted on, and originals survive.
#include "support/test_env.h"
#include "support/box_counter.h"
#include <richedit.h>
#include <string.h>
#include <functional>
#include <vector>
#include "alarm/alarm_scheduler.h"
#include "notelist/note_list_dialog.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/main_dialog.h"
#include "shell/ui_text.h"

namespace {

// Every file whose path holds this part cannot be created (null: none).
const char* failing;
bool FailCreating(StoreStep step, const char* path)
{
    return failing && step == StoreCreate && strstr(path, failing);
}

SYSTEMTIME fakeDay;
void WINAPI FakeClock(SYSTEMTIME* now) { *now = fakeDay; }

bool QuitPosted()
{
    MSG msg;
    return PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

void PressHide(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(rect.right - 30, rect.top + 10));
}

class LossTest : public QuibletTest {
protected:
    void SetUp() override
    {
        QuibletTest::SetUp();
        failing = nullptr;
        StoreFaultInjector = FailCreating;
    }
    void TearDown() override
    {
        StoreFaultInjector = nullptr;
        BackupClock = GetLocalTime;
        QuibletTest::TearDown();
    }
    NoteRecord* Shown(const char* text)
    {
        NoteRecord* note = AddTestNote();
        EXPECT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextEmpty), 1);
        SetEditorText(note->editor, text);
        return note;
    }
};

// ---- A failed save before windows go leaves them all -------------------------
struct WindowAction {
    const char* name;
    std::function<void(NoteRecord*)> run;
    std::function<bool(NoteRecord*)> done;   // what a working disk brings
};
const WindowAction Actions[] = {
    { "hide button", [](NoteRecord* n) { PressHide(n->window); },
      [](NoteRecord* n) { return !n->window && n->visible == 0; } },
    { "tray Notes verbergen", [](NoteRecord*) { RunTrayCommand(IDM_TRAY_HIDE_NOTES); },
      [](NoteRecord* n) { return !n->window && NotesHidden == 1; } },
    { "note menu Notes verbergen", [](NoteRecord* n) { SendMessageA(n->window, WM_COMMAND, IDM_NOTE_HIDE_ALL, 0); },
      [](NoteRecord* n) { return !n->window && NotesHidden == 1; } },
    { "Immer im Vordergrund", [](NoteRecord*) { RunTrayCommand(IDM_TRAY_ON_TOP); },
      [](NoteRecord* n) { return NotesOnTop == 1 && (GetWindowLongA(n->window, GWL_EXSTYLE) & WS_EX_TOPMOST); } },
    { "Beenden", [](NoteRecord*) { RunTrayCommand(IDM_TRAY_QUIT); }, [](NoteRecord*) { return QuitPosted(); } },
    { "WM_CLOSE", [](NoteRecord*) { SendMessageA(hMainDialog, WM_CLOSE, 0, 0); }, [](NoteRecord*) { return QuitPosted(); } },
    { "note list Sichtbar",
      [](NoteRecord*) {
          if (!hNoteListDialog) OpenNoteList(hMainDialog);
          SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_VISIBLE, 0);
      },
      [](NoteRecord* n) { return !n->window && n->visible == 0; } },
};

class FailedSave : public LossTest, public ::testing::WithParamInterface<int> {};

TEST_P(FailedSave, KeepsEveryWindowUntilTheDiskTakesTheText)
{
    const WindowAction& action = Actions[GetParam()];
    NoteRecord* notes[] = { Shown("erster Text"), Shown("zweiter Text") };
    HWND windows[] = { notes[0]->window, notes[1]->window };
    std::string texts[] = { EditorText(notes[0]->editor), EditorText(notes[1]->editor) };
    RECT before, after;
    GetWindowRect(windows[0], &before);
    failing = "\\";
    {
        BoxCounter boxes(TEXT_ERROR_CAPTION);
        action.run(notes[0]);
        EXPECT_GE(boxes.count(), 1) << action.name;
    }
    EXPECT_FALSE(QuitPosted()) << action.name;
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(notes[i]->window, windows[i]) << action.name;
        EXPECT_TRUE(IsWindowVisible(windows[i])) << action.name;
        EXPECT_EQ(notes[i]->visible, 1) << action.name;
        EXPECT_EQ(EditorText(notes[i]->editor), texts[i]) << action.name;
    }
    GetWindowRect(windows[0], &after);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top) << action.name << " rolled the note up";
    EXPECT_EQ(NotesHidden, 0u) << action.name;
    EXPECT_EQ(NotesOnTop, 0u) << action.name;

    failing = nullptr;
    action.run(notes[0]);
    EXPECT_TRUE(action.done(notes[0])) << action.name << " once the disk takes the text";
}
INSTANTIATE_TEST_SUITE_P(Actions, FailedSave, ::testing::Range(0, static_cast<int>(sizeof Actions / sizeof Actions[0])));

// "Notes verbergen" chosen while the hide button's error box is open hides
// the windows; no other note may be marked hidden for the button's window.
TEST_F(LossTest, HideAllInsideTheErrorBoxMarksNoNoteHidden)
{
    NoteRecord* first = Shown("eins");
    NoteRecord* second = Shown("zwei");
    failing = "\\";
    BoxAnswer* box = AnswerNextBoxAfter(TEXT_ERROR_CAPTION, IDOK, [](HWND) {
        failing = nullptr;
        RunTrayCommand(IDM_TRAY_HIDE_NOTES);
    });
    PressHide(second->window);
    ASSERT_TRUE(box->answered);
    EXPECT_FALSE(first->window);
    EXPECT_FALSE(second->window);
    EXPECT_EQ(first->visible, 1);
    EXPECT_EQ(second->visible, 1);
}

// ---- The note list ---------------------------------------------------------------------
TEST_F(LossTest, ListDeleteKeepsTheFileWhileTheIndexStillListsTheNote)
{
    NoteRecord* note = Shown("bleibt");
    ASSERT_EQ(SaveNotes(), 1);
    std::string file = InDataFolder(note->fileName), index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
    AppSettings.safeMode = 0;
    OpenNoteList(hMainDialog);
    failing = "\\";
    BoxCounter boxes(TEXT_ERROR_CAPTION);
    SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_DELETE, 0);
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(CountNotes(), 0);
    EXPECT_EQ(ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)), index);
    EXPECT_NE(ReadFileBytes(file).find("bleibt"), std::string::npos);
}

TEST_F(LossTest, ListNeverActsOnANewNoteAtAGoneNotesAddress)
{
    NoteRecord* gone = AddTestNote();
    AppSettings.safeMode = 0;
    OpenNoteList(hMainDialog);
    ASSERT_EQ(CurrentListNote, gone);
    RemoveNote(gone);
    std::vector<NoteRecord*> others;
    NoteRecord* fresh = nullptr;
    while (!fresh && others.size() < 100) {
        NoteRecord* note = NewNoteRecord();
        if (note == gone) fresh = note;
        else others.push_back(note);
    }
    for (NoteRecord* other : others) DiscardNote(other);
    ASSERT_TRUE(fresh) << "no new record took the address";
    PushNoteFront(fresh);
    for (int button : { IDC_LIST_ALARM, IDC_LIST_VISIBLE, IDC_LIST_DELETE })
        SendMessageA(hNoteListDialog, WM_COMMAND, button, 0);
    EXPECT_TRUE(IsNoteListed(fresh));
    EXPECT_EQ(fresh->alarmOn, 0);
    EXPECT_FALSE(fresh->window);
}

// ---- Files ---------------------------------------------------------------------------------
TEST_F(LossTest, TwoRecordsNamingOneFileGetAFileEach)
{
    NoteIndexRecord records[2] = {};
    for (NoteIndexRecord& record : records) {
        record.width = 180;
        record.height = 200;
        strcpy(record.fileName, "ABCDEF01.dat");
    }
    WriteFileBytes(InDataFolder(NOTE_INDEX_FILE), std::string(reinterpret_cast<char*>(records), sizeof records));
    WriteFileBytes(InDataFolder("ABCDEF01.dat"), "{\\rtf1 geteilt}");
    ASSERT_EQ(LoadNotes(), 1);
    ASSERT_EQ(CountNotes(), 2);
    NoteRecord* first = NoteList.head;
    NoteRecord* second = first->next;
    EXPECT_STREQ(first->fileName, "ABCDEF01.dat");
    std::string name = second->fileName;
    EXPECT_NE(name, "ABCDEF01.dat");
    EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF"), name.size() - 4) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".dat");
    RemoveNote(first);
    EXPECT_EQ(ReadFileBytes(InDataFolder(name.c_str())), "{\\rtf1 geteilt}");
}

TEST_F(LossTest, ContentTheEditorCannotTakeInWholeIsKeptBesideTheNote)
{
    struct { const char* bytes; const char* words; } files[] = {
        { "x{\\rtf1 Hallo Welt}", "Hallo Welt" },
        { "Nur Text, kein RTF", "kein RTF" },
        { "{\\rtf1 Vorne}Hinten", "Hinten" },
        { "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt Verweis}} Ende}", "Verweis" },
    };
    for (const auto& file : files) {
        NoteRecord* note = AddTestNote();
        WriteFileBytes(InDataFolder(note->fileName), file.bytes);
        ASSERT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile), 1);
        ASSERT_EQ(SaveNotes(), 1);
        bool shown = ReadFileBytes(InDataFolder(note->fileName)).find(file.words) != std::string::npos;
        bool kept = ReadFileBytes(InDataFolder(note->fileName) + ".bak") == file.bytes;
        EXPECT_TRUE(shown || kept) << file.bytes;
        EXPECT_TRUE(shown || file.bytes[0] != 'x') << "a stray byte before the header empties the note";
    }
    NoteRecord* clean = AddTestNote();
    WriteFileBytes(InDataFolder(clean->fileName), "{\\rtf1 Sauber}");
    ASSERT_EQ(MakeNoteWindow(clean, NOTE_EDITOR_STYLE, NoteTextFromFile), 1);
    EXPECT_FALSE(FileExists(InDataFolder(clean->fileName) + ".bak"));
}

TEST_F(LossTest, FirstSaveOfADayBacksUpTheLastSaveAndAWeekIsKept)
{
    BackupClock = FakeClock;
    fakeDay = SYSTEMTIME{ 2026, 3, 0, 1, 0, 0, 0, 0 };
    NoteRecord* note = Shown("Tag 0");
    ASSERT_EQ(SaveNotes(), 1);   // nothing saved before: nothing to keep
    std::string backups = InDataFolder(BACKUP_FOLDER);
    for (WORD day = 1; day <= 8; day++) {
        fakeDay.wDay = day;
        std::string index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
        std::string text = ReadFileBytes(InDataFolder(note->fileName));
        char folder[MAX_PATH];
        wsprintfA(folder, "%s\\2026-03-%02u\\", backups.c_str(), day);
        SetEditorText(note->editor, folder);
        ASSERT_EQ(SaveNotes(), 1);
        SetEditorText(note->editor, "abends");
        ASSERT_EQ(SaveNotes(), 1);
        EXPECT_EQ(ReadFileBytes(std::string(folder) + NOTE_INDEX_FILE), index) << day;
        EXPECT_EQ(ReadFileBytes(folder + std::string(note->fileName)), text) << day;
    }
    EXPECT_FALSE(FileExists(backups + "\\2026-03-01"));
    EXPECT_TRUE(FileExists(backups + "\\2026-03-02\\" NOTE_INDEX_FILE));

    fakeDay.wDay = 9;
    failing = "\\" BACKUP_FOLDER "\\";
    BoxCounter boxes(TEXT_ERROR_CAPTION);
    EXPECT_EQ(SaveNotes(), 1);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_FALSE(FileExists(backups + "\\2026-03-09"));
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find("abends"), std::string::npos);
}

// ---- Alarms and settings -------------------------------------------------------------------
TEST_F(LossTest, AlarmWithoutAWindowShowsOneBoxPerRingingAndStillCountsDown)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    NoteRecord* notes[] = { AddTestNote(), AddTestNote() };
    for (NoteRecord* note : notes) {
        note->alarmOn = 1;
        note->alarmYear = now.wYear, note->alarmMonth = now.wMonth, note->alarmDay = now.wDay;
        note->alarmHour = now.wHour, note->alarmMinute = now.wMinute;
    }
    notes[1]->alarmRepeatMinutes = 5;
    WNDCLASSA noteClass;
    ASSERT_TRUE(GetClassInfoA(hInstance, NoteWindowClass, &noteClass));
    ASSERT_TRUE(UnregisterClassA(NoteWindowClass, hInstance));
    int shown;
    {
        BoxCounter boxes(TEXT_ERROR_CAPTION);
        for (int tick = 0; tick < 3; tick++) CheckAlarmsAt(now);
        shown = boxes.count();
    }
    RegisterClassA(&noteClass);
    EXPECT_EQ(shown, 2) << "one box for each note's ringing";
    EXPECT_EQ(notes[1]->reminderCountdown, 5 * 12 + 1 - 1);
    OpenNoteList(hMainDialog);
    SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_ALARM, 0);
    EXPECT_EQ(notes[0]->alarmOn, 0);
}

bool RefuseMachineKey() { return true; }

DWORD ReadSize(HKEY root)
{
    DWORD value = 0, size = sizeof value;
    RegGetValueA(root, SettingsKeyPath, "NotesSizeX", RRF_RT_REG_DWORD, NULL, &value, &size);
    return value;
}

TEST_F(LossTest, SettingsOfAUserWhoMayNotWriteTheMachineKey)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKeyPath);
    HKEY machine;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, SettingsKeyPath, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &machine, NULL), ERROR_SUCCESS);
    DWORD size = 333;
    RegSetValueExA(machine, "NotesSizeX", 0, REG_DWORD, reinterpret_cast<BYTE*>(&size), sizeof size);
    MachineKeyWriteRefused = RefuseMachineKey;
    LoadSettings();
    EXPECT_EQ(AppSettings.notesSizeX, 333) << "the administrator's value";
    AppSettings.notesSizeX = 444;
    EXPECT_TRUE(SaveSettings());
    EXPECT_EQ(ReadSize(HKEY_LOCAL_MACHINE), 333u);
    EXPECT_EQ(ReadSize(HKEY_CURRENT_USER), 444u);
    MachineKeyWriteRefused = nullptr;
    size = 555;
    RegSetValueExA(machine, "NotesSizeX", 0, REG_DWORD, reinterpret_cast<BYTE*>(&size), sizeof size);
    RegCloseKey(machine);
    LoadSettings();
    EXPECT_EQ(AppSettings.notesSizeX, 444) << "the user's own key wins";
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKeyPath);
}

}  // namespace
