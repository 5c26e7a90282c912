// The help file and the credits in Wine's Notepad, while the dialog is hidden.
#include "e2e_fixture.h"

#include <cstring>
#include <regex>

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

// A regular expression for a text as Wine's debug output shows a wide string: quoted, after an L,
// with each backslash doubled.
static std::string wineText(const std::string &text)
{
    std::string shown;
    for (char c : text)
        shown += c == '\\' ? std::string("\\\\") : std::string(1, c);
    std::string pattern = "L\"";
    for (char c : shown) {
        if (strchr("\\^$.|?*+()[]{}", c))
            pattern += '\\';
        pattern += c;
    }
    return pattern + "\"";
}

// Wine runs every program elevated with a linked token, as Vista and later run the installer with
// UAC on. Without a shell window Notepad starts as the installer's child; once the driver's window
// is the desktop's shell, through CreateProcessWithTokenW, which Wine reports at its fixme level,
// with the shell's token. Either way the installer hides, waits for Notepad and comes back.
TEST_F(ViewerE2E, NotepadRunsAsTheDesktopsUserWhereThereIsAShell)
{
    std::string log = wineLogPath();
    ASSERT_FALSE(log.empty()) << "DA12_WINE_LOG is not set: run the scenarios through CTest";
    ASSERT_TRUE(fileExists(log)) << log << " does not exist: scripts/wine-run writes it";
    writeFile(mediaDir_ + "install.doc", "How to install the packs.\r\n");
    writeFile(mediaDir_ + "credits.txt", "Who made them.\r\n");
    char previous[1024];
    DWORD previousLength = GetEnvironmentVariableA("WINEDEBUG", previous, sizeof previous);
    SetEnvironmentVariableA("WINEDEBUG", "-all,fixme+advapi");
    Installer installer(mediaDir_);
    SetEnvironmentVariableA("WINEDEBUG", previousLength && previousLength < sizeof previous ? previous : nullptr);
    HWND dialog = installer.waitForDialog();
    ASSERT_NE(dialog, nullptr);

    // What Wine wrote from the click on, which it reports before Notepad starts; the copy to the
    // file may come a little later.
    size_t start = 0;
    auto viewAndClose = [&](int button, const char *document) {
        start = readFile(log).size();
        PostMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
        HWND notepad = waitForNotepad();
        EXPECT_NE(notepad, nullptr) << document;
        EXPECT_FALSE(IsWindowVisible(dialog)) << document;
        DWORD_PTR ignored;
        EXPECT_FALSE(SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 500, &ignored))
            << "the installer waits for Notepad: " << document;
        for (int i = 0; i < 250 && notepad && windowText(notepad).find(document) == std::string::npos; ++i)
            Sleep(20);
        EXPECT_NE(windowText(notepad).find(document), std::string::npos) << "title: " << windowText(notepad);
        PostMessageA(notepad, WM_CLOSE, 0, 0);
        for (int i = 0; i < 500 && !IsWindowVisible(dialog); ++i)
            Sleep(20);
        EXPECT_TRUE(IsWindowVisible(dialog)) << document;
        for (int i = 0; i < 250 && IsWindow(notepad); ++i)
            Sleep(20);
        return readFile(log).substr(start);
    };

    std::string reported = viewAndClose(1030, "credits");
    EXPECT_EQ(reported.find("CreateProcessWithTokenW"), std::string::npos) << reported;

    ShellWindow shell;
    ASSERT_TRUE(shell.taken()) << "the desktop has a shell window already";
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
    std::string notepad = std::string(windows) + "\\notepad.exe";
    // The token, no logon flags, Notepad and its command line, NORMAL_PRIORITY_CLASS, no environment
    // block (the token's user's own), the Windows directory, the startup and process information.
    std::regex started("fixme:advapi:CreateProcessWithTokenW [0-9a-fA-F]+ 0x00000000 " + wineText(notepad) + " " +
                       wineText(notepad + " " + mediaDir_ + "install.doc") + " 0x00000020 0+ " +
                       wineText(std::string(windows) + "\\") + " [0-9a-fA-F]+ [0-9a-fA-F]+ - semi-stub\n");
    reported = viewAndClose(1029, "install");
    for (int i = 0; i < 250 && !std::regex_search(reported, started); ++i) {
        Sleep(20);
        reported = readFile(log).substr(start);
    }
    EXPECT_TRUE(std::regex_search(reported, started)) << reported;
    EXPECT_EQ(reported.find("CreateProcessWithTokenW"), reported.rfind("CreateProcessWithTokenW")) << reported;

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
