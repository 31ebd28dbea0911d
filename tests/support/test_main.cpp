// The test programs' main: the program set up as start-up does it, without
// the single-instance guard and the message loop, on a registry key of its own.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <string>
#include "settings/settings_store.h"
#include "shell/app.h"
#include "support/test_env.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    static std::string keyPath = "SOFTWARE\\kestrix\\QuibletTest-" + std::to_string(GetCurrentProcessId());
    SettingsKeyPath = keyPath.c_str();
    InitCommonControls();
    hRichEditLib = LoadLibraryA("RICHED32.DLL");
    if (!InitApplication(GetModuleHandleA(NULL))) return 1;
    hMainDialog = CreateMainDialog(hInstance);
    CaptureSounds();
    int result = RUN_ALL_TESTS();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, keyPath.c_str());
    return result;
}
