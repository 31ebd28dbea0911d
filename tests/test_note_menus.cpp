// The text menu and its formatting commands, the font command and the
// clearing of a note, on the rich-edit control of a real note.
#include "support/test_env.h"
#include <richedit.h>
#include <string>
#include "notes/note_menus.h"
#include "notes/note_window.h"
#include "resources/resource.h"
#include "shell/app.h"

namespace {

void Select(HWND editor, LONG from, LONG to)
{
    CHARRANGE range = { from, to };
    SendMessageA(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

CHARFORMATA SelectionFormat(HWND editor)
{
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    SendMessageA(editor, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format;
}

// The effects of the characters from..to, which must be uniform in `mask`.
DWORD EffectsOf(HWND editor, LONG from, LONG to, DWORD mask)
{
    Select(editor, from, to);
    CHARFORMATA format = SelectionFormat(editor);
    EXPECT_EQ(mask, format.dwMask & mask) << "uniform from " << from << " to " << to;
    return format.dwEffects & mask;
}

WORD AlignmentAt(HWND editor, LONG position)
{
    Select(editor, position, position);
    PARAFORMAT paragraph = {};
    paragraph.cbSize = sizeof paragraph;
    paragraph.dwMask = PFM_ALIGNMENT;
    SendMessageA(editor, EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paragraph));
    return paragraph.wAlignment;
}

// The control's default font may itself be bold: start from plain text.
void SetPlainText(HWND editor, const char* text)
{
    SetEditorText(editor, text);
    CHARFORMATA plain = {};
    plain.cbSize = sizeof plain;
    plain.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    SendMessageA(editor, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&plain));
}

void Type(HWND editor, const char* text)
{
    SendMessageA(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
}

bool Ticked(UINT command)
{
    return (GetMenuState(hNotesMenu, command, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

LRESULT RightButtonFilter(HWND window, HWND editor, UINT filtered)
{
    MSGFILTER filter = {};
    filter.nmhdr.hwndFrom = editor;
    filter.nmhdr.code = EN_MSGFILTER;
    filter.msg = filtered;
    return SendMessageA(window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&filter));
}

struct EffectCommand { UINT command; DWORD effect; const char* name; };
const EffectCommand EffectCommands[] = {
    { IDM_TEXT_BOLD, CFE_BOLD, "Fett" },
    { IDM_TEXT_ITALIC, CFE_ITALIC, "Kursiv" },
    { IDM_TEXT_UNDERLINE, CFE_UNDERLINE, "Unterstrichen" },
    { IDM_TEXT_STRIKEOUT, CFE_STRIKEOUT, "Durchgestrichen" },
};

}  // namespace

class NoteMenuTest : public QuibletTest {
protected:
    void SetUp() override
    {
        QuibletTest::SetUp();
        note = AddTestNote(200, 150, 260, 220);
        ASSERT_EQ(1, MakeNoteWindow(note, NOTE_EDITOR_STYLE, NoteTextFromFile));
        window = note->window;
        editor = note->editor;
    }
    NoteRecord* note = nullptr;
    HWND window = NULL;
    HWND editor = NULL;
};

// ---- Character effects --------------------------------------------------------

TEST_F(NoteMenuTest, EffectsToggleOnASelectionOnly)
{
    for (const EffectCommand& c : EffectCommands) {
        SetPlainText(editor, "Hallo schöne Welt");
        Select(editor, 0, 5);
        RunTextCommand(editor, window, c.command);
        EXPECT_EQ(c.effect, EffectsOf(editor, 0, 5, c.effect)) << c.name;
        EXPECT_EQ(0u, EffectsOf(editor, 6, 17, c.effect)) << c.name << " stays on the selection";
        Select(editor, 0, 5);
        RunTextCommand(editor, window, c.command);
        EXPECT_EQ(0u, EffectsOf(editor, 0, 5, c.effect)) << c.name << " toggled off again";

        // A partly formatted selection comes out uniform.
        Select(editor, 0, 2);
        RunTextCommand(editor, window, c.command);
        Select(editor, 0, 12);
        RunTextCommand(editor, window, c.command);
        Select(editor, 0, 12);
        EXPECT_TRUE(SelectionFormat(editor).dwMask & c.effect) << c.name;
    }
}

TEST_F(NoteMenuTest, EffectsAtTheInsertionPointApplyToTheTextTypedNext)
{
    for (const EffectCommand& c : EffectCommands) {
        SetPlainText(editor, "vorher ");
        Select(editor, 7, 7);
        RunTextCommand(editor, window, c.command);
        Type(editor, "neu");
        EXPECT_EQ(c.effect, EffectsOf(editor, 7, 10, c.effect)) << c.name;
        EXPECT_EQ(0u, EffectsOf(editor, 0, 6, c.effect)) << c.name;
    }
}

// ---- Paragraph alignment ----------------------------------------------------

TEST_F(NoteMenuTest, AlignmentCoversEveryTouchedParagraph)
{
    SetPlainText(editor, "eins\r\nzwei\r\ndrei");
    std::string text = EditorText(editor);
    LONG second = static_cast<LONG>(text.find("zwei"));
    LONG third = static_cast<LONG>(text.find("drei"));

    Select(editor, 2, third + 2);
    RunTextCommand(editor, window, IDM_TEXT_ALIGN_CENTER);
    EXPECT_EQ(PFA_CENTER, AlignmentAt(editor, 0));
    EXPECT_EQ(PFA_CENTER, AlignmentAt(editor, second + 1));
    EXPECT_EQ(PFA_CENTER, AlignmentAt(editor, third + 1));

    Select(editor, second + 2, second + 2);
    RunTextCommand(editor, window, IDM_TEXT_ALIGN_RIGHT);
    EXPECT_EQ(PFA_CENTER, AlignmentAt(editor, 0));
    EXPECT_EQ(PFA_RIGHT, AlignmentAt(editor, second + 1)) << "only the paragraph of the insertion point";
    EXPECT_EQ(PFA_CENTER, AlignmentAt(editor, third + 1));

    Select(editor, 0, third + 4);
    RunTextCommand(editor, window, IDM_TEXT_ALIGN_LEFT);
    for (LONG at : { 0L, second + 1, third + 1 }) EXPECT_EQ(PFA_LEFT, AlignmentAt(editor, at));
}

// ---- The text menu ------------------------------------------------------------

TEST(TextMenuTicks, FollowTheEffectBitsAndTheAlignment)
{
    struct Case { DWORD effects; WORD alignment; UINT ticked[4]; } cases[] = {
        { CFE_BOLD | CFE_STRIKEOUT | CFE_PROTECTED, PFA_CENTER, { IDM_TEXT_BOLD, IDM_TEXT_STRIKEOUT, IDM_TEXT_ALIGN_CENTER } },
        { CFE_ITALIC | CFE_UNDERLINE | CFE_LINK, PFA_RIGHT, { IDM_TEXT_ITALIC, IDM_TEXT_UNDERLINE, IDM_TEXT_ALIGN_RIGHT } },
        { 0, PFA_LEFT, { IDM_TEXT_ALIGN_LEFT } },
    };
    const UINT items[] = { IDM_TEXT_BOLD, IDM_TEXT_ITALIC, IDM_TEXT_UNDERLINE, IDM_TEXT_STRIKEOUT,
                           IDM_TEXT_ALIGN_LEFT, IDM_TEXT_ALIGN_CENTER, IDM_TEXT_ALIGN_RIGHT };
    for (const Case& c : cases) {
        SetTextMenuTicks(hNotesMenu, c.effects, c.alignment);
        for (UINT item : items) {
            bool expected = false;
            for (UINT t : c.ticked) expected = expected || (t == item);
            EXPECT_EQ(expected, Ticked(item)) << "item " << item << " effects " << c.effects;
            EXPECT_FALSE(GetMenuState(hNotesMenu, item, MF_BYCOMMAND) & MF_GRAYED);
        }
    }
}

TEST_F(NoteMenuTest, RightButtonInTheTextOpensTheTickedMenuAtTheCursor)
{
    SetPlainText(editor, "Überschrift");
    Select(editor, 0, 11);
    ToggleBold(editor);
    SetAlignment(editor, PFA_CENTER);
    SetTextMenuTicks(hNotesMenu, 0, 0);
    note->frameState = FRAME_PROPERTIES;   // the text menu works even then

    SetCursorPos(420, 330);
    POINT cursor;
    GetCursorPos(&cursor);
    MenuSeen* menu = WatchNextMenu();
    EXPECT_EQ(0, RightButtonFilter(window, editor, WM_RBUTTONDOWN));
    ASSERT_TRUE(menu->opened);
    EXPECT_EQ(cursor.x, menu->rect.left);
    EXPECT_EQ(cursor.y, menu->rect.top);
    EXPECT_TRUE(Ticked(IDM_TEXT_BOLD));
    EXPECT_FALSE(Ticked(IDM_TEXT_ITALIC));
    EXPECT_TRUE(Ticked(IDM_TEXT_ALIGN_CENTER));
    EXPECT_FALSE(Ticked(IDM_TEXT_ALIGN_LEFT));
    EXPECT_EQ("Überschrift", EditorText(editor)) << "a dismissed menu does nothing";

    menu = WatchNextMenu();
    EXPECT_EQ(0, RightButtonFilter(window, editor, WM_LBUTTONDOWN));
    PumpPending();
    EXPECT_FALSE(menu->opened) << "only the right button opens it";
    StopMenuWatch();
}

// ---- The font command -------------------------------------------------------

TEST(FontCommand, HeightFromTwipsTruncatesTowardZero)
{
    struct Case { LONG twips; int ppi; LONG height; } cases[] = {
        { 200, 96, -13 }, { 220, 96, -14 }, { 200, 120, -16 }, { 240, 96, -16 }, { 1440, 96, -96 }, { 0, 96, 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.height, FontHeightFromTwips(c.twips, c.ppi)) << c.twips << " twips at " << c.ppi;
}

TEST(FontCommand, DialogStartsFromTheSelectionsFormat)
{
    CHARFORMATA format = {};
    format.yHeight = 200;
    format.dwEffects = CFE_BOLD | CFE_UNDERLINE;
    format.bPitchAndFamily = FF_SWISS | VARIABLE_PITCH;
    lstrcpyA(format.szFaceName, "Arial");
    LOGFONTA font;
    LogFontFromFormat(format, 96, &font);
    EXPECT_EQ(-13, font.lfHeight);
    EXPECT_EQ(FW_BOLD, font.lfWeight);
    EXPECT_EQ(0, font.lfItalic);
    EXPECT_EQ(1, font.lfUnderline);
    EXPECT_EQ(FF_SWISS | VARIABLE_PITCH, font.lfPitchAndFamily);
    EXPECT_EQ(DRAFT_QUALITY, font.lfQuality);
    EXPECT_STREQ("Arial", font.lfFaceName);
}

// Link text would show in the control's link colour and underline, whatever
// was chosen: the applied format clears link and protection.
TEST(FontCommand, ChosenFormatClearsLinkAndProtection)
{
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    format.dwEffects = CFE_LINK | CFE_PROTECTED | CFE_AUTOCOLOR | CFE_BOLD;
    format.yOffset = 40;
    LOGFONTA font = {};
    font.lfWeight = 600;
    font.lfItalic = 1;
    font.lfCharSet = SYMBOL_CHARSET;
    font.lfPitchAndFamily = FF_ROMAN;
    lstrcpyA(font.lfFaceName, "Times New Roman");
    FormatFromChosenFont(font, 120, RGB(10, 20, 30), &format);
    EXPECT_EQ(0xE800003Fu, format.dwMask);
    EXPECT_EQ(static_cast<DWORD>(CFM_LINK | CFM_PROTECTED), format.dwMask & (CFM_LINK | CFM_PROTECTED));
    EXPECT_EQ(0u, format.dwEffects & (CFE_LINK | CFE_PROTECTED));
    EXPECT_EQ(static_cast<DWORD>(CFE_ITALIC), format.dwEffects) << "weight 600 is not bold; no automatic colour";
    EXPECT_EQ(240, format.yHeight);
    EXPECT_EQ(40, format.yOffset) << "the baseline offset is left alone";
    EXPECT_EQ(RGB(10, 20, 30), format.crTextColor);
    EXPECT_EQ(SYMBOL_CHARSET, format.bCharSet);
    EXPECT_EQ(FF_ROMAN, format.bPitchAndFamily);
    EXPECT_STREQ("Times New Roman", format.szFaceName);

    font.lfWeight = FW_BOLD;
    font.lfItalic = 0;
    font.lfUnderline = 1;
    font.lfStrikeOut = 1;
    FormatFromChosenFont(font, 100, 0, &format);
    EXPECT_EQ(static_cast<DWORD>(CFE_BOLD | CFE_UNDERLINE | CFE_STRIKEOUT), format.dwEffects);
}

TEST_F(NoteMenuTest, ConfirmedFontDialogGivesPlainTextOfOneFormat)
{
    SetEditorText(editor, "verlinkt?");
    Select(editor, 0, 9);
    CHARFORMATA raised = {};
    raised.cbSize = sizeof raised;
    raised.dwMask = CFM_OFFSET;
    raised.yOffset = 40;
    SendMessageA(editor, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&raised));

    BoxAnswer* ok = AnswerNextBox(nullptr, IDOK);
    RunTextCommand(editor, window, IDM_TEXT_FONT);
    ASSERT_TRUE(ok->answered) << "the font dialog opened";
    Select(editor, 0, 9);
    CHARFORMATA format = SelectionFormat(editor);
    EXPECT_EQ(0u, format.dwEffects & (CFE_LINK | CFE_PROTECTED | CFE_AUTOCOLOR));
    EXPECT_EQ(static_cast<DWORD>(CFM_SIZE | CFM_FACE | CFM_CHARSET | CFM_COLOR),
              format.dwMask & (CFM_SIZE | CFM_FACE | CFM_CHARSET | CFM_COLOR));
    EXPECT_GT(format.yHeight, 0);
    EXPECT_EQ(40, format.yOffset);

    // The text can still be typed over.
    Type(editor, "frei");
    EXPECT_EQ("frei", EditorText(editor));
}

TEST_F(NoteMenuTest, CancelledFontDialogChangesNothing)
{
    SetPlainText(editor, "bleibt");
    Select(editor, 0, 6);
    ToggleBold(editor);
    BoxAnswer* cancel = AnswerNextBox(nullptr, IDCANCEL);
    ChooseSelectionFont(editor, window);
    ASSERT_TRUE(cancel->answered) << "the font dialog opened";
    EXPECT_EQ(static_cast<DWORD>(CFE_BOLD), EffectsOf(editor, 0, 6, CFE_BOLD | CFE_LINK | CFE_PROTECTED));
}

// ---- Clearing ---------------------------------------------------------------

TEST_F(NoteMenuTest, ClearingLeavesNothingToUndo)
{
    SetEditorText(editor, "");
    Type(editor, "getippt");
    ASSERT_NE(0, SendMessageA(editor, EM_CANUNDO, 0, 0));
    ClearRichText(editor);
    EXPECT_EQ("", EditorText(editor));
    EXPECT_EQ(0, SendMessageA(editor, EM_CANUNDO, 0, 0));

    // The note list clears its preview control the same way.
    HWND preview = CreateWindowExA(0, NOTE_EDITOR_CLASS, "Vorschau", WS_CHILD | ES_MULTILINE, 0, 0, 50, 50,
                                   window, NULL, hInstance, NULL);
    ASSERT_NE((HWND)NULL, preview);
    ClearRichText(preview);
    EXPECT_EQ("", EditorText(preview));
    DestroyWindow(preview);
}
