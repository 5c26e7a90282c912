// Child processes for the tests, started and collected the same way on both platforms, through the
// Win32 API only.
#ifndef CONFORMANCE_CHILD_SUPPORT_H
#define CONFORMANCE_CHILD_SUPPORT_H

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// Starts `application` with a copy of `commandLine` (nullptr for none) in `directory`, with an
// empty STARTUPINFOA and the last error set to a sentinel first, so that a failure's code is the
// call's own.
inline BOOL startChild(const char *application, const char *commandLine, const std::string &directory,
                       PROCESS_INFORMATION &child)
{
    std::string buffer = commandLine ? commandLine : "";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    child = {};
    SetLastError(0xdeadbeef);
    return CreateProcessA(application, commandLine ? &buffer[0] : nullptr, nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, directory.c_str(), &startup, &child);
}

// Waits for a started child, closes both its handles and returns its exit code.
inline DWORD finishChild(PROCESS_INFORMATION &child)
{
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, INFINITE));
    DWORD code = 0xdeadbeef;
    EXPECT_TRUE(GetExitCodeProcess(child.hProcess, &code)) << GetLastError();
    EXPECT_TRUE(CloseHandle(child.hThread)) << GetLastError();
    EXPECT_TRUE(CloseHandle(child.hProcess)) << GetLastError();
    return code;
}

#endif
