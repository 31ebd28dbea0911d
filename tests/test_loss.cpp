// Nothing is lost when a save fails or a file is odd: windows stay until
// their text is on disk, deleted notes keep their file until the index
// forgets them, stale records are never acted on, and originals survive.
#include "support/test_env.h"
#include <commctrl.h>
#include <filesystem>
#include "notelist/note_list_dialog.h"
#include "notes/note_backup.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/main_dialog.h"
#include "shell/ui_text.h"

// Every file whose path holds this text cannot be created (null: none).
const char* failing;

bool FailCreating(StoreStep step, const char* path)
{
    return failing && step == StoreCreate && strstr(path, failing);
}

bool SavedWith(const NoteRecord* note, const char* text)
{
    return ReadFileBytes(InDataFolder(note->fileName)).find(text) != std::string::npos;
}

// The harness itself resets the store's fault injector.
struct LossTest : QuibletTest {
    void SetUp() override
    {
        QuibletTest::SetUp();
        failing = nullptr;
        StoreFaultInjector = FailCreating;
    }
    void TearDown() override
    {
        BackupClock = GetLocalTime;
        QuibletTest::TearDown();
    }
};

// ---- Failed saves and close requests -------------------------------------------
// A failed save before windows go leaves them all. Once the disk takes the
// text, the same action saves every note and deletes none: only the user's
// own delete removes a note. A close request ends the program as "Beenden"
// does; Alt+F4 in a note hides it, unasked though the question before
// deleting is on. (The note menu's "Notes verbergen" takes the tray
// command's path, the hide button Alt+F4's.)
struct Action {
    const char* name;
    void (*run)(HWND note);
    bool quits;
};
const Action Actions[] = {
    { "Notes verbergen", [](HWND) { RunTrayCommand(IDM_TRAY_HIDE_NOTES); }, false },
    { "Immer im Vordergrund", [](HWND) { RunTrayCommand(IDM_TRAY_ON_TOP); }, false },
    { "Beenden", [](HWND) { RunTrayCommand(IDM_TRAY_QUIT); }, true },
    { "the main dialog's close", [](HWND) { SendMessageA(hMainDialog, WM_CLOSE, 0, 0); }, true },
    { "the note list's hide", [](HWND) {
         OpenNoteList(hMainDialog);
         SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_VISIBLE, 0);
     }, false },
    { "a note's close", [](HWND note) { SendMessageA(note, WM_CLOSE, 0, 0); }, true },
    { "Alt+F4", [](HWND note) { SendMessageA(note, WM_SYSCOMMAND, SC_CLOSE, 0); }, false },
    // taskkill: a close request to every window at once
    { "taskkill", [](HWND note) {
         PostMessageA(note, WM_CLOSE, 0, 0);
         PostMessageA(hMainDialog, WM_CLOSE, 0, 0);
         PumpPending();
     }, true },
};

class FailedSave : public LossTest, public ::testing::WithParamInterface<int> {};

TEST_P(FailedSave, KeepsEveryWindowUntilTheDiskTakesTheText)
{
    const Action& action = Actions[GetParam()];
    SCOPED_TRACE(action.name);
    const char* texts[] = { "eins", "zwei" };
    NoteRecord* notes[] = { ShownNote(texts[0]), ShownNote(texts[1]) };
    // The same windows must stay.
    HWND windows[] = { notes[0]->window, notes[1]->window };
    failing = "\\";
    BoxAnswer* boxes = AnswerEveryBox(TEXT_ERROR_CAPTION);
    action.run(windows[0]);
    // The one error box shows the action tried to save.
    EXPECT_EQ(boxes->count, 1);
    EXPECT_FALSE(QuitPending);
    EXPECT_EQ(NotesHidden, 0u);
    EXPECT_EQ(NotesOnTop, 0u);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(notes[i]->window, windows[i]) << i;
        EXPECT_TRUE(IsWindowVisible(windows[i])) << i;
        EXPECT_EQ(notes[i]->visible, 1) << i;
    }
    // The disk takes files again: the same action does what it does.
    failing = nullptr;
    action.run(windows[0]);
    EXPECT_FALSE(IsWindow(windows[0]));
    EXPECT_EQ(QuitPending != FALSE, action.quits);
    ASSERT_EQ(CountNotes(), 2);
    for (int i = 0; i < 2; i++) EXPECT_TRUE(SavedWith(notes[i], texts[i])) << i;
}
INSTANTIATE_TEST_SUITE_P(Actions, FailedSave, ::testing::Range(0, static_cast<int>(std::size(Actions))));

// ---- The session's end ------------------------------------------------------------
// No box may hold up the shutdown screen (an unexpected box fails the test):
// after a failed save the Restart Manager's request leaves the windows. Once
// the disk takes files the session's end saves, and the Restart Manager's
// request ends the program.
TEST_F(LossTest, SessionEndSavesQuietly)
{
    NoteRecord* note = ShownNote("bleibt");
    failing = "\\";
    SendMessageA(hMainDialog, WM_ENDSESSION, TRUE, 0);
    SendMessageA(hMainDialog, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    EXPECT_FALSE(QuitPending);
    EXPECT_NE(note->window, nullptr);
    failing = nullptr;
    SendMessageA(hMainDialog, WM_ENDSESSION, TRUE, 0);
    EXPECT_TRUE(SavedWith(note, "bleibt"));
    SendMessageA(hMainDialog, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    EXPECT_TRUE(QuitPending);
}

// ---- Autosave ------------------------------------------------------------------------
// A failing autosave says so once, however many ticks come while its box is
// open; once the folder takes files again, a later tick saves by itself.
TEST_F(LossTest, FailingAutosaveShowsOneBoxAndSavesOnceTheFolderTakesFiles)
{
    NoteRecord* note = ShownNote("getippt");
    MSG tick = { hMainDialog, WM_TIMER, MAIN_TIMER_ID, 0, 1000 };
    // The first tick notices the text.
    DispatchFromMainLoop(tick);
    failing = "\\";
    BoxAnswer* box = AnswerNextBox(TEXT_ERROR_CAPTION, IDOK, [&tick](HWND) {
        for (int i = 0; i < 3; i++) {
            tick.time += MAIN_TIMER_PERIOD;
            DispatchFromMainLoop(tick);
        }
        failing = nullptr;
    });
    // This tick's save fails.
    tick.time += MAIN_TIMER_PERIOD;
    DispatchFromMainLoop(tick);
    EXPECT_EQ(box->count, 1);
    tick.time += MAIN_TIMER_PERIOD;
    DispatchFromMainLoop(tick);
    EXPECT_TRUE(SavedWith(note, "getippt"));
}

// ---- Deleted notes ---------------------------------------------------------------------
// A note deleted by its own command or in the note list keeps its file, and
// its ".bak" keeper, until "note.dat" is written without it.
TEST_F(LossTest, DeletedNotesKeepTheirFilesUntilTheIndexForgetsThem)
{
    NoteRecord* listed = ShownNote("in der Liste");
    NoteRecord* note = ShownNote("mit dem Knopf");
    ASSERT_EQ(SaveNotes(), 1);
    const std::string files[] = { InDataFolder(listed->fileName), InDataFolder(note->fileName) };
    WriteFileBytes(files[1] + ".bak", "Original");
    AppSettings.safeMode = 0;
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_DELETE, 0);
    failing = NOTE_INDEX_FILE;
    BoxAnswer* boxes = AnswerEveryBox(TEXT_ERROR_CAPTION);
    OpenNoteList(hMainDialog);
    SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_DELETE, 0);
    EXPECT_EQ(boxes->count, 1);
    for (const std::string& file : files) EXPECT_TRUE(FileExists(file)) << file;
    failing = nullptr;
    EXPECT_EQ(SaveNotes(), 1);
    for (const std::string& file : files) EXPECT_FALSE(FileExists(file)) << file;
    EXPECT_FALSE(FileExists(files[1] + ".bak"));
}

// The note list never acts on a new note at a gone note's address.
TEST_F(LossTest, NoteListNeverActsOnAStaleRecord)
{
    NoteRecord* gone = AddTestNote();
    OpenNoteList(hMainDialog);
    ASSERT_EQ(CurrentListNote, gone);
    RemoveNote(gone);
    // New notes (listed, so freed at the end) until one takes the gone note's address.
    NoteRecord* fresh = nullptr;
    while (fresh != gone && CountNotes() < 100) {
        fresh = NewNoteRecord();
        PushNoteFront(fresh);
    }
    ASSERT_EQ(fresh, gone) << "no new record took the address";
    // Every command of the list looks for its note first.
    SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_ALARM, 0);
    EXPECT_EQ(fresh->alarmOn, 0);
}

// ---- Files ---------------------------------------------------------------------------------
// "note.dat" of records naming these files.
std::string IndexOf(const std::vector<const char*>& names)
{
    std::string bytes;
    for (const char* name : names) {
        NoteIndexRecord record = {};
        strcpy(record.fileName, name);
        bytes.append(reinterpret_cast<char*>(&record), sizeof record);
    }
    return bytes;
}

// Two records naming one file get a file each; content the editor cannot
// take in whole is kept beside the note.
TEST_F(LossTest, OddFilesKeepTheirOriginals)
{
    WriteFileBytes(InDataFolder("ABCDEF11D9A3B1.dat"), "");
    WIN32_FIND_DATAA found;
    FindClose(FindFirstFileA(InDataFolder("ABCDEF11D9A3B1.dat").c_str(), &found));
    // One file by one name, by names that differ in case (the code page's
    // upper and lower A umlaut), by its short alias.
    const char* sharers[][2] = {
        { "ABCDEF01.dat", "ABCDEF01.dat" },
        { "\xC4rger.dat", "\xE4rger.dat" },
        { "ABCDEF11D9A3B1.dat", found.cAlternateFileName },
    };
    for (const auto& names : sharers) {
        WriteFileBytes(InDataFolder(NOTE_INDEX_FILE), IndexOf({ names[0], names[1] }));
        WriteFileBytes(InDataFolder(names[0]), "{\\rtf1 geteilt}");
        LoadNotes();
        ASSERT_EQ(CountNotes(), 2);
        std::string second = InDataFolder(NoteList.head->next->fileName);
        // The save deletes the first note's file: the second note's own copy stays.
        RemoveNote(NoteList.head);
        ASSERT_EQ(SaveNotes(), 1);
        EXPECT_EQ(ReadFileBytes(second), "{\\rtf1 geteilt}") << names[1];
        RemoveNote(NoteList.head);
    }
    // Content the editor cannot take in whole is kept as it was.
    const char* odd[] = {
        "x{\\rtf1 Hallo Welt}",
        "{\\rtf1 Vorne}Hinten",
        "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt Verweis}} Ende}",
    };
    for (const char* bytes : odd) {
        NoteRecord* note = AddTestNote();
        WriteFileBytes(InDataFolder(note->fileName), bytes);
        ASSERT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile), 1);
        EXPECT_EQ(ReadFileBytes(InDataFolder(note->fileName) + ".bak"), bytes);
    }
    // A stray byte before the header must not empty the note.
    NoteRecord* note = NoteList.head;
    std::string path = InDataFolder(note->fileName);
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_TRUE(SavedWith(note, "Hallo Welt"));
    // A later original of other bytes replaces the keeper.
    WriteFileBytes(path, "{\\rtf1 Vorne}Anders");
    ASSERT_EQ(LoadNoteText(note, note->editor), 1);
    EXPECT_EQ(ReadFileBytes(path + ".bak"), "{\\rtf1 Vorne}Anders");
}

// The note list's preview takes a text whole, as a note's own editor does,
// and keeps no original of its file beside it as for a text it cut short.
TEST_F(LossTest, NoteListPreviewTakesTextsWholeAndKeepsNoOriginal)
{
    NoteRecord* note = ShownNote("Hallo");
    ASSERT_EQ(SaveNotes(), 1);
    OpenNoteList(hMainDialog);
    ListView_SetItemState(GetDlgItem(hNoteListDialog, IDC_LIST_VIEW), 0, LVIS_SELECTED, LVIS_SELECTED);
    HWND preview = GetDlgItem(hNoteListDialog, IDC_LIST_PREVIEW);
    EXPECT_EQ(EditorText(preview), "Hallo");
    EXPECT_EQ(SendMessageA(preview, EM_GETLIMITTEXT, 0, 0), NOTE_TEXT_LIMIT);
    EXPECT_FALSE(FileExists(InDataFolder(note->fileName) + ".bak"));
}

// ---- Backups ---------------------------------------------------------------------------
SYSTEMTIME fakeDay;

void WINAPI FakeClock(SYSTEMTIME* now)
{
    *now = fakeDay;
}

TEST_F(LossTest, FirstSaveOfADayBacksUpTheLastSaveAndAWeekIsKept)
{
    fakeDay = SYSTEMTIME{ 2026, 3, 0, 1 };
    BackupClock = FakeClock;
    NoteRecord* note = ShownNote("Tag 0");
    // Nothing saved before: nothing to keep.
    ASSERT_EQ(SaveNotes(), 1);
    std::string backups = InDataFolder(BACKUP_FOLDER);
    // An old day holding a folder and a file the program did not make beside
    // a read-only copy it made, and a day after today.
    std::string stuck = backups + "\\2026-02-28\\";
    std::filesystem::create_directories(stuck + "sub");
    std::filesystem::create_directories(backups + "\\2099-12-31");
    WriteFileBytes(stuck + NOTE_INDEX_FILE, IndexOf({ "x.dat" }));
    WriteFileBytes(stuck + "x.dat", "kopiert");
    SetFileAttributesA((stuck + "x.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(stuck + "mine.txt", "fremd");
    // Days 1 to 8 of the clock; the second save of a day leaves the backup.
    for (WORD& day = fakeDay.wDay; day <= 8; day++) {
        std::string folder = backups + "\\2026-03-0" + char('0' + day) + "\\";
        std::string index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
        std::string text = ReadFileBytes(InDataFolder(note->fileName));
        SetEditorText(note->editor, folder.c_str());
        ASSERT_EQ(SaveNotes(), 1);
        ASSERT_EQ(SaveNotes(), 1);
        EXPECT_EQ(ReadFileBytes(folder + NOTE_INDEX_FILE), index) << day;
        EXPECT_EQ(ReadFileBytes(folder + note->fileName), text) << day;
    }
    EXPECT_FALSE(FileExists(backups + "\\2026-03-01"));
    EXPECT_TRUE(FileExists(backups + "\\2026-03-02\\" NOTE_INDEX_FILE));
    EXPECT_TRUE(FileExists(backups + "\\2099-12-31"));
    EXPECT_FALSE(FileExists(stuck + "x.dat"));
    EXPECT_TRUE(FileExists(stuck + "mine.txt"));
    // A full disk as the backup of day 9 is made fails neither the save nor
    // shows a box (an unexpected box fails the test).
    failing = "\\" BACKUP_FOLDER "\\";
    EXPECT_EQ(SaveNotes(), 1);
    failing = nullptr;
    // A clock set back before the week kept.
    fakeDay.wMonth = 2;
    fakeDay.wDay = 1;
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_TRUE(FileExists(backups + "\\2026-02-01\\" NOTE_INDEX_FILE));
    // A data folder of 234 characters, the longest start-up takes, has no room for backups.
    fakeDay.wDay = 2;
    std::string deep = dataFolder + "\\" + std::string(234 - dataFolder.size() - 1, 'd');
    CreateDirectoryA(deep.c_str(), NULL);
    SetTestDataFolder(deep);
    // The first save leaves nothing to back up, the second would.
    ASSERT_EQ(SaveNotes(), 1);
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_FALSE(FileExists(deep + "\\" BACKUP_FOLDER));
}
