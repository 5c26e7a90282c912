// The Windows build of the installer under Wine, driven from outside as a user would drive it.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using InstallerE2E = GameTest;

TEST_F(InstallerE2E, ShowsItsCentredDialogWithThePanelHiddenAndQuits)
{
    InstallerProcess installer(mediaDir_);
    HWND dialog = installer.waitForWindow(TITLE);
    ASSERT_NE(dialog, nullptr);

    RECT desktop;
    RECT window;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &window);
    EXPECT_EQ(window.left, (desktop.right - desktop.left - (window.right - window.left)) >> 1);
    EXPECT_EQ(window.top, (desktop.bottom - desktop.top - (window.bottom - window.top)) >> 1);

    EXPECT_EQ(childWindows(dialog).size(), 12u);
    const int panel[] = {1012, 1011, 1014, 1022};
    for (int id : panel) {
        HWND control = GetDlgItem(dialog, id);
        ASSERT_NE(control, nullptr) << id;
        EXPECT_FALSE(IsWindowVisible(control)) << id;
    }
    EXPECT_EQ(windowText(GetDlgItem(dialog, 1029)), "   View\nHelp File");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, 1025)));

    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(installer.waitForExit(), 0u);
}

TEST_F(InstallerE2E, EscapeAndTheCloseBoxEndIt)
{
    {
        InstallerProcess installer(mediaDir_);
        HWND dialog = installer.waitForWindow(TITLE);
        ASSERT_NE(dialog, nullptr);
        HWND focus = installer.focus();
        pressKey(focus ? focus : dialog, VK_ESCAPE);
        EXPECT_EQ(installer.waitForExit(), 0u);
    }
    {
        InstallerProcess installer(mediaDir_);
        HWND dialog = installer.waitForWindow(TITLE);
        ASSERT_NE(dialog, nullptr);
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(installer.waitForExit(), 0u);
    }
}

TEST_F(InstallerE2E, ASecondCopyEndsSilentlyAndLeavesTheFirstRunning)
{
    InstallerProcess first(mediaDir_);
    HWND dialog = first.waitForWindow(TITLE);
    ASSERT_NE(dialog, nullptr);

    InstallerProcess second(mediaDir_);
    EXPECT_EQ(second.waitForExit(), 0u);
    EXPECT_EQ(first.waitForExit(200), (DWORD)STILL_ACTIVE);
    EXPECT_TRUE(IsWindowVisible(dialog));

    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(first.waitForExit(), 0u);
}

// The launcher's object, or the compilation's, gives the notice; a game's ends the run silently.
TEST_F(InstallerE2E, RefusesToRunBesideTheLauncherAndTheGames)
{
    const char *notices[] = {"Velkor Launcher", "Velkor Zuva"};
    for (const char *name : notices) {
        HANDLE held = CreateSemaphoreA(nullptr, 0, 1, name);
        InstallerProcess installer(mediaDir_);
        HWND box = installer.waitForWindow("Notice");
        ASSERT_NE(box, nullptr) << name;
        EXPECT_EQ(messageBoxText(box), "Please quit the Velkor Launcher before running DA12Dero.exe");
        acknowledge(box);
        EXPECT_EQ(installer.waitForExit(), 0u) << name;
        CloseHandle(held);
    }

    HANDLE game = CreateSemaphoreA(nullptr, 0, 1, "Velkor 2");
    {
        InstallerProcess installer(mediaDir_);
        EXPECT_EQ(installer.waitForExit(), 0u);
    }
    CloseHandle(game);

    HANDLE third = CreateMutexA(nullptr, FALSE, "Velkor 3 Mutex");
    {
        InstallerProcess installer(mediaDir_);
        EXPECT_EQ(installer.waitForExit(), 0u);
    }
    CloseHandle(third);
}

// A semaphore under the third game's mutex name makes the probe fail with another error, which
// counts as absent.
TEST_F(InstallerE2E, ASemaphoreUnderTheMutexNameIsIgnored)
{
    HANDLE impostor = CreateSemaphoreA(nullptr, 0, 1, "Velkor 3 Mutex");
    InstallerProcess installer(mediaDir_);
    HWND dialog = installer.waitForWindow(TITLE);
    EXPECT_NE(dialog, nullptr);
    if (dialog)
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(installer.waitForExit(), 0u);
    CloseHandle(impostor);
}

static const char REFUSAL[] =
    "Yo, Rookie, this is a Windows 95 version of Delvarin 1 and 2!  Please install the VK: Zarkhul "
    "Zuva version of Velkor 2 to allow Delvarin 1 and 2 to be installed.";

// Each refusal shows its boxes while the dialog is hidden, and the dialog never appears.
TEST_F(InstallerE2E, RefusesWithoutTheRecordOrTheSecondGame)
{
    deleteInstallRecord();
    {
        InstallerProcess installer(mediaDir_);
        HWND box = installer.waitForWindow("Delvarin 1 and 2 Install Aborted");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(messageBoxText(box), REFUSAL);
        EXPECT_EQ(installer.waitForWindow(TITLE, 0), nullptr);
        acknowledge(box);
        EXPECT_EQ(installer.waitForExit(), 0u);
    }

    writeInstallRecord(gameDir_, 0);
    {
        InstallerProcess installer(mediaDir_);
        HWND box = installer.waitForWindow("Delvarin 1 and 2 Install Aborted");
        ASSERT_NE(box, nullptr);
        acknowledge(box);
        EXPECT_EQ(installer.waitForExit(), 0u);
    }
}

TEST_F(InstallerE2E, AMissingValueIsNamedBeforeTheRefusal)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quorvex\\VK: Zarkhul Zuva", 0,
                                           KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "Cheater");
    RegCloseKey(key);

    InstallerProcess installer(mediaDir_);
    HWND registry = installer.waitForWindow("REGISTRY");
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(messageBoxText(registry), "Key: 'Cheater' not accessible");
    acknowledge(registry);
    HWND refusal = installer.waitForWindow("Delvarin 1 and 2 Install Aborted");
    ASSERT_NE(refusal, nullptr);
    acknowledge(refusal);
    EXPECT_EQ(installer.waitForExit(), 0u);
}

static HWND findWindowOfClass(const char *name, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
        HWND found = FindWindowA(name, nullptr);
        if (found && IsWindowVisible(found))
            return found;
        Sleep(50);
    }
    return nullptr;
}

// The help file opens in Notepad while the dialog hides; closing Notepad brings the dialog back.
TEST_F(InstallerE2E, ShowsTheHelpFileInNotepadWhileHidden)
{
    writeFile(mediaDir_ + "install.doc", "How to install the packs.\r\n");
    InstallerProcess installer(mediaDir_);
    HWND dialog = installer.waitForWindow(TITLE);
    ASSERT_NE(dialog, nullptr);

    PostMessageA(GetDlgItem(dialog, 1029), BM_CLICK, 0, 0);
    HWND notepad = findWindowOfClass("Notepad", 20000);
    ASSERT_NE(notepad, nullptr);
    EXPECT_FALSE(IsWindowVisible(dialog));
    // Notepad names its window after the file once it has loaded it.
    for (int i = 0; i < 100 && windowText(notepad).find("install") == std::string::npos; ++i)
        Sleep(50);
    EXPECT_NE(windowText(notepad).find("install"), std::string::npos) << "title: " << windowText(notepad);

    PostMessageA(notepad, WM_CLOSE, 0, 0);
    for (int i = 0; i < 400 && !IsWindowVisible(dialog); ++i)
        Sleep(50);
    EXPECT_TRUE(IsWindowVisible(dialog));

    PostMessageA(GetDlgItem(dialog, 1030), BM_CLICK, 0, 0);
    HWND missing = installer.waitForWindow("Could not find file:");
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(messageBoxText(missing), mediaDir_ + "credits.txt");
    acknowledge(missing);

    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(installer.waitForExit(), 0u);
}

// Writes the window's pixels as a 24-bit BMP file.
static bool saveWindowPicture(HWND window, const std::string &path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    DWORD imageSize = ((width * 3 + 3) & ~3) * height;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    std::string content(reinterpret_cast<const char *>(&file), sizeof file);
    content.append(reinterpret_cast<const char *>(&info.bmiHeader), sizeof info.bmiHeader);
    content.append(static_cast<const char *>(bits), imageSize);
    writeFile(path, content);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return true;
}

// The picture fills its panel; the screen's pixels there are the picture's, not the background.
TEST_F(InstallerE2E, PaintsThePictureInItsPanel)
{
    InstallerProcess installer(mediaDir_);
    HWND dialog = installer.waitForWindow(TITLE);
    ASSERT_NE(dialog, nullptr);
    Sleep(500);
    HWND picture = GetDlgItem(dialog, 1025);
    RECT client;
    GetClientRect(picture, &client);
    POINT origin = {0, 0};
    ClientToScreen(picture, &origin);
    HDC screen = GetDC(nullptr);
    int distinct = 0;
    COLORREF previous = CLR_INVALID;
    for (int y = 0; y < client.bottom; y += 16) {
        COLORREF pixel = GetPixel(screen, origin.x + client.right / 2, origin.y + y);
        if (pixel != previous)
            ++distinct;
        previous = pixel;
    }
    ReleaseDC(nullptr, screen);
    EXPECT_GT(distinct, 8) << "the panel shows no picture";

    if (const char *shot = getenv("DA12_SCREENSHOT"))
        saveWindowPicture(dialog, shot);
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(installer.waitForExit(), 0u);
}
