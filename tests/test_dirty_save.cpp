// A save writes a note's content file only when its text or format changed
// or the file is missing: every kind of change must still reach the disk,
// also after the autosave tick has taken the editor's modified flag.
#include "support/test_env.h"
#include <dlgs.h>
#include <richedit.h>
#include "notes/autosave.h"
#include "notes/note_io.h"
#include "notes/note_menus.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"

namespace {

std::string ImportPath;

void Command(HWND window, HWND editor, UINT command)
{
    CHARRANGE all = { 0, -1 };
    SendMessageA(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    RunTextCommand(editor, window, command);
}

void TypeName(HWND dialog)
{
    HWND combo = GetDlgItem(dialog, cmb13);
    HWND edit = combo ? FindWindowExA(combo, NULL, "Edit", NULL) : GetDlgItem(dialog, edt1);
    SetWindowTextA(edit ? edit : combo, ImportPath.c_str());
}

struct Change {
    const char* name;
    void (*prepare)(HWND window, HWND editor);   // before the first save
    void (*change)(HWND window, HWND editor);
};
const Change Changes[] = {
    { "typing", nullptr, [](HWND, HWND editor) { SendMessageA(editor, WM_CHAR, 'x', 0); } },
    { "bold", nullptr, [](HWND window, HWND editor) { Command(window, editor, IDM_TEXT_BOLD); } },
    { "italic", nullptr, [](HWND window, HWND editor) { Command(window, editor, IDM_TEXT_ITALIC); } },
    { "underline", nullptr, [](HWND window, HWND editor) { Command(window, editor, IDM_TEXT_UNDERLINE); } },
    { "strike-out", nullptr, [](HWND window, HWND editor) { Command(window, editor, IDM_TEXT_STRIKEOUT); } },
    { "centre", nullptr, [](HWND window, HWND editor) { Command(window, editor, IDM_TEXT_ALIGN_CENTER); } },
    { "right", nullptr, [](HWND window, HWND editor) { Command(window, editor, IDM_TEXT_ALIGN_RIGHT); } },
    { "left", [](HWND window, HWND editor) { Command(window, editor, IDM_TEXT_ALIGN_RIGHT); },
      [](HWND window, HWND editor) { Command(window, editor, IDM_TEXT_ALIGN_LEFT); } },
    { "font dialog", nullptr,
      [](HWND window, HWND editor) {
          BoxAnswer* ok = AnswerNextBox(nullptr, IDOK, [](HWND box) { SetDlgItemTextA(box, cmb3, "26"); });
          Command(window, editor, IDM_TEXT_FONT);
          EXPECT_TRUE(ok->answered);
      } },
    { "clearing", nullptr, [](HWND window, HWND) { SendMessageA(window, WM_COMMAND, IDM_NOTE_CLEAR, 0); } },
    { "import", nullptr,
      [](HWND window, HWND) {
          BoxAnswer* ok = AnswerNextBox(nullptr, IDOK, TypeName);
          ImportNoteText(window);
          EXPECT_TRUE(ok->answered);
      } },
    { "undo", [](HWND, HWND editor) { SendMessageA(editor, WM_CHAR, 'x', 0); },
      [](HWND window, HWND editor) { RunTextCommand(editor, window, IDM_TEXT_UNDO); } },
};

class DirtySaveTest : public QuibletTest {
protected:
    NoteRecord* SavedNote()
    {
        NoteRecord* note = AddTestNote();
        EXPECT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextEmpty), 1);
        SetEditorText(note->editor, "alpha beta");
        return note;
    }
};

TEST_F(DirtySaveTest, EveryKindOfChangeReachesTheFile)
{
    ImportPath = InDataFolder("import.rtf");
    ASSERT_TRUE(WriteFileBytes(ImportPath, "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 imported\\par}"));
    for (const Change& change : Changes) {
        SCOPED_TRACE(change.name);
        NoteRecord* note = SavedNote();
        if (change.prepare) change.prepare(note->window, note->editor);
        ASSERT_EQ(SaveNotes(), 1);
        std::string path = InDataFolder(note->fileName), before = ReadFileBytes(path);
        ResetAutosave();
        change.change(note->window, note->editor);
        EXPECT_FALSE(AutosaveTick(GetTickCount())) << "too soon to save";
        ASSERT_EQ(SaveNotes(), 1);
        EXPECT_NE(ReadFileBytes(path), before);
        DestroyNoteWindow(note);
    }
}

TEST_F(DirtySaveTest, UnchangedTextIsNotWrittenAgainButAMissingFileIs)
{
    NoteRecord* note = SavedNote();
    ASSERT_EQ(SaveNotes(), 1);
    std::string path = InDataFolder(note->fileName);
    ASSERT_TRUE(WriteFileBytes(path, "as written"));
    MoveWindow(note->window, 50, 60, 200, 210, TRUE);
    AutosaveTick(GetTickCount());
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(ReadFileBytes(path), "as written");
    EXPECT_EQ(ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)).substr(0, 4), std::string("\x32\0\0\0", 4));

    DestroyNoteWindow(note);
    ASSERT_TRUE(DeleteFileA(path.c_str()));
    ASSERT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile), 1);
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_TRUE(FileExists(path));
}

}  // namespace
