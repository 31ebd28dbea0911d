#include "shell/services.h"
#include <mmsystem.h>
#include <shellapi.h>
#include "shell/globals.h"
#include "shell/ui_text.h"

// ---- Module state ---------------------------------------------------------
BOOL (WINAPI* SoundPlayer)(LPCSTR sound, HMODULE module, DWORD flags) = PlaySoundA;
void (*StepHook)(const char* step);

void ShowError(const char* text)
{
    MessageBoxA(NULL, text, TEXT_ERROR_CAPTION, MB_OK | MB_ICONERROR);
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
