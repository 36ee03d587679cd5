// The Windows calls over the POSIX loader and Qt: loader names and errors, UTF-8 conversion,
// stay-on-top and taskbar flashing.

#include "winapi.h"
#include "winrecorder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <string>

namespace {

std::wstring binDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path);
    return file.substr(0, file.rfind(L'\\'));
}

TEST(WinLoader, DllNameMeansTheLibraryFileInTheSameDirectory)
{
    const std::wstring path = binDirectory() + L"\\quorix.dll";
    EXPECT_EQ(GetModuleHandleW(L"quorix.dll"), nullptr);
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetModuleHandleW(L"quorix.dll"), module);
    EXPECT_NE(GetProcAddress(module, "createComInstance"), nullptr);

    wchar_t file[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, file, MAX_PATH);
    const std::wstring name(file, length);
    EXPECT_EQ(name.substr(name.rfind(L'\\') + 1), L"libquorix.so");
    EXPECT_EQ(name.find(L'/'), std::wstring::npos);
    EXPECT_EQ(FreeLibrary(module), TRUE);
}

TEST(WinLoader, FailuresSetWindowsErrorNumbers)
{
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(L"C:\\nowhere\\missing.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

    SetLastError(0);
    EXPECT_EQ(GetModuleHandleW(L"neverloaded.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

    HMODULE self = GetModuleHandleW(L"winapi.dll");
    ASSERT_NE(self, nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(self, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

    SetLastError(0);
    EXPECT_EQ(GetProcAddress(nullptr, "DoLog"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(FreeLibrary(nullptr), FALSE);
}

TEST(WinLoader, ShortFileNameBufferIsCutAndTerminated)
{
    HMODULE self = GetModuleHandleW(L"winapi.dll");
    ASSERT_NE(self, nullptr);
    wchar_t small[8];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(self, small, 8), 8u);
    EXPECT_EQ(small[7], L'\0');
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(WinText, Utf8ConversionTable)
{
    const struct
    {
        const char* name;
        std::string input;
        DWORD flags;
        std::wstring expected;
        DWORD error; // 0: success expected
    } cases[] = {
        {"ascii", "abc", 0, L"abc", 0},
        {"chinese", "\xE6\x8A\x95\xE7\xA5\xA8", 0, L"\u6295\u7968", 0},
        {"four bytes", "\xF0\x9F\x98\x80", 0, L"\U0001F600", 0},
        {"stray continuation", "a\x80z", 0, L"a\uFFFDz", 0},
        {"cut sequence", "a\xE6\x8A", 0, L"a\uFFFD\uFFFD", 0},
        {"overlong", "\xC0\xAF", 0, L"\uFFFD\uFFFD", 0},
        {"surrogate", "\xED\xA0\x80", 0, L"\uFFFD\uFFFD\uFFFD", 0},
        {"strict refuses", "a\x80", MB_ERR_INVALID_CHARS, L"", ERROR_NO_UNICODE_TRANSLATION},
    };
    for (const auto& c : cases) {
        const int length = static_cast<int>(c.input.size());
        SetLastError(0);
        const int needed = MultiByteToWideChar(CP_UTF8, c.flags, c.input.data(), length, nullptr, 0);
        if (c.error != 0) {
            EXPECT_EQ(needed, 0) << c.name;
            EXPECT_EQ(GetLastError(), c.error) << c.name;
            continue;
        }
        ASSERT_EQ(needed, static_cast<int>(c.expected.size())) << c.name;
        std::wstring out(static_cast<size_t>(needed), L'\0');
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, c.flags, c.input.data(), length, &out[0], needed), needed)
            << c.name;
        EXPECT_EQ(out, c.expected) << c.name;
    }
}

TEST(WinText, TerminatedInputCountsTheTerminatorAndSmallBufferFails)
{
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 0), 3);
    wchar_t out[2];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, out, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, out, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

HWND hwndOf(QWidget& widget)
{
    return reinterpret_cast<HWND>(widget.winId());
}

TEST(WinWindow, TopMostKeepsGeometryAndShowsTheWindow)
{
    QWidget window;
    window.setGeometry(120, 80, 300, 200);
    const QRect before = window.geometry();
    winapi::clearWindowRecords();
    EXPECT_EQ(SetWindowPos(hwndOf(window), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE), TRUE);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.geometry(), before);
    EXPECT_EQ(SetWindowPos(hwndOf(window), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE), TRUE);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ASSERT_EQ(winapi::topMostRecords().size(), 2u);
    EXPECT_TRUE(winapi::topMostRecords()[0].topMost);
}

TEST(WinWindow, FlashIsRecordedAndBadCallsRefused)
{
    QWidget window;
    window.show();
    winapi::clearWindowRecords();
    FLASHWINFO info{sizeof(FLASHWINFO), hwndOf(window), FLASHW_TRAY, 4, 0};
    EXPECT_EQ(FlashWindowEx(&info), TRUE);
    ASSERT_EQ(winapi::flashRecords().size(), 1u);
    EXPECT_EQ(winapi::flashRecords()[0].window, &window);
    EXPECT_EQ(winapi::flashRecords()[0].count, 4u);
    EXPECT_EQ(winapi::flashRecords()[0].flags, FLASHW_TRAY);

    FLASHWINFO wrongSize{3, hwndOf(window), FLASHW_TRAY, 4, 0};
    EXPECT_EQ(FlashWindowEx(&wrongSize), FALSE);
    FLASHWINFO unknown{sizeof(FLASHWINFO), reinterpret_cast<HWND>(0x7fff1234), FLASHW_TRAY, 4, 0};
    EXPECT_EQ(FlashWindowEx(&unknown), FALSE);
    EXPECT_EQ(SetWindowPos(nullptr, HWND_TOPMOST, 0, 0, 0, 0, 0), FALSE);
    EXPECT_EQ(winapi::flashRecords().size(), 1u);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
