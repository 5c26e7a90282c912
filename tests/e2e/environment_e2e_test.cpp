// The environment check against the real registry: each way the compilation's record can fail,
// and the boxes the user sees for it while the dialog stays hidden.
#include "e2e_fixture.h"

#include <functional>

class EnvironmentE2E : public GameTest {
protected:
    // Runs the installer to its end, answering every box, and checks that the dialog was never
    // shown and that each box was owned by the hidden dialog, without an icon.
    std::vector<BoxRecord> refusedRun()
    {
        Installer installer(mediaDir_);
        EXPECT_EQ(installer.waitForDialog(), nullptr) << "the dialog was shown";
        EXPECT_EQ(installer.finish(), 0u);
        for (const BoxRecord &box : installer.boxes()) {
            EXPECT_TRUE(box.ownedByDialog) << box.caption;
            EXPECT_FALSE(box.icon) << box.caption;
            EXPECT_TRUE(box.dialog.exists && !box.dialog.visible) << box.caption;
        }
        return installer.boxes();
    }

    void expectRefusal(const std::vector<BoxRecord> &boxes, const char *registryText = nullptr)
    {
        size_t expected = registryText ? 2 : 1;
        ASSERT_EQ(boxes.size(), expected) << describe(boxes);
        if (registryText) {
            EXPECT_EQ(boxes[0].caption, "REGISTRY");
            EXPECT_EQ(boxes[0].text, registryText);
        }
        EXPECT_EQ(boxes.back().caption, REFUSAL_CAPTION);
        EXPECT_EQ(boxes.back().text, REFUSAL_TEXT);
    }

    bool dialogShows()
    {
        Installer installer(mediaDir_);
        HWND dialog = installer.waitForDialog();
        installer.close();
        EXPECT_EQ(installer.finish(), 0u);
        EXPECT_TRUE(installer.boxes().empty()) << describe(installer.boxes());
        return dialog != nullptr;
    }
};

// The record lies only in the registry view of the program's own width, where the compilation's
// setup of that width puts it: a 32-bit program on 64-bit Windows reads Software\Wow6432Node.
TEST_F(EnvironmentE2E, ACompleteRecordAndTheGameShowTheDialog)
{
    DWORD type = 0;
    ASSERT_TRUE(GetBinaryTypeA(installerPath().c_str(), &type));
    REGSAM otherView = type == SCS_64BIT_BINARY ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    HKEY key;
    ASSERT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, RECORD_KEY, 0, KEY_READ | otherView, &key), ERROR_SUCCESS)
        << "the record is in the other view too";
    EXPECT_TRUE(dialogShows());
}

// OpenFile's existence test takes full paths of at most 127 characters. The game is found at that
// length, one more, and 259, the longest path that Windows' file functions take.
TEST_F(EnvironmentE2E, TheGameIsFoundPastTheExistenceTestsLimit)
{
    const std::string gameExe = "vk2\\vk2.exe";
    for (size_t length : {127u, 128u, 259u}) {
        SCOPED_TRACE(length);
        std::string dir = dirOfLength(root_, length - gameExe.size());
        installGame(dir);
        ASSERT_TRUE(fileExists(dir + gameExe));
        EXPECT_TRUE(dialogShows());
    }
}

TEST_F(EnvironmentE2E, AMissingKeyGivesTheRefusalAlone)
{
    deleteInstallRecord();
    expectRefusal(refusedRun());
}

// Only the first missing value is named: the read stops there.
TEST_F(EnvironmentE2E, EachMissingValueIsNamedBeforeTheRefusal)
{
    const char *names[] = {"Installed To:", "Installed From:", "Velk 1 Installed",
                           "Velk 2 Installed", "Velk 3 Installed", "Cheater"};
    for (const char *name : names) {
        SCOPED_TRACE(name);
        writeInstallRecord(gameDir_, 1);
        deleteRecordValue(name);
        std::string text = std::string("Key: '") + name + "' not accessible";
        expectRefusal(refusedRun(), text.c_str());
    }
}

TEST_F(EnvironmentE2E, ValuesLargerThanTheirBuffersAreNotAccessible)
{
    // 1024 characters and the terminator: one byte more than the buffer holds.
    setRecordText("Installed To:", std::string(1024, 'x'));
    expectRefusal(refusedRun(), "Key: 'Installed To:' not accessible");

    writeInstallRecord(gameDir_, 1);
    setRecordText("Velk 3 Installed", "1234");
    expectRefusal(refusedRun(), "Key: 'Velk 3 Installed' not accessible");
}

TEST_F(EnvironmentE2E, TheSecondGameMustBeFlaggedAndPresent)
{
    setRecordFlag("Velk 2 Installed", 0);
    expectRefusal(refusedRun());

    setRecordFlag("Velk 2 Installed", 1);
    DeleteFileA((gameDir_ + "vk2\\vk2.exe").c_str());
    expectRefusal(refusedRun());
}

// The game's path is joined to the directory directly, so a directory without its backslash names
// a file that is not there.
TEST_F(EnvironmentE2E, AnInstallDirWithoutItsBackslashIsRefused)
{
    setRecordText("Installed To:", gameDir_.substr(0, gameDir_.size() - 1));
    expectRefusal(refusedRun());
}

// The type stored is not looked at: four bytes of anything make a flag, and a short text counts as
// set by its character codes.
TEST_F(EnvironmentE2E, FlagsOfAnyTypeAreAccepted)
{
    const BYTE set[4] = {1, 0, 0, 0};
    setRecordValue("Velk 2 Installed", REG_BINARY, set, sizeof set);
    setRecordValue("Cheater", REG_BINARY, "\xff\xff\xff\xff", 4);
    setRecordText("Velk 1 Installed", "no");
    EXPECT_TRUE(dialogShows());

    setRecordText("Velk 2 Installed", "0");
    EXPECT_TRUE(dialogShows());

    setRecordText("Velk 2 Installed", "");
    expectRefusal(refusedRun());
}
