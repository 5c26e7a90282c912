// The child process runner and the document viewer: the dialog hidden while the child runs,
// shown, repainted and given the focus after; the exit code; the boxes when nothing can start.
#include "app_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include "env/environment.h"
#include "layer_control.h"
#include "proc/viewer.h"
#include "test_env.h"

namespace {

// The layer's child program as the test prefix's drive Z: (the root) shows it.
std::string childProgram()
{
    std::string path = std::string("Z:") + DA12_LAYER_CHILD;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

int count(const std::vector<Seen> &seen, UINT message, WPARAM wParam)
{
    int n = 0;
    for (const Seen &s : seen)
        n += s.message == message && s.wParam == wParam;
    return n;
}

} // namespace

class Viewer : public InstallerTest {
protected:
    void SetUp() override
    {
        InstallerTest::SetUp();
        unlink((testPrefix() + "/drive_c/windows/notepad.exe").c_str());
    }

    int run(HWND dlg, const std::string &commandLine)
    {
        std::string line = commandLine;
        return runAndWait(root.c_str(), childProgram().c_str(), &line[0], dlg);
    }

    // Puts a Notepad in the prefix's Windows directory that records the argument text it gets in
    // "notepad.args" of the test's directory.
    void installRecordingNotepad()
    {
        std::string record = nativePath(root) + "/notepad.args";
        std::string notepad = testPrefix() + "/drive_c/windows/notepad.exe";
        writeTestFile("C:\\windows\\notepad.exe", "#!/bin/sh\nprintf '%s' \"$1\" > '" + record + "'\n");
        chmod(notepad.c_str(), 0755);
    }
};

TEST_F(Viewer, TheChildsExitCodeComesBackWhileTheDialogWaitsHidden)
{
    runDialog({[&](HWND dlg) {
        seen.clear();
        EXPECT_EQ(run(dlg, "layer_child.exe exit 7"), 7);
        EXPECT_TRUE(IsWindowVisible(dlg));
        // Hidden before the wait, shown after it, then the focus on the dialog itself.
        EXPECT_EQ(count(seen, WM_SHOWWINDOW, FALSE), 1);
        EXPECT_EQ(count(seen, WM_SHOWWINDOW, TRUE), 1);
        size_t shown = 0;
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i].message == WM_SHOWWINDOW && seen[i].wParam == TRUE)
                shown = i;
        bool focusedAfter = false;
        for (size_t i = shown; i < seen.size(); ++i)
            focusedAfter = focusedAfter || seen[i].message == WM_SETFOCUS;
        EXPECT_TRUE(focusedAfter) << "the focus goes to the dialog once it is shown again";
        RECT pending;
        RECT client;
        GetClientRect(dlg, &client);
        ASSERT_TRUE(GetUpdateRect(dlg, &pending, FALSE)) << "the whole dialog waits to be repainted";
        EXPECT_EQ(pending.right - pending.left, client.right);
        EXPECT_EQ(pending.bottom - pending.top, client.bottom);
    }});
    EXPECT_EQ(readTestFile(root + "layer_child.out"), "exit 7") << "run in the given directory";
    EXPECT_TRUE(boxes.empty());
}

// A code that reads as "still active", or none at all, gives -1.
TEST_F(Viewer, StillActiveAndAnUnreadableExitCodeGiveMinusOne)
{
    runDialog({[&](HWND dlg) {
        layerReportExitCode(STILL_ACTIVE);
        EXPECT_EQ(run(dlg, "layer_child.exe exit 3"), -1);
        layerFailCall("GetExitCodeProcess", ERROR_INVALID_HANDLE, 0);
        EXPECT_EQ(run(dlg, "layer_child.exe exit 3"), -1);
        EXPECT_EQ(run(dlg, "layer_child.exe exit 0"), 0);
    }});
}

// A dialog that was hidden is left hidden, and still given the focus.
TEST_F(Viewer, AHiddenDialogStaysHidden)
{
    runDialog({[&](HWND dlg) {
        ShowWindow(dlg, SW_HIDE);
        seen.clear();
        EXPECT_EQ(run(dlg, "layer_child.exe exit 1"), 1);
        EXPECT_FALSE(IsWindowVisible(dlg));
        EXPECT_EQ(count(seen, WM_SHOWWINDOW, TRUE), 0);
        ShowWindow(dlg, SW_SHOW);
    }});
}

// A program that cannot start is named with its error, and the dialog is never hidden.
TEST_F(Viewer, AProgramThatCannotStartIsReported)
{
    runDialog({[&](HWND dlg) {
        seen.clear();
        std::string line = "nothing.exe";
        EXPECT_EQ(runAndWait(root.c_str(), "C:\\no such dir\\nothing.exe", &line[0], dlg), -1);
        EXPECT_EQ(count(seen, WM_SHOWWINDOW, FALSE), 0);
    }});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Cannot execute file:");
    EXPECT_EQ(boxes[0].text, "C:\\no such dir\\nothing.exe, 3");
    EXPECT_TRUE(boxes[0].ownerVisible);
}

TEST_F(Viewer, AMissingDocumentIsReportedAndNothingStarts)
{
    installRecordingNotepad();
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, 1029)); }});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Could not find file:");
    EXPECT_EQ(boxes[0].text, mediaDir + "install.doc");
    EXPECT_FALSE(testFileExists(root + "notepad.args")) << "no viewer was started";
}

// The command line is not quoted: the viewer takes everything after the first blank as its
// argument text, blanks and all, and gets the document's native path.
TEST_F(Viewer, ADocumentInAFolderWithBlanksReachesTheViewerWhole)
{
    std::string blanks = root + "pack  disc one\\";
    makeTestSubdir(blanks);
    writeTestFile(blanks + "credits.txt", "who made this");
    installRecordingNotepad();
    startFrom(blanks);
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, 1030)); }});
    EXPECT_TRUE(boxes.empty()) << boxes[0].caption << " " << boxes[0].text;
    EXPECT_EQ(readTestFile(root + "notepad.args"), nativePath(blanks + "credits.txt"));
}

// Without a Notepad in the Windows directory the viewer cannot start.
TEST_F(Viewer, NoNotepadGivesTheCannotExecuteBox)
{
    writeTestFile(mediaDir + "install.doc", "how to install");
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, 1029)); }});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Cannot execute file:");
    EXPECT_EQ(boxes[0].text, "C:\\windows\\notepad.exe, 2");
}

// A document path too long for its buffer is reported as not found, never cut and used.
TEST_F(Viewer, ADocumentPathTooLongIsNotFound)
{
    runDialog({[](HWND) {
        std::string longDir = "C:\\" + std::string(1018, 'x') + "\\";
        snprintf(sourceDir, sizeof sourceDir, "%s", longDir.c_str());
        viewDocument("install.doc");
    }});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Could not find file:");
    EXPECT_EQ(boxes[0].text.size(), 1023u);
}
