// The note list: its rows, the preview of the chosen note and its buttons.
#include "support/test_env.h"
#include <commctrl.h>
#include <richedit.h>
#include <string>
#include <vector>
#include "alarm/note_props_dialog.h"
#include "notelist/note_list_dialog.h"
#include "notes/note_record.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/ui_text.h"

namespace {

typedef std::vector<std::string> Row;

Row FormattedRow(const NoteRecord& note, int position)
{
    char texts[NOTE_LIST_COLUMNS][ROW_TEXT_SIZE];
    FormatNoteListRow(note, position, texts);
    return Row(texts, texts + NOTE_LIST_COLUMNS);
}

int CountNoteWindows()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM param) -> BOOL {
        char cls[64];
        GetClassNameA(window, cls, sizeof cls);
        if (strcmp(cls, NoteWindowClass) == 0) ++*reinterpret_cast<int*>(param);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&count));
    return count;
}

std::string Rtf(const char* text)
{
    return std::string("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ") + text + "\\par}";
}

class NoteListTest : public QuibletTest {
protected:
    HWND List() { return GetDlgItem(hNoteListDialog, IDC_LIST_VIEW); }
    HWND Preview() { return GetDlgItem(hNoteListDialog, IDC_LIST_PREVIEW); }

    void Open()
    {
        OpenNoteList(hMainDialog);
        ASSERT_NE(hNoteListDialog, (HWND)NULL) << "the list did not open";
    }

    int RowCount() { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }

    Row ShownRow(int row)
    {
        Row texts;
        for (int column = 0; column < NOTE_LIST_COLUMNS; column++) {
            char text[ROW_TEXT_SIZE] = "";
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(List(), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            texts.push_back(text);
        }
        return texts;
    }

    // What a click on a row does: the list view selects it and reports it.
    void ChooseRow(int row)
    {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }

    void Click(int id)
    {
        HWND button = GetDlgItem(hNoteListDialog, id);
        ASSERT_NE(button, (HWND)NULL) << "no button " << id;
        SendMessageA(button, BM_CLICK, 0, 0);
    }

    bool Checked(int id) { return IsDlgButtonChecked(hNoteListDialog, id) == BST_CHECKED; }

    NoteRecord* NoteWithText(const char* text, LONG visible = 0)
    {
        NoteRecord* note = AddTestNote();
        note->visible = visible;
        EXPECT_TRUE(WriteFileBytes(InDataFolder(note->fileName), Rtf(text)));
        return note;
    }

    std::vector<NoteIndexRecord> StoredRecords()
    {
        std::string bytes = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
        std::vector<NoteIndexRecord> records(bytes.size() / sizeof(NoteIndexRecord));
        if (!records.empty()) memcpy(records.data(), bytes.data(), records.size() * sizeof(NoteIndexRecord));
        return records;
    }
};

// ---- Rows --------------------------------------------------------------------

TEST_F(NoteListTest, RowTextsFollowTheRecord)
{
    NoteRecord note = {};
    EXPECT_EQ(FormattedRow(note, 0), (Row{ "1", "no", "off", "n/a", "n/a" }));
    note.visible = 1;
    note.alarmOn = 1;
    note.alarmYear = 2000;
    note.alarmMonth = 3;
    note.alarmDay = 5;
    note.alarmHour = 7;
    note.alarmMinute = 5;
    EXPECT_EQ(FormattedRow(note, 2), (Row{ "3", "yes", "on", "07:05", "05.03.2000" }));
    note.visible = 2;   // only 1 means shown
    note.alarmOn = 2;   // any non-zero alarm is on
    note.alarmYear = 1999;
    note.alarmMonth = 12;
    note.alarmDay = 24;
    note.alarmHour = 23;
    note.alarmMinute = 59;
    EXPECT_EQ(FormattedRow(note, 11), (Row{ "12", "no", "on", "23:59", "24.12.1999" }));
    NoteRecord undated = {};
    undated.alarmOn = 1;
    EXPECT_EQ(FormattedRow(undated, 0), (Row{ "1", "no", "on", "00:00", "00.00.0000" }));
}

TEST_F(NoteListTest, ShowsEveryNoteHeadFirstUnderFiveColumnsAndOpensOnce)
{
    Open();
    EXPECT_EQ(CountThreadWindows("Note - Liste"), 1);
    EXPECT_EQ(RowCount(), 0);
    const char* headers[] = { "Nr.", "Sichtbar", "Alarm", "Zeit", "Datum" };
    const int widths[] = { 30, 60, 40, 50, 70 };
    for (int column = 0; column < NOTE_LIST_COLUMNS; column++) {
        char text[32] = "";
        LVCOLUMNA info = {};
        info.mask = LVCF_TEXT | LVCF_WIDTH;
        info.pszText = text;
        info.cchTextMax = sizeof text;
        ASSERT_TRUE(SendMessageA(List(), LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info)));
        EXPECT_STREQ(text, headers[column]);
        EXPECT_EQ(info.cx, widths[column]);
    }
    // An empty list leaves only "Note erstellen", "Aktualisieren" and "Schließen".
    ASSERT_EQ(CurrentListNote, nullptr);
    for (int id : { IDC_LIST_ALARM, IDC_LIST_VISIBLE, IDC_LIST_DELETE, IDC_LIST_PROPERTIES })
        Click(id);
    EXPECT_NE(hNoteListDialog, (HWND)NULL);
    Click(IDC_LIST_REFRESH);
    EXPECT_TRUE(FileExists(InDataFolder(NOTE_INDEX_FILE)));
    EXPECT_EQ(ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)), "");
    Click(IDC_CLOSE);
    EXPECT_EQ(hNoteListDialog, (HWND)NULL);

    NoteRecord* first = AddTestNote();
    first->visible = 1;
    NoteRecord* second = AddTestNote();
    second->visible = 0;
    second->alarmOn = 1;
    second->alarmYear = 2000;
    second->alarmMonth = 3;
    second->alarmDay = 5;
    second->alarmHour = 7;
    second->alarmMinute = 5;
    AddTestNote()->visible = 0;
    NotesHidden = 1;   // keeps "Schließen" from opening windows
    Open();
    ASSERT_EQ(RowCount(), 3);
    EXPECT_EQ(ShownRow(0), (Row{ "1", "yes", "off", "n/a", "n/a" }));
    EXPECT_EQ(ShownRow(1), (Row{ "2", "no", "on", "07:05", "05.03.2000" }));
    EXPECT_EQ(ShownRow(2), (Row{ "3", "no", "off", "n/a", "n/a" }));
    EXPECT_EQ(SendMessageA(List(), LVM_GETSELECTEDCOUNT, 0, 0), 0);

    // Open already: a second opening makes no second list.
    OpenNoteList(hMainDialog);
    EXPECT_EQ(CountThreadWindows("Note - Liste"), 1);
}

// ---- Choosing a row ------------------------------------------------------------

TEST_F(NoteListTest, ChoosingARowPreviewsThatNoteFromTheDataFolder)
{
    NoteRecord* first = NoteWithText("Erste Notiz");
    NoteRecord* second = NoteWithText("Zweite Notiz", 1);
    SetNoteColor(second, RGB(0x80, 0xFF, 0xC0));
    second->alarmOn = 1;
    NoteRecord* unwritten = AddTestNote();   // has no content file yet
    unwritten->visible = 0;
    NotesHidden = 1;
    Open();
    EXPECT_EQ(CurrentListNote, first);
    EXPECT_EQ(EditorText(Preview()), "");

    // A file dialog may have left the current directory anywhere, with a
    // file of the same name in it.
    std::string elsewhere = dataFolder + "\\elsewhere";
    CreateDirectoryA(elsewhere.c_str(), NULL);
    ASSERT_TRUE(WriteFileBytes(elsewhere + "\\" + second->fileName, Rtf("Fremder Text")));
    SetCurrentDirectoryA(elsewhere.c_str());

    ChooseRow(1);
    EXPECT_EQ(CurrentListNote, second);
    EXPECT_EQ(CurrentListRow, 1);
    EXPECT_EQ(EditorText(Preview()), "Zweite Notiz");
    EXPECT_EQ(static_cast<COLORREF>(SendMessageA(Preview(), EM_SETBKGNDCOLOR, 0, RGB(0, 0, 0))), RGB(0x80, 0xFF, 0xC0));
    EXPECT_TRUE(Checked(IDC_LIST_ALARM));
    EXPECT_TRUE(Checked(IDC_LIST_VISIBLE));

    ChooseRow(2);
    EXPECT_EQ(CurrentListNote, unwritten);
    EXPECT_EQ(EditorText(Preview()), "") << "the previous note's text stayed in the preview";
    EXPECT_FALSE(Checked(IDC_LIST_ALARM));
    EXPECT_FALSE(Checked(IDC_LIST_VISIBLE));
}

TEST_F(NoteListTest, RowsArePositionsInTheListAsItIsWhenChosen)
{
    NoteRecord* alpha = NoteWithText("Alpha");
    NoteRecord* beta = NoteWithText("Beta");
    Open();
    Click(IDC_LIST_CREATE);
    ASSERT_EQ(CountNotes(), 3);
    NoteRecord* created = NoteList.head;
    EXPECT_NE(created->window, (HWND)NULL);
    EXPECT_EQ(RowCount(), 2) << "the rows were rebuilt";

    ChooseRow(1);
    EXPECT_EQ(CurrentListNote, alpha) << "row 2 stands for the second note of the changed list";
    EXPECT_EQ(EditorText(Preview()), "Alpha");
    ChooseRow(0);
    EXPECT_EQ(CurrentListNote, created);

    Click(IDC_LIST_REFRESH);
    ASSERT_EQ(RowCount(), 3);
    std::vector<NoteIndexRecord> stored = StoredRecords();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_STREQ(stored[0].fileName, created->fileName);
    EXPECT_STREQ(stored[2].fileName, beta->fileName);
    EXPECT_TRUE(FileExists(InDataFolder(created->fileName))) << "the open note's text was not saved";

    // A row beyond the list (it shrank meanwhile) rebuilds the rows instead.
    RemoveNote(beta);
    ChooseRow(2);
    EXPECT_EQ(CurrentListNote, nullptr);
    EXPECT_EQ(RowCount(), 2);
}

// ---- "Sichtbar" --------------------------------------------------------------------

TEST_F(NoteListTest, SichtbarRightAfterOpeningShowsTheFirstNoteWithItsText)
{
    NoteRecord* first = NoteWithText("Versteckt");
    NoteRecord* second = NoteWithText("Auch versteckt");
    NotesHidden = 1;
    Open();
    Click(IDC_LIST_VISIBLE);
    EXPECT_EQ(first->visible, 1);
    ASSERT_NE(first->window, (HWND)NULL);
    EXPECT_TRUE(IsWindowVisible(first->window));
    EXPECT_EQ(EditorText(first->editor), "Versteckt");
    EXPECT_TRUE(Checked(IDC_LIST_VISIBLE));
    EXPECT_EQ(ShownRow(0)[1], "yes");
    EXPECT_EQ(second->visible, 0);
    EXPECT_EQ(second->window, (HWND)NULL);
    EXPECT_FALSE(FileExists(InDataFolder(NOTE_INDEX_FILE))) << "showing a note wrote the index";

    // The editor gets the same raised limit as a note made any other way.
    ASSERT_EQ(CreateNote(), 1);
    LRESULT usual = SendMessageA(NoteList.head->editor, EM_GETLIMITTEXT, 0, 0);
    EXPECT_GT(usual, 64 * 1024);
    EXPECT_EQ(SendMessageA(first->editor, EM_GETLIMITTEXT, 0, 0), usual);
}

TEST_F(NoteListTest, HidingWritesTheTextFirstAndShowingLoadsItAgain)
{
    NoteRecord* note = AddTestNote();
    note->visible = 1;
    ASSERT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextEmpty), 1);
    SetEditorText(note->editor, "Getippt, nie gespeichert");
    HWND window = note->window;
    NotesHidden = 1;
    Open();
    ChooseRow(0);
    ASSERT_TRUE(Checked(IDC_LIST_VISIBLE));

    Click(IDC_LIST_VISIBLE);
    EXPECT_EQ(note->visible, 0);
    EXPECT_EQ(note->window, (HWND)NULL);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(Checked(IDC_LIST_VISIBLE));
    EXPECT_EQ(ShownRow(0)[1], "no");
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find("Getippt, nie gespeichert"), std::string::npos);
    std::vector<NoteIndexRecord> stored = StoredRecords();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].visible, 0);

    Click(IDC_LIST_VISIBLE);
    EXPECT_EQ(note->visible, 1);
    ASSERT_NE(note->window, (HWND)NULL);
    EXPECT_EQ(EditorText(note->editor), "Getippt, nie gespeichert");
    EXPECT_EQ(ShownRow(0)[1], "yes");

    // Shown already: "Sichtbar" on a note whose record says hidden but that
    // has a window brings that window forward and makes no second one.
    note->visible = 0;
    window = note->window;
    Click(IDC_LIST_VISIBLE);
    EXPECT_EQ(note->window, window);
    EXPECT_EQ(CountNoteWindows(), 1);
}

// ---- "Löschen" ---------------------------------------------------------------------

TEST_F(NoteListTest, LoeschenDeletesExactlyTheChosenHiddenNote)
{
    NoteRecord* shown = NoteWithText("Offen", 1);
    ASSERT_EQ(MakeNoteWindow(shown, NOTE_EDITOR_STYLE, NoteTextFromFile), 1);
    NoteRecord* hidden = NoteWithText("Versteckt");
    std::string hiddenFile = hidden->fileName;
    NoteRecord* last = NoteWithText("Letzte");
    AppSettings.safeMode = 0;
    NotesHidden = 1;
    Open();
    ChooseRow(1);
    ASSERT_EQ(CurrentListNote, hidden);
    // A question would be answered "No" and keep the note.
    BoxAnswer* question = AnswerNextBox(TEXT_DELETE_CAPTION, IDNO);
    Click(IDC_LIST_DELETE);
    EXPECT_FALSE(question->answered) << "asked although asking is off";
    EXPECT_FALSE(IsNoteListed(hidden));
    ASSERT_EQ(CountNotes(), 2);
    EXPECT_EQ(NoteList.head, shown);
    EXPECT_EQ(shown->next, last);
    EXPECT_FALSE(FileExists(InDataFolder(hiddenFile.c_str())));
    EXPECT_TRUE(FileExists(InDataFolder(shown->fileName)));
    EXPECT_TRUE(FileExists(InDataFolder(last->fileName)));
    EXPECT_TRUE(IsWindow(shown->window));
    std::vector<NoteIndexRecord> stored = StoredRecords();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_STREQ(stored[0].fileName, shown->fileName);
    EXPECT_STREQ(stored[1].fileName, last->fileName);
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(CurrentListNote, nullptr);

    // No current note now: the button does nothing.
    Click(IDC_LIST_DELETE);
    EXPECT_EQ(CountNotes(), 2);

    // With asking on, "No" keeps the note (the answer left over from above)
    // and "Yes" deletes it with its window.
    AppSettings.safeMode = 1;
    ChooseRow(0);
    Click(IDC_LIST_DELETE);
    EXPECT_TRUE(question->answered);
    EXPECT_EQ(question->text, TEXT_DELETE_QUESTION);
    EXPECT_EQ(CountNotes(), 2);
    HWND window = shown->window;
    BoxAnswer* yes = AnswerNextBox(TEXT_DELETE_CAPTION, IDYES);
    Click(IDC_LIST_DELETE);
    EXPECT_TRUE(yes->answered);
    EXPECT_EQ(CountNotes(), 1);
    EXPECT_EQ(NoteList.head, last);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(StoredRecords().size(), 1u);
}

// Another part of the program (the note's own delete button) removes the
// current note while the list is open.
TEST_F(NoteListTest, ANoteDeletedElsewhereIsNeverActedOn)
{
    NoteRecord* doomed = NoteWithText("Weg");
    NoteRecord* other = NoteWithText("Bleibt");
    other->alarmOn = 0;
    AppSettings.safeMode = 0;
    NotesHidden = 1;
    Open();
    ChooseRow(0);
    ASSERT_EQ(CurrentListNote, doomed);
    ASSERT_EQ(MakeNoteWindow(doomed, NOTE_EDITOR_STYLE, NoteTextFromFile), 1);
    HWND window = doomed->window;
    DeleteNote(window);
    DestroyWindow(window);

    for (int id : { IDC_LIST_ALARM, IDC_LIST_VISIBLE, IDC_LIST_DELETE, IDC_LIST_PROPERTIES }) {
        Click(id);
        EXPECT_EQ(CurrentListNote, nullptr) << "after button " << id;
        EXPECT_EQ(RowCount(), 1) << "rows not rebuilt after button " << id;
        ASSERT_NE(hNoteListDialog, (HWND)NULL) << "button " << id << " closed the list";
    }
    ASSERT_EQ(CountNotes(), 1);
    EXPECT_EQ(NoteList.head, other);
    EXPECT_EQ(other->alarmOn, 0);
    EXPECT_EQ(other->visible, 0);
    EXPECT_EQ(other->window, (HWND)NULL);
    EXPECT_TRUE(FileExists(InDataFolder(other->fileName)));
    EXPECT_EQ(hNotePropsDialog, (HWND)NULL);
    EXPECT_EQ(ShownRow(0), (Row{ "1", "no", "off", "n/a", "n/a" }));
}

// ---- "Alarm", "Einstellungen", "Schließen" ----------------------------------------

TEST_F(NoteListTest, AlarmSwitchesTheChosenNoteAndItsRowOnly)
{
    NoteRecord* first = AddTestNote();
    NoteRecord* second = AddTestNote();
    second->visible = 0;
    NotesHidden = 1;
    Open();
    // A notification other than a plain click is no command.
    SendMessageA(hNoteListDialog, WM_COMMAND, MAKEWPARAM(IDC_LIST_ALARM, BN_DOUBLECLICKED), 0);
    EXPECT_EQ(first->alarmOn, 0);

    ChooseRow(1);
    Click(IDC_LIST_ALARM);
    EXPECT_EQ(second->alarmOn, 1);
    EXPECT_TRUE(Checked(IDC_LIST_ALARM));
    EXPECT_EQ(ShownRow(1), (Row{ "2", "no", "on", "00:00", "00.00.0000" }));
    EXPECT_EQ(first->alarmOn, 0);
    EXPECT_EQ(ShownRow(0)[2], "off");
    Click(IDC_LIST_ALARM);
    EXPECT_EQ(second->alarmOn, 0);
    EXPECT_FALSE(Checked(IDC_LIST_ALARM));
    EXPECT_EQ(ShownRow(1), (Row{ "2", "no", "off", "n/a", "n/a" }));
    EXPECT_FALSE(FileExists(InDataFolder(NOTE_INDEX_FILE))) << "switching the alarm wrote the index";
}

TEST_F(NoteListTest, EinstellungenClosesTheListAndOpensTheChosenNotesProperties)
{
    AddTestNote();
    NoteRecord* second = AddTestNote();
    NotesHidden = 1;
    Open();
    ChooseRow(1);
    Click(IDC_LIST_PROPERTIES);
    EXPECT_EQ(hNoteListDialog, (HWND)NULL);
    EXPECT_EQ(NoteListDialogOpen, 0u);
    EXPECT_EQ(CountThreadWindows("Note - Liste"), 0);
    EXPECT_NE(hNotePropsDialog, (HWND)NULL);
    EXPECT_EQ(CurrentPropsNote, second);
    Open();
    EXPECT_EQ(NoteListDialogOpen, 1u);
}

TEST_F(NoteListTest, SchliessenShowsTheVisibleNotesUnlessNotesAreHidden)
{
    NoteRecord* visible = NoteWithText("Sichtbar", 1);
    NoteRecord* hidden = NoteWithText("Versteckt", 0);
    NotesHidden = 1;
    Open();
    Click(IDC_CLOSE);
    EXPECT_EQ(hNoteListDialog, (HWND)NULL);
    EXPECT_EQ(NoteListDialogOpen, 0u);
    EXPECT_EQ(visible->window, (HWND)NULL);
    EXPECT_EQ(hidden->window, (HWND)NULL);

    NotesHidden = 0;
    Open();
    Click(IDC_CLOSE);
    EXPECT_EQ(hNoteListDialog, (HWND)NULL);
    ASSERT_NE(visible->window, (HWND)NULL);
    EXPECT_EQ(EditorText(visible->editor), "Sichtbar");
    EXPECT_EQ(hidden->window, (HWND)NULL);
    EXPECT_FALSE(FileExists(InDataFolder(NOTE_INDEX_FILE)));
}

}  // namespace
