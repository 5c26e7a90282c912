// Installing the packs with the Windows build: every file arrives byte for byte, the game's
// executable is saved once, and each failure shows the boxes it should while the run goes on.
#include "e2e_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "install/manifest.h"
#include "tests/manifest_rows.h"

namespace {

std::string contentOf(const std::string &name)
{
    std::string content = "pack file " + name + "\n";
    for (size_t i = 0; i < 3000 + name.size() * 517; ++i)
        content += static_cast<char>('a' + (i * 7 + name.size()) % 26);
    return content;
}

const char PACK1_STATUS[] = "Installing VK2: Delvarin 1";

// The names of the files that are created, renamed or deleted in a directory while it is watched,
// as Windows reports the directory's changes: it sees a name that exists only for an instant.
class NameWatch {
public:
    explicit NameWatch(const std::string &dir)
        : dir_(CreateFileA(dir.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr))
    {
        done_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        watching_ = read();
    }
    ~NameWatch()
    {
        DWORD size;
        if (watching_ && CancelIo(dir_))
            GetOverlappedResult(dir_, &done_, &size, TRUE);
        CloseHandle(done_.hEvent);
        CloseHandle(dir_);
    }
    NameWatch(const NameWatch &) = delete;
    NameWatch &operator=(const NameWatch &) = delete;

    bool watching() const { return watching_; }

    // Every name reported until the directory has been quiet for a second.
    std::vector<std::string> names()
    {
        DWORD size;
        while (watching_ && WaitForSingleObject(done_.hEvent, 1000) == WAIT_OBJECT_0) {
            watching_ = GetOverlappedResult(dir_, &done_, &size, FALSE) && size > 0;
            for (DWORD at = 0; watching_;) {
                const FILE_NOTIFY_INFORMATION *change = reinterpret_cast<const FILE_NOTIFY_INFORMATION *>(
                    reinterpret_cast<const BYTE *>(changes_) + at);
                char name[MAX_PATH];
                int length = WideCharToMultiByte(CP_ACP, 0, change->FileName, change->FileNameLength / 2, name,
                                                 sizeof name, nullptr, nullptr);
                names_.push_back(std::string(name, length));
                if (!change->NextEntryOffset)
                    break;
                at += change->NextEntryOffset;
            }
            watching_ = watching_ && read();
        }
        return names_;
    }

private:
    bool read()
    {
        ResetEvent(done_.hEvent);
        return ReadDirectoryChangesW(dir_, changes_, sizeof changes_, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME, nullptr,
                                     &done_, nullptr);
    }

    HANDLE dir_;
    OVERLAPPED done_{};
    bool watching_ = false;
    DWORD changes_[16384]; // FILE_NOTIFY_INFORMATION records, DWORD-aligned
    std::vector<std::string> names_;
};

} // namespace

class InstallE2E : public GameTest {
protected:
    void SetUp() override
    {
        GameTest::SetUp();
        for (const ManifestEntry *manifest : {delvarin1Manifest, delvarin2Manifest})
            for (const ManifestEntry *entry = manifest; entry->fileName[0]; ++entry)
                writeFile(mediaDir_ + trimmed(entry->fileName), contentOf(trimmed(entry->fileName)));
    }

    std::string destination(const ManifestEntry &entry) const
    {
        return gameDir_ + entry.subdirectory + trimmed(entry.fileName);
    }

    // Every file of the manifest is installed, byte for byte, and writable.
    void expectInstalled(const ManifestEntry *manifest) const
    {
        for (const ManifestEntry *entry = manifest; entry->fileName[0]; ++entry) {
            EXPECT_EQ(readFile(destination(*entry)), contentOf(trimmed(entry->fileName)))
                << destination(*entry);
            DWORD attributes = GetFileAttributesA(destination(*entry).c_str());
            EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u) << destination(*entry);
        }
    }

    // The panel after a run: hidden, disabled, emptied.
    static void expectPanelClosed(const DialogSnapshot &shot)
    {
        for (const DialogSnapshot::Control *control : {&shot.frame, &shot.status1, &shot.status2, &shot.bar})
            EXPECT_TRUE(!control->visible && !control->enabled);
        EXPECT_EQ(shot.status1Text, "");
        EXPECT_EQ(shot.status2Text, "");
        EXPECT_EQ(shot.barPosition, 0);
    }

    // A "copyFiles" box for entry `index` of pack 1, with the panel showing that file.
    void expectCopyBox(const BoxRecord &box, size_t index) const
    {
        const ManifestEntry &entry = delvarin1Manifest[index];
        std::string source = mediaDir_ + entry.fileName;
        std::string target = gameDir_ + entry.subdirectory + entry.fileName;
        EXPECT_EQ(box.caption, "copyFiles");
        EXPECT_EQ(box.text, "Could not copy file '" + source + "' to '" + target + "'");
        EXPECT_TRUE(box.ownedByDialog && !box.icon);
        EXPECT_TRUE(box.dialog.visible && box.dialog.bar.visible && box.dialog.bar.enabled);
        EXPECT_EQ(box.dialog.status1Text, PACK1_STATUS);
        EXPECT_EQ(box.dialog.status2Text, entry.fileName);
        EXPECT_EQ(box.dialog.barLow, 0);
        EXPECT_EQ(box.dialog.barHigh, manifestRows(delvarin1Manifest));
        EXPECT_EQ(box.dialog.barPosition, (int)index) << "the bar steps after the box";
    }

    size_t indexOf(const char *name) const
    {
        for (size_t i = 0; delvarin1Manifest[i].fileName[0]; ++i)
            if (trimmed(delvarin1Manifest[i].fileName) == name)
                return i;
        ADD_FAILURE() << name << " is not in the manifest";
        return 0;
    }
};

TEST_F(InstallE2E, InstallsBothPacksAndSavesTheGameOnce)
{
    Installer installer(mediaDir_);
    ASSERT_NE(installer.waitForDialog(), nullptr);

    std::vector<BoxRecord> boxes;
    ASSERT_TRUE(installer.press(1000, &boxes));
    EXPECT_TRUE(boxes.empty()) << describe(boxes);
    expectInstalled(delvarin1Manifest);
    EXPECT_EQ(readFile(gameDir_ + "vk2\\Velk2.exe"), GAME_EXE_CONTENT);
    EXPECT_FALSE(fileExists(gameDir_ + "vk2\\Velk2.tmp"));
    EXPECT_FALSE(fileExists(gameDir_ + "vk2\\dv2.exe"));
    DialogSnapshot shot = installer.snapshot();
    expectPanelClosed(shot);
    EXPECT_EQ(shot.barHigh, manifestRows(delvarin1Manifest)) << "the last run's range stays";

    ASSERT_TRUE(installer.press(1001, &boxes));
    EXPECT_TRUE(boxes.empty()) << describe(boxes);
    expectInstalled(delvarin2Manifest);
    expectInstalled(delvarin1Manifest);
    EXPECT_EQ(readFile(gameDir_ + "vk2\\Velk2.exe"), GAME_EXE_CONTENT);
    expectPanelClosed(installer.snapshot());

    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
}

// A second install of a pack replaces its own writable files without a word, and keeps the backup
// of the game as it was before any pack. On Windows 95 and 98 the old file steps aside under a name
// of its own while the new one takes its place, and elsewhere not; no name of the replace is left.
TEST_F(InstallE2E, AReinstallReplacesEverythingSilently)
{
    Installer installer(mediaDir_);
    ASSERT_NE(installer.waitForDialog(), nullptr);
    ASSERT_TRUE(installer.press(1000));
    writeFile(gameDir_ + "vk2\\dv1.exe", "changed since");
    NameWatch watch(gameDir_ + "vk2");
    ASSERT_TRUE(watch.watching()) << GetLastError();
    std::vector<BoxRecord> boxes;
    ASSERT_TRUE(installer.press(1000, &boxes));
    EXPECT_TRUE(boxes.empty()) << describe(boxes);
    expectInstalled(delvarin1Manifest);
    EXPECT_EQ(readFile(gameDir_ + "vk2\\Velk2.exe"), GAME_EXE_CONTENT);
    std::vector<std::string> names = watch.names();
    std::string seen;
    for (const std::string &name : names)
        seen += " " + name;
    bool aside = std::find(names.begin(), names.end(), "~DA12-old~dv1.exe") != names.end();
    EXPECT_EQ(aside, reportsWindows9x()) << "names seen:" << seen;
    EXPECT_NE(std::find(names.begin(), names.end(), "dv1.exe"), names.end()) << "names seen:" << seen;
    for (const char *dir : {"vk2\\", "vk2\\gamedat\\"}) {
        WIN32_FIND_DATAA found{};
        HANDLE find = FindFirstFileA((gameDir_ + dir + "~DA12*").c_str(), &found);
        EXPECT_EQ(find, INVALID_HANDLE_VALUE) << dir << found.cFileName;
        if (find != INVALID_HANDLE_VALUE)
            FindClose(find);
    }
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
}

// Windows refuses to replace a read-only file; the run reports it, goes on, and makes the file
// writable, so that the next install replaces it.
TEST_F(InstallE2E, AReadOnlyDestinationIsReportedThenMadeWritable)
{
    size_t index = indexOf("ARROW.WAV");
    std::string target = destination(delvarin1Manifest[index]);
    writeFile(target, "an older file");
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));

    Installer installer(mediaDir_);
    ASSERT_NE(installer.waitForDialog(), nullptr);
    std::vector<BoxRecord> boxes;
    ASSERT_TRUE(installer.press(1000, &boxes));
    ASSERT_EQ(boxes.size(), 1u) << describe(boxes);
    expectCopyBox(boxes[0], index);
    EXPECT_EQ(readFile(target), "an older file");
    EXPECT_EQ(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    const ManifestEntry &last = delvarin1Manifest[manifestRows(delvarin1Manifest) - 1];
    EXPECT_EQ(readFile(destination(last)), contentOf(trimmed(last.fileName))) << "the files after it";

    ASSERT_TRUE(installer.press(1000, &boxes));
    EXPECT_TRUE(boxes.empty()) << describe(boxes);
    expectInstalled(delvarin1Manifest);
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
}

// A file that another program holds open cannot be replaced: the same box, and the run goes on.
TEST_F(InstallE2E, ADestinationInUseIsReported)
{
    size_t index = indexOf("dv1.exe");
    std::string target = destination(delvarin1Manifest[index]);
    writeFile(target, "running");
    HANDLE inUse = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(inUse, INVALID_HANDLE_VALUE);

    Installer installer(mediaDir_);
    ASSERT_NE(installer.waitForDialog(), nullptr);
    std::vector<BoxRecord> boxes;
    ASSERT_TRUE(installer.press(1000, &boxes));
    CloseHandle(inUse);
    ASSERT_GE(boxes.size(), 1u) << describe(boxes);
    expectCopyBox(boxes[0], index);
    // Making the file writable needs only its attributes, which an open file still gives.
    EXPECT_EQ(boxes.size(), 1u) << describe(boxes);
    EXPECT_EQ(readFile(target), "running");
    EXPECT_EQ(readFile(gameDir_ + "vk2\\Velk2.exe"), GAME_EXE_CONTENT);
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
}

// No directory is created: each data file fails to copy, and then cannot be made writable.
TEST_F(InstallE2E, AMissingDataDirectoryFailsEachDataFileWithTwoBoxes)
{
    ASSERT_TRUE(RemoveDirectoryA((gameDir_ + "vk2\\gamedat").c_str()));
    Installer installer(mediaDir_);
    ASSERT_NE(installer.waitForDialog(), nullptr);
    std::vector<BoxRecord> boxes;
    ASSERT_TRUE(installer.press(1000, &boxes, 180000));

    size_t next = 0;
    for (size_t i = 0; delvarin1Manifest[i].fileName[0]; ++i) {
        const ManifestEntry &entry = delvarin1Manifest[i];
        if (strcmp(entry.subdirectory, "vk2\\gamedat\\") != 0) {
            EXPECT_EQ(readFile(destination(entry)), contentOf(trimmed(entry.fileName)));
            continue;
        }
        ASSERT_LT(next + 1, boxes.size()) << entry.fileName;
        expectCopyBox(boxes[next], i);
        EXPECT_EQ(boxes[next + 1].caption, "File not found to _chmod");
        EXPECT_EQ(boxes[next + 1].text, gameDir_ + entry.subdirectory + entry.fileName);
        next += 2;
    }
    EXPECT_EQ(next, boxes.size()) << describe(boxes);
    EXPECT_FALSE(fileExists(gameDir_ + "vk2\\gamedat"));
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
}

// The game's executable held open without sharing cannot be saved: the install stops before any
// pack file, and a later install, once it is free, saves it.
TEST_F(InstallE2E, AGameThatCannotBeSavedStopsTheInstall)
{
    Installer installer(mediaDir_);
    ASSERT_NE(installer.waitForDialog(), nullptr);
    std::string game = gameDir_ + "vk2\\vk2.exe";
    HANDLE locked = CreateFileA(game.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);

    std::vector<BoxRecord> boxes;
    ASSERT_TRUE(installer.press(1001, &boxes));
    CloseHandle(locked);
    ASSERT_EQ(boxes.size(), 1u) << describe(boxes);
    EXPECT_EQ(boxes[0].caption, "Delvarin 2 Installation Aborted");
    EXPECT_EQ(boxes[0].text, "Unable to copy file:\nfrom '" + gameDir_ + "\\vk2\\vk2.exe' to '" + gameDir_ +
                                 "\\vk2\\Velk2.exe'");
    EXPECT_TRUE(boxes[0].ownedByDialog && !boxes[0].icon);
    EXPECT_FALSE(boxes[0].dialog.bar.visible) << "no file of the pack was touched";
    EXPECT_FALSE(fileExists(gameDir_ + "vk2\\Velk2.exe"));
    EXPECT_FALSE(fileExists(gameDir_ + "vk2\\Velk2.tmp"));
    EXPECT_FALSE(fileExists(gameDir_ + "vk2\\dv2.exe"));
    EXPECT_EQ(readFile(game), GAME_EXE_CONTENT);

    ASSERT_TRUE(installer.press(1001, &boxes));
    EXPECT_TRUE(boxes.empty()) << describe(boxes);
    EXPECT_EQ(readFile(gameDir_ + "vk2\\Velk2.exe"), GAME_EXE_CONTENT);
    expectInstalled(delvarin2Manifest);
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
}

// On a drive with less than 7 MB free the install warns and writes nothing. The drive is a small
// file system that the test script maps as T: (DA12_SMALL_DRIVE names it), so its free space is
// exact.
TEST_F(InstallE2E, TooLittleSpaceWarnsAndWritesNothing)
{
    if (!getenv("DA12_SMALL_DRIVE"))
        GTEST_SKIP() << "no small drive T: (scripts/test maps one when run as root)";
    std::string smallGame = "T:\\da12e2e-space\\";
    removeTree(smallGame);
    installGame(smallGame);

    ULARGE_INTEGER available, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExA("T:\\", &available, &total, &free));
    ASSERT_LT(free.QuadPart, 7u << 20) << "T: has room for the pack";
    // The megabytes as a float, to three decimals rounded half away from zero, as MSVCRT rounds
    // them (6.0625 gives 6.063): not as this C library's printf may round.
    double megabytes = (float)(free.QuadPart / 1048576.0);
    long long thousandths = (long long)(megabytes * 1000 + 0.5);
    char expected[512];
    snprintf(expected, sizeof expected,
             "Drive T: only has %lld.%03lld MB of available hard drive space.\nThe game you are trying to "
             "install requires 7 MB of hard drive space.\nPlease free up the required disk space and "
             "try again.",
             thousandths / 1000, thousandths % 1000);

    Installer installer(mediaDir_);
    ASSERT_NE(installer.waitForDialog(), nullptr);
    std::vector<BoxRecord> boxes;
    ASSERT_TRUE(installer.press(1000, &boxes));
    ASSERT_EQ(boxes.size(), 1u) << describe(boxes);
    EXPECT_EQ(boxes[0].caption, "Not enough disk space for installation");
    EXPECT_EQ(boxes[0].text, expected);
    EXPECT_TRUE(boxes[0].icon && boxes[0].ownedByDialog);
    EXPECT_FALSE(fileExists(smallGame + "vk2\\Velk2.exe"));
    EXPECT_FALSE(fileExists(smallGame + "vk2\\dv1.exe"));
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
    removeTree(smallGame);
}

// The disk fills up: every file of both manifests that cannot be written is reported, and each
// file it was to replace, the game's executable first, stays exactly as it was; no part is left.
// The game still starts, and once space is free again a second run completes. The drive is the
// small file system mapped as T:, filled to its last byte. The record names the game from the root
// of T:, the installer's own drive, without a drive letter: the free-space query then gives no
// answer and the install goes on, as it would on a drive that fills up during the copy.
TEST_F(InstallE2E, AFullDiskKeepsEveryFileItWasToReplace)
{
    if (!getenv("DA12_SMALL_DRIVE"))
        GTEST_SKIP() << "no small drive T: (scripts/test maps one when run as root)";
    const std::string base = "T:\\da12e2e-full\\";
    const std::string game = "\\da12e2e-full\\game\\";
    const std::string media = base + "media\\";
    const std::string filler = base + "filler";
    removeTree(base);
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(media.c_str(), nullptr));
    for (const ManifestEntry *manifest : {delvarin1Manifest, delvarin2Manifest})
        for (const ManifestEntry *entry = manifest; entry->fileName[0]; ++entry)
            writeFile(media + trimmed(entry->fileName), contentOf(trimmed(entry->fileName)));
    installGame("T:" + game);
    writeInstallRecord(game, 1);
    writeFile("T:" + game + "vk2\\Velk2.exe", GAME_EXE_CONTENT);

    HANDLE fill = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(fill, INVALID_HANDLE_VALUE);
    std::string block(4096, 'f');
    DWORD written = 0;
    for (DWORD size : {4096u, 512u, 1u})
        while (WriteFile(fill, block.data(), size, &written, nullptr) && written == size)
            ;
    CloseHandle(fill);
    ULARGE_INTEGER available, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExA("T:\\", &available, &total, &free));
    ASSERT_LT(free.QuadPart, 4096u) << "T: is not full";

    {
        Installer installer(media);
        ASSERT_NE(installer.waitForDialog(), nullptr);
        for (int pack : {1, 2}) {
            const ManifestEntry *manifest = pack == 1 ? delvarin1Manifest : delvarin2Manifest;
            std::vector<BoxRecord> boxes;
            ASSERT_TRUE(installer.press(999 + pack, &boxes, 600000));
            // Each file fails to copy; each but the game's executable, absent before, also fails
            // to be made writable.
            std::vector<std::string> want, got;
            for (int i = 0; i < manifestRows(manifest); ++i) {
                want.push_back("copyFiles " + std::string(manifest[i].fileName));
                if (i > 0)
                    want.push_back("File not found to _chmod " + std::string(manifest[i].fileName));
            }
            for (const BoxRecord &box : boxes)
                got.push_back(box.caption + " " + box.dialog.status2Text);
            EXPECT_EQ(got, want) << "pack " << pack;
            EXPECT_EQ(readFile("T:" + game + "vk2\\vk2.exe"), GAME_EXE_CONTENT) << "pack " << pack;
        }
        installer.close();
        EXPECT_EQ(installer.finish(), 0u);
    }
    for (const char *dir : {"vk2\\", "vk2\\gamedat\\"})
        EXPECT_FALSE(fileExists("T:" + game + dir + "~DA12~")) << dir;

    ASSERT_TRUE(DeleteFileA(filler.c_str()));
    Installer installer(media);
    ASSERT_NE(installer.waitForDialog(), nullptr) << describe(installer.boxes());
    for (int pack : {1, 2}) {
        std::vector<BoxRecord> boxes;
        ASSERT_TRUE(installer.press(999 + pack, &boxes));
        EXPECT_TRUE(boxes.empty()) << describe(boxes);
        for (const ManifestEntry *entry = pack == 1 ? delvarin1Manifest : delvarin2Manifest; entry->fileName[0]; ++entry)
            EXPECT_EQ(readFile("T:" + game + entry->subdirectory + trimmed(entry->fileName)),
                      contentOf(trimmed(entry->fileName)));
    }
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
    removeTree(base);
}
