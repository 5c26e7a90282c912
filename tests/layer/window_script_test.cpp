// Input from a WINLAYER_SCRIPT file and the WINLAYER_TRACE file of events, as another process sees
// them: this test program runs itself as the scripted program, one dialog driven by the script.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "child_programs.h"
#include "conformance_ids.h"
#include "dialog_support.h"
#include "layer_control.h"

namespace {

const char childMarker[] = "WINDOW_SCRIPT_CHILD";
const char waitLimitVariable[] = "WINDOW_SCRIPT_WAIT_LIMIT";

} // namespace

// The scripted program: the tab-order dialog, where the first button shows a message box, the
// second ends the dialog with 4 and Cancel with 3.
int runScriptedChild()
{
    layerReset();
    if (const char *limit = getenv(waitLimitVariable))
        layerSetScriptWaitLimit(static_cast<DWORD>(atol(limit)));
    InitCommonControls();
    DialogTest test;
    test.handler = [](HWND dialog, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_APP)
            return TRUE; // the script drives the dialog
        if (msg != WM_COMMAND)
            return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_FIRST:
            MessageBoxA(dialog, "First pressed", "Pressed", MB_OK | MB_ICONWARNING);
            return TRUE;
        case IDC_SECOND:
            EndDialog(dialog, 4);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 3);
            return TRUE;
        }
        return FALSE;
    };
    runDialog(IDD_TAB_ORDER, test);
    return 0;
}

namespace {

class Scripted : public testing::Test {
protected:
    void SetUp() override
    {
        const char *tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/window-script-XXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir = pattern;
    }

    void TearDown() override
    {
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }

    void writeScript(const std::string &text) { std::ofstream(dir + "/script") << text; }

    std::string read(const std::string &name) const
    {
        std::ifstream in(dir + "/" + name);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    // Starts the scripted program; its output goes to the file "output".
    pid_t start(const char *waitLimit = nullptr)
    {
        pid_t child = fork();
        if (child == 0) {
            setenv(childMarker, "1", 1);
            if (waitLimit)
                setenv(waitLimitVariable, waitLimit, 1);
            setenv("WINLAYER_SCRIPT", (dir + "/script").c_str(), 1);
            setenv("WINLAYER_TRACE", (dir + "/trace").c_str(), 1);
            int out = open((dir + "/output").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(out, 2);
            execl("/proc/self/exe", "layer_tests", nullptr);
            _exit(127);
        }
        return child;
    }

    int finish(pid_t child)
    {
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string dir;
};

TEST_F(Scripted, KeysClicksAndMessageBoxesLeaveTheirTrace)
{
    writeScript("# Tab there and back, press the first button, answer its box, then the second.\n"
                "\n"
                "key tab\n"
                "key shift+tab\n"
                "key space\n"
                "key enter\n"
                "bogus command\n"
                "click 1011\n");
    ASSERT_EQ(finish(start()), 0) << read("output");
    EXPECT_EQ(read("trace"),
              "focus class=\"Button\" id=1010 text=\"First\"\n"
              "dialog shown title=\"Tab Order\"\n"
              "focus class=\"Button\" id=1011 text=\"Second\"\n"
              "focus class=\"Button\" id=1010 text=\"First\"\n"
              "focus class=\"Button\" id=1 text=\"OK\"\n"
              "msgbox caption=\"Pressed\" text=\"First pressed\" style=0x00000030 owner=\"Tab Order\"\n"
              "focus class=\"#32770\" id=0 text=\"Pressed\"\n"
              "focus class=\"Button\" id=1010 text=\"First\"\n"
              "msgbox result=1\n"
              "script error line=7 message=\"cannot understand 'bogus command'\"\n"
              "focus class=\"Button\" id=1011 text=\"Second\"\n"
              "focus class=\"#32770\" id=0 text=\"Tab Order\"\n"
              "dialog hidden title=\"Tab Order\"\n"
              "focus none\n"
              "dialog ended title=\"Tab Order\" result=4\n");
    EXPECT_NE(read("output").find("line 7: cannot understand 'bogus command'"), std::string::npos) << read("output");
}

TEST_F(Scripted, WaitsForAFileThenClosesTheWindow)
{
    writeScript("wait " + dir + "/go\n"
                "sleep 10\n"
                "deactivate\n"
                "activate mouse\n"
                "close\n");
    pid_t child = start();
    // The program shows its dialog, then waits for the file: without it, it cannot end.
    for (int i = 0; i < 2000 && read("trace").find("dialog shown") == std::string::npos; ++i)
        usleep(10000);
    usleep(100000);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "the program went on before the file existed";
    std::ofstream(dir + "/go") << "go";
    ASSERT_EQ(finish(child), 0) << read("output");
    std::string trace = read("trace");
    EXPECT_NE(trace.find("focus none\nfocus class=\"Button\" id=1010"), std::string::npos)
        << "deactivated, then the focus came back: " << trace;
    EXPECT_NE(trace.find("dialog ended title=\"Tab Order\" result=3\n"), std::string::npos) << trace;
}

TEST_F(Scripted, AWaitGivesUpAtItsLimitAndTheScriptEndsThere)
{
    writeScript("wait " + dir + "/never\n"
                "click 1011\n");
    ASSERT_EQ(finish(start("50")), 0) << read("output");
    EXPECT_NE(read("output").find("line 1: gave up waiting for " + dir + "/never after 50 ms"), std::string::npos)
        << read("output");
    EXPECT_NE(read("trace").find("dialog ended title=\"Tab Order\" result=3\n"), std::string::npos)
        << "ended as Escape ends it, the click never given: " << read("trace");
}

TEST_F(Scripted, AScriptThatRunsOutLeavesTheDialogToEscape)
{
    writeScript("key tab\n");
    ASSERT_EQ(finish(start()), 0) << read("output");
    EXPECT_NE(read("trace").find("dialog ended title=\"Tab Order\" result=3\n"), std::string::npos) << read("trace");
}

TEST_F(Scripted, AMissingScriptIsReportedAndTheDialogStillEnds)
{
    // No script file is written.
    ASSERT_EQ(finish(start()), 0) << read("output");
    EXPECT_NE(read("output").find("WINLAYER_SCRIPT: cannot open"), std::string::npos) << read("output");
    EXPECT_NE(read("trace").find("result=3\n"), std::string::npos) << read("trace");
}

} // namespace
