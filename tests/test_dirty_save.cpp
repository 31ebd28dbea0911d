// A save writes a note's content file only when its text or format changed
// or the file is missing: every kind of change must still reach the disk,
// also after the autosave tick has taken the editor's modified flag.
#include "support/test_env.h"
#include <dlgs.h>
#include "notes/autosave.h"
#include "notes/note_menus.h"
#include "notes/note_store.h"
#include "resources/resource.h"

namespace {

const UINT TYPE_X = 'x', DELETE_FILE = 1;   // besides the menu commands

// Fills in the dialog a command opens: a size in the font dialog, the file in the import dialog.
void FillIn(HWND dialog)
{
    SetDlgItemTextA(dialog, cmb3, "26");
    HWND combo = GetDlgItem(dialog, cmb13);
    HWND edit = combo ? FindWindowExA(combo, NULL, "Edit", NULL) : GetDlgItem(dialog, edt1);
    SetWindowTextA(edit ? edit : combo, InDataFolder("import.rtf").c_str());
}

// Runs a command on the whole text as the note's menus do.
void Apply(NoteRecord* note, UINT command)
{
    SendMessageA(note->editor, EM_SETSEL, 0, -1);
    if (command == IDM_TEXT_FONT || command == IDM_NOTE_IMPORT)
        AnswerNextBox(nullptr, IDOK, FillIn);   // unanswered, the file stays as it was
    if (command == TYPE_X)
        SendMessageA(note->editor, WM_CHAR, 'x', 0);
    else if (command == DELETE_FILE)
        DeleteFileA(InDataFolder(note->fileName).c_str());
    else if (command == IDM_NOTE_CLEAR || command == IDM_NOTE_IMPORT)
        SendMessageA(note->window, WM_COMMAND, command, 0);
    else
        RunTextCommand(note->editor, note->window, command);
}

struct Change { const char* name; UINT before, command; };   // before: run ahead of the first save (0: nothing)
const Change Changes[] = {
    { "typing", 0, TYPE_X },
    { "bold", 0, IDM_TEXT_BOLD },
    { "italic", 0, IDM_TEXT_ITALIC },
    { "underline", 0, IDM_TEXT_UNDERLINE },
    { "strike-out", 0, IDM_TEXT_STRIKEOUT },
    { "right", 0, IDM_TEXT_ALIGN_RIGHT },
    { "left", IDM_TEXT_ALIGN_RIGHT, IDM_TEXT_ALIGN_LEFT },
    { "font dialog", 0, IDM_TEXT_FONT },
    { "clearing", 0, IDM_NOTE_CLEAR },
    { "import", 0, IDM_NOTE_IMPORT },
    { "undo", TYPE_X, IDM_TEXT_UNDO },
    { "file gone", 0, DELETE_FILE },
};

using DirtySaveTest = QuibletTest;

TEST_F(DirtySaveTest, EveryKindOfChangeReachesTheFile)
{
    ASSERT_TRUE(WriteFileBytes(InDataFolder("import.rtf"), "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 imported\\par}"));
    for (const Change& change : Changes) {
        SCOPED_TRACE(change.name);
        NoteRecord* note = ShownNote("alpha beta");
        if (change.before) Apply(note, change.before);
        ASSERT_EQ(SaveNotes(), 1);
        std::string path = InDataFolder(note->fileName);
        ResetAutosave();
        Apply(note, change.command);
        EXPECT_FALSE(AutosaveTick(GetTickCount())) << "too soon to save";
        std::string before = ReadFileBytes(path);   // as the change left it
        ASSERT_EQ(SaveNotes(), 1);
        EXPECT_NE(ReadFileBytes(path), before);
    }
}

}  // namespace
