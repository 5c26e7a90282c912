// Child processes: the exit code after the wait, STILL_ACTIVE while the child runs, the argument text
// and current directory the child gets, and the errors for programs and directories that are not.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "child_support.h"
#include "test_env.h"

namespace {

const DWORD SENTINEL = 0xdeadbeef;

// layer_child.exe lies beside the test program, in the directory the tests run in: a relative
// application name is taken from the caller's current directory, not the child's.
const char CHILD[] = "layer_child.exe";

class Processes : public testing::Test {
protected:
    void SetUp() override { dir_ = makeTestDir(); }

    BOOL start(const char *application, const std::string &commandLine, const std::string &directory)
    {
        return startChild(application, commandLine.c_str(), directory, child_);
    }

    DWORD finish() { return finishChild(child_); }

    std::string dir_;
    PROCESS_INFORMATION child_ = {};
};

TEST_F(Processes, ExitCodeComesBackAfterTheWait)
{
    ASSERT_TRUE(start(CHILD, "layer_child.exe exit 7", dir_)) << GetLastError();
    EXPECT_NE(nullptr, child_.hProcess);
    EXPECT_NE(nullptr, child_.hThread);
    EXPECT_NE(child_.hProcess, child_.hThread);
    EXPECT_NE(0u, child_.dwProcessId);
    EXPECT_EQ(7u, finish());
}

TEST_F(Processes, StillActiveWhileTheChildRuns)
{
    ASSERT_TRUE(start(CHILD, "layer_child.exe sleep 1500", dir_)) << GetLastError();
    DWORD code = SENTINEL;
    EXPECT_TRUE(GetExitCodeProcess(child_.hProcess, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_EQ(0u, finish());
}

TEST_F(Processes, ArgumentTextKeepsItsBlanksAndTheChildRunsInTheCurrentDirectory)
{
    const std::string work = dir_ + "work dir\\";
    makeTestSubdir(work);
    ASSERT_TRUE(start(CHILD, "layer_child.exe   two  blanks  inside ", work)) << GetLastError();
    EXPECT_EQ(0u, finish());
    EXPECT_EQ("two  blanks  inside ", readTestFile(work + "layer_child.out"));
}

TEST_F(Processes, FirstTokenEndsAtTheFirstBlankOutsideQuotes)
{
    ASSERT_TRUE(start(CHILD, "\"layer_child.exe\" exit 3", dir_)) << GetLastError();
    EXPECT_EQ(3u, finish());

    ASSERT_TRUE(start(CHILD, "\"quoted name\"exit 4", dir_)) << GetLastError();
    EXPECT_EQ(0u, finish());
    EXPECT_EQ("4", readTestFile(dir_ + "layer_child.out")) << "a quote does not end the token";

    ASSERT_TRUE(start(CHILD, "layer_child.exe\texit 5", dir_)) << GetLastError();
    EXPECT_EQ(5u, finish());
}

TEST_F(Processes, WithoutCommandLineTheChildGetsNoArgumentText)
{
    ASSERT_TRUE(startChild(CHILD, nullptr, dir_, child_)) << GetLastError();
    EXPECT_EQ(0u, finish());
    EXPECT_TRUE(testFileExists(dir_ + "layer_child.out"));
    EXPECT_EQ("", readTestFile(dir_ + "layer_child.out"));
}

TEST_F(Processes, MissingProgramFails)
{
    EXPECT_FALSE(start((dir_ + "missing.exe").c_str(), "missing.exe exit 1", dir_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    EXPECT_FALSE(start((dir_ + "no dir\\missing.exe").c_str(), "missing.exe exit 1", dir_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

// Id 0 is the idle process's, which nobody opens.
TEST_F(Processes, AnIdThatNoProcessCanBeOpenedByOpensNothing)
{
    SetLastError(SENTINEL);
    EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 0), nullptr);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(Processes, CurrentDirectoryMustBeAnExistingDirectory)
{
    writeTestFile(dir_ + "plain.txt", "text");
    EXPECT_FALSE(start(CHILD, "layer_child.exe exit 1", dir_ + "missing\\"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());

    EXPECT_FALSE(start(CHILD, "layer_child.exe exit 1", dir_ + "plain.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());

    // The directory is checked before the program.
    EXPECT_FALSE(start((dir_ + "missing.exe").c_str(), "missing.exe", dir_ + "missing\\"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
}

TEST_F(Processes, FileThatIsNoProgramFails)
{
    writeTestFile(dir_ + "text.exe", "hello, world\n");
    writeTestFile(dir_ + "empty.exe", "");
    for (const char *name : {"text.exe", "empty.exe"}) {
        EXPECT_FALSE(start((dir_ + name).c_str(), name, dir_)) << name;
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError()) << name;
    }
}

TEST_F(Processes, WaitAndExitCodeRefuseHandlesThatAreNoOpenProcess)
{
    ASSERT_TRUE(start(CHILD, "layer_child.exe exit 2", dir_)) << GetLastError();
    HANDLE process = child_.hProcess;
    HANDLE thread = child_.hThread;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, INFINITE));

    DWORD code = SENTINEL;
    SetLastError(SENTINEL);
    EXPECT_FALSE(GetExitCodeProcess(thread, &code)) << "a thread handle is no process handle";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(2u, finish());

    SetLastError(SENTINEL);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(process, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(SENTINEL);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(SENTINEL);
    EXPECT_FALSE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    SetLastError(SENTINEL);
    EXPECT_FALSE(GetExitCodeProcess(semaphore, &code));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(semaphore);
}

} // namespace
