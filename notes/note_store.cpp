#include "notes/note_store.h"
#include <richedit.h>
#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <string.h>
#include <vector>
#include "notes/note_backup.h"
#include "notes/rtf_filter.h"
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
// "note.dat" as it stood when it existed but could not be read ("" when it
// was read): it is read again at each save and not written until then.
static char UnreadIndexPath[MAX_PATH];
// Deleted notes' content files, by full path, that the index still lists
// until the next save.
static std::vector<std::string> FilesToDelete;

namespace {

// Waits between tries of a file that another program (a virus scanner, a
// backup or sync client) holds for a moment: about two seconds in all.
const DWORD RetryWaitsMs[] = { 50, 100, 150, 200, 300, 400, 400, 400 };

// Refused: for a moment, as far as anyone can tell; tried again.
enum FileOutcome { FileDone, FileMissing, FileRefused, FileRefusedForGood };

bool IsMissingError(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

template <typename Attempt>
FileOutcome TriedBriefly(Attempt attempt, FilePatience patience)
{
    FileOutcome outcome = attempt();
    if (patience == TryOnce) return outcome;
    for (DWORD waitMs : RetryWaitsMs) {
        if (outcome != FileRefused) break;
        Sleep(waitMs);
        outcome = attempt();
    }
    return outcome;
}

bool Faulted(StoreStep step, const char* path)
{
    if (StoreFaultInjector && StoreFaultInjector(step, path)) {
        SetLastError(ERROR_DISK_FULL);
        return true;
    }
    return false;
}

// The file functions below take wide paths: an exported file may be named
// in any script. The store's own 8-bit names are in the code page.
std::wstring Wide(const char* path)
{
    wchar_t wide[MAX_PATH];
    return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) ? wide : L"";
}

bool Faulted(StoreStep step, const wchar_t* path)
{
    if (!StoreFaultInjector) return false;
    char narrow[3 * MAX_PATH];
    if (!WideCharToMultiByte(CP_UTF8, 0, path, -1, narrow, sizeof narrow, NULL, NULL)) narrow[0] = 0;
    return Faulted(step, narrow);
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

bool WriteWhole(HANDLE file, const void* data, DWORD size, const wchar_t* path)
{
    if (Faulted(StoreWrite, path)) return false;
    DWORD written = 0;
    return WriteFile(file, data, size, &written, NULL) && written == size;
}

// Replaces `target` by the finished temporary file `temp`. A program that
// looks at either file for a moment refuses the replace until it is done.
bool ReplaceWithTemp(const wchar_t* temp, const wchar_t* target)
{
    if (Faulted(StoreReplace, target)) return false;
    FileOutcome replaced = TriedBriefly([&] {
        if (MoveFileExW(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return FileDone;
        DWORD error = GetLastError();
        bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        return held ? FileRefused : FileRefusedForGood;
    }, WaitBriefly);
    return replaced == FileDone;
}


// A stream into an editor reads a file, or bytes read from one before.
struct ReadCookie {
    HANDLE file;
    bool rtf;
    RtfGuard guard;
    const std::string* bytes;
    size_t at;
};

// A content file of up to MostContentFileBytes, whole; a larger one (or one
// there is no memory for) cannot be read here at all.
FileOutcome ReadWholeFileOnce(const char* path, std::string* bytes)
{
    KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.valid()) return IsMissingError(GetLastError()) ? FileMissing : FileRefused;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return FileRefused;
    if (size.QuadPart > MostContentFileBytes) return FileRefusedForGood;
    try {
        bytes->resize(static_cast<size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        return FileRefusedForGood;
    }
    DWORD count = 0;
    if (bytes->empty()) return FileDone;
    bool read = ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &count, NULL) && count == bytes->size();
    return read ? FileDone : FileRefused;
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
    if (GetFileAttributesA(keeper) != INVALID_FILE_ATTRIBUTES || !IsMissingError(GetLastError())) {
        std::string kept, original;
        if (ReadWholeFileOnce(keeper, &kept) != FileDone || ReadWholeFileOnce(path, &original) != FileDone ||
            kept == original)
            return;
    }
    if (!CopyFileA(path, temp, FALSE) || !ReplaceWithTemp(Wide(temp).c_str(), Wide(keeper).c_str())) DeleteFileA(temp);
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
    std::string* rtf = reinterpret_cast<std::string*>(cookie);
    try {
        rtf->append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(offered));
    } catch (const std::bad_alloc&) {
        *done = 0;
        return 1;   // tells the control to stop streaming
    }
    *done = offered;
    return 0;
}

// The editor's text as UTF-16, paragraphs ending in '\r'.
std::wstring EditorTextW(HWND editor)
{
    GETTEXTLENGTHEX length = { GTL_NUMCHARS | GTL_PRECISE, 1200 };
    std::wstring text(static_cast<size_t>(SendMessageW(editor, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0)) + 1, L'\0');
    GETTEXTEX get = { static_cast<DWORD>(text.size() * sizeof(wchar_t)), GT_DEFAULT, 1200, NULL, NULL };
    text.resize(static_cast<size_t>(SendMessageW(editor, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(&text[0]))));
    return text;
}

// Streams the editor out as RTF into an open file. True when every byte
// reached the file.
bool StreamOutTo(HWND editor, HANDLE file, const wchar_t* path)
{
    std::string rtf;
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&rtf);
    es.pfnCallback = WriteStreamCallback;
    SendMessageA(editor, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&es));
    if (es.dwError != 0) return false;
    rtf = EscapeLookAlikes(rtf, EditorTextW(editor));
    return WriteWhole(file, rtf.data(), static_cast<DWORD>(rtf.size()), path);
}

bool Flush(HANDLE file, const wchar_t* path)
{
    return !Faulted(StoreFlush, path) && FlushFileBuffers(file);
}

HANDLE CreateForWriting(const wchar_t* path)
{
    if (Faulted(StoreCreate, path)) return INVALID_HANDLE_VALUE;
    return CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

// Writes the editor into `temp` and puts that in place of `target` once it is
// whole and flushed; after a failed step the temporary file goes and the
// target is as it was.
bool StreamThroughTemp(HWND editor, const wchar_t* temp, const wchar_t* target)
{
    bool written;
    {
        KernelHandle file(CreateForWriting(temp));
        if (!file.valid()) return false;
        written = StreamOutTo(editor, file.get(), temp) && Flush(file.get(), temp);
    }
    if (written && ReplaceWithTemp(temp, target)) return true;
    DeleteFileW(temp);
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
    if (SameLetters(name, DATA_FOLDER_LOCK_FILE, sizeof DATA_FOLDER_LOCK_FILE)) return FALSE;
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

BOOL DecodeIndexRecord(const NoteIndexRecord& in, NoteRecord* note, SIZE screen)
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
    note->width = BoundedNoteSize(in.width < 1 ? AppSettings.notesSizeX : in.width, screen.cx);
    note->height = BoundedNoteSize(in.height < 1 ? AppSettings.notesSizeY : in.height, screen.cy);
    if (!IsSafeContentFileName(note->fileName)) {
        MakeUniqueContentFileName(note->fileName);
        return FALSE;
    }
    return TRUE;
}

BOOL DecodeIndexRecord(const NoteIndexRecord& in, NoteRecord* note)
{
    return DecodeIndexRecord(in, note, ScreenSize());
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

int StreamFileIn(HWND editor, int format, const wchar_t* path)
{
    KernelHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.valid()) return 0;
    ReadCookie stream = { file.get(), true, {}, nullptr, 0 };
    StreamIn(editor, format, stream);
    return 1;
}

int StreamFileOut(HWND editor, const wchar_t* path)
{
    wchar_t temp[MAX_PATH];
    if (lstrlenW(path) + sizeof TEMP_SUFFIX > MAX_PATH) return 0;
    wsprintfW(temp, L"%s" TEMP_SUFFIX, path);
    return StreamThroughTemp(editor, temp, path) ? 1 : 0;
}

NoteTextLoad LoadNoteText(const NoteRecord* note, HWND editor, FilePatience patience)
{
    char path[MAX_PATH];
    if (!DataFolderPath(note->fileName, path, sizeof path)) return NoteTextMissing;
    std::string bytes;
    FileOutcome read = TriedBriefly([&] { return ReadWholeFileOnce(path, &bytes); }, patience);
    if (read == FileMissing) return NoteTextMissing;
    if (read != FileDone) return NoteTextUnreadable;
    // A file that does not start as RTF would come in empty: it comes in as
    // plain text.
    bool rtf = bytes.compare(0, RtfHeaderLength, RtfHeader) == 0;
    ReadCookie stream = { INVALID_HANDLE_VALUE, rtf, {}, &bytes, 0 };
    bool whole = StreamIn(editor, rtf ? SF_RTF : SF_TEXT, stream);
    GETTEXTLENGTHEX length = { GTL_NUMCHARS, 1200 };
    long long shown = SendMessageA(editor, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    if (!bytes.empty() && (!rtf || !whole || shown < CountRtfText(bytes))) KeepOriginal(path);
    return NoteTextLoaded;
}

int SaveNoteText(const NoteRecord* note, HWND editor)
{
    char path[MAX_PATH];
    if (!DataFolderPath(note->fileName, path, sizeof path) || !StreamFileOut(editor, Wide(path).c_str())) return 0;
    SendMessageA(editor, EM_SETMODIFY, FALSE, 0);
    return 1;
}

void DeleteContentFileAfterSave(const char* fileName)
{
    char path[MAX_PATH];
    if (!IsSafeContentFileName(fileName) || !DataFolderPath(fileName, path, sizeof path)) return;
    try {
        FilesToDelete.push_back(path);
    } catch (const std::bad_alloc&) {
        // The file stays behind: a stray file, no lost text.
    }
}

BOOL IsContentFileAwaitingDelete(const char* fileName)
{
    char path[MAX_PATH];
    if (!DataFolderPath(fileName, path, sizeof path)) return FALSE;
    for (const std::string& waiting : FilesToDelete)
        if (_stricmp(waiting.c_str(), path) == 0) return TRUE;
    return FALSE;
}

// Called once "note.dat" was written without the deleted notes. A file that
// a listed note names again stays; one that cannot be removed now (another
// program holds it) is tried again at the next save.
static void DeleteFilesOfDeletedNotes()
{
    auto done = [](const std::string& path) {
        char own[MAX_PATH];
        for (NoteRecord* note = NoteList.head; note; note = note->next)
            if (DataFolderPath(note->fileName, own, sizeof own) && _stricmp(own, path.c_str()) == 0) return true;
        DeleteFileA((path + BACKUP_SUFFIX).c_str());
        return DeleteFileA(path.c_str()) || IsMissingError(GetLastError());
    };
    FilesToDelete.erase(std::remove_if(FilesToDelete.begin(), FilesToDelete.end(), done), FilesToDelete.end());
}

// A file another program removed under an open note is written again: the
// editor holds the only copy. One attribute query, no read.
static bool ContentFileGone(const NoteRecord* note)
{
    char path[MAX_PATH];
    return DataFolderPath(note->fileName, path, sizeof path) && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
           IsMissingError(GetLastError());
}

// A text is written unless the file is known to hold it: loaded from there
// or written since, unchanged (autosave moves the editor's modified flag
// into the record) and still there. A file that could not be read is never
// written.
static bool NoteTextUnsaved(const NoteRecord* note)
{
    if (!note->window || !note->editor || note->textUnread) return false;
    return !note->textSaved || SendMessageA(note->editor, EM_GETMODIFY, 0, 0) || ContentFileGone(note);
}

// A shown note whose file could not be read is tried again at each save,
// once, without waiting; read, it takes typing again.
static void ReadUnreadText(NoteRecord* note)
{
    if (!note->window || !note->editor) return;
    NoteTextLoad load = LoadNoteText(note, note->editor, TryOnce);
    if (load == NoteTextUnreadable) return;
    note->textUnread = FALSE;
    note->textSaved = load == NoteTextLoaded;
    SendMessageA(note->editor, EM_SETMODIFY, FALSE, 0);
    SendMessageA(note->editor, EM_SETREADONLY, FALSE, 0);
}

static bool ReadIndexAgainIfUnread(const char* path);

// What this program last wrote to the index, where, and the file's time
// after it: a save whose records are all as they were need not write the
// index again while nobody else has written the file since.
static std::string LastIndexWritten;
static char        LastIndexPath[MAX_PATH];
static FILETIME    LastIndexTime;

static bool IndexFileTime(const char* path, FILETIME* time)
{
    WIN32_FILE_ATTRIBUTE_DATA file;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &file)) return false;
    *time = file.ftLastWriteTime;
    return true;
}

static void RememberIndexWritten(const char* path, const std::string& index)
{
    LastIndexWritten = index;
    lstrcpynA(LastIndexPath, path, sizeof LastIndexPath);
    if (!IndexFileTime(path, &LastIndexTime)) LastIndexPath[0] = 0;
}

static bool IndexOnDiskHolds(const char* path, const std::string& index)
{
    FILETIME time;
    return LastIndexPath[0] && lstrcmpiA(LastIndexPath, path) == 0 && LastIndexWritten == index &&
           IndexFileTime(path, &time) && CompareFileTime(&time, &LastIndexTime) == 0;
}

int SaveNotes()
{
    return SaveNotesReporting(SaveWithErrorBox);
}

int SaveNotesReporting(SaveReporting reporting)
{
    auto fail = [reporting](const wchar_t* text) {
        if (reporting == SaveWithErrorBox) ShowError(text);
        return 0;
    };
    EnterDataFolder();
    char path[MAX_PATH], narrowTemp[MAX_PATH];
    if (!DataFolderPath(NOTE_INDEX_FILE, path, sizeof path) ||
        !DataFolderPath(NOTE_INDEX_FILE TEMP_SUFFIX, narrowTemp, sizeof narrowTemp))
        return fail(TEXT_ERR_OPEN_FILE);
    const std::wstring temp = Wide(narrowTemp);
    if (!ReadIndexAgainIfUnread(path)) return fail(TEXT_ERR_READ_INDEX);
    BackUpFirstSaveOfDay();
    // The index is put together in memory and written in one piece.
    int count = CountNotes();
    std::string index(count * sizeof(NoteIndexRecord), '\0');
    NoteIndexRecord* record = reinterpret_cast<NoteIndexRecord*>(&index[0]);
    bool textsWritten = true;
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        EncodeIndexRecord(*note, record++);
        if (note->textUnread) ReadUnreadText(note);
        if (NoteTextUnsaved(note)) {
            if (SaveNoteText(note, note->editor)) note->textSaved = TRUE;
            else textsWritten = false;
        }
    }
    if (!IndexOnDiskHolds(path, index)) {
        bool written;
        {
            KernelHandle file(CreateForWriting(temp.c_str()));
            if (!file.valid()) return fail(TEXT_ERR_OPEN_FILE);
            written = (count == 0 || WriteWhole(file.get(), index.data(), static_cast<DWORD>(index.size()), temp.c_str())) &&
                      Flush(file.get(), temp.c_str());
        }
        if (!written || !ReplaceWithTemp(temp.c_str(), Wide(path).c_str())) {
            DeleteFileW(temp.c_str());
            return fail(TEXT_ERR_WRITE_FILE);
        }
        RememberIndexWritten(path, index);
    }
    DeleteFilesOfDeletedNotes();
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

// Loaded notes keep the file's order behind any already listed; the tail is
// kept at hand so that a long file loads in linear time. A read that fails
// half-way takes back what it listed, so that the next try starts afresh.
static FileOutcome ReadIndexOnce(const char* path, int* result)
{
    KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.valid()) return IsMissingError(GetLastError()) ? FileMissing : FileRefused;
    NoteRecord** start = &NoteList.head;
    while (*start) start = &(*start)->next;
    NoteRecord** tail = start;
    // Read in pieces of many records (a file of up to LOAD_CHUNK_RECORDS
    // records in one), decoded from memory.
    static NoteIndexRecord chunk[LOAD_CHUNK_RECORDS];
    SIZE screen = ScreenSize();
    DWORD count = 0;
    do {
        if (!ReadFile(file.get(), chunk, sizeof chunk, &count, NULL)) {
            while (NoteRecord* note = *start) {
                *start = note->next;
                DiscardNote(note);
            }
            return FileRefused;
        }
        for (DWORD i = 0; i < count / sizeof(NoteIndexRecord); i++) {
            NoteRecord* note = new (std::nothrow) NoteRecord();
            if (!note) { *result = 0; continue; }
            DecodeIndexRecord(chunk[i], note, screen);
            note->serial = NewNoteSerial();
            note->next = nullptr;
            *tail = note;
            tail = &note->next;
        }
    } while (count == sizeof chunk);
    return FileDone;
}

// An index that exists but cannot be read is remembered, and nothing is
// written over it until it has been read.
static FileOutcome ReadIndex(const char* path, FilePatience patience, int* result)
{
    ForgetFolderNames();
    LastIndexPath[0] = 0;
    FileOutcome read = TriedBriefly([&] { return ReadIndexOnce(path, result); }, patience);
    if (read == FileDone) GiveSharedFilesCopies();
    if (read == FileDone || read == FileMissing) UnreadIndexPath[0] = 0;
    else lstrcpynA(UnreadIndexPath, path, sizeof UnreadIndexPath);
    return read;
}

// An index that could not be read at load is read at each save until it is;
// its notes then join the list behind those made meanwhile.
static bool ReadIndexAgainIfUnread(const char* path)
{
    if (!UnreadIndexPath[0] || _stricmp(UnreadIndexPath, path) != 0) return true;
    int result = 1;
    FileOutcome read = ReadIndex(path, TryOnce, &result);
    return read == FileDone || read == FileMissing;
}

int LoadNotes()
{
    EnterDataFolder();
    char path[MAX_PATH];
    if (!DataFolderPath(NOTE_INDEX_FILE, path, sizeof path)) return 0;
    int result = 1;
    FileOutcome read = ReadIndex(path, WaitBriefly, &result);
    if (read == FileMissing) return 0;
    if (read != FileDone) {
        ShowError(TEXT_ERR_READ_INDEX);
        return 0;
    }
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
