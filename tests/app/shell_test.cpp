// The main dialog: start-up and placement, the command table, activation, painting and the keys
// that end it.
#include "app_fixture.h"

#include <commctrl.h>

#include "app/maindlg.h"
#include "layer_control.h"
#include "resource.h"
#include "test_env.h"

namespace {

bool visible(HWND dlg, int id)
{
    return IsWindowVisible(GetDlgItem(dlg, id)) != 0;
}

int count(const std::vector<Seen> &seen, UINT message)
{
    int n = 0;
    for (const Seen &s : seen)
        n += s.message == message;
    return n;
}

} // namespace

using Shell = InstallerTest;

TEST_F(Shell, ShowsTheDialogCentredWithOnlyThePanelHidden)
{
    RECT window{};
    bool shown = false;
    runDialog({[&](HWND dlg) {
        shown = IsWindowVisible(dlg);
        GetWindowRect(dlg, &window);
        for (int id : {1025, 1000, 1001, 1029, 1030, 2})
            EXPECT_TRUE(visible(dlg, id)) << id;
        for (int id : {1012, 1011, 1014, 1022}) {
            EXPECT_FALSE(visible(dlg, id)) << id;
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dlg, id))) << id;
        }
        char title[64];
        GetWindowTextA(dlg, title, sizeof title);
        EXPECT_STREQ(title, TITLE);
        EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_INSTALL_PACK1)) << "the first tab stop has the focus";
    }});
    EXPECT_TRUE(shown);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    EXPECT_EQ(window.left, (1024 - width) / 2);
    EXPECT_EQ(window.top, (768 - height) / 2);
    EXPECT_TRUE(boxes.empty());
}

// A dialog larger than the desktop lands at the floor of the half: 5 pixels too wide gives -3.
TEST_F(Shell, CentringKeepsTheSizeAndRoundsTowardsMinusInfinity)
{
    RECT natural{};
    runDialog({[&](HWND dlg) { GetWindowRect(dlg, &natural); }});
    int width = natural.right - natural.left;
    int height = natural.bottom - natural.top;

    layerSetDesktopSize(width - 5, height - 6);
    RECT placed{};
    runDialog({[&](HWND dlg) { GetWindowRect(dlg, &placed); }});
    EXPECT_EQ(placed.left, -3);
    EXPECT_EQ(placed.top, -3);
    EXPECT_EQ(placed.right - placed.left, width);
    EXPECT_EQ(placed.bottom - placed.top, height);
}

// Each failing call is reported with the error read right after it; the dialog still works.
TEST_F(Shell, CentringFailuresAreReportedAndTheDialogStaysWhereItWas)
{
    struct Case {
        const char *function;
        int skip;
        DWORD error;
        const char *text;
    };
    const Case cases[] = {
        {"GetWindowRect", 0, ERROR_ACCESS_DENIED, "!getwindowpos, 5"},
        {"GetWindowRect", 1, ERROR_INVALID_WINDOW_HANDLE, "!getwindowpos, 1400"},
        {"SetWindowPos", 0, ERROR_NOT_ENOUGH_MEMORY, "!setwindowpos, 8"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        boxes.clear();
        layerFailCall(c.function, c.error, c.skip);
        RECT window{};
        runDialog({[&](HWND dlg) { GetWindowRect(dlg, &window); }});
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].caption, "Error!");
        EXPECT_EQ(boxes[0].style, (UINT)MB_OK);
        EXPECT_NE(boxes[0].owner, nullptr);
        EXPECT_FALSE(boxes[0].ownerVisible) << "shown while the dialog is still hidden";
        EXPECT_EQ(window.left, 0) << "the template's place";
    }
}

TEST_F(Shell, TheCommandTableAnswersAsTheDialogManagerExpects)
{
    runDialog({[&](HWND dlg) {
        EXPECT_EQ(mainDlgProc(dlg, WM_COMMAND, IDOK, 0), FALSE);
        EXPECT_EQ(mainDlgProc(dlg, WM_COMMAND, 1234, 0), FALSE);
        EXPECT_EQ(mainDlgProc(dlg, WM_COMMAND, MAKEWPARAM(IDC_VIEW_CREDITS, BN_CLICKED), 0), TRUE);
        EXPECT_EQ(mainDlgProc(dlg, WM_QUERYNEWPALETTE, 0, 0), FALSE);
        EXPECT_EQ(mainDlgProc(dlg, WM_PALETTECHANGED, (WPARAM)dlg, 0), TRUE);
        EXPECT_EQ(mainDlgProc(dlg, WM_TIMER, 1, 0), FALSE);
        EXPECT_EQ(mainDlgProc(dlg, WM_ACTIVATE, WA_INACTIVE, 0), TRUE);
    }});
    ASSERT_EQ(boxes.size(), 1u) << "credits.txt is not on this disc";
    EXPECT_EQ(boxes[0].caption, "Could not find file:");
}

// The notification code in the high word is not looked at: 1000 installs pack 1 whatever it is.
TEST_F(Shell, CommandsAreDispatchedOnTheLowWordAlone)
{
    runDialog({[&](HWND dlg) {
        EXPECT_EQ(mainDlgProc(dlg, WM_COMMAND, MAKEWPARAM(IDC_INSTALL_PACK1, 0x1234), 0), TRUE);
    }});
    EXPECT_EQ(readTestFile(gameDir + "vk2\\dv1.exe"), contentOf("dv1.exe"));
}

TEST_F(Shell, QuitEscapeAndTheCloseBoxEndTheDialogWithZero)
{
    EXPECT_EQ(runDialog({[](HWND dlg) { layerClick(GetDlgItem(dlg, IDCANCEL)); }}), 0);
    EXPECT_EQ(runDialog({[](HWND) { layerPressKey(VK_ESCAPE, FALSE); }}), 0);
    EXPECT_EQ(runDialog({[](HWND dlg) { layerCloseWindow(dlg); }}), 0);
    // IDOK is not Quit: Enter on an install button installs, and the dialog stays.
    bool stillThere = false;
    runDialog({[](HWND) { layerPressKey(VK_RETURN, FALSE); },
               [&](HWND dlg) { stillThere = IsWindowVisible(dlg); }});
    EXPECT_TRUE(stillThere);
}

TEST_F(Shell, TabMovesAmongTheFiveButtonsInTemplateOrder)
{
    std::vector<int> order;
    std::vector<std::function<void(HWND)>> steps;
    for (int i = 0; i < 6; ++i)
        steps.push_back([&](HWND) {
            order.push_back(GetDlgCtrlID(GetFocus()));
            layerPressKey(VK_TAB, FALSE);
        });
    // The last Tab went on to 1001; Shift+Tab twice goes back past the first button to Quit.
    steps.push_back([](HWND) { layerPressKey(VK_TAB, TRUE); });
    steps.push_back([](HWND) { layerPressKey(VK_TAB, TRUE); });
    steps.push_back([&](HWND) { order.push_back(GetDlgCtrlID(GetFocus())); });
    runDialog(steps);
    EXPECT_EQ(order, (std::vector<int>{1000, 1001, 1029, 1030, 2, 1000, 2}));
}

// Activation from the keyboard or by the system repaints at once; a click or the dialog's own
// activation does not. Either way the answer is TRUE.
TEST_F(Shell, OnlyKeyboardActivationRepaintsAtOnce)
{
    runDialog({[&](HWND dlg) {
        RECT pending;
        HWND other = GetDesktopWindow();
        struct Case {
            WPARAM state;
            HWND from;
            bool repaints;
        } cases[] = {{WA_ACTIVE, other, true}, {WA_ACTIVE, NULL, true}, {WA_CLICKACTIVE, other, false},
                     {WA_ACTIVE, dlg, false}, {WA_INACTIVE, other, false}};
        for (const Case &c : cases) {
            InvalidateRect(dlg, NULL, FALSE);
            EXPECT_EQ(mainDlgProc(dlg, WM_ACTIVATE, c.state, (LPARAM)c.from), TRUE);
            EXPECT_EQ(GetUpdateRect(dlg, &pending, FALSE) == FALSE, c.repaints) << c.state;
            UpdateWindow(dlg);
        }
    }});
}

// After a repaint the dialog gives the focus to itself; the dialog manager then hands it on to a
// control, as it does on Windows.
TEST_F(Shell, APaintSetsTheFocusOnTheDialogWindow)
{
    runDialog({[&](HWND dlg) {
                   seen.clear();
                   InvalidateRect(dlg, NULL, TRUE);
                   UpdateWindow(dlg);
                   EXPECT_EQ(count(seen, WM_PAINT), 1);
                   EXPECT_EQ(count(seen, WM_SETFOCUS), 1);
                   layerDeactivate(dlg);
               },
               [&](HWND dlg) { layerActivate(dlg, WA_ACTIVE); },
               [&](HWND dlg) {
                   EXPECT_GE(count(seen, WM_SETFOCUS), 2);
                   EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_INSTALL_PACK1)) << "the control that had it";
               }});
}
