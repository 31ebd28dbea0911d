// Notes on disk: the index layout, saving through temporary files under
// injected disk faults, safe content names, and damaged or hostile input
// (indexes, registry values, RTF) from a generator.
#include "support/test_env.h"
#include "testing/gdi_count.h"
#include <filesystem>
#include <random>
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "notes/rtf_filter.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/services.h"
#include "shell/ui_text.h"

TEST_F(QuibletTest, IndexRecordsAndFileNamesHaveTheirForm)
{
    NoteRecord* note = AddTestNote(-5, 7);
    lstrcpyA(note->fileName, "1A2B3C4D1D9.dat");
    lstrcpyA(note->soundFile, "..\\ring.wav");
    // The original program's offsets; the rest of the layout follows from them and the size.
    static_assert(offsetof(NoteIndexRecord, soundFile) == 41 && offsetof(NoteIndexRecord, reminderCountdown) == 324);
    const NoteIndexRecord first = { -5, 7, 180, 200, 0, "1A2B3C4D1D9.dat", "..\\ring.wav", {}, 0x00123456,
                                    2031, 12, 3, 24, 23, 59, 1, 15, 42 };
    memcpy(&note->alarmYear, &first.alarmYear, 8 * sizeof(WORD));
    note->backColor = 0x00123456, note->reminderCountdown = 42, note->visible = 0;
    AddTestNote(1, 2)->width = 300;
    ASSERT_EQ(SaveNotes(), 1);
    std::string index = ReadFileBytes(InDataFolder("note.dat"));
    EXPECT_EQ(index.substr(0, 328), std::string(reinterpret_cast<const char*>(&first), sizeof first));

    // A short tail is no record; the rest loads in the file's order.
    WriteFileBytes(InDataFolder("note.dat"), index + std::string(100, 'x'));
    FreeNotes();
    ASSERT_TRUE(LoadNotes() == 1 && CountNotes() == 2);
    EXPECT_EQ(memcmp(&NoteList.head->alarmYear, &first.alarmYear, 8 * sizeof(WORD)), 0);
    EXPECT_EQ(NoteList.head->next->width, 300);

    // Content names are from the clock, unique and plain; the data folder keeps within its size.
    char name[NOTE_FILE_NAME_SIZE];
    FormatContentFileName({ 0x0ABCDEF1u, 0x01D9A3B1u }, name);
    EXPECT_STREQ(name, "ABCDEF11D9A3B1.dat");
    EXPECT_STRNE(AddTestNote()->fileName, AddTestNote()->fileName);
    WriteFileBytes(InDataFolder("x.tmp"), "half");
    CleanUpInterruptedSaves();
    EXPECT_FALSE(FileExists(InDataFolder("x.tmp")));
    for (const char* bad : { "", "..\\x.dat", "a\\b.dat", "a/b.dat", "C:x.dat", "..", "note.dat", "NOTE.DAT", "x.dat.tmp",
                             "CON", "com1.dat", "lpt9", "nul.txt", "x.dat.", " x.dat", "x?.dat", "a\tb", "backup", "Backup",
                             "x.dat.bak", "X.BAK" })
        EXPECT_FALSE(IsSafeContentFileName(bad)) << bad;
    for (const char* good : { "ABCDEF11D9A3B1.dat", "console.dat", "a.b", "com10.dat" })
        EXPECT_TRUE(IsSafeContentFileName(good)) << good;
    char out[16] = "junk";
    EXPECT_STREQ(MakeDataFolderPath("C:\\start", "anna", out, 14) ? out : "refused", "C:\\start\\anna");
    EXPECT_STREQ(MakeDataFolderPath("C:\\start", "anna", out, 13) ? "accepted" : out, "");
    EXPECT_STREQ(MakeDataFolderPath("C:\\", "", out, sizeof out) ? out : "refused", "C:\\default");
}

// Sizes from the registry and from records fit the screen: a height of
// 2,000,000,000 would have the hide button roll a note up for millions of
// steps. A stored size of 0 takes the size of a new note.
TEST_F(QuibletTest, SizesFromTheRegistryAndFromRecordsFitTheScreen)
{
    const LONG screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN), screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const DWORD storedX = 5, storedY = 2000000000;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, SettingsKeyPath, "NotesSizeX", REG_DWORD, &storedX, 4);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, SettingsKeyPath, "NotesSizeY", REG_DWORD, &storedY, 4);
    LoadSettings();
    EXPECT_EQ(AppSettings.notesSizeX, NOTE_MIN_SIZE);
    EXPECT_EQ(AppSettings.notesSizeY, screenHeight);
    struct { int32_t width, height; LONG loadedWidth, loadedHeight; } sizes[] = {
        { 0, 0, NOTE_MIN_SIZE, screenHeight },
        { 300, 250, 300, 250 },
        { 50, 2000000000, NOTE_MIN_SIZE, screenHeight },
        { 20000, -3, screenWidth, screenHeight },
    };
    for (const auto& size : sizes) {
        NoteIndexRecord record = {};
        record.width = size.width, record.height = size.height;
        strcpy(record.fileName, "a.dat");
        NoteRecord note = {};
        DecodeIndexRecord(record, &note);
        EXPECT_EQ(note.width, size.loadedWidth) << size.width;
        EXPECT_EQ(note.height, size.loadedHeight) << size.height;
    }
}

// Each step of a save failing, for the index and for a content file: the
// last good files stay whole, the user hears of it once, and the next save
// without the fault writes everything.
TEST_F(QuibletTest, EachFailingStoreStepKeepsTheLastGoodFilesAndSaysSo)
{
    NoteRecord* note = ShownNote("first");
    ASSERT_EQ(SaveNotes(), 1);
    BoxAnswer* errors = AnswerEveryBox(TEXT_ERROR_CAPTION);
    static int fault;   // step fault / 2 (StoreCreate first) fails, for the index or (odd) the content file
    StoreFaultInjector = [](StoreStep step, const char* path) {
        return step == fault / 2 && (strstr(path, "note.dat") == NULL) == (fault % 2 == 1);
    };
    for (fault = 0; fault < 8; fault++) {
        const std::string file = InDataFolder(fault % 2 ? note->fileName : "note.dat");
        const std::string before = ReadFileBytes(file);
        note->left += 10;
        SetEditorText(note->editor, "second");
        EXPECT_TRUE(SaveNotes() == 0 && errors->count == 1 + fault && ReadFileBytes(file) == before) << fault;
        EXPECT_FALSE(FileExists(InDataFolder("note.dat.tmp")) || FileExists(InDataFolder(note->fileName) + ".tmp"));
    }
    // Fault 8 is no step.
    EXPECT_TRUE(SaveNotes() == 1 && ReadFileBytes(InDataFolder(note->fileName)).find("second") != std::string::npos);
}

// ---- Files that other programs hold or remove ---------------------------------------
// Held as a virus scanner or a backup client holds a file: open, shared with no one.
HANDLE HoldFile(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
}

// Lets go of a held file after `ms`, from a thread of the system's pool, while the program tries again.
void ReleaseAfter(HANDLE file, DWORD ms)
{
    HANDLE timer;
    CreateTimerQueueTimer(&timer, NULL, [](void* held, BOOLEAN) { CloseHandle(held); }, file, ms, 0, WT_EXECUTEONLYONCE);
}

// "note.dat" held through the load: it is not written while it cannot be
// read, and the first save after the hold reads its notes back behind the
// note made meanwhile.
TEST_F(QuibletTest, AHeldIndexIsReadAgainAtASaveAndNeverWrittenOver)
{
    AddTestNote(10, 10);
    AddTestNote(20, 20);
    ASSERT_EQ(SaveNotes(), 1);
    const std::string index = ReadFileBytes(InDataFolder(NOTE_INDEX_FILE));
    FreeNotes();
    BoxAnswer* errors = AnswerEveryBox(TEXT_ERROR_CAPTION);
    HANDLE held = HoldFile(InDataFolder(NOTE_INDEX_FILE));
    EXPECT_EQ(LoadNotes(), 0);
    EXPECT_EQ(errors->count, 1);
    EXPECT_NE(errors->text.find("\"note.dat\""), std::string::npos) << errors->text;
    ShownNote("neu");
    EXPECT_EQ(SaveNotes(), 0);
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)), index);
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(CountNotes(), 3);
    EXPECT_EQ(ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)).substr(sizeof(NoteIndexRecord)), index);
}

// A content file held for a moment at load is read; one held through the
// load, or too large, leaves its note read-only, is said once and is never
// written over; the hold ended, a save reads the text in.
TEST_F(QuibletTest, ContentFilesThatCannotBeReadAreNeverWrittenOver)
{
    const std::string text = "{\\rtf1 Alter Text}";
    NoteRecord* brief = AddTestNote();
    NoteRecord* held = AddTestNote();
    NoteRecord* large = AddTestNote();
    for (NoteRecord* note : { brief, held, large }) WriteFileBytes(InDataFolder(note->fileName), text);
    std::filesystem::resize_file(InDataFolder(large->fileName), MostContentFileBytes + 1);
    ReleaseAfter(HoldFile(InDataFolder(brief->fileName)), 300);
    HANDLE hold = HoldFile(InDataFolder(held->fileName));
    BoxAnswer* errors = AnswerEveryBox(TEXT_ERROR_CAPTION);
    ShowAllNotes();
    EXPECT_EQ(errors->count, 2);
    EXPECT_NE(errors->text.find(large->fileName), std::string::npos) << errors->text;
    for (NoteRecord* note : { brief, held, large }) SendMessageA(note->editor, WM_CHAR, 'Q', 0);
    EXPECT_EQ(EditorText(large->editor), "") << "typed into a text that was not read";
    EXPECT_EQ(SaveNotes(), 1);
    CloseHandle(hold);
    EXPECT_EQ(SaveNotes(), 1);
    EXPECT_NE(ReadFileBytes(InDataFolder(brief->fileName)).find("Alter Text"), std::string::npos);
    EXPECT_NE(ReadFileBytes(InDataFolder(brief->fileName)).find("Q"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(InDataFolder(held->fileName)), text);
    EXPECT_EQ(EditorText(held->editor), "Alter Text");
    EXPECT_EQ(static_cast<LONGLONG>(std::filesystem::file_size(InDataFolder(large->fileName))), MostContentFileBytes + 1);
    EXPECT_EQ(errors->count, 2);
}

// A replace refused for a moment (a scanner looking at the file) is tried
// again; a content file another program removed under its open note is
// written again.
TEST_F(QuibletTest, SavesGetPastFilesHeldForAMomentAndRewriteRemovedOnes)
{
    NoteRecord* note = ShownNote("eins");
    ASSERT_EQ(SaveNotes(), 1);
    const std::string names[] = { NOTE_INDEX_FILE, note->fileName };
    for (const std::string& name : names) {
        SetEditorText(note->editor, name.c_str());
        ReleaseAfter(HoldFile(InDataFolder(name)), 300);
        EXPECT_EQ(SaveNotes(), 1) << name;
    }
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find(note->fileName), std::string::npos);
    ASSERT_TRUE(DeleteFileA(InDataFolder(note->fileName).c_str()));
    EXPECT_EQ(SaveNotes(), 1);
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find(note->fileName), std::string::npos);
}

// What a save need not do: write an index that would hold the same bytes,
// or keep brushes for notes that have no window.
int indexCreations;
bool CountIndexCreations(StoreStep step, const char* path)
{
    if (step == StoreCreate && strstr(path, NOTE_INDEX_FILE ".tmp")) indexCreations++;
    return false;
}

TEST_F(QuibletTest, SavesWriteOnlyWhatChangedAndHiddenNotesHoldNoBrush)
{
    NoteRecord* note = ShownNote("eins");
    ASSERT_EQ(SaveNotes(), 1);
    indexCreations = 0;
    StoreFaultInjector = CountIndexCreations;
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(indexCreations, 0);
    note->left += 1;
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(indexCreations, 1);
    WriteFileBytes(InDataFolder(NOTE_INDEX_FILE), "");
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(indexCreations, 2) << "an index another program wrote is written again";

    int before = GdiObjectCount();
    for (int i = 0; i < 50; i++)
        AddTestNote();
    EXPECT_EQ(GdiObjectCount(), before);
}

// ---- Generated hostile input ---------------------------------------------------
// Damaged indexes, RTF and registry values from one seeded generator; no
// error box either (an unexpected box fails the test).
TEST_F(QuibletTest, GeneratedHostileIndexesRtfAndRegistryValuesDoNoHarm)
{
    std::mt19937 random(CountFromEnvironment("QUIBLET_SEED", 14));
    // Damaged indexes load, show, save and delete without harm.
    const char* fileNames[] = { "..\\victim.dat", "C:\\victim.dat", "note.dat", "CON", "good.dat" };
    AppSettings.safeMode = 0;   // the notes' delete command asks nothing
    for (int round = 0, rounds = CountFromEnvironment("QUIBLET_HOSTILE_INDEXES", 20); round < rounds; round++) {
        std::string index;
        for (int r = 0, records = 1 + random() % 4; r < records; r++) {
            NoteIndexRecord record = {};
            for (size_t i = 0; i < sizeof record; i++) reinterpret_cast<BYTE*>(&record)[i] = random() % 4 ? 0 : random();
            if (random() % 2) lstrcpyA(record.fileName, fileNames[random() % 5]);
            index.append(reinterpret_cast<char*>(&record), sizeof record);
        }
        WriteFileBytes(InDataFolder("note.dat"), index + std::string(random() % 328, 'z'));
        LoadNotes();   // into an empty list: the last round's notes are all closed
        for (NoteRecord* note = NoteList.head; note; note = note->next)
            EXPECT_TRUE(IsSafeContentFileName(note->fileName) && note->width > 0 && note->height > 0) << note->fileName;
        ShowAllNotes();
        SaveNotes();
        while (NoteRecord* shown = NoteList.head) {
            if (shown->window) DestroyNoteWindow(shown);
            RemoveNote(shown);
        }
    }

    // Wine's rich-edit control falls over on deep groups, long control words and
    // long names; pieces of those, put together at random, must load (a hang
    // ends at CTest's timeout).
    NoteRecord* note = ShownNote("");
    const std::string pieces[] = { "{", "}", "{{{{{{{{{{", "}}}}}}}}}}", "\\b ", "\\u65", "\\uc2", "\\'41", "\\'{",
                                   "{\\fonttbl{\\f0 ", "{\\stylesheet{\\s0 ", ";", "{\\*\\foo ", "\\bin99999999 ", "x",
                                   "\\par\r\n", std::string(1100, 'F'), "\\" + std::string(1100, 'w'), "\\fs" + std::string(40, '9'),
                                   "\\{", "\\\\", "{\\colortbl\\red255;", "\\u-5{" };
    for (int round = 0, rounds = CountFromEnvironment("QUIBLET_HOSTILE_RTF", 30); round < rounds; round++) {
        // Without a header the file loads as plain text, where Wine's control
        // takes seconds for each long line: those stay short.
        std::string rtf = random() % 4 ? "{\\rtf1\\ansi " : "";
        for (int i = 0, n = rtf.empty() ? 20 : 50 + random() % 3000; i < n; i++) rtf += pieces[random() % std::size(pieces)];
        WriteFileBytes(InDataFolder(note->fileName), rtf + " marker}");
        EXPECT_EQ(LoadNoteText(note, note->editor), 1) << "round " << round;
    }
    WriteFileBytes(InDataFolder(note->fileName), "{\\rtf1 " + std::string(100, '{') + "deep" + std::string(100, '}') + " end}");
    EXPECT_TRUE(LoadNoteText(note, note->editor) == 1 && EditorText(note->editor).find("deep end") != std::string::npos);

    // Registry values survive, and damaged ones give their defaults.
    static const char* const names[] = { "DefaultBackColor", "NotesSizeX", "NotesSizeY", "StartupNotes", "StartupAlarms",
                                          "Splash", "Sound", "SafeMode", "AlwaysOnTop", "DefaultAlarm" };
    const DWORD defaults[] = { 0x0098FEFE, 180, 200, 0, 1, 0, 1, 1, 0 };
    DWORD* values = reinterpret_cast<DWORD*>(&AppSettings);
    // A switch of 1 turns off, any other value on.
    EXPECT_EQ(std::vector<DWORD>({ ToggledFlag(0), ToggledFlag(1), ToggledFlag(2) }), std::vector<DWORD>({ 1, 0, 1 }));
    const DWORD types[] = { REG_DWORD, REG_BINARY, REG_SZ, REG_QWORD, REG_MULTI_SZ, REG_NONE };
    for (int round = 0, rounds = CountFromEnvironment("QUIBLET_HOSTILE_VALUES", 40); round < rounds; round++) {
        for (int i = 0; i < 9; i++) values[i] = 200 + i;
        lstrcpyA(AppSettings.defaultAlarm, "C:\\ring.wav");
        ASSERT_TRUE(SaveSettings());
        int victim = random() % 10;
        DWORD type = types[random() % 6];
        std::string data(random() % 2 ? random() % 9 : random() % 2000, 'A');
        for (char& c : data) c = random() % 3 ? 'A' + random() % 26 : random();
        ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, SettingsKeyPath, names[victim], type, data.data(), data.size()), 0);
        bool deleted = random() % 4 == 0 && RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SettingsKeyPath, names[victim]) == 0;
        memset(&AppSettings, 0xCC, sizeof AppSettings);
        LoadSettings();
        DWORD number = victim < 9 ? defaults[victim] : 0;
        if (!deleted && (type == REG_DWORD || type == REG_BINARY) && data.size() == 4) memcpy(&number, data.data(), 4);
        if (victim == 1) number = BoundedNoteWidth(number);
        if (victim == 2) number = BoundedNoteHeight(number);
        for (int i = 0; i < 9; i++) EXPECT_EQ(values[i], i != victim ? 200 + i : number) << names[i] << " type " << type;
        ASSERT_NE(memchr(AppSettings.defaultAlarm, 0, sizeof AppSettings.defaultAlarm), nullptr);
        const char* alarm = victim != 9 ? "C:\\ring.wav" : deleted || type != REG_SZ ? "..\\bellsong.wav" : AppSettings.defaultAlarm;
        EXPECT_STREQ(AppSettings.defaultAlarm, alarm);
    }
}

// ---- The RTF filter and text count --------------------------------------------
std::string Guarded(const std::string& rtf)
{
    RtfGuard guard;
    std::string bytes = rtf;
    LONG kept = GuardRtf(guard, reinterpret_cast<LPBYTE>(&bytes[0]), static_cast<LONG>(bytes.size()));
    return bytes.substr(0, kept);
}

TEST(RtfFilter, KeepsWhatTheControlCanTakeAndCutsTheRest)
{
    const std::string deep = std::string(40, '{') + "x" + std::string(40, '}');
    const std::string kept = std::string(30, '{') + "x" + std::string(30, '}');
    const struct { std::string in, out; } cases[] = {
        { "{\\rtf1 {\\b fett} \\'e4 \\{x\\}}", "{\\rtf1 {\\b fett} \\'e4 \\{x\\}}" },
        { deep, kept },
        { "\\" + std::string(40, 'w') + " x", "\\" + std::string(32, 'w') + " x" },
        { "\\fs" + std::string(12, '9') + " x", "\\fs" + std::string(10, '9') + " x" },
        { "\\u8364{x}y", "\\u8364xy" },
        { "\\u8364 ?{x}", "\\u8364 ?{x}" },
        { "{\\fonttbl{\\f0 " + std::string(300, 'F') + ";}}", "{\\fonttbl{\\f0 " + std::string(255, 'F') + ";}}" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Guarded(c.in), c.out) << c.in.substr(0, 40);
}

TEST(RtfTextCount, CountsTheTextOutsideTextlessGroups)
{
    const struct { const char* rtf; long long characters; } cases[] = {
        { "{\\rtf1 Hallo}", 5 },
        { "{\\rtf1 {\\fonttbl{\\f0 Arial;}}Hallo}", 5 },
        { "{\\rtf1 a\\par b\\tab c}", 5 },
        { "{\\rtf1 \\'e4\\'f6}", 2 },
        { "{\\rtf1 \\uc1\\u8364?x}", 2 },
        { "{\\rtf1 {\\*\\generator Foo;}x}", 1 },
        { "{\\rtf1 {\\*\\footnote fn}x}", 3 },
        { "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK}{\\fldrslt Link}}}", 4 },
        { "{\\rtf1 {\\pict\\bin4 abcd}x}", 1 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CountRtfText(c.rtf), c.characters) << c.rtf;
}
