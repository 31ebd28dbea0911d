// Quiblet.exe: the entry point alone; the program lives in quiblet_core.
#include "shell/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunQuiblet(instance);
}
