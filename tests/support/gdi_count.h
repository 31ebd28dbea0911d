// The process's GDI objects, counted the same way by the tests and the
// benchmark.
#pragma once
#include <windows.h>

// Wine answers 0 to GetGuiResources; it keeps a Windows-like GDI handle table
// in the PEB (24-byte entries): byte 14 is the object's type, 0 once freed;
// bit 7 of byte 12 marks stock objects, which belong to nobody.
inline int GdiObjectCount()
{
    if (int count = static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))) return count;
    struct BasicInformation { LONG_PTR exitStatus; const unsigned char* peb; ULONG_PTR rest[4]; } info = {};
    typedef LONG (WINAPI *QueryProcess)(HANDLE, int, void*, ULONG, ULONG*);
    QueryProcess query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    if (!query || query(GetCurrentProcess(), 0, &info, sizeof info, NULL) != 0 || !info.peb) return 0;
    const unsigned char* table = *reinterpret_cast<const unsigned char* const*>(info.peb + 0xF8);
    int count = 0;
    for (const unsigned char* entry = table; table && entry < table + 24 * 0x10000; entry += 24)
        count += entry[14] != 0 && !(entry[12] & 0x80);
    return count;
}
