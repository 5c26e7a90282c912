// CopyFileA on the layer: large files byte for byte on each copy path, times and modes, the
// simulated copy faults, permissions decided from the mode bits even for root, special files and
// links in a destination's place.
#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>

#include "layer_control.h"
#include "test_env.h"

namespace {

// Bytes that repeat only after a long stretch, so a misplaced block shows.
std::string pattern(size_t size)
{
    std::string data(size, '\0');
    uint32_t state = 12345;
    for (char &c : data) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return data;
}

struct stat statOf(const std::string &dosPath)
{
    struct stat st = {};
    EXPECT_EQ(0, stat(nativePath(dosPath).c_str(), &st)) << dosPath;
    return st;
}

class Copy : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = makeTestDir();
        writeTestFile(dir_ + "pack.dat", "0123456789");
        writeTestFile(dir_ + "old.dat", "old contents");
    }

    void TearDown() override { EXPECT_STREQ("", layerReset()) << "scripted but never used"; }

    std::string path(const char *name) const { return dir_ + name; }

    std::string dir_;
};

TEST_F(Copy, LargeFileIsByteIdenticalOnTheFastAndThePlainPath)
{
    const std::string data = pattern((24u << 20) + 7);
    writeTestFile(path("big.dat"), data);
    ASSERT_TRUE(CopyFileA(path("big.dat").c_str(), path("fast.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_TRUE(readTestFile(path("fast.dat")) == data);

    layerUsePlainCopy(TRUE);
    ASSERT_TRUE(CopyFileA(path("big.dat").c_str(), path("old.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_EQ(readTestFile(path("old.dat")).size(), data.size());
    EXPECT_TRUE(readTestFile(path("old.dat")) == data);
}

TEST_F(Copy, CopiesAcrossFileSystems)
{
    // /dev/shm is a tmpfs of its own on most systems, where copy_file_range may be refused.
    struct statvfs shm;
    struct statvfs drive;
    if (statvfs("/dev/shm", &shm) != 0 || statvfs(nativePath(dir_).c_str(), &drive) != 0 || shm.f_fsid == drive.f_fsid)
        GTEST_SKIP() << "no second file system at /dev/shm";
    std::string source = "Z:\\dev\\shm\\layer-copy-" + std::to_string(getpid()) + ".dat";
    std::string native = "/dev/shm/layer-copy-" + std::to_string(getpid()) + ".dat";
    const std::string data = pattern((3u << 20) + 1);
    writeTestFile(native, data);
    EXPECT_TRUE(CopyFileA(source.c_str(), path("shm.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_TRUE(readTestFile(path("shm.dat")) == data);
    EXPECT_TRUE(CopyFileA(path("shm.dat").c_str(), source.c_str(), FALSE)) << GetLastError();
    EXPECT_TRUE(readTestFile(native) == data);
    unlink(native.c_str());
}

TEST_F(Copy, DestinationTakesTheLastWriteTimeAndTheReadOnlyAttribute)
{
    struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, nativePath(path("pack.dat")).c_str(), times, 0));
    ASSERT_TRUE(CopyFileA(path("pack.dat").c_str(), path("old.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_EQ(statOf(path("old.dat")).st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(statOf(path("old.dat")).st_mtim.tv_nsec, 500);

    ASSERT_EQ(0, chmod(nativePath(path("pack.dat")).c_str(), 0644));
    ASSERT_TRUE(SetFileAttributesA(path("pack.dat").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(statOf(path("pack.dat")).st_mode & 0777, 0444u);
    ASSERT_TRUE(CopyFileA(path("pack.dat").c_str(), path("copy.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_EQ(statOf(path("copy.dat")).st_mode & 0222, 0u);
}

TEST_F(Copy, ClearingReadOnlyAddsOnlyTheOwnersWriteBit)
{
    ASSERT_EQ(0, chmod(nativePath(path("pack.dat")).c_str(), 0440));
    ASSERT_TRUE(SetFileAttributesA(path("pack.dat").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(statOf(path("pack.dat")).st_mode & 0777, 0640u);
    ASSERT_EQ(0, chmod(nativePath(path("pack.dat")).c_str(), 0666));
    ASSERT_TRUE(SetFileAttributesA(path("pack.dat").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(statOf(path("pack.dat")).st_mode & 0777, 0444u);
}

TEST_F(Copy, FaultBeforeWritingLeavesTheDestinationAlone)
{
    layerFailCopy("OLD.DAT", LAYER_COPY_FAILS, 0, ERROR_SHARING_VIOLATION);
    // Another destination is not affected.
    EXPECT_TRUE(CopyFileA(path("pack.dat").c_str(), path("copy.dat").c_str(), FALSE)) << GetLastError();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("old.dat    ").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    EXPECT_EQ(readTestFile(path("old.dat")), "old contents");
    // The fault strikes once.
    EXPECT_TRUE(CopyFileA(path("pack.dat").c_str(), path("old.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_EQ(readTestFile(path("old.dat")), "0123456789");
}

TEST_F(Copy, FullDiskRemovesThePartlyWrittenDestination)
{
    layerFailCopy(nullptr, LAYER_COPY_DISK_FULL, 4, 0);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("new.dat").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_FALSE(testFileExists(path("new.dat")));

    // An overwritten file was already emptied; Windows removes it too.
    layerFailCopy("old.dat", LAYER_COPY_DISK_FULL, 4, 0);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("old.dat").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_FALSE(testFileExists(path("old.dat")));
}

TEST_F(Copy, InterruptedCopyLeavesThePartAlreadyWritten)
{
    layerFailCopy("new.dat", LAYER_COPY_INTERRUPTED, 6, ERROR_GEN_FAILURE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("NEW.DAT").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_GEN_FAILURE);
    EXPECT_EQ(readTestFile(path("NEW.DAT")), "012345");
}

TEST_F(Copy, ScriptedFailureTouchesNothing)
{
    layerFailCall("CopyFileA", ERROR_ACCESS_DENIED, 1);
    EXPECT_TRUE(CopyFileA(path("pack.dat").c_str(), path("copy.dat").c_str(), FALSE)) << GetLastError();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("old.dat").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(readTestFile(path("old.dat")), "old contents");
}

TEST_F(Copy, FaultsThatNeverStrikeAreToldByTheReset)
{
    layerFailCall("CopyFile", ERROR_ACCESS_DENIED, 0);
    layerFailCall("CopyFileA", ERROR_ACCESS_DENIED, 1);
    layerFailCopy("OLD.DAT", LAYER_COPY_FAILS, 0, ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(CopyFileA(path("pack.dat").c_str(), path("copy.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_STREQ("layerFailCall(\"CopyFile\"), layerFailCall(\"CopyFileA\"), layerFailCopy(\"old.dat\")",
                 layerReset());
    EXPECT_TRUE(CopyFileA(path("pack.dat").c_str(), path("old.dat").c_str(), FALSE)) << "all dropped";
    EXPECT_STREQ("", layerReset());
}

// These hold for every user; run as root (as CI does) they prove that root's bypass of the file
// permissions does not show through the layer.
TEST_F(Copy, ReadOnlyFilesAreProtectedFromEveryUser)
{
    setTestFileReadOnly(path("old.dat"), true);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("old.dat").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(path("old.dat").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(readTestFile(path("old.dat")), "old contents");
    EXPECT_NE(GetFileAttributesA(path("old.dat").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    setTestFileReadOnly(path("old.dat"), false);
}

TEST_F(Copy, DirectoryWithoutWriteBitsTakesNoNewNames)
{
    makeTestSubdir(path("locked"));
    writeTestFile(path("locked\\inside.dat"), "inside");
    ASSERT_EQ(0, chmod(nativePath(path("locked")).c_str(), 0555));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("locked\\new.dat").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(path("locked\\inside.dat").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileA(path("pack.dat").c_str(), path("locked\\pack.dat").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_FALSE(testFileExists(path("locked\\new.dat")));
    EXPECT_TRUE(testFileExists(path("locked\\inside.dat")));
    EXPECT_TRUE(testFileExists(path("pack.dat")));
    chmod(nativePath(path("locked")).c_str(), 0755);
}

// What is neither a file nor a directory is no file to copy, write or flush, whether it is the
// source or stands in the destination's place, and nothing waits on it: a FIFO with no one at its
// other end, a device.
TEST_F(Copy, SpecialFilesAreRefusedWithoutWaiting)
{
    ASSERT_EQ(0, mkfifo(nativePath(path("fifo")).c_str(), 0644));
    struct Case {
        std::string source, destination;
    };
    const Case cases[] = {
        {path("fifo"), path("copy.dat")}, {"Z:\\dev\\zero", path("copy.dat")}, {path("pack.dat"), path("fifo")}};
    for (const Case &c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CopyFileA(c.source.c_str(), c.destination.c_str(), FALSE)) << c.source << " to " << c.destination;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FUNCTION) << c.source << " to " << c.destination;
    }
    EXPECT_FALSE(testFileExists(path("copy.dat")));
    EXPECT_TRUE(S_ISFIFO(statOf(path("fifo")).st_mode));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA(path("fifo").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FUNCTION);
}

// A link that stands in the place of a file the program writes, renames onto or makes writable is
// replaced or left alone, never written through, wherever it leads: to a read-only file or to a
// name not yet taken. A link to a directory is followed as the directory.
TEST_F(Copy, LinksInADestinationsPlaceAreNeverWrittenThrough)
{
    makeTestSubdir(path("elsewhere"));
    writeTestFile(path("elsewhere\\target.dat"), "outside");
    ASSERT_EQ(0, chmod(nativePath(path("elsewhere\\target.dat")).c_str(), 0444));
    std::string target = nativePath(path("elsewhere\\target.dat"));
    std::string unborn = nativePath(path("elsewhere\\unborn.dat"));
    for (const char *name : {"link.dat", "moved.dat", "kept.dat"})
        ASSERT_EQ(0, symlink(target.c_str(), nativePath(path(name)).c_str()));
    ASSERT_EQ(0, symlink(unborn.c_str(), nativePath(path("dangling.dat")).c_str()));
    ASSERT_EQ(0, symlink(nativePath(path("elsewhere")).c_str(), nativePath(path("dirlink")).c_str()));

    EXPECT_TRUE(CopyFileA(path("pack.dat").c_str(), path("link.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_TRUE(CopyFileA(path("pack.dat").c_str(), path("dangling.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_TRUE(MoveFileExA(path("old.dat").c_str(), path("moved.dat").c_str(), MOVEFILE_REPLACE_EXISTING))
        << GetLastError();
    EXPECT_TRUE(SetFileAttributesA(path("kept.dat").c_str(), FILE_ATTRIBUTE_NORMAL)) << GetLastError();
    EXPECT_TRUE(CopyFileA(path("pack.dat").c_str(), path("dirlink\\through.dat").c_str(), FALSE)) << GetLastError();

    struct stat st;
    for (const char *name : {"link.dat", "dangling.dat", "moved.dat"})
        EXPECT_TRUE(lstat(nativePath(path(name)).c_str(), &st) == 0 && S_ISREG(st.st_mode)) << name;
    EXPECT_EQ(readTestFile(path("link.dat")), "0123456789");
    EXPECT_EQ(readTestFile(path("moved.dat")), "old contents");
    EXPECT_EQ(readTestFile(path("elsewhere\\target.dat")), "outside");
    EXPECT_EQ(statOf(path("elsewhere\\target.dat")).st_mode & 0777, 0444u);
    EXPECT_FALSE(testFileExists(path("elsewhere\\unborn.dat")));
    EXPECT_EQ(readTestFile(path("elsewhere\\through.dat")), "0123456789");
    chmod(target.c_str(), 0644);
}

} // namespace
