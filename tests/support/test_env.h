// Shared test support: a fresh data folder and registry key per test, the
// program's windows set up once per process, and helpers that pump messages
// and answer modal loops.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include "notes/note_record.h"

// Pumps messages until the condition holds or the deadline passes.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);
// Pumps the messages that are waiting now.
void PumpPending();

// Answers the next dialog box of this thread whose caption is `caption`
// (any caption when null) by pressing the button `buttonId`, from a timer
// that runs inside the modal loop. Returns a ticket to ask afterwards.
struct BoxAnswer {
    bool answered = false;
    std::string caption;
    std::string text;
};
BoxAnswer* AnswerNextBox(const char* caption, int buttonId);
// The same, calling `prepare` with the box first (to type into its fields).
BoxAnswer* AnswerNextBoxAfter(const char* caption, int buttonId, std::function<void(HWND)> prepare);
// Closes the open popup menu of this thread soon (the menu returns 0).
void CloseMenuSoon();

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
std::string InDataFolder(const char* name);
std::string EditorText(HWND editor);
void SetEditorText(HWND editor, const char* text);
// A record listed at the tail with the given geometry, no window.
NoteRecord* AddTestNote(LONG left = 100, LONG top = 100, LONG width = 180, LONG height = 200);
int CountGdiObjects();

// Each test gets an empty note list, default settings and switches, an empty
// data folder of its own and a registry key of its own.
class QuibletTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dataFolder;
};

// Watches for the next popup menu of this thread: records where it opened
// and closes it (the menu returns 0). StopMenuWatch ends a watch that saw
// no menu.
struct MenuSeen {
    bool opened = false;
    RECT rect = {};
};
MenuSeen* WatchNextMenu();
void StopMenuWatch();

// How many windows of this thread have exactly this title.
int CountThreadWindows(const char* caption);
