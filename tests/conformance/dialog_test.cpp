// Dialogs from templates: what DialogBoxParamA builds from a template, the dialog manager's keys,
// focus and default button, and the modal loop.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "conformance_ids.h"
#include "dialog_support.h"

namespace {

std::string windowText(HWND hwnd)
{
    char text[256] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

std::string className(HWND hwnd)
{
    char name[64] = "";
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

std::string describe(const RECT &r)
{
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

// A rectangle in dialog units, in pixels as the dialog converts it: position and size each on
// their own, as a template's are.
std::string inPixels(HWND dialog, int x, int y, int cx, int cy)
{
    RECT r = {x, y, cx, cy};
    EXPECT_TRUE(MapDialogRect(dialog, &r));
    return describe(RECT{r.left, r.top, r.left + r.right, r.top + r.bottom});
}

LONG styleOf(HWND hwnd)
{
    return GetWindowLongA(hwnd, GWL_STYLE);
}

LONG buttonType(HWND hwnd)
{
    return styleOf(hwnd) & BS_TYPEMASK;
}

struct Command {
    WPARAM wParam;
    LPARAM lParam;
};

// Records the WM_COMMAND messages a dialog gets, and answers them so that none ends it.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> recordCommands(std::vector<Command> &commands)
{
    return [&commands](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (msg != WM_COMMAND)
            return FALSE;
        commands.push_back({wParam, lParam});
        return TRUE;
    };
}

void postKey(UINT vk)
{
    PostMessageA(GetFocus(), WM_KEYDOWN, vk, 1);
    PostMessageA(GetFocus(), WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
}

TEST(DialogTemplate, BuildsTheDialogAndEveryControlOfAClassicTemplate)
{
    InitCommonControls(); // the template has a progress bar
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        EXPECT_EQ(windowText(dialog), "Parse Test");
        EXPECT_EQ(className(dialog), "#32770");
        const LONG asked = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
        EXPECT_EQ(styleOf(dialog) & asked, asked) << std::hex << styleOf(dialog);
        EXPECT_FALSE(styleOf(dialog) & WS_VISIBLE) << "shown before the loop had nothing to do";

        // The controls stack in template order.
        HWND label = GetWindow(dialog, GW_CHILD);
        HWND frame = GetWindow(label, GW_HWNDNEXT);
        HWND push = GetWindow(frame, GW_HWNDNEXT);
        HWND named = GetWindow(push, GW_HWNDNEXT);
        HWND bar = GetWindow(named, GW_HWNDNEXT);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(GetWindow(bar, GW_HWNDNEXT), nullptr);
        EXPECT_EQ(label, GetDlgItem(dialog, IDC_LABEL));
        EXPECT_EQ(push, GetDlgItem(dialog, IDC_PUSH));
        EXPECT_EQ(named, GetDlgItem(dialog, IDC_NAMED));
        EXPECT_EQ(bar, GetDlgItem(dialog, IDC_BAR));
        // IDC_STATIC is -1 in a 16-bit field.
        EXPECT_EQ(GetDlgCtrlID(frame), 0xFFFF);
        EXPECT_EQ(GetDlgItem(dialog, 0xFFFF), frame);

        EXPECT_EQ(className(label), "Static");
        EXPECT_EQ(className(frame), "Static");
        EXPECT_EQ(className(push), "Button");
        EXPECT_EQ(className(named), "Button");
        EXPECT_EQ(className(bar), "msctls_progress32");

        EXPECT_EQ(windowText(label), "Top\nBottom");
        EXPECT_EQ(windowText(frame), "");
        EXPECT_EQ(windowText(push), "Push");
        EXPECT_EQ(windowText(bar), "Progress1");

        EXPECT_EQ(styleOf(label) & (WS_CHILD | WS_VISIBLE | SS_TYPEMASK), WS_CHILD | WS_VISIBLE | SS_LEFT);
        EXPECT_EQ(styleOf(frame) & SS_TYPEMASK, SS_BLACKFRAME);
        EXPECT_TRUE(styleOf(frame) & SS_SUNKEN);
        // A dialog turns a control's border into a sunken client edge; a sunken static adds its own
        // static edge.
        EXPECT_FALSE(styleOf(frame) & WS_BORDER);
        LONG frameEx = GetWindowLongA(frame, GWL_EXSTYLE);
        EXPECT_EQ(frameEx & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE), WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)
            << std::hex << frameEx;
        EXPECT_EQ(styleOf(push) & (WS_TABSTOP | BS_TYPEMASK), WS_TABSTOP | BS_PUSHBUTTON);
        EXPECT_TRUE(styleOf(named) & BS_MULTILINE);
        EXPECT_FALSE(styleOf(bar) & WS_VISIBLE);

        EXPECT_EQ(describe(rectInParent(label)), inPixels(dialog, 5, 6, 60, 16));
        EXPECT_EQ(describe(rectInParent(frame)), inPixels(dialog, 70, 5, 40, 30));
        EXPECT_EQ(describe(rectInParent(push)), inPixels(dialog, 120, 8, 50, 14));
        EXPECT_EQ(describe(rectInParent(named)), inPixels(dialog, 120, 30, 50, 14));
        EXPECT_EQ(describe(rectInParent(bar)), inPixels(dialog, 5, 40, 100, 10));

        // Without an owner the template's position counts from the screen's origin.
        RECT client;
        GetClientRect(dialog, &client);
        POINT origin = {0, 0};
        ClientToScreen(dialog, &origin);
        RECT onScreen = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
        EXPECT_EQ(describe(onScreen), inPixels(dialog, 10, 20, 200, 100));
    });
    EXPECT_EQ(runDialog(IDD_PARSE, test), 0);
}

TEST(DialogTemplate, FramesAndEdgesTakeTheirPixelsOutsideTheClientArea)
{
    InitCommonControls();
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        // A caption with a modal frame: 3 pixels of frame on each side and a 19-pixel caption.
        RECT window, client;
        GetWindowRect(dialog, &window);
        GetClientRect(dialog, &client);
        EXPECT_EQ(window.right - window.left - client.right, 6);
        EXPECT_EQ(window.bottom - window.top - client.bottom, 25);
        // A client edge of 2 pixels and a static edge of 1.
        HWND frame = GetWindow(GetDlgItem(dialog, IDC_LABEL), GW_HWNDNEXT);
        GetWindowRect(frame, &window);
        GetClientRect(frame, &client);
        EXPECT_EQ(window.right - window.left - client.right, 6);
        EXPECT_EQ(window.bottom - window.top - client.bottom, 6);
        HWND push = GetDlgItem(dialog, IDC_PUSH);
        GetWindowRect(push, &window);
        GetClientRect(push, &client);
        EXPECT_EQ(window.right - window.left, client.right);
        // A progress bar draws its own frame: the edge its border became is taken away again.
        HWND bar = GetDlgItem(dialog, IDC_BAR);
        EXPECT_FALSE(GetWindowLongA(bar, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
        GetWindowRect(bar, &window);
        GetClientRect(bar, &client);
        EXPECT_EQ(window.right - window.left, client.right);
    });
    runDialog(IDD_PARSE, test);
}

TEST(DialogTemplate, MissingTemplateFails)
{
    SetLastError(0xdeadbeef);
    DialogTest test;
    EXPECT_EQ(runDialog(999, test), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(DialogTemplate, UnknownControlClassFailsAndLeavesNoWindow)
{
    SetLastError(0xdeadbeef);
    bool initialised = false;
    DialogTest test;
    test.handler = [&initialised](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        initialised = initialised || msg == WM_INITDIALOG;
        return FALSE;
    };
    EXPECT_EQ(runDialog(IDD_MISSING_CLASS, test), -1);
    // As Windows does, the failed control leaves no error code.
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_FALSE(initialised);
    EXPECT_EQ(FindWindowA("#32770", "Missing"), nullptr);
}

TEST(DialogTemplate, OwnerThatIsNoWindowFails)
{
    HWND ended = endedWindow();
    DialogTest test;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test, ended), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(DialogManager, InitDialogNamesTheFirstTabStopAndTrueGivesItTheFocus)
{
    HWND named = nullptr;
    DialogTest test;
    test.handler = [&named](HWND, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            named = reinterpret_cast<HWND>(wParam);
        return FALSE;
    };
    test.steps.push_back([&named](HWND dialog) {
        EXPECT_EQ(named, GetDlgItem(dialog, IDC_FIRST));
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_FIRST));
        EXPECT_EQ(GetActiveWindow(), dialog);
    });
    runDialog(IDD_TAB_ORDER, test);
}

TEST(DialogManager, TabMovesAmongVisibleEnabledTabStopsAndWraps)
{
    DialogTest test;
    test.steps = {
        [](HWND dialog) {
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_FIRST));
            postKey(VK_TAB);
        },
        [](HWND dialog) {
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_SECOND));
            postKey(VK_TAB);
        },
        [](HWND dialog) {
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDCANCEL)) << "the hidden and the disabled button are no stops";
            postKey(VK_TAB);
        },
        [](HWND dialog) {
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_FIRST));
            // Shift+Tab asks the dialog for the previous control.
            SendMessageA(dialog, WM_NEXTDLGCTL, TRUE, 0);
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDCANCEL));
        },
    };
    runDialog(IDD_TAB_ORDER, test);
}

TEST(DialogManager, OfTwoDefaultPushButtonsTheLastIsTheDefault)
{
    std::vector<Command> commands;
    DialogTest test;
    test.handler = recordCommands(commands);
    test.steps = {
        [](HWND dialog) {
            EXPECT_EQ(SendMessageA(dialog, DM_GETDEFID, 0, 0), MAKELONG(IDC_SECOND, DC_HASDEFID));
            EXPECT_EQ(buttonType(GetDlgItem(dialog, IDC_FIRST)), BS_PUSHBUTTON);
            EXPECT_EQ(buttonType(GetDlgItem(dialog, IDC_SECOND)), BS_DEFPUSHBUTTON);
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_FIRST));
            postKey(VK_RETURN);
        },
        [&commands](HWND dialog) {
            // Enter on the first button, which is no longer a default one, gives the default's command.
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].wParam, MAKEWPARAM(IDC_SECOND, BN_CLICKED));
            EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_SECOND)));
            postKey(VK_TAB);
            postKey(VK_TAB);
        },
        [&commands](HWND dialog) {
            // A push button that the focus moves to becomes the default one.
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDCANCEL));
            EXPECT_EQ(buttonType(GetDlgItem(dialog, IDCANCEL)), BS_DEFPUSHBUTTON);
            EXPECT_EQ(buttonType(GetDlgItem(dialog, IDC_SECOND)), BS_PUSHBUTTON);
            EXPECT_EQ(SendMessageA(dialog, DM_GETDEFID, 0, 0), MAKELONG(IDC_SECOND, DC_HASDEFID));
            commands.clear();
            postKey(VK_RETURN);
        },
        [&commands](HWND dialog) {
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
            EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
        },
    };
    runDialog(IDD_TAB_ORDER, test);
}

TEST(DialogManager, EscapeEnterAndTheCloseBoxSendTheirCommands)
{
    InitCommonControls();
    std::vector<Command> commands;
    bool closed = false;
    DialogTest test;
    test.handler = [&commands, &closed](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        closed = closed || msg == WM_CLOSE;
        if (msg != WM_COMMAND)
            return FALSE;
        commands.push_back({wParam, lParam});
        return TRUE;
    };
    test.steps = {
        [](HWND) { postKey(VK_ESCAPE); },
        [&commands](HWND) {
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].wParam, static_cast<WPARAM>(IDCANCEL));
            EXPECT_EQ(commands[0].lParam, 0) << "the template has no Cancel button";
            commands.clear();
            // No default push button: Enter gives IDOK.
            postKey(VK_RETURN);
        },
        [&commands](HWND dialog) {
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].wParam, static_cast<WPARAM>(IDOK));
            commands.clear();
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        },
        [](HWND) {}, // the command that WM_CLOSE posts arrives after this step
        [&commands, &closed](HWND) {
            EXPECT_TRUE(closed);
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
        },
    };
    runDialog(IDD_PARSE, test);
}

TEST(DialogManager, SpaceAndBmClickPressAButton)
{
    std::vector<Command> commands;
    DialogTest test;
    test.handler = recordCommands(commands);
    test.steps = {
        [](HWND) { postKey(VK_SPACE); },
        [&commands](HWND dialog) {
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].wParam, MAKEWPARAM(IDC_FIRST, BN_CLICKED));
            EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_FIRST)));
            commands.clear();
            HWND second = GetDlgItem(dialog, IDC_SECOND);
            SendMessageA(second, BM_CLICK, 0, 0);
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].wParam, MAKEWPARAM(IDC_SECOND, BN_CLICKED));
            EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(second));
            EXPECT_EQ(GetFocus(), second);
        },
    };
    runDialog(IDD_TAB_ORDER, test);
}

TEST(DialogManager, FocusGivenToTheDialogGoesToItsFirstTabStop)
{
    int dialogFocused = 0;
    DialogTest test;
    test.handler = [&dialogFocused](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_SETFOCUS)
            ++dialogFocused;
        return FALSE; // the dialog manager's default handling runs
    };
    test.steps.push_back([&dialogFocused](HWND dialog) {
        SetFocus(GetDlgItem(dialog, IDC_SECOND));
        SetFocus(dialog);
        EXPECT_EQ(dialogFocused, 1);
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_FIRST));
    });
    runDialog(IDD_TAB_ORDER, test);
}

TEST(DialogItems, TextsGoToAndComeFromControlsByIdWithinBufferLimits)
{
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        EXPECT_TRUE(SetDlgItemTextA(dialog, IDC_NOTE, "Line\nTwo"));
        char text[32] = "";
        EXPECT_EQ(GetDlgItemTextA(dialog, IDC_NOTE, text, sizeof text), 8u);
        EXPECT_STREQ(text, "Line\nTwo");
        EXPECT_EQ(GetDlgItemTextA(dialog, IDC_NOTE, text, 4), 3u);
        EXPECT_STREQ(text, "Lin");

        snprintf(text, sizeof text, "old");
        EXPECT_EQ(GetDlgItemTextA(dialog, 4321, text, sizeof text), 0u);
        EXPECT_STREQ(text, "") << "the buffer of a missing control is emptied";
        EXPECT_FALSE(SetDlgItemTextA(dialog, 4321, "x"));
    });
    runDialog(IDD_TAB_ORDER, test);
}

TEST(DialogItems, MissingControlIsNotFound)
{
    InitCommonControls();
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GetDlgItem(dialog, 4321), nullptr);
        // Known Wine gap: Wine leaves the last error alone.
        if (!runningOnWine()) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
        }
        EXPECT_EQ(GetDlgItem(dialog, -1), nullptr) << "IDC_STATIC controls have id 0xFFFF";
    });
    runDialog(IDD_PARSE, test);
}

TEST(DialogItems, MapDialogRectNeedsADialog)
{
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        RECT rect = {0, 0, 4, 8};
        EXPECT_FALSE(MapDialogRect(GetDlgItem(dialog, IDC_FIRST), &rect));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(MapDialogRect(endedWindow(), &rect));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    });
    runDialog(IDD_TAB_ORDER, test);
}

TEST(ModalLoop, ShowsTheDialogTheFirstTimeItHasNothingToDo)
{
    bool visibleAtInit = true;
    bool visibleAtPaint = false;
    DialogTest test;
    test.handler = [&](HWND dialog, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        switch (msg) {
        case WM_INITDIALOG:
            visibleAtInit = IsWindowVisible(dialog);
            return TRUE; // nothing is posted: the loop goes idle
        case WM_PAINT: {
            visibleAtPaint = IsWindowVisible(dialog);
            PAINTSTRUCT paint;
            BeginPaint(dialog, &paint);
            EndPaint(dialog, &paint);
            EndDialog(dialog, 5);
            return TRUE;
        }
        }
        return FALSE;
    };
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test), 5);
    EXPECT_FALSE(visibleAtInit);
    EXPECT_TRUE(visibleAtPaint);
}

TEST(ModalLoop, EndDialogDuringInitDialogEndsItBeforeItIsShown)
{
    std::vector<UINT> seen;
    HWND dialogSeen = nullptr;
    DialogTest test;
    test.handler = [&](HWND dialog, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            dialogSeen = dialog;
            EndDialog(dialog, 42);
            return TRUE;
        }
        if ((msg == WM_SHOWWINDOW && wParam) || msg == WM_PAINT || msg == WM_APP)
            seen.push_back(msg);
        return FALSE;
    };
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test), 42);
    EXPECT_TRUE(seen.empty()) << "message " << std::hex << (seen.empty() ? 0 : seen[0]);
    EXPECT_FALSE(IsWindow(dialogSeen));
}

TEST(ModalLoop, TheOwnerIsDisabledWhileAModalDialogRuns)
{
    InitCommonControls();
    DialogTest outer;
    outer.steps.push_back([](HWND owner) {
        DialogTest inner;
        inner.steps.push_back([owner](HWND dialog) {
            EXPECT_FALSE(IsWindowEnabled(owner));
            EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
            EXPECT_EQ(GetParent(dialog), owner);
        });
        inner.result = 9;
        EXPECT_EQ(runDialog(IDD_PARSE, inner, owner), 9);
        EXPECT_TRUE(IsWindowEnabled(owner));
    });
    runDialog(IDD_TAB_ORDER, outer);
}

TEST(ModalLoop, EndDialogNeedsAWindow)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(EndDialog(endedWindow(), 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

} // namespace
