// Notes on disk: the index layout, safe content names, sizes and settings
// from damaged values, saving through temporary files under injected disk
// faults, files other programs hold, and the filter that keeps hostile RTF
// from the rich-edit control.
#include "support/test_env.h"
#include <filesystem>
#include <richedit.h>
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "notes/rtf_filter.h"
#include "resources/resource.h"
#include "settings/pickers.h"
#include "settings/settings_store.h"
#include "shell/ui_text.h"
#include "testing/gdi_count.h"

// The bytes of a file in the data folder.
static std::string Bytes(const std::string& name)
{
    return ReadFileBytes(InDataFolder(name));
}

// Whether a file in the data folder holds the text.
static bool Holds(const std::string& name, const char* text)
{
    return Bytes(name).find(text) != std::string::npos;
}

static void SetRegistryValue(const char* name, DWORD type, const std::string& data)
{
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, SettingsKeyPath, name, type, data.data(), static_cast<DWORD>(data.size()));
}

static std::string Dword(DWORD value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// The original program's offsets; the rest of the layout follows from them and the size.
static_assert(offsetof(NoteIndexRecord, soundFile) == 41);
static_assert(offsetof(NoteIndexRecord, reminderCountdown) == 324);

TEST_F(QuibletTest, IndexRecordsAndFileNamesHaveTheirForm)
{
    // Loaded and saved again, an index keeps its records in their order; a short tail is no record.
    NoteIndexRecord records[] = { { -5, 7, 180, 200, 0, "1A2B3C4D1D9.dat", "..\\ring.wav", {}, 0x00123456,
                                    2031, 12, 3, 24, 23, 59, 1, 15, 42 },
                                  { 1, 2, 300, 200, 1, "second.dat" } };
    const std::string index(reinterpret_cast<char*>(records), sizeof records);
    WriteFileBytes(InDataFolder(NOTE_INDEX_FILE), index + std::string(100, 'x'));
    ASSERT_EQ(LoadNotes(), 1);
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(Bytes(NOTE_INDEX_FILE), index);

    // Content names are unique and plain: a record naming another file gets a name of its own.
    EXPECT_STRNE(AddTestNote()->fileName, AddTestNote()->fileName);
    const char* unsafeNames[] = { "", "..\\x.dat", "a\\b.dat", "a/b.dat", "C:x.dat", "..", "note.dat", "NOTE.DAT",
                                  "x.dat.tmp", "CON", "com1.dat", "lpt9", "nul.txt", "x.dat.", " x.dat", "x?.dat",
                                  "a\tb", "backup", "Backup", "x.dat.bak", "X.BAK", "Quiblet.lock" };
    for (const char* unsafe : unsafeNames) {
        NoteIndexRecord record = { 0, 0, 180, 200, 1 };
        lstrcpyA(record.fileName, unsafe);
        NoteRecord note = {};
        EXPECT_FALSE(DecodeIndexRecord(record, &note)) << unsafe;
        EXPECT_TRUE(IsSafeContentFileName(note.fileName)) << unsafe;
    }
    for (const char* safe : { "ABCDEF11D9A3B1.dat", "console.dat", "a.b", "com10.dat" })
        EXPECT_TRUE(IsSafeContentFileName(safe)) << safe;
}

// A height of 2,000,000,000 would have the hide button roll a note up for
// millions of steps. A stored size of 0 takes the size of a new note.
TEST_F(QuibletTest, SizesFromTheRegistryAndFromRecordsFitTheScreen)
{
    const LONG screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const LONG screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    SetRegistryValue("NotesSizeX", REG_DWORD, Dword(5));
    SetRegistryValue("NotesSizeY", REG_DWORD, Dword(2000000000));
    LoadSettings();
    EXPECT_EQ(AppSettings.notesSizeX, NOTE_MIN_SIZE);
    EXPECT_EQ(AppSettings.notesSizeY, screenHeight);
    const struct { int32_t width, height; LONG loadedWidth, loadedHeight; } sizes[] = {
        { 0, 0, NOTE_MIN_SIZE, screenHeight },
        { 300, 250, 300, 250 },
        { 50, 2000000000, NOTE_MIN_SIZE, screenHeight },
        { 20000, -3, screenWidth, screenHeight },
    };
    for (const auto& size : sizes) {
        NoteIndexRecord record = { 0, 0, size.width, size.height, 0, "a.dat" };
        NoteRecord note = {};
        DecodeIndexRecord(record, &note);
        EXPECT_EQ(note.width, size.loadedWidth) << size.width;
        EXPECT_EQ(note.height, size.loadedHeight) << size.height;
    }
}

// A number of another type or size, or a path longer than its field, gives
// the default, and the values after it are still read.
TEST_F(QuibletTest, RegistryValuesOfAnotherTypeOrSizeGiveTheirDefaults)
{
    SetRegistryValue("DefaultBackColor", REG_DWORD_BIG_ENDIAN, Dword(5));
    SetRegistryValue("StartupAlarms", REG_DWORD, "12");
    SetRegistryValue("AlwaysOnTop", REG_BINARY, Dword(1));
    SetRegistryValue("DefaultAlarm", REG_SZ, std::string(2000, 'A'));
    LoadSettings();
    EXPECT_EQ(AppSettings.defaultBackColor, 0x0098FEFEu);
    EXPECT_EQ(AppSettings.startupAlarms, 1u);
    EXPECT_EQ(AppSettings.alwaysOnTop, 1u);
    EXPECT_STREQ(AppSettings.defaultAlarm, TEXT_DEFAULT_ALARM);
}

// A sound's path goes into the record's 8-bit field as it is, by its short
// name, or not at all: never with look-alikes in place of its letters.
TEST_F(QuibletTest, SoundPathsAreKeptWholeByTheirShortNameOrRefused)
{
    const std::wstring folder(dataFolder.begin(), dataFolder.end());
    const std::wstring polish = folder + L"\\Łódź.wav";
    CloseHandle(CreateFileW(polish.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL));
    const struct { std::wstring path; BOOL kept; const char* stored; } cases[] = {
        { L"C:\\Sounds\\ring.wav", TRUE, "C:\\Sounds\\ring.wav" },
        { L"C:\\Klänge\\Glocke.wav", TRUE, "C:\\Kl\xe4nge\\Glocke.wav" },
        { folder + L"\\Łódź fehlt.wav", FALSE, nullptr },
    };
    for (const auto& c : cases) {
        char stored[WAVE_PATH_SIZE] = "";
        EXPECT_EQ(SoundPathForRecord(c.path.c_str(), stored, sizeof stored), c.kept) << c.path;
        if (c.stored) EXPECT_STREQ(stored, c.stored);
    }
    char stored[WAVE_PATH_SIZE];
    ASSERT_TRUE(SoundPathForRecord(polish.c_str(), stored, sizeof stored));
    // The short name opens the same file.
    EXPECT_NE(GetFileAttributesA(stored), INVALID_FILE_ATTRIBUTES) << stored;
}

// Each step of a save failing, for the index and for a content file: the
// last good file stays whole, the user hears of it once, and the next save
// without the fault writes everything.
struct StoreFault { StoreStep step; const char* file; };
static const StoreFault* failing;

TEST_F(QuibletTest, EachFailingStoreStepKeepsTheLastGoodFilesAndSaysSo)
{
    NoteRecord* note = ShownNote("first");
    lstrcpyA(note->fileName, "content.dat");
    ASSERT_EQ(SaveNotes(), 1);
    BoxAnswer* errors = AnswerEveryBox(TEXT_ERROR_CAPTION);
    const StoreFault faults[] = {
        { StoreCreate, NOTE_INDEX_FILE },
        { StoreCreate, "content.dat" },
        { StoreWrite, NOTE_INDEX_FILE },
        { StoreWrite, "content.dat" },
        { StoreFlush, NOTE_INDEX_FILE },
        { StoreFlush, "content.dat" },
        { StoreReplace, NOTE_INDEX_FILE },
        { StoreReplace, "content.dat" },
    };
    StoreFaultInjector = [](StoreStep step, const char* path) {
        return step == failing->step && strstr(path, failing->file) != NULL;
    };
    for (const StoreFault& fault : faults) {
        SCOPED_TRACE(std::string(fault.file) + ", step " + std::to_string(fault.step));
        failing = &fault;
        const std::string before = Bytes(fault.file);
        const int boxes = errors->count;
        note->left += 10;
        SetEditorText(note->editor, "second");
        EXPECT_EQ(SaveNotes(), 0);
        EXPECT_EQ(errors->count, boxes + 1);
        EXPECT_EQ(Bytes(fault.file), before);
    }
    StoreFaultInjector = nullptr;
    EXPECT_EQ(SaveNotes(), 1);
    EXPECT_TRUE(Holds("content.dat", "second"));
}

// ---- Files that other programs hold or remove ---------------------------------------
// Held as a virus scanner or a backup client holds a file: open, shared with no one.
static HANDLE Hold(const std::string& name)
{
    return CreateFileA(InDataFolder(name).c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
}

// Lets go of a held file after `ms`, from a thread of the system's pool, while the program tries again.
static void ReleaseAfter(HANDLE file, DWORD ms)
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
    const std::string index = Bytes(NOTE_INDEX_FILE);
    FreeNotes();
    BoxAnswer* errors = AnswerEveryBox(TEXT_ERROR_CAPTION);
    HANDLE held = Hold(NOTE_INDEX_FILE);
    EXPECT_EQ(LoadNotes(), 0);
    EXPECT_EQ(errors->count, 1);
    ShownNote("neu");
    EXPECT_EQ(SaveNotes(), 0);
    CloseHandle(held);
    EXPECT_EQ(Bytes(NOTE_INDEX_FILE), index);
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(Bytes(NOTE_INDEX_FILE).substr(sizeof(NoteIndexRecord)), index);
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
    for (NoteRecord* note : { brief, held, large })
        WriteFileBytes(InDataFolder(note->fileName), text);
    std::filesystem::resize_file(InDataFolder(large->fileName), MostContentFileBytes + 1);
    ReleaseAfter(Hold(brief->fileName), 300);
    HANDLE hold = Hold(held->fileName);
    BoxAnswer* errors = AnswerEveryBox(TEXT_ERROR_CAPTION);
    ShowAllNotes();
    EXPECT_EQ(errors->count, 2);
    for (NoteRecord* note : { brief, held, large })
        SendMessageA(note->editor, WM_CHAR, 'Q', 0);
    // No file dialog (an unexpected box fails the test): the file's text
    // would replace what an import brought.
    SendMessageA(held->window, WM_COMMAND, IDM_NOTE_IMPORT, 0);
    EXPECT_EQ(SaveNotes(), 1);
    CloseHandle(hold);
    EXPECT_EQ(SaveNotes(), 1);
    EXPECT_TRUE(Holds(brief->fileName, "Alter Text"));
    EXPECT_EQ(Bytes(held->fileName), text);
    EXPECT_EQ(EditorText(held->editor), "Alter Text");
    EXPECT_EQ(std::filesystem::file_size(InDataFolder(large->fileName)), uintmax_t(MostContentFileBytes + 1));
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
        ReleaseAfter(Hold(name), 300);
        EXPECT_EQ(SaveNotes(), 1) << name;
    }
    EXPECT_TRUE(Holds(note->fileName, note->fileName));
    ASSERT_TRUE(DeleteFileA(InDataFolder(note->fileName).c_str()));
    EXPECT_EQ(SaveNotes(), 1);
    EXPECT_TRUE(Holds(note->fileName, note->fileName));
}

// What a save need not do: write an index that would hold the same bytes,
// or keep brushes for notes that have no window.
static int indexCreations;

TEST_F(QuibletTest, SavesWriteOnlyWhatChangedAndHiddenNotesHoldNoBrush)
{
    NoteRecord* note = ShownNote("eins");
    ASSERT_EQ(SaveNotes(), 1);
    indexCreations = 0;
    StoreFaultInjector = [](StoreStep step, const char* path) {
        if (step == StoreCreate && strstr(path, NOTE_INDEX_FILE ".tmp")) indexCreations++;
        return false;
    };
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(indexCreations, 0);
    note->left += 1;
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(indexCreations, 1);
    WriteFileBytes(InDataFolder(NOTE_INDEX_FILE), "");
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_EQ(indexCreations, 2) << "an index another program wrote is written again";

    const int before = GdiObjectCount();
    for (int i = 0; i < 50; i++)
        AddTestNote();
    EXPECT_EQ(GdiObjectCount(), before);
}

// ---- Text in every script ---------------------------------------------------------
// Saved, freed and loaded again: the notes as the next start shows them.
static void SaveAndLoadAgain()
{
    ASSERT_EQ(SaveNotes(), 1);
    for (NoteRecord* note = NoteList.head; note; note = note->next)
        DestroyNoteWindow(note);
    FreeNotes();
    ASSERT_EQ(LoadNotes(), 1);
    ShowAllNotes();
}

static void Paste(HWND editor, const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    ASSERT_TRUE(OpenClipboard(NULL));
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
    SendMessageW(editor, WM_PASTE, 0, 0);
}

// Typed as a keyboard or an input method hands it over (an emoji as its two
// UTF-16 units) or pasted as Unicode text, each note's text comes back whole.
enum Entry { Typed, Pasted };

TEST_F(QuibletTest, TypedAndPastedTextOfEveryScriptComesBackFromItsFile)
{
    const struct { Entry entry; std::wstring text; } notes[] = {
        { Typed, L"Polski: ł ś" },
        { Typed, L"Türkçe: ğ ı İ" },
        { Typed, L"Ελληνικά: Ω" },
        { Typed, L"Русский: Ж" },
        { Typed, L"漢字" },
        { Typed, L"עברית" },
        { Typed, L"→ ✓ 😀" },
        { Pasted, L"Łukasz → ✓ 😀 Ж Ω 漢 ש" },
    };
    for (const auto& note : notes) {
        HWND editor = ShownNote("")->editor;
        if (note.entry == Pasted) Paste(editor, note.text);
        for (wchar_t unit : note.entry == Typed ? note.text : L"")
            SendMessageW(editor, WM_CHAR, unit, 0);
    }
    SaveAndLoadAgain();
    const NoteRecord* loaded = NoteList.head;
    for (const auto& note : notes) {
        ASSERT_TRUE(loaded);
        EXPECT_EQ(WindowTextW(loaded->editor), note.text);
        loaded = loaded->next;
    }
    // "ł" as readers of 8-bit RTF need it: \u with its look-alike behind.
    EXPECT_TRUE(Holds(NoteList.head->fileName, "\\u322 l"));
}

// Whether the editor shows the first `word` of its text in bold throughout.
static bool ShowsBold(HWND editor, const std::wstring& word)
{
    const LONG start = static_cast<LONG>(WindowTextW(editor).find(word));
    SendMessageW(editor, EM_SETSEL, start, start + static_cast<LONG>(word.size()));
    CHARFORMAT2W format = {};
    format.cbSize = sizeof format;
    SendMessageW(editor, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return (format.dwMask & CFM_BOLD) && (format.dwEffects & CFE_BOLD);
}

// A content file as the 1.0 control wrote it (its code page, font and colour
// tables, 8-bit escapes, \plain runs) loads with its text and bold, is saved
// as RTF of that kind, and its text reads the same when loaded again.
TEST_F(QuibletTest, ContentFilesOfTheEarlierControlLoadWithTextAndBoldAndSaveInTheirForm)
{
    NoteRecord* note = AddTestNote();
    WriteFileBytes(InDataFolder(note->fileName),
                   "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deftab720{\\fonttbl{\\f0\\fswiss MS Sans Serif;}"
                   "{\\f1\\froman\\fcharset2 Symbol;}{\\f2\\fswiss\\fcharset0 Arial;}}\r\n"
                   "{\\colortbl\\red0\\green0\\blue0;}\r\n\\deflang1031\\pard\\plain\\f2\\fs20 Gr\\'fc\\'dfe \\'e4\\'f6 "
                   "\\plain\\f2\\fs20\\b fett\\plain\\f2\\fs20  normal\\par\r\n}\r\n");
    ShowAllNotes();
    SendMessageW(note->editor, EM_SETMODIFY, TRUE, 0);
    const std::wstring text = L"Grüße äö fett normal";
    const struct { std::wstring word; bool bold; } runs[] = {
        { L"Grüße", false },
        { L"fett", true },
        { L"normal", false },
    };
    EXPECT_EQ(WindowTextW(note->editor), text);
    for (const auto& run : runs)
        EXPECT_EQ(ShowsBold(note->editor, run.word), run.bold) << run.word;
    SaveAndLoadAgain();
    EXPECT_EQ(WindowTextW(NoteList.head->editor), text);
    for (const auto& run : runs)
        EXPECT_EQ(ShowsBold(NoteList.head->editor, run.word), run.bold) << "reloaded " << run.word;
    for (const char* written : { "{\\rtf1\\ansi\\ansicpg1252", "Gr\\'fc\\'dfe \\'e4\\'f6 \\b fett\\b0  normal" })
        EXPECT_TRUE(Holds(NoteList.head->fileName, written)) << written;
}

// ---- The RTF filter and text count --------------------------------------------
static std::string Guarded(const std::string& rtf)
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
