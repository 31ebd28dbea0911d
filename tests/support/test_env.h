// One harness for every test program: a fresh data folder and registry key
// per test, message pumping, answers for modal boxes (an unexpected one fails
// the test and is cancelled at once), popup-menu watching and sound capture.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include "notes/note_record.h"
#include "testing/message_pump.h"

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// What a box that was answered showed. `count` grows with every box answered.
struct BoxAnswer {
    bool answered = false;
    int count = 0;
    std::wstring text;
};
// Answers the next box of this thread titled `caption` (any when null or
// empty) with `buttonId`, after `prepare` has had the box (to fill it in).
BoxAnswer* AnswerNextBox(const wchar_t* caption, int buttonId, std::function<void(HWND)> prepare = nullptr);
// Answers every box titled `caption` with IDOK until the test ends.
BoxAnswer* AnswerEveryBox(const wchar_t* caption);
// Windows of this class (none when null) cannot be made until the test ends.
void RefuseWindowsOfClass(const wchar_t* className);

// Watches for the next popup menu of this thread, notes where it opened and
// closes it (the menu returns 0).
struct MenuSeen { bool opened; RECT rect; HMENU menu; };
MenuSeen* WatchNextMenu();

// Every sound the program played since the test began: the file names.
extern std::vector<std::string> SoundsPlayed;

std::string ReadFileBytes(const std::string& path);
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
std::string InDataFolder(const std::string& name);
void SetTestDataFolder(const std::string& folder);
std::string EditorText(HWND editor);
std::wstring WindowTextW(HWND window);
NoteRecord* AddTestNote(LONG left = 100, LONG top = 100);
// A listed note with its window made and the text typed in.
NoteRecord* ShownNote(const char* text, LONG left = 100, LONG top = 100);
// Sets an editor's text as typing would, leaving it modified.
void SetEditorText(HWND editor, const char* text);
// A count from the environment (long runs) or the small default.
int CountFromEnvironment(const char* name, int fallback);

class QuibletTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dataFolder;
};
