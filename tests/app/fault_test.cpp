// Faults at every file step of an install, given through the layer's controls: the backup that
// cannot be made, is cut short or cannot be flushed, a disk that fills up at any file of a
// manifest, a destination in use or read-only, a source that vanishes after the count, a _chmod
// that fails. Each case checks the boxes in order, that the run goes on, that nothing but the file
// being copied changes (a failed copy leaves the file it was to replace as it was), and that the
// game's executable can always be had back.
#include "app_fixture.h"

#include <commctrl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>

#include "install/copy.h"
#include "install/pack.h"
#include "layer_control.h"
#include "resource.h"
#include "test_env.h"
#include "tree_snapshot.h"

namespace {

const char ORIGINAL_GAME[] = "the game as it was installed";

std::vector<std::string> shown(const std::vector<Box> &boxes)
{
    std::vector<std::string> out;
    for (const Box &box : boxes)
        out.push_back(box.caption + ": " + box.text);
    return out;
}

const ManifestEntry *manifestOf(int pack)
{
    return pack == 1 ? delvarin1Manifest : delvarin2Manifest;
}

// Runs once, when the copy engine gives the bar its range: after the count, before the first copy.
std::function<void()> onRange;
WNDPROC barProc;

LRESULT CALLBACK barHook(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_SETRANGE && onRange) {
        std::function<void()> hook = std::move(onRange);
        onRange = nullptr;
        hook();
    }
    return CallWindowProcA(barProc, bar, message, wParam, lParam);
}

// Runs once, when status line 2 names the file `atFile`: just before that file is copied.
std::function<void()> onFile;
std::string atFile;
WNDPROC statusProc;

LRESULT CALLBACK statusHook(HWND status, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT && onFile && atFile == (const char *)lParam) {
        std::function<void()> hook = std::move(onFile);
        onFile = nullptr;
        hook();
    }
    return CallWindowProcA(statusProc, status, message, wParam, lParam);
}

// Also hides the picture: the many runs repaint the dialog often, and the picture plays no part
// in what is copied or shown in boxes.
void hookBar(HWND dlg)
{
    ShowWindow(GetDlgItem(dlg, IDC_PICTURE), SW_HIDE);
    onRange = nullptr;
    onFile = nullptr;
    barProc = (WNDPROC)SetWindowLongPtrA(GetDlgItem(dlg, IDC_INSTALL_BAR), GWLP_WNDPROC, (LONG_PTR)barHook);
    statusProc =
        (WNDPROC)SetWindowLongPtrA(GetDlgItem(dlg, IDC_INSTALL_STATUS2), GWLP_WNDPROC, (LONG_PTR)statusHook);
}

// The engine copies a file that replaces another under this name beside its destination, then
// renames it; a new file is copied straight to its name.
const char PART[] = "~DA12~";

// Arms `fault` for the copy of the manifest entry, and checks that it fired.
void atEntry(const ManifestEntry &entry, std::function<void()> fault)
{
    atFile = entry.fileName;
    onFile = std::move(fault);
}

void expectFired(const std::string &context)
{
    EXPECT_FALSE(onFile) << context << ": the file's copy never began";
    onFile = nullptr;
}

// What goes wrong at one file of a manifest.
enum class Fault {
    DiskFull,    // the disk fills up half-way through the file
    Interrupted, // the copy fails half-way and leaves what it wrote
    InUse,       // another program keeps the destination open without sharing: it cannot be replaced
    ReadOnly,    // the destination is marked read-only
    SourceGone,  // the source is deleted after the count, before the copy
    ChmodFails,  // the file is copied, making it writable fails
};

const char *faultName(Fault fault)
{
    switch (fault) {
    case Fault::DiskFull: return "disk full";
    case Fault::Interrupted: return "interrupted";
    case Fault::InUse: return "in use";
    case Fault::ReadOnly: return "read-only";
    case Fault::SourceGone: return "source gone";
    case Fault::ChmodFails: return "_chmod fails";
    }
    return "?";
}

const ULONGLONG HALF_WAY = 5;

// A rename or delete that fails for good: no error that the renames wait out.
const DWORD FAILS_FOR_GOOD = ERROR_GEN_FAILURE;

} // namespace

class Faults : public InstallerTest {
protected:
    std::string gameExe() const { return gameDir + "vk2\\vk2.exe"; }
    std::string backup() const { return gameDir + "vk2\\Velk2.exe"; }
    std::string backupPart() const { return gameDir + "vk2\\Velk2.tmp"; }
    std::string at(const std::string &dosPath) const { return treePath(root, dosPath); }
    Tree tree() const { return snapshotTree(root); }

    // The game as its setup left it, no pack installed, and every source on the disc.
    void freshGame()
    {
        removeTree(gameDir);
        makeTestSubdir(gameDir);
        makeTestSubdir(gameDir + "vk2");
        makeTestSubdir(gameDir + "vk2\\gamedat");
        writeTestFile(gameExe(), ORIGINAL_GAME);
        for (const ManifestEntry *manifest : {delvarin1Manifest, delvarin2Manifest})
            for (const ManifestEntry *entry = manifest; entry->fileName[0]; ++entry) {
                std::string source = mediaDir + trimmed(entry->fileName);
                if (!testFileExists(source))
                    writeTestFile(source, contentOf(trimmed(entry->fileName)));
            }
        boxes.clear();
    }

    // The tree after a clean install of the pack; the game is fresh again afterwards.
    Tree cleanInstall(int pack)
    {
        freshGame();
        EXPECT_EQ(installPack(pack), 1);
        EXPECT_EQ(shown(boxes), std::vector<std::string>{}) << "pack " << pack;
        Tree installedTree = tree();
        freshGame();
        return installedTree;
    }

    std::string copyBox(const ManifestEntry &entry) const
    {
        return "copyFiles: Could not copy file '" + mediaDir + entry.fileName + "' to '" + gameDir +
               entry.subdirectory + entry.fileName + "'";
    }

    std::string chmodBox(const ManifestEntry &entry) const
    {
        return std::string("File not found to _chmod: ") + gameDir + entry.subdirectory + entry.fileName;
    }

    std::string abortBox(int pack) const
    {
        return "Delvarin " + std::to_string(pack) + " Installation Aborted: Unable to copy file:\nfrom '" + gameDir +
               "\\vk2\\vk2.exe' to '" + gameDir + "\\vk2\\Velk2.exe'";
    }

    // Either the game's executable is as it was, or the backup holds it whole.
    void expectGameRecoverable(const std::string &context)
    {
        EXPECT_TRUE(readTestFile(gameExe()) == ORIGINAL_GAME || readTestFile(backup()) == ORIGINAL_GAME) << context;
    }

    void fillTheDiskAtEachFile(int pack);
    void faultEachKindOfStep(int pack);

    // Installs the pack from a fresh game with the fault at the file of row `index`; `older`
    // puts an older copy of that file in place first. Checks the boxes, the whole tree against
    // the clean install's and the game's executable.
    void installWithFault(int pack, const Tree &clean, int index, Fault fault, bool older)
    {
        const ManifestEntry &entry = manifestOf(pack)[index];
        std::string name = trimmed(entry.fileName);
        std::string context = std::string(faultName(fault)) + " at row " + std::to_string(index) + " (" + name +
                               ") of pack " + std::to_string(pack) + (older ? " over an older file" : "");
        std::string destination = installed(entry);
        std::string source = mediaDir + name;

        freshGame();
        // The first row's destination is the game's executable itself, always there.
        if (older && index != 0)
            writeTestFile(destination, "an older " + name);
        bool existed = testFileExists(destination);
        std::string before = readTestFile(destination);

        std::string written = existed ? PART : name;
        switch (fault) {
        case Fault::DiskFull:
            atEntry(entry, [=] { layerFailCopy(written.c_str(), LAYER_COPY_DISK_FULL, HALF_WAY, 0); });
            break;
        case Fault::Interrupted:
            atEntry(entry,
                    [=] { layerFailCopy(written.c_str(), LAYER_COPY_INTERRUPTED, HALF_WAY, ERROR_WRITE_FAULT); });
            break;
        case Fault::InUse:
            atEntry(entry, [] { layerKeepFailingCall("MoveFileExA", ERROR_SHARING_VIOLATION, 0); });
            break;
        case Fault::ReadOnly: setTestFileReadOnly(destination, true); break;
        case Fault::SourceGone: onRange = [&] { ASSERT_EQ(0, unlink(nativePath(source).c_str())); }; break;
        case Fault::ChmodFails:
            onRange = [&] { layerFailCall("SetFileAttributesA", ERROR_ACCESS_DENIED, index); };
            break;
        }

        EXPECT_EQ(installPack(pack), 1) << context;
        expectFired(context);
        // Only the file in use was replaced after it: the others were new to the game.
        if (fault == Fault::InUse) {
            EXPECT_GT(layerStopFailingCall("MoveFileExA"), 1) << context;
        }

        std::vector<std::string> wantBoxes;
        Tree want = clean;
        std::string key = at(destination);
        switch (fault) {
        case Fault::DiskFull:
        case Fault::Interrupted:
        case Fault::InUse:
        case Fault::SourceGone:
            wantBoxes = {copyBox(entry)};
            if (existed)
                want[key] = "rw:" + before;
            else {
                wantBoxes.push_back(chmodBox(entry));
                want.erase(key);
            }
            if (fault == Fault::SourceGone)
                want.erase(at(source));
            break;
        case Fault::ReadOnly:
            wantBoxes = {copyBox(entry)};
            want[key] = "rw:" + before;
            break;
        case Fault::ChmodFails:
            wantBoxes = {chmodBox(entry)};
            break;
        }
        EXPECT_EQ(shown(boxes), wantBoxes) << context;
        // The backup takes the read-only attribute of a read-only game.
        if (fault == Fault::ReadOnly && index == 0)
            want[at(backup())] = std::string("ro:") + ORIGINAL_GAME;
        EXPECT_EQ(treeDifferences(want, tree()), std::vector<std::string>{}) << context;
        EXPECT_EQ(readTestFile(backup()), ORIGINAL_GAME) << context;
        expectGameRecoverable(context);
    }
};

// The disk fills up at each file of a manifest in turn, each time copying over the pack as the
// run before left it: that file is reported and stays as it was, every other one is in place, and
// the backup made by the first install holds the game. The copy engine is run by itself, its
// result seen.
void Faults::fillTheDiskAtEachFile(int pack)
{
    runDialog({[&](HWND dlg) {
        hookBar(dlg);
        Tree clean = cleanInstall(pack);
        EXPECT_EQ(installPack(pack), 1);
        const ManifestEntry *manifest = manifestOf(pack);
        for (int i = 0; i < manifestRows(manifest); ++i) {
            std::string name = trimmed(manifest[i].fileName);
            std::string context = "disk full at row " + std::to_string(i) + " (" + name + ")";
            boxes.clear();
            atEntry(manifest[i], [] { layerFailCopy(PART, LAYER_COPY_DISK_FULL, HALF_WAY, 0); });
            EXPECT_EQ(copyFiles(manifest, "Disk full"), 1) << context;
            expectFired(context);
            EXPECT_EQ(shown(boxes), std::vector<std::string>{copyBox(manifest[i])}) << context;
            EXPECT_EQ(treeDifferences(clean, tree()), std::vector<std::string>{}) << context;
            EXPECT_EQ(readTestFile(backup()), ORIGINAL_GAME) << context;
        }
    }});
}

TEST_F(Faults, TheDiskFillsUpAtEachFileOfPack1)
{
    fillTheDiskAtEachFile(1);
}

TEST_F(Faults, TheDiskFillsUpAtEachFileOfPack2)
{
    fillTheDiskAtEachFile(2);
}

// Where MoveFileExA is a stub (Windows 95, 98 and Me), a file takes its destination's place by
// renames alone. The pack arrives whole, and whichever rename or delete fails at a file, no copy
// of it is lost, not even while the files after it are replaced: the old file keeps its name, or
// stands aside under a name of its own.
TEST_F(Faults, OnWindows98NoStepOfAReplaceLosesTheFile)
{
    runDialog({[&](HWND dlg) {
        hookBar(dlg);
        const ManifestEntry *manifest = delvarin1Manifest;
        int count = manifestRows(manifest);
        Tree clean = cleanInstall(1);
        EXPECT_EQ(installPack(1), 1);
        // A system that reports NT but only stubs MoveFileExA is served the same way.
        for (int i = 0; i < count; ++i)
            layerFailCall("MoveFileExA", ERROR_CALL_NOT_IMPLEMENTED, 0);
        EXPECT_EQ(copyFiles(manifest, "NT with a stub"), 1);
        layerPretendWindows98(TRUE);
        EXPECT_EQ(copyFiles(manifest, "Windows 98"), 1);
        EXPECT_EQ(shown(boxes), std::vector<std::string>{});
        EXPECT_EQ(treeDifferences(clean, tree()), std::vector<std::string>{});

        enum Step { Aside, In, InAndBack, DeleteOld };
        for (int index : {0, count - 1})
            for (Step step : {Aside, In, InAndBack, DeleteOld}) {
                const ManifestEntry &entry = manifest[index];
                std::string context = "step " + std::to_string(step) + " at row " + std::to_string(index);
                std::string destination = installed(entry);
                std::string dir = destination.substr(0, destination.rfind('\\') + 1);
                std::string aside = dir + "~DA12-old~" + entry.fileName;
                writeTestFile(destination, "the old file");
                boxes.clear();
                atEntry(entry, [step] {
                    if (step == Aside)
                        layerFailCall("MoveFileA", FAILS_FOR_GOOD, 0);
                    if (step == In || step == InAndBack)
                        layerFailCall("MoveFileA", FAILS_FOR_GOOD, 1);
                    if (step == InAndBack)
                        layerFailCall("MoveFileA", FAILS_FOR_GOOD, 0);
                    if (step == DeleteOld)
                        layerFailCall("DeleteFileA", ERROR_ACCESS_DENIED, 1);
                });
                EXPECT_EQ(copyFiles(manifest, "Windows 98"), 1) << context;
                expectFired(context);

                Tree want = clean;
                std::vector<std::string> wantBoxes = {copyBox(entry)};
                if (step == Aside || step == In)
                    want[at(destination)] = "rw:the old file";
                if (step == InAndBack) {
                    want.erase(at(destination));
                    want[at(aside)] = "rw:the old file";
                    // The part goes on to serve the next file of its directory, if there is one.
                    if (index == count - 1)
                        want[at(dir + PART)] = clean[at(destination)];
                    wantBoxes.push_back(chmodBox(entry));
                }
                if (step == DeleteOld) {
                    want[at(aside)] = "rw:the old file";
                    wantBoxes.clear();
                }
                EXPECT_EQ(shown(boxes), wantBoxes) << context;
                EXPECT_EQ(treeDifferences(want, tree()), std::vector<std::string>{}) << context;

                // The next run puts the new file in place; what this one left is cleared by the
                // next replace of that file.
                boxes.clear();
                for (int run = 0; run < (step == InAndBack ? 2 : 1); ++run)
                    EXPECT_EQ(copyFiles(manifest, "Windows 98"), 1) << context;
                EXPECT_EQ(shown(boxes), std::vector<std::string>{}) << context;
                EXPECT_EQ(treeDifferences(clean, tree()), std::vector<std::string>{}) << context;
            }
    }});
}

// A virus scanner holds a file it has just seen written, and meanwhile a rename of the file fails
// with a sharing violation or access denied. Every rename an install makes is tried again: the
// backup's, and a replaced file's (by MoveFileExA, or on Windows 98 its steps aside and in).
// Refused once, each lets the install complete untouched; refused for longer than the tries last,
// the file gets the box of a file that cannot be replaced, and nothing is lost.
TEST_F(Faults, ARenameRefusedWhileAScannerHoldsTheFileIsTriedAgain)
{
    runDialog({[&](HWND dlg) {
        hookBar(dlg);
        Tree clean = cleanInstall(1);
        const ManifestEntry &game = delvarin1Manifest[0]; // always there, so always replaced
        std::string destination = installed(game);
        std::string aside = gameDir + game.subdirectory + "~DA12-old~" + game.fileName;

        for (BOOL windows98 : {FALSE, TRUE}) {
            std::string context = windows98 ? "Windows 98" : "NT";
            layerPretendWindows98(windows98);
            freshGame();
            // The backup's rename, then the game's replace; each refusal waits for the try after the
            // one before it to be served.
            layerFailCall("MoveFileA", ERROR_SHARING_VIOLATION, 0);
            if (windows98) {
                layerFailCall("MoveFileA", ERROR_ACCESS_DENIED, 1);
                layerFailCall("MoveFileA", ERROR_SHARING_VIOLATION, 1);
            } else {
                layerFailCall("MoveFileExA", ERROR_ACCESS_DENIED, 0);
            }
            EXPECT_EQ(installPack(1), 1) << context;
            EXPECT_EQ(layerStopFailingCall("MoveFileA"), windows98 ? 3 : 1) << context;
            EXPECT_EQ(layerStopFailingCall("MoveFileExA"), windows98 ? 0 : 1) << context;
            EXPECT_EQ(shown(boxes), std::vector<std::string>{}) << context;
            EXPECT_EQ(treeDifferences(clean, tree()), std::vector<std::string>{}) << context;
        }

        // Held for good. The tries of one file wait a second or so in all: every rename of it has
        // been tried by the time its box shows, and the box ends the hold. The backup's is held
        // on a fresh game, a replaced file's over an old file of the game with the pack installed.
        struct Held {
            const char *what;
            bool backup;
            BOOL windows98;
            const char *function;
            int skip;    // the calls of `function` that work first
            int renames; // the renames of the file that are refused
        };
        const Held cases[] = {
            {"the backup", true, FALSE, "MoveFileA", 0, 1},
            {"the part", false, FALSE, "MoveFileExA", 0, 1},
            {"the step aside on Windows 98", false, TRUE, "MoveFileA", 0, 1},
            {"the step in and back on Windows 98", false, TRUE, "MoveFileA", 1, 2},
        };
        for (const Held &c : cases) {
            layerPretendWindows98(c.windows98);
            if (c.backup) {
                freshGame();
            } else {
                if (!testFileExists(backup())) {
                    EXPECT_EQ(installPack(1), 1);
                }
                writeTestFile(destination, "the old file");
            }
            Tree want = tree();
            boxes.clear();
            // From the hold to the file's box: the file's copy, and its tries.
            int failed = 0;
            auto held = std::chrono::steady_clock::now();
            auto boxed = held;
            onBox = [&](const Box &, HWND) {
                if (!failed)
                    boxed = std::chrono::steady_clock::now();
                failed += layerStopFailingCall(c.function);
            };
            if (c.backup) {
                layerKeepFailingCall(c.function, ERROR_SHARING_VIOLATION, c.skip);
                EXPECT_EQ(installPack(1), 0) << c.what;
                EXPECT_EQ(shown(boxes), std::vector<std::string>{abortBox(1)}) << c.what;
            } else {
                atEntry(game, [&] {
                    held = std::chrono::steady_clock::now();
                    layerKeepFailingCall(c.function, ERROR_ACCESS_DENIED, c.skip);
                });
                EXPECT_EQ(copyFiles(delvarin1Manifest, "Held"), 1) << c.what;
                expectFired(c.what);
                std::vector<std::string> wantBoxes = {copyBox(game)};
                if (c.renames == 2) {
                    // Neither in nor back: the old file stands aside, and the part serves the next file.
                    want.erase(at(destination));
                    want[at(aside)] = "rw:the old file";
                    wantBoxes.push_back(chmodBox(game));
                }
                EXPECT_EQ(shown(boxes), wantBoxes) << c.what;
            }
            onBox = nullptr;
            EXPECT_GT(failed, c.renames) << c.what;
            EXPECT_LE(failed, RENAME_PAUSES + c.renames) << c.what;
            EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(boxed - held).count(), 500) << c.what;
            EXPECT_EQ(treeDifferences(want, tree()), std::vector<std::string>{}) << c.what;
            expectGameRecoverable(c.what);
        }
    }});
}

// A run cut off between a file's copy and its rename over the file it replaces leaves the part,
// read-only when its source is: the next run replaces it and leaves none.
TEST_F(Faults, APartLeftByAnInterruptedRunIsReplaced)
{
    runDialog({[&](HWND dlg) {
        hookBar(dlg);
        Tree clean = cleanInstall(1);
        EXPECT_EQ(installPack(1), 1);
        for (const char *dir : {"vk2\\", "vk2\\gamedat\\"}) {
            writeTestFile(gameDir + dir + PART, "a part");
            setTestFileReadOnly(gameDir + dir + PART, true);
        }
        EXPECT_EQ(installPack(1), 1);
        EXPECT_EQ(shown(boxes), std::vector<std::string>{});
        EXPECT_EQ(treeDifferences(clean, tree()), std::vector<std::string>{});
    }});
}

// Every kind of fault at the game's executable, the pack's program, the first, a middle and the
// last data file, on a fresh game or over an older copy of the file.
void Faults::faultEachKindOfStep(int pack)
{
    struct Case {
        Fault fault;
        bool older;
    };
    const Case cases[] = {
        {Fault::DiskFull, false},   {Fault::Interrupted, false}, {Fault::InUse, true},       {Fault::ReadOnly, true},
        {Fault::SourceGone, false}, {Fault::SourceGone, true},   {Fault::ChmodFails, false},
    };
    runDialog({[&](HWND dlg) {
        hookBar(dlg);
        Tree clean = cleanInstall(pack);
        int count = manifestRows(manifestOf(pack));
        for (const Case &c : cases)
            for (int index : {0, 1, 2, count / 2, count - 1})
                installWithFault(pack, clean, index, c.fault, c.older);
    }});
}

TEST_F(Faults, EachFaultAtAFileStepOfPack1TouchesThatFileAlone)
{
    faultEachKindOfStep(1);
}

TEST_F(Faults, EachFaultAtAFileStepOfPack2TouchesThatFileAlone)
{
    faultEachKindOfStep(2);
}

// A backup that cannot be made, or is cut short, or cannot take its name, stops the install with
// the pack's box before any pack file; what the attempt wrote is cleared away, and the next
// install makes the backup whole.
TEST_F(Faults, ABackupThatFailsAnyWayStopsTheInstallAndLeavesNothing)
{
    struct Case {
        const char *what;
        std::function<void()> inject;
        bool partLeft; // the part stays when it can be neither renamed nor deleted
    };
    const Case cases[] = {
        {"copy refused", [] { layerFailCopy("Velk2.tmp", LAYER_COPY_FAILS, 0, ERROR_ACCESS_DENIED); }, false},
        {"disk full half-way", [] { layerFailCopy("Velk2.tmp", LAYER_COPY_DISK_FULL, 10, 0); }, false},
        {"interrupted half-way",
         [] { layerFailCopy("Velk2.tmp", LAYER_COPY_INTERRUPTED, 10, ERROR_WRITE_FAULT); }, false},
        {"source in use", [] { layerFailCopy("Velk2.tmp", LAYER_COPY_FAILS, 0, ERROR_SHARING_VIOLATION); }, false},
        {"flush refused", [] { layerFailCall("FlushFileBuffers", ERROR_WRITE_FAULT, 0); }, false},
        {"rename refused", [] { layerFailCall("MoveFileA", FAILS_FOR_GOOD, 0); }, false},
        {"rename and clearing refused",
         [] {
             layerFailCall("MoveFileA", FAILS_FOR_GOOD, 0);
             layerFailCall("DeleteFileA", ERROR_SHARING_VIOLATION, 0);
         },
         true},
    };
    runDialog({[&](HWND dlg) {
        hookBar(dlg);
        for (int pack : {1, 2}) {
            Tree clean = cleanInstall(pack);
            for (const Case &c : cases) {
                std::string context = std::string(c.what) + ", pack " + std::to_string(pack);
                freshGame();
                Tree before = tree();
                c.inject();
                EXPECT_EQ(installPack(pack), 0) << context;
                EXPECT_EQ(shown(boxes), std::vector<std::string>{abortBox(pack)}) << context;
                Tree want = before;
                if (c.partLeft)
                    want[at(backupPart())] = std::string("rw:") + ORIGINAL_GAME;
                EXPECT_EQ(treeDifferences(want, tree()), std::vector<std::string>{}) << context;
                expectGameRecoverable(context);

                boxes.clear();
                EXPECT_EQ(installPack(pack), 1) << context;
                EXPECT_EQ(shown(boxes), std::vector<std::string>{}) << context;
                EXPECT_EQ(treeDifferences(clean, tree()), std::vector<std::string>{}) << context;
            }
        }
    }});
}

// Faults the backup step can do without: an existence test that fails while a backup exists
// (the rename then refuses to replace it), and a part left by an earlier run that cannot be made
// writable.
TEST_F(Faults, TheBackupKeepsAnOlderBackupAndShrugsOffAFailedChmod)
{
    runDialog({[&](HWND dlg) {
        hookBar(dlg);
        Tree clean = cleanInstall(1);

        writeTestFile(gameExe(), "already replaced by a pack");
        writeTestFile(backup(), ORIGINAL_GAME);
        layerFailCall("OpenFile", ERROR_FILE_NOT_FOUND, 0);
        EXPECT_EQ(installPack(1), 1);
        EXPECT_EQ(shown(boxes), std::vector<std::string>{});
        EXPECT_EQ(treeDifferences(clean, tree()), std::vector<std::string>{});

        freshGame();
        writeTestFile(backupPart(), "left by an interrupted run");
        layerFailCall("SetFileAttributesA", ERROR_ACCESS_DENIED, 0);
        EXPECT_EQ(installPack(1), 1);
        EXPECT_EQ(shown(boxes), std::vector<std::string>{});
        EXPECT_EQ(treeDifferences(clean, tree()), std::vector<std::string>{});
    }});
}

// A directory under the backup's name is not a backup: the existence test does not take it for
// one, nor may the rename's refusal; the install stops before the game's executable is replaced.
TEST_F(Faults, ADirectoryInTheBackupsPlaceSavesNothingAndStopsTheInstall)
{
    runDialog({[&](HWND dlg) {
        hookBar(dlg);
        for (int pack : {1, 2}) {
            freshGame();
            makeTestSubdir(backup());
            Tree before = tree();
            EXPECT_EQ(installPack(pack), 0) << pack;
            EXPECT_EQ(shown(boxes), std::vector<std::string>{abortBox(pack)});
            EXPECT_EQ(treeDifferences(before, tree()), std::vector<std::string>{});
            EXPECT_EQ(readTestFile(gameExe()), ORIGINAL_GAME);
        }
    }});
}
