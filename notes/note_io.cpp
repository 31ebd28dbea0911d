#include "notes/note_io.h"
#include <commdlg.h>
#include <richedit.h>
#include "notes/note_store.h"
#include "shell/globals.h"
#include "shell/services.h"
#include "shell/ui_text.h"

// The file dialogs may leave the current directory in the chosen file's
// folder; content files are opened by full path (note_store), so the notes
// keep their files wherever it stands.

namespace {

const wchar_t RtfFilter[] = L"RTF Files (*.RTF)\0*.RTF\0";
const DWORD RtfPathChars = 256;   // what the dialog may fill, zero included

// Frees what the printer dialog handed back; the caller owns all three.
struct PrinterSetup {
    PRINTDLGA dialog = {};
    PrinterSetup() = default;
    PrinterSetup(const PrinterSetup&) = delete;
    PrinterSetup& operator=(const PrinterSetup&) = delete;
    ~PrinterSetup()
    {
        if (dialog.hDevMode) GlobalFree(dialog.hDevMode);
        if (dialog.hDevNames) GlobalFree(dialog.hDevNames);
        if (dialog.hDC) DeleteDC(dialog.hDC);
    }
};

}  // namespace

// At its full size the structure brings the dialog of current Windows; the
// 4.0 size would bring the old one.
BOOL ChooseRtfFile(HWND owner, wchar_t* path, RtfDialogMode mode)
{
    OPENFILENAMEW file = {};
    file.lStructSize = sizeof file;
    file.hwndOwner = owner;
    file.lpstrFilter = RtfFilter;
    file.nFilterIndex = 1;
    file.lpstrFile = path;
    file.nMaxFile = RtfPathChars;
    file.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | (mode == RtfSave ? OFN_OVERWRITEPROMPT : 0);
    file.lpstrDefExt = L"RTF";
    return mode == RtfOpen ? GetOpenFileNameW(&file) : GetSaveFileNameW(&file);
}

void ImportNoteText(HWND noteWindow, HWND editor)
{
    wchar_t path[RTF_PATH_SIZE] = L"";
    if (ChooseRtfFile(noteWindow, path, RtfOpen) != 1) return;
    // Streaming in leaves the control unmodified, yet the note's file does
    // not hold the imported text.
    if (StreamFileIn(editor, SF_RTF, path)) SendMessageA(editor, EM_SETMODIFY, TRUE, 0);
}

void ExportNoteText(HWND noteWindow, HWND editor)
{
    wchar_t path[RTF_PATH_SIZE] = L"";
    if (ChooseRtfFile(noteWindow, path, RtfSave) != 1) return;
    if (!StreamFileOut(editor, path)) ShowError(TEXT_ERR_EXPORT);
}

int RenderRichTextPages(HWND editor, HDC printer)
{
    FORMATRANGE range = {};
    range.hdc = printer;
    range.hdcTarget = printer;
    range.rc.left = PRINT_LEFT;
    range.rc.top = PRINT_TOP;
    range.rc.right = PRINT_RIGHT;
    range.rc.bottom = PRINT_BOTTOM;
    range.rcPage = range.rc;
    range.chrg.cpMin = 0;
    range.chrg.cpMax = -1;

    int pages = 1;
    LONG length = static_cast<LONG>(SendMessageA(editor, WM_GETTEXTLENGTH, 0, 0));
    while (length > 0) {
        LONG next = static_cast<LONG>(SendMessageA(editor, EM_FORMATRANGE, TRUE, reinterpret_cast<LPARAM>(&range)));
        // A page that takes no text would be printed again and again.
        if (next >= length || next <= range.chrg.cpMin) break;
        EndPage(printer);
        StartPage(printer);
        pages++;
        range.chrg.cpMin = next;
        range.chrg.cpMax = -1;
    }
    SendMessageA(editor, EM_FORMATRANGE, TRUE, 0);
    return pages;
}

void PrintRichText(HWND editor)
{
    PrinterSetup setup;
    setup.dialog.lStructSize = sizeof setup.dialog;
    setup.dialog.hwndOwner = editor;
    setup.dialog.hInstance = hInstance;
    setup.dialog.Flags = PD_RETURNDC | PD_PRINTSETUP | PD_NOPAGENUMS | PD_NOSELECTION;
    if (PrintDlgA(&setup.dialog) != 1 || !setup.dialog.hDC) return;

    HDC printer = setup.dialog.hDC;
    DOCINFOW document = {};
    document.cbSize = sizeof document;
    document.lpszDocName = TEXT_PRINT_JOB;
    SetMapMode(printer, MM_TEXT);
    // A printer that writes a file asks for its name in StartDoc; a
    // cancelled name ends the job without a word.
    if (StartDocW(printer, &document) <= 0) {
        if (GetLastError() != ERROR_CANCELLED) ShowError(TEXT_ERR_PRINT);
        return;
    }
    bool printed = StartPage(printer) > 0;
    if (printed) {
        RenderRichTextPages(editor, printer);
        printed = EndPage(printer) > 0;
    }
    if (printed) printed = EndDoc(printer) > 0;
    else AbortDoc(printer);
    if (!printed) ShowError(TEXT_ERR_PRINT);
}
