#include "notelist/note_list_dialog.h"
#include <commctrl.h>
#include <richedit.h>
#include <stdio.h>
#include "alarm/note_props_dialog.h"
#include "notes/note_menus.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/globals.h"
#include "shell/services.h"
#include "shell/ui_text.h"

// ---- Module state ---------------------------------------------------------
DWORD       NoteListDialogOpen;
NoteRecord* CurrentListNote;
int         CurrentListRow;
HWND        hNoteListDialog;
// Writing row texts makes the list view report LVN_ITEMCHANGED; those
// reports are the program's own doing, not a row the user chose.
static bool WritingRows;
// CurrentListNote as a reference that finds it gone.
static NoteRef CurrentListRef;

namespace {

struct ListColumn {
    const char* header;
    int width;
};
const ListColumn Columns[NOTE_LIST_COLUMNS] = {
    { "Nr.", 30 }, { "Sichtbar", 60 }, { "Alarm", 40 }, { "Zeit", 50 }, { "Datum", 70 },
};

HWND ListView(HWND dialog)
{
    return GetDlgItem(dialog, IDC_LIST_VIEW);
}

// The widths are given for 96 DPI and grow with the dialog's scale, as its
// font does.
void AddColumns(HWND listView)
{
    UINT dpi = WindowDpi(listView);
    for (int i = 0; i < NOTE_LIST_COLUMNS; i++) {
        LVCOLUMNA column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = ScaledToDpi(Columns[i].width, dpi);
        column.pszText = const_cast<char*>(Columns[i].header);
        SendMessageA(listView, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

void WriteRowTexts(HWND listView, int row, const NoteRecord& note)
{
    char texts[NOTE_LIST_COLUMNS][ROW_TEXT_SIZE];
    FormatNoteListRow(note, row, texts);
    for (int column = 0; column < NOTE_LIST_COLUMNS; column++) {
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = texts[column];
        SendMessageA(listView, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    }
}

// The rows below a removed one move up and are numbered anew; the list is
// not rebuilt.
void RemoveNoteListRow(HWND listView, int row)
{
    WritingRows = true;
    SendMessageA(listView, WM_SETREDRAW, FALSE, 0);
    SendMessageA(listView, LVM_DELETEITEM, row, 0);
    for (NoteRecord* note = NoteAtPosition(row); note; note = note->next, row++)
        WriteRowTexts(listView, row, *note);
    SendMessageA(listView, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listView, NULL, TRUE);
    WritingRows = false;
}

void SetCheck(HWND dialog, int id, bool checked)
{
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void ChooseListNote(NoteRecord* note)
{
    CurrentListNote = note;
    CurrentListRef = RefToNote(note);
}

bool IsCurrentNoteGone()
{
    return ResolveNote(CurrentListRef) == nullptr;
}

void CloseNoteList(HWND dialog)
{
    NoteListDialogOpen = 0;
    DestroyWindow(dialog);
}

// ---- Acting on the current note ---------------------------------------------
void ShowListNote(HWND dialog, NoteRecord* note)
{
    SetCheck(dialog, IDC_LIST_VISIBLE, true);
    note->visible = 1;
    UpdateNoteListRow(ListView(dialog));
    if (note->window) {
        SetForegroundWindow(note->window);
        return;
    }
    if (!MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile)) return;
    SetForegroundWindow(note->window);
    SetForegroundWindow(dialog);
}

void HideListNote(HWND dialog, NoteRecord* note)
{
    note->visible = 0;
    if (note->window) {
        // Saved while the window still exists, so that its text reaches the
        // file; a failed save keeps the window and the note visible. The
        // error box's loop may remove the note meanwhile.
        NoteRef ref = RefToNote(note);
        bool saved = SaveNotes() != 0;
        if (!ResolveNote(ref)) return;
        if (!saved) {
            note->visible = 1;
            SetCheck(dialog, IDC_LIST_VISIBLE, true);
            return;
        }
        DestroyNoteWindow(note);
        SetForegroundWindow(dialog);
    }
    SetCheck(dialog, IDC_LIST_VISIBLE, false);
    UpdateNoteListRow(ListView(dialog));
}

void OnVisibleCommand(HWND dialog)
{
    if (!CurrentListNote) return;
    if (CurrentListNote->visible == 0) ShowListNote(dialog, CurrentListNote);
    else HideListNote(dialog, CurrentListNote);
}

void OnAlarmCommand(HWND dialog)
{
    if (!CurrentListNote) return;
    bool on = CurrentListNote->alarmOn == 0;
    SetCheck(dialog, IDC_LIST_ALARM, on);
    CurrentListNote->alarmOn = on ? 1 : 0;
    UpdateNoteListRow(ListView(dialog));
}

void OnDeleteCommand(HWND dialog)
{
    if (!CurrentListNote) return;
    if (AppSettings.safeMode == 1 &&
        MessageBoxW(dialog, TEXT_DELETE_QUESTION, TEXT_DELETE_CAPTION, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // The question box runs a message loop: the note may have gone meanwhile.
    if (IsCurrentNoteGone()) {
        ChooseListNote(nullptr);
        FillNoteList(ListView(dialog));
        return;
    }
    HWND window = CurrentListNote->window;
    bool rowHoldsNote = NoteAtPosition(CurrentListRow) == CurrentListNote;
    RemoveNote(CurrentListNote);
    ChooseListNote(nullptr);
    if (window) DestroyWindow(window);
    // The save that writes "note.dat" without the note removes its file.
    SaveNotes();
    if (rowHoldsNote) RemoveNoteListRow(ListView(dialog), CurrentListRow);
    else FillNoteList(ListView(dialog));
}

void OnPropertiesCommand(HWND dialog)
{
    if (!CurrentListNote) return;
    NoteRecord* note = CurrentListNote;
    CloseNoteList(dialog);
    OpenListNoteProperties(note);
}

void OnCloseCommand(HWND dialog)
{
    CloseNoteList(dialog);
    if (NotesHidden == 0) ShowVisibleNotes();
}

// The program has no notice for a note removed elsewhere (its own delete
// button, the alarm dialog): every command checks first.
void ForgetRemovedNote(HWND dialog)
{
    if (!CurrentListNote || !IsCurrentNoteGone()) return;
    ChooseListNote(nullptr);
    FillNoteList(ListView(dialog));
}

// ---- Message handlers ---------------------------------------------------------
void OnInitDialog(HWND dialog)
{
    hNoteListDialog = dialog;
    ChooseListNote(NoteList.head);
    CurrentListRow = 0;
    AddColumns(ListView(dialog));
    FillNoteList(ListView(dialog));
    // The preview takes a note's text whole, as the note's own editor does: a
    // text cut short would also have its file's original kept beside it.
    SendDlgItemMessageA(dialog, IDC_LIST_PREVIEW, EM_EXLIMITTEXT, 0, NOTE_TEXT_LIMIT);
}

void OnRowChosen(HWND dialog, int row)
{
    if (WritingRows || row < 0) return;
    CurrentListRow = row;
    NoteRecord* note = NoteAtPosition(row);
    if (!note) {
        ChooseListNote(nullptr);
        FillNoteList(ListView(dialog));
        return;
    }
    ChooseListNote(note);
    HWND preview = GetDlgItem(dialog, IDC_LIST_PREVIEW);
    ClearRichText(preview);
    LoadNoteText(note, preview);
    SendMessageA(preview, EM_SETBKGNDCOLOR, 0, note->backColor);
    SetCheck(dialog, IDC_LIST_ALARM, note->alarmOn != 0);
    SetCheck(dialog, IDC_LIST_VISIBLE, note->visible != 0);
}

void OnNotify(HWND dialog, const NMHDR* header)
{
    if (header->idFrom != IDC_LIST_VIEW || header->code != LVN_ITEMCHANGED) return;
    OnRowChosen(dialog, reinterpret_cast<const NMLISTVIEW*>(header)->iItem);
}

void OnCommand(HWND dialog, WPARAM command)
{
    // Only a plain click: the whole command word is the control id.
    if (HIWORD(command) != 0) return;
    ForgetRemovedNote(dialog);
    switch (LOWORD(command)) {
    case IDC_LIST_CREATE:
        CreateNote();
        break;
    case IDC_LIST_REFRESH:
        SaveNotes();
        FillNoteList(ListView(dialog));
        break;
    case IDC_LIST_PROPERTIES:
        OnPropertiesCommand(dialog);
        break;
    case IDC_LIST_DELETE:
        OnDeleteCommand(dialog);
        break;
    case IDC_LIST_ALARM:
        OnAlarmCommand(dialog);
        break;
    case IDC_LIST_VISIBLE:
        OnVisibleCommand(dialog);
        break;
    case IDC_CLOSE:
        OnCloseCommand(dialog);
        break;
    default:
        break;
    }
}

void OnDestroy()
{
    NoteListDialogOpen = 0;
    hNoteListDialog = NULL;
    ChooseListNote(nullptr);
}

}  // namespace

void FormatNoteListRow(const NoteRecord& note, int position, char texts[NOTE_LIST_COLUMNS][ROW_TEXT_SIZE])
{
    snprintf(texts[0], ROW_TEXT_SIZE, "%d", position + 1);
    snprintf(texts[1], ROW_TEXT_SIZE, "%s", note.visible == 1 ? "yes" : "no");
    snprintf(texts[2], ROW_TEXT_SIZE, "%s", note.alarmOn != 0 ? "on" : "off");
    if (note.alarmOn != 0) {
        snprintf(texts[3], ROW_TEXT_SIZE, "%2.2i:%2.2i", note.alarmHour, note.alarmMinute);
        snprintf(texts[4], ROW_TEXT_SIZE, "%2.2i.%2.2i.%4.4i", note.alarmDay, note.alarmMonth, note.alarmYear);
    } else {
        snprintf(texts[3], ROW_TEXT_SIZE, "n/a");
        snprintf(texts[4], ROW_TEXT_SIZE, "n/a");
    }
}

void OpenNoteList(HWND owner)
{
    if (NoteListDialogOpen != 0) return;
    NoteListDialogOpen = 1;
    HWND dialog = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_NOTE_LIST), owner, NoteListDialogProc, 0);
    if (!dialog) {
        NoteListDialogOpen = 0;
        return;
    }
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
}

// The list view redraws once, after the last row, instead of after each.
void FillNoteList(HWND listView)
{
    WritingRows = true;
    SendMessageA(listView, WM_SETREDRAW, FALSE, 0);
    SendMessageA(listView, LVM_DELETEALLITEMS, 0, 0);
    SendMessageA(listView, LVM_SETITEMCOUNT, CountNotes(), 0);
    int row = 0;
    for (NoteRecord* note = NoteList.head; note; note = note->next, row++) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<char*>("");
        SendMessageA(listView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        WriteRowTexts(listView, row, *note);
    }
    SendMessageA(listView, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listView, NULL, TRUE);
    WritingRows = false;
}

void UpdateNoteListRow(HWND listView)
{
    NoteRecord* note = NoteAtPosition(CurrentListRow);
    if (!note) return;
    WritingRows = true;
    WriteRowTexts(listView, CurrentListRow, *note);
    WritingRows = false;
}

INT_PTR CALLBACK NoteListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return 0;
    case WM_NOTIFY:
        OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
        return 0;
    case WM_COMMAND:
        OnCommand(dialog, wParam);
        return 0;
    case WM_HELP:
        ShowHelp();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        return 0;
    }
}
