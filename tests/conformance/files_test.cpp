// The file functions the installer relies on: the existence test, copy with and without
// overwriting, move, delete, attributes, free space, the Windows directory and _chmod.
#include <windows.h>


#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dialog_support.h"
#include "test_env.h"

namespace {

class Files : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = makeTestDir();
        writeTestFile(dir_ + "vk2.exe", "game");
        writeTestFile(dir_ + "pack.dat", "pack data");
    }

    void TearDown() override
    {
        // Read-only files would stay behind in the system's temporary directory.
        for (const char *name : {"vk2.exe", "pack.dat", "copy.dat", "ro.dat", "moved.dat"})
            if (testFileExists(dir_ + name))
                setTestFileReadOnly(dir_ + name, false);
    }

    std::string path(const char *name) const { return dir_ + name; }

    std::string dir_;
};

TEST_F(Files, OpenFileExistTestsAndDescribesAFile)
{
    OFSTRUCT of;
    memset(&of, 0x55, sizeof of);
    HFILE result = OpenFile(path("vk2.exe").c_str(), &of, OF_EXIST);
    EXPECT_NE(result, HFILE_ERROR) << GetLastError();
    EXPECT_EQ(of.cBytes, sizeof(OFSTRUCT));
    EXPECT_EQ(of.nErrCode, 0);
    EXPECT_STREQ(of.szPathName, path("vk2.exe").c_str());

    memset(&of, 0x55, sizeof of);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenFile(path("missing.exe").c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(of.nErrCode, ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenFile(path("missing\\vk2.exe").c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(Files, OpenFileRefusesADirectory)
{
    makeTestSubdir(path("vk2"));
    OFSTRUCT of;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenFile(path("vk2").c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(of.nErrCode, ERROR_ACCESS_DENIED);
}

TEST_F(Files, OpenFileTakesFullPathsUpTo127Characters)
{
    std::string base = dir_;
    ASSERT_LT(base.size(), 100u) << base;
    std::string longest = base + std::string(127 - base.size(), 'a');
    std::string tooLong = base + std::string(128 - base.size(), 'b');
    writeTestFile(longest, "x");
    writeTestFile(tooLong, "x");

    OFSTRUCT of;
    EXPECT_NE(OpenFile(longest.c_str(), &of, OF_EXIST), HFILE_ERROR) << GetLastError();
    EXPECT_STREQ(of.szPathName, longest.c_str());
    // The limit is on the full path, after the trailing blanks are gone.
    EXPECT_NE(OpenFile((longest + "      ").c_str(), &of, OF_EXIST), HFILE_ERROR) << GetLastError();

    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenFile(tooLong.c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
    EXPECT_EQ(of.nErrCode, ERROR_INVALID_DATA);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenFile((tooLong + "c").c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
}

TEST_F(Files, CopyCreatesOrOverwritesUnlessToldToFail)
{
    ASSERT_TRUE(CopyFileA(path("pack.dat").c_str(), path("copy.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_EQ(readTestFile(path("copy.dat")), "pack data");
    EXPECT_FALSE(isTestFileReadOnly(path("copy.dat")));

    ASSERT_TRUE(CopyFileA(path("vk2.exe").c_str(), path("copy.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_EQ(readTestFile(path("copy.dat")), "game");

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("copy.dat").c_str(), TRUE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
    EXPECT_EQ(readTestFile(path("copy.dat")), "game");
}

TEST_F(Files, CopyOfAReadOnlySourceIsReadOnly)
{
    writeTestFile(path("ro.dat"), "protected");
    setTestFileReadOnly(path("ro.dat"), true);
    ASSERT_TRUE(CopyFileA(path("ro.dat").c_str(), path("copy.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_TRUE(isTestFileReadOnly(path("copy.dat")));
    EXPECT_EQ(readTestFile(path("copy.dat")), "protected");
    EXPECT_NE(GetFileAttributesA(path("copy.dat").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(Files, CopyRefusesAReadOnlyDestinationUntilItIsMadeWritable)
{
    writeTestFile(path("ro.dat"), "old");
    setTestFileReadOnly(path("ro.dat"), true);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("ro.dat").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(readTestFile(path("ro.dat")), "old");

    EXPECT_TRUE(SetFileAttributesA(path("ro.dat").c_str(), FILE_ATTRIBUTE_NORMAL)) << GetLastError();
    EXPECT_FALSE(isTestFileReadOnly(path("ro.dat")));
    EXPECT_TRUE(CopyFileA(path("pack.dat").c_str(), path("ro.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_EQ(readTestFile(path("ro.dat")), "pack data");
}

TEST_F(Files, CopyFailuresLeaveNoDestination)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("missing.dat").c_str(), path("copy.dat").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("missing\\pack.dat").c_str(), path("copy.dat").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(testFileExists(path("copy.dat")));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("gamedat\\pack.dat").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, CopyOntoItselfIsASharingViolation)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("PACK.DAT  ").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    EXPECT_EQ(readTestFile(path("pack.dat")), "pack data");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("pack.dat").c_str(), TRUE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
}

TEST_F(Files, CopyRefusesDirectories)
{
    makeTestSubdir(path("vk2"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("vk2").c_str(), path("copy.dat").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(path("pack.dat").c_str(), path("vk2").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
}

TEST_F(Files, MoveRenamesButNeverReplaces)
{
    ASSERT_TRUE(MoveFileA(path("pack.dat").c_str(), path("moved.dat").c_str())) << GetLastError();
    EXPECT_FALSE(testFileExists(path("pack.dat")));
    EXPECT_EQ(readTestFile(path("moved.dat")), "pack data");

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileA(path("moved.dat").c_str(), path("vk2.exe").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_EQ(readTestFile(path("vk2.exe")), "game");
    EXPECT_EQ(readTestFile(path("moved.dat")), "pack data");
}

// With MOVEFILE_REPLACE_EXISTING a file takes another's place, but never a read-only file's or a
// directory's.
TEST_F(Files, MoveExReplacesAFileButNotAReadOnlyOneOrADirectory)
{
    ASSERT_TRUE(MoveFileExA(path("pack.dat").c_str(), path("vk2.exe").c_str(), MOVEFILE_REPLACE_EXISTING))
        << GetLastError();
    EXPECT_EQ(readTestFile(path("vk2.exe")), "pack data");
    EXPECT_FALSE(testFileExists(path("pack.dat")));

    writeTestFile(path("copy.dat"), "new");
    writeTestFile(path("ro.dat"), "ro");
    setTestFileReadOnly(path("ro.dat"), true);
    makeTestSubdir(path("dir"));
    SetLastError(0xdeadbeef);
    BOOL replaced = MoveFileExA(path("copy.dat").c_str(), path("ro.dat").c_str(), MOVEFILE_REPLACE_EXISTING);
    // Known Wine gap: Wine replaces a read-only file.
    if (!runningOnWine()) {
        EXPECT_FALSE(replaced);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
        EXPECT_EQ(readTestFile(path("ro.dat")), "ro");
    } else if (replaced) {
        writeTestFile(path("copy.dat"), "new");
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA(path("copy.dat").c_str(), path("dir").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(readTestFile(path("copy.dat")), "new");
}

// A file is flushed through a handle that may write, and shares the file every way; a read-only
// file gives none.
TEST_F(Files, FlushNeedsAHandleThatMayWrite)
{
    HANDLE file = CreateFileA(path("vk2.exe").c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(FlushFileBuffers(file)) << GetLastError();
    EXPECT_TRUE(CloseHandle(file));

    writeTestFile(path("ro.dat"), "ro");
    setTestFileReadOnly(path("ro.dat"), true);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA(path("ro.dat").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA(path("missing.dat").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          NULL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(Files, MoveTakesDirectoriesAndReadOnlyFiles)
{
    makeTestSubdir(path("vk2"));
    writeTestFile(path("vk2\\inside.dat"), "inside");
    ASSERT_TRUE(MoveFileA(path("vk2").c_str(), path("vk2new").c_str())) << GetLastError();
    EXPECT_EQ(readTestFile(path("vk2new\\inside.dat")), "inside");

    writeTestFile(path("ro.dat"), "ro");
    setTestFileReadOnly(path("ro.dat"), true);
    ASSERT_TRUE(MoveFileA(path("ro.dat").c_str(), path("vk2new\\ro.dat").c_str())) << GetLastError();
    EXPECT_TRUE(isTestFileReadOnly(path("vk2new\\ro.dat")));
    setTestFileReadOnly(path("vk2new\\ro.dat"), false);
}

TEST_F(Files, MoveOfAMissingFileOrIntoAMissingDirectoryFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileA(path("missing.dat").c_str(), path("moved.dat").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileA(path("pack.dat").c_str(), path("missing\\moved.dat").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(testFileExists(path("pack.dat")));
}

TEST_F(Files, DeleteRemovesAFileButNotAReadOnlyOneOrADirectory)
{
    EXPECT_TRUE(DeleteFileA(path("pack.dat").c_str())) << GetLastError();
    EXPECT_FALSE(testFileExists(path("pack.dat")));

    writeTestFile(path("ro.dat"), "ro");
    setTestFileReadOnly(path("ro.dat"), true);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(path("ro.dat").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(testFileExists(path("ro.dat")));

    makeTestSubdir(path("vk2"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(path("vk2").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(path("pack.dat").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(path("missing\\pack.dat").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, AttributesTellDirectoriesAndReadOnlyFiles)
{
    makeTestSubdir(path("vk2"));
    DWORD directory = GetFileAttributesA(path("vk2").c_str());
    EXPECT_NE(directory, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(directory & FILE_ATTRIBUTE_DIRECTORY, 0u) << directory;

    DWORD file = GetFileAttributesA(path("pack.dat").c_str());
    EXPECT_EQ(file & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), 0u) << file;
    setTestFileReadOnly(path("pack.dat"), true);
    file = GetFileAttributesA(path("pack.dat").c_str());
    EXPECT_EQ(file & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), (DWORD)FILE_ATTRIBUTE_READONLY) << file;
}

// Of the attributes the program sets, only the read-only one matters; a directory stays writable.
TEST_F(Files, SetAttributesSetsAndClearsReadOnly)
{
    const std::string pack = path("pack.dat");
    EXPECT_TRUE(SetFileAttributesA(pack.c_str(), FILE_ATTRIBUTE_READONLY)) << GetLastError();
    EXPECT_TRUE(isTestFileReadOnly(pack));
    EXPECT_TRUE(SetFileAttributesA(pack.c_str(), FILE_ATTRIBUTE_ARCHIVE)) << GetLastError();
    EXPECT_FALSE(isTestFileReadOnly(pack));
    EXPECT_TRUE(SetFileAttributesA(pack.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_TRUE(isTestFileReadOnly(pack));
    EXPECT_TRUE(SetFileAttributesA(pack.c_str(), FILE_ATTRIBUTE_NORMAL)) << GetLastError();
    EXPECT_FALSE(isTestFileReadOnly(pack));

    EXPECT_TRUE(SetFileAttributesA(dir_.c_str(), FILE_ATTRIBUTE_READONLY)) << GetLastError();
    EXPECT_TRUE(CopyFileA(pack.c_str(), path("copy.dat").c_str(), FALSE)) << GetLastError();
    EXPECT_TRUE(SetFileAttributesA(dir_.c_str(), FILE_ATTRIBUTE_NORMAL)) << GetLastError();

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetFileAttributesA(path("missing.dat").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetFileAttributesA(path("missing\\pack.dat").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, FreeSpaceOfADriveIsReportedInClusters)
{
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        << GetLastError();
    EXPECT_GT(sectorsPerCluster, 0u);
    EXPECT_GT(bytesPerSector, 0u);
    EXPECT_GE(totalClusters, freeClusters);

    // Every spelling of the root that Windows' path rules allow names the same drive; free space
    // may change between calls, the drive's layout does not.
    for (const char *root : {"c:\\", "C:/", "c:/", "C:\\\\"}) {
        DWORD sectors = 0, bytes = 0, clusters = 0;
        EXPECT_TRUE(GetDiskFreeSpaceA(root, &sectors, &bytes, nullptr, &clusters)) << root << ": " << GetLastError();
        EXPECT_EQ(sectors, sectorsPerCluster) << root;
        EXPECT_EQ(bytes, bytesPerSector) << root;
        EXPECT_EQ(clusters, totalClusters) << root;
    }
}

TEST_F(Files, FreeSpaceOfNoDriveFails)
{
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetDiskFreeSpaceA("Q:\\", &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST(WindowsDirectory, ReportsItsLengthOrTheSizeItNeeds)
{
    char buffer[MAX_PATH];
    UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    ASSERT_GT(length, 3u);
    ASSERT_LT(length, sizeof buffer);
    EXPECT_EQ(strlen(buffer), length);
    EXPECT_EQ(std::string(buffer + 1, 2), ":\\") << buffer;
    EXPECT_NE(GetFileAttributesA(buffer) & FILE_ATTRIBUTE_DIRECTORY, 0u) << buffer;

    // Too small a buffer, even by the terminator alone, gets nothing and the size it needs.
    char small[MAX_PATH];
    memset(small, 'x', sizeof small);
    EXPECT_EQ(GetWindowsDirectoryA(small, length), length + 1);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(GetWindowsDirectoryA(small, 0), length + 1);
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), length + 1);
    EXPECT_EQ(GetWindowsDirectoryA(small, length + 1), length);
    EXPECT_STREQ(small, buffer);
}

} // namespace
