#include "notes/note_menus.h"
#include <commdlg.h>
#include <string.h>
#include "resources/resource.h"
#include "shell/globals.h"
#include "shell/guards.h"
#include "shell/services.h"
#include "shell/ui_text.h"

void SetTextMenuTicks(HMENU menu, DWORD effects, WORD alignment)
{
    SetMenuCheck(menu, IDM_TEXT_BOLD, (effects & CFE_BOLD) != 0);
    SetMenuCheck(menu, IDM_TEXT_UNDERLINE, (effects & CFE_UNDERLINE) != 0);
    SetMenuCheck(menu, IDM_TEXT_ITALIC, (effects & CFE_ITALIC) != 0);
    SetMenuCheck(menu, IDM_TEXT_STRIKEOUT, (effects & CFE_STRIKEOUT) != 0);
    SetMenuCheck(menu, IDM_TEXT_ALIGN_CENTER, alignment == PFA_CENTER);
    SetMenuCheck(menu, IDM_TEXT_ALIGN_LEFT, alignment == PFA_LEFT);
    SetMenuCheck(menu, IDM_TEXT_ALIGN_RIGHT, alignment == PFA_RIGHT);
}

static void ReadSelectionFormat(HWND editor, DWORD mask, CHARFORMATA* format)
{
    memset(format, 0, sizeof *format);
    format->cbSize = sizeof *format;
    format->dwMask = mask;
    SendMessageA(editor, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(format));
}

void ShowNotesMenu(HWND editor, HWND noteWindow)
{
    POINT cursor;
    GetCursorPos(&cursor);
    CHARFORMATA format;
    ReadSelectionFormat(editor, CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT, &format);
    PARAFORMAT paragraph = {};
    paragraph.cbSize = sizeof paragraph;
    paragraph.dwMask = PFM_ALIGNMENT;
    SendMessageA(editor, EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paragraph));
    SetTextMenuTicks(hNotesMenu, format.dwEffects, paragraph.wAlignment);
    UINT command = TrackPopupMenu(hNotesMenu, TPM_RETURNCMD | TPM_NONOTIFY, cursor.x, cursor.y, 0, editor, NULL);
    RunTextCommand(editor, noteWindow, command);
}

// The overhang must not carry the menu onto a neighbouring monitor when the
// note stands at its own monitor's left edge.
LONG CommandMenuLeft(HWND noteWindow, LONG windowLeft)
{
    LONG left = windowLeft - ScaledToDpi(COMMAND_MENU_OVERHANG, WindowDpi(noteWindow));
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(noteWindow, MONITOR_DEFAULTTONEAREST), &monitor)) return left;
    return left < monitor.rcWork.left ? monitor.rcWork.left : left;
}

void ShowCommandMenu(HWND noteWindow)
{
    RECT rect;
    GetWindowRect(noteWindow, &rect);
    UINT dpi = WindowDpi(noteWindow);
    TrackPopupMenu(hCommandMenu, 0, CommandMenuLeft(noteWindow, rect.left), rect.top + ScaledToDpi(COMMAND_MENU_DROP, dpi),
                   0, noteWindow, NULL);
}

void RunTextCommand(HWND editor, HWND noteWindow, UINT command)
{
    switch (command) {
    case IDM_TEXT_UNDO:
        SendMessageA(editor, EM_UNDO, 0, 0);
        break;
    case IDM_TEXT_COPY:
        SendMessageA(editor, WM_COPY, 0, 0);
        return;
    case IDM_TEXT_CUT:
        SendMessageA(editor, WM_CUT, 0, 0);
        break;
    case IDM_TEXT_PASTE:
        SendMessageA(editor, WM_PASTE, 0, 0);
        break;
    case IDM_TEXT_BOLD:
        ToggleBold(editor);
        break;
    case IDM_TEXT_ITALIC:
        ToggleItalic(editor);
        break;
    case IDM_TEXT_UNDERLINE:
        ToggleUnderline(editor);
        break;
    case IDM_TEXT_STRIKEOUT:
        ToggleStrikeOut(editor);
        break;
    case IDM_TEXT_ALIGN_LEFT:
        SetAlignment(editor, PFA_LEFT);
        break;
    case IDM_TEXT_ALIGN_CENTER:
        SetAlignment(editor, PFA_CENTER);
        break;
    case IDM_TEXT_ALIGN_RIGHT:
        SetAlignment(editor, PFA_RIGHT);
        break;
    case IDM_TEXT_FONT:
        ChooseSelectionFont(editor, noteWindow);
        break;
    default:
        return;
    }
    // The control does not count every change as a modification (a new
    // alignment, an undo), yet the note's file must get each of them.
    SendMessageA(editor, EM_SETMODIFY, TRUE, 0);
}

// The control reports in the mask only what is uniform over the selection;
// setting the returned format again changes nothing but the flipped effect.
static void ToggleEffect(HWND editor, DWORD effect)
{
    CHARFORMATA format;
    ReadSelectionFormat(editor, effect, &format);
    format.dwEffects ^= effect;
    format.dwMask |= effect;
    SendMessageA(editor, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

void ToggleBold(HWND editor) { ToggleEffect(editor, CFE_BOLD); }
void ToggleItalic(HWND editor) { ToggleEffect(editor, CFE_ITALIC); }
void ToggleUnderline(HWND editor) { ToggleEffect(editor, CFE_UNDERLINE); }
void ToggleStrikeOut(HWND editor) { ToggleEffect(editor, CFE_STRIKEOUT); }

void SetAlignment(HWND editor, WORD alignment)
{
    PARAFORMAT paragraph = {};
    paragraph.cbSize = sizeof paragraph;
    paragraph.dwMask = PFM_ALIGNMENT;
    paragraph.wAlignment = alignment;
    SendMessageA(editor, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paragraph));
}

LONG FontHeightFromTwips(LONG twips, int pixelsPerInch)
{
    return -(pixelsPerInch * twips / TWIPS_PER_INCH);
}

void LogFontFromFormat(const CHARFORMATA& format, int pixelsPerInch, LOGFONTA* font)
{
    memset(font, 0, sizeof *font);
    font->lfHeight = FontHeightFromTwips(format.yHeight, pixelsPerInch);
    font->lfWeight = (format.dwEffects & CFE_BOLD) ? FW_BOLD : FW_NORMAL;
    font->lfItalic = (format.dwEffects & CFE_ITALIC) ? 1 : 0;
    font->lfUnderline = (format.dwEffects & CFE_UNDERLINE) ? 1 : 0;
    font->lfStrikeOut = (format.dwEffects & CFE_STRIKEOUT) ? 1 : 0;
    font->lfCharSet = format.bCharSet;
    font->lfOutPrecision = OUT_DEFAULT_PRECIS;
    font->lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font->lfQuality = DRAFT_QUALITY;
    font->lfPitchAndFamily = format.bPitchAndFamily;
    lstrcpynA(font->lfFaceName, format.szFaceName, sizeof font->lfFaceName);
}

// Protection and link are cleared, not set: link text would show in the
// control's link colour and underline whatever was chosen.
void FormatFromChosenFont(const LOGFONTA& font, int pointSizeTenths, COLORREF color, CHARFORMATA* format)
{
    format->dwMask = CHOSEN_FONT_MASK;
    format->yHeight = pointSizeTenths * 2;
    DWORD effects = 0;
    if (font.lfWeight >= FW_BOLD) effects |= CFE_BOLD;
    if (font.lfItalic) effects |= CFE_ITALIC;
    if (font.lfUnderline) effects |= CFE_UNDERLINE;
    if (font.lfStrikeOut) effects |= CFE_STRIKEOUT;
    format->dwEffects = effects;
    format->crTextColor = color;
    format->bCharSet = font.lfCharSet;
    format->bPitchAndFamily = font.lfPitchAndFamily;
    lstrcpynA(format->szFaceName, font.lfFaceName, sizeof format->szFaceName);
}

static int ScreenPixelsPerInch(HWND window)
{
    WindowDC dc(window);
    return dc ? GetDeviceCaps(dc, LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
}

void ChooseSelectionFont(HWND editor, HWND owner)
{
    int pixelsPerInch = ScreenPixelsPerInch(owner);
    CHARFORMATA format;
    ReadSelectionFormat(editor, CHOSEN_FONT_MASK, &format);
    LOGFONTA font;
    LogFontFromFormat(format, pixelsPerInch, &font);
    CHOOSEFONTA choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.lpLogFont = &font;
    choice.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS | CF_LIMITSIZE;
    choice.rgbColors = format.crTextColor;
    choice.nSizeMin = FONT_POINTS_MIN;
    choice.nSizeMax = FONT_POINTS_MAX;
    if (!ChooseFontA(&choice)) return;
    FormatFromChosenFont(font, choice.iPointSize, choice.rgbColors, &format);
    if (!SendMessageA(editor, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format)))
        ShowError(TEXT_ERR_CHAR_FORMAT);
}

void ClearRichText(HWND editor)
{
    SendMessageA(editor, WM_SETREDRAW, FALSE, 0);
    CHARRANGE all = { 0, -1 };
    SendMessageA(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    SendMessageA(editor, WM_SETREDRAW, TRUE, 0);
    SendMessageA(editor, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
}
