// A thousand notes, a hundred of them shown: loading, showing, saving, the
// alarm passes and the note list all work, and the program's GDI and USER
// objects stay within the system's limits. Also where the GDI limit lies and
// what the note store does when no brush can be had.
#include "support/test_env.h"
#include "support/box_counter.h"
#include <commctrl.h>
#include <stdio.h>
#include <vector>
#include "alarm/alarm_scheduler.h"
#include "notelist/note_list_dialog.h"
#include "notes/note_store.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/app.h"
#include "shell/ui_text.h"

namespace {

const int ManyNotes = 1000;
const int ShownNotes = 100;
const int RingingNotes = 10;           // hidden notes whose alarm is due now
const int WindowsPerProcessLimit = 10000;   // Windows' default quota, GDI and USER alike

// ---- Counting what the process holds ------------------------------------------------

BOOL CALLBACK CountWindowTree(HWND window, LPARAM param)
{
    ++*reinterpret_cast<int*>(param);
    EnumChildWindows(window, [](HWND, LPARAM count) -> BOOL { ++*reinterpret_cast<int*>(count); return TRUE; }, param);
    return TRUE;
}

// Wine answers GetGuiResources with 0 for USER objects too; there the
// windows of this thread (with their children) stand in for them.
int CountUserObjects()
{
    int count = static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    if (count) return count;
    EnumThreadWindows(GetCurrentThreadId(), CountWindowTree, reinterpret_cast<LPARAM>(&count));
    return count;
}

struct Figures {
    const char* step;
    DWORD ms;
    int gdi, user;
};

class ManyNotesTest : public QuibletTest {
protected:
    // Records 0..99 visible at distinct places, the rest hidden; ten hidden
    // ones have an alarm due at `now`, every tenth shown one an alarm later.
    void WriteThousandNotes(const SYSTEMTIME& now)
    {
        std::string index;
        for (int i = 0; i < ManyNotes; i++) {
            NoteIndexRecord r = {};
            r.left = 10 + (i % 10) * 100;
            r.top = 10 + ((i / 10) % 10) * 70;
            r.width = 180;
            r.height = 150;
            r.visible = i < ShownNotes ? 1 : 0;
            wsprintfA(r.fileName, "1D9A3B1%08X.dat", i);
            lstrcpyA(r.soundFile, TEXT_DEFAULT_ALARM);
            r.backColor = 0x00800000 + i;
            if (i >= ManyNotes - RingingNotes) {
                r.alarmOn = 1;
                r.alarmYear = now.wYear;
                r.alarmMonth = now.wMonth;
                r.alarmDay = now.wDay;
                r.alarmHour = now.wHour;
                r.alarmMinute = now.wMinute;
            } else if (i < ShownNotes && i % 10 == 0) {
                r.alarmOn = 1;
                r.alarmYear = static_cast<uint16_t>(now.wYear + 1);
                r.alarmMonth = 1;
                r.alarmDay = 1;
            }
            index.append(reinterpret_cast<const char*>(&r), sizeof r);
            char text[64];
            wsprintfA(text, "{\\rtf1\\ansi Note number %d}", i);
            ASSERT_TRUE(WriteFileBytes(InDataFolder(r.fileName), text));
        }
        ASSERT_TRUE(WriteFileBytes(InDataFolder(NOTE_INDEX_FILE), index));
        indexBytes = index;
    }

    void Measure(const char* step, DWORD since)
    {
        figures.push_back({ step, GetTickCount() - since, CountGdiObjects(), CountUserObjects() });
        EXPECT_LT(figures.back().gdi, WindowsPerProcessLimit) << step;
        EXPECT_LT(figures.back().user, WindowsPerProcessLimit) << step;
    }

    void PrintFigures()
    {
        for (const Figures& f : figures)
            printf("[ figures  ] %-34s %6lu ms, %5d GDI objects, %5d windows\n", f.step,
                   static_cast<unsigned long>(f.ms), f.gdi, f.user);
    }

    std::string indexBytes;
    std::vector<Figures> figures;
};

std::string ListCell(HWND listView, int row, int column)
{
    char text[ROW_TEXT_SIZE] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(listView, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

TEST_F(ManyNotesTest, AThousandNotesLoadShowSaveRingAndList)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    ASSERT_NO_FATAL_FAILURE(WriteThousandNotes(now));
    BoxCounter errors(TEXT_ERROR_CAPTION);
    Measure("before", GetTickCount());
    const int gdiBefore = figures.back().gdi;

    DWORD start = GetTickCount();
    ASSERT_EQ(LoadNotes(), 1);
    Measure("LoadNotes", start);
    ASSERT_EQ(CountNotes(), ManyNotes);
    // Each note owns its brush, shown or not.
    EXPECT_GE(figures.back().gdi - gdiBefore, ManyNotes);

    start = GetTickCount();
    ASSERT_EQ(ShowVisibleNotes(), 1);
    Measure("ShowVisibleNotes", start);
    int shown = 0;
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (note->window) shown++;
        EXPECT_EQ(note->window != NULL, note->visible == 1);
    }
    EXPECT_EQ(shown, ShownNotes);
    NoteRecord* last = NoteAtPosition(ShownNotes - 1);
    ASSERT_TRUE(last && last->editor);
    EXPECT_EQ(EditorText(last->editor), "Note number 99");

    start = GetTickCount();
    ASSERT_EQ(SaveNotes(), 1);
    Measure("SaveNotes", start);
    EXPECT_EQ(ReadFileBytes(InDataFolder(NOTE_INDEX_FILE)), indexBytes);
    EXPECT_NE(ReadFileBytes(InDataFolder(last->fileName)).find("Note number 99"), std::string::npos);

    // The ten hidden notes whose minute it is ring; they get windows.
    start = GetTickCount();
    CheckAlarmsAt(now);
    Measure("CheckAlarms", start);
    int ringing = 0;
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (note->frameState == FRAME_RINGING) {
            ringing++;
            EXPECT_NE(note->window, (HWND)NULL);
        }
    }
    EXPECT_EQ(ringing, RingingNotes);
    start = GetTickCount();
    for (int tick = 0; tick < 12; tick++) CheckAlarmsAt(now);
    Measure("a minute of alarm passes", start);

    start = GetTickCount();
    OpenNoteList(hMainDialog);
    ASSERT_NE(hNoteListDialog, (HWND)NULL);
    Measure("OpenNoteList", start);
    HWND listView = GetDlgItem(hNoteListDialog, IDC_LIST_VIEW);
    start = GetTickCount();
    FillNoteList(listView);
    Measure("FillNoteList", start);
    ASSERT_EQ(SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0), ManyNotes);
    for (int row : { 0, 99, 100, 500, ManyNotes - 1 }) {
        char texts[NOTE_LIST_COLUMNS][ROW_TEXT_SIZE];
        FormatNoteListRow(*NoteAtPosition(row), row, texts);
        for (int column = 0; column < NOTE_LIST_COLUMNS; column++)
            EXPECT_EQ(ListCell(listView, row, column), texts[column]) << "row " << row << " column " << column;
    }
    SendMessageA(hNoteListDialog, WM_COMMAND, IDC_CLOSE, 0);
    PumpPending();
    EXPECT_EQ(hNoteListDialog, (HWND)NULL);

    // Everything given back. The first windows leave caches of the system
    // behind (fonts, device contexts); a second round must not add to them.
    auto freeAll = [] {
        for (NoteRecord* note = NoteList.head; note; note = note->next) {
            if (note->window) DestroyWindow(note->window);
            note->window = NULL;
            note->editor = NULL;
        }
        FreeNotes();
        PumpPending();
    };
    start = GetTickCount();
    freeAll();
    Measure("all windows and notes freed", start);
    const int afterFirstRound = figures.back().gdi;
    start = GetTickCount();
    ASSERT_EQ(LoadNotes(), 1);
    ASSERT_EQ(ShowVisibleNotes(), 1);
    CheckAlarmsAt(now);
    freeAll();
    Measure("second round, freed again", start);
    EXPECT_LE(figures.back().gdi, afterFirstRound);
    EXPECT_EQ(errors.count(), 0) << errors.lastText();
    PrintFigures();
    printf("[ figures  ] %d notes handled, %d shown, %d rung\n", ManyNotes, ShownNotes, RingingNotes);
}

// ---- The GDI limit ----------------------------------------------------------------------

// Brushes taken until the system refuses one, given back on every path.
class BrushHoard {
public:
    ~BrushHoard() { Release(); }
    int TakeAll(int atMost)
    {
        while (static_cast<int>(brushes_.size()) < atMost) {
            HBRUSH brush = CreateSolidBrush(RGB(brushes_.size() & 0xFF, 0, 0));
            if (!brush) break;
            brushes_.push_back(brush);
        }
        return static_cast<int>(brushes_.size());
    }
    void GiveBack(int count)
    {
        for (int i = 0; i < count && !brushes_.empty(); i++) {
            DeleteObject(brushes_.back());
            brushes_.pop_back();
        }
    }
    void Release() { GiveBack(static_cast<int>(brushes_.size())); }

private:
    std::vector<HBRUSH> brushes_;
};

TEST_F(ManyNotesTest, WithoutBrushesNotesAreRefusedCleanly)
{
    std::string index;
    for (int i = 0; i < 3; i++) {
        NoteIndexRecord r = {};
        r.left = r.top = 100;
        r.width = r.height = 150;
        wsprintfA(r.fileName, "LIMIT%d.dat", i);
        index.append(reinterpret_cast<const char*>(&r), sizeof r);
    }
    ASSERT_TRUE(WriteFileBytes(InDataFolder(NOTE_INDEX_FILE), index));

    const int before = CountGdiObjects();
    BrushHoard hoard;
    DWORD start = GetTickCount();
    const int taken = hoard.TakeAll(1000000);
    const int atLimit = CountGdiObjects();
    DWORD tookMs = GetTickCount() - start;
    ASSERT_GT(taken, 0);
    ASSERT_LT(taken, 1000000) << "no limit found";

    // Nothing can be had: a new note and loaded notes are refused, no crash.
    EXPECT_EQ(NewNoteRecord(), nullptr);
    {
        BoxCounter errors(TEXT_ERROR_CAPTION);
        EXPECT_EQ(CreateNote(), 0);
        EXPECT_EQ(LoadNotes(), 0);
        EXPECT_EQ(CountNotes(), 0);
    }

    // One brush free: one note of the three loads, and the load says it
    // fell short.
    hoard.GiveBack(1);
    EXPECT_EQ(LoadNotes(), 0);
    EXPECT_EQ(CountNotes(), 1);
    FreeNotes();

    hoard.Release();
    EXPECT_EQ(LoadNotes(), 1);
    EXPECT_EQ(CountNotes(), 3);
    printf("[ figures  ] GDI limit: %d brushes created on top of %d objects before CreateSolidBrush failed "
           "(%d objects counted at the limit, %lu ms); Windows' default quota is %d per process\n",
           taken, before, atLimit, static_cast<unsigned long>(tookMs), WindowsPerProcessLimit);
}

}  // namespace
