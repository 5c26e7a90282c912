// Resources of the program's own file, found by type, id and language and returned unchanged.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "conformance_ids.h"

TEST(Resources, FindsDataByTypeAndIdAndReturnsItsBytes)
{
    HMODULE self = GetModuleHandleA(nullptr);
    ASSERT_NE(self, nullptr);
    HRSRC info = FindResourceA(self, MAKEINTRESOURCEA(IDR_TEST_DATA), RT_RCDATA);
    ASSERT_NE(info, nullptr) << GetLastError();
    HGLOBAL loaded = LoadResource(self, info);
    ASSERT_NE(loaded, nullptr);
    const unsigned char *bytes = static_cast<const unsigned char *>(LockResource(loaded));
    ASSERT_NE(bytes, nullptr);
    ASSERT_EQ(SizeofResource(self, info), 8u);
    EXPECT_EQ(0, memcmp(bytes, "layer\0\x34\x12", 8));
}

TEST(Resources, FindsByLanguage)
{
    HRSRC english = FindResourceExA(nullptr, RT_RCDATA, MAKEINTRESOURCEA(IDR_TEST_DATA),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(english, nullptr);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_TEST_DATA), RT_RCDATA), english);
}

TEST(Resources, MissingTypeOrNameFailsWithItsError)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_TEST_DATA), MAKEINTRESOURCEA(77)), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(999), RT_RCDATA), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
}
