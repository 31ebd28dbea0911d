// Holds a file as a virus scanner or a backup client does for a moment:
// open, shared with no one, for the given seconds or until it is killed.
// Says "held" on its output once it holds the file.
//   hold_file <path> <seconds>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    puts("held");
    fflush(stdout);
    Sleep(atoi(argv[2]) * 1000);
    CloseHandle(file);
    return 0;
}
