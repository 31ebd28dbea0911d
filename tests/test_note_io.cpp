// Import and export of a note's text as RTF files, and printing.
#include "support/test_env.h"
#include <algorithm>
#include <commdlg.h>
#include <dlgs.h>
#include <richedit.h>
#include <string>
#include <winspool.h>
#include <vector>
#include "notes/note_io.h"
#include "notes/note_record.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "shell/app.h"
#include "shell/guards.h"

namespace {

// ---- Answering the common dialogs --------------------------------------------
// Watches the dialogs of this thread from a timer inside their modal loops.
// With a name, it types the name into the first file dialog and presses OK;
// without one, it presses `button` in the first dialog that comes up. Any
// other box (a question, an error) is noted and closed, and a dialog that
// does not go away is cancelled, so a wrong program fails the test instead
// of hanging it.
struct DialogWatch {
    std::string name;
    int button = IDCANCEL;
    bool answered = false;
    std::string filter;
    std::vector<std::string> others;
    HWND dialog = NULL;
    DWORD started = 0;
    bool done = false;
};
DialogWatch watch;

const DWORD DialogPatienceMs = 5000;

HWND VisibleDialog(HWND except)
{
    struct Search { HWND except; HWND found; } search = { except, NULL };
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM param) -> BOOL {
        Search* search = reinterpret_cast<Search*>(param);
        char cls[32];
        GetClassNameA(window, cls, sizeof cls);
        if (window == search->except || strcmp(cls, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
        search->found = window;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FileNameControl(HWND dialog)
{
    HWND combo = GetDlgItem(dialog, cmb13);
    if (combo) {
        HWND edit = FindWindowExA(combo, NULL, "Edit", NULL);
        return edit ? edit : combo;
    }
    return GetDlgItem(dialog, edt1);
}

void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string Describe(HWND box)
{
    char caption[256] = "", text[512] = "";
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return std::string(caption) + ": " + text;
}

void CloseBox(HWND box)
{
    for (int id : { IDCANCEL, IDNO, IDOK }) {
        if (GetDlgItem(box, id)) {
            PressButton(box, id);
            return;
        }
    }
    PostMessageA(box, WM_CLOSE, 0, 0);
}

void CALLBACK WatchTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    DWORD waited = GetTickCount() - watch.started;
    if (!watch.dialog) {
        HWND dialog = VisibleDialog(NULL);
        HWND nameControl = dialog && !watch.name.empty() ? FileNameControl(dialog) : NULL;
        if (nameControl) {
            char filter[256] = "";
            GetDlgItemTextA(dialog, cmb1, filter, sizeof filter);
            watch.filter = filter;
            SetWindowTextA(nameControl, watch.name.c_str());
            PressButton(dialog, IDOK);
        } else if (dialog) {
            PressButton(dialog, watch.button);
        } else if (waited > DialogPatienceMs) {
            watch.done = true;
        }
        if (dialog) {
            watch.answered = true;
            watch.dialog = dialog;
            watch.started = GetTickCount();
        }
    } else if (!IsWindow(watch.dialog) || !IsWindowVisible(watch.dialog)) {
        watch.done = true;
    } else if (HWND box = VisibleDialog(watch.dialog)) {
        watch.others.push_back(Describe(box));
        CloseBox(box);
    } else if (waited > DialogPatienceMs) {
        PressButton(watch.dialog, IDCANCEL);
    }
    if (watch.done) KillTimer(NULL, id);
}

DialogWatch* WatchDialogs(const std::string& fileName, int button = IDCANCEL)
{
    watch = DialogWatch();
    watch.name = fileName;
    watch.button = button;
    watch.started = GetTickCount();
    SetTimer(NULL, 0, 50, WatchTimer);
    return &watch;
}

bool WaitForWatch()
{
    return PumpUntil([] { return watch.done; }, 3 * DialogPatienceMs);
}

// ---- Fixture ------------------------------------------------------------------
// A file another program wrote: plain, italic and underlined words.
const char ForeignRtf[] = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 "
                          "Plain \\i slanted\\i0  and \\ul lined\\ul0  end\\par}";

class NoteIoTest : public QuibletTest {
protected:
    std::string exportFolder;

    void SetUp() override
    {
        QuibletTest::SetUp();
        exportFolder = dataFolder.substr(0, dataFolder.rfind('\\')) + "\\exports";
        CreateDirectoryA(exportFolder.c_str(), NULL);
    }
    NoteRecord* ShownNote(const char* text)
    {
        NoteRecord* note = AddTestNote();
        EXPECT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextEmpty), 1);
        if (note->editor) SetEditorText(note->editor, text);
        return note;
    }

    std::string InExports(const char* name) { return exportFolder + "\\" + name; }

    // The names in the export folder, as the file system spells them.
    std::vector<std::string> ExportedNames()
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((exportFolder + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return names;
    }

    // Runs the note's import or export command, typing a name into its dialog.
    void RunFileCommand(void (*command)(HWND), HWND noteWindow, const std::string& typed)
    {
        DialogWatch* answer = WatchDialogs(typed);
        command(noteWindow);
        ASSERT_TRUE(WaitForWatch());
        ASSERT_TRUE(answer->answered) << "no file dialog came up";
        EXPECT_EQ(answer->filter, "RTF Files (*.RTF)");
        EXPECT_TRUE(answer->others.empty()) << "the command asked or complained: " << answer->others[0];
    }
    void Export(HWND noteWindow, const std::string& typed) { RunFileCommand(ExportNoteText, noteWindow, typed); }
    void Import(HWND noteWindow, const std::string& typed) { RunFileCommand(ImportNoteText, noteWindow, typed); }
};

// The character effects of from..to (CFE_*), or ~0 when they are not uniform.
DWORD EffectsAt(HWND editor, LONG from, LONG to)
{
    CHARRANGE range = { from, to };
    SendMessageA(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    SendMessageA(editor, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    const DWORD effects = CFM_ITALIC | CFM_UNDERLINE;
    if ((format.dwMask & effects) != effects) return ~0u;
    return format.dwEffects & effects;
}

void SetEffects(HWND editor, LONG from, LONG to, DWORD effects)
{
    CHARRANGE range = { from, to };
    SendMessageA(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    format.dwMask = CFM_ITALIC | CFM_UNDERLINE;
    format.dwEffects = effects;
    SendMessageA(editor, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

bool SameName(const std::string& a, const std::string& b)
{
    return _stricmp(a.c_str(), b.c_str()) == 0;
}

// ---- Export and import ----------------------------------------------------------

TEST_F(NoteIoTest, ExportAddsTheExtensionAndReplacesWithoutAsking)
{
    NoteRecord* note = ShownNote("first words");
    ASSERT_NE(note->editor, (HWND)NULL);
    Export(note->window, InExports("memo"));
    std::vector<std::string> names = ExportedNames();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(SameName(names[0], "memo.RTF")) << names[0];
    std::string first = ReadFileBytes(InExports("memo.RTF"));
    EXPECT_EQ(first.compare(0, 5, "{\\rtf"), 0) << first;
    EXPECT_NE(first.find("first words"), std::string::npos);

    SetEditorText(note->editor, "second");
    Export(note->window, InExports("memo"));
    EXPECT_EQ(ExportedNames(), names);
    std::string second = ReadFileBytes(InExports("memo.RTF"));
    EXPECT_NE(second.find("second"), std::string::npos);
    EXPECT_EQ(second.find("first words"), std::string::npos) << "the old file was not emptied";
    EXPECT_EQ(EditorText(note->editor), "second");
}

TEST_F(NoteIoTest, ImportOfAnExportGivesBackTextAndFormatting)
{
    ASSERT_TRUE(WriteFileBytes(InExports("foreign.rtf"), ForeignRtf));
    NoteRecord* source = ShownNote("old text");
    Import(source->window, InExports("foreign.rtf"));
    ASSERT_EQ(EditorText(source->editor), "Plain slanted and lined end");
    SetEffects(source->editor, 0, 5, CFE_UNDERLINE | CFE_ITALIC);
    Export(source->window, InExports("copy.rtf"));
    std::string exported = ReadFileBytes(InExports("copy.rtf"));

    NoteRecord* target = ShownNote("to be replaced");
    Import(target->window, InExports("copy.rtf"));
    EXPECT_EQ(EditorText(target->editor), "Plain slanted and lined end");
    EXPECT_EQ(EffectsAt(target->editor, 0, 5), static_cast<DWORD>(CFE_UNDERLINE | CFE_ITALIC));
    EXPECT_EQ(EffectsAt(target->editor, 6, 13), static_cast<DWORD>(CFE_ITALIC));
    EXPECT_EQ(EffectsAt(target->editor, 14, 17), 0u);
    EXPECT_EQ(EffectsAt(target->editor, 18, 23), static_cast<DWORD>(CFE_UNDERLINE));
    EXPECT_EQ(EffectsAt(target->editor, 24, 27), 0u);
    // Written out again, the imported text gives the same file.
    Export(target->window, InExports("again.rtf"));
    EXPECT_EQ(ReadFileBytes(InExports("again.rtf")), exported);
}

TEST_F(NoteIoTest, ImportOfAMissingFileOrACancelledDialogKeepsTheText)
{
    NoteRecord* note = ShownNote("keep me");
    Import(note->window, InExports("nothere"));
    EXPECT_EQ(EditorText(note->editor), "keep me");
    EXPECT_TRUE(ExportedNames().empty());

    DialogWatch* cancel = WatchDialogs("");
    ImportNoteText(note->window);
    ASSERT_TRUE(WaitForWatch());
    EXPECT_TRUE(cancel->answered) << "no file dialog came up";
    EXPECT_EQ(EditorText(note->editor), "keep me");
    cancel = WatchDialogs("");
    ExportNoteText(note->window);
    ASSERT_TRUE(WaitForWatch());
    EXPECT_TRUE(cancel->answered) << "no file dialog came up";
    EXPECT_TRUE(ExportedNames().empty());
}

// After a file dialog has moved the current directory, the notes' own files
// are still written to and read from the data folder.
TEST_F(NoteIoTest, ContentFilesStayInTheDataFolderAfterAnExport)
{
    NoteRecord* note = ShownNote("stays home");
    Export(note->window, InExports("out"));
    // Wherever the dialog left it, the current directory is elsewhere now.
    SetCurrentDirectoryA(exportFolder.c_str());
    ASSERT_TRUE(WriteFileBytes(InExports(note->fileName), "{\\rtf1 stranger}"));

    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find("stays home"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(InExports(note->fileName)), "{\\rtf1 stranger}");

    HWND window = note->window;
    note->window = NULL;
    note->editor = NULL;
    DestroyWindow(window);
    FreeNotes();
    ASSERT_EQ(LoadNotes(), 1);
    ASSERT_EQ(CountNotes(), 1);
    SetCurrentDirectoryA(exportFolder.c_str());
    note = NoteList.head;
    ASSERT_EQ(MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile), 1);
    EXPECT_EQ(EditorText(note->editor), "stays home");
}

// ---- Printing --------------------------------------------------------------------

// A stand-in for the rich-edit control that lays out a text of `length`
// characters, `perPage` characters to a page (0: a page takes nothing), and
// records what the page loop asks of it.
struct PagedText {
    LONG length = 0;
    LONG perPage = 0;
    std::vector<FORMATRANGE> renders;
    bool drawnEachTime = true;
    int cacheFrees = 0;
};
PagedText paged;
const size_t RunawayRenders = 1000;

LRESULT CALLBACK PagedEditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETTEXTLENGTH) return paged.length;
    if (message != EM_FORMATRANGE) return DefWindowProcA(window, message, wParam, lParam);
    if (!lParam) {
        paged.cacheFrees++;
        return 0;
    }
    const FORMATRANGE* range = reinterpret_cast<const FORMATRANGE*>(lParam);
    paged.renders.push_back(*range);
    paged.drawnEachTime = paged.drawnEachTime && wParam == TRUE;
    if (paged.renders.size() > RunawayRenders) return paged.length;   // ends a loop that would not
    return std::min(range->chrg.cpMin + paged.perPage, paged.length);
}

TEST_F(NoteIoTest, PageLoopGivesAsManyPagesAsTheTextNeedsAndEnds)
{
    WNDCLASSA pagedClass = {};
    pagedClass.lpfnWndProc = PagedEditorProc;
    pagedClass.hInstance = hInstance;
    pagedClass.lpszClassName = "QuibletPagedText";
    RegisterClassA(&pagedClass);
    HWND editor = CreateWindowExA(0, "QuibletPagedText", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, hInstance, NULL);
    ASSERT_NE(editor, (HWND)NULL);
    HDC page = CreateCompatibleDC(NULL);

    struct Case { LONG length, perPage; int pages; };
    const Case cases[] = {
        { 0, 100, 1 },     // an empty note prints one empty page
        { 1, 100, 1 },
        { 100, 100, 1 },
        { 101, 100, 2 },
        { 250, 100, 3 },   // two and a half pages
        { 50, 0, 1 },      // a page that takes no text
    };
    for (const Case& c : cases) {
        paged = PagedText();
        paged.length = c.length;
        paged.perPage = c.perPage;
        EXPECT_EQ(RenderRichTextPages(editor, page), c.pages) << c.length << " characters, " << c.perPage << " a page";
        EXPECT_EQ(paged.cacheFrees, 1) << "the control's cached layout is not freed";
        EXPECT_TRUE(paged.drawnEachTime);
    }
    // The last case rendered once; the one before, each page from where the
    // last ended, always into the same area.
    ASSERT_EQ(paged.renders.size(), 1u);
    paged = PagedText();
    paged.length = 250;
    paged.perPage = 100;
    RenderRichTextPages(editor, page);
    ASSERT_EQ(paged.renders.size(), 3u);
    for (size_t i = 0; i < paged.renders.size(); i++) {
        const FORMATRANGE& range = paged.renders[i];
        EXPECT_EQ(range.chrg.cpMin, static_cast<LONG>(100 * i));
        EXPECT_EQ(range.chrg.cpMax, -1);
        EXPECT_EQ(range.hdc, page);
        EXPECT_EQ(range.hdcTarget, page);
        RECT area = { 1000, 1000, 10080, 14400 };
        EXPECT_TRUE(EqualRect(&range.rc, &area));
        EXPECT_TRUE(EqualRect(&range.rcPage, &area));
    }
    DeleteDC(page);
    DestroyWindow(editor);
}

TEST_F(NoteIoTest, CancelledOrRefusedPrinterDialogPrintsNothing)
{
    NoteRecord* note = ShownNote("not printed");
    // The first dialog of a kind loads what the system keeps for it.
    int gdiBefore = 0;
    for (int round = 0; round < 2; round++) {
        if (round == 1) gdiBefore = CountGdiObjects();
        DialogWatch* cancel = WatchDialogs("");
        PrintRichText(note->editor);
        ASSERT_TRUE(WaitForWatch());
        ASSERT_TRUE(cancel->answered) << "no printer dialog came up";
        for (const std::string& other : cancel->others) ADD_FAILURE() << "unexpected box " << other;
    }
    EXPECT_EQ(CountGdiObjects(), gdiBefore);
    EXPECT_EQ(EditorText(note->editor), "not printed");
}

// ---- A real print job -------------------------------------------------------------
// Wine's PostScript driver with a small page description of our own, printing
// into a file.
const char TestPrinterName[] = "Quiblet Test Printer";
const char TestDriverName[] = "Quiblet Test PostScript";
const char TestPpdName[] = "quiblet-test.ppd";
const char TestPpd[] =
    "*PPD-Adobe: \"4.3\"\n"
    "*ModelName: \"Quiblet Test\"\n"
    "*NickName: \"Quiblet Test\"\n"
    "*DefaultResolution: 300dpi\n"
    "*DefaultPageSize: A4\n"
    "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
    "*DefaultImageableArea: A4\n"
    "*ImageableArea A4/A4: \"18 18 577 824\"\n"
    "*DefaultPaperDimension: A4\n"
    "*PaperDimension A4/A4: \"595 842\"\n";

class PrinterTest : public NoteIoTest {
protected:
    std::string unixOutput, output, oldDefault, ppdPath;
    bool installed = false;

    void SetUp() override
    {
        NoteIoTest::SetUp();
        char name[64];
        wsprintfA(name, "/tmp/quiblet-print-%lu.ps", GetCurrentProcessId());
        unixOutput = name;
        output = "Z:" + unixOutput;
        for (char& c : output) if (c == '/') c = '\\';
        DeleteFileA(output.c_str());

        char defaultName[256];
        DWORD size = sizeof defaultName;
        if (GetDefaultPrinterA(defaultName, &size)) oldDefault = defaultName;
        char system[MAX_PATH];
        GetSystemDirectoryA(system, sizeof system);
        ppdPath = std::string(system) + "\\spool\\drivers\\x64\\3\\" + TestPpdName;
        if (!WriteFileBytes(ppdPath, TestPpd)) return;
        DRIVER_INFO_3A driver = {};
        driver.cVersion = 3;
        driver.pName = const_cast<char*>(TestDriverName);
        driver.pEnvironment = const_cast<char*>("Windows x64");
        driver.pDriverPath = const_cast<char*>("wineps.drv");
        driver.pDataFile = const_cast<char*>(TestPpdName);
        driver.pConfigFile = const_cast<char*>("wineps.drv");
        if (!AddPrinterDriverA(NULL, 3, reinterpret_cast<LPBYTE>(&driver))) return;
        PRINTER_INFO_2A printer = {};
        printer.pPrinterName = const_cast<char*>(TestPrinterName);
        printer.pPortName = const_cast<char*>(unixOutput.c_str());
        printer.pDriverName = const_cast<char*>(TestDriverName);
        printer.pPrintProcessor = const_cast<char*>("WinPrint");
        printer.pDatatype = const_cast<char*>("RAW");
        HANDLE handle = AddPrinterA(NULL, 2, reinterpret_cast<LPBYTE>(&printer));
        if (!handle) return;
        ClosePrinter(handle);
        installed = SetDefaultPrinterA(TestPrinterName) != 0;
    }
    void TearDown() override
    {
        HANDLE handle = NULL;
        PRINTER_DEFAULTSA access = { NULL, NULL, PRINTER_ALL_ACCESS };
        if (OpenPrinterA(const_cast<char*>(TestPrinterName), &handle, &access)) {
            DeletePrinter(handle);
            ClosePrinter(handle);
        }
        DeletePrinterDriverA(NULL, const_cast<char*>("Windows x64"), const_cast<char*>(TestDriverName));
        if (!oldDefault.empty()) SetDefaultPrinterA(oldDefault.c_str());
        else ForgetDefaultPrinter();
        DeleteFileA(ppdPath.c_str());
        DeleteFileA(output.c_str());
        NoteIoTest::TearDown();
    }

    // Without a printer before, the system would keep naming ours as default.
    static void ForgetDefaultPrinter()
    {
        RegistryKey key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", 0,
                          KEY_SET_VALUE, key.receive()) == ERROR_SUCCESS)
            RegDeleteValueA(key, "Device");
    }

    std::string PrintedJob(HWND editor)
    {
        DialogWatch* setup = WatchDialogs("", IDOK);
        PrintRichText(editor);
        EXPECT_TRUE(WaitForWatch());
        EXPECT_TRUE(setup->answered) << "no printer dialog came up";
        EXPECT_TRUE(setup->others.empty()) << setup->others[0];
        PumpUntil([&] { return ReadFileBytes(output).find("%%EOF") != std::string::npos; });
        std::string job = ReadFileBytes(output);
        DeleteFileA(output.c_str());
        return job;
    }
};

int PageCount(const std::string& job)
{
    size_t at = job.rfind("%%Pages: ");
    return at == std::string::npos ? -1 : atoi(job.c_str() + at + 9);
}

TEST_F(PrinterTest, PrintsOneJobNamedAfterTheProgram)
{
    if (!installed) GTEST_SKIP() << "no test printer can be installed here";
    NoteRecord* empty = ShownNote("");
    std::string job = PrintedJob(empty->editor);
    ASSERT_FALSE(job.empty()) << "nothing was printed";
    EXPECT_NE(job.find("%%Title: kestrix Quiblet"), std::string::npos);
    EXPECT_EQ(PageCount(job), 1) << "an empty note prints one empty page";

    // Wine's control lays out nothing for printing (every page ends at
    // character 0); the job must still end.
    NoteRecord* full = ShownNote("");
    std::string text;
    for (int i = 1; i <= 200; i++) text += "Zeile " + std::to_string(i) + "\r\n";
    SetEditorText(full->editor, text.c_str());
    job = PrintedJob(full->editor);
    EXPECT_NE(job.find("%%Title: kestrix Quiblet"), std::string::npos);
    EXPECT_GE(PageCount(job), 1);
}

}  // namespace
