// Arguments that the program never passes are refused by the layer, with the last error saying why.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "child_support.h"
#include "test_env.h"

namespace {

// The last error after a call that failed; 0 when it worked.
template <typename Call>
DWORD errorOf(Call call)
{
    SetLastError(0);
    return call() ? 0 : GetLastError();
}

TEST(RefusedArguments, FailWithoutEffect)
{
    const std::string dir = makeTestDir();
    const std::string file = dir + "file.dat";
    writeTestFile(file, "data");
    OFSTRUCT of;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              errorOf([&] { return OpenFile(file.c_str(), &of, 0 /* OF_READ */) != HFILE_ERROR; }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), errorOf([&] {
                  return CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) !=
                         INVALID_HANDLE_VALUE;
              }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              errorOf([&] { return MoveFileExA(file.c_str(), (dir + "moved.dat").c_str(), 0); }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED),
              errorOf([&] { return MoveFileA(file.c_str(), (dir + "FILE.DAT").c_str()); }));
    EXPECT_EQ("data", readTestFile(file));
    DWORD sectors, bytes, freeClusters, clusters;
    for (const char *root : {static_cast<const char *>(nullptr), "C:\\windows", "C:/windows/", "C:"})
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), errorOf([&] {
                      return GetDiskFreeSpaceA(root, &sectors, &bytes, &freeClusters, &clusters);
                  })) << (root ? root : "no root");

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    char commandLine[] = "layer_child.exe exit 0";
    char environment[] = "NAME=value\0";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), errorOf([&] {
                  return CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                        &child);
              }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), errorOf([&] {
                  return CreateProcessA("layer_child.exe", commandLine, nullptr, nullptr, FALSE, 0, environment,
                                        nullptr, &startup, &child);
              }));
    EXPECT_EQ(nullptr, child.hProcess);

    ASSERT_TRUE(startChild("layer_child.exe", commandLine, dir, child)) << GetLastError();
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              errorOf([&] { return WaitForSingleObject(child.hProcess, 0) != WAIT_FAILED; }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED),
              errorOf([&] { return WaitForSingleObject(child.hThread, INFINITE) != WAIT_FAILED; }));
    EXPECT_EQ(0u, finishChild(child));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), errorOf([] { return CloseHandle(INVALID_HANDLE_VALUE); }));
}

} // namespace
