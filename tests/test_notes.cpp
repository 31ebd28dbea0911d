// Note windows as a user meets them: made, hidden, deleted, saved by
// themselves, exported, imported and printed.
#include "support/test_env.h"
#include <dlgs.h>
#include "notes/autosave.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/main_dialog.h"
#include "shell/ui_text.h"

// The control's default limit would cut a long note short when it is
// streamed in, and the cut text would be saved back that way. Sized smaller,
// a note stays 100 by 100, and its record says so.
TEST_F(QuibletTest, NotesTakeLongTextsAndKeepHundredByHundred)
{
    NoteRecord* note = ShownNote("");
    EXPECT_EQ(SendMessageA(note->editor, EM_GETLIMITTEXT, 0, 0), NOTE_TEXT_LIMIT);
    RECT r = { 200, 150, 290, 180 };
    SendMessageA(note->window, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&r));
    EXPECT_EQ(note->width, 100);
    EXPECT_EQ(note->height, 100);
}

// A change every second for a minute: saved at the minute, and only by a
// tick of the main loop, never by one a modal loop dispatches.
TEST_F(QuibletTest, AutosaveRunsOnTheMainLoopAMinuteIntoChangesThatNeverPause)
{
    NoteRecord* note = AddTestNote();
    for (DWORD t = 0; t < 60000; t += 1000) {
        note->left++;
        EXPECT_FALSE(AutosaveTick(t)) << t;
    }
    DWORD saves = SaveCount;
    SendMessageA(hMainDialog, WM_TIMER, MAIN_TIMER_ID, 0);
    EXPECT_EQ(SaveCount, saves);
    DispatchFromMainLoop(MSG{ hMainDialog, WM_TIMER, MAIN_TIMER_ID, 0, 60000 });
    EXPECT_EQ(SaveCount, saves + 1);
}

// Alt+F4 hides a note as its hide button does.
TEST_F(QuibletTest, HidingSoundsWithSoundsOnOnly)
{
    SendMessageA(ShownNote("laut")->window, WM_SYSCOMMAND, SC_CLOSE, 0);
    AppSettings.sound = 0;
    SendMessageA(ShownNote("leise")->window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(SoundsPlayed, std::vector<std::string>({ "..\\Paper2.wav" }));
}

// Only safe mode 1 asks first (end-to-end); the file goes once "note.dat"
// no longer names it.
TEST_F(QuibletTest, DeletingInSafeModeTwoAsksNothingAndTheNextSaveTakesTheFile)
{
    AppSettings.safeMode = 2;
    NoteRecord* note = ShownNote("weg");
    ASSERT_EQ(SaveNotes(), 1);
    std::string file = InDataFolder(note->fileName);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_DELETE, 0);
    SaveNotes();
    EXPECT_FALSE(FileExists(file));
}

// Exporting over a file asks first; a file another program holds, or one the
// disk refuses to fill, keeps its bytes, and the user hears of it. The file's
// name is outside the code page.
TEST_F(QuibletTest, FailedExportKeepsTheOldFileAndImportBringsTheTextBack)
{
    NoteRecord* note = ShownNote("eins zwei");
    std::wstring path = std::wstring(dataFolder.begin(), dataFolder.end()) + L"\\..\\Łódź ✓ export";
    auto typePath = [&](HWND dialog) { SetDlgItemTextW(dialog, cmb13, path.c_str()); };
    AnswerNextBox(NULL, IDOK, typePath);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_EXPORT, 0);
    path += L".rtf";
    std::string exported = ReadFileBytes(path);
    // The dialog added the extension.
    ASSERT_NE(exported, "");

    SetWindowTextA(note->editor, "neu");
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    AnswerNextBox(NULL, IDOK, typePath);
    BoxAnswer* replace = AnswerNextBox(NULL, IDYES);
    BoxAnswer* failed = AnswerNextBox(TEXT_ERROR_CAPTION, IDOK);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_EXPORT, 0);
    CloseHandle(held);
    EXPECT_TRUE(replace->answered);
    EXPECT_EQ(failed->text, TEXT_ERR_EXPORT);
    EXPECT_EQ(ReadFileBytes(path), exported);

    AnswerNextBox(NULL, IDOK, typePath);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_IMPORT, 0);
    EXPECT_EQ(EditorText(note->editor), "eins zwei");

    StoreFaultInjector = [](StoreStep step, const char*) { return step == StoreWrite; };
    EXPECT_EQ(StreamFileOut(note->editor, path.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(path), exported);
}

// Wine's PostScript driver, with a page description of our own in the
// drivers folder, prints into a file; a machine where it cannot be installed
// fails here.
TEST_F(QuibletTest, PrintingMakesOneJobNamedAfterTheProgramAndCancelPrintsNothing)
{
    std::string ppd = "C:\\windows\\system32\\spool\\drivers\\x64\\3\\quiblet-test.ppd";
    ASSERT_TRUE(WriteFileBytes(ppd, "*PPD-Adobe: \"4.3\"\n*ModelName: \"Q\"\n*NickName: \"Q\"\n"
                                    "*DefaultPageSize: A4\n*PageSize A4/A4: \"\"\n"
                                    "*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"18 18 577 824\"\n"
                                    "*DefaultPaperDimension: A4\n*PaperDimension A4/A4: \"595 842\"\n"));
    char name[] = "Quiblet Test", environment[] = "Windows x64", wineps[] = "wineps.drv";
    char ppdName[] = "quiblet-test.ppd", processor[] = "WinPrint", raw[] = "RAW";
    DRIVER_INFO_3A driver = { 3, name, environment, wineps, ppdName, wineps };
    if (!AddPrinterDriverA(NULL, 3, reinterpret_cast<LPBYTE>(&driver))) {
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_ALREADY_INSTALLED));
    }
    std::string output = "/tmp/quiblet-print-" + std::to_string(GetCurrentProcessId()) + ".ps";
    PRINTER_INFO_2A info = { NULL, name, NULL, &output[0], name };
    info.pPrintProcessor = processor;
    info.pDatatype = raw;
    HANDLE printer = AddPrinterA(NULL, 2, reinterpret_cast<LPBYTE>(&info));
    // Fails while a printer of this name is left by a run that crashed.
    ASSERT_TRUE(printer);
    ASSERT_TRUE(SetDefaultPrinterA(name));
    // The same file seen from Windows.
    std::string job = "Z:" + output;

    NoteRecord* note = ShownNote("Zeile\r\nZeile");
    AnswerNextBox(NULL, IDCANCEL);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_PRINT, 0);
    EXPECT_FALSE(FileExists(job));
    AnswerNextBox(NULL, IDOK);
    SendMessageA(note->window, WM_COMMAND, IDM_NOTE_PRINT, 0);
    EXPECT_TRUE(PumpUntil([&] { return ReadFileBytes(job).find("%%EOF") != std::string::npos; }));
    EXPECT_NE(ReadFileBytes(job).find("%%Title: kestrix Quiblet"), std::string::npos);
    DeletePrinter(printer);
    ClosePrinter(printer);
    DeleteFileA(job.c_str());
}
