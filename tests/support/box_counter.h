// Answers every box of this thread with a given caption while it lives and
// counts them: for operations that must show a box exactly once, or never.
#pragma once
#include <windows.h>
#include <set>
#include <string>
#include <string.h>

class BoxCounter {
public:
    explicit BoxCounter(const char* caption)
    {
        State& state = Current();
        state = State();
        state.caption = caption;
        state.hook = SetWindowsHookExA(WH_CBT, Answer, NULL, GetCurrentThreadId());
    }
    ~BoxCounter()
    {
        if (Current().hook) UnhookWindowsHookEx(Current().hook);
        Current().hook = NULL;
    }
    BoxCounter(const BoxCounter&) = delete;
    BoxCounter& operator=(const BoxCounter&) = delete;

    bool watching() const { return Current().hook != NULL; }
    int count() const { return Current().count; }
    const std::string& lastText() const { return Current().text; }
    void reset() { Current().count = 0; Current().text.clear(); }

private:
    struct State {
        std::string caption;
        HHOOK hook = NULL;
        int count = 0;
        std::string text;
        std::set<HWND> seen;
    };
    static State& Current()
    {
        static State state;
        return state;
    }
    static BOOL CALLBACK TakeStaticText(HWND child, LPARAM param)
    {
        char cls[32], text[512];
        GetClassNameA(child, cls, sizeof cls);
        if (_stricmp(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
            *reinterpret_cast<std::string*>(param) += text;
        return TRUE;
    }
    // The box is answered from its own modal loop, by a posted click.
    static LRESULT CALLBACK Answer(int code, WPARAM wParam, LPARAM lParam)
    {
        State& state = Current();
        if (code == HCBT_ACTIVATE) {
            HWND box = reinterpret_cast<HWND>(wParam);
            char cls[32], caption[256];
            GetClassNameA(box, cls, sizeof cls);
            GetWindowTextA(box, caption, sizeof caption);
            if (strcmp(cls, "#32770") == 0 && state.caption == caption && state.seen.insert(box).second) {
                state.count++;
                state.text.clear();
                EnumChildWindows(box, TakeStaticText, reinterpret_cast<LPARAM>(&state.text));
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            }
        }
        return CallNextHookEx(state.hook, code, wParam, lParam);
    }
};
