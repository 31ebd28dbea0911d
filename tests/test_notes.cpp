// Note windows as a user meets them: made, typed into, sized, hidden, deleted,
// formatted, saved by themselves, exported and imported.
#include "support/test_env.h"
#include <richedit.h>
#include "notes/autosave.h"
#include "notes/note_menus.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/main_dialog.h"
#include "shell/ui_text.h"

namespace {
RECT WindowRect(HWND window)
{
    RECT rect = {};
    return GetWindowRect(window, &rect), rect;
}

void PressTitle(HWND window, int fromLeft, int fromRight = -1)
{
    RECT r = WindowRect(window);
    int x = fromRight >= 0 ? r.right - fromRight : r.left + fromLeft;
    SendMessageA(window, WM_NCLBUTTONDOWN, HTNOWHERE, MAKELPARAM(x, r.top + 10));   // no drag loop
}

std::vector<int> heights;
WNDPROC noteProc;
LRESULT CALLBACK RecordHeights(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_WINDOWPOSCHANGING && !(reinterpret_cast<WINDOWPOS*>(lParam)->flags & SWP_NOSIZE))
        heights.push_back(reinterpret_cast<WINDOWPOS*>(lParam)->cy);
    return CallWindowProcA(noteProc, window, message, wParam, lParam);
}
}  // namespace

TEST_F(QuibletTest, NewNoteSitsLowerRightTakesLongTextSavesItselfKeepsHundredByHundredAndItsTitleButtonsAct)
{
    AppSettings.notesSizeX = 250;
    ASSERT_EQ(CreateNote(), 1);
    NoteRecord* note = NoteList.head;
    RECT r = WindowRect(note->window);
    LONG right = GetSystemMetrics(SM_CXFULLSCREEN) - 30;
    EXPECT_EQ(std::make_pair(r.left, r.right), std::make_pair(right - 250, right));
    EXPECT_EQ(SendMessageA(note->editor, EM_GETLIMITTEXT, 0, 0), NOTE_TEXT_LIMIT) << "far above the control's default";

    // Autosave: ticks come every five seconds; a change is saved once it rested three.
    ResetAutosave();
    DWORD saves = SaveCount;
    AutosaveTick(10000);
    SendMessageA(note->editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("getippt"));
    EXPECT_FALSE(AutosaveTick(11000));
    EXPECT_FALSE(AutosaveTick(13999));
    EXPECT_TRUE(AutosaveTick(14000));
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find("getippt"), std::string::npos);
    for (DWORD t = 30000; t < 89000; t += 1000) {
        note->left++;
        EXPECT_FALSE(AutosaveTick(t)) << t;
    }
    EXPECT_TRUE(AutosaveTick(90000)) << "changes that never pause wait a minute at most";
    note->top++;
    AutosaveTick(100000);
    SaveNotes();
    EXPECT_FALSE(AutosaveTick(200000)) << "a save in between made it unneeded";

    note->top++;
    AutosaveTick(GetTickCount() - 10000);   // a change that rested long enough
    SendMessageA(hMainDialog, WM_TIMER, MAIN_TIMER_ID, 0);
    EXPECT_EQ(SaveCount, saves + 3) << "a tick from a modal loop never saves";
    DispatchFromMainLoop(MSG{ hMainDialog, WM_TIMER, MAIN_TIMER_ID, 0, GetTickCount() });
    EXPECT_EQ(SaveCount, saves + 4);

    r = { 200, 150, 290, 180 };
    SendMessageA(note->window, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&r));
    EXPECT_TRUE(r.right == 300 && r.bottom == 250 && note->width == 100 && note->height == 100);

    // A window from (100, 50) to (300, 250).
    struct { int x, y; TitleButton want; } cases[] = {
        { 110, 51, TitleNone }, { 110, 52, TitleMenu }, { 110, 68, TitleMenu }, { 110, 69, TitleNone },
        { 101, 60, TitleNone }, { 102, 60, TitleMenu }, { 118, 60, TitleMenu }, { 119, 60, TitleNone },
        { 122, 60, TitleNone }, { 123, 60, TitleAlarm }, { 138, 60, TitleAlarm }, { 139, 60, TitleNone },
        { 262, 60, TitleNone }, { 263, 60, TitleHide }, { 277, 60, TitleHide }, { 278, 60, TitleNone },
        { 281, 60, TitleNone }, { 282, 60, TitleDelete }, { 300, 60, TitleDelete }, { 301, 60, TitleNone },
    };
    for (auto& c : cases) EXPECT_EQ(HitTitleButton({ 100, 50, 300, 250 }, c.x, c.y), c.want) << c.x << "," << c.y;
    MenuSeen* menu = WatchNextMenu();
    PressTitle(note->window, 10);
    EXPECT_TRUE(menu->opened && menu->menu == hCommandMenu && menu->rect.top == WindowRect(note->window).top + 16);
    note->alarmOn = 1, note->frameState = FRAME_RINGING;
    PressTitle(note->window, 30);
    EXPECT_TRUE(note->alarmOn == 0 && note->frameState == FRAME_NORMAL) << "the bell acknowledged";
}

TEST_F(QuibletTest, HideSavesRollsUpInStepsAndDeletingAsksOnlyInSafeMode)
{
    NoteRecord* note = ShownNote("Zahnarzt um drei", 200, 150);
    HWND window = note->window;
    noteProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordHeights)));
    heights.clear();
    PressTitle(window, 0, 30);
    EXPECT_EQ(heights, std::vector<int>({ 200, 155, 110, 65, 20 }));
    EXPECT_TRUE(!IsWindow(window) && note->visible == 0);
    EXPECT_NE(ReadFileBytes(InDataFolder(note->fileName)).find("Zahnarzt"), std::string::npos);
    AppSettings.sound = 0;
    PressTitle(ShownNote("leise", 400, 150)->window, 0, 30);
    EXPECT_EQ(SoundsPlayed, std::vector<std::string>({ "..\\Paper2.wav" })) << "once, with sounds on only";

    // Deleting by the button forgets the note, and the next save its file.
    for (DWORD safe : { 1, 0, 2 }) {
        AppSettings.safeMode = safe;
        note = ShownNote("weg");
        SaveNotes();
        std::string file = InDataFolder(note->fileName);
        window = note->window;
        if (safe == 1) {
            BoxAnswer* no = AnswerNextBox(TEXT_DELETE_CAPTION, IDNO);
            PressTitle(window, 0, 10);
            EXPECT_TRUE(no->text == TEXT_DELETE_QUESTION && IsWindow(window));
            AnswerNextBox(TEXT_DELETE_CAPTION, IDYES);
        }
        PressTitle(window, 0, 10);
        EXPECT_FALSE(IsWindow(window)) << safe;
        EXPECT_EQ(SaveNotes(), 1);
        EXPECT_FALSE(FileExists(file)) << safe;
        EXPECT_EQ(CountNotes(), 2) << "the two hidden notes only, safe mode " << safe;
    }
}

TEST_F(QuibletTest, TextCommandsToggleEffectsTheFontClearsLinksAndExportImportBringsTheTextBack)
{
    NoteRecord* note = ShownNote("eins zwei");
    const DWORD effects = CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT;
    CHARFORMATA f = { sizeof f, effects };   // the same bits as masks; all off, as the default font may be bold
    SendMessageA(note->editor, EM_SETSEL, 0, 4);
    SendMessageA(note->editor, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&f));
    for (UINT command : { IDM_TEXT_BOLD, IDM_TEXT_ITALIC, IDM_TEXT_UNDERLINE, IDM_TEXT_STRIKEOUT, IDM_TEXT_BOLD })
        RunTextCommand(note->editor, note->window, command);
    SendMessageA(note->editor, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&f));
    EXPECT_EQ(f.dwEffects & effects, effects & ~CFE_BOLD) << "bold toggled on and off";

    LOGFONTA font = { 0, 0, 0, 0, FW_BOLD };
    CHARFORMATA chosen = { sizeof chosen };
    chosen.dwEffects = CFE_LINK | CFE_PROTECTED | CFE_ITALIC;
    FormatFromChosenFont(font, 120, RGB(9, 8, 7), &chosen);
    EXPECT_EQ(chosen.dwMask & (CFM_LINK | CFM_PROTECTED | CFM_OFFSET), DWORD(CFM_LINK | CFM_PROTECTED));
    EXPECT_EQ(chosen.dwEffects & (CFE_LINK | CFE_PROTECTED | CFE_ITALIC | CFE_BOLD), DWORD(CFE_BOLD));

    std::string path = dataFolder + "\\..\\export";
    auto typePath = [&](HWND box) {
        SetDlgItemTextA(box, 1148, path.c_str());
        SetDlgItemTextA(box, 1152, path.c_str());
    };
    AnswerNextBox(NULL, IDOK, typePath);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_EXPORT, 0);
    path += ".rtf";
    ASSERT_TRUE(FileExists(path)) << "the extension is added";
    SetWindowTextA(note->editor, "anders");
    AnswerNextBox(NULL, IDOK, typePath);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_IMPORT, 0);
    EXPECT_EQ(EditorText(note->editor), "eins zwei");
    ASSERT_EQ(SaveNotes(), 1);
    EXPECT_TRUE(FileExists(InDataFolder(note->fileName))) << "content files stay in the data folder";

    // Exporting over a file asks first; a file another program holds, or one
    // the disk refuses to fill, keeps its bytes, and the user hears of it.
    const std::string exported = ReadFileBytes(path);
    SetWindowTextA(note->editor, "neu");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    AnswerNextBox(NULL, IDOK, typePath);
    BoxAnswer* replace = AnswerNextBox(NULL, IDYES);
    BoxAnswer* failed = AnswerNextBox(TEXT_ERROR_CAPTION, IDOK);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_EXPORT, 0);
    CloseHandle(held);
    EXPECT_TRUE(replace->answered);
    EXPECT_EQ(failed->text, TEXT_ERR_EXPORT);
    EXPECT_EQ(ReadFileBytes(path), exported);
    StoreFaultInjector = [](StoreStep step, const char*) { return step == StoreWrite; };
    EXPECT_EQ(StreamFileOut(note->editor, path.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(path), exported);
}

// Wine's PostScript driver with a page description of our own prints into a
// file; a machine where it cannot be installed fails here.
TEST_F(QuibletTest, PrintingMakesOneJobNamedAfterTheProgramAndCancelPrintsNothing)
{
    std::string ppd = "C:\\windows\\system32\\spool\\drivers\\x64\\3\\quiblet-test.ppd";
    ASSERT_TRUE(WriteFileBytes(ppd, "*PPD-Adobe: \"4.3\"\n*ModelName: \"Q\"\n*NickName: \"Q\"\n*DefaultPageSize: A4\n"
                                    "*PageSize A4/A4: \"\"\n*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"18 18 577 824\"\n"
                                    "*DefaultPaperDimension: A4\n*PaperDimension A4/A4: \"595 842\"\n"));
    auto text = [](const char* s) { return const_cast<char*>(s); };
    DRIVER_INFO_3A driver = { 3, text("Quiblet Test"), text("Windows x64"), text("wineps.drv"),
                              text("quiblet-test.ppd"), text("wineps.drv") };
    ASSERT_TRUE(AddPrinterDriverA(NULL, 3, reinterpret_cast<LPBYTE>(&driver)) || GetLastError() == ERROR_PRINTER_DRIVER_ALREADY_INSTALLED);
    std::string output = "/tmp/quiblet-print-" + std::to_string(GetCurrentProcessId()) + ".ps";
    PRINTER_INFO_2A info = { NULL, text("Quiblet Test Printer"), NULL, text(output.c_str()), driver.pName };
    info.pPrintProcessor = text("WinPrint");
    info.pDatatype = text("RAW");
    HANDLE printer = AddPrinterA(NULL, 2, reinterpret_cast<LPBYTE>(&info));
    ASSERT_TRUE(printer || GetLastError() == ERROR_PRINTER_ALREADY_EXISTS) << "error " << GetLastError();
    ASSERT_TRUE(SetDefaultPrinterA(info.pPrinterName));
    std::string job = "Z:" + output;   // the same file seen from Windows
    DeleteFileA(job.c_str());

    NoteRecord* note = ShownNote("Zeile\r\nZeile");
    AnswerNextBox(NULL, IDCANCEL);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_PRINT, 0);
    EXPECT_FALSE(FileExists(job));
    AnswerNextBox(NULL, IDOK);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_PRINT, 0);
    EXPECT_TRUE(PumpUntil([&] { return ReadFileBytes(job).find("%%EOF") != std::string::npos; }));
    EXPECT_NE(ReadFileBytes(job).find("%%Title: kestrix Quiblet"), std::string::npos);
    if (printer) DeletePrinter(printer), ClosePrinter(printer);
    DeleteFileA(job.c_str());
}
