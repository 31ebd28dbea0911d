#include "notes/autosave.h"
#include <stddef.h>
#include <string.h>
#include "notes/note_record.h"
#include "notes/note_store.h"

// ---- Module state ---------------------------------------------------------
static bool     changePending;      // something changed since the last save
static DWORD    savesAtChange;      // SaveCount when the change was noticed
static uint64_t lastSeenPrint;      // index fingerprint at the previous tick
static DWORD    lastChangeMs;       // when a change was last noticed
static DWORD    firstChangeMs;      // when the pending changes began
static bool     failureReported;    // an autosave failed and said so
static bool     saving;             // an autosave is under way

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

// Typing leaves the editors' modified flags set; they are taken here so
// that the next tick can tell whether the user is still typing.
static bool TakeTextChanges()
{
    bool typed = false;
    for (NoteRecord* note = NoteList.head; note; note = note->next) {
        if (note->window && note->editor && SendMessageA(note->editor, EM_GETMODIFY, 0, 0)) {
            SendMessageA(note->editor, EM_SETMODIFY, FALSE, 0);
            note->textSaved = FALSE;
            typed = true;
        }
    }
    return typed;
}

void ResetAutosave()
{
    changePending = false;
    lastSeenPrint = IndexFingerprint();
    lastChangeMs = firstChangeMs = 0;
    failureReported = false;
}

BOOL AutosaveTick(DWORD nowMs)
{
    // The error box of a failed autosave runs a message loop: a tick that
    // comes through it leaves the failure to that box, one per failure spell.
    if (saving) return FALSE;
    uint64_t print = IndexFingerprint();
    bool typed = TakeTextChanges();
    if (typed || print != lastSeenPrint) {
        if (!changePending) firstChangeMs = nowMs;
        changePending = true;
        savesAtChange = SaveCount;
        lastChangeMs = nowMs;
        lastSeenPrint = print;
    }
    // A save at one of the fixed moments (hiding, the list, ...) after the
    // change was noticed has written it already.
    if (changePending && SaveCount != savesAtChange) {
        changePending = false;
        failureReported = false;
    }
    if (!changePending) return FALSE;
    if (nowMs - lastChangeMs < AUTOSAVE_QUIET_MS && nowMs - firstChangeMs < AUTOSAVE_MAX_DELAY_MS)
        return FALSE;
    saving = true;
    int saved = SaveNotesReporting(failureReported ? SaveQuietly : SaveWithErrorBox);
    saving = false;
    if (saved) {
        changePending = false;
        savesAtChange = SaveCount;
        failureReported = false;
        return TRUE;
    }
    // Failed: said once; try again after the next quiet spell.
    failureReported = true;
    lastChangeMs = nowMs;
    firstChangeMs = nowMs;
    return FALSE;
}
