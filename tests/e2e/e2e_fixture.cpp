#include "e2e_fixture.h"

#include <algorithm>
#include <cstdlib>

const char GAME_EXE_CONTENT[] = "the game as it was installed";
const char REFUSAL_CAPTION[] = "Delvarin 1 and 2 Install Aborted";
const char REFUSAL_TEXT[] =
    "Yo, Rookie, this is a Windows 95 version of Delvarin 1 and 2!  Please install the VK: Zarkhul "
    "Zuva version of Velkor 2 to allow Delvarin 1 and 2 to be installed.";

// Wine answers GetVersion for a program by its file name as the Windows that this key's Version
// value names (win95, win98, nt40, winxp, ...), and as its own default without the value.
static const char VERSION_KEY[] = "Software\\Wine\\AppDefaults\\DA12Dero.exe";

// The Windows that DA12_WINDOWS_VERSION names, empty for Wine's default.
static std::string windowsVersion()
{
    const char *version = getenv("DA12_WINDOWS_VERSION");
    return version ? version : "";
}

bool reportsWindows9x()
{
    return windowsVersion() == "win95" || windowsVersion() == "win98";
}

// Set, or cleared, at every start and cleared at the end: the runs under each Windows share their
// prefix with the run under Wine's default.
static LONG reportWindowsVersion(const std::string &version)
{
    HKEY key;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, VERSION_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    if (version.empty())
        RegDeleteValueA(key, "Version");
    else
        status = RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE *)version.c_str(),
                                static_cast<DWORD>(version.size() + 1));
    RegCloseKey(key);
    return status;
}

void GameTest::SetUp()
{
    ASSERT_EQ(reportWindowsVersion(windowsVersion()), ERROR_SUCCESS) << windowsVersion();
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char &c : name)
        if (c == '/')
            c = '-';
    root_ = makeScratchDir(name);
    gameDir_ = root_ + "game\\";
    mediaDir_ = root_ + "media\\";
    CreateDirectoryA(mediaDir_.c_str(), nullptr);
    writeRecordForProgram(installerPath());
    deleteInstallRecord();
    installGame(gameDir_);
}

void GameTest::TearDown()
{
    deleteInstallRecord();
    reportWindowsVersion("");
}

void GameTest::installGame(const std::string &gameDir)
{
    CreateDirectoryA(gameDir.c_str(), nullptr);
    CreateDirectoryA((gameDir + "vk2").c_str(), nullptr);
    CreateDirectoryA((gameDir + "vk2\\gamedat").c_str(), nullptr);
    writeFile(gameDir + "vk2\\vk2.exe", GAME_EXE_CONTENT);
    writeInstallRecord(gameDir, 1);
}

std::string dirOfLength(const std::string &base, size_t length)
{
    std::string dir = base;
    for (char letter = 'a'; dir.size() < length; ++letter) {
        size_t room = length - dir.size();
        size_t name = room <= 101 ? room - 1 : std::min<size_t>(100, room - 3);
        dir += std::string(name, letter) + "\\";
        CreateDirectoryA(dir.c_str(), nullptr);
    }
    return dir;
}

std::string describe(const std::vector<BoxRecord> &boxes)
{
    std::string text = std::to_string(boxes.size()) + " boxes:";
    for (const BoxRecord &box : boxes)
        text += "\n  [" + box.caption + "] " + box.text;
    return text;
}
