// RTF as it comes from content and import files, looked at byte by byte
// before the rich-edit control sees it: a filter that keeps hostile input
// from overflowing the control, and a count of the text a file holds.
#pragma once
#include <windows.h>
#include <string>

// Wine's rich-edit control reads RTF with fixed buffers and a fixed stack of
// groups and falls over (or runs foreign code) on input that overflows them,
// and a content or import file may be damaged or hostile. On the way in:
// - braces beyond MostRtfGroupDepth open groups are left out (the text
//   inside them stays);
// - an opening brace where a \u keyword skips its fallback characters is
//   left out, as the control would count it twice and close it once;
// - control words are cut to MostRtfWordLetters letters and their numbers
//   to MostRtfParamDigits digits;
// - a name in a font table or style sheet is cut to MostRtfNameLength
//   characters.
const int MostRtfGroupDepth = 30;
const int MostRtfWordLetters = 32;
const int MostRtfParamDigits = 10;
const int MostRtfNameLength = 255;

// What the filter knows of the stream so far; one per stream, starting
// value-initialised.
struct RtfGuard {
    enum Lexing { Plain, AfterBackslash, Word, Param, HexDigit1, HexDigit2 } lexing = Plain;
    char word[10] = {};   // the start of the control word being read
    int wordLength = 0;
    int paramLength = 0;
    long param = 0;
    long skipCount = 1;   // the largest \ucN so far: characters a \u skips
    long skipLeft = 0;    // text tokens still to be skipped behind a \u
    int depth = 0;        // groups the control has open
    int dropped = 0;      // braces left out whose group is still open
    int tableDepth = 0;   // the group of a font table or style sheet, 0 outside
    int nameLength = 0;   // text tokens of the current name in that table
};

// Whether the control may see this byte of the stream.
bool PassRtfByte(RtfGuard& guard, BYTE c);
// Keeps the bytes the control may see at the front of `bytes`; returns how
// many. A stream is filtered piece by piece with one guard.
LONG GuardRtf(RtfGuard& guard, LPBYTE bytes, LONG count);

// Roughly the characters of text outside the groups that hold none (tables,
// pictures, field instructions, \* groups); headers, footers and document
// information count, as the control drops them. A paragraph mark that ends
// the text is the control's own last mark, and a zero byte (Wine's control
// ends what it writes with one) is no text. Text the control makes of a file
// is checked against it: less means the control dropped some.
long long CountRtfText(const std::string& rtf);

// Wine's rich-edit control writes a character outside the font's code page
// that has a look-alike there ("ł" as "l", "Ω" as "O") as the look-alike
// alone, and the character is lost. Given the RTF the control wrote and its
// text (UTF-16, paragraphs ending in '\r'), each such look-alike is put
// behind the \u of the character it stands for, as its fallback; a stream
// whose text does not line up with the control's is given back unchanged.
std::string EscapeLookAlikes(const std::string& rtf, const std::wstring& text);
