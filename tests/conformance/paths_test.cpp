// How the file functions read a path: blanks and dots after the last name, doubled backslashes,
// "." and "..", names that differ in case, and the errors of paths that lead nowhere.
#include <windows.h>


#include <gtest/gtest.h>

#include <string>

#include "test_env.h"

namespace {

class Paths : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = makeTestDir();
        makeTestSubdir(dir_ + "gamedat");
        writeTestFile(dir_ + "NAME.DAT", "name");
    }

    std::string dir_;
};

TEST_F(Paths, BlankFilledNameAddressesTheFileWithoutBlanks)
{
    std::string padded = dir_ + "NAME.DAT    ";
    OFSTRUCT of;
    EXPECT_NE(OpenFile(padded.c_str(), &of, OF_EXIST), HFILE_ERROR) << GetLastError();
    EXPECT_STREQ(of.szPathName, (dir_ + "NAME.DAT").c_str());
    EXPECT_EQ(GetFileAttributesA((dir_ + "NAME.DAT. . ").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

    ASSERT_TRUE(CopyFileA(padded.c_str(), (dir_ + "gamedat\\COPY.DAT    ").c_str(), FALSE)) << GetLastError();
    EXPECT_EQ(readTestFile(dir_ + "gamedat\\COPY.DAT"), "name");

    EXPECT_TRUE(SetFileAttributesA((dir_ + "gamedat\\COPY.DAT    ").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(isTestFileReadOnly(dir_ + "gamedat\\COPY.DAT"));
    EXPECT_TRUE(SetFileAttributesA((dir_ + "gamedat\\COPY.DAT    ").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA((dir_ + "gamedat\\COPY.DAT    ").c_str())) << GetLastError();
    EXPECT_FALSE(testFileExists(dir_ + "gamedat\\COPY.DAT"));
}

TEST_F(Paths, DoubledBackslashesCountAsOne)
{
    // The install directory ends with a backslash and the subdirectory begins with one.
    std::string doubled = dir_ + "\\gamedat\\\\COPY.DAT";
    ASSERT_TRUE(CopyFileA((dir_ + "\\NAME.DAT").c_str(), doubled.c_str(), FALSE)) << GetLastError();
    EXPECT_EQ(readTestFile(dir_ + "gamedat\\COPY.DAT"), "name");
    OFSTRUCT of;
    EXPECT_NE(OpenFile(doubled.c_str(), &of, OF_EXIST), HFILE_ERROR) << GetLastError();
    EXPECT_STREQ(of.szPathName, (dir_ + "gamedat\\COPY.DAT").c_str());
}

TEST_F(Paths, DotAndDotDotComponentsResolve)
{
    OFSTRUCT of;
    std::string path = dir_ + "gamedat\\.\\..\\gamedat\\..\\NAME.DAT";
    EXPECT_NE(OpenFile(path.c_str(), &of, OF_EXIST), HFILE_ERROR) << GetLastError();
    EXPECT_STREQ(of.szPathName, (dir_ + "NAME.DAT").c_str());
    // An inner name loses one trailing dot; its blanks belong to it.
    writeTestFile(dir_ + "gamedat\\inner.dat", "inner");
    EXPECT_EQ(GetFileAttributesA((dir_ + "gamedat.\\inner.dat").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA((dir_ + "gamedat \\inner.dat").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Paths, NamesMatchWithoutRegardToCase)
{
    writeTestFile(dir_ + "gamedat\\LEVEL01.MAP", "old");
    OFSTRUCT of;
    EXPECT_NE(OpenFile((dir_ + "GAMEDAT\\level01.map").c_str(), &of, OF_EXIST), HFILE_ERROR) << GetLastError();
    // A copy onto the lower-case name replaces the upper-case file.
    ASSERT_TRUE(CopyFileA((dir_ + "name.dat").c_str(), (dir_ + "gamedat\\level01.map   ").c_str(), FALSE))
        << GetLastError();
    EXPECT_EQ(readTestFile(dir_ + "gamedat\\LEVEL01.MAP"), "name");
}

TEST_F(Paths, MissingFileAndMissingDirectoryHaveTheirOwnErrors)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA((dir_ + "MISSING.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA((dir_ + "missing\\NAME.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    // A file is no directory: neither in the middle of a path nor before a final backslash.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA((dir_ + "NAME.DAT\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA((dir_ + "NAME.DAT\\").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA(""), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Paths, WildcardsAreInvalidInNames)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA((dir_ + "*.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA((dir_ + "NAME.DAT").c_str(), (dir_ + "NA?E.DAT").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
}

TEST(CurrentDirectory, IsADosPathThatFitsOrTellsTheSizeItNeeds)
{
    char cwd[1024];
    DWORD length = GetCurrentDirectoryA(sizeof cwd, cwd);
    ASSERT_GT(length, 0u) << GetLastError();
    std::string dos = cwd;
    ASSERT_EQ(dos.size(), length) << dos;
    ASSERT_GE(dos.size(), 3u) << dos;
    EXPECT_EQ(dos.substr(1, 2), ":\\") << dos;
    EXPECT_NE(GetFileAttributesA(cwd) & FILE_ATTRIBUTE_DIRECTORY, 0u) << dos;

    char exact[1024];
    EXPECT_EQ(GetCurrentDirectoryA(length + 1, exact), length);
    EXPECT_EQ(dos, exact);
    EXPECT_EQ(GetCurrentDirectoryA(length, exact), length + 1);
    EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), length + 1);
}

} // namespace
