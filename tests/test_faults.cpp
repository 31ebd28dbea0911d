// A disk that fails part way through a save: each step of writing the index
// or a content file fails in turn. The error box comes once, the files of
// the last good save stay whole, and the next save after the fault is gone
// writes everything.
//
// The failures are injected where the program writes (StoreFaultInjector)
// rather than made with a read-only folder or a full disk: the tests run as
// root, which ignores file permissions, and a full disk cannot be had on
// demand; to the program both look like one of these steps failing.
#include "support/test_env.h"
#include "support/box_counter.h"
#include <richedit.h>
#include <string.h>
#include "notes/autosave.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "shell/app.h"
#include "shell/ui_text.h"

namespace {

// ---- Which file of a save fails, and at which step -----------------------------------

enum FaultTarget { IndexFile, EveryContentFile, OneContentFile };
const char* const TargetNames[] = { "index", "every content file", "one content file" };
const char* const StepNames[] = { "create", "write", "flush", "replace" };

struct Fault {
    bool on;
    StoreStep step;
    FaultTarget target;
    std::string oneFile;   // the content file that fails for OneContentFile
} fault;

bool IsIndexPath(const char* path)
{
    const char* name = strrchr(path, '\\');
    name = name ? name + 1 : path;
    return _strnicmp(name, NOTE_INDEX_FILE, strlen(NOTE_INDEX_FILE)) == 0;
}

bool InjectFault(StoreStep step, const char* path)
{
    if (!fault.on || step != fault.step) return false;
    switch (fault.target) {
    case IndexFile: return IsIndexPath(path);
    case EveryContentFile: return !IsIndexPath(path);
    case OneContentFile: return strstr(path, fault.oneFile.c_str()) != NULL;
    }
    return false;
}

class FaultTest : public QuibletTest {
protected:
    static const int Notes = 3;
    void SetUp() override
    {
        QuibletTest::SetUp();
        for (int i = 0; i < Notes; i++) {
            notes[i] = AddTestNote(100 + 200 * i, 100, 180, 200);
            ASSERT_EQ(MakeNoteWindow(notes[i], NOTE_EDITOR_STYLE, NoteTextEmpty), 1);
        }
        StoreFaultInjector = InjectFault;
        fault = Fault();
        ASSERT_TRUE(boxes.watching());
    }
    void TearDown() override
    {
        StoreFaultInjector = nullptr;
        fault = Fault();
        QuibletTest::TearDown();
    }

    void WriteTexts(const char* stem, int round)
    {
        for (int i = 0; i < Notes; i++) {
            char text[64];
            wsprintfA(text, "%s %d of note %d", stem, round, i);
            SetEditorText(notes[i]->editor, text);
            SendMessageA(notes[i]->editor, EM_SETMODIFY, TRUE, 0);
        }
    }
    std::string SavedText(int i)
    {
        HWND editor = CreateWindowExA(0, "RICHEDIT", "", WS_CHILD | ES_MULTILINE, 0, 0, 100, 100,
                                      notes[0]->window, NULL, hInstance, NULL);
        std::string text = StreamFileIn(editor, SF_RTF, InDataFolder(notes[i]->fileName).c_str()) ? EditorText(editor) : "(none)";
        DestroyWindow(editor);
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
        return text;
    }
    std::string Expected(const char* stem, int round, int i)
    {
        char text[64];
        wsprintfA(text, "%s %d of note %d", stem, round, i);
        return text;
    }
    LONG SavedLeft(int i)
    {
        std::string index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
        NoteIndexRecord record = {};
        if (index.size() >= (i + 1) * sizeof record) memcpy(&record, index.data() + i * sizeof record, sizeof record);
        return record.left;
    }
    bool TempFilesLeft()
    {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(InDataFolder("*.tmp").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return false;
        FindClose(search);
        return true;
    }
    // The box a failing step of this target shows.
    static const char* BoxText(StoreStep step, FaultTarget target)
    {
        return target == IndexFile && step == StoreCreate ? TEXT_ERR_OPEN_FILE : TEXT_ERR_WRITE_FILE;
    }

    NoteRecord* notes[Notes];
    BoxCounter boxes{ TEXT_ERROR_CAPTION };
};

TEST_F(FaultTest, EachStepFailingKeepsTheLastGoodFilesAndSaysSoOnce)
{
    int round = 0, injected = 0;
    for (FaultTarget target : { IndexFile, EveryContentFile, OneContentFile }) {
        for (StoreStep step : { StoreCreate, StoreWrite, StoreFlush, StoreReplace }) {
            SCOPED_TRACE(std::string(TargetNames[target]) + " failing at " + StepNames[step]);
            round++;
            WriteTexts("good", round);
            ASSERT_EQ(SaveNotes(), 1);
            std::string goodIndex = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
            std::string goodContent[Notes];
            for (int i = 0; i < Notes; i++) goodContent[i] = ReadFileBytes(InDataFolder(notes[i]->fileName));

            WriteTexts("changed", round);
            SetWindowPos(notes[0]->window, NULL, 10 + round, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            fault = { true, step, target, notes[1]->fileName };
            boxes.reset();
            EXPECT_EQ(SaveNotes(), 0);
            fault.on = false;
            injected++;
            EXPECT_EQ(boxes.count(), 1);
            EXPECT_EQ(boxes.lastText(), BoxText(step, target));
            EXPECT_FALSE(TempFilesLeft());

            // What failed holds the last good save, byte for byte; what
            // was written holds the new state; nothing is half of either.
            std::string index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
            if (target == IndexFile) {
                EXPECT_EQ(index, goodIndex);
            }
            ASSERT_EQ(index.size(), Notes * sizeof(NoteIndexRecord));
            for (int i = 0; i < Notes; i++) {
                bool failed = target == EveryContentFile || (target == OneContentFile && i == 1);
                if (failed) {
                    EXPECT_EQ(ReadFileBytes(InDataFolder(notes[i]->fileName)), goodContent[i]) << "note " << i;
                } else if (target == IndexFile) {
                    std::string text = SavedText(i);
                    EXPECT_TRUE(text == Expected("good", round, i) || text == Expected("changed", round, i)) << text;
                } else {
                    EXPECT_EQ(SavedText(i), Expected("changed", round, i)) << "note " << i;
                }
            }

            // The fault gone, the next save writes it all without a word.
            boxes.reset();
            EXPECT_EQ(SaveNotes(), 1);
            EXPECT_EQ(boxes.count(), 0);
            EXPECT_EQ(SavedLeft(0), 10 + round);
            for (int i = 0; i < Notes; i++) EXPECT_EQ(SavedText(i), Expected("changed", round, i)) << "note " << i;
        }
    }
    printf("[ figures  ] %d faults injected into saves\n", injected);
}

// Autosave takes the editors' modified flags when it notices typing; a save
// that fails must not lose the text it was meant to write.
TEST_F(FaultTest, AutosaveSaysOnceAndWritesTheTextWhenTheFaultIsGone)
{
    DWORD now = 100000;
    int round = 0, injected = 0;
    for (FaultTarget target : { IndexFile, EveryContentFile, OneContentFile }) {
        for (StoreStep step : { StoreCreate, StoreWrite, StoreFlush, StoreReplace }) {
            SCOPED_TRACE(std::string(TargetNames[target]) + " failing at " + StepNames[step]);
            round++;
            ASSERT_EQ(SaveNotes(), 1);
            ResetAutosave();
            std::string goodIndex = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));

            fault = { true, step, target, notes[1]->fileName };
            boxes.reset();
            WriteTexts("typed", round);
            for (int tick = 0; tick < 20; tick++, now += 5000) EXPECT_FALSE(AutosaveTick(now));
            injected++;
            EXPECT_EQ(boxes.count(), 1);
            EXPECT_EQ(boxes.lastText(), BoxText(step, target));
            if (target == IndexFile) {
                EXPECT_EQ(ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)), goodIndex);
            }

            fault.on = false;
            bool saved = false;
            for (int tick = 0; tick < 20 && !saved; tick++, now += 5000) saved = AutosaveTick(now) != FALSE;
            EXPECT_TRUE(saved);
            EXPECT_EQ(boxes.count(), 1);
            for (int i = 0; i < Notes; i++) EXPECT_EQ(SavedText(i), Expected("typed", round, i)) << "note " << i;
            EXPECT_FALSE(TempFilesLeft());
        }
    }
    printf("[ figures  ] %d faults injected into autosaves\n", injected);
}

}  // namespace
