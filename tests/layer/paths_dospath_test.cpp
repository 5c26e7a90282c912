// DOS paths on the layer: drive letters through the prefix's dosdevices links, the way Windows
// collapses a path, case-insensitive names, and the DOS form of native paths.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "dospath.h"
#include "test_env.h"

namespace {

std::string realPath(const std::string &path)
{
    char *resolved = realpath(path.c_str(), nullptr);
    std::string result = resolved ? resolved : "";
    free(resolved);
    return result;
}

// The native path that toNativePath gives, its drive's link followed, or "error <code>".
std::string resolve(const std::string &dos)
{
    std::string native;
    DWORD error = 0xdeadbeef;
    if (!layer::toNativePath(dos.c_str(), native, &error))
        return "error " + std::to_string(error);
    std::string links = testPrefix() + "/dosdevices/";
    if (dos[0] == '/' || native.compare(0, links.size(), links) != 0)
        return native;
    std::string root = realPath(native.substr(0, links.size() + 2));
    std::string rest = native.substr(links.size() + 2);
    return root == "/" && !rest.empty() ? rest : root + rest;
}

// Runs a test with the current directory set to `dir`, and puts the old one back afterwards.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string &dir)
    {
        char *cwd = getcwd(nullptr, 0);
        old_ = cwd ? cwd : "/";
        free(cwd);
        EXPECT_EQ(0, chdir(dir.c_str())) << dir;
    }
    ~CurrentDirectory() { EXPECT_EQ(0, chdir(old_.c_str())) << old_; }

private:
    std::string old_;
};

class DosPaths : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = makeTestDir();
        native_ = realPath(nativePath(dir_));
        ASSERT_FALSE(native_.empty()) << dir_;
        makeTestSubdir(dir_ + "Sub");
        writeTestFile(dir_ + "Sub\\file.dat", "x");
        writeTestFile(dir_ + "NAME.DAT", "x");
    }

    std::string dir_;    // "C:\...\"
    std::string native_; // its canonical native form, without a trailing '/'
};

TEST_F(DosPaths, DriveLettersMapThroughDosdevicesInEitherCase)
{
    std::string driveC = realPath(testPrefix() + "/drive_c");
    EXPECT_EQ(resolve("C:\\"), driveC);
    EXPECT_EQ(resolve("c:\\windows"), driveC + "/windows");
    EXPECT_EQ(resolve("Z:\\"), "/");
    EXPECT_EQ(resolve("z:\\tmp"), "/tmp");
    EXPECT_EQ(resolve("Q:\\file"), "error " + std::to_string(ERROR_PATH_NOT_FOUND));
}

TEST_F(DosPaths, SeparatorsDotsAndDoubledBackslashesCollapse)
{
    EXPECT_EQ(resolve(dir_ + "Sub\\file.dat"), native_ + "/Sub/file.dat");
    EXPECT_EQ(resolve(dir_ + "\\Sub\\\\file.dat"), native_ + "/Sub/file.dat");
    EXPECT_EQ(resolve(dir_ + "Sub/file.dat"), native_ + "/Sub/file.dat");
    EXPECT_EQ(resolve(dir_ + ".\\Sub\\..\\Sub\\.\\file.dat"), native_ + "/Sub/file.dat");
    // ".." never climbs above the drive's root.
    EXPECT_EQ(resolve("C:\\..\\..\\windows"), realPath(testPrefix() + "/drive_c") + "/windows");
}

TEST_F(DosPaths, TrailingBlanksAndDotsOfTheLastComponentAreIgnored)
{
    EXPECT_EQ(resolve(dir_ + "NAME.DAT    "), native_ + "/NAME.DAT");
    EXPECT_EQ(resolve(dir_ + "NAME.DAT. . "), native_ + "/NAME.DAT");
    EXPECT_EQ(resolve(dir_ + "Sub\\   "), native_ + "/Sub");
    // An inner component loses one trailing dot; its blanks are part of its name.
    EXPECT_EQ(resolve(dir_ + "Sub.\\file.dat"), native_ + "/Sub/file.dat");
    EXPECT_EQ(resolve(dir_ + "Sub \\file.dat"), "error " + std::to_string(ERROR_PATH_NOT_FOUND));
}

TEST_F(DosPaths, NamesOfDotsOnlyNeverClimbAndTheLastNameIsTheOneLeftLast)
{
    // "..." loses no dot and stays a name: it must not turn into ".." and leave the drive.
    std::string driveC = realPath(testPrefix() + "/drive_c");
    EXPECT_EQ(resolve("C:\\...\\x"), "error " + std::to_string(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(resolve("C:\\...\\...\\windows"), "error " + std::to_string(ERROR_PATH_NOT_FOUND));
    std::string full;
    DWORD error = 0;
    ASSERT_TRUE(layer::toFullDosPath("C:\\...\\x", full, &error));
    EXPECT_EQ(full, "C:\\...\\x");
    // The trailing dots that go are those of the name that ends the collapsed path.
    EXPECT_EQ(resolve(dir_ + "Sub..\\."), native_ + "/Sub");
    EXPECT_EQ(resolve(dir_ + "NAME.DAT..\\Sub\\.."), native_ + "/NAME.DAT");
    EXPECT_EQ(resolve("C:\\windows..\\."), driveC + "/windows");
}

TEST_F(DosPaths, NamesMatchWithoutCaseWhereTheExactNameIsAbsent)
{
    EXPECT_EQ(resolve(dir_ + "SUB\\FILE.DAT"), native_ + "/Sub/file.dat");
    EXPECT_EQ(resolve(dir_ + "name.dat   "), native_ + "/NAME.DAT");
    // The exact name wins over one that differs in case.
    writeTestFile(dir_ + "name.dat", "y");
    EXPECT_EQ(resolve(dir_ + "name.dat"), native_ + "/name.dat");
    // A last component that does not exist keeps its spelling, so a file can be created there.
    EXPECT_EQ(resolve(dir_ + "SUB\\New.Dat"), native_ + "/Sub/New.Dat");
}

// Names that miss their exact spelling are found through an index of the directory, kept up to
// date with the layer's own copies, moves and deletions and rebuilt after anyone else's change.
TEST_F(DosPaths, CaseInsensitiveMatchesFollowEveryChangeOfTheDirectory)
{
    EXPECT_EQ(resolve(dir_ + "sub\\LATER.DAT"), native_ + "/Sub/LATER.DAT");
    // Another program's file, after the file system's timestamps can tell the change apart.
    usleep(20000);
    writeTestFile(dir_ + "Sub\\Later.dat", "made elsewhere");
    EXPECT_EQ(resolve(dir_ + "sub\\LATER.DAT"), native_ + "/Sub/Later.dat");

    ASSERT_TRUE(CopyFileA((dir_ + "Sub\\Later.dat").c_str(), (dir_ + "Sub\\Copied.Dat").c_str(), FALSE));
    EXPECT_EQ(resolve(dir_ + "sub\\COPIED.DAT"), native_ + "/Sub/Copied.Dat");
    ASSERT_TRUE(MoveFileA((dir_ + "Sub\\Copied.Dat").c_str(), (dir_ + "Sub\\Moved.Dat").c_str()));
    EXPECT_EQ(resolve(dir_ + "sub\\COPIED.DAT"), native_ + "/Sub/COPIED.DAT");
    EXPECT_EQ(resolve(dir_ + "sub\\MOVED.DAT"), native_ + "/Sub/Moved.Dat");
    ASSERT_TRUE(DeleteFileA((dir_ + "Sub\\Moved.Dat").c_str()));
    EXPECT_EQ(resolve(dir_ + "sub\\MOVED.DAT"), native_ + "/Sub/MOVED.DAT");
}

TEST_F(DosPaths, MissingOrNonDirectoryParentIsPathNotFound)
{
    std::string notFound = "error " + std::to_string(ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(resolve(dir_ + "Missing\\file.dat"), notFound);
    EXPECT_EQ(resolve(dir_ + "NAME.DAT\\file.dat"), notFound);
    EXPECT_EQ(resolve(""), notFound);
}

TEST_F(DosPaths, MalformedNamesAreRefused)
{
    std::string invalid = "error " + std::to_string(ERROR_INVALID_NAME);
    EXPECT_EQ(resolve(dir_ + "a*b"), invalid);
    EXPECT_EQ(resolve(dir_ + "a?b"), invalid);
    EXPECT_EQ(resolve(dir_ + "a:b"), invalid);
    EXPECT_EQ(resolve(dir_ + "a|b\\c"), invalid);
    EXPECT_EQ(resolve("\\\\server\\share\\file"), "error " + std::to_string(ERROR_BAD_PATHNAME));
}

TEST_F(DosPaths, RelativePathsStartAtTheCurrentDirectory)
{
    CurrentDirectory cwd(native_ + "/Sub");
    EXPECT_EQ(resolve("file.dat"), native_ + "/Sub/file.dat");
    EXPECT_EQ(resolve("..\\NAME.DAT  "), native_ + "/NAME.DAT");
    EXPECT_EQ(resolve("c:file.dat"), native_ + "/Sub/file.dat");
    EXPECT_EQ(resolve("\\windows"), realPath(testPrefix() + "/drive_c") + "/windows");
    // "Z:name" is relative to Z:'s root while the current directory lies on C:.
    EXPECT_EQ(resolve("Z:tmp"), "/tmp");
}

TEST_F(DosPaths, PosixAbsolutePathsPassThrough)
{
    EXPECT_EQ(resolve(native_ + "/Sub/file.dat"), native_ + "/Sub/file.dat");
    EXPECT_EQ(resolve(native_ + "/SUB/FILE.DAT"), native_ + "/Sub/file.dat");
    // Native names may hold what a DOS name may not, such as the drive links' colons.
    EXPECT_EQ(resolve(testPrefix() + "/dosdevices/c:"), testPrefix() + "/dosdevices/c:");
}

TEST_F(DosPaths, DosFormUsesTheDriveWithTheLongestTarget)
{
    EXPECT_EQ(layer::toDosPath(native_ + "/Sub/file.dat"), dir_ + "Sub\\file.dat");
    EXPECT_EQ(layer::toDosPath(realPath(testPrefix() + "/drive_c")), "C:\\");
    EXPECT_EQ(layer::toDosPath("/"), "Z:\\");
    EXPECT_EQ(layer::toDosPath("/usr/bin"), "Z:\\usr\\bin");
    EXPECT_EQ(layer::toDosPath("relative/path"), "relative/path");

    std::string link = testPrefix() + "/dosdevices/d:";
    ASSERT_EQ(0, symlink((native_ + "/Sub").c_str(), link.c_str())) << link;
    EXPECT_EQ(layer::toDosPath(native_ + "/Sub/file.dat"), "D:\\file.dat");
    EXPECT_EQ(resolve("d:\\FILE.DAT"), native_ + "/Sub/file.dat");
    unlink(link.c_str());
}

TEST_F(DosPaths, NativePathOutsideEveryDriveKeepsItsNativeForm)
{
    // A prefix with drive C: only: "/usr" lies under no drive.
    std::string old = getenv("WINEPREFIX");
    std::string prefix = native_ + "/prefix";
    makeTestSubdir(dir_ + "prefix");
    makeTestSubdir(dir_ + "prefix\\dosdevices");
    ASSERT_EQ(0, symlink((native_ + "/Sub").c_str(), (prefix + "/dosdevices/c:").c_str()));
    setenv("WINEPREFIX", prefix.c_str(), 1);
    EXPECT_EQ(layer::toDosPath("/usr"), "/usr");
    EXPECT_EQ(layer::toDosPath(native_ + "/Sub"), "C:\\");
    EXPECT_EQ(resolve("Z:\\"), "error " + std::to_string(ERROR_PATH_NOT_FOUND));
    setenv("WINEPREFIX", old.c_str(), 1);
}

} // namespace
