// Saving by itself after changes have rested.
#include "support/test_env.h"
#include "notes/autosave.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "shell/app.h"
#include "shell/main_dialog.h"
#include "shell/ui_text.h"

namespace {

class AutosaveTest : public QuibletTest {
protected:
    void SetUp() override
    {
        QuibletTest::SetUp();
        note = AddTestNote();
        ASSERT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextEmpty), 1);
        ASSERT_EQ(SaveNotes(), 1);
        ResetAutosave();
        savedIndex = ReadFileBytes(InDataFolder("note.dat"));
    }
    void TearDown() override
    {
        StoreFaultInjector = nullptr;
        QuibletTest::TearDown();
    }
    void Type(const char* text)
    {
        SetEditorText(note->editor, text);
        SendMessageA(note->editor, EM_SETMODIFY, TRUE, 0);
    }
    std::string Content() { return ReadFileBytes(InDataFolder(note->fileName)); }
    NoteRecord* note = nullptr;
    std::string savedIndex;
};

TEST_F(AutosaveTest, NothingChangedNothingWritten)
{
    DWORD before = SaveCount;
    for (DWORD t = 0; t < 20; t++) EXPECT_FALSE(AutosaveTick(100000 + t * 5000));
    EXPECT_EQ(SaveCount, before);
}

TEST_F(AutosaveTest, TypedTextIsSavedOnceItRests)
{
    Type("typed while nobody saved");
    EXPECT_FALSE(AutosaveTick(10000));            // just noticed
    EXPECT_EQ(Content().find("typed while"), std::string::npos);
    Type("typed while nobody saved, more");
    EXPECT_FALSE(AutosaveTick(15000));            // still typing
    EXPECT_TRUE(AutosaveTick(20000));             // rested for a tick
    EXPECT_NE(Content().find("typed while nobody saved, more"), std::string::npos);
    EXPECT_FALSE(SendMessageA(note->editor, EM_GETMODIFY, 0, 0));
    EXPECT_FALSE(AutosaveTick(25000));            // and only once
}

TEST_F(AutosaveTest, MovesSizesColoursAndAlarmsAreSaved)
{
    auto savedRecord = [&]() {
        std::string bytes = ReadFileBytes(InDataFolder("note.dat"));
        NoteIndexRecord r = {};
        if (bytes.size() >= sizeof r) memcpy(&r, bytes.data(), sizeof r);
        return r;
    };
    SetWindowPos(note->window, NULL, 123, 234, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    AutosaveTick(1000);
    ASSERT_TRUE(AutosaveTick(6000));
    EXPECT_EQ(savedRecord().left, 123);
    EXPECT_EQ(savedRecord().top, 234);

    note->alarmOn = 1;
    note->alarmHour = 7;
    SetNoteColor(note, 0x00C0C0C0);
    AutosaveTick(11000);
    ASSERT_TRUE(AutosaveTick(16000));
    EXPECT_EQ(savedRecord().alarmOn, 1);
    EXPECT_EQ(savedRecord().alarmHour, 7);
    EXPECT_EQ(savedRecord().backColor, 0x00C0C0C0u);

    CreateNote();
    AutosaveTick(21000);
    ASSERT_TRUE(AutosaveTick(26000));
    EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")).size(), 2 * 328u);
}

TEST_F(AutosaveTest, ChangesThatNeverPauseAreSavedAfterAMinute)
{
    DWORD t = 50000;
    bool saved = false;
    for (int i = 0; i < 14 && !saved; i++, t += 5000) {
        char text[32];
        wsprintfA(text, "still typing %d", i);
        Type(text);
        saved = AutosaveTick(t) != FALSE;
    }
    EXPECT_TRUE(saved);
    EXPECT_GE(t - 50000, static_cast<DWORD>(AUTOSAVE_MAX_DELAY_MS));
}

TEST_F(AutosaveTest, AFixedSaveInBetweenMakesAnotherUnneeded)
{
    Type("saved by hiding");
    AutosaveTick(1000);
    ASSERT_EQ(SaveNotes(), 1);
    DWORD count = SaveCount;
    EXPECT_FALSE(AutosaveTick(6000));
    EXPECT_EQ(SaveCount, count);
}

bool failWrites;
bool FailWrites(StoreStep step, const char*) { return failWrites && step == StoreWrite; }

TEST_F(AutosaveTest, AFailingSaveSaysSoOnceAndRecovers)
{
    std::string before = Content();
    StoreFaultInjector = FailWrites;
    failWrites = true;
    Type("disk is full");
    AutosaveTick(1000);
    BoxAnswer* first = AnswerNextBox(TEXT_ERROR_CAPTION, IDOK);
    EXPECT_FALSE(AutosaveTick(6000));
    EXPECT_TRUE(first->answered);
    EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")), savedIndex);
    EXPECT_EQ(Content(), before);

    // The same failure again: no second box (a box would block this test).
    Type("disk is still full");
    for (DWORD t = 11000; t < 40000; t += 5000) EXPECT_FALSE(AutosaveTick(t));

    failWrites = false;
    bool saved = false;
    for (DWORD t = 40000; t < 60000 && !saved; t += 5000) saved = AutosaveTick(t) != FALSE;
    EXPECT_TRUE(saved);
    EXPECT_NE(Content().find("disk is still full"), std::string::npos);
}

TEST_F(AutosaveTest, TicksInsideModalLoopsNeverSave)
{
    Type("half way through something");
    TickFromMainLoop = FALSE;
    DWORD count = SaveCount;
    for (int i = 0; i < 3; i++) SendMessageA(hMainDialog, WM_TIMER, 1, 0);
    EXPECT_EQ(SaveCount, count);
}

}  // namespace
