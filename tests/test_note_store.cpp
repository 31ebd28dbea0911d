// The note record, the note list and the files of the data folder.
#include "support/test_env.h"
#include <richedit.h>
#include <stddef.h>
#include <algorithm>
#include <string.h>
#include "notes/note_record.h"
#include "notes/note_store.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/ui_text.h"

namespace {

NoteIndexRecord SampleRecord(int i)
{
    NoteIndexRecord r = {};
    r.left = 10 + i;
    r.top = -20 - i;
    r.width = 180 + i;
    r.height = 200 + i;
    r.visible = i % 2;
    wsprintfA(r.fileName, "ABCDEF%02d.dat", i);
    wsprintfA(r.soundFile, "..\\sound%d.wav", i);
    r.backColor = 0x00102030 + i;
    r.alarmYear = 2030;
    r.alarmMonth = 12;
    r.alarmDayOfWeek = 3;
    r.alarmDay = 24;
    r.alarmHour = 18;
    r.alarmMinute = 30 + i;
    r.alarmOn = 1;
    r.alarmRepeatMinutes = 5;
    r.reminderCountdown = 61 + i;
    return r;
}

std::string Records(std::initializer_list<NoteIndexRecord> records)
{
    std::string bytes;
    for (const NoteIndexRecord& r : records) bytes.append(reinterpret_cast<const char*>(&r), sizeof r);
    return bytes;
}

class EditorTest : public QuibletTest {
protected:
    HWND host = NULL;
    HWND MakeEditor()
    {
        if (!host) host = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 300, NULL, NULL, hInstance, NULL);
        HWND editor = CreateWindowExA(0, "RICHEDIT", "", WS_CHILD | ES_MULTILINE, 0, 0, 400, 300, host, NULL, hInstance, NULL);
        SendMessageA(editor, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
        return editor;
    }
    void TearDown() override
    {
        if (host) DestroyWindow(host);
        QuibletTest::TearDown();
    }
};

// ---- Names, defaults and the list ------------------------------------------

TEST_F(QuibletTest, ContentFileNameFollowsTheCreationTime)
{
    SYSTEMTIME t = { 1999, 11, 2, 23, 14, 5, 30, 250 };
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&t, &ft));
    char name[NOTE_FILE_NAME_SIZE];
    FormatContentFileName(ft, name);
    EXPECT_STREQ(name, "CCE6D6A01BF35BB.dat");
    FILETIME largest = { 0xFFFFFFFF, 0xFFFFFFFF };
    FormatContentFileName(largest, name);
    EXPECT_STREQ(name, "FFFFFFFFFFFFFFFF.dat");
}

TEST_F(QuibletTest, NewNoteTakesItsDefaultsFromTheSettings)
{
    AppSettings.notesSizeX = 180;
    AppSettings.notesSizeY = 200;
    AppSettings.defaultBackColor = 0x00ABCDEF;
    strcpy(AppSettings.defaultAlarm, "..\\ring.wav");
    NoteRecord* note = NewNoteRecord();
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->left, GetSystemMetrics(SM_CXFULLSCREEN) - 210);
    EXPECT_EQ(note->top, GetSystemMetrics(SM_CYFULLSCREEN) - 230);
    EXPECT_EQ(note->backColor, 0x00ABCDEFu);
    EXPECT_STREQ(note->soundFile, "..\\ring.wav");
    EXPECT_EQ(note->visible, 1);
    EXPECT_EQ(note->alarmOn, 0);
    EXPECT_NE(note->backBrush, (HBRUSH)NULL);
    DiscardNote(note);
}

TEST_F(QuibletTest, NotesMadeInTheSameTickGetDifferentFiles)
{
    NoteRecord* first = NewNoteRecord();
    PushNoteFront(first);
    NoteRecord* second = NewNoteRecord();
    PushNoteFront(second);
    EXPECT_STRNE(first->fileName, second->fileName);
    // A file left in the folder under the next name is not taken either.
    WriteFileBytes(InDataFolder(second->fileName), "x");
    NoteRecord* third = NewNoteRecord();
    EXPECT_STRNE(third->fileName, second->fileName);
    EXPECT_STRNE(third->fileName, first->fileName);
    DiscardNote(third);
}

TEST_F(QuibletTest, FindAndDeleteOnEmptyListAndBehindAWindowlessNote)
{
    HWND someWindow = hMainDialog;
    EXPECT_EQ(FindNoteByWindow(someWindow), nullptr);
    EXPECT_EQ(DeleteNote(someWindow), 0);

    NoteRecord* windowless = AddTestNote();
    NoteRecord* shown = AddTestNote();
    shown->window = someWindow;
    EXPECT_EQ(FindNoteByWindow(someWindow), shown);
    EXPECT_EQ(FindNoteByWindow(reinterpret_cast<HWND>(0x1234)), windowless);
    EXPECT_EQ(DeleteNote(reinterpret_cast<HWND>(0x1234)), 0);
    EXPECT_EQ(DeleteNote(NULL), 0);
    EXPECT_EQ(CountNotes(), 2);

    WriteFileBytes(InDataFolder(shown->fileName), "{\\rtf1 x}");
    EXPECT_EQ(DeleteNote(someWindow), 1);
    EXPECT_FALSE(FileExists(InDataFolder(shown->fileName)));
    EXPECT_EQ(NoteList.head, windowless);
    EXPECT_EQ(windowless->next, nullptr);
}

TEST_F(QuibletTest, FreeNotesReleasesEveryBrush)
{
    int before = CountGdiObjects();
    for (int i = 0; i < 50; i++) AddTestNote();
    EXPECT_GE(CountGdiObjects(), before + 50);
    FreeNotes();
    EXPECT_EQ(NoteList.head, nullptr);
    EXPECT_EQ(CountGdiObjects(), before);
}

// ---- The index file -----------------------------------------------------------

TEST_F(QuibletTest, RecordFieldsLieAtTheirOffsets)
{
    EXPECT_EQ(offsetof(NoteIndexRecord, fileName), 20u);
    EXPECT_EQ(offsetof(NoteIndexRecord, soundFile), 41u);
    EXPECT_EQ(offsetof(NoteIndexRecord, backColor), 304u);
    EXPECT_EQ(offsetof(NoteIndexRecord, alarmOn), 320u);
    EXPECT_EQ(offsetof(NoteIndexRecord, reminderCountdown), 324u);

    NoteRecord* note = AddTestNote(-5, 7, 300, 250);
    strcpy(note->fileName, "CCE6D6A01BF35BB.dat");
    note->backColor = 0x00FECBCB;
    note->alarmYear = 2000;
    note->alarmMinute = 5;
    note->alarmOn = 1;
    note->reminderCountdown = 61;
    ASSERT_EQ(SaveNotes(), 1);
    std::string bytes = ReadFileBytes(InDataFolder("note.dat"));
    ASSERT_EQ(bytes.size(), 328u);
    auto i32 = [&](size_t at) { int32_t v; memcpy(&v, bytes.data() + at, 4); return v; };
    auto u16 = [&](size_t at) { uint16_t v; memcpy(&v, bytes.data() + at, 2); return v; };
    EXPECT_EQ(i32(0), -5);
    EXPECT_EQ(i32(4), 7);
    EXPECT_EQ(i32(8), 300);
    EXPECT_EQ(i32(12), 250);
    EXPECT_EQ(i32(16), 1);
    EXPECT_STREQ(bytes.data() + 20, "CCE6D6A01BF35BB.dat");
    EXPECT_STREQ(bytes.data() + 41, AppSettings.defaultAlarm);
    EXPECT_EQ(static_cast<uint32_t>(i32(304)), 0x00FECBCBu);
    EXPECT_EQ(u16(308), 2000);
    EXPECT_EQ(u16(318), 5);
    EXPECT_EQ(u16(320), 1);
    EXPECT_EQ(i32(324), 61);
}

TEST_F(QuibletTest, ShortTailIsIgnoredAndOrderKept)
{
    std::string bytes = Records({ SampleRecord(1), SampleRecord(2), SampleRecord(3) }) + std::string(100, '\x7F');
    WriteFileBytes(InDataFolder("note.dat"), bytes);
    ASSERT_EQ(LoadNotes(), 1);
    ASSERT_EQ(CountNotes(), 3);
    EXPECT_STREQ(NoteAtPosition(0)->fileName, "ABCDEF01.dat");
    EXPECT_STREQ(NoteAtPosition(2)->fileName, "ABCDEF03.dat");
    EXPECT_EQ(NoteAtPosition(1)->reminderCountdown, 63);
    EXPECT_EQ(NoteAtPosition(1)->alarmDayOfWeek, 3);
    EXPECT_EQ(NoteAtPosition(0)->frameState, 0);
    EXPECT_EQ(NoteAtPosition(0)->window, (HWND)NULL);

    // Saving before any note has a window gives back the same bytes.
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")), bytes.substr(0, 3 * 328));
}

TEST_F(QuibletTest, EmptyListSavesAnEmptyIndex)
{
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_TRUE(FileExists(InDataFolder("note.dat")));
    EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")).size(), 0u);
    EXPECT_EQ(LoadNotes(), 1);
    EXPECT_EQ(CountNotes(), 0);
    DeleteFileA(InDataFolder("note.dat").c_str());
    EXPECT_EQ(LoadNotes(), 0);
}

TEST_F(QuibletTest, HostileIndexLoadsWithoutHarm)
{
    std::string outside = std::string(DataFolder) + "\\..\\victim.dat";
    WriteFileBytes(outside, "precious");
    NoteIndexRecord records[6];
    for (int i = 0; i < 6; i++) records[i] = SampleRecord(i);
    memset(records[0].fileName, 'F', sizeof records[0].fileName);     // unterminated
    memset(records[0].soundFile, 'S', sizeof records[0].soundFile);   // unterminated
    strcpy(records[1].fileName, "..\\victim.dat");
    strcpy(records[2].fileName, "C:victim.dat");
    strcpy(records[3].fileName, "");
    strcpy(records[4].fileName, "note.dat");
    records[5].width = 0x7FFFFFFF;
    records[5].height = -40;
    records[5].left = -2000000000;
    std::string bytes;
    for (auto& r : records) bytes.append(reinterpret_cast<const char*>(&r), sizeof r);
    WriteFileBytes(InDataFolder("note.dat"), bytes);

    ASSERT_EQ(LoadNotes(), 1);
    ASSERT_EQ(CountNotes(), 6);
    EXPECT_EQ(strlen(NoteAtPosition(0)->fileName), 20u);
    EXPECT_EQ(strlen(NoteAtPosition(0)->soundFile), 259u);
    for (int i = 1; i <= 4; i++) {
        const char* name = NoteAtPosition(i)->fileName;
        EXPECT_TRUE(IsSafeContentFileName(name)) << name;
        EXPECT_EQ(strpbrk(name, "\\/:"), nullptr) << name;
        EXPECT_STRNE(name, "note.dat");
    }
    EXPECT_GE(NoteAtPosition(5)->width, 1);
    EXPECT_LE(NoteAtPosition(5)->width, 0x7FFF);
    EXPECT_GE(NoteAtPosition(5)->height, 1);

    // Deleting every note touches nothing outside the data folder.
    while (NoteList.head) RemoveNote(NoteList.head);
    EXPECT_EQ(ReadFileBytes(outside), "precious");
    DeleteFileA(outside.c_str());
}

TEST_F(QuibletTest, SafeContentFileNames)
{
    const char* safe[] = { "CCE6D6A01BF35BB.dat", "1.dat", "my note.rtf" };
    const char* unsafe[] = { "", "..", "..\\x.dat", "a\\b.dat", "a/b.dat", "C:x.dat", "note.dat",
                             "NOTE.DAT", "CON", "nul.dat", "COM1", "x.dat.tmp", "a*b", "trailing." };
    for (const char* name : safe) EXPECT_TRUE(IsSafeContentFileName(name)) << name;
    for (const char* name : unsafe) EXPECT_FALSE(IsSafeContentFileName(name)) << name;
}

// ---- Failed and interrupted saves -------------------------------------------------

StoreStep failingStep;
int failuresLeft;
bool FailStep(StoreStep step, const char*)
{
    if (step != failingStep || failuresLeft == 0) return false;
    failuresLeft--;
    return true;
}

TEST_F(EditorTest, FailedSaveKeepsThePreviousFilesWhole)
{
    NoteRecord* note = AddTestNote();
    HWND editor = MakeEditor();
    note->window = host;
    note->editor = editor;
    SetEditorText(editor, "first text");
    ASSERT_EQ(SaveNotes(), 1);
    std::string index = ReadFileBytes(InDataFolder("note.dat"));
    std::string content = ReadFileBytes(InDataFolder(note->fileName));
    ASSERT_NE(content.find("first text"), std::string::npos);

    AddTestNote();   // a second record makes the new index longer
    SetEditorText(editor, "second text");
    const struct { StoreStep step; const char* box; } faults[] = {
        { StoreCreate, TEXT_ERR_OPEN_FILE }, { StoreWrite, TEXT_ERR_WRITE_FILE },
        { StoreFlush, TEXT_ERR_WRITE_FILE }, { StoreReplace, TEXT_ERR_WRITE_FILE },
    };
    for (const auto& fault : faults) {
        failingStep = fault.step;
        failuresLeft = 1000;
        StoreFaultInjector = FailStep;
        BoxAnswer* box = AnswerNextBox(TEXT_ERROR_CAPTION, IDOK);
        EXPECT_EQ(SaveNotes(), 0) << fault.step;
        StoreFaultInjector = nullptr;
        EXPECT_TRUE(box->answered) << fault.step;
        EXPECT_EQ(box->text, fault.box);
        EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")), index) << fault.step;
        EXPECT_EQ(ReadFileBytes(InDataFolder(note->fileName)), content) << fault.step;
        EXPECT_FALSE(FileExists(InDataFolder("note.dat.tmp")));
    }
    // With the fault gone the next save succeeds.
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")).size(), 2 * 328u);
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find("second text"), std::string::npos);
    note->window = NULL;
}

TEST_F(QuibletTest, LeftoversOfAnInterruptedSaveAreRemovedNotLoaded)
{
    WriteFileBytes(InDataFolder("note.dat"), Records({ SampleRecord(1) }));
    WriteFileBytes(InDataFolder("note.dat.tmp"), Records({ SampleRecord(1), SampleRecord(2) }));
    WriteFileBytes(InDataFolder("ABCDEF01.dat.tmp"), "{\\rtf1 half");
    CleanUpInterruptedSaves();
    EXPECT_FALSE(FileExists(InDataFolder("note.dat.tmp")));
    EXPECT_FALSE(FileExists(InDataFolder("ABCDEF01.dat.tmp")));
    LoadNotes();
    EXPECT_EQ(CountNotes(), 1);
}

// ---- Content files through a real rich-edit control ---------------------------

TEST_F(EditorTest, FormattedTextSurvivesStreamingOutAndIn)
{
    HWND editor = MakeEditor();
    std::string text = "Bold start\r";
    std::string line(79, 'x');
    while (text.size() < 200 * 1024) text += line + "\r";
    text += "end";
    SetEditorText(editor, text.c_str());
    CHARFORMATA plainFormat = {};
    plainFormat.cbSize = sizeof plainFormat;
    plainFormat.dwMask = CFM_BOLD | CFM_FACE;
    strcpy(plainFormat.szFaceName, "Arial");
    SendMessageA(editor, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&plainFormat));
    CHARRANGE bold = { 0, 4 };
    SendMessageA(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&bold));
    CHARFORMATA cf = {};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_BOLD | CFM_FACE;
    cf.dwEffects = CFE_BOLD;
    strcpy(cf.szFaceName, "Courier New");
    SendMessageA(editor, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));

    std::string path = InDataFolder("formatted.rtf");
    ASSERT_EQ(StreamFileOut(editor, path.c_str()), 1);
    HWND copy = MakeEditor();
    ASSERT_EQ(StreamFileIn(copy, SF_RTF, path.c_str()), 1);
    // Paragraph ends read back as "\r" or "\r\n" depending on how the text came in.
    auto withoutLineFeeds = [](std::string s) { s.erase(std::remove(s.begin(), s.end(), '\n'), s.end()); return s; };
    std::string original = withoutLineFeeds(EditorText(editor)), loaded = withoutLineFeeds(EditorText(copy));
    EXPECT_EQ(loaded.size(), original.size());
    size_t differ = std::mismatch(original.begin(), original.end(), loaded.begin(), loaded.end()).first - original.begin();
    EXPECT_EQ(differ, original.size()) << "texts differ at " << differ << ": "
        << original.substr(differ > 20 ? differ - 20 : 0, 40) << " | " << loaded.substr(differ > 20 ? differ - 20 : 0, 40);
    EXPECT_GT(loaded.size(), 200u * 1024);

    auto formatAt = [&](LONG from, LONG to) {
        CHARRANGE range = { from, to };
        SendMessageA(copy, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        CHARFORMATA got = {};
        got.cbSize = sizeof got;
        SendMessageA(copy, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&got));
        return got;
    };
    CHARFORMATA start = formatAt(0, 4);
    EXPECT_TRUE(start.dwEffects & CFE_BOLD);
    EXPECT_STREQ(start.szFaceName, "Courier New");
    CHARFORMATA rest = formatAt(6, 9);
    EXPECT_FALSE(rest.dwEffects & CFE_BOLD);
    EXPECT_STREQ(rest.szFaceName, "Arial");
}

TEST_F(EditorTest, MissingContentFileLeavesTheTextAlone)
{
    HWND editor = MakeEditor();
    SetEditorText(editor, "keep me");
    EXPECT_EQ(StreamFileIn(editor, SF_RTF, InDataFolder("nothing.dat").c_str()), 0);
    EXPECT_EQ(EditorText(editor), "keep me");
    NoteRecord* note = AddTestNote();
    EXPECT_EQ(LoadNoteText(note, editor), 0);
    EXPECT_EQ(EditorText(editor), "keep me");
}

TEST_F(EditorTest, ContentFilesStayInTheDataFolderWhereverTheCurrentDirectoryIs)
{
    NoteRecord* note = AddTestNote();
    HWND editor = MakeEditor();
    SetEditorText(editor, "at home");
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    SetCurrentDirectoryA(temp);
    ASSERT_EQ(SaveNoteText(note, editor), 1);
    EXPECT_TRUE(FileExists(InDataFolder(note->fileName)));
    SetCurrentDirectoryA(temp);
    HWND copy = MakeEditor();
    ASSERT_EQ(LoadNoteText(note, copy), 1);
    EXPECT_EQ(EditorText(copy), "at home");
}

}  // namespace
