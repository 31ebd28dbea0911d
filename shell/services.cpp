#include "shell/services.h"
#include <limits.h>
#include <mmsystem.h>
#include <shellapi.h>
#include "shell/globals.h"
#include "shell/ui_text.h"

// ---- Module state ---------------------------------------------------------
BOOL (WINAPI* SoundPlayer)(LPCSTR sound, HMODULE module, DWORD flags) = PlaySoundA;
void (*StepHook)(const char* step);

void ShowError(const wchar_t* text)
{
    // The user must answer it: it comes to the front, above the notes.
    MessageBoxW(NULL, text, TEXT_ERROR_CAPTION, MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
}

void ShowHelp()
{
    EnterDataFolder();
    ShellExecuteA(NULL, "open", TEXT_HELP_PAGE, NULL, NULL, SW_SHOW);
}

void SetMenuCheck(HMENU menu, UINT command, bool checked)
{
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_CHECKMARKS;
    info.fState = checked ? MFS_CHECKED : 0;
    SetMenuItemInfoA(menu, command, FALSE, &info);
}

void PlayFileSound(const char* path)
{
    EnterDataFolder();
    SoundPlayer(path, NULL, SND_FILENAME | SND_ASYNC);
}

void PassStep(const char* step)
{
    if (StepHook) StepHook(step);
}

// ---- Placement ---------------------------------------------------------------
LONG ClampedToLong(LONGLONG value)
{
    return static_cast<LONG>(value > LONG_MAX ? LONG_MAX : value < LONG_MIN ? LONG_MIN : value);
}

// Worked in 64 bits: a stored place may hold any value.
POINT PlaceInsideArea(LONG left, LONG top, LONG width, LONG height, const RECT& area)
{
    LONGLONG x = left, y = top;
    if (x + width > area.right) x = static_cast<LONGLONG>(area.right) - width;
    if (x < area.left) x = area.left;
    if (y + height > area.bottom) y = static_cast<LONGLONG>(area.bottom) - height;
    if (y < area.top) y = area.top;
    POINT place = { ClampedToLong(x), ClampedToLong(y) };
    return place;
}

void KeepWindowOnScreen(HWND window)
{
    RECT place;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetWindowRect(window, &place) ||
        !GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    POINT inside = PlaceInsideArea(place.left, place.top, place.right - place.left, place.bottom - place.top,
                                   monitor.rcWork);
    if (inside.x != place.left || inside.y != place.top)
        SetWindowPos(window, NULL, inside.x, inside.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Display scale ------------------------------------------------------------
UINT WindowDpi(HWND window)
{
    typedef UINT (WINAPI * DpiForWindow)(HWND);
    static DpiForWindow forWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    UINT dpi = forWindow && window ? forWindow(window) : 0;
    if (dpi) return dpi;
    HDC screen = GetDC(NULL);
    if (!screen) return USER_DEFAULT_SCREEN_DPI;
    dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(NULL, screen);
    return dpi ? dpi : USER_DEFAULT_SCREEN_DPI;
}

void KeepCornersSquare(HWND window)
{
    typedef HRESULT (WINAPI * SetAttribute)(HWND, DWORD, LPCVOID, DWORD);
    HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
    if (!dwm) return;
    SetAttribute set = reinterpret_cast<SetAttribute>(
        reinterpret_cast<void*>(GetProcAddress(dwm, "DwmSetWindowAttribute")));
    DWORD square = DWM_CORNERS_SQUARE;
    if (set) set(window, DWM_CORNER_PREFERENCE, &square, sizeof square);
    FreeLibrary(dwm);
}
