// The environment check: the record's six values, the second game, the source directory, and the
// boxes each failure shows, in order, while the dialog is still hidden.
#include "app_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "env/environment.h"
#include "layer_control.h"
#include "test_env.h"

namespace {

// The captions and texts of the boxes shown, in order.
std::vector<std::string> shown(const std::vector<Box> &boxes)
{
    std::vector<std::string> out;
    for (const Box &box : boxes)
        out.push_back(box.caption + ": " + box.text);
    return out;
}

} // namespace

class Environment : public InstallerTest {
protected:
    bool accepted() { return dialogTakesInput(); }
    std::string refusal() const { return std::string(REFUSAL_CAPTION) + ": " + REFUSAL; }
};

TEST_F(Environment, ACompleteRecordAndTheGamePass)
{
    EXPECT_TRUE(accepted());
    EXPECT_TRUE(boxes.empty()) << shown(boxes).front();
    EXPECT_STREQ(installRecord.installDir, gameDir.c_str());
    EXPECT_STREQ(installRecord.sourcePath, "D:\\");
    EXPECT_EQ(installRecord.firstGameInstalled, 1u);
    EXPECT_EQ(installRecord.secondGameInstalled, 1u);
    EXPECT_EQ(installRecord.cheater, 0u);
    EXPECT_EQ(std::string(sourceDir), mediaDir);
}

TEST_F(Environment, AMissingKeyGivesTheRefusalAlone)
{
    removeValue("Installed To:");
    removeValue("Installed From:");
    removeValue("Velk 1 Installed");
    removeValue("Velk 2 Installed");
    removeValue("Velk 3 Installed");
    removeValue("Cheater");
    EXPECT_FALSE(accepted());
    EXPECT_EQ(shown(boxes), std::vector<std::string>{refusal()});
    EXPECT_FALSE(boxes[0].ownerVisible);
    EXPECT_EQ(boxes[0].style, (UINT)MB_OK);
}

// Only the first failing value is named; the values after it are not read.
TEST_F(Environment, AMissingOrOversizedValueIsNamedBeforeTheRefusal)
{
    struct Case {
        const char *name;
        std::function<void()> spoil;
    };
    const Case cases[] = {
        {"Cheater", [this] { removeValue("Cheater"); }},
        {"Installed From:", [this] { removeValue("Installed From:"); }},
        {"Installed To:", [this] { setText("Installed To:", std::string(1024, 'x')); }},
        {"Velk 1 Installed", [this] { setText("Velk 1 Installed", "yes, of course"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.spoil();
        if (strcmp(c.name, "Cheater") != 0)
            removeValue("Cheater"); // would be named too if the read went on
        boxes.clear();
        EXPECT_FALSE(accepted());
        EXPECT_EQ(shown(boxes), (std::vector<std::string>{std::string("REGISTRY: Key: '") + c.name +
                                                              "' not accessible",
                                                          refusal()}));
        for (const Box &box : boxes)
            EXPECT_FALSE(box.ownerVisible);
        TearDown();
    }
}

// A text that fills the whole buffer without its terminator cannot be read as a text.
TEST_F(Environment, AnInstallDirWithoutTerminatorFillingTheBufferIsNotAccessible)
{
    std::string full(1024, 'c');
    setValue("Installed To:", REG_BINARY, full.data(), 1024);
    EXPECT_FALSE(accepted());
    EXPECT_EQ(shown(boxes), (std::vector<std::string>{"REGISTRY: Key: 'Installed To:' not accessible", refusal()}));
}

// The registry type is not looked at: four bytes of anything make a flag, any non-zero one set.
TEST_F(Environment, FlagsAreReadAsFourBytesWhateverTheirType)
{
    const BYTE set[4] = {0, 0, 1, 0};
    setValue("Velk 2 Installed", REG_BINARY, set, 4);
    EXPECT_TRUE(accepted());
    EXPECT_EQ(installRecord.secondGameInstalled, 0x10000u);

    // A short text counts by its character codes: "0" is set, the empty text is not.
    boxes.clear();
    setText("Velk 2 Installed", "0");
    EXPECT_TRUE(accepted());
    boxes.clear();
    memset(&installRecord, 0, sizeof installRecord);
    setText("Velk 2 Installed", "");
    EXPECT_FALSE(accepted());
    EXPECT_EQ(shown(boxes), std::vector<std::string>{refusal()});
}

TEST_F(Environment, TheSecondGameMustBeFlaggedAndPresent)
{
    setDword("Velk 2 Installed", 0);
    EXPECT_FALSE(accepted());
    EXPECT_EQ(shown(boxes), std::vector<std::string>{refusal()});

    boxes.clear();
    setDword("Velk 2 Installed", 0xFFFFFFFF);
    setDword("Velk 1 Installed", 0xDEAD);
    setDword("Cheater", 7);
    EXPECT_TRUE(accepted());

    boxes.clear();
    ASSERT_EQ(0, unlink(nativePath(gameDir + "vk2\\vk2.exe").c_str()));
    EXPECT_FALSE(accepted());
    EXPECT_EQ(shown(boxes), std::vector<std::string>{refusal()});
}

// Without its backslash the install directory runs into "vk2", and the game is not found.
TEST_F(Environment, AnInstallDirWithoutItsBackslashIsRefused)
{
    setText("Installed To:", gameDir.substr(0, gameDir.size() - 1));
    EXPECT_FALSE(accepted());
    EXPECT_EQ(shown(boxes), std::vector<std::string>{refusal()});
}

// A path to the game that would not fit its buffer names nothing: the game is not found.
TEST_F(Environment, AnInstallDirTooLongForTheGamesPathIsRefused)
{
    setText("Installed To:", "C:\\" + std::string(1012, 'g') + "\\");
    EXPECT_FALSE(accepted());
    EXPECT_EQ(shown(boxes), std::vector<std::string>{refusal()});
    EXPECT_EQ(strlen(installRecord.installDir), 1016u) << "read whole";
}

// The key is only read: a user who may not write it, as NT's limited users may not write
// HKEY_LOCAL_MACHINE, still gets the dialog.
TEST_F(Environment, AKeyTheUserCannotWriteIsRead)
{
    std::string reg = testPrefix() + "/system.reg";
    ASSERT_EQ(0, chmod(reg.c_str(), 0444));
    bool taken = accepted();
    chmod(reg.c_str(), 0644);
    EXPECT_TRUE(taken);
    EXPECT_TRUE(boxes.empty()) << shown(boxes).front();
    EXPECT_STREQ(installRecord.installDir, gameDir.c_str());
}

TEST_F(Environment, AFailedCloseIsReportedBeforeTheRefusal)
{
    layerFailCall("RegCloseKey", ERROR_INVALID_HANDLE, 0);
    EXPECT_FALSE(accepted());
    EXPECT_EQ(shown(boxes), (std::vector<std::string>{"REGISTRY: !close registry 2", refusal()}));
}

// From a drive's root the source directory ends in two backslashes, and still names that root.
TEST_F(Environment, StartedFromADriveRootTheSourceDirectoryStillResolves)
{
    std::string link = testPrefix() + "/dosdevices/e:";
    ASSERT_EQ(0, symlink(nativePath(mediaDir).c_str(), link.c_str()));
    startFrom("C:\\");
    ASSERT_EQ(0, chdir(nativePath(mediaDir).c_str()));
    ASSERT_EQ(0, chdir(link.c_str()));
    EXPECT_TRUE(accepted());
    EXPECT_STREQ(sourceDir, "E:\\\\");
    OFSTRUCT file;
    EXPECT_NE(OpenFile((std::string(sourceDir) + "dv1.exe").c_str(), &file, OF_EXIST), HFILE_ERROR);
    unlink(link.c_str());
}

// A working directory too long for the source directory and its backslash is refused with its
// own message rather than cut short.
TEST_F(Environment, AWorkingDirectoryTooLongForTheSourceDirectoryIsRefused)
{
    std::string deep = root;
    while (deep.size() < 1030) {
        deep += std::string(100, 'd') + "\\";
        makeTestSubdir(deep);
    }
    startFrom(deep);
    EXPECT_FALSE(accepted());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, REFUSAL_CAPTION);
    EXPECT_NE(boxes[0].text.find("too long"), std::string::npos) << boxes[0].text;
}

// A working directory that was removed, or whose path cannot be read, is refused with a text that
// says so, not as one too long.
TEST_F(Environment, AWorkingDirectoryThatCannotBeReadIsRefusedSayingWhy)
{
    std::string gone = root + "gone\\";
    makeTestSubdir(gone);
    startFrom(gone);
    ASSERT_EQ(rmdir(nativePath(gone).c_str()), 0);
    EXPECT_FALSE(accepted());
    startFrom(mediaDir);
    layerFailCall("GetCurrentDirectoryA", ERROR_ACCESS_DENIED, 0);
    EXPECT_FALSE(accepted());
    EXPECT_EQ(shown(boxes), (std::vector<std::string>{
                                std::string(REFUSAL_CAPTION) + ": The installer's folder no longer exists. Please run "
                                                               "the installer from the folder that holds the packs.",
                                std::string(REFUSAL_CAPTION) + ": The installer cannot read the path of its folder. "
                                                               "Please run the installer from the folder that holds "
                                                               "the packs.",
                            }));
}

// The record is read once: what changes in the registry afterwards changes nothing.
TEST_F(Environment, RegistryChangesAfterTheCheckHaveNoEffect)
{
    runDialog({[&](HWND dlg) {
        setText("Installed To:", "Q:\\elsewhere\\");
        layerClick(GetDlgItem(dlg, 1000));
    }});
    EXPECT_STREQ(installRecord.installDir, gameDir.c_str());
    EXPECT_EQ(readTestFile(gameDir + "vk2\\dv1.exe"), contentOf("dv1.exe"));
}
