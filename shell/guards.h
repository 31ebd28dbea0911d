// Tiny non-copyable guards for what must be released on every path.
#pragma once
#include <windows.h>

// A DC from GetDC/GetWindowDC, released with ReleaseDC.
class WindowDC {
public:
    WindowDC(HWND window, bool wholeWindow = false)
        : window_(window), dc_(wholeWindow ? GetWindowDC(window) : GetDC(window)) {}
    ~WindowDC() { if (dc_) ReleaseDC(window_, dc_); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    operator HDC() const { return dc_; }
private:
    HWND window_;
    HDC dc_;
};

// A GDI object selected into a DC, selected back out on destruction.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? SelectObject(dc, object) : NULL) {}
    ~SelectedObject() { if (old_) SelectObject(dc_, old_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
private:
    HDC dc_;
    HGDIOBJ old_;
};

// A GDI object we created (pen, brush, font, bitmap), deleted on destruction.
template <typename T>
class GdiObject {
public:
    explicit GdiObject(T object = NULL) : object_(object) {}
    ~GdiObject() { if (object_) DeleteObject(object_); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    operator T() const { return object_; }
    T get() const { return object_; }
private:
    T object_;
};

// A kernel handle (file, mutex, event), closed on destruction.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~KernelHandle() { close(); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != NULL; }
    HANDLE get() const { return handle_; }
    void close() { if (valid()) CloseHandle(handle_); handle_ = INVALID_HANDLE_VALUE; }
private:
    HANDLE handle_;
};

// An open registry key, closed on destruction.
class RegistryKey {
public:
    RegistryKey() : key_(NULL) {}
    ~RegistryKey() { if (key_) RegCloseKey(key_); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* receive() { return &key_; }
    operator HKEY() const { return key_; }
private:
    HKEY key_;
};

// The current directory, put back on destruction.
class CurrentDirectoryKeeper {
public:
    CurrentDirectoryKeeper() { if (!GetCurrentDirectoryA(MAX_PATH, path_)) path_[0] = 0; }
    ~CurrentDirectoryKeeper() { if (path_[0]) SetCurrentDirectoryA(path_); }
    CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
    CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;
private:
    char path_[MAX_PATH];
};
