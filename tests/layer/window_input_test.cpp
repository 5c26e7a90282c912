// The window system's test controls: the desktop size, input given from an idle handler, the
// answers of the message box handler, the fallback that ends a loop nobody answers, activation from
// outside, calls that fail once, calls that the program never makes, and layerReset.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "conformance_ids.h"
#include "dialog_support.h"
#include "layer_control.h"
#include "windowing.h"

namespace {

class WindowInput : public testing::Test {
protected:
    void SetUp() override
    {
        layerReset();
        InitCommonControls();
    }
    void TearDown() override { EXPECT_STREQ("", layerReset()) << "scripted but never used"; }
};

// An idle handler that runs one action per idle of a loop, in order; after the last it gives no
// more input.
struct IdleActions {
    std::vector<std::function<void(HWND loopWindow)>> actions;
    size_t next = 0;
    int idles = 0;

    static void handle(HWND loopWindow, void *context)
    {
        IdleActions *self = static_cast<IdleActions *>(context);
        ++self->idles;
        if (self->next < self->actions.size())
            self->actions[self->next++](loopWindow);
    }
};

// A dialog that the idle handler drives: it has no steps of its own, records its commands, and ends
// on the one given.
DialogTest idleDriven(std::vector<WPARAM> &commands, INT_PTR endOn = IDCANCEL)
{
    DialogTest test;
    test.handler = [&commands, endOn](HWND dialog, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_APP)
            return TRUE;
        if (msg != WM_COMMAND)
            return FALSE;
        commands.push_back(wParam);
        if (LOWORD(wParam) == endOn)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    };
    return test;
}

TEST_F(WindowInput, TheDesktopHasTheSizeATestGivesIt)
{
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    layerSetDesktopSize(640, 480);
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    EXPECT_EQ(desktop.right, 640);
    EXPECT_EQ(desktop.bottom, 480);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 480);
    layerSetDesktopSize(0, 100);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640) << "a size of nothing is refused";
    layerReset();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
}

TEST_F(WindowInput, KeysGoToTheFocusWhenTheLoopTakesThem)
{
    std::vector<WPARAM> commands;
    int focusAfterTabs = 0, focusAfterShiftTab = 0;
    IdleActions idle;
    idle.actions = {
        [](HWND) {
            layerPressKey(VK_TAB, FALSE);
            layerPressKey(VK_TAB, FALSE);
        },
        [&](HWND) {
            focusAfterTabs = GetDlgCtrlID(GetFocus());
            layerPressKey(VK_TAB, TRUE);
        },
        [&](HWND) {
            focusAfterShiftTab = GetDlgCtrlID(GetFocus());
            layerPressKey(VK_RETURN, FALSE);
        },
        [](HWND) { layerPressKey(VK_ESCAPE, FALSE); },
    };
    layerSetIdleHandler(IdleActions::handle, &idle);
    DialogTest test = idleDriven(commands);
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test), IDCANCEL);
    // Two tabs from the first button reach Cancel; Shift+Tab goes back to the second, whose Enter
    // gives its command; Escape gives IDCANCEL.
    EXPECT_EQ(focusAfterTabs, IDCANCEL);
    EXPECT_EQ(focusAfterShiftTab, IDC_SECOND);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], MAKEWPARAM(IDC_SECOND, BN_CLICKED));
    EXPECT_EQ(commands[1], static_cast<WPARAM>(IDCANCEL));
}

TEST_F(WindowInput, ClicksReachOnlyVisibleEnabledWindows)
{
    std::vector<WPARAM> commands;
    IdleActions idle;
    idle.actions = {
        [](HWND dialog) {
            layerClick(GetDlgItem(dialog, IDC_HIDDEN));
            layerClick(GetDlgItem(dialog, IDC_DISABLED));
            layerClick(GetDlgItem(dialog, IDC_SECOND));
        },
        [](HWND dialog) {
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_SECOND)) << "a clicked button takes the focus";
            layerClick(GetDlgItem(dialog, IDCANCEL));
        },
    };
    layerSetIdleHandler(IdleActions::handle, &idle);
    DialogTest test = idleDriven(commands);
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test), IDCANCEL);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], MAKEWPARAM(IDC_SECOND, BN_CLICKED));
    EXPECT_EQ(commands[1], MAKEWPARAM(IDCANCEL, BN_CLICKED));
}

TEST_F(WindowInput, AClickOnTheOwnerOfAModalDialogIsIgnored)
{
    std::vector<WPARAM> outerCommands;
    HWND owner = nullptr;
    IdleActions idle;
    idle.actions = {
        [&owner](HWND) { layerClick(GetDlgItem(owner, IDC_FIRST)); },
        [](HWND) { layerPressKey(VK_ESCAPE, FALSE); },
    };
    DialogTest outer;
    outer.handler = [&outerCommands](HWND, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_COMMAND)
            outerCommands.push_back(wParam);
        return msg == WM_COMMAND;
    };
    outer.steps.push_back([&](HWND dialog) {
        owner = dialog;
        layerSetIdleHandler(IdleActions::handle, &idle);
        std::vector<WPARAM> innerCommands;
        DialogTest inner = idleDriven(innerCommands);
        EXPECT_EQ(runDialog(IDD_TAB_ORDER, inner, dialog), IDCANCEL);
        layerSetIdleHandler(nullptr, nullptr);
    });
    runDialog(IDD_TAB_ORDER, outer);
    EXPECT_EQ(idle.next, 2u);
    EXPECT_TRUE(outerCommands.empty());
}

TEST_F(WindowInput, TheCloseBoxSendsCancelThroughWmClose)
{
    std::vector<WPARAM> commands;
    IdleActions idle;
    idle.actions = {[](HWND dialog) { layerCloseWindow(dialog); }};
    layerSetIdleHandler(IdleActions::handle, &idle);
    DialogTest test = idleDriven(commands);
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test), IDCANCEL);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], MAKEWPARAM(IDCANCEL, BN_CLICKED));
}

TEST_F(WindowInput, ALoopWithoutInputEndsAsEscapeWouldAndThenForSure)
{
    std::vector<WPARAM> commands;
    DialogTest test = idleDriven(commands);
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test), IDCANCEL);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], static_cast<WPARAM>(IDCANCEL));

    // A dialog that ignores Escape is ended at its next idle, with IDCANCEL.
    commands.clear();
    DialogTest stubborn = idleDriven(commands, 0);
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, stubborn), IDCANCEL);
    EXPECT_EQ(commands.size(), 1u);
}

TEST_F(WindowInput, AnIdleHandlerThatGivesNothingLeavesTheLoopToTheFallback)
{
    IdleActions idle; // no actions
    layerSetIdleHandler(IdleActions::handle, &idle);
    std::vector<WPARAM> commands;
    DialogTest test = idleDriven(commands);
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test), IDCANCEL);
    EXPECT_EQ(idle.idles, 1);
}

struct BoxSeen {
    HWND box = nullptr;
    HWND owner = nullptr;
    std::string text, caption;
    UINT style = 0;
    BOOL ownerEnabled = TRUE;
    BOOL boxVisible = FALSE;
    int calls = 0;
    int answer = IDNO;
};

int recordBox(HWND box, HWND owner, const char *text, const char *caption, UINT style, void *context)
{
    BoxSeen *seen = static_cast<BoxSeen *>(context);
    ++seen->calls;
    seen->box = box;
    seen->owner = owner;
    seen->text = text;
    seen->caption = caption;
    seen->style = style;
    seen->ownerEnabled = IsWindowEnabled(owner);
    seen->boxVisible = IsWindowVisible(box);
    return seen->answer;
}

TEST_F(WindowInput, TheMessageBoxHandlerSeesEachBoxUpAndAnswersIt)
{
    BoxSeen seen;
    layerSetMessageBoxHandler(recordBox, &seen);
    int result = 0;
    HWND owner = nullptr;
    DialogTest test;
    test.steps.push_back([&](HWND dialog) {
        owner = dialog;
        result = MessageBoxA(dialog, "Sure?", "Question", MB_ICONQUESTION);
    });
    runDialog(IDD_TAB_ORDER, test);
    EXPECT_EQ(result, IDNO);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.owner, owner);
    EXPECT_EQ(seen.text, "Sure?");
    EXPECT_EQ(seen.caption, "Question");
    EXPECT_EQ(seen.style, static_cast<UINT>(MB_ICONQUESTION));
    EXPECT_FALSE(seen.ownerEnabled);
    EXPECT_TRUE(seen.boxVisible);
    EXPECT_FALSE(IsWindow(seen.box));
}

TEST_F(WindowInput, ABoxTheHandlerLeavesIsAnsweredAsEnterWould)
{
    BoxSeen seen;
    seen.answer = 0;
    layerSetMessageBoxHandler(recordBox, &seen);
    EXPECT_EQ(MessageBoxA(nullptr, "Done", "Notice", MB_OK | MB_ICONWARNING), IDOK);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.owner, nullptr);
    // Other kinds of box are refused.
    SetLastError(0);
    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Question", MB_YESNO), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST_F(WindowInput, AnotherProgramComingToTheFrontDeactivatesAndActivationComesBack)
{
    std::vector<std::pair<UINT, WPARAM>> seen;
    IdleActions idle;
    HWND focusWhileAway = reinterpret_cast<HWND>(1), activeWhileAway = reinterpret_cast<HWND>(1);
    idle.actions = {
        [&seen](HWND dialog) {
            seen.clear();
            layerDeactivate(dialog);
        },
        [&](HWND dialog) {
            focusWhileAway = GetFocus();
            activeWhileAway = GetActiveWindow();
            layerActivate(dialog, WA_CLICKACTIVE);
        },
        [](HWND dialog) { layerActivate(dialog, WA_ACTIVE); },
        [](HWND dialog) {
            layerDeactivate(dialog);
            layerActivate(dialog, WA_ACTIVE);
        },
        [](HWND) { layerPressKey(VK_ESCAPE, FALSE); },
    };
    layerSetIdleHandler(IdleActions::handle, &idle);
    std::vector<WPARAM> commands;
    DialogTest test = idleDriven(commands);
    auto handleCommands = test.handler;
    test.handler = [&seen, handleCommands](HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (msg == WM_ACTIVATE || msg == WM_QUERYNEWPALETTE)
            seen.push_back({msg, msg == WM_ACTIVATE ? LOWORD(wParam) : wParam});
        return handleCommands(dialog, msg, wParam, lParam);
    };
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test), IDCANCEL);
    EXPECT_EQ(focusWhileAway, nullptr);
    EXPECT_EQ(activeWhileAway, nullptr);
    std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_ACTIVATE, WA_INACTIVE},                              // away
        {WM_QUERYNEWPALETTE, 0},    {WM_ACTIVATE, WA_CLICKACTIVE}, // a click
        {WM_ACTIVATE, WA_INACTIVE},                              // away
        {WM_QUERYNEWPALETTE, 0},    {WM_ACTIVATE, WA_ACTIVE},      // keyboard
        {WM_ACTIVATE, WA_INACTIVE},                              // the ended dialog leaves none active
    };
    EXPECT_EQ(seen, expected);
}

TEST_F(WindowInput, WindowCallsFailOnceWhenATestAsks)
{
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        HWND first = GetDlgItem(dialog, IDC_FIRST);
        layerFailCall("GetDlgItem", ERROR_NOT_ENOUGH_MEMORY, 0);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GetDlgItem(dialog, IDC_FIRST), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_EQ(GetDlgItem(dialog, IDC_FIRST), first) << "only once";

        layerFailCall("SetWindowPos", ERROR_ACCESS_DENIED, 1);
        EXPECT_TRUE(SetWindowPos(dialog, HWND_TOP, 0, 0, 100, 100, 0));
        EXPECT_FALSE(SetWindowPos(dialog, HWND_TOP, 0, 0, 100, 100, 0)) << "after one that works";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

        layerFailCall("ShowWindow", ERROR_ACCESS_DENIED, 0);
        EXPECT_FALSE(ShowWindow(dialog, SW_SHOW));
        EXPECT_FALSE(IsWindowVisible(dialog));

        layerFailCall("MessageBoxA", ERROR_NOT_ENOUGH_MEMORY, 0);
        EXPECT_EQ(MessageBoxA(dialog, "text", "caption", MB_OK), 0);
        layerFailCall("GetDC", ERROR_NOT_ENOUGH_MEMORY, 0);
        EXPECT_EQ(GetDC(dialog), nullptr);
        layerFailCall("RealizePalette", ERROR_INVALID_HANDLE, 0);
        EXPECT_EQ(RealizePalette(nullptr), static_cast<UINT>(GDI_ERROR));
    });
    runDialog(IDD_TAB_ORDER, test);

    layerFailCall("DialogBoxParamA", ERROR_NOT_ENOUGH_MEMORY, 0);
    DialogTest never;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, never), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(WindowInput, TheProgressBarExistsOnlyOnceCommonControlsAreRegistered)
{
    layerReset();
    DialogTest test;
    EXPECT_EQ(runDialog(IDD_PROGRESS, test), -1);
    layerFailCall("InitCommonControls", ERROR_NOT_ENOUGH_MEMORY, 0);
    InitCommonControls();
    EXPECT_EQ(runDialog(IDD_PROGRESS, test), -1) << "the failed call registered nothing";
    InitCommonControls();
    EXPECT_EQ(runDialog(IDD_PROGRESS, test), 0);
}

// What the program never asks of the window system fails cleanly: other show commands, other
// placements, resources by name, extended templates, dialogs in another font.
TEST_F(WindowInput, WhatTheProgramNeverAsksIsRefused)
{
    const DWORD notSupported = ERROR_NOT_SUPPORTED;
    DialogTest test;
    test.steps.push_back([notSupported](HWND dialog) {
        SetLastError(0);
        EXPECT_FALSE(ShowWindow(dialog, 8)); // SW_SHOWNA
        EXPECT_EQ(GetLastError(), notSupported);
        SetLastError(0);
        EXPECT_FALSE(SetWindowPos(dialog, HWND_TOP, 0, 0, 10, 10, 0x0010)); // SWP_NOACTIVATE
        EXPECT_EQ(GetLastError(), notSupported);
        SetLastError(0);
        EXPECT_FALSE(SetWindowPos(dialog, GetDlgItem(dialog, IDC_FIRST), 0, 0, 10, 10, 0));
        EXPECT_EQ(GetLastError(), notSupported);
    });
    runDialog(IDD_TAB_ORDER, test);

    SetLastError(0);
    EXPECT_EQ(FindResourceA(nullptr, "#303", RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), notSupported);

    const unsigned char extended[18] = {1, 0, 0xFF, 0xFF}; // DLGTEMPLATEEX's version and signature
    layer::win::DialogSpec layout = {};
    EXPECT_FALSE(layer::win::parseTemplate(extended, sizeof extended, layout));
    layout = {};
    layout.style = WS_POPUP | DS_SETFONT;
    layout.hasFont = true;
    layout.pointSize = 9;
    SetLastError(0);
    EXPECT_EQ(layer::win::createDialog(layout, nullptr, nullptr, 0, false), nullptr);
    EXPECT_EQ(GetLastError(), notSupported);
}

TEST_F(WindowInput, ResetDestroysTheWindowsLeftBehind)
{
    HWND dialog = nullptr;
    IdleActions idle;
    idle.actions = {[&dialog](HWND loopWindow) {
        dialog = loopWindow;
        layerSetDesktopSize(800, 600);
        layerReset();
    }};
    layerSetIdleHandler(IdleActions::handle, &idle);
    std::vector<WPARAM> commands;
    DialogTest test = idleDriven(commands);
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test), 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(FindWindowA("#32770", nullptr), nullptr);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
}

} // namespace
