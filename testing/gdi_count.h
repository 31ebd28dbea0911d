// The process's GDI objects, counted the same way by the test programs and
// the benchmark programs (never by the program itself).
#pragma once
#include <windows.h>

// Windows answers GetGuiResources. Wine answers 0 there, so this reads what
// Wine keeps instead, undocumented: the GDI handle table that the PEB points
// to at offset 0xF8, 65,536 entries of 24 bytes, in which byte 14 is the
// object's type (0 once freed) and bit 7 of byte 12 marks the stock objects,
// which belong to nobody and are not counted.
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
