// What the installer asks of the system before its window opens: the version, the system DLLs it
// loads itself from the system directory.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string systemDirectory()
{
    char buffer[MAX_PATH];
    UINT length = GetSystemDirectoryA(buffer, sizeof buffer);
    EXPECT_GT(length, 3u);
    EXPECT_LT(length, sizeof buffer);
    return std::string(buffer, length);
}

std::string lower(std::string text)
{
    for (char &c : text)
        c = c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
    return text;
}

TEST(System, TheVersionIsAnNtOne)
{
    EXPECT_EQ(GetVersion() & 0x80000000, 0u) << std::hex << GetVersion();
}

TEST(System, CommonControlsLoadFromTheSystemDirectoryByFullPath)
{
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
    std::string system = systemDirectory();
    EXPECT_EQ(lower(system.substr(0, strlen(windows))), lower(windows)) << system << " is not in " << windows;

    HMODULE controls = LoadLibraryA((system + "\\comctl32.dll").c_str());
    ASSERT_NE(controls, nullptr) << GetLastError();
    EXPECT_NE(GetProcAddress(controls, "InitCommonControls"), nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(controls, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(controls));

    EXPECT_NE(GetModuleHandleA("kernel32.dll"), nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA((system + "\\no-such-library.dll").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
}

// The system DLLs that the program finds calls in by name are loaded with it; a call that one of
// them lacks is not found.
TEST(System, TheProgramsSystemDllsAreLoadedAndLackWhatTheyLack)
{
    for (const char *name : {"kernel32.dll", "user32.dll", "advapi32.dll"}) {
        HMODULE module = GetModuleHandleA(name);
        ASSERT_NE(module, nullptr) << name;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GetProcAddress(module, "NoSuchFunction"), nullptr) << name;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND) << name;
    }
}

// Windows-1252, the ANSI code page of an English Windows, has the euro sign at 0x80.
TEST(System, AnsiTextBecomesUtf16WithItsTerminator)
{
    WCHAR wide[4] = {1, 1, 1, 1};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\xe9\x80", -1, wide, 4), 4);
    EXPECT_EQ(wide[0], 'a');
    EXPECT_EQ(wide[1], 0xE9);
    EXPECT_EQ(wide[2], 0x20AC);
    EXPECT_EQ(wide[3], 0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\xe9\x80", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
}

} // namespace
