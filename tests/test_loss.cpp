// Nothing is lost when a save fails or a file is odd: windows stay until
// their text is on disk, deleted notes keep their file until the index
// forgets them, stale records are never acted on, and originals survive.
#include "support/test_env.h"
#include <string.h>
#include "alarm/alarm_scheduler.h"
#include "notelist/note_list_dialog.h"
#include "notes/note_backup.h"
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
bool FailCreating(StoreStep step, const char* path) { return failing && step == StoreCreate && strstr(path, failing); }

SYSTEMTIME fakeDay;
void WINAPI FakeClock(SYSTEMTIME* now) { *now = fakeDay; }
bool RefuseMachineKey() { return true; }

bool QuitPosted() { MSG msg; return PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != 0; }

void PressHide(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(rect.right - 30, rect.top + 10));
}

class LossTest : public QuibletTest {
protected:
    void SetUp() override { QuibletTest::SetUp(), failing = nullptr, StoreFaultInjector = FailCreating; }
    void TearDown() override { StoreFaultInjector = nullptr, BackupClock = GetLocalTime, QuibletTest::TearDown(); }
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
    { "hide button", [](NoteRecord* n) { PressHide(n->window); }, [](NoteRecord* n) { return !n->window && !n->visible; } },
    { "tray Notes verbergen", [](NoteRecord*) { RunTrayCommand(IDM_TRAY_HIDE_NOTES); },
      [](NoteRecord* n) { return !n->window && NotesHidden == 1; } },
    { "note menu Notes verbergen", [](NoteRecord* n) { SendMessageA(n->window, WM_COMMAND, IDM_NOTE_HIDE_ALL, 0); },
      [](NoteRecord* n) { return !n->window && NotesHidden == 1; } },
    { "Immer im Vordergrund", [](NoteRecord*) { RunTrayCommand(IDM_TRAY_ON_TOP); },
      [](NoteRecord* n) { return NotesOnTop == 1 && (GetWindowLongA(n->window, GWL_EXSTYLE) & WS_EX_TOPMOST); } },
    { "Beenden", [](NoteRecord*) { RunTrayCommand(IDM_TRAY_QUIT); }, [](NoteRecord*) { return QuitPosted(); } },
    { "WM_CLOSE", [](NoteRecord*) { SendMessageA(hMainDialog, WM_CLOSE, 0, 0); }, [](NoteRecord*) { return QuitPosted(); } },
    { "note list Sichtbar", [](NoteRecord*) { OpenNoteList(hMainDialog), SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_VISIBLE, 0); },
      [](NoteRecord* n) { return !n->window && !n->visible; } },
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
    BoxAnswer* boxes = AnswerEveryBox(TEXT_ERROR_CAPTION);
    action.run(notes[0]);
    EXPECT_TRUE(boxes->count >= 1 && !QuitPosted()) << action.name;
    for (int i = 0; i < 2; i++)
        EXPECT_TRUE(notes[i]->window == windows[i] && IsWindowVisible(windows[i]) && notes[i]->visible == 1 &&
                    EditorText(notes[i]->editor) == texts[i]) << action.name << ", note " << i;
    GetWindowRect(windows[0], &after);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top) << action.name << " rolled the note up";
    EXPECT_TRUE(NotesHidden == 0 && NotesOnTop == 0) << action.name;

    failing = nullptr;
    action.run(notes[0]);
    EXPECT_TRUE(action.done(notes[0])) << action.name << " once the disk takes the text";
}
INSTANTIATE_TEST_SUITE_P(Actions, FailedSave, ::testing::Range(0, static_cast<int>(sizeof Actions / sizeof Actions[0])));

// "Notes verbergen" chosen while the hide button's error box is open hides
// the windows; no other note may be marked hidden for the button's window.
TEST_F(LossTest, HideAllInsideTheErrorBoxMarksNoNoteHidden)
{
    NoteRecord *first = Shown("eins"), *second = Shown("zwei");
    failing = "\\";
    BoxAnswer* box = AnswerNextBox(TEXT_ERROR_CAPTION, IDOK, [](HWND) { failing = nullptr, RunTrayCommand(IDM_TRAY_HIDE_NOTES); });
    PressHide(second->window);
    ASSERT_TRUE(box->answered);
    EXPECT_TRUE(!first->window && !second->window);
    EXPECT_TRUE(first->visible == 1 && second->visible == 1);
}

// ---- The note list ---------------------------------------------------------------------
TEST_F(LossTest, ListDeleteKeepsTheFileWhileTheIndexStillListsTheNote)
{
    NoteRecord* note = Shown("bleibt");
    ASSERT_EQ(SaveNotes(), 1);
    std::string file = InDataFolder(note->fileName), index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
    AppSettings.safeMode = 0, failing = "\\";
    OpenNoteList(hMainDialog);
    BoxAnswer* boxes = AnswerEveryBox(TEXT_ERROR_CAPTION);
    SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_DELETE, 0);
    EXPECT_TRUE(boxes->count == 1 && CountNotes() == 0);
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
    std::vector<NoteRecord*> others;   // a new note at the gone note's address
    NoteRecord* fresh;
    while ((fresh = NewNoteRecord()) != gone && others.size() < 100) others.push_back(fresh);
    for (NoteRecord* other : others) DiscardNote(other);
    ASSERT_EQ(fresh, gone) << "no new record took the address";
    PushNoteFront(fresh);
    for (int button : { IDC_LIST_ALARM, IDC_LIST_VISIBLE, IDC_LIST_DELETE })
        SendMessageA(hNoteListDialog, WM_COMMAND, button, 0);
    EXPECT_TRUE(IsNoteListed(fresh) && fresh->alarmOn == 0 && !fresh->window);
}

// ---- Files ---------------------------------------------------------------------------------
TEST_F(LossTest, TwoRecordsNamingOneFileGetAFileEach)
{
    NoteIndexRecord records[2] = {};
    for (NoteIndexRecord& record : records) record.width = 180, record.height = 200, strcpy(record.fileName, "ABCDEF01.dat");
    WriteFileBytes(InDataFolder(NOTE_INDEX_FILE), std::string(reinterpret_cast<char*>(records), sizeof records));
    WriteFileBytes(InDataFolder("ABCDEF01.dat"), "{\\rtf1 geteilt}");
    ASSERT_TRUE(LoadNotes() == 1 && CountNotes() == 2);
    EXPECT_STREQ(NoteList.head->fileName, "ABCDEF01.dat");
    std::string name = NoteList.head->next->fileName;
    EXPECT_NE(name, "ABCDEF01.dat");
    EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF"), name.rfind(".dat")) << name;
    RemoveNote(NoteList.head);
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
    EXPECT_FALSE(FileExists(InDataFolder(clean->fileName) + ".bak")) << "what came in whole needs no copy";
}

TEST_F(LossTest, FirstSaveOfADayBacksUpTheLastSaveAndAWeekIsKept)
{
    BackupClock = FakeClock, fakeDay = SYSTEMTIME{ 2026, 3, 0, 1, 0, 0, 0, 0 };
    NoteRecord* note = Shown("Tag 0");
    ASSERT_EQ(SaveNotes(), 1);   // nothing saved before: nothing to keep
    std::string backups = InDataFolder(BACKUP_FOLDER);
    for (WORD day = 1; day <= 8; day++) {
        fakeDay.wDay = day;
        std::string index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)), text = ReadFileBytes(InDataFolder(note->fileName));
        char folder[MAX_PATH];
        wsprintfA(folder, "%s\\2026-03-%02u\\", backups.c_str(), day);
        for (const char* typed : { "morgens", "abends" }) {   // the second save of a day leaves the backup
            SetEditorText(note->editor, typed);
            ASSERT_EQ(SaveNotes(), 1);
        }
        EXPECT_EQ(ReadFileBytes(std::string(folder) + NOTE_INDEX_FILE), index) << day;
        EXPECT_EQ(ReadFileBytes(folder + std::string(note->fileName)), text) << day;
    }
    EXPECT_FALSE(FileExists(backups + "\\2026-03-01"));
    EXPECT_TRUE(FileExists(backups + "\\2026-03-02\\" NOTE_INDEX_FILE));

    fakeDay.wDay = 9, failing = "\\" BACKUP_FOLDER "\\";   // a full disk as the backup is made
    BoxAnswer* boxes = AnswerEveryBox(TEXT_ERROR_CAPTION);
    EXPECT_TRUE(SaveNotes() == 1 && boxes->count == 0);
    EXPECT_FALSE(FileExists(backups + "\\2026-03-09"));
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find("abends"), std::string::npos);
}

// ---- Alarms and settings -------------------------------------------------------------------
TEST_F(LossTest, AlarmWithoutAWindowShowsOneBoxPerRingingAndStillCountsDown)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    NoteRecord* notes[] = { AddTestNote(), AddTestNote() };
    for (NoteRecord* n : notes)
        n->alarmOn = 1, n->alarmYear = now.wYear, n->alarmMonth = now.wMonth, n->alarmDay = now.wDay,
        n->alarmHour = now.wHour, n->alarmMinute = now.wMinute;
    notes[1]->alarmRepeatMinutes = 5;
    WNDCLASSA noteClass;
    ASSERT_TRUE(GetClassInfoA(hInstance, NoteWindowClass, &noteClass));
    ASSERT_TRUE(UnregisterClassA(NoteWindowClass, hInstance));
    BoxAnswer* boxes = AnswerEveryBox(TEXT_ERROR_CAPTION);
    for (int tick = 0; tick < 3; tick++) CheckAlarmsAt(now);
    int shown = boxes->count;
    RegisterClassA(&noteClass);
    EXPECT_EQ(shown, 2) << "one box for each note's ringing";
    EXPECT_EQ(notes[1]->reminderCountdown, 5 * 12 + 1 - 1);
    OpenNoteList(hMainDialog);
    SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_ALARM, 0);
    EXPECT_EQ(notes[0]->alarmOn, 0);
}

DWORD ReadSize(HKEY root)
{
    DWORD value = 0, size = sizeof value;
    RegGetValueA(root, SettingsKeyPath, "NotesSizeX", RRF_RT_REG_DWORD, NULL, &value, &size);
    return value;
}

TEST_F(LossTest, SettingsOfAUserWhoMayNotWriteTheMachineKey)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKeyPath);
    DWORD size = 333;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, SettingsKeyPath, "NotesSizeX", REG_DWORD, &size, sizeof size);
    MachineKeyWriteRefused = RefuseMachineKey;
    LoadSettings();
    EXPECT_EQ(AppSettings.notesSizeX, 333) << "the administrator's value";
    AppSettings.notesSizeX = 444;
    EXPECT_TRUE(SaveSettings());
    EXPECT_TRUE(ReadSize(HKEY_LOCAL_MACHINE) == 333 && ReadSize(HKEY_CURRENT_USER) == 444) << "written for the user";
    MachineKeyWriteRefused = nullptr, size = 555;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, SettingsKeyPath, "NotesSizeX", REG_DWORD, &size, sizeof size);
    LoadSettings();
    EXPECT_EQ(AppSettings.notesSizeX, 444) << "the user's own key wins";
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKeyPath);
}

}  // namespace
