// Installing the packs: the manifests, the copy engine with its progress panel, the space check
// and the one-time backup of the game's executable.
#include "app_fixture.h"

#include <commctrl.h>
#include <unistd.h>

#include <cstring>

#include "env/environment.h"
#include "install/copy.h"
#include "install/pack.h"
#include "layer_control.h"
#include "resource.h"
#include "test_env.h"

namespace {

// What the progress panel showed during a run, seen from inside its controls.
struct PanelLog {
    std::vector<std::string> line1;
    std::vector<std::string> line2;
    std::vector<LPARAM> ranges;
    int steps = 0;
    std::vector<int> paintedPositions; // the bar's position at each of its paints while shown
};

PanelLog panelLog;
WNDPROC barProc;
WNDPROC line1Proc;
WNDPROC line2Proc;

LRESULT CALLBACK watchBar(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_STEPIT)
        ++panelLog.steps;
    if (message == PBM_SETRANGE)
        panelLog.ranges.push_back(lParam);
    if (message == WM_PAINT && IsWindowVisible(bar))
        panelLog.paintedPositions.push_back((int)CallWindowProcA(barProc, bar, PBM_GETPOS, 0, 0));
    return CallWindowProcA(barProc, bar, message, wParam, lParam);
}

LRESULT CALLBACK watchLine1(HWND line, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT)
        panelLog.line1.push_back((const char *)lParam);
    return CallWindowProcA(line1Proc, line, message, wParam, lParam);
}

LRESULT CALLBACK watchLine2(HWND line, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT)
        panelLog.line2.push_back((const char *)lParam);
    return CallWindowProcA(line2Proc, line, message, wParam, lParam);
}

void watchPanel(HWND dlg)
{
    panelLog = PanelLog();
    barProc = (WNDPROC)SetWindowLongPtrA(GetDlgItem(dlg, IDC_INSTALL_BAR), GWLP_WNDPROC, (LONG_PTR)watchBar);
    line1Proc = (WNDPROC)SetWindowLongPtrA(GetDlgItem(dlg, IDC_INSTALL_STATUS1), GWLP_WNDPROC, (LONG_PTR)watchLine1);
    line2Proc = (WNDPROC)SetWindowLongPtrA(GetDlgItem(dlg, IDC_INSTALL_STATUS2), GWLP_WNDPROC, (LONG_PTR)watchLine2);
}

std::string text(HWND dlg, int id)
{
    char buffer[256];
    GetDlgItemTextA(dlg, id, buffer, sizeof buffer);
    return buffer;
}

// The panel as a finished run leaves it: hidden, disabled, empty, the bar back at 0.
void expectPanelClosed(HWND dlg)
{
    for (int id : {IDC_INSTALL_FRAME, IDC_INSTALL_STATUS1, IDC_INSTALL_STATUS2, IDC_INSTALL_BAR}) {
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dlg, id))) << id;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, id))) << id;
    }
    EXPECT_EQ(text(dlg, IDC_INSTALL_STATUS1), "");
    EXPECT_EQ(text(dlg, IDC_INSTALL_STATUS2), "");
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_INSTALL_BAR, PBM_GETPOS, 0, 0), 0);
}

} // namespace

class Install : public InstallerTest {
protected:
    void expectInstalled(const ManifestEntry *manifest)
    {
        for (const ManifestEntry *entry = manifest; entry->fileName[0]; ++entry) {
            EXPECT_EQ(readTestFile(installed(*entry)), contentOf(trimmed(entry->fileName))) << entry->fileName;
            EXPECT_FALSE(isTestFileReadOnly(installed(*entry))) << entry->fileName;
        }
    }

    std::string gameExe() const { return gameDir + "vk2\\vk2.exe"; }
    std::string backup() const { return gameDir + "vk2\\Velk2.exe"; }
    std::string backupPart() const { return gameDir + "vk2\\Velk2.tmp"; }
    // The paths as the install procedure forms them, with two backslashes after the install dir.
    std::string formedGameExe() const { return gameDir + "\\vk2\\vk2.exe"; }
    std::string formedBackup() const { return gameDir + "\\vk2\\Velk2.exe"; }
};

TEST_F(Install, Pack1InstallsEveryFileAndSavesTheGameOnce)
{
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); },
               [](HWND dlg) { expectPanelClosed(dlg); }});
    EXPECT_TRUE(boxes.empty()) << boxes[0].caption << ": " << boxes[0].text;
    EXPECT_EQ(manifestRows(delvarin1Manifest), 124);
    expectInstalled(delvarin1Manifest);
    EXPECT_EQ(readTestFile(backup()), "the game as it was installed");
    EXPECT_FALSE(testFileExists(backupPart()));
    EXPECT_FALSE(testFileExists(gameDir + "vk2\\dv2.exe"));
}

TEST_F(Install, ThePanelShowsTheCaptionEachFileAndAFullBarAtTheLastRepaint)
{
    runDialog({[](HWND dlg) {
                   watchPanel(dlg);
                   layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK2));
               },
               [](HWND dlg) { expectPanelClosed(dlg); }});
    EXPECT_TRUE(boxes.empty());
    int count = manifestRows(delvarin2Manifest);
    ASSERT_EQ(count, 125);
    // Emptied at opening, the caption for the run, emptied at closing.
    EXPECT_EQ(panelLog.line1, (std::vector<std::string>{"", "Installing VK2: Delvarin 2", ""}));
    ASSERT_EQ(panelLog.line2.size(), (size_t)count + 2);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(panelLog.line2[i + 1], delvarin2Manifest[i].fileName) << "shown with its blanks";
    EXPECT_EQ(panelLog.ranges, std::vector<LPARAM>{MAKELPARAM(0, 125)});
    EXPECT_EQ(panelLog.steps, count);
    ASSERT_FALSE(panelLog.paintedPositions.empty());
    EXPECT_EQ(panelLog.paintedPositions.back(), count);
    PBRANGE range;
    runDialog({[&](HWND dlg) { SendDlgItemMessageA(dlg, IDC_INSTALL_BAR, PBM_GETRANGE, TRUE, (LPARAM)&range); }});
    EXPECT_EQ(range.iHigh, 100) << "a new dialog's bar has the control's own range";
}

TEST_F(Install, Pack2AfterPack1KeepsTheBackupAndAddsItsOwnFiles)
{
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); },
               [](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK2)); },
               [](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK2)); }});
    EXPECT_TRUE(boxes.empty()) << "installing twice replaces every file without a word";
    expectInstalled(delvarin2Manifest);
    EXPECT_EQ(readTestFile(gameDir + "vk2\\dv1.exe"), contentOf("dv1.exe"));
    EXPECT_EQ(readTestFile(backup()), "the game as it was installed");
}

// A read-only file is not replaced; it is made writable, so the next install replaces it.
TEST_F(Install, AReadOnlyDestinationIsReportedThenMadeWritable)
{
    std::string locked = gameDir + "vk2\\gamedat\\ARCHER.SPR";
    writeTestFile(locked, "an old sprite");
    setTestFileReadOnly(locked, true);
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); }});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "copyFiles");
    EXPECT_EQ(boxes[0].text, "Could not copy file '" + mediaDir + "ARCHER.SPR  ' to '" + gameDir +
                                 "vk2\\gamedat\\ARCHER.SPR  '");
    EXPECT_EQ(boxes[0].style, (UINT)MB_OK);
    EXPECT_TRUE(boxes[0].ownerVisible);
    EXPECT_EQ(readTestFile(locked), "an old sprite");
    EXPECT_FALSE(isTestFileReadOnly(locked));

    boxes.clear();
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); }});
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(readTestFile(locked), contentOf("ARCHER.SPR"));
}

// Without gamedat every data row fails twice over; the two programs still arrive.
TEST_F(Install, AMissingDataDirectoryFailsEachDataRowWithTwoBoxes)
{
    ASSERT_EQ(0, rmdir(nativePath(gameDir + "vk2\\gamedat").c_str()));
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); }});
    int dataRows = manifestRows(delvarin1Manifest) - 2;
    ASSERT_EQ(boxes.size(), (size_t)dataRows * 2);
    for (int i = 0; i < dataRows; ++i) {
        const ManifestEntry &entry = delvarin1Manifest[i + 2];
        std::string destination = gameDir + "vk2\\gamedat\\" + entry.fileName;
        EXPECT_EQ(boxes[2 * i].caption, "copyFiles");
        EXPECT_EQ(boxes[2 * i].text, "Could not copy file '" + mediaDir + entry.fileName + "' to '" + destination + "'");
        EXPECT_EQ(boxes[2 * i + 1].caption, "File not found to _chmod");
        EXPECT_EQ(boxes[2 * i + 1].text, destination);
    }
    EXPECT_EQ(readTestFile(gameDir + "vk2\\vk2.exe"), contentOf("vk2.exe"));
    EXPECT_EQ(readTestFile(gameDir + "vk2\\dv1.exe"), contentOf("dv1.exe"));
}

TEST_F(Install, SevenMegabytesLessOneByteIsNotEnough)
{
    layerSetFreeSpace('C', 7340031);
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); }});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Not enough disk space for installation");
    EXPECT_EQ(boxes[0].text, "Drive C: only has 7.000 MB of available hard drive space.\n"
                             "The game you are trying to install requires 7 MB of hard drive space.\n"
                             "Please free up the required disk space and try again.");
    EXPECT_EQ(boxes[0].style, (UINT)(MB_OK | MB_ICONWARNING));
    EXPECT_FALSE(testFileExists(backup())) << "nothing is touched before the space check";
    EXPECT_FALSE(testFileExists(gameDir + "vk2\\dv1.exe"));
}

TEST_F(Install, SevenMegabytesAndFiveGibibytesAreEnough)
{
    for (ULONGLONG bytes : {7340032ull, 5ull << 30}) {
        layerSetFreeSpace('C', bytes);
        runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); }});
        EXPECT_TRUE(boxes.empty()) << bytes;
    }
    // The true amount above 4 GiB, not a 32-bit remainder of it.
    runDialog({[](HWND) { EXPECT_EQ(checkDiskSpace('C', 6000), 0); }});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.substr(0, 36), "Drive C: only has 5120.000 MB of ava");
}

// The drive is the install directory's first character as it stands, whatever drive the
// installer runs from.
TEST_F(Install, TheWarningNamesTheDriveAsTheRecordWritesIt)
{
    setText("Installed To:", "c" + gameDir.substr(1));
    layerSetFreeSpace('C', 1048576);
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); }});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.substr(0, 30), "Drive c: only has 1.000 MB of ");
}

// Without an answer about free space the install goes on; the copy reports what cannot be written.
TEST_F(Install, AFailedSpaceQueryLetsTheInstallGoOn)
{
    layerFailCall("GetDiskFreeSpaceA", ERROR_INVALID_DRIVE, 0);
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); }});
    EXPECT_TRUE(boxes.empty());
    expectInstalled(delvarin1Manifest);
    runDialog({[](HWND) { EXPECT_EQ(checkDiskSpace('\\', 7), 1); }});
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Install, AnExistingBackupIsNeverReplaced)
{
    writeTestFile(backup(), "a backup from long ago");
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK2)); }});
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(readTestFile(backup()), "a backup from long ago");
    expectInstalled(delvarin2Manifest);
}

// A backup that cannot be made stops the install before any pack file, under the pack's caption.
TEST_F(Install, AFailedBackupAbortsWithThePacksCaption)
{
    for (int pack : {1, 2}) {
        boxes.clear();
        layerFailCopy("Velk2.tmp", LAYER_COPY_INTERRUPTED, 10, ERROR_WRITE_FAULT);
        runDialog({[pack](HWND dlg) { layerClick(GetDlgItem(dlg, pack == 1 ? 1000 : 1001)); }});
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, pack == 1 ? "Delvarin 1 Installation Aborted" : "Delvarin 2 Installation Aborted");
        EXPECT_EQ(boxes[0].text, "Unable to copy file:\nfrom '" + formedGameExe() + "' to '" + formedBackup() + "'");
        EXPECT_FALSE(testFileExists(backup()));
        EXPECT_FALSE(testFileExists(backupPart())) << "the part is cleared away";
        EXPECT_FALSE(testFileExists(gameDir + "vk2\\dv1.exe"));
        EXPECT_EQ(readTestFile(gameExe()), "the game as it was installed");
    }
}

// A part left by a run that died in the middle (even read-only, as the copy of a read-only game
// is) never counts as the backup and is simply replaced.
TEST_F(Install, APartLeftByAnInterruptedRunIsReplaced)
{
    writeTestFile(backupPart(), "the game as it w");
    setTestFileReadOnly(backupPart(), true);
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); }});
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(readTestFile(backup()), "the game as it was installed");
    EXPECT_FALSE(testFileExists(backupPart()));
}

// OpenFile cannot see a file whose path has 128 characters or more; the backup is kept anyway.
TEST_F(Install, ABackupBeyondTheExistenceTestsReachIsKept)
{
    std::string deep = gameDir;
    while (deep.size() < 130) {
        deep += "deeper\\";
        makeTestSubdir(deep);
    }
    makeTestSubdir(deep + "vk2");
    makeTestSubdir(deep + "vk2\\gamedat");
    writeTestFile(deep + "vk2\\vk2.exe", "already replaced by a pack");
    writeTestFile(deep + "vk2\\Velk2.exe", "the original game");
    runDialog({[&](HWND) {
        snprintf(installRecord.installDir, sizeof installRecord.installDir, "%s", deep.c_str());
        EXPECT_EQ(installPack(1), 1);
    }});
    EXPECT_TRUE(boxes.empty()) << boxes[0].text;
    EXPECT_EQ(readTestFile(deep + "vk2\\Velk2.exe"), "the original game");
    EXPECT_EQ(readTestFile(deep + "vk2\\dv1.exe"), contentOf("dv1.exe"));
}

TEST_F(Install, ManifestsEndAtTheFirstEmptyNameOrDirectory)
{
    static const ManifestEntry empty[] = {{"", ""}};
    static const ManifestEntry noDirectory[] = {{"dv1.exe", "vk2\\"}, {"dv2.exe", ""}, {"vk2.exe", "vk2\\"}, {"", ""}};
    runDialog({[](HWND dlg) {
        watchPanel(dlg);
        EXPECT_EQ(copyFiles(empty, "Nothing"), 1);
        expectPanelClosed(dlg);
        EXPECT_EQ(panelLog.ranges, std::vector<LPARAM>{MAKELPARAM(0, 0)});
        EXPECT_EQ(panelLog.steps, 0);
        EXPECT_EQ(copyFiles(noDirectory, "One file"), 1);
        EXPECT_EQ(panelLog.steps, 1);
    }});
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(testFileExists(gameDir + "vk2\\dv1.exe"));
    EXPECT_FALSE(testFileExists(gameDir + "dv2.exe"));
    EXPECT_EQ(readTestFile(gameExe()), "the game as it was installed");
}

// Paths that do not fit their buffers are reported as failed copies and never touched; the box
// text is cut to the message buffer.
TEST_F(Install, OverLongPathsAreReportedAndTheRunGoesOn)
{
    static const ManifestEntry two[] = {{"dv1.exe", "vk2\\"}, {"dv2.exe", "vk2\\"}, {"", ""}};
    runDialog({[&](HWND) {
        std::string longDir = "C:\\" + std::string(1015, 'x') + "\\";
        snprintf(installRecord.installDir, sizeof installRecord.installDir, "%s", longDir.c_str());
        EXPECT_EQ(copyFiles(two, "Too long"), 1);
    }});
    ASSERT_EQ(boxes.size(), 2u);
    for (const Box &box : boxes) {
        EXPECT_EQ(box.caption, "copyFiles");
        EXPECT_EQ(box.text.size(), 1023u);
        EXPECT_EQ(box.text.substr(0, 20), "Could not copy file ");
    }
}

TEST_F(Install, AMissingProgressBarIsReportedAndTheCopyStillRuns)
{
    runDialog({[](HWND dlg) {
        SetWindowLongPtrA(GetDlgItem(dlg, IDC_INSTALL_BAR), GWLP_ID, 4321);
        layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1));
    }});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "!GetDlgItem(IDC_INSTALL_BAR) (range)");
    EXPECT_EQ(boxes[0].caption, "ERROR");
    expectInstalled(delvarin1Manifest);
}

// Both manifests keep their shape: programs first, one shared data row, then data rows in
// ascending byte order, every name twelve characters wide with a three-character extension.
TEST(Manifests, RowsFollowTheirOrderAndShareTheirTexts)
{
    ASSERT_EQ(manifestRows(delvarin1Manifest), 124);
    ASSERT_EQ(manifestRows(delvarin2Manifest), 125);
    EXPECT_STREQ(delvarin1Manifest[1].fileName, "dv1.exe");
    EXPECT_STREQ(delvarin2Manifest[1].fileName, "dv2.exe");
    for (const ManifestEntry *manifest : {delvarin1Manifest, delvarin2Manifest}) {
        EXPECT_STREQ(manifest[0].fileName, "vk2.exe");
        EXPECT_STREQ(manifest[0].subdirectory, "vk2\\");
        EXPECT_EQ(manifest[0].subdirectory, manifest[1].subdirectory);
        int count = manifestRows(manifest);
        for (int i = 2; i < count; ++i) {
            const char *name = manifest[i].fileName;
            EXPECT_EQ(strlen(name), 12u) << name;
            std::string bare = std::string(name).substr(0, std::string(name).find_last_not_of(" ") + 1);
            EXPECT_EQ(bare.size() - bare.find('.'), 4u) << name;
            EXPECT_EQ(manifest[i].subdirectory, manifest[2].subdirectory);
            if (i > 3) {
                EXPECT_LT(strcmp(manifest[i - 1].fileName, name), 0) << name;
            }
        }
        EXPECT_STREQ(manifest[2].subdirectory, "vk2\\gamedat\\");
        EXPECT_TRUE(islower(manifest[2].fileName[0]));
        EXPECT_EQ(manifest[count].fileName[0], 0);
        EXPECT_EQ(manifest[count].subdirectory[0], 0);
    }
    // Shared rows refer to the same texts, and only the last rows are in lower case.
    for (int i = 0; i < 124; ++i) {
        if (i != 1) {
            EXPECT_EQ(delvarin1Manifest[i].fileName, delvarin2Manifest[i].fileName) << i;
        }
    }
    for (int i = 3; i < 122; ++i)
        EXPECT_TRUE(isupper(delvarin1Manifest[i].fileName[0])) << i;
    for (int i = 122; i < 125; ++i)
        EXPECT_TRUE(islower(delvarin2Manifest[i].fileName[0])) << i;
}
