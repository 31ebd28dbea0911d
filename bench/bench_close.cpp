// Ends a launched tray program the orderly way: WM_CLOSE to its hidden
// dialog, then waits until the process is gone (its tray icon with it).
//   bench_close <image name, e.g. Quiblet.exe>
// Exit code 0 when a process of that name ended, 1 when none was found,
// 2 when it did not end in time.
#include <windows.h>
#include <string.h>
#include <string>
#include <vector>

namespace {
struct Search {
    const char* imageName;
    std::vector<DWORD> processes;
};

bool ImageNameIs(DWORD processId, const char* imageName)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return false;
    char path[MAX_PATH];
    DWORD size = sizeof path;
    bool same = false;
    if (QueryFullProcessImageNameA(process, 0, path, &size)) {
        const char* name = strrchr(path, '\\');
        same = _stricmp(name ? name + 1 : path, imageName) == 0;
    }
    CloseHandle(process);
    return same;
}

BOOL CALLBACK CloseDialogOf(HWND window, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    char className[16];
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0) return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!ImageNameIs(processId, search->imageName)) return TRUE;
    PostMessageA(window, WM_CLOSE, 0, 0);
    search->processes.push_back(processId);
    return TRUE;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 1;
    Search search = { argv[1], {} };
    EnumWindows(CloseDialogOf, reinterpret_cast<LPARAM>(&search));
    if (search.processes.empty()) return 1;
    for (DWORD processId : search.processes) {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
        if (!process) continue;
        DWORD waited = WaitForSingleObject(process, 20000);
        CloseHandle(process);
        if (waited != WAIT_OBJECT_0) return 2;
    }
    return 0;
}
