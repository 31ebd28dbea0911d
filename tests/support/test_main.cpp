// The test programs' main: sets the program up like start-up does, without
// the single-instance guard and without the message loop.
#include <gtest/gtest.h>
#include "shell/app.h"
#include <commctrl.h>
#include "settings/settings_store.h"
#include "shell/main_dialog.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    static char keyPath[96];
    wsprintfA(keyPath, "SOFTWARE\\kestrix\\QuibletTest-%lu", GetCurrentProcessId());
    SettingsKeyPath = keyPath;
    InitCommonControls();
    hRichEditLib = LoadLibraryA("RICHED32.DLL");
    HINSTANCE instance = GetModuleHandleA(NULL);
    hInstance = instance;
    if (!InitApplication(instance)) {
        fprintf(stderr, "InitApplication failed\n");
        return 1;
    }
    hMainDialog = CreateMainDialog(instance);
    int result = RUN_ALL_TESTS();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath);
    RegDeleteKeyA(HKEY_CURRENT_USER, keyPath);
    return result;
}
