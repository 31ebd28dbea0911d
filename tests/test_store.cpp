// Notes on disk: the index layout, saving through temporary files under
// injected disk faults, safe content names, and damaged or hostile input
// (indexes, registry values, RTF) from a generator.
#include "support/test_env.h"
#include <random>
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
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
                             "CON", "com1.dat", "lpt9", "nul.txt", "x.dat.", " x.dat", "x?.dat", "a\tb" })
        EXPECT_FALSE(IsSafeContentFileName(bad)) << bad;
    for (const char* good : { "ABCDEF11D9A3B1.dat", "console.dat", "a.b", "com10.dat" })
        EXPECT_TRUE(IsSafeContentFileName(good)) << good;
    char out[16] = "junk";
    EXPECT_STREQ(MakeDataFolderPath("C:\\start", "anna", out, 14) ? out : "refused", "C:\\start\\anna");
    EXPECT_STREQ(MakeDataFolderPath("C:\\start", "anna", out, 13) ? "accepted" : out, "");
    EXPECT_STREQ(MakeDataFolderPath("C:\\", "", out, sizeof out) ? out : "refused", "C:\\default");
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
            if (shown->window) SendMessageA(shown->window, WM_COMMAND, IDM_NOTE_DELETE, 0);
            else RemoveNote(shown);
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
        for (int i = 0; i < 9; i++) values[i] = 2 + i;
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
        for (int i = 0; i < 9; i++) EXPECT_EQ(values[i], i != victim ? 2 + i : number) << names[i] << " type " << type;
        ASSERT_NE(memchr(AppSettings.defaultAlarm, 0, sizeof AppSettings.defaultAlarm), nullptr);
        const char* alarm = victim != 9 ? "C:\\ring.wav" : deleted || type != REG_SZ ? "..\\bellsong.wav" : AppSettings.defaultAlarm;
        EXPECT_STREQ(AppSettings.defaultAlarm, alarm);
    }
}
