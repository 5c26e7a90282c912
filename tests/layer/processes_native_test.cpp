// CreateProcessA on the layer: what a native child receives, the road of a Windows program through
// Wine (or its failure without Wine), start failures reported by the call itself, the exit code of a killed child,
// the reported exit code of the test controls, and the terminal lent to the child.
#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "child_support.h"
#include "layer.h"
#include "layer_control.h"
#include "test_env.h"

namespace {

const DWORD SENTINEL = 0xdeadbeef;

// Sets an environment variable (or unsets it, for nullptr) for one test.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name)
    {
        const char *old = getenv(name);
        hadValue_ = old != nullptr;
        if (old)
            oldValue_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (hadValue_)
            setenv(name_.c_str(), oldValue_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::string oldValue_;
    bool hadValue_ = false;
};

std::string realNative(const std::string &dosPath)
{
    char *resolved = realpath(nativePath(dosPath).c_str(), nullptr);
    std::string path = resolved ? resolved : "";
    free(resolved);
    return path;
}

class NativeChild : public testing::Test {
protected:
    void SetUp() override { dir_ = makeTestDir(); }
    void TearDown() override { EXPECT_STREQ("", layerReset()) << "scripted but never used"; }

    void writeScript(const std::string &name, const std::string &body, mode_t mode = 0755)
    {
        writeTestFile(dir_ + name, body);
        ASSERT_EQ(0, chmod(nativePath(dir_ + name).c_str(), mode));
    }

    // A file that a Windows program's own would begin with.
    void writeWindowsProgram(const std::string &name) { writeTestFile(dir_ + name, std::string("MZ\x90\0", 4) + "PE"); }

    BOOL start(const std::string &application, const std::string &commandLine)
    {
        return startChild(application.c_str(), commandLine.c_str(), dir_, child_);
    }

    DWORD finish() { return finishChild(child_); }

    std::string dir_;
    PROCESS_INFORMATION child_ = {};
};

TEST_F(NativeChild, DosPathArgumentArrivesAsTheNativePath)
{
    writeTestFile(dir_ + "read me.txt", "text");
    ASSERT_TRUE(start("layer_child.exe", "C:\\windows\\notepad.exe " + dir_ + "read me.txt")) << GetLastError();
    EXPECT_EQ(0u, finish());
    EXPECT_EQ(realNative(dir_ + "read me.txt"), readTestFile(dir_ + "layer_child.out"));

    // Text the layer cannot map, or that is no DOS path, arrives as it was written.
    for (const std::string text : {"C:\\no such dir\\x.txt", "sleep 0 C:\\x", "C:relative.txt"}) {
        ASSERT_TRUE(start("layer_child.exe", "layer_child.exe " + text)) << GetLastError();
        EXPECT_EQ(0u, finish());
        EXPECT_EQ(text, readTestFile(dir_ + "layer_child.out"));
    }
}

TEST_F(NativeChild, ScriptRunsWithTheArgumentTextAsItsOneArgument)
{
    writeScript("count.sh", "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > args.txt\nexit 9\n");
    ASSERT_TRUE(start(dir_ + "count.sh", "count.sh  one two  three")) << GetLastError();
    EXPECT_EQ(9u, finish());
    EXPECT_EQ("1|one two  three", readTestFile(dir_ + "args.txt"));

    ASSERT_TRUE(start(dir_ + "count.sh", "count.sh")) << GetLastError();
    EXPECT_EQ(9u, finish());
    EXPECT_EQ("0|", readTestFile(dir_ + "args.txt")) << "no argument text, no argument";
}

TEST_F(NativeChild, ScriptWithoutTheExecuteBitIsNoProgram)
{
    writeScript("plain.sh", "#!/bin/sh\nexit 0\n", 0644);
    EXPECT_FALSE(start(dir_ + "plain.sh", "plain.sh"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError());
}

TEST_F(NativeChild, FailedExecIsReportedByCreateProcess)
{
    writeScript("orphan.sh", "#!/no/such/interpreter\n");
    EXPECT_FALSE(start(dir_ + "orphan.sh", "orphan.sh"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, child_.hProcess);
}

TEST_F(NativeChild, ChildKilledBySignalEndsWith128PlusTheSignal)
{
    writeScript("die.sh", "#!/bin/sh\nkill -KILL $$\n");
    ASSERT_TRUE(start(dir_ + "die.sh", "die.sh")) << GetLastError();
    EXPECT_EQ(static_cast<DWORD>(128 + SIGKILL), finish());
}

TEST_F(NativeChild, ChildInheritsOnlyTheStandardDescriptors)
{
    int inheritable = open("/dev/null", O_RDONLY);
    ASSERT_GE(inheritable, 3);
    writeScript("fds.sh", "#!/bin/sh\n[ -e /proc/$$/fd/" + std::to_string(inheritable) +
                              " ] && exit 1\n[ -e /proc/$$/fd/2 ] || exit 2\nexit 0\n");
    ASSERT_TRUE(start(dir_ + "fds.sh", "fds.sh")) << GetLastError();
    EXPECT_EQ(0u, finish());
    close(inheritable);
}

TEST_F(NativeChild, ChildGetsTheCallersEnvironment)
{
    writeScript("env.sh", "#!/bin/sh\nprintf '%s' \"$DA12_CHILD_PROBE\" > env.txt\n");
    ScopedEnv probe("DA12_CHILD_PROBE", "from the caller");
    ASSERT_TRUE(start(dir_ + "env.sh", "env.sh")) << GetLastError();
    EXPECT_EQ(0u, finish());
    EXPECT_EQ("from the caller", readTestFile(dir_ + "env.txt"));
}

TEST_F(NativeChild, WindowsProgramRunsThroughWineWithTheDosCommandLine)
{
    // The loader records its arguments, one a line.
    const std::string record = nativePath(dir_ + "loader.args");
    writeScript("loader.sh", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record + "'\nexit 5\n");
    writeWindowsProgram("notepad.exe");
    ScopedEnv loader("LAYER_WINE_LOADER", nativePath(dir_ + "loader.sh").c_str());

    ASSERT_TRUE(start(dir_ + "notepad.exe", "notepad.exe C:\\My Docs\\install.doc \"two words\" a\\\"b"))
        << GetLastError();
    EXPECT_EQ(5u, finish());
    EXPECT_EQ(dir_ + "notepad.exe\nC:\\My\nDocs\\install.doc\ntwo words\na\"b\n", readTestFile(dir_ + "loader.args"));
}

// Without Wine nothing runs a Windows program: the call fails as Windows fails for a program that
// is not made for it, with a document on the command line or without, and nothing is started.
TEST_F(NativeChild, WindowsProgramWithoutWineIsABadFormat)
{
    writeWindowsProgram("notepad.exe");
    writeTestFile(dir_ + "read me.txt", "text");
    writeScript("pager.sh", "#!/bin/sh\ntouch '" + nativePath(dir_ + "pager.ran") + "'\n");
    ScopedEnv noWine("LAYER_WINE_LOADER", "");
    ScopedEnv pager("PAGER", nativePath(dir_ + "pager.sh").c_str());
    for (const std::string &commandLine : {"C:\\windows\\notepad.exe " + dir_ + "read me.txt", std::string("notepad.exe")}) {
        SetLastError(SENTINEL);
        EXPECT_FALSE(start(dir_ + "notepad.exe", commandLine)) << commandLine;
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError()) << commandLine;
    }
    EXPECT_FALSE(testFileExists(dir_ + "pager.ran"));
}

TEST_F(NativeChild, ReportedExitCodeReplacesTheNextEndedChildsOnly)
{
    ASSERT_TRUE(start("layer_child.exe", "layer_child.exe sleep 300")) << GetLastError();
    layerReportExitCode(STILL_ACTIVE);
    DWORD code = SENTINEL;
    ASSERT_TRUE(GetExitCodeProcess(child_.hProcess, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code) << "the child still runs: the report waits";

    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child_.hProcess, INFINITE));
    ASSERT_TRUE(GetExitCodeProcess(child_.hProcess, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code) << "reported";
    ASSERT_TRUE(GetExitCodeProcess(child_.hProcess, &code));
    EXPECT_EQ(0u, code) << "its own again";

    layerReportExitCode(1234);
    EXPECT_STREQ("layerReportExitCode(1234)", layerReset()) << "a report never used is told";
    EXPECT_EQ(0u, finish()) << "layerReset dropped the report";
}

std::vector<std::string> terminalEvents;
std::string startMark;

void releaseTerminal()
{
    terminalEvents.push_back(testFileExists(startMark) ? "release after the start" : "release");
}

void reclaimTerminal()
{
    terminalEvents.push_back("reclaim");
}

class TerminalLending : public NativeChild {
protected:
    void SetUp() override
    {
        NativeChild::SetUp();
        terminalEvents.clear();
        startMark = dir_ + "layer_child.out";
        layer::terminalHooks = {releaseTerminal, reclaimTerminal};
    }
    void TearDown() override
    {
        layer::terminalHooks = {nullptr, nullptr};
        NativeChild::TearDown();
    }
};

TEST_F(TerminalLending, ReleasedBeforeTheChildStartsAndReclaimedWhenTheWaitSeesItEnd)
{
    ASSERT_TRUE(start("layer_child.exe", "layer_child.exe sleep 200")) << GetLastError();
    EXPECT_EQ(std::vector<std::string>{"release"}, terminalEvents);

    EXPECT_EQ(0u, finish());
    EXPECT_EQ((std::vector<std::string>{"release", "reclaim"}), terminalEvents) << "once, however often it is asked";
}

TEST_F(TerminalLending, ReclaimedWhenTheStartFailsOrNobodyWaits)
{
    writeScript("orphan.sh", "#!/no/such/interpreter\n");
    EXPECT_FALSE(start(dir_ + "orphan.sh", "orphan.sh"));
    EXPECT_EQ((std::vector<std::string>{"release", "reclaim"}), terminalEvents);

    EXPECT_FALSE(start(dir_ + "missing.exe", "missing.exe"));
    EXPECT_EQ(2u, terminalEvents.size()) << "a program that is not there is never started";

    terminalEvents.clear();
    ASSERT_TRUE(start("layer_child.exe", "layer_child.exe sleep 100")) << GetLastError();
    CloseHandle(child_.hThread);
    CloseHandle(child_.hProcess);
    EXPECT_EQ((std::vector<std::string>{"release", "reclaim"}), terminalEvents);
}

} // namespace
