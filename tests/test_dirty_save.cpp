// A save writes a note's content file only when its text or format changed
// or the file is missing: every kind of change must still reach the disk,
// also after the autosave tick has taken the editor's modified flag.
#include "support/test_env.h"
#include <dlgs.h>
#include "notes/autosave.h"
#include "notes/note_menus.h"
#include "notes/note_store.h"
#include "resources/resource.h"

const UINT TYPE_X = 'x';
const UINT DELETE_FILE = 1;

// Fills in the import dialog's file name.
static void FillIn(HWND dialog)
{
    SetDlgItemTextA(dialog, cmb13, InDataFolder("import.rtf").c_str());
    SetDlgItemTextA(dialog, edt1, InDataFolder("import.rtf").c_str());
}

// Makes a change to the whole text as the note's menus do, or the file go.
static void Apply(NoteRecord* note, UINT change)
{
    SendMessageA(note->editor, EM_SETSEL, 0, -1);
    if (change == IDM_NOTE_IMPORT)
        AnswerNextBox(nullptr, IDOK, FillIn);
    if (change == TYPE_X)
        SendMessageA(note->editor, WM_CHAR, 'x', 0);
    else if (change == DELETE_FILE)
        DeleteFileA(InDataFolder(note->fileName).c_str());
    else if (change == IDM_NOTE_CLEAR || change == IDM_NOTE_IMPORT)
        SendMessageA(note->window, WM_COMMAND, change, 0);
    else
        RunTextCommand(note->editor, note->window, change);
}

TEST_F(QuibletTest, EveryKindOfChangeReachesTheFile)
{
    const struct { const char* name; UINT change; } changes[] = {
        { "typing", TYPE_X },
        { "bold", IDM_TEXT_BOLD },
        { "clearing", IDM_NOTE_CLEAR },
        { "import", IDM_NOTE_IMPORT },
        { "file gone", DELETE_FILE },
    };
    WriteFileBytes(InDataFolder("import.rtf"), "{\\rtf1 imported}");
    for (const auto& change : changes) {
        SCOPED_TRACE(change.name);
        NoteRecord* note = ShownNote("alpha beta");
        ASSERT_EQ(SaveNotes(), 1);
        const std::string path = InDataFolder(note->fileName);
        ResetAutosave();
        Apply(note, change.change);
        EXPECT_FALSE(AutosaveTick(GetTickCount())) << "too soon to save";
        const std::string before = ReadFileBytes(path);
        ASSERT_EQ(SaveNotes(), 1);
        EXPECT_NE(ReadFileBytes(path), before);
    }
}
