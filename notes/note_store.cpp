#include "notes/note_store.h"
#include <richedit.h>
#include <algorithm>
#include <memory>
#include <new>
#include <stddef.h>
#include <string>
#include <string.h>
#include "notes/note_backup.h"
#include "settings/settings_store.h"
#include "shell/globals.h"
#include "shell/guards.h"
#include "shell/services.h"
#include "shell/ui_text.h"

// Every save goes through a temporary file that replaces the real one only
// when it was written whole and flushed, so a failed or interrupted save
// keeps the previous index and the previous text of every note.
#define TEMP_SUFFIX ".tmp"
#define BACKUP_SUFFIX ".bak"
#define LOAD_CHUNK_RECORDS 1024
static const char RtfHeader[] = "{\\rtf";
static const size_t RtfHeaderLength = sizeof RtfHeader - 1;

bool (*StoreFaultInjector)(StoreStep step, const char* path);
DWORD SaveCount;

namespace {

bool Faulted(StoreStep step, const char* path)
{
    if (StoreFaultInjector && StoreFaultInjector(step, path)) {
        SetLastError(ERROR_DISK_FULL);
        return true;
    }
    return false;
}

template <size_t N>
void CopyField(char (&to)[N], const char* from, size_t fromSize)
{
    size_t length = strnlen(from, fromSize < N ? fromSize : N);
    if (length >= N) length = N - 1;
    memcpy(to, from, length);
    memset(to + length, 0, N - length);
}

// ASCII only: the names compared against are plain ASCII, and the C
// library's comparison consults the locale for every character.
bool SameLetters(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? a[i] - 32 : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? b[i] - 32 : b[i];
        if (x != y) return false;
        if (x == 0) return true;
    }
    return true;
}

bool IsDeviceName(const char* name)
{
    static const char* const devices[] = { "CON", "PRN", "AUX", "NUL", "COM", "LPT" };
    for (const char* device : devices) {
        size_t n = strlen(device);
        if (SameLetters(name, device, n)) {
            const char* rest = name + n;
            if (n == 3 && (rest[0] == 0 || rest[0] == '.')) return true;
            if (rest[0] >= '0' && rest[0] <= '9' && (rest[1] == 0 || rest[1] == '.')) return true;
        }
    }
    return false;
}

bool WriteWhole(HANDLE file, const void* data, DWORD size, const char* path)
{
    if (Faulted(StoreWrite, path)) return false;
    DWORD written = 0;
    return WriteFile(file, data, size, &written, NULL) && written == size;
}

// Replaces `target` by the finished temporary file `temp`.
bool ReplaceWithTemp(const char* temp, const char* target)
{
    if (Faulted(StoreReplace, target)) return false;
    return MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

struct StreamCookie {
    HANDLE file;
    bool failed;
    const char* path;
};

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
const long MostRtfSkip = 1000000;

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

bool IsLetter(BYTE c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(BYTE c) { return c >= '0' && c <= '9'; }

// Whether the control may see this byte.
bool PassRtfByte(RtfGuard& guard, BYTE c)
{
    switch (guard.lexing) {
    case RtfGuard::AfterBackslash:
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
    case RtfGuard::HexDigit1:
    case RtfGuard::HexDigit2:
        if (guard.lexing == RtfGuard::HexDigit2) {
            guard.lexing = RtfGuard::Plain;
            TextToken(guard);
        } else {
            guard.lexing = RtfGuard::HexDigit2;
        }
        return c == '{' ? OpenBrace(guard) : true;
    case RtfGuard::Word:
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
        break;
    case RtfGuard::Param:
        if (IsDigit(c)) {
            guard.param = guard.param < MostRtfSkip ? guard.param * 10 + (c - '0') : MostRtfSkip;
            return ++guard.paramLength <= MostRtfParamDigits;
        }
        EndControlWord(guard);
        if (c == ' ') return true;
        break;
    case RtfGuard::Plain:
        break;
    }
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

LONG GuardRtf(RtfGuard& guard, LPBYTE bytes, LONG count)
{
    LONG kept = 0;
    for (LONG i = 0; i < count; i++)
        if (PassRtfByte(guard, bytes[i])) bytes[kept++] = bytes[i];
    return kept;
}

// A stream into an editor reads a file, or bytes read from one before.
struct ReadCookie {
    HANDLE file;
    bool rtf;
    RtfGuard guard;
    const std::string* bytes;
    size_t at;
};

// ---- How much text an RTF file holds ---------------------------------------------
// Roughly the characters of text outside the groups that hold none (tables,
// pictures, field instructions, \* groups); headers, footers and document
// information count, as the control drops them. A paragraph mark that ends
// the text is the control's own last mark, and a zero byte (Wine's control
// ends what it writes with one) is no text. Text the control makes of a file
// is checked against it: less means the control dropped some.
const char* const TextlessGroups[] = {
    "fonttbl", "colortbl", "stylesheet", "pict", "listtable", "listoverridetable", "rsidtbl",
    "revtbl", "filetbl", "fldinst", "xmlnstbl", "generator", "latentstyles", "themedata",
    "colorschememapping", "datastore", "nonshppict",
};
// Groups marked \* that hold text of the document all the same.
const char* const TextStarGroups[] = { "footnote", "annotation", "shpinst" };

bool IsOneOf(const std::string& word, const char* const* names, size_t count)
{
    for (size_t i = 0; i < count; i++)
        if (word == names[i]) return true;
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
};

void CountCharacter(RtfTextCount& count)
{
    if (count.skipLeft > 0) {
        count.skipLeft--;
    } else if (count.textlessFrom == 0) {
        count.characters++;
        count.endsInParagraph = false;
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
        if (!IsOneOf(word, TextStarGroups, sizeof TextStarGroups / sizeof *TextStarGroups)) EnterTextless(count);
        count.starredGroup = false;
    }
    if (IsOneOf(word, TextlessGroups, sizeof TextlessGroups / sizeof *TextlessGroups)) EnterTextless(count);
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

long long CountRtfText(const std::string& rtf)
{
    RtfTextCount count;
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
            if (IsLetter(static_cast<BYTE>(bytes[at]))) {
                at = CountControlWord(count, bytes, at, size);
                continue;
            }
            char symbol = bytes[at++];
            if (symbol == '*') {
                count.starredGroup = count.groupStart;
            } else {
                if (symbol == '\'') at += 2;   // \'hh: one character in hex
                CountCharacter(count);
            }
            count.groupStart = false;
        } else if (c != '\r' && c != '\n' && c != 0) {
            CountCharacter(count);
            count.groupStart = false;
        }
    }
    return count.characters - (count.endsInParagraph ? 1 : 0);
}

bool ReadWholeFile(const char* path, std::string* bytes)
{
    KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    LARGE_INTEGER size;
    if (!file.valid() || !GetFileSizeEx(file.get(), &size) || size.QuadPart > MAXLONG) return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD count = 0;
    return bytes->empty() ||
           (ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &count, NULL) && count == bytes->size());
}

// The original of a content file the editor did not take in whole stays
// beside it, so that saving the note over it loses nothing. A keeper of other
// bytes is replaced, through the note's temporary file, by the original the
// next save would write over; one that cannot be read now is left alone.
void KeepOriginal(const char* path)
{
    char keeper[MAX_PATH], temp[MAX_PATH];
    if (lstrlenA(path) + sizeof BACKUP_SUFFIX > sizeof keeper) return;
    wsprintfA(keeper, "%s" BACKUP_SUFFIX, path);
    wsprintfA(temp, "%s" TEMP_SUFFIX, path);
    if (GetFileAttributesA(keeper) != INVALID_FILE_ATTRIBUTES || GetLastError() != ERROR_FILE_NOT_FOUND) {
        std::string kept, original;
        if (!ReadWholeFile(keeper, &kept) || !ReadWholeFile(path, &original) || kept == original) return;
    }
    if (!CopyFileA(path, temp, FALSE) || !ReplaceWithTemp(temp, keeper)) DeleteFileA(temp);
}

DWORD CALLBACK ReadStreamCallback(DWORD_PTR cookie, LPBYTE buffer, LONG requested, LONG* done)
{
    ReadCookie* stream = reinterpret_cast<ReadCookie*>(cookie);
    // A count of 0 ends the stream, so reading goes on until a byte is kept.
    LONG kept = 0;
    while (kept == 0) {
        DWORD count = 0;
        if (stream->bytes) {
            count = static_cast<DWORD>(std::min(static_cast<size_t>(requested), stream->bytes->size() - stream->at));
            memcpy(buffer, stream->bytes->data() + stream->at, count);
            stream->at += count;
        } else if (!ReadFile(stream->file, buffer, static_cast<DWORD>(requested), &count, NULL)) {
            break;
        }
        if (count == 0) break;
        kept = stream->rtf ? GuardRtf(stream->guard, buffer, static_cast<LONG>(count)) : static_cast<LONG>(count);
    }
    *done = kept;
    return 0;
}

DWORD CALLBACK WriteStreamCallback(DWORD_PTR cookie, LPBYTE buffer, LONG offered, LONG* done)
{
    StreamCookie* stream = reinterpret_cast<StreamCookie*>(cookie);
    DWORD count = 0;
    if (Faulted(StoreWrite, stream->path) ||
        !WriteFile(stream->file, buffer, static_cast<DWORD>(offered), &count, NULL) ||
        count != static_cast<DWORD>(offered)) {
        stream->failed = true;
        *done = static_cast<LONG>(count);
        return 1;   // tells the control to stop streaming
    }
    *done = static_cast<LONG>(count);
    return 0;
}

// Streams the editor out as RTF into an open file. True when every byte
// reached the file.
bool StreamOutTo(HWND editor, HANDLE file, const char* path)
{
    StreamCookie stream = { file, false, path };
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&stream);
    es.pfnCallback = WriteStreamCallback;
    SendMessageA(editor, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&es));
    return !stream.failed && es.dwError == 0;
}

bool Flush(HANDLE file, const char* path)
{
    return !Faulted(StoreFlush, path) && FlushFileBuffers(file);
}

HANDLE CreateForWriting(const char* path)
{
    if (Faulted(StoreCreate, path)) return INVALID_HANDLE_VALUE;
    return CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

// Writes the editor into `temp` and puts that in place of `target` once it is
// whole and flushed; after a failed step the temporary file goes and the
// target is as it was.
bool StreamThroughTemp(HWND editor, const char* temp, const char* target)
{
    bool written;
    {
        KernelHandle file(CreateForWriting(temp));
        if (!file.valid()) return false;
        written = StreamOutTo(editor, file.get(), temp) && Flush(file.get(), temp);
    }
    if (written && ReplaceWithTemp(temp, target)) return true;
    DeleteFileA(temp);
    return false;
}

}  // namespace

BOOL IsSafeContentFileName(const char* name)
{
    size_t length = strnlen(name, NOTE_FILE_NAME_SIZE);
    if (length == 0 || length >= NOTE_FILE_NAME_SIZE) return FALSE;
    if (strstr(name, "..")) return FALSE;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 32) return FALSE;
        for (char forbidden : "\\/:*?\"<>|")
            if (forbidden && c == static_cast<unsigned char>(forbidden)) return FALSE;
    }
    if (name[length - 1] == '.' || name[length - 1] == ' ' || name[0] == ' ') return FALSE;
    if (SameLetters(name, NOTE_INDEX_FILE, sizeof NOTE_INDEX_FILE)) return FALSE;
    if (SameLetters(name, BACKUP_FOLDER, sizeof BACKUP_FOLDER)) return FALSE;
    if (length >= 4 && SameLetters(name + length - 4, TEMP_SUFFIX, sizeof TEMP_SUFFIX)) return FALSE;
    if (length >= 4 && SameLetters(name + length - 4, BACKUP_SUFFIX, sizeof BACKUP_SUFFIX)) return FALSE;
    return !IsDeviceName(name);
}

void EncodeIndexRecord(const NoteRecord& note, NoteIndexRecord* out)
{
    memset(out, 0, sizeof *out);
    out->left = note.left;
    out->top = note.top;
    out->width = note.width;
    out->height = note.height;
    out->visible = note.visible;
    CopyField(out->fileName, note.fileName, sizeof note.fileName);
    CopyField(out->soundFile, note.soundFile, sizeof note.soundFile);
    out->backColor = note.backColor;
    out->alarmYear = note.alarmYear;
    out->alarmMonth = note.alarmMonth;
    out->alarmDayOfWeek = note.alarmDayOfWeek;
    out->alarmDay = note.alarmDay;
    out->alarmHour = note.alarmHour;
    out->alarmMinute = note.alarmMinute;
    out->alarmOn = note.alarmOn;
    out->alarmRepeatMinutes = note.alarmRepeatMinutes;
    out->reminderCountdown = note.reminderCountdown;
}

BOOL DecodeIndexRecord(const NoteIndexRecord& in, NoteRecord* note)
{
    note->left = in.left;
    note->top = in.top;
    note->width = in.width;
    note->height = in.height;
    note->visible = in.visible;
    CopyField(note->fileName, in.fileName, sizeof in.fileName);
    CopyField(note->soundFile, in.soundFile, sizeof in.soundFile);
    note->backColor = in.backColor & 0x00FFFFFF;
    note->alarmYear = in.alarmYear;
    note->alarmMonth = in.alarmMonth;
    note->alarmDayOfWeek = in.alarmDayOfWeek;
    note->alarmDay = in.alarmDay;
    note->alarmHour = in.alarmHour;
    note->alarmMinute = in.alarmMinute;
    note->alarmOn = in.alarmOn;
    note->alarmRepeatMinutes = in.alarmRepeatMinutes;
    note->reminderCountdown = in.reminderCountdown;
    // A size of 0 or less takes the size of a new note; every size is bound
    // to the screen.
    note->width = BoundedNoteWidth(in.width < 1 ? AppSettings.notesSizeX : in.width);
    note->height = BoundedNoteHeight(in.height < 1 ? AppSettings.notesSizeY : in.height);
    if (!IsSafeContentFileName(note->fileName)) {
        MakeUniqueContentFileName(note->fileName);
        return FALSE;
    }
    return TRUE;
}

// Returns whether the control took the stream without an error.
static bool StreamIn(HWND editor, int format, ReadCookie& stream)
{
    stream.rtf = (format & SF_RTF) != 0;
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&stream);
    es.pfnCallback = ReadStreamCallback;
    SendMessageA(editor, EM_STREAMIN, format, reinterpret_cast<LPARAM>(&es));
    return es.dwError == 0;
}

int StreamFileIn(HWND editor, int format, const char* path)
{
    KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.valid()) return 0;
    ReadCookie stream = { file.get(), true, {}, nullptr, 0 };
    StreamIn(editor, format, stream);
    return 1;
}

int StreamFileOut(HWND editor, const char* path)
{
    char temp[MAX_PATH];
    if (lstrlenA(path) + sizeof TEMP_SUFFIX > sizeof temp) return 0;
    wsprintfA(temp, "%s" TEMP_SUFFIX, path);
    return StreamThroughTemp(editor, temp, path) ? 1 : 0;
}

int LoadNoteText(const NoteRecord* note, HWND editor)
{
    char path[MAX_PATH];
    if (!DataFolderPath(note->fileName, path, sizeof path)) return 0;
    std::string bytes;
    if (!ReadWholeFile(path, &bytes)) return StreamFileIn(editor, SF_RTF, path);
    // A file that does not start as RTF would come in empty: it comes in as
    // plain text.
    bool rtf = bytes.compare(0, RtfHeaderLength, RtfHeader) == 0;
    ReadCookie stream = { INVALID_HANDLE_VALUE, rtf, {}, &bytes, 0 };
    bool whole = StreamIn(editor, rtf ? SF_RTF : SF_TEXT, stream);
    GETTEXTLENGTHEX length = { GTL_NUMCHARS, 1200 };
    long long shown = SendMessageA(editor, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    if (!bytes.empty() && (!rtf || !whole || shown < CountRtfText(bytes))) KeepOriginal(path);
    return 1;
}

int SaveNoteText(const NoteRecord* note, HWND editor)
{
    char path[MAX_PATH], temp[MAX_PATH];
    if (!DataFolderPath(note->fileName, path, sizeof path)) return 0;
    if (lstrlenA(path) + sizeof TEMP_SUFFIX > sizeof temp) return 0;
    lstrcpyA(temp, path);
    lstrcatA(temp, TEMP_SUFFIX);
    bool written;
    {
        KernelHandle file(CreateForWriting(temp));
        if (!file.valid()) return 0;
        written = StreamOutTo(editor, file.get(), temp) && Flush(file.get(), temp);
    }
    if (!written || !ReplaceWithTemp(temp, path)) {
        DeleteFileA(temp);
        return 0;
    }
    SendMessageA(editor, EM_SETMODIFY, FALSE, 0);
    return 1;
}

void DeleteContentFile(const char* fileName)
{
    char path[MAX_PATH];
    if (IsSafeContentFileName(fileName) && DataFolderPath(fileName, path, sizeof path))
        DeleteFileA(path);
}

namespace {

const uint64_t FingerprintPrime = 1099511628211ull;   // FNV's

// Four lanes keep the multiplications from waiting on each other. Each step
// of a lane is a bijection, so a change of any one word always changes the
// hash.
struct Fingerprint {
    uint64_t lane[4] = { 14695981039346656037ull, 1, 2, 3 };
    unsigned next = 0;
};

void Mix(Fingerprint& print, const void* data, size_t size)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; i += sizeof(uint64_t)) {
        uint64_t word = 0;
        if (size - i >= sizeof word) memcpy(&word, bytes + i, sizeof word);
        else memcpy(&word, bytes + i, size - i);
        uint64_t& lane = print.lane[print.next++ & 3];
        lane = (lane ^ word) * FingerprintPrime;
    }
}

}  // namespace

// Hashed straight from the records in whole words: the stored fields lie
// together in a NoteRecord, from `left` to `reminderCountdown`, and of the
// sound file only what its file record keeps, the name up to its end.
uint64_t IndexFingerprint()
{
    const size_t head = offsetof(NoteRecord, soundFile) - offsetof(NoteRecord, left);
    const size_t tail = offsetof(NoteRecord, frameState) - offsetof(NoteRecord, visible);
    Fingerprint print;
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        Mix(print, &note->left, head);
        Mix(print, note->soundFile, strnlen(note->soundFile, sizeof note->soundFile - 1) + 1);
        Mix(print, &note->visible, tail);
    }
    uint64_t hash = print.lane[0];
    for (int k = 1; k < 4; k++) hash = (hash ^ print.lane[k]) * FingerprintPrime;
    return hash;
}

// A text is written unless the file is known to hold it: loaded from there
// or written since, and unchanged (autosave moves the editor's modified
// flag into the record).
static bool NoteTextUnsaved(const NoteRecord* note)
{
    return note->window && note->editor &&
           (!note->textSaved || SendMessageA(note->editor, EM_GETMODIFY, 0, 0));
}

int SaveNotes()
{
    return SaveNotesReporting(SaveWithErrorBox);
}

int SaveNotesReporting(SaveReporting reporting)
{
    auto fail = [reporting](const char* text) {
        if (reporting == SaveWithErrorBox) ShowError(text);
        return 0;
    };
    EnterDataFolder();
    char path[MAX_PATH], temp[MAX_PATH];
    if (!DataFolderPath(NOTE_INDEX_FILE, path, sizeof path) ||
        !DataFolderPath(NOTE_INDEX_FILE TEMP_SUFFIX, temp, sizeof temp))
        return fail(TEXT_ERR_OPEN_FILE);
    BackUpFirstSaveOfDay();
    KernelHandle file(CreateForWriting(temp));
    if (!file.valid()) return fail(TEXT_ERR_OPEN_FILE);
    // The index is put together in memory and written in one piece.
    int count = CountNotes();
    std::unique_ptr<NoteIndexRecord[]> records(new (std::nothrow) NoteIndexRecord[count ? count : 1]);
    bool written = records != nullptr, textsWritten = true;
    NoteIndexRecord* record = records.get();
    for (NoteRecord* note = NoteList.head; note && written; note = note->next) {
        EncodeIndexRecord(*note, record++);
        if (NoteTextUnsaved(note)) {
            if (SaveNoteText(note, note->editor)) note->textSaved = TRUE;
            else textsWritten = false;
        }
    }
    DWORD size = static_cast<DWORD>(count * sizeof(NoteIndexRecord));
    written = written && (count == 0 || WriteWhole(file.get(), records.get(), size, temp)) && Flush(file.get(), temp);
    file.close();
    if (!written || !ReplaceWithTemp(temp, path)) {
        DeleteFileA(temp);
        return fail(TEXT_ERR_WRITE_FILE);
    }
    // A text that did not reach its file is lost with its window unless the
    // user hears of it and the save is tried again (autosave has taken the
    // editor's modified flag already); the file keeps the previous text.
    if (!textsWritten) return fail(TEXT_ERR_WRITE_FILE);
    SaveCount++;
    return 1;
}

namespace {

// The file system compares names ignoring case in every alphabet, not in
// ASCII alone; names are compared as it does.
template <size_t N>
void WidenFileName(const char* name, WCHAR (&out)[N])
{
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, out, N)) out[0] = 0;
}

int CompareFileNames(const WCHAR* a, const WCHAR* b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE);
}

// A short alias ("ABCD~Z5N.DAT") opens a file that has a long name of its
// own. The note takes that name when a record can hold it, or a copy of the
// file under a fresh name; a folder of that name leaves it a fresh name.
// Short aliases always hold a '~'.
void UseFilesOwnName(NoteRecord* note)
{
    char path[MAX_PATH], to[MAX_PATH];
    if (!strchr(note->fileName, '~') || !DataFolderPath(note->fileName, path, sizeof path)) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    FindClose(search);
    WCHAR own[MAX_PATH], named[NOTE_FILE_NAME_SIZE];
    WidenFileName(found.cFileName, own);
    WidenFileName(note->fileName, named);
    if (CompareFileNames(own, named) == CSTR_EQUAL) return;
    bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!folder && IsSafeContentFileName(found.cFileName)) {
        lstrcpynA(note->fileName, found.cFileName, sizeof note->fileName);
        return;
    }
    MakeUniqueContentFileName(note->fileName);
    if (!folder && DataFolderPath(note->fileName, to, sizeof to)) CopyFileA(path, to, TRUE);
}

struct NamedNote {
    NoteRecord* note;
    WCHAR name[NOTE_FILE_NAME_SIZE];
};

}  // namespace

// A damaged index may name one content file for several notes: by one name,
// by names that differ in case, or by a file's short alias. Deleting one
// would then take the others' text. Each later note gets a copy of its own.
// Sorted by name, the notes sharing one stand together, so no pair of notes
// needs comparing.
static void GiveSharedFilesCopies()
{
    int count = CountNotes();
    std::unique_ptr<NamedNote[]> byName(new (std::nothrow) NamedNote[count ? count : 1]);
    if (!byName) return;
    NamedNote* end = byName.get();
    for (NoteRecord* note = NoteList.head; note; note = note->next, end++) {
        UseFilesOwnName(note);
        end->note = note;
        WidenFileName(note->fileName, end->name);
    }
    std::stable_sort(byName.get(), end, [](const NamedNote& a, const NamedNote& b) {
        return CompareFileNames(a.name, b.name) == CSTR_LESS_THAN;
    });
    char from[MAX_PATH], to[MAX_PATH];
    for (NamedNote *first = byName.get(), *at = first + 1; at < end; at++) {
        if (CompareFileNames(first->name, at->name) != CSTR_EQUAL) {
            first = at;
        } else if (DataFolderPath(first->note->fileName, from, sizeof from)) {
            MakeUniqueContentFileName(at->note->fileName);
            if (DataFolderPath(at->note->fileName, to, sizeof to)) CopyFileA(from, to, TRUE);
        }
    }
}

int LoadNotes()
{
    EnterDataFolder();
    ForgetFolderNames();
    char path[MAX_PATH];
    if (!DataFolderPath(NOTE_INDEX_FILE, path, sizeof path)) return 0;
    KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.valid()) return 0;
    int result = 1;
    // Loaded notes keep the file's order behind any already listed; the
    // tail is kept at hand so that a long file loads in linear time.
    NoteRecord** tail = &NoteList.head;
    while (*tail) tail = &(*tail)->next;
    // Read in pieces of many records (a file of up to LOAD_CHUNK_RECORDS
    // records in one), decoded from memory.
    static NoteIndexRecord chunk[LOAD_CHUNK_RECORDS];
    DWORD count = 0;
    do {
        if (!ReadFile(file.get(), chunk, sizeof chunk, &count, NULL)) break;
        for (DWORD i = 0; i < count / sizeof(NoteIndexRecord); i++) {
            NoteRecord* note = new (std::nothrow) NoteRecord();
            if (!note) { result = 0; continue; }
            DecodeIndexRecord(chunk[i], note);
            note->serial = NewNoteSerial();
            note->backBrush = CreateSolidBrush(note->backColor);
            if (!note->backBrush) { delete note; result = 0; continue; }
            note->next = nullptr;
            *tail = note;
            tail = &note->next;
        }
    } while (count == sizeof chunk);
    GiveSharedFilesCopies();
    return result;
}

void CleanUpInterruptedSaves()
{
    char pattern[MAX_PATH];
    if (!DataFolderPath("*" TEMP_SUFFIX, pattern, sizeof pattern)) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        char path[MAX_PATH];
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && DataFolderPath(found.cFileName, path, sizeof path))
            DeleteFileA(path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
