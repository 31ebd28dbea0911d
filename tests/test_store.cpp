// Notes on disk: the index layout, saving through temporary files under
// injected disk faults, safe content names, and damaged or hostile input
// (indexes, registry values, RTF) from a generator.
#include "support/test_env.h"
#include <richedit.h>
#include <random>
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/guards.h"
#include "shell/ui_text.h"

namespace {
template <typename T> T At(const std::string& bytes, size_t offset)
{
    T value;
    memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}
}  // namespace

TEST_F(QuibletTest, IndexRecordsHaveTheirLayoutAndLoadBackInOrder)
{
    NoteRecord* note = AddTestNote(-5, 7);
    lstrcpyA(note->fileName, "1A2B3C4D1D9.dat");
    lstrcpyA(note->soundFile, "..\\ring.wav");
    WORD alarm[8] = { 2031, 12, 3, 24, 23, 59, 1, 15 };
    memcpy(&note->alarmYear, alarm, sizeof alarm);
    note->backColor = 0x00123456, note->reminderCountdown = 42, note->visible = 0;
    AddTestNote(1, 2)->width = 300;
    ASSERT_EQ(SaveNotes(), 1);
    std::string index = ReadFileBytes(InDataFolder("note.dat"));
    ASSERT_EQ(index.size(), 2 * 328u);
    LONG longs[] = { -5, 7, 180, 200, 0 };
    for (int i = 0; i < 5; i++) EXPECT_EQ(At<LONG>(index, 4 * i), longs[i]) << "field at " << 4 * i;
    EXPECT_STREQ(index.c_str() + 20, "1A2B3C4D1D9.dat");
    EXPECT_STREQ(index.c_str() + 41, "..\\ring.wav");
    EXPECT_EQ(At<DWORD>(index, 304), 0x00123456u);
    for (int i = 0; i < 8; i++) EXPECT_EQ(At<WORD>(index, 308 + 2 * i), alarm[i]) << "alarm word " << i;
    EXPECT_EQ(At<LONG>(index, 324), 42);

    // A short tail is no record; the rest loads in the file's order.
    WriteFileBytes(InDataFolder("note.dat"), index + std::string(100, 'x'));
    FreeNotes();
    ASSERT_EQ(LoadNotes(), 1);
    ASSERT_EQ(CountNotes(), 2);
    EXPECT_EQ(memcmp(&NoteList.head->alarmYear, alarm, sizeof alarm), 0);
    EXPECT_EQ(NoteList.head->next->width, 300);
}

// Each step of a save failing, for the index and for a content file: the
// last good files stay whole, the user hears of it once, and the next save
// without the fault writes everything.
TEST_F(QuibletTest, EachFailingStoreStepKeepsTheLastGoodFilesAndSaysSo)
{
    NoteRecord* note = ShownNote("first");
    ASSERT_EQ(SaveNotes(), 1);
    BoxAnswer* errors = AnswerEveryBox(TEXT_ERROR_CAPTION);
    static StoreStep failing;
    static bool contentOnly;
    for (StoreStep step : { StoreCreate, StoreWrite, StoreFlush, StoreReplace }) {
        for (bool content : { false, true }) {
            SCOPED_TRACE(std::to_string(step) + (content ? " content" : " index"));
            failing = step;
            contentOnly = content;
            StoreFaultInjector = [](StoreStep s, const char* path) {
                return s == failing && (strstr(path, "note.dat") == NULL) == contentOnly;
            };
            const std::string index = ReadFileBytes(InDataFolder("note.dat"));
            const std::string text = ReadFileBytes(InDataFolder(note->fileName));
            note->left += 10;
            SetEditorText(note->editor, "second");
            EXPECT_EQ(SaveNotes(), 0);
            EXPECT_EQ(errors->count, 1 + 2 * step + content);
            if (content) EXPECT_EQ(ReadFileBytes(InDataFolder(note->fileName)), text);
            else EXPECT_EQ(ReadFileBytes(InDataFolder("note.dat")), index);
            EXPECT_FALSE(FileExists(InDataFolder("note.dat.tmp")) || FileExists(InDataFolder(note->fileName) + ".tmp"));
            StoreFaultInjector = nullptr;
        }
    }
    EXPECT_EQ(SaveNotes(), 1);
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find("second"), std::string::npos);
}

TEST_F(QuibletTest, ContentNamesAreFromTheClockUniqueAndPlain)
{
    char name[NOTE_FILE_NAME_SIZE];
    FormatContentFileName({ 0x0ABCDEF1u, 0x01D9A3B1u }, name);
    EXPECT_STREQ(name, "ABCDEF11D9A3B1.dat");
    NoteRecord* a = AddTestNote();
    NoteRecord* b = AddTestNote();
    EXPECT_STRNE(a->fileName, b->fileName);
    WriteFileBytes(InDataFolder("x.tmp"), "half");
    CleanUpInterruptedSaves();
    EXPECT_FALSE(FileExists(InDataFolder("x.tmp")));
    for (const char* bad : { "", "..\\x.dat", "a\\b.dat", "a/b.dat", "C:x.dat", "..", "note.dat", "NOTE.DAT", "x.dat.tmp",
                             "CON", "com1.dat", "lpt9", "nul.txt", "x.dat.", " x.dat", "x?.dat", "a\tb" })
        EXPECT_FALSE(IsSafeContentFileName(bad)) << bad;
    for (const char* good : { "ABCDEF11D9A3B1.dat", "console.dat", "a.b", "com10.dat" })
        EXPECT_TRUE(IsSafeContentFileName(good)) << good;
}

TEST(DataFolder, IsTheStartFolderAndTheUserWithinItsSize)
{
    char out[16] = "junk";
    EXPECT_TRUE(MakeDataFolderPath("C:\\start", "anna", out, 14));
    EXPECT_STREQ(out, "C:\\start\\anna");
    EXPECT_FALSE(MakeDataFolderPath("C:\\start", "anna", out, 13));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(MakeDataFolderPath("C:\\", "", out, sizeof out));
    EXPECT_STREQ(out, "C:\\default");
}

// ---- Generated hostile input ---------------------------------------------------
TEST_F(QuibletTest, DamagedIndexesLoadShowSaveAndDeleteWithoutHarm)
{
    std::mt19937 random(CountFromEnvironment("QUIBLET_SEED", 14));
    const int rounds = CountFromEnvironment("QUIBLET_HOSTILE_INDEXES", 20);
    WriteFileBytes(dataFolder + "\\..\\victim.dat", "keep");
    BoxAnswer* errors = AnswerEveryBox(TEXT_ERROR_CAPTION);
    for (int round = 0; round < rounds; round++) {
        std::string index;
        for (int r = 0, records = 1 + random() % 4; r < records; r++) {
            NoteIndexRecord record = {};
            for (size_t i = 0; i < sizeof record; i++) reinterpret_cast<BYTE*>(&record)[i] = random() % 4 ? 0 : random();
            const char* names[] = { "..\\victim.dat", "C:\\victim.dat", "note.dat", "CON", "good.dat" };
            if (random() % 2) lstrcpyA(record.fileName, names[random() % 5]);
            if (random() % 2) record.width = 50 + random() % 300, record.height = 50 + random() % 300;
            if (random() % 2) record.left = random() % 800, record.top = random() % 600;
            index.append(reinterpret_cast<char*>(&record), sizeof record);
        }
        WriteFileBytes(InDataFolder("note.dat"), index + std::string(random() % 328, 'z'));
        FreeNotes();
        LoadNotes();
        for (NoteRecord* note = NoteList.head; note; note = note->next)
            EXPECT_TRUE(IsSafeContentFileName(note->fileName) && note->width > 0 && note->height > 0) << note->fileName;
        if (round % 5 == 0) {
            ShowAllNotes();
            SaveNotes();
            while (NoteRecord* shown = NoteList.head) {
                if (shown->window) SendMessageA(shown->window, WM_CLOSE, 0, 0);
                else RemoveNote(shown);
            }
        }
    }
    EXPECT_EQ(ReadFileBytes(dataFolder + "\\..\\victim.dat"), "keep");
    EXPECT_EQ(errors->count, 0);
}

TEST_F(QuibletTest, RegistryValuesSurviveAndDamagedOnesGiveTheirDefaults)
{
    static const char* const names[] = { "DefaultBackColor", "NotesSizeX", "NotesSizeY", "StartupNotes", "StartupAlarms",
                                          "Splash", "Sound", "SafeMode", "AlwaysOnTop", "DefaultAlarm" };
    const DWORD defaults[] = { 0x0098FEFE, 180, 200, 0, 1, 0, 1, 1, 0 };
    DWORD* values = reinterpret_cast<DWORD*>(&AppSettings);
    auto storeOwnValues = [&] {
        for (int i = 0; i < 9; i++) values[i] = 2 + i;
        lstrcpyA(AppSettings.defaultAlarm, "C:\\ring.wav");
        return SaveSettings();
    };
    LoadSettings();   // a first start
    for (int i = 0; i < 9; i++) EXPECT_EQ(values[i], defaults[i]) << names[i];
    EXPECT_STREQ(AppSettings.defaultAlarm, "..\\bellsong.wav");
    ASSERT_TRUE(storeOwnValues());
    RegistryKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKeyPath, 0, KEY_ALL_ACCESS, key.receive()), ERROR_SUCCESS);
    std::mt19937 random(CountFromEnvironment("QUIBLET_SEED", 14));
    const DWORD types[] = { REG_DWORD, REG_BINARY, REG_SZ, REG_QWORD, REG_MULTI_SZ, REG_NONE };
    for (int round = 0, rounds = CountFromEnvironment("QUIBLET_HOSTILE_VALUES", 40); round < rounds; round++) {
        int victim = random() % 10;
        DWORD type = types[random() % 6];
        std::string data(random() % 2 ? random() % 9 : random() % 2000, 'A');
        for (char& c : data) c = random() % 3 ? 'A' + random() % 26 : random();
        RegSetValueExA(key, names[victim], 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
        bool deleted = random() % 4 == 0 && RegDeleteValueA(key, names[victim]) == ERROR_SUCCESS;
        SCOPED_TRACE(std::string(names[victim]) + " type " + std::to_string(type) + " size " + std::to_string(data.size()));
        memset(&AppSettings, 0xCC, sizeof AppSettings);
        LoadSettings();
        bool number = !deleted && (type == REG_DWORD || type == REG_BINARY) && data.size() == 4;
        for (int i = 0; i < 9; i++)
            EXPECT_EQ(values[i], i != victim ? 2 + i : number ? At<DWORD>(data, 0) : defaults[i]) << names[i];
        ASSERT_NE(memchr(AppSettings.defaultAlarm, 0, sizeof AppSettings.defaultAlarm), nullptr);
        const char* alarm = victim != 9 ? "C:\\ring.wav" : deleted || type != REG_SZ ? "..\\bellsong.wav" : AppSettings.defaultAlarm;
        EXPECT_STREQ(AppSettings.defaultAlarm, alarm);
        storeOwnValues();
    }
}

// Wine's rich-edit control falls over on deep groups, long control words and
// long names; pieces of those, put together at random, must load (a hang
// ends at CTest's timeout).
TEST_F(QuibletTest, GeneratedHostileRtfLoadsIntoANote)
{
    NoteRecord* note = ShownNote("");
    const std::string pieces[] = { "{", "}", "{{{{{{{{{{", "}}}}}}}}}}", "\\b ", "\\u65", "\\uc2", "\\'41", "\\'{",
                                   "{\\fonttbl{\\f0 ", "{\\stylesheet{\\s0 ", ";", "{\\*\\foo ", "\\bin99999999 ", "x",
                                   "\\par\r\n", std::string(1100, 'F'), "\\" + std::string(1100, 'w'), "\\fs" + std::string(40, '9'),
                                   "\\{", "\\\\", "{\\colortbl\\red255;", "\\u-5{" };
    std::mt19937 random(CountFromEnvironment("QUIBLET_SEED", 14));
    for (int round = 0, rounds = CountFromEnvironment("QUIBLET_HOSTILE_RTF", 30); round < rounds; round++) {
        // Without a header the file loads as plain text, where Wine's control
        // takes seconds for each long line: those stay short.
        std::string rtf = random() % 4 ? "{\\rtf1\\ansi " : "";
        for (int i = 0, n = rtf.empty() ? 20 : 50 + random() % 3000; i < n; i++) rtf += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        rtf += " marker}";
        WriteFileBytes(InDataFolder(note->fileName), rtf);
        EXPECT_EQ(LoadNoteText(note, note->editor), 1) << "round " << round;
    }
    WriteFileBytes(InDataFolder(note->fileName), "{\\rtf1 " + std::string(100, '{') + "deep" + std::string(100, '}') + " end}");
    ASSERT_EQ(LoadNoteText(note, note->editor), 1);
    EXPECT_NE(EditorText(note->editor).find("deep end"), std::string::npos);
}
