// The help file and the credits in Wine's Notepad, while the dialog is hidden.
#include "e2e_fixture.h"

#include <cstring>

using ViewerE2E = GameTest;

// Notepad's main window, once it shows.
static HWND waitForNotepad()
{
    for (int i = 0; i < 1000; ++i) {
        HWND found = FindWindowA("Notepad", nullptr);
        if (found && IsWindowVisible(found))
            return found;
        Sleep(20);
    }
    return nullptr;
}

TEST_F(ViewerE2E, ShowsEachDocumentInNotepadWhileHidden)
{
    writeFile(mediaDir_ + "install.doc", "How to install the packs.\r\n");
    writeFile(mediaDir_ + "credits.txt", "Who made them.\r\n");
    Installer installer(mediaDir_);
    HWND dialog = installer.waitForDialog();
    ASSERT_NE(dialog, nullptr);

    const struct {
        int button;
        const char *document;
    } documents[] = {{1029, "install"}, {1030, "credits"}};
    for (const auto &document : documents) {
        SCOPED_TRACE(document.document);
        PostMessageA(GetDlgItem(dialog, document.button), BM_CLICK, 0, 0);
        HWND notepad = waitForNotepad();
        ASSERT_NE(notepad, nullptr);
        EXPECT_FALSE(IsWindowVisible(dialog));
        // Notepad names its window after the file once it has loaded it.
        for (int i = 0; i < 250 && windowText(notepad).find(document.document) == std::string::npos; ++i)
            Sleep(20);
        EXPECT_NE(windowText(notepad).find(document.document), std::string::npos)
            << "title: " << windowText(notepad);

        PostMessageA(notepad, WM_CLOSE, 0, 0);
        for (int i = 0; i < 500 && !IsWindowVisible(dialog); ++i)
            Sleep(20);
        EXPECT_TRUE(IsWindowVisible(dialog));
        for (int i = 0; i < 250 && IsWindow(notepad); ++i)
            Sleep(20);
    }
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
    EXPECT_TRUE(installer.boxes().empty()) << describe(installer.boxes());
}

TEST_F(ViewerE2E, AMissingDocumentIsNamed)
{
    Installer installer(mediaDir_);
    ASSERT_NE(installer.waitForDialog(), nullptr);
    std::vector<BoxRecord> boxes;
    EXPECT_TRUE(installer.press(1030, &boxes));
    ASSERT_EQ(boxes.size(), 1u) << describe(boxes);
    EXPECT_EQ(boxes[0].caption, "Could not find file:");
    EXPECT_EQ(boxes[0].text, mediaDir_ + "credits.txt");
    EXPECT_TRUE(boxes[0].ownedByDialog);
    EXPECT_TRUE(boxes[0].dialog.visible);
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
}

// OpenFile's existence test takes full paths of at most 127 characters; a document past that, up to
// the 259 characters that Windows' file functions take, still reaches Notepad.
TEST_F(ViewerE2E, ADocumentPastTheExistenceTestsLimitIsShown)
{
    for (size_t length : {128u, 259u}) {
        SCOPED_TRACE(length);
        std::string media = dirOfLength(mediaDir_, length - strlen("credits.txt"));
        writeFile(media + "credits.txt", "Who made them.\r\n");
        ASSERT_TRUE(fileExists(media + "credits.txt"));
        Installer installer(media);
        HWND dialog = installer.waitForDialog();
        ASSERT_NE(dialog, nullptr);
        PostMessageA(GetDlgItem(dialog, 1030), BM_CLICK, 0, 0);
        HWND notepad = waitForNotepad();
        ASSERT_NE(notepad, nullptr) << "no Notepad";
        for (int i = 0; i < 250 && windowText(notepad).find("credits") == std::string::npos; ++i)
            Sleep(20);
        EXPECT_NE(windowText(notepad).find("credits"), std::string::npos) << "title: " << windowText(notepad);
        PostMessageA(notepad, WM_CLOSE, 0, 0);
        for (int i = 0; i < 500 && !IsWindowVisible(dialog); ++i)
            Sleep(20);
        for (int i = 0; i < 250 && IsWindow(notepad); ++i)
            Sleep(20);
        installer.close();
        EXPECT_EQ(installer.finish(), 0u);
        EXPECT_TRUE(installer.boxes().empty()) << describe(installer.boxes());
    }
}
