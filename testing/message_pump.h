// Message pumping for the test programs and the benchmark programs, which
// drive the program's windows from their own thread without its message loop.
#pragma once
#include <windows.h>

// Dispatches what is waiting now (paints, posted messages, the messages of
// destroyed windows). At most 1,000 messages: a window that asks to be
// painted again and again cannot keep the caller here.
inline void PumpPending()
{
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE); i++) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
