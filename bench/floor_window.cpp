#include "bench/floor_window.h"
#include <commctrl.h>
#include <richedit.h>
#include "bench/bench_common.h"

// ---- Module state ---------------------------------------------------------
static const char* const FloorClass = "benchFloorNote";
// A popup with a sizing border: a note's window without a caption for the
// system to paint (the program paints its own title bar instead).
static const DWORD FloorWindowStyle = WS_POPUP | WS_THICKFRAME;
static const DWORD FloorEditorStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL;

static void OnSize(HWND window, int width, int height)
{
    HWND editor = GetWindow(window, GW_CHILD);
    if (editor) MoveWindow(editor, 0, 0, width, height, TRUE);
}

static LRESULT CALLBACK FloorNoteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        OnSize(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool SetUpFloorWindows()
{
    if (!LoadRichEdit()) return false;
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = FloorNoteProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = FloorClass;
    return RegisterClassA(&wc) != 0;
}

static void Lap(Stopwatch* clock, double* sum)
{
    *sum += clock->elapsedUs();
    clock->restart();
}

FloorNote MakeFloorNote(const RECT& place, const char* path, FloorWindowSteps* steps)
{
    FloorWindowSteps ignored;
    if (!steps) steps = &ignored;
    Stopwatch clock;
    FloorNote note = { NULL, NULL, path ? path : "" };
    note.window = CreateWindowExA(WS_EX_TOOLWINDOW, FloorClass, "Floor", FloorWindowStyle, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    if (!note.window) return note;
    Lap(&clock, &steps->window);
    RECT client;
    GetClientRect(note.window, &client);
    note.editor = CreateWindowExW(0, L"RICHEDIT50W", L"", FloorEditorStyle, 0, 0, client.right, client.bottom,
                                  note.window, NULL, GetModuleHandleA(NULL), NULL);
    if (!note.editor) return note;
    SendMessageA(note.editor, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    Lap(&clock, &steps->editor);
    if (path) StreamRtfIn(note.editor, path);
    Lap(&clock, &steps->text);
    ShowWindow(note.window, SW_SHOW);
    UpdateWindow(note.window);
    Lap(&clock, &steps->show);
    return note;
}

std::vector<FloorNote> MakeFloorNotes(const std::string& folder, int count, FloorWindowSteps* steps)
{
    std::vector<FloorNote> notes;
    for (int i = 0; i < count; i++) {
        std::string path = folder + "\\" + NoteContentName(i);
        notes.push_back(MakeFloorNote(NotePlace(i), path.c_str(), steps));
    }
    return notes;
}

bool AllFloorNotesMade(const std::vector<FloorNote>& notes)
{
    for (const FloorNote& note : notes)
        if (!note.window || !note.editor) return false;
    return true;
}

void DestroyFloorNotes(std::vector<FloorNote>* notes)
{
    for (FloorNote& note : *notes) DestroyWindow(note.window);
    notes->clear();
    PumpPending();
}

RECT NewFloorNotePlace()
{
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT place = { work.right - BENCH_NOTE_WIDTH - 30, work.bottom - BENCH_NOTE_HEIGHT - 30,
                   work.right - 30, work.bottom - 30 };
    return place;
}

// ---- Streaming ------------------------------------------------------------------
namespace {
struct FileCookie {
    HANDLE file;
    bool failed;
};

DWORD CALLBACK ReadFromFile(DWORD_PTR cookie, LPBYTE buffer, LONG requested, LONG* done)
{
    FileCookie* stream = reinterpret_cast<FileCookie*>(cookie);
    DWORD count = 0;
    if (!ReadFile(stream->file, buffer, static_cast<DWORD>(requested), &count, NULL)) count = 0;
    *done = static_cast<LONG>(count);
    return 0;
}

DWORD CALLBACK WriteToFile(DWORD_PTR cookie, LPBYTE buffer, LONG offered, LONG* done)
{
    FileCookie* stream = reinterpret_cast<FileCookie*>(cookie);
    DWORD count = 0;
    if (!WriteFile(stream->file, buffer, static_cast<DWORD>(offered), &count, NULL) ||
        count != static_cast<DWORD>(offered)) {
        stream->failed = true;
        *done = static_cast<LONG>(count);
        return 1;
    }
    *done = static_cast<LONG>(count);
    return 0;
}
}  // namespace

bool StreamRtfIn(HWND editor, const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    FileCookie stream = { file, false };
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&stream);
    es.pfnCallback = ReadFromFile;
    SendMessageA(editor, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));
    CloseHandle(file);
    return true;
}

bool SaveRtfSafely(HWND editor, const char* path)
{
    std::string temp = std::string(path) + ".tmp";
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    FileCookie stream = { file, false };
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&stream);
    es.pfnCallback = WriteToFile;
    SendMessageA(editor, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&es));
    bool written = !stream.failed && es.dwError == 0 && FlushFileBuffers(file);
    CloseHandle(file);
    if (!written || !MoveFileExA(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    return true;
}

// ---- The note list's floor -------------------------------------------------------
// A bare list view of the list dialog's style in a plain popup, the rows
// written with redrawing off and painted once.
static const DWORD FloorListStyle =
    WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;

HWND MakeFloorList(const RECT& listRect, int columns)
{
    // The list fills its window's client area (the floor window's WM_SIZE).
    RECT outer = listRect;
    AdjustWindowRectEx(&outer, WS_POPUP | WS_CAPTION, FALSE, WS_EX_TOOLWINDOW);
    HWND frame = CreateWindowExA(WS_EX_TOOLWINDOW, FloorClass, "Floor list", WS_POPUP | WS_CAPTION, outer.left,
                                 outer.top, outer.right - outer.left, outer.bottom - outer.top, NULL, NULL,
                                 GetModuleHandleA(NULL), NULL);
    if (!frame) return NULL;
    HWND list = CreateWindowExA(WS_EX_STATICEDGE, WC_LISTVIEWA, "", FloorListStyle, 0, 0,
                                listRect.right - listRect.left, listRect.bottom - listRect.top, frame, NULL,
                                GetModuleHandleA(NULL), NULL);
    ShowWindow(frame, SW_SHOW);
    UpdateWindow(frame);
    for (int i = 0; list && i < columns; i++) {
        LVCOLUMNA column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = 50;
        column.pszText = const_cast<char*>("Spalte");
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    return list;
}

void FillFloorList(HWND list, const std::vector<std::vector<std::string>>& rows)
{
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t row = 0; row < rows.size(); row++) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(row);
        item.pszText = const_cast<char*>(rows[row][0].c_str());
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        for (size_t column = 1; column < rows[row].size(); column++) {
            item.iSubItem = static_cast<int>(column);
            item.pszText = const_cast<char*>(rows[row][column].c_str());
            SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        }
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, NULL, TRUE);
    UpdateWindow(list);
}
