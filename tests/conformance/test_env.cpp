// Test surroundings: a private prefix for the native tests, and file helpers that work on both
// platforms without the API under test.
#include "test_env.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
std::string &prefixPath()
{
    static std::string path;
    return path;
}

// Makes the prefix before any test runs: WINEPREFIX is read by the layer on first use.
class PrefixEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        const char *tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/layer-prefix-XXXXXX";
        std::string dir = pattern;
        ASSERT_NE(mkdtemp(&dir[0]), nullptr);
        prefixPath() = dir;
        ASSERT_EQ(0, mkdir((dir + "/drive_c").c_str(), 0755));
        ASSERT_EQ(0, mkdir((dir + "/drive_c/windows").c_str(), 0755));
        ASSERT_EQ(0, mkdir((dir + "/dosdevices").c_str(), 0755));
        ASSERT_EQ(0, symlink("../drive_c", (dir + "/dosdevices/c:").c_str()));
        ASSERT_EQ(0, symlink("/", (dir + "/dosdevices/z:").c_str()));
        std::ofstream reg(dir + "/system.reg");
        reg << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n";
        reg.close();
        setenv("WINEPREFIX", dir.c_str(), 1);
    }

    void TearDown() override
    {
        if (!prefixPath().empty() && !getenv("LAYER_KEEP_PREFIX")) {
            std::string cmd = "rm -rf '" + prefixPath() + "'";
            if (system(cmd.c_str()) != 0)
                fprintf(stderr, "could not remove %s\n", prefixPath().c_str());
        }
    }
};

testing::Environment *const prefixEnvironment = testing::AddGlobalTestEnvironment(new PrefixEnvironment);
#endif

int testDirCounter = 0;

} // namespace

std::string testPrefix()
{
#ifdef _WIN32
    return "";
#else
    return prefixPath();
#endif
}

std::string nativePath(const std::string &dosPath)
{
#ifdef _WIN32
    return dosPath;
#else
    // Test directories live on drive C:, which is <prefix>/drive_c.
    std::string rest = dosPath;
    if (rest.size() >= 2 && (rest[0] == 'C' || rest[0] == 'c') && rest[1] == ':')
        rest = prefixPath() + "/drive_c" + rest.substr(2);
    for (char &c : rest)
        if (c == '\\')
            c = '/';
    return rest;
#endif
}

std::string makeTestDir()
{
    std::ostringstream name;
#ifdef _WIN32
    // Process ids come round again, and the temporary directory keeps what earlier runs left:
    // take the first name that is new.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dos;
    do {
        name.str("");
        name << temp << "layertest-" << GetCurrentProcessId() << "-" << ++testDirCounter << "\\";
        dos = name.str();
    } while (_mkdir(dos.c_str()) != 0 && errno == EEXIST);
    return dos;
#else
    name << "C:\\layertest-" << getpid() << "-" << ++testDirCounter << "\\";
    std::string dos = name.str();
    mkdir(nativePath(dos).c_str(), 0755);
    return dos;
#endif
}

void makeTestSubdir(const std::string &dosPath)
{
#ifdef _WIN32
    _mkdir(dosPath.c_str());
#else
    mkdir(nativePath(dosPath).c_str(), 0755);
#endif
}

void writeTestFile(const std::string &dosPath, const std::string &content)
{
    std::ofstream out(nativePath(dosPath), std::ios::binary | std::ios::trunc);
    out << content;
}

std::string readTestFile(const std::string &dosPath)
{
    std::ifstream in(nativePath(dosPath), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool testFileExists(const std::string &dosPath)
{
    struct stat st;
    return stat(nativePath(dosPath).c_str(), &st) == 0;
}

void setTestFileReadOnly(const std::string &dosPath, bool readOnly)
{
#ifdef _WIN32
    _chmod(dosPath.c_str(), readOnly ? _S_IREAD : _S_IREAD | _S_IWRITE);
#else
    struct stat st;
    if (stat(nativePath(dosPath).c_str(), &st) == 0)
        chmod(nativePath(dosPath).c_str(), readOnly ? (st.st_mode & ~0222) : (st.st_mode | 0200));
#endif
}

bool isTestFileReadOnly(const std::string &dosPath)
{
    struct stat st;
    if (stat(nativePath(dosPath).c_str(), &st) != 0)
        return false;
#ifdef _WIN32
    return !(st.st_mode & _S_IWRITE);
#else
    return !(st.st_mode & 0200);
#endif
}
