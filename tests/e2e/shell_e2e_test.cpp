// The dialog as the user meets it: where it stands, what it shows at first, where the keyboard
// focus is, the picture, and the three ways to quit.
#include "e2e_fixture.h"

#include <cstdlib>

#include "res/resource.h"
#include "tests/picture_rows.h"

using ShellE2E = GameTest;

TEST_F(ShellE2E, ShowsItsCentredDialogWithThePanelHidden)
{
    Installer installer(mediaDir_);
    HWND dialog = installer.waitForDialog();
    ASSERT_NE(dialog, nullptr) << describe(installer.boxes());

    RECT desktop;
    RECT window;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &window);
    EXPECT_EQ(window.left, (desktop.right - desktop.left - (window.right - window.left)) >> 1);
    EXPECT_EQ(window.top, (desktop.bottom - desktop.top - (window.bottom - window.top)) >> 1);

    EXPECT_EQ(childWindows(dialog).size(), 12u);
    DialogSnapshot shot = installer.snapshot();
    for (const DialogSnapshot::Control *control : {&shot.frame, &shot.status1, &shot.status2, &shot.bar})
        EXPECT_FALSE(control->visible);
    EXPECT_EQ(shot.status1Text, "");
    EXPECT_EQ(shot.barPosition, 0);
    const struct {
        int id;
        const char *text;
    } buttons[] = {{1000, "Install VK2: Delvarin 1"}, {1001, "Install VK2: Delvarin 2"},
                   {1029, "   View\nHelp File"}, {1030, "Credits"}, {IDCANCEL, "Quit"}};
    for (const auto &button : buttons) {
        HWND control = GetDlgItem(dialog, button.id);
        EXPECT_TRUE(IsWindowVisible(control) && IsWindowEnabled(control)) << button.id;
        EXPECT_EQ(windowText(control), button.text);
    }

    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(installer.finish(), 0u);
    EXPECT_TRUE(installer.boxes().empty()) << describe(installer.boxes());
}

// The dialog sets the focus on itself after it is painted; the dialog manager hands it on to its
// first tab stop, as Windows does.
TEST_F(ShellE2E, TheFocusGoesToTheFirstInstallButton)
{
    Installer installer(mediaDir_);
    HWND dialog = installer.waitForDialog();
    ASSERT_NE(dialog, nullptr);
    HWND focus = nullptr;
    for (int i = 0; i < 250 && !(focus = installer.focus()); ++i)
        Sleep(20);
    EXPECT_EQ(focus, GetDlgItem(dialog, 1000));
    EXPECT_EQ(GetForegroundWindow(), dialog);
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
}

TEST_F(ShellE2E, EscapeAndTheCloseBoxEndIt)
{
    {
        Installer installer(mediaDir_);
        ASSERT_NE(installer.waitForDialog(), nullptr);
        installer.pressKey(VK_ESCAPE);
        EXPECT_EQ(installer.finish(), 0u);
    }
    {
        Installer installer(mediaDir_);
        ASSERT_NE(installer.waitForDialog(), nullptr);
        installer.close();
        EXPECT_EQ(installer.finish(), 0u);
        EXPECT_TRUE(installer.boxes().empty()) << describe(installer.boxes());
    }
}

// The picture fills its panel; the screen's pixels there are the picture's, not the background.
TEST_F(ShellE2E, PaintsThePictureInItsPanel)
{
    Installer installer(mediaDir_);
    HWND dialog = installer.waitForDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(installer.waitForPicture()) << "the panel shows no picture";

    if (const char *shot = getenv("DA12_SCREENSHOT")) {
        EXPECT_TRUE(saveWindowPicture(dialog, shot));
    }
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
}

// The panel is a few pixels narrower and shorter than the bitmap (227 x 313 with Wine's own dialog
// font), so the stretch folds a few rows and columns together. Each painted row is still one whole
// row of the bitmap, in order: no row merges two, which would streak the picture.
TEST_F(ShellE2E, ThePictureShowsWholeRowsOfItsBitmapInOrder)
{
    HMODULE program = LoadLibraryExA(installerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr) << GetLastError();
    HRSRC resource = FindResourceA(program, MAKEINTRESOURCEA(IDB_PICTURE), RT_BITMAP);
    ASSERT_NE(resource, nullptr);
    const BITMAPINFOHEADER *header = static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(program, resource)));
    DWORD colours = header->biClrUsed ? header->biClrUsed : 1u << header->biBitCount;
    const BYTE *bits = reinterpret_cast<const BYTE *>(header) + header->biSize + 4 * colours;

    Installer installer(mediaDir_);
    HWND dialog = installer.waitForDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(installer.waitForPicture());
    HWND picture = GetDlgItem(dialog, IDC_PICTURE);
    // What the installer paints reaches the screen a moment later: the picture is read until it
    // holds or the time is up, and the last fault found is reported.
    std::vector<COLORREF> pixels;
    int width = 0;
    int height = 0;
    std::string fault = "not read";
    for (DWORD start = GetTickCount(); !fault.empty() && GetTickCount() - start < 5000; Sleep(50)) {
        if (readClientPixels(picture, pixels, width, height))
            fault = paintedRowsFault(header, bits, pixels, width, height);
    }
    EXPECT_EQ(fault, "") << width << "x" << height;
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
    FreeLibrary(program);
}

const char FOREIGN_OVERRIDES[] = "Software\\Wine\\AppDefaults\\DA12Dero.exe\\DllOverrides";

// Started from a folder where someone has put a comctl32.dll, beside the installer and in its
// working directory, with Windows' search order (a DLL on disk before Wine's own), the installer
// loads neither and its dialog, progress bar included, is created as ever.
TEST_F(ShellE2E, LoadsNoDllFromItsFolderOrItsWorkingDirectory)
{
    const char *foreign = getenv("DA12_FOREIGN_COMCTL32");
    ASSERT_TRUE(foreign && *foreign) << "DA12_FOREIGN_COMCTL32 names no DLL";
    std::string foreignPath = std::string("Z:") + foreign;
    for (char &c : foreignPath)
        if (c == '/')
            c = '\\';
    std::string folder = root_ + "downloads\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(installerPath().c_str(), (folder + "DA12Dero.exe").c_str(), FALSE));
    for (const std::string &dir : {folder, mediaDir_})
        ASSERT_TRUE(CopyFileA(foreignPath.c_str(), (dir + "comctl32.dll").c_str(), FALSE)) << foreignPath;

    // Wine takes its own DLLs before one on disk unless told otherwise, for this program here.
    HKEY overrides;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, FOREIGN_OVERRIDES, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &overrides, nullptr),
              ERROR_SUCCESS);
    const char order[] = "native,builtin";
    RegSetValueExA(overrides, "comctl32", 0, REG_SZ, (const BYTE *)order, sizeof order);
    RegCloseKey(overrides);
    HWND dialog = nullptr;
    std::string progressClass;
    {
        Installer installer(mediaDir_, folder + "DA12Dero.exe");
        dialog = installer.waitForDialog();
        if (dialog) {
            progressClass = className(GetDlgItem(dialog, IDC_INSTALL_BAR));
            installer.close();
        }
        EXPECT_EQ(installer.finish(), 0u);
        EXPECT_TRUE(installer.boxes().empty()) << describe(installer.boxes());
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, FOREIGN_OVERRIDES);

    for (const std::string &dir : {folder, mediaDir_})
        EXPECT_FALSE(fileExists(dir + "comctl32.dll.loaded")) << "loaded from " << dir;
    EXPECT_NE(dialog, nullptr);
    EXPECT_EQ(progressClass, "msctls_progress32");
}
