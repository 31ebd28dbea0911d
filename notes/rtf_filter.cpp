#include "notes/rtf_filter.h"
#include <string.h>
#include <vector>

namespace {

const long MostRtfSkip = 1000000;

bool IsLetter(BYTE c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(BYTE c) { return c >= '0' && c <= '9'; }

// ---- The filter --------------------------------------------------------------
bool IsWord(const RtfGuard& guard, const char* word)
{
    size_t length = strlen(word);
    return guard.wordLength == static_cast<int>(length) && length <= sizeof guard.word &&
           memcmp(guard.word, word, length) == 0;
}

// The guard's depth never falls below the control's: a brace it is unsure of
// counts when it opens and is left alone when it closes.
bool OpenBrace(RtfGuard& guard)
{
    guard.nameLength = 0;
    if (guard.skipLeft == 0 && guard.depth < MostRtfGroupDepth) {
        guard.depth++;
        return true;
    }
    guard.skipLeft = 0;
    guard.dropped++;
    return false;
}

bool CloseBrace(RtfGuard& guard)
{
    guard.skipLeft = 0;
    guard.nameLength = 0;
    if (guard.dropped > 0) {
        guard.dropped--;
        return false;
    }
    if (guard.depth > 0) guard.depth--;
    if (guard.depth < guard.tableDepth) guard.tableDepth = 0;
    return true;
}

void TextToken(RtfGuard& guard)
{
    if (guard.skipLeft > 0) guard.skipLeft--;
    if (guard.tableDepth > 0) guard.nameLength++;
}

void EndControlWord(RtfGuard& guard)
{
    guard.lexing = RtfGuard::Plain;
    if (IsWord(guard, "u")) guard.skipLeft = guard.skipCount;
    if (IsWord(guard, "uc") && guard.param > guard.skipCount) guard.skipCount = guard.param;
    if ((IsWord(guard, "fonttbl") || IsWord(guard, "stylesheet")) && guard.tableDepth == 0)
        guard.tableDepth = guard.depth > 0 ? guard.depth : 1;
}

// One function per state of the lexer; each returns whether the control may
// see the byte.
bool LexPlain(RtfGuard& guard, BYTE c)
{
    if (c == '{') return OpenBrace(guard);
    if (c == '}') return CloseBrace(guard);
    if (guard.tableDepth > 0) {
        if (c == ';') {
            guard.nameLength = 0;
            return true;
        }
        // Past the longest name everything up to its end is left out, even
        // what would start a control word.
        if (guard.nameLength >= MostRtfNameLength) return false;
    }
    if (c == '\\') {
        guard.lexing = RtfGuard::AfterBackslash;
        return true;
    }
    if (c != '\r' && c != '\n') TextToken(guard);
    else if (guard.tableDepth > 0) guard.nameLength++;
    return true;
}

bool LexAfterBackslash(RtfGuard& guard, BYTE c)
{
    if (IsLetter(c)) {
        guard.lexing = RtfGuard::Word;
        guard.word[0] = static_cast<char>(c);
        guard.wordLength = 1;
        guard.paramLength = 0;
        guard.param = 0;
        guard.skipLeft = 0;   // a control word ends a \u's skipping
    } else if (c == '\'') {
        guard.lexing = RtfGuard::HexDigit1;
    } else {
        guard.lexing = RtfGuard::Plain;   // \{, \}, \\ and the like are text
        TextToken(guard);
    }
    return true;
}

// \'hh: a brace in place of a digit still opens a group for the control.
bool LexHexDigit(RtfGuard& guard, BYTE c)
{
    if (guard.lexing == RtfGuard::HexDigit2) {
        guard.lexing = RtfGuard::Plain;
        TextToken(guard);
    } else {
        guard.lexing = RtfGuard::HexDigit2;
    }
    return c == '{' ? OpenBrace(guard) : true;
}

bool LexWord(RtfGuard& guard, BYTE c)
{
    if (IsLetter(c)) {
        if (guard.wordLength < static_cast<int>(sizeof guard.word)) guard.word[guard.wordLength] = static_cast<char>(c);
        return ++guard.wordLength <= MostRtfWordLetters;
    }
    if (IsDigit(c) || c == '-') {
        guard.lexing = RtfGuard::Param;
        guard.paramLength = 1;
        guard.param = c == '-' ? 0 : c - '0';
        return true;
    }
    EndControlWord(guard);
    if (c == ' ') return true;   // the delimiter belongs to the word
    return LexPlain(guard, c);
}

bool LexParam(RtfGuard& guard, BYTE c)
{
    if (IsDigit(c)) {
        guard.param = guard.param < MostRtfSkip ? guard.param * 10 + (c - '0') : MostRtfSkip;
        return ++guard.paramLength <= MostRtfParamDigits;
    }
    EndControlWord(guard);
    if (c == ' ') return true;
    return LexPlain(guard, c);
}

// ---- The count of text -------------------------------------------------------
const char* const TextlessGroups[] = {
    "fonttbl", "colortbl", "stylesheet", "pict", "listtable", "listoverridetable", "rsidtbl",
    "revtbl", "filetbl", "fldinst", "xmlnstbl", "generator", "latentstyles", "themedata",
    "colorschememapping", "datastore", "nonshppict",
};
// Groups marked \* that hold text of the document all the same.
const char* const TextStarGroups[] = { "footnote", "annotation", "shpinst" };

template <size_t N>
bool IsOneOf(const std::string& word, const char* const (&names)[N])
{
    for (const char* name : names)
        if (word == name) return true;
    return false;
}

struct RtfTextCount {
    int depth = 0;
    int textlessFrom = 0;   // depth of the text-less group being passed, 0 for none
    bool groupStart = false;
    bool starredGroup = false;   // a \* opened the group; its first word decides
    long skipCount = 1;
    long skipLeft = 0;
    long long characters = 0;
    bool endsInParagraph = false;   // the last character counted was a \par
    // Where each character counted stands: a plain byte's offset, or
    // NotPlain for a control word or symbol. Kept when not null.
    std::vector<size_t>* places = nullptr;
};

const size_t NotPlain = static_cast<size_t>(-1);

void CountCharacter(RtfTextCount& count, size_t place = NotPlain)
{
    if (count.skipLeft > 0) {
        count.skipLeft--;
    } else if (count.textlessFrom == 0) {
        count.characters++;
        count.endsInParagraph = false;
        if (count.places) count.places->push_back(place);
    }
}

void EnterTextless(RtfTextCount& count)
{
    if (count.groupStart && count.textlessFrom == 0) count.textlessFrom = count.depth;
}

// Reads the control word at bytes[at] (behind its backslash); returns the
// index of the next byte.
size_t CountControlWord(RtfTextCount& count, const char* bytes, size_t at, size_t size)
{
    size_t start = at;
    while (at < size && IsLetter(static_cast<BYTE>(bytes[at]))) at++;
    std::string word(bytes + start, at - start);
    long param = 0;
    bool negative = at < size && bytes[at] == '-';
    if (negative) at++;
    while (at < size && IsDigit(static_cast<BYTE>(bytes[at]))) {
        if (param < MostRtfSkip) param = param * 10 + (bytes[at] - '0');
        at++;
    }
    if (at < size && bytes[at] == ' ') at++;
    if (count.starredGroup) {
        count.groupStart = true;
        if (!IsOneOf(word, TextStarGroups)) EnterTextless(count);
        count.starredGroup = false;
    }
    if (IsOneOf(word, TextlessGroups)) EnterTextless(count);
    long long before = count.characters;
    if (word == "par" || word == "line" || word == "tab" || word == "cell") CountCharacter(count);
    if (word == "par" && count.characters > before) count.endsInParagraph = true;
    if (word == "uc") count.skipCount = param;
    if (word == "u") {
        CountCharacter(count);
        count.skipLeft = count.skipCount;
    }
    if (word == "bin" && !negative) at += static_cast<size_t>(param) < size - at ? param : size - at;
    count.groupStart = false;
    return at;
}

// Reads the symbol behind a backslash at bytes[at]; returns the index of the
// next byte.
size_t CountControlSymbol(RtfTextCount& count, const char* bytes, size_t at)
{
    char symbol = bytes[at++];
    if (symbol == '*') {
        count.starredGroup = count.groupStart;
    } else {
        if (symbol == '\'') at += 2;   // \'hh: one character in hex
        CountCharacter(count);
    }
    count.groupStart = false;
    return at;
}

}  // namespace

bool PassRtfByte(RtfGuard& guard, BYTE c)
{
    switch (guard.lexing) {
    case RtfGuard::AfterBackslash:
        return LexAfterBackslash(guard, c);
    case RtfGuard::HexDigit1:
    case RtfGuard::HexDigit2:
        return LexHexDigit(guard, c);
    case RtfGuard::Word:
        return LexWord(guard, c);
    case RtfGuard::Param:
        return LexParam(guard, c);
    case RtfGuard::Plain:
    default:
        return LexPlain(guard, c);
    }
}

LONG GuardRtf(RtfGuard& guard, LPBYTE bytes, LONG count)
{
    LONG kept = 0;
    for (LONG i = 0; i < count; i++)
        if (PassRtfByte(guard, bytes[i])) bytes[kept++] = bytes[i];
    return kept;
}

static void WalkRtfText(const std::string& rtf, RtfTextCount& count)
{
    const char* bytes = rtf.data();
    size_t size = rtf.size();
    for (size_t at = 0; at < size;) {
        char c = bytes[at++];
        if (c == '{') {
            count.depth++;
            count.groupStart = true;
        } else if (c == '}') {
            if (count.depth == count.textlessFrom) count.textlessFrom = 0;
            count.depth--;
            count.skipLeft = 0;
            count.groupStart = false;
        } else if (c == '\\' && at < size) {
            at = IsLetter(static_cast<BYTE>(bytes[at])) ? CountControlWord(count, bytes, at, size)
                                                       : CountControlSymbol(count, bytes, at);
        } else if (c != '\r' && c != '\n' && c != 0) {
            CountCharacter(count, at - 1);
            count.groupStart = false;
        }
    }
}

long long CountRtfText(const std::string& rtf)
{
    RtfTextCount count;
    WalkRtfText(rtf, count);
    return count.characters - (count.endsInParagraph ? 1 : 0);
}

std::string EscapeLookAlikes(const std::string& rtf, const std::wstring& text)
{
    std::vector<size_t> places;
    RtfTextCount count;
    count.places = &places;
    WalkRtfText(rtf, count);
    std::string out;
    size_t copied = 0;
    for (size_t i = 0; i < places.size() && i < text.size(); i++) {
        if (places[i] == NotPlain) continue;
        const wchar_t shown = text[i];
        const unsigned char written = static_cast<unsigned char>(rtf[places[i]]);
        // An ASCII byte for another ASCII character: the walk is not where
        // the control's text is, and nothing is changed.
        if (shown < 0x80 && shown != written) return rtf;
        if (shown < 0x80 || written >= 0x80) continue;
        out.append(rtf, copied, places[i] - copied);
        out += "\\u" + std::to_string(static_cast<short>(shown)) + " ";
        copied = places[i];
    }
    return out.append(rtf, copied, std::string::npos);
}
