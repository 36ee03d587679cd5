#pragma once

// The Windows calls of the add-on, for systems without Windows.
//
// Loader: a module name "name.dll" stands for the platform's library file of that name
// ("libname.so") in the same directory; a name without a directory refers to the calling
// process's already loaded modules (GetModuleHandleW) or the default search path (LoadLibraryW).
// Both '\\' and '/' separate directories. Failures set the thread's last error to Windows numbers.
//
// Windows: an HWND is a native window id as QWidget::winId() gives it.
//
// Text: every narrow code page is UTF-8 here.

#include <cstdint>

class QWidget;

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using WCHAR = wchar_t;
using LPWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;
using LPCSTR = const char*;
using FARPROC = void (*)();
using HMODULE = struct HINSTANCE__*;
using HWND = struct HWND__*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
constexpr DWORD MAX_PATH = 260;

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

// Loader
HMODULE GetModuleHandleW(LPCWSTR moduleName);
// Copies the module's full path (with '\\' separators) and returns its length; with a
// too-small buffer the text is cut, terminated, and ERROR_INSUFFICIENT_BUFFER is set.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
HMODULE LoadLibraryW(LPCWSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);
DWORD GetLastError();
void SetLastError(DWORD error);

// Text
constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;
// srcLength -1: the text is NUL-terminated and the terminator is converted too.
// dstSize 0: returns the number of wide characters needed. Invalid bytes become U+FFFD unless
// MB_ERR_INVALID_CHARS is given, which fails with ERROR_NO_UNICODE_TRANSLATION.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLength, LPWSTR dst, int dstSize);

// Window management
#define HWND_TOPMOST (reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(static_cast<std::intptr_t>(-2)))
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_SHOWWINDOW = 0x0040;

// Only the stay-on-top order is supported: HWND_TOPMOST sets the window's stay-on-top flag,
// HWND_NOTOPMOST clears it; the window is then shown and raised, never moved or resized.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);

constexpr DWORD FLASHW_STOP = 0;
constexpr DWORD FLASHW_CAPTION = 0x1;
constexpr DWORD FLASHW_TRAY = 0x2;
constexpr DWORD FLASHW_ALL = 0x3;
constexpr DWORD FLASHW_TIMERNOFG = 0xC;

struct FLASHWINFO
{
    UINT cbSize;
    HWND hwnd;
    DWORD dwFlags;
    UINT uCount;
    DWORD dwTimeout;
};
using PFLASHWINFO = FLASHWINFO*;

// Asks the desktop to draw attention to the window (QApplication::alert) and records the call
// (see winrecorder.h). Returns FALSE for an unknown window or a wrong cbSize.
BOOL FlashWindowEx(PFLASHWINFO info);
