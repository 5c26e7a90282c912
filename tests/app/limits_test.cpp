// Paths at the edge of the installer's 1024-byte buffers: the install directory, the source
// directory and manifest names whose paths take exactly 1023 characters, or one more. A path that
// fits is used whole; one that does not is reported and names nothing (a path cut short would name
// another file). The tests run under AddressSanitizer, which sees any overrun.
#include "app_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "env/environment.h"
#include "install/copy.h"
#include "install/pack.h"
#include "layer_control.h"
#include "resource.h"
#include "test_env.h"
#include "tree_snapshot.h"

namespace {

const size_t LONGEST = 1023; // the longest text a 1024-byte buffer holds

std::vector<std::string> shown(const std::vector<Box> &boxes)
{
    std::vector<std::string> out;
    for (const Box &box : boxes)
        out.push_back(box.caption + ": " + box.text);
    return out;
}

// A text as a 1024-byte buffer keeps it.
std::string cut(const std::string &text)
{
    return text.substr(0, LONGEST);
}

std::string copyFailed(const std::string &source, const std::string &destination)
{
    return "copyFiles: " + cut("Could not copy file '" + cut(source) + "' to '" + cut(destination) + "'");
}

// Makes directories below `base` (a DOS directory ending with a backslash) until the deepest
// one's DOS path, backslash included, is exactly `length` characters; returns that path.
std::string dirOfLength(const std::string &base, size_t length)
{
    std::string dir = base;
    char letter = 'a';
    while (dir.size() < length) {
        size_t room = length - dir.size();
        EXPECT_GE(room, 2u) << "a directory name needs a character and its backslash";
        size_t name = room <= 201 ? room - 1 : std::min<size_t>(200, room - 3);
        dir += std::string(name, letter++) + "\\";
        makeTestSubdir(dir);
    }
    EXPECT_EQ(dir.size(), length);
    return dir;
}

} // namespace

class Limits : public InstallerTest {
protected:
    std::string gameExe() const { return gameDir + "vk2\\vk2.exe"; }
    Tree tree() const { return snapshotTree(root); }

    // A game installed in a directory whose DOS path has `length` characters.
    std::string gameOfLength(size_t length)
    {
        std::string dir = dirOfLength(gameDir, length);
        makeTestSubdir(dir + "vk2");
        makeTestSubdir(dir + "vk2\\gamedat");
        writeTestFile(dir + "vk2\\vk2.exe", "the deep game");
        return dir;
    }
};

// Up to 1009 characters the backup's paths fit and the install runs: the backup and the two
// programs arrive, each data row (12 characters more) is reported. From 1010 on the backup's part
// no longer fits, and the install stops at the backup with the pack's box, the paths cut, having
// touched nothing; the whole buffer's length fares the same.
TEST_F(Limits, TheInstallDirAtTheEdgeOfTheBackupsPaths)
{
    for (size_t length : {1009u, 1010u, 1011u, 1012u, 1023u}) {
        SCOPED_TRACE(length);
        SetUp();
        boxes.clear();
        std::string dir = gameOfLength(length);
        Tree before = tree();
        int result = -1;
        runDialog({[&](HWND) {
            ASSERT_EQ(strlen(installRecord.installDir), gameDir.size());
            snprintf(installRecord.installDir, sizeof installRecord.installDir, "%s", dir.c_str());
            result = installPack(1);
        }});
        Tree after = tree();
        if (length == 1009) {
            EXPECT_EQ(result, 1);
            Tree want = before;
            want[treePath(root, dir + "vk2\\Velk2.exe")] = "rw:the deep game";
            want[treePath(root, dir + "vk2\\vk2.exe")] = "rw:" + contentOf("vk2.exe");
            want[treePath(root, dir + "vk2\\dv1.exe")] = "rw:" + contentOf("dv1.exe");
            EXPECT_EQ(treeDifferences(want, after), std::vector<std::string>{});
            ASSERT_EQ(boxes.size(), 122u) << "every data row";
            for (size_t i = 0; i < boxes.size(); ++i) {
                const ManifestEntry &entry = delvarin1Manifest[i + 2];
                EXPECT_EQ(shown({boxes[i]})[0], copyFailed(mediaDir + entry.fileName,
                                                           dir + entry.subdirectory + entry.fileName));
            }
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(shown(boxes), std::vector<std::string>{"Delvarin 1 Installation Aborted: " +
                                                             cut("Unable to copy file:\nfrom '" +
                                                                 cut(dir + "\\vk2\\vk2.exe") + "' to '" +
                                                                 cut(dir + "\\vk2\\Velk2.exe") + "'")});
            EXPECT_EQ(treeDifferences(before, after), std::vector<std::string>{});
        }
        TearDown();
    }
}

// A source or destination path of exactly 1023 characters is copied; one character more is
// reported with the paths cut, and neither that file nor the shorter name its cut path would give
// is touched. A name or a subdirectory filling the whole buffer is reported the same way.
TEST_F(Limits, ManifestPathsOfTheBuffersLengthAreCopiedAndLongerOnesReported)
{
    const size_t deep = 800;
    std::string deepMedia = dirOfLength(mediaDir, deep);
    std::string deepGame = gameOfLength(deep);
    std::string wholeBuffer(LONGEST, 'n');

    struct Side {
        const char *what;
        std::string source;      // the source directory
        std::string destination; // the install directory
        size_t nameLength;       // the name that makes the longer path exactly 1023 characters
    };
    const Side sides[] = {
        {"source", deepMedia, gameDir, LONGEST - deep},
        {"destination", mediaDir, deepGame, LONGEST - deep - strlen("vk2\\")},
    };
    for (const Side &side : sides) {
        SCOPED_TRACE(side.what);
        std::string fits(side.nameLength, 'f');
        std::string over = fits + "o"; // its cut path names `fits`'s file
        writeTestFile(side.source + fits, "the name that fits");
        writeTestFile(side.source + over, "the name one too long");
        // The longer name comes first, so that its cut path would name the file the next row copies.
        const ManifestEntry manifest[] = {{over.c_str(), "vk2\\"},
                                          {fits.c_str(), "vk2\\"},
                                          {wholeBuffer.c_str(), "vk2\\"},
                                          {"dv1.exe", wholeBuffer.c_str()},
                                          {"", ""}};
        Tree before = tree();
        boxes.clear();
        runDialog({[&](HWND) {
            snprintf(sourceDir, sizeof sourceDir, "%s", side.source.c_str());
            snprintf(installRecord.installDir, sizeof installRecord.installDir, "%s", side.destination.c_str());
            EXPECT_EQ(copyFiles(manifest, "At the edge"), 1);
        }});
        std::string target = side.destination + "vk2\\";
        EXPECT_EQ(std::max((side.source + fits).size(), (target + fits).size()), LONGEST);
        EXPECT_EQ(shown(boxes), (std::vector<std::string>{
                                    copyFailed(side.source + over, target + over),
                                    copyFailed(side.source + wholeBuffer, target + wholeBuffer),
                                    copyFailed(side.source + "dv1.exe", side.destination + wholeBuffer + "dv1.exe"),
                                }));
        Tree want = before;
        want[treePath(root, target + fits)] = "rw:the name that fits";
        EXPECT_EQ(treeDifferences(want, tree()), std::vector<std::string>{});
    }
}

// The working directory's DOS path may take 1022 characters, so that the source directory with
// its backslash fills the buffer: the installer then runs, and every file and document, whose
// paths cannot fit, is reported; the game is saved and nothing else touched. One character more
// and it refuses to run, saying why.
TEST_F(Limits, TheSourceDirFillingItsBuffer)
{
    std::string longestCwd = dirOfLength(mediaDir, LONGEST);
    std::string tooLongCwd = dirOfLength(mediaDir, LONGEST + 1);
    startFrom(longestCwd);
    Tree before = tree();
    runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_INSTALL_PACK1)); },
               [](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_VIEW_HELP)); }});
    EXPECT_EQ(std::string(sourceDir), longestCwd);
    ASSERT_EQ(boxes.size(), 125u);
    for (int i = 0; i < 124; ++i) {
        const ManifestEntry &entry = delvarin1Manifest[i];
        EXPECT_EQ(shown({boxes[i]})[0], copyFailed(sourceDir + std::string(entry.fileName),
                                                   gameDir + entry.subdirectory + entry.fileName));
    }
    EXPECT_EQ(shown({boxes[124]})[0], "Could not find file:: " + cut(sourceDir + std::string("install.doc")));
    Tree want = before;
    want[treePath(root, gameDir + "vk2\\Velk2.exe")] = "rw:the game as it was installed";
    EXPECT_EQ(treeDifferences(want, tree()), std::vector<std::string>{});

    boxes.clear();
    startFrom(tooLongCwd);
    EXPECT_FALSE(dialogTakesInput());
    EXPECT_EQ(shown(boxes), std::vector<std::string>{std::string(REFUSAL_CAPTION) +
                                                     ": The installer's folder has too long a path. Please run the "
                                                     "installer from a folder with a shorter path."});
}

// A recorded install directory that fills the buffer with its terminator is read whole; the game's
// path under it cannot fit, so the game is not found.
TEST_F(Limits, ARecordedInstallDirFillingItsBufferIsReadWholeAndRefused)
{
    setText("Installed To:", "C:\\" + std::string(LONGEST - 4, 'g') + "\\");
    EXPECT_FALSE(dialogTakesInput());
    EXPECT_EQ(strlen(installRecord.installDir), LONGEST);
    EXPECT_EQ(shown(boxes), std::vector<std::string>{std::string(REFUSAL_CAPTION) + ": " + REFUSAL});
}

// OpenFile's existence test takes full paths of at most 127 characters. The game's executable and
// the documents are found at that length, one more and far more; a directory under the game's
// name is still no game.
TEST_F(Limits, FilesPastTheExistenceTestsLimitAreFound)
{
    const std::string gameExe = "vk2\\vk2.exe";
    const std::string noViewer = "Cannot execute file:: C:\\windows\\notepad.exe, 2"; // the document was found
    for (size_t length : {127u, 128u, 300u}) {
        SCOPED_TRACE(length);
        setText("Installed To:", gameOfLength(length - gameExe.size()));
        std::string media = dirOfLength(mediaDir, length - strlen("credits.txt"));
        writeTestFile(media + "credits.txt", "who made this");
        startFrom(media);
        boxes.clear();
        runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDC_VIEW_CREDITS)); }});
        EXPECT_EQ(shown(boxes), std::vector<std::string>{noViewer});
        EXPECT_EQ(strlen(installRecord.installDir) + gameExe.size(), length);
    }

    makeTestSubdir(root + "fake");
    std::string fake = dirOfLength(root + "fake\\", 128 - gameExe.size());
    makeTestSubdir(fake + gameExe);
    setText("Installed To:", fake);
    boxes.clear();
    EXPECT_FALSE(dialogTakesInput());
    EXPECT_EQ(shown(boxes), std::vector<std::string>{std::string(REFUSAL_CAPTION) + ": " + REFUSAL});
}
