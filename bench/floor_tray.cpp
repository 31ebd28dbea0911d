// The least a tray program must do before its icon is there: register a
// window class, make its hidden dialog, load the rich-edit library and add
// the icon.
//   floor_tray measure   times that, prints it with the peak memory, ends
//   floor_tray stay      does the same, then waits for WM_CLOSE (launch test)
//   floor_tray profile   times each of those steps
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <string.h>
#include "bench/bench_common.h"
#include "resources/resource.h"

// ---- Module state ---------------------------------------------------------
static HWND hFloorDialog;
static NOTIFYICONDATAA TrayIcon;

static const UINT FloorTrayId = 1025;
static const UINT FloorTrayCallback = WM_USER + 2;

static LRESULT CALLBACK FloorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

static void OnClose(HWND dialog)
{
    Shell_NotifyIconA(NIM_DELETE, &TrayIcon);
    DestroyWindow(dialog);
    PostQuitMessage(0);
}

static INT_PTR CALLBACK FloorDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_CLOSE:
        OnClose(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}

static bool StartUp(HINSTANCE instance, StepClock* steps)
{
    InitCommonControls();
    if (steps) steps->step("common_controls");
    if (!LoadRichEdit()) return false;
    if (steps) steps->step("msftedit");
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = FloorWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = "benchFloorNotes";
    if (!RegisterClassA(&wc)) return false;
    if (steps) steps->step("class");
    hFloorDialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, FloorDialogProc, 0);
    if (!hFloorDialog) return false;
    if (steps) steps->step("dialog");
    TrayIcon.cbSize = sizeof TrayIcon;
    TrayIcon.hWnd = hFloorDialog;
    TrayIcon.uID = FloorTrayId;
    TrayIcon.uCallbackMessage = FloorTrayCallback;
    TrayIcon.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRAY));
    TrayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    lstrcpynA(TrayIcon.szTip, "Floor", sizeof TrayIcon.szTip);
    bool added = Shell_NotifyIconA(NIM_ADD, &TrayIcon) != FALSE;
    if (steps) steps->step("tray_icon");
    return added;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    StepClock steps("floor_startup");
    bool profile = strstr(commandLine, "profile") != NULL;
    Stopwatch clock;
    if (!StartUp(instance, profile ? &steps : NULL)) return 1;
    double startUpUs = clock.elapsedUs();
    if (strstr(commandLine, "stay")) {
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return 0;
    }
    if (!profile) {
        PrintResult("startup_us", startUpUs);
        PrintPeakMemory("mem0");
    }
    OnClose(hFloorDialog);
    PumpPending();
    return 0;
}
