// Installing both packs with the Windows build under Wine: every file arrives byte for byte, the
// game's executable is saved once, and the panel is hidden again afterwards.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include "install/manifest.h"

// The name without the blanks that fill it to twelve characters.
static std::string trimmed(const char *name)
{
    std::string text = name;
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

static std::string contentOf(const std::string &name)
{
    std::string content = "pack file " + name + "\n";
    for (size_t i = 0; i < 3000 + name.size() * 517; ++i)
        content += static_cast<char>('a' + (i * 7 + name.size()) % 26);
    return content;
}

class InstallE2E : public GameTest {
protected:
    void SetUp() override
    {
        GameTest::SetUp();
        for (const ManifestEntry *manifest : {delvarin1Manifest, delvarin2Manifest})
            for (const ManifestEntry *entry = manifest; entry->fileName[0]; ++entry)
                writeFile(mediaDir_ + trimmed(entry->fileName), contentOf(trimmed(entry->fileName)));
    }

    // Presses an install button and waits until every file of the manifest is in place and
    // the progress panel is hidden again.
    void install(InstallerProcess &installer, HWND dialog, int button, const ManifestEntry *manifest)
    {
        PostMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
        for (int waited = 0; waited < 60000; waited += 100) {
            bool done = !IsWindowVisible(GetDlgItem(dialog, 1022));
            for (const ManifestEntry *entry = manifest; done && entry->fileName[0]; ++entry)
                done = readFile(destination(*entry)) == contentOf(trimmed(entry->fileName));
            if (done)
                return;
            ASSERT_EQ(installer.waitForExit(100), (DWORD)STILL_ACTIVE);
        }
        FAIL() << "the install did not finish";
    }

    std::string destination(const ManifestEntry &entry) const
    {
        return gameDir_ + entry.subdirectory + trimmed(entry.fileName);
    }

};

TEST_F(InstallE2E, InstallsBothPacksAndSavesTheGameOnce)
{
    InstallerProcess installer(mediaDir_);
    HWND dialog = installer.waitForWindow(TITLE);
    ASSERT_NE(dialog, nullptr);

    install(installer, dialog, 1000, delvarin1Manifest);
    EXPECT_EQ(readFile(gameDir_ + "vk2\\Velk2.exe"), "the game as it was installed");
    EXPECT_FALSE(fileExists(gameDir_ + "vk2\\Velk2.tmp"));
    EXPECT_FALSE(fileExists(gameDir_ + "vk2\\dv2.exe"));
    const int panel[] = {1012, 1011, 1014, 1022};
    for (int id : panel) {
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, id))) << id;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, id))) << id;
    }
    EXPECT_EQ(windowText(GetDlgItem(dialog, 1011)), "");
    EXPECT_EQ(windowText(GetDlgItem(dialog, 1014)), "");

    install(installer, dialog, 1001, delvarin2Manifest);
    EXPECT_EQ(readFile(gameDir_ + "vk2\\Velk2.exe"), "the game as it was installed");
    EXPECT_EQ(readFile(gameDir_ + "vk2\\dv1.exe"), contentOf("dv1.exe"));
    DWORD attributes = GetFileAttributesA((gameDir_ + "vk2\\gamedat\\warcry.dv2").c_str());
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);

    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(installer.waitForExit(), 0u);
}
