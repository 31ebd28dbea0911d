// Nothing is lost when a save fails or a file is odd: windows stay until
// their text is on disk, deleted notes keep their file until the index
// forgets them, stale records are never acted on, and originals survive.
#include "support/test_env.h"
#include <commctrl.h>
#include <filesystem>
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

// Every file whose path holds this part cannot be created (null: none).
const char* failing;
bool FailCreating(StoreStep step, const char* path) { return failing && step == StoreCreate && strstr(path, failing); }
// From now on files whose path holds `part` cannot be created; the error boxes are answered.
BoxAnswer* FailFrom(const char* part) { return failing = part, AnswerEveryBox(TEXT_ERROR_CAPTION); }

SYSTEMTIME fakeDay;   // what the backup clock reads

bool QuitPosted() { MSG msg; return PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != 0; }

// The harness itself resets the store's fault injector and the registry key.
struct LossTest : QuibletTest {
    void SetUp() override { QuibletTest::SetUp(), failing = nullptr, StoreFaultInjector = FailCreating; }
    void TearDown() override { BackupClock = GetLocalTime, MachineKeyWriteRefused = nullptr, QuibletTest::TearDown(); }
};

// ---- A failed save before windows go leaves them all -------------------------
// (The note menu's "Notes verbergen" takes the tray command's path.)
// Failures name the row by its number.
void (*const Actions[])(HWND note) = {
    [](HWND note) {   // 0: the hide button
        RECT rect;
        GetWindowRect(note, &rect);
        SendMessageA(note, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(rect.right - 30, rect.top + 10));
    },
    [](HWND) { RunTrayCommand(IDM_TRAY_HIDE_NOTES); },   // 1: tray "Notes verbergen"
    [](HWND) { RunTrayCommand(IDM_TRAY_ON_TOP); },   // 2: "Immer im Vordergrund"
    [](HWND) { RunTrayCommand(IDM_TRAY_QUIT); },   // 3: "Beenden"
    [](HWND) { SendMessageA(hMainDialog, WM_CLOSE, 0, 0); },   // 4
    [](HWND) { OpenNoteList(hMainDialog), SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_VISIBLE, 0); },   // 5
    [](HWND note) { SendMessageA(note, WM_CLOSE, 0, 0); },   // 6
    [](HWND note) { SendMessageA(note, WM_SYSCOMMAND, SC_CLOSE, 0); },   // 7: Alt+F4
    [](HWND note) {   // 8: taskkill, a close request to every window at once
        for (HWND window : { note, hMainDialog }) PostMessageA(window, WM_CLOSE, 0, 0);
        PumpPending();
    },
};

class FailedSave : public LossTest, public ::testing::WithParamInterface<int> {};

TEST_P(FailedSave, KeepsEveryWindowUntilTheDiskTakesTheText)
{
    NoteRecord* notes[] = { ShownNote("erster Text"), ShownNote("zweiter Text") };
    HWND windows[] = { notes[0]->window, notes[1]->window };   // the same windows must stay
    BoxAnswer* boxes = FailFrom("\\");
    Actions[GetParam()](windows[0]);
    // The error box shows the action tried to save (what it does then is tested with the shell).
    EXPECT_TRUE(boxes->count == 1 && !QuitPosted() && NotesHidden == 0 && NotesOnTop == 0) << GetParam();
    for (int i = 0; i < 2; i++)
        EXPECT_TRUE(notes[i]->window == windows[i] && IsWindowVisible(windows[i]) && notes[i]->visible == 1) << i;
}
INSTANTIATE_TEST_SUITE_P(Actions, FailedSave, ::testing::Range(0, static_cast<int>(sizeof Actions / sizeof Actions[0])));

// "Notes verbergen" chosen while the hide button's error box is open hides
// the windows; no other note may be marked hidden for the button's window.
TEST_F(LossTest, HideAllInsideTheErrorBoxMarksNoNoteHidden)
{
    NoteRecord *first = ShownNote("eins"), *second = ShownNote("zwei");
    failing = "\\";
    AnswerNextBox(TEXT_ERROR_CAPTION, IDOK, [](HWND) { failing = nullptr, RunTrayCommand(IDM_TRAY_HIDE_NOTES); });
    Actions[0](second->window);   // the hide button; only Notes verbergen in its box can take the first window
    EXPECT_TRUE(!first->window && !second->window && first->visible == 1 && second->visible == 1);
}

// ---- Close requests and the session's end ----------------------------------------
// Only the user's own delete removes a note: a close request ends the program
// as "Beenden" does, every note saved; Alt+F4 in a note hides it, unasked.
struct CloseRequest { const char* name; bool toNote; UINT message; WPARAM wParam; LPARAM lParam; bool quits; };
const CloseRequest CloseRequests[] = {
    { "a note's close", true, WM_CLOSE, 0, 0, true },
    { "the main dialog's close", false, WM_CLOSE, 0, 0, true },
    { "the Restart Manager", false, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, true },
    { "Alt+F4 in a note", true, WM_SYSCOMMAND, SC_CLOSE, 0, false },
};

class CloseRequestTest : public LossTest, public ::testing::WithParamInterface<int> {};

TEST_P(CloseRequestTest, SavesEveryNoteAndDeletesNone)
{
    const CloseRequest& request = CloseRequests[GetParam()];
    SCOPED_TRACE(request.name);
    ASSERT_EQ(AppSettings.safeMode, 1u) << "the question before deleting is on";
    const char* texts[] = { "eins", "zwei" };
    NoteRecord* notes[] = { ShownNote(texts[0]), ShownNote(texts[1]) };
    std::string names[] = { notes[0]->fileName, notes[1]->fileName };
    SendMessageA(request.toNote ? notes[0]->window : hMainDialog, request.message, request.wParam, request.lParam);
    if (request.quits) SendMessageA(hMainDialog, WM_CLOSE, 0, 0);   // taskkill's request to the next window
    EXPECT_EQ(QuitPosted(), request.quits);
    std::string index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
    ASSERT_EQ(index.size(), sizeof(NoteIndexRecord[2]));
    const NoteIndexRecord* records = reinterpret_cast<const NoteIndexRecord*>(index.data());
    for (int i = 0; i < 2; i++) {
        EXPECT_STREQ(records[i].fileName, names[i].c_str()) << i;
        EXPECT_EQ(records[i].visible, 1) << i << ": as shown at the save, not as closed after it";
        EXPECT_NE(ReadFileBytes(InDataFolder(names[i])).find(texts[i]), std::string::npos) << i;
    }
    ASSERT_EQ(CountNotes(), 2);
    EXPECT_EQ(notes[0]->window, (HWND)NULL);
    EXPECT_EQ(notes[0]->visible, 0);
    EXPECT_EQ(notes[1]->window == NULL, request.quits);
}
INSTANTIATE_TEST_SUITE_P(Requests, CloseRequestTest, ::testing::Range(0, static_cast<int>(std::size(CloseRequests))));

// No box may hold up the shutdown screen (an unexpected box fails the test);
// after a failed save the Restart Manager's request leaves the windows.
TEST_F(LossTest, SessionEndSavesQuietly)
{
    NoteRecord* note = ShownNote("bleibt");
    failing = "\\";
    SendMessageA(hMainDialog, WM_ENDSESSION, TRUE, 0);
    SendMessageA(hMainDialog, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    EXPECT_FALSE(QuitPosted());
    EXPECT_NE(note->window, (HWND)NULL);
}

// ---- Autosave ------------------------------------------------------------------------
// A failing autosave says so once, however many ticks come while its box is
// open; once the folder takes files again, a later tick saves by itself.
TEST_F(LossTest, FailingAutosaveShowsOneBoxAndSavesOnceTheFolderTakesFiles)
{
    NoteRecord* note = ShownNote("getippt");
    MSG tick = { hMainDialog, WM_TIMER, MAIN_TIMER_ID, 0, 1000 };
    DispatchFromMainLoop(tick);   // notices the text
    failing = "\\";
    BoxAnswer* box = AnswerNextBox(TEXT_ERROR_CAPTION, IDOK, [&tick](HWND) {
        for (int i = 0; i < 3; i++) {
            tick.time += MAIN_TIMER_PERIOD;
            DispatchFromMainLoop(tick);
        }
        failing = nullptr;
    });
    tick.time += MAIN_TIMER_PERIOD;
    DispatchFromMainLoop(tick);   // the save fails
    EXPECT_EQ(box->count, 1);
    tick.time += MAIN_TIMER_PERIOD;
    DispatchFromMainLoop(tick);
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find("getippt"), std::string::npos);
}

// ---- The note list ---------------------------------------------------------------------
TEST_F(LossTest, NoteListKeepsDeletedFilesWhileIndexedAndNeverActsOnAStaleRecord)
{
    NoteRecord* note = ShownNote("bleibt");
    ASSERT_EQ(SaveNotes(), 1);
    std::string file = InDataFolder(note->fileName), index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
    AppSettings.safeMode = 0;
    OpenNoteList(hMainDialog);
    BoxAnswer* boxes = FailFrom("\\");
    SendMessageA(hNoteListDialog, WM_COMMAND, IDC_LIST_DELETE, 0);
    EXPECT_TRUE(boxes->count == 1 && CountNotes() == 0);
    EXPECT_EQ(ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)), index);
    EXPECT_NE(ReadFileBytes(file).find("bleibt"), std::string::npos);

    // Nor does the list ever act on a new note at a gone note's address.
    failing = nullptr;
    SendMessageA(hNoteListDialog, WM_COMMAND, IDC_CLOSE, 0);
    NoteRecord* gone = AddTestNote();
    OpenNoteList(hMainDialog);
    ASSERT_EQ(CurrentListNote, gone);
    RemoveNote(gone);
    NoteRecord* fresh = nullptr;   // new notes (listed, so freed at the end) until one takes the gone note's address
    while (fresh != gone && CountNotes() < 100) PushNoteFront(fresh = NewNoteRecord());
    ASSERT_EQ(fresh, gone) << "no new record took the address";
    for (int button : { IDC_LIST_ALARM, IDC_LIST_VISIBLE, IDC_LIST_DELETE })
        SendMessageA(hNoteListDialog, WM_COMMAND, button, 0);
    EXPECT_TRUE(IsNoteListed(fresh) && fresh->alarmOn == 0 && !fresh->window);
}

// The delete button's note keeps its file, and its ".bak" keeper, until
// "note.dat" is written without it.
TEST_F(LossTest, DeletedNotesKeepTheirFilesUntilTheIndexForgetsThem)
{
    NoteRecord* note = ShownNote("bleibt");
    ASSERT_EQ(SaveNotes(), 1);
    const std::string file = InDataFolder(note->fileName);
    WriteFileBytes(file + ".bak", "Original");
    AppSettings.safeMode = 0;
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_DELETE, 0);
    EXPECT_TRUE(FileExists(file));
    FailFrom(NOTE_INDEX_FILE);
    EXPECT_EQ(SaveNotes(), 0);
    EXPECT_TRUE(FileExists(file));
    failing = nullptr;
    EXPECT_EQ(SaveNotes(), 1);
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(FileExists(file + ".bak"));
}

// ---- Files ---------------------------------------------------------------------------------
// Two records naming one file get a file each; content the editor cannot
// take in whole is kept beside the note.
TEST_F(LossTest, OddFilesKeepTheirOriginals)
{
    WriteFileBytes(InDataFolder("ABCDEF11D9A3B1.dat"), "");
    WIN32_FIND_DATAA found;
    FindClose(FindFirstFileA(InDataFolder("ABCDEF11D9A3B1.dat").c_str(), &found));
    // One file by one name, by names that differ in case, by its short alias.
    const char* sharers[][2] = {
        { "ABCDEF01.dat", "ABCDEF01.dat" },
        { "\xC4rger.dat", "\xE4rger.dat" },   // the code page's upper and lower A umlaut
        { "ABCDEF11D9A3B1.dat", found.cAlternateFileName },
    };
    for (const auto& names : sharers) {
        NoteIndexRecord records[2] = {};
        for (int i = 0; i < 2; i++) records[i].width = 180, records[i].height = 200, strcpy(records[i].fileName, names[i]);
        WriteFileBytes(InDataFolder(NOTE_INDEX_FILE), std::string(reinterpret_cast<char*>(records), sizeof records));
        WriteFileBytes(InDataFolder(names[0]), "{\\rtf1 geteilt}");
        ASSERT_EQ(LoadNotes(), 1);
        ASSERT_EQ(CountNotes(), 2);
        std::string name = NoteList.head->next->fileName;
        RemoveNote(NoteList.head);
        ASSERT_EQ(SaveNotes(), 1);   // deletes its file: the other note's own copy stays
        EXPECT_EQ(ReadFileBytes(InDataFolder(name.c_str())), "{\\rtf1 geteilt}") << names[1];
        RemoveNote(NoteList.head);
    }
    struct { const char* bytes; const char* words; } files[] = {
        { "x{\\rtf1 Hallo Welt}", "Hallo Welt" },   // a stray byte before the header must not empty the note
        { "{\\rtf1 Vorne}Hinten", "Hinten" },
        { "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt Verweis}} Ende}", "Verweis" },
    };
    for (const auto& file : files) {
        NoteRecord* note = AddTestNote();
        std::string path = InDataFolder(note->fileName);
        WriteFileBytes(path, file.bytes);
        ASSERT_TRUE(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile) == 1 && SaveNotes() == 1);
        bool shown = ReadFileBytes(path).find(file.words) != std::string::npos;
        EXPECT_TRUE(shown || (file.bytes[0] != 'x' && ReadFileBytes(path + ".bak") == file.bytes)) << file.bytes;
    }
    // A later original of other bytes is kept too.
    NoteRecord* note = NoteList.head;
    std::string path = InDataFolder(note->fileName);
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
    ListView_SetItemState(GetDlgItem(hNoteListDialog, IDC_LIST_VIEW), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    HWND preview = GetDlgItem(hNoteListDialog, IDC_LIST_PREVIEW);
    EXPECT_EQ(EditorText(preview), "Hallo");
    EXPECT_EQ(SendMessageA(preview, EM_GETLIMITTEXT, 0, 0), NOTE_TEXT_LIMIT);
    EXPECT_FALSE(FileExists(InDataFolder(note->fileName) + ".bak"));
}

TEST_F(LossTest, FirstSaveOfADayBacksUpTheLastSaveAndAWeekIsKept)
{
    BackupClock = [](SYSTEMTIME* now) { *now = fakeDay; }, fakeDay = SYSTEMTIME{ 2026, 3, 0, 1, 0, 0, 0, 0 };
    NoteRecord* note = ShownNote("Tag 0");
    ASSERT_EQ(SaveNotes(), 1);   // nothing saved before: nothing to keep
    std::string backups = InDataFolder(BACKUP_FOLDER), file = InDataFolder(note->fileName);
    // An old day holding a folder and a file the program did not make beside
    // a read-only copy it made, and a day after today.
    std::string stuck = backups + "\\2026-02-28\\";
    std::filesystem::create_directories(stuck + "sub");
    std::filesystem::create_directories(backups + "\\2099-12-31");
    NoteIndexRecord listed = {};
    strcpy(listed.fileName, "x.dat");
    WriteFileBytes(stuck + NOTE_INDEX_FILE, std::string(reinterpret_cast<char*>(&listed), sizeof listed));
    WriteFileBytes(stuck + "x.dat", "kopiert");
    SetFileAttributesA((stuck + "x.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(stuck + "mine.txt", "fremd");
    for (WORD& day = fakeDay.wDay; day <= 8; day++) {   // the clock's day, 9 after the loop
        std::string folder = backups + "\\2026-03-0" + char('0' + day) + "\\";
        std::string saved = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)) + ReadFileBytes(file);
        SetEditorText(note->editor, folder.c_str());
        ASSERT_TRUE(SaveNotes() == 1 && SaveNotes() == 1);   // the second save of a day leaves the backup
        EXPECT_EQ(ReadFileBytes(folder + NOTE_INDEX_FILE) + ReadFileBytes(folder + note->fileName), saved) << day;
    }
    EXPECT_FALSE(FileExists(backups + "\\2026-03-01"));
    EXPECT_TRUE(FileExists(backups + "\\2026-03-02\\" NOTE_INDEX_FILE));
    EXPECT_FALSE(FileExists(stuck + "x.dat"));
    EXPECT_TRUE(FileExists(stuck + "mine.txt"));
    BoxAnswer* boxes = FailFrom("\\" BACKUP_FOLDER "\\");   // a full disk as the backup is made
    EXPECT_TRUE(SaveNotes() == 1 && boxes->count == 0);
    failing = nullptr;
    fakeDay.wMonth = 2, fakeDay.wDay = 1;   // a clock set back before the week kept
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_TRUE(FileExists(backups + "\\2026-02-01\\" NOTE_INDEX_FILE));
    // A data folder of 234 characters, the longest start-up takes, has no room for backups.
    fakeDay.wDay = 2;
    std::string deep = dataFolder + "\\" + std::string(234 - dataFolder.size() - 1, 'd');
    CreateDirectoryA(deep.c_str(), NULL);
    lstrcpyA(DataFolder, deep.c_str());
    ASSERT_EQ(SaveNotes(), 1);
    ASSERT_EQ(SaveNotes(), 1);   // the first left nothing to back up
    EXPECT_FALSE(FileExists(deep + "\\" BACKUP_FOLDER));
}

// ---- Alarms and settings -------------------------------------------------------------------
void SetMachineSizeX(DWORD x) { RegSetKeyValueA(HKEY_LOCAL_MACHINE, SettingsKeyPath, "NotesSizeX", REG_DWORD, &x, 4); }

// What the system refuses costs the user nothing: settings of a user who may
// not write the machine key, and alarms whose windows cannot be made.
TEST_F(LossTest, RefusedMachineKeyAndAlarmWindowsLoseNothing)
{
    SetMachineSizeX(333);
    MachineKeyWriteRefused = [] { return true; };
    LoadSettings();
    EXPECT_EQ(AppSettings.notesSizeX, 333) << "the administrator's value";
    AppSettings.notesSizeX = 444;
    EXPECT_TRUE(SaveSettings());
    SetMachineSizeX(555);
    LoadSettings();
    EXPECT_EQ(AppSettings.notesSizeX, 444) << "written for the user, whose own key wins";

    // An alarm without a window shows one box per ringing and still counts down.
    const SYSTEMTIME now = { 2026, 12, 0, 6, 21, 5, 0, 0 };   // the alarms are checked at this instant
    NoteRecord* notes[] = { AddTestNote(), AddTestNote() };
    for (NoteRecord* n : notes)
        n->alarmOn = 1, n->alarmYear = now.wYear, n->alarmMonth = now.wMonth, n->alarmDay = now.wDay,
        n->alarmHour = now.wHour, n->alarmMinute = now.wMinute;
    notes[1]->alarmRepeatMinutes = 5;
    RefuseWindowsOfClass(NoteWindowClass);
    BoxAnswer* boxes = AnswerEveryBox(TEXT_ERROR_CAPTION);
    for (int tick = 0; tick < 3; tick++) CheckAlarmsAt(now);
    EXPECT_EQ(boxes->count, 2) << "one box for each note's ringing";
    EXPECT_EQ(notes[1]->reminderCountdown, 5 * 12 + 1 - 1);
}
