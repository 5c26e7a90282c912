// Reading the registry as the installer does: RegOpenKeyExA, RegQueryValueExA and RegCloseKey on
// HKEY_LOCAL_MACHINE, in the view that a 32-bit program has (KEY_WOW64_32KEY, where the helpers write).
#include "registry_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

const DWORD sentinel = 0xdeadbeef;
const BYTE fill = 0xcc;

class RegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        root = testRegistryRoot();
        deleteTestRegistryKey(root.c_str());
        memset(buffer, fill, sizeof buffer);
    }

    void TearDown() override { deleteTestRegistryKey(root.c_str()); }

    std::string path(const char *subkey) const { return root + "\\" + subkey; }

    void setString(const char *subkey, const char *name, const std::string &text, DWORD type = REG_SZ)
    {
        setTestRegistryValue(path(subkey).c_str(), name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }

    void setDword(const char *subkey, const char *name, DWORD value)
    {
        setTestRegistryValue(path(subkey).c_str(), name, REG_DWORD, &value, sizeof value);
    }

    // Opens a key below the test root for reading in the 32-bit view; NULL on failure.
    HKEY open(const char *subkey)
    {
        HKEY key = nullptr;
        LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path(subkey).c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key);
        EXPECT_EQ(ERROR_SUCCESS, result) << "opening " << path(subkey);
        return key;
    }

    bool untouched(size_t from, size_t to) const
    {
        for (size_t i = from; i < to; ++i)
            if (buffer[i] != fill)
                return false;
        return true;
    }

    std::string root;
    BYTE buffer[2048];
};

TEST_F(RegistryTest, ReadsStringDwordAndBinaryValuesWithTheirTypesAndSizes)
{
    setString("Record", "Installed To:", "C:\\Games\\VK\\");
    setDword("Record", "Velk 2 Installed", 7);
    const BYTE bytes[] = {1, 2, 3, 4};
    setTestRegistryValue(path("Record").c_str(), "Cheater", REG_BINARY, bytes, sizeof bytes);

    HKEY key = open("Record");
    ASSERT_NE(nullptr, key);
    DWORD type = sentinel;
    DWORD size = 1024;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Installed To:", nullptr, &type, buffer, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(13u, size) << "the size counts the terminator";
    EXPECT_STREQ("C:\\Games\\VK\\", reinterpret_cast<char *>(buffer));
    EXPECT_TRUE(untouched(13, 1024));

    DWORD flag = 0;
    size = sizeof flag;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Velk 2 Installed", nullptr, &type, (BYTE *)&flag, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(7u, flag);

    size = 1024;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Cheater", nullptr, &type, buffer, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(0, memcmp(bytes, buffer, 4));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(RegistryTest, KeyAndValueNamesMatchWithoutCase)
{
    setDword("Record", "Velk 2 Installed", 1);
    setDword("Record", "\xe9t\xe9", 2); // "été" in Windows-1252

    HKEY key = nullptr;
    std::string upper = root + "\\RECORD";
    for (char &c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, upper.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key));
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "VELK 2 installed", nullptr, nullptr, (BYTE *)&value, &size));
    EXPECT_EQ(1u, value);
    size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "\xc9T\xc9", nullptr, nullptr, (BYTE *)&value, &size));
    EXPECT_EQ(2u, value);
    RegCloseKey(key);
}

TEST_F(RegistryTest, MissingKeyFailsWithFileNotFoundAndLeavesTheLastErrorAlone)
{
    setDword("Record", "Velk 2 Installed", 1);
    for (const char *missing : {"Missing", "Missing\\Record", "Record\\Missing"}) {
        HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
        SetLastError(sentinel);
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, path(missing).c_str(), 0,
                                                      KEY_READ | KEY_WOW64_32KEY, &key))
            << missing;
        EXPECT_EQ(nullptr, key) << "the result handle is cleared";
        EXPECT_EQ(sentinel, GetLastError());
    }
}

TEST_F(RegistryTest, MissingValueFailsWithFileNotFoundAndTouchesNoBuffer)
{
    setDword("Record", "Velk 2 Installed", 1);
    HKEY key = open("Record");
    ASSERT_NE(nullptr, key);
    DWORD size = 1024;
    SetLastError(sentinel);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Cheater", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(1024u, size);
    EXPECT_TRUE(untouched(0, sizeof buffer));
    EXPECT_EQ(sentinel, GetLastError());
    RegCloseKey(key);
}

TEST_F(RegistryTest, DataLargerThanTheBufferFailsWithMoreDataAndTheSizeNeeded)
{
    setString("Record", "Installed To:", std::string(1024, 'x')); // 1025 bytes with the terminator
    setString("Record", "Installed From:", std::string(1023, 'y'));
    const BYTE five[] = {1, 2, 3, 4, 5};
    setTestRegistryValue(path("Record").c_str(), "Cheater", REG_BINARY, five, sizeof five);
    setDword("Record", "Velk 2 Installed", 1);

    HKEY key = open("Record");
    ASSERT_NE(nullptr, key);
    DWORD type = sentinel;
    DWORD size = 1024;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Installed To:", nullptr, &type, buffer, &size));
    EXPECT_EQ(1025u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_TRUE(untouched(0, sizeof buffer)) << "nothing is written into a buffer that is too small";

    size = 1024;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Installed From:", nullptr, &type, buffer, &size));
    EXPECT_EQ(1024u, size) << "1023 characters and the terminator fit exactly";
    EXPECT_EQ(0, buffer[1023]);
    EXPECT_EQ(fill, buffer[1024]);

    memset(buffer, fill, sizeof buffer);
    size = 4;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Cheater", nullptr, &type, buffer, &size));
    EXPECT_EQ(5u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_TRUE(untouched(0, sizeof buffer));

    size = 2;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Velk 2 Installed", nullptr, &type, buffer, &size));
    EXPECT_EQ(4u, size);
    EXPECT_TRUE(untouched(0, sizeof buffer));
    RegCloseKey(key);
}

TEST_F(RegistryTest, NullDataReportsTypeAndSize)
{
    setString("Record", "Installed To:", "C:\\Games\\VK\\");
    setDword("Record", "Velk 2 Installed", 1);
    HKEY key = open("Record");
    ASSERT_NE(nullptr, key);
    DWORD type = sentinel;
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Installed To:", nullptr, &type, nullptr, &size));
    EXPECT_EQ(13u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    size = 1000;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Velk 2 Installed", nullptr, &type, nullptr, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Velk 2 Installed", nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);
}

TEST_F(RegistryTest, StringStoredWithoutTerminatorIsTerminatedWhenThereIsRoom)
{
    // "abcX" with a size of 3: the byte after the size is not 0, so nothing extends the value.
    setTestRegistryValue(path("Record").c_str(), "Bare", REG_SZ, "abcX", 3);
    setTestRegistryValue(path("Record").c_str(), "Empty", REG_SZ, "", 0);
    HKEY key = open("Record");
    ASSERT_NE(nullptr, key);

    DWORD size = 10;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Bare", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(3u, size) << "the size counts what is stored, not the added terminator";
    EXPECT_EQ(0, memcmp("abc", buffer, 4)) << "terminated inside the buffer";
    EXPECT_TRUE(untouched(4, sizeof buffer));

    memset(buffer, fill, sizeof buffer);
    size = 3;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Bare", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(3u, size);
    EXPECT_EQ(0, memcmp("abc", buffer, 3));
    EXPECT_TRUE(untouched(3, sizeof buffer)) << "no terminator past a buffer that holds just the text";

    size = 2;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Bare", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(3u, size);

    memset(buffer, fill, sizeof buffer);
    DWORD type = sentinel;
    size = 10;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Empty", nullptr, &type, buffer, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_TRUE(untouched(0, sizeof buffer));
    RegCloseKey(key);
}

TEST_F(RegistryTest, StringTypesComeBackUnexpandedAndWholeInTheAnsiCodePage)
{
    setTestRegistryValue(path("Record").c_str(), "Multi", REG_MULTI_SZ, "one\0two\0", 9);
    setString("Record", "Expand", "%WINDIR%\\x", REG_EXPAND_SZ);
    setString("Record", "Ansi", "caf\xe9 \x80 \xff");
    HKEY key = open("Record");
    ASSERT_NE(nullptr, key);

    DWORD type = sentinel;
    DWORD size = 100;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Multi", nullptr, &type, buffer, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ(9u, size);
    EXPECT_EQ(0, memcmp("one\0two\0", buffer, 9));

    size = 100;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Expand", nullptr, &type, buffer, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_STREQ("%WINDIR%\\x", reinterpret_cast<char *>(buffer));
    EXPECT_EQ(11u, size);

    size = 100;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Ansi", nullptr, &type, buffer, &size));
    EXPECT_STREQ("caf\xe9 \x80 \xff", reinterpret_cast<char *>(buffer));
    EXPECT_EQ(9u, size);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DefaultValueAnswersToANullOrEmptyName)
{
    setString("Record", nullptr, "default");
    HKEY key = open("Record");
    ASSERT_NE(nullptr, key);
    for (const char *name : {static_cast<const char *>(nullptr), ""}) {
        DWORD size = 100;
        memset(buffer, fill, sizeof buffer);
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, nullptr, buffer, &size));
        EXPECT_STREQ("default", reinterpret_cast<char *>(buffer));
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, OpensKeysThatOnlyHoldSubkeys)
{
    setDword("Outer\\Inner", "Value", 5);
    HKEY outer = open("Outer");
    ASSERT_NE(nullptr, outer);
    DWORD size = 4;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(outer, "Value", nullptr, nullptr, buffer, &size));

    HKEY inner = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, path("Outer\\Inner\\").c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &inner))
        << "a trailing backslash names the same key";
    DWORD value = 0;
    size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(inner, "Value", nullptr, nullptr, (BYTE *)&value, &size));
    EXPECT_EQ(5u, value);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(inner));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(outer));
}

TEST_F(RegistryTest, EmptySubkeyOfAPredefinedKeyGivesThatKeyBack)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &key));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, key);
    key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, key);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
}

TEST_F(RegistryTest, LeadingBackslashIsABadPath)
{
    setDword("Record", "Value", 1);
    HKEY key = nullptr;
    std::string leading = "\\" + path("Record");
    EXPECT_EQ(ERROR_BAD_PATHNAME,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, leading.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key));
    EXPECT_EQ(nullptr, key);
}

TEST_F(RegistryTest, InvalidHandlesFailWithInvalidHandle)
{
    setDword("Record", "Value", 1);
    HKEY bogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    HKEY key = nullptr;
    DWORD size = 4;
    SetLastError(sentinel);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(bogus, "Record", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(nullptr, "Record", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(bogus, "Value", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(bogus));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(nullptr));
    EXPECT_EQ(sentinel, GetLastError());

    key = open("Record");
    ASSERT_NE(nullptr, key);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key)) << "a key closes once";
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(key, "Value", nullptr, nullptr, buffer, &size));
}

TEST_F(RegistryTest, QueryRejectsReservedAndDataWithoutSize)
{
    setDword("Record", "Value", 1);
    HKEY key = open("Record");
    ASSERT_NE(nullptr, key);
    DWORD reserved = 0;
    DWORD size = 4;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Value", &reserved, nullptr, buffer, &size));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Value", nullptr, nullptr, buffer, nullptr));
    EXPECT_TRUE(untouched(0, sizeof buffer));
    RegCloseKey(key);
}

} // namespace
