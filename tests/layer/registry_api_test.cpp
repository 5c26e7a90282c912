// The registry functions over the prefix's registry file: the 32-bit view of a 64-bit prefix,
// reading decided by the file's mode bits (for root too), snapshots, bad files and scripted failures.
#include <windows.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "layer_control.h"
#include "regedit.h"
#include "test_env.h"
#include "wine_registry_text.h"

namespace {

const char recordKey[] = "Software\\Quorvex\\VK: Zarkhul Zuva";

// Each test writes the prefix's registry files itself and puts the originals back afterwards.
class RegistryPrefix : public testing::Test {
protected:
    void SetUp() override
    {
        system_ = testPrefix() + "/system.reg";
        savedSystem_ = read(system_);
        write(system_, wine64RegistryText);
    }

    void TearDown() override
    {
        EXPECT_STREQ("", layerReset()) << "scripted but never used";
        chmod(system_.c_str(), 0644);
        write(system_, savedSystem_);
    }

    static std::string read(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    static void write(const std::string &path, const std::string &text)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    // The text of a string value, or the error code as text.
    static std::string text(HKEY key, const char *name)
    {
        char buffer[256] = "";
        DWORD size = sizeof buffer;
        LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size);
        return result == ERROR_SUCCESS ? std::string(buffer) : "error " + std::to_string(result);
    }

    // The text of a value of a key opened from HKEY_LOCAL_MACHINE, or the error code as text.
    static std::string text(const char *path, REGSAM access, const char *name)
    {
        HKEY key;
        LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key);
        if (result != ERROR_SUCCESS)
            return "error " + std::to_string(result);
        std::string value = text(key, name);
        RegCloseKey(key);
        return value;
    }

    std::string system_;
    std::string savedSystem_;
};

TEST_F(RegistryPrefix, AThirtyTwoBitProgramSeesWow6432NodeInAWin64Prefix)
{
    EXPECT_EQ("C:\\Games\\VK\\", text(recordKey, KEY_READ, "Installed To:"));
    EXPECT_EQ("C:\\Games\\VK\\", text(recordKey, KEY_READ | KEY_WOW64_32KEY, "Installed To:"));
    EXPECT_EQ("C:\\Games\\VK64\\", text(recordKey, KEY_READ | KEY_WOW64_64KEY, "Installed To:"));
    EXPECT_EQ("C:\\Games\\VK\\",
              text("Software\\Wow6432Node\\Quorvex\\VK: Zarkhul Zuva", KEY_READ | KEY_WOW64_64KEY, "Installed To:"))
        << "a path through Wow6432Node names it in either view";
    EXPECT_EQ("C:\\Games\\VK\\", text("Software\\Wow6432Node\\Quorvex\\VK: Zarkhul Zuva", KEY_READ, "Installed To:"));
    EXPECT_EQ("64-bit", text("Software\\Registered Applications", KEY_READ, "Shared"))
        << "a shared key is a link from the 32-bit tree to the 64-bit key";
    EXPECT_EQ("error 2", text("Software\\A", KEY_READ, "Plain")) << "only in the 64-bit view";
    EXPECT_EQ("D", text("Software\\B\\D", KEY_READ, "Plain"));
    EXPECT_EQ("error 2", text("Software\\B\\C", KEY_READ, "Plain"))
        << "inside the 32-bit tree a Wow6432Node is not entered again";
}

TEST_F(RegistryPrefix, AWin32PrefixHasOneView)
{
    std::string text32 = wine64RegistryText;
    text32.replace(text32.find("#arch=win64"), 11, "#arch=win32");
    write(system_, text32);
    EXPECT_EQ("C:\\Games\\VK64\\", text(recordKey, KEY_READ, "Installed To:"));
    EXPECT_EQ("C:\\Games\\VK64\\", text(recordKey, KEY_READ | KEY_WOW64_32KEY, "Installed To:"));
    EXPECT_EQ("64", text("Software\\A", KEY_READ, "Plain"));
}

TEST_F(RegistryPrefix, ReadingNeedsTheReadBitEvenForRoot)
{
    ASSERT_EQ(0, chmod(system_.c_str(), 0444));
    EXPECT_EQ("C:\\Games\\VK\\", text(recordKey, KEY_READ, "Installed To:")) << "a read-only file is read";
    ASSERT_EQ(0, chmod(system_.c_str(), 0644));
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the file to another owner needs root";

    // Another owner's file: root counts as any other user, by the "other" bits.
    ASSERT_EQ(0, chown(system_.c_str(), 65534, 65534));
    EXPECT_EQ("C:\\Games\\VK\\", text(recordKey, KEY_READ, "Installed To:"));
    ASSERT_EQ(0, chmod(system_.c_str(), 0660));
    EXPECT_EQ("error 5", text(recordKey, KEY_READ, "Installed To:")) << "nor may it read without the read bit";
    ASSERT_EQ(0, chown(system_.c_str(), 0, 0));
}

TEST_F(RegistryPrefix, AnOpenKeyKeepsTheValuesItWasOpenedWith)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, recordKey, 0, KEY_READ, &key));
    layer::RegFile file;
    std::string error;
    ASSERT_EQ(layer::RegLoad::Ok, layer::loadRegFile(system_, file, error)) << error;
    std::vector<BYTE> newDir = {'D', 0, ':', 0, '\\', 0, 0, 0};
    ASSERT_TRUE(layer::setRegValue(file, layer::splitKeyPath(u"Software\\Quorvex\\VK: Zarkhul Zuva"),
                                   layer::RegView::Wow32, u"Installed To:", REG_SZ, newDir, error));
    ASSERT_TRUE(layer::saveRegFile(system_, file.text, error)) << error;

    EXPECT_EQ("C:\\Games\\VK\\", text(key, "Installed To:"));
    EXPECT_EQ("D:\\", text(recordKey, KEY_READ, "Installed To:"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(RegistryPrefix, MissingOrBrokenFilesFailClearly)
{
    HKEY key = nullptr;
    write(system_, "\x7f" "ELF\x02\x01\x01 not a registry\n");
    EXPECT_EQ(ERROR_BADDB, RegOpenKeyExA(HKEY_LOCAL_MACHINE, recordKey, 0, KEY_READ, &key));

    std::string text = wine64RegistryText;
    write(system_, text.substr(0, text.find("69,00,6f,00,6e,00,73,00")));
    EXPECT_EQ("C:\\Games\\VK\\", this->text(recordKey, KEY_READ, "Installed To:"))
        << "what comes before a cut still reads";
    EXPECT_EQ("error 2", this->text("Software\\Registered Applications", KEY_READ, "Shared"))
        << "a link whose target value was cut leads nowhere";

    unlink(system_.c_str());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, recordKey, 0, KEY_READ, &key));
}

// A registry file that is no regular file, or far too large to be one, is not usable, and nothing
// waits on it or reads it whole. Why a prefix cannot be used is said on standard error once per
// process, naming the prefix: its registry file, a prefix that is missing or not the user's own.
TEST_F(RegistryPrefix, AnUnusablePrefixFailsAndSaysWhyOnce)
{
    const std::string said = "winlayer: cannot use the Wine prefix '" + testPrefix() + "': ";
    struct Case {
        const char *what;
        std::function<void()> make;
        LONG error;
        std::string reason;
    };
    const Case cases[] = {
        {"a FIFO", [&] { ASSERT_EQ(0, mkfifo(system_.c_str(), 0644)); }, ERROR_BADDB, system_ + ": not a regular file"},
        {"a link to /dev/zero", [&] { ASSERT_EQ(0, symlink("/dev/zero", system_.c_str())); }, ERROR_BADDB,
         system_ + ": not a regular file"},
        {"a sparse file of 3 GB", [&] {
             write(system_, "");
             ASSERT_EQ(0, truncate(system_.c_str(), 3ll << 30));
         },
         ERROR_BADDB, system_ + ": larger than 64 MiB"},
        {"garbage", [&] { write(system_, "garbage\n"); }, ERROR_BADDB, system_ + ": not a Wine registry file"},
    };
    for (const Case &c : cases) {
        unlink(system_.c_str());
        c.make();
        layerReset();
        HKEY key = nullptr;
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.error, RegOpenKeyExA(HKEY_LOCAL_MACHINE, recordKey, 0, KEY_READ, &key)) << c.what;
        EXPECT_EQ(c.error, RegOpenKeyExA(HKEY_LOCAL_MACHINE, recordKey, 0, KEY_READ, &key)) << c.what;
        std::string out = testing::internal::GetCapturedStderr();
        EXPECT_EQ(0u, out.find(said + c.reason)) << c.what << ": " << out;
        EXPECT_EQ(1, std::count(out.begin(), out.end(), '\n')) << c.what << ": " << out;
    }
    unlink(system_.c_str());
    write(system_, wine64RegistryText);

    if (geteuid() == 0) {
        layerReset();
        struct stat owner;
        ASSERT_EQ(0, stat(testPrefix().c_str(), &owner));
        ASSERT_EQ(0, chown(testPrefix().c_str(), 65534, 65534));
        HKEY key = nullptr;
        testing::internal::CaptureStderr();
        EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, recordKey, 0, KEY_READ, &key));
        std::string out = testing::internal::GetCapturedStderr();
        ASSERT_EQ(0, chown(testPrefix().c_str(), owner.st_uid, owner.st_gid));
        EXPECT_EQ(said + "it is not owned by you\n", out);
    }

    layerReset();
    std::string prefix = testPrefix();
    std::string missing = prefix + "/no-such-prefix";
    setenv("WINEPREFIX", missing.c_str(), 1);
    HKEY key = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, recordKey, 0, KEY_READ, &key));
    std::string out = testing::internal::GetCapturedStderr();
    setenv("WINEPREFIX", prefix.c_str(), 1);
    EXPECT_EQ("winlayer: cannot use the Wine prefix '" + missing + "': it does not exist\n", out);
}

// Only what the program asks of the registry is served; anything else is refused as a bad argument.
TEST_F(RegistryPrefix, WhatTheProgramNeverAsksIsRefused)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(HKEY_LOCAL_MACHINE, recordKey, 0, KEY_READ | KEY_SET_VALUE, &key))
        << "rights beyond reading";
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(HKEY_LOCAL_MACHINE, recordKey, 0, GENERIC_READ, &key));
    EXPECT_EQ(nullptr, key);

    HKEY software;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &software));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(software, "Quorvex", 0, KEY_READ, &key)) << "below an open key";
    EXPECT_EQ(nullptr, key);
    RegCloseKey(software);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(HKEY_LOCAL_MACHINE, "x", nullptr, nullptr, nullptr, nullptr))
        << "a predefined key's own values";
}

TEST_F(RegistryPrefix, ScriptedFailuresHitOneCall)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, recordKey, 0, KEY_READ, &key));
    layerFailCall("RegCloseKey", ERROR_INVALID_HANDLE, 0);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key)) << "the failed call closed nothing";

    layerFailCall("RegQueryValueExA", ERROR_MORE_DATA, 1);
    EXPECT_EQ("C:\\Games\\VK\\", text(recordKey, KEY_READ, "Installed To:"));
    EXPECT_EQ("error 234", text(recordKey, KEY_READ, "Installed To:"));
    layerFailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ("error 5", text(recordKey, KEY_READ, "Installed To:"));
    EXPECT_EQ("C:\\Games\\VK\\", text(recordKey, KEY_READ, "Installed To:"));
}

} // namespace
