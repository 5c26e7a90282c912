// Windows and their state: visibility, enabling, focus and activation, relationships, texts,
// placement, window longs and subclassing, and what calls on a window that is gone report.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conformance_ids.h"
#include "dialog_support.h"

namespace {

struct Recorded {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    HWND focusThen;
};

std::vector<Recorded> &recorded()
{
    static std::vector<Recorded> messages;
    return messages;
}

LRESULT CALLBACK recordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    recorded().push_back({hwnd, msg, wParam, lParam, GetFocus()});
    return callOwnProc(hwnd, msg, wParam, lParam);
}

std::vector<Recorded> recordedOf(UINT msg)
{
    std::vector<Recorded> found;
    for (const Recorded &r : recorded()) {
        if (r.msg == msg)
            found.push_back(r);
    }
    return found;
}

std::string windowText(HWND hwnd)
{
    char text[256] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

void runTabOrder(const std::vector<std::function<void(HWND)>> &steps)
{
    recorded().clear();
    ownProcs().clear();
    DialogTest test;
    test.steps = steps;
    runDialog(IDD_TAB_ORDER, test);
}

TEST(WindowState, ShowWindowReportsTheFormerVisibilityAndVisibilityNeedsEveryAncestor)
{
    runTabOrder({[](HWND dialog) {
        HWND first = GetDlgItem(dialog, IDC_FIRST);
        // The dialog is not shown yet: its controls, visible themselves, are not.
        EXPECT_FALSE(IsWindowVisible(dialog));
        EXPECT_TRUE(GetWindowLongA(first, GWL_STYLE) & WS_VISIBLE);
        EXPECT_FALSE(IsWindowVisible(first));
        EXPECT_FALSE(ShowWindow(dialog, SW_SHOW));
        EXPECT_TRUE(IsWindowVisible(first));
        EXPECT_TRUE(ShowWindow(dialog, SW_SHOW));
        EXPECT_TRUE(ShowWindow(first, SW_HIDE));
        EXPECT_FALSE(ShowWindow(first, SW_HIDE));
        EXPECT_FALSE(IsWindowVisible(first));
        EXPECT_FALSE(ShowWindow(first, SW_SHOWNORMAL));
        EXPECT_TRUE(IsWindowVisible(first));
    }});
}

TEST(WindowState, EnableWindowReportsTheFormerStateAndADisabledFocusLosesIt)
{
    runTabOrder({[](HWND dialog) {
        HWND first = GetDlgItem(dialog, IDC_FIRST);
        ASSERT_EQ(GetFocus(), first);
        EXPECT_FALSE(EnableWindow(first, FALSE)) << "was enabled";
        EXPECT_FALSE(IsWindowEnabled(first));
        EXPECT_EQ(GetFocus(), nullptr);
        EXPECT_TRUE(EnableWindow(first, FALSE)) << "was disabled";
        EXPECT_TRUE(EnableWindow(first, TRUE));
        EXPECT_TRUE(IsWindowEnabled(first));
        // A window's enabled state is its own, whatever its parent's.
        EnableWindow(dialog, FALSE);
        EXPECT_TRUE(IsWindowEnabled(first));
        EnableWindow(dialog, TRUE);
    }});
}

TEST(Focus, MovingTheFocusSendsKillFocusThenSetFocus)
{
    runTabOrder({[](HWND dialog) {
        HWND first = GetDlgItem(dialog, IDC_FIRST);
        HWND second = GetDlgItem(dialog, IDC_SECOND);
        subclassControl(first, recordingProc);
        subclassControl(second, recordingProc);
        recorded().clear();
        EXPECT_EQ(SetFocus(second), first);
        EXPECT_EQ(GetFocus(), second);
        std::vector<Recorded> kill = recordedOf(WM_KILLFOCUS);
        std::vector<Recorded> set = recordedOf(WM_SETFOCUS);
        ASSERT_EQ(kill.size(), 1u);
        ASSERT_EQ(set.size(), 1u);
        EXPECT_EQ(kill[0].hwnd, first);
        EXPECT_EQ(kill[0].wParam, reinterpret_cast<WPARAM>(second));
        EXPECT_EQ(kill[0].focusThen, second) << "the focus has moved when WM_KILLFOCUS arrives";
        EXPECT_EQ(set[0].hwnd, second);
        EXPECT_EQ(set[0].wParam, reinterpret_cast<WPARAM>(first));
        EXPECT_EQ(SetFocus(second), second) << "no change, no messages";
        EXPECT_EQ(recordedOf(WM_SETFOCUS).size(), 1u);
    }});
}

TEST(Activation, AWindowComingToTheFrontQueriesItsPaletteBeforeItIsActivated)
{
    std::vector<UINT> order;
    WPARAM activated = 0;
    DialogTest test;
    test.handler = [&](HWND, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_QUERYNEWPALETTE || msg == WM_NCACTIVATE || msg == WM_ACTIVATE || msg == WM_SETFOCUS)
            order.push_back(msg);
        if (msg == WM_ACTIVATE)
            activated = wParam;
        return FALSE;
    };
    test.steps.push_back([&](HWND dialog) {
        ASSERT_GE(order.size(), 3u);
        EXPECT_EQ(order[0], static_cast<UINT>(WM_QUERYNEWPALETTE));
        EXPECT_EQ(order[1], static_cast<UINT>(WM_NCACTIVATE));
        EXPECT_EQ(order[2], static_cast<UINT>(WM_ACTIVATE));
        EXPECT_EQ(LOWORD(activated), WA_ACTIVE);
        EXPECT_EQ(GetActiveWindow(), dialog);
    });
    runDialog(IDD_TAB_ORDER, test);
}

TEST(Activation, TheSystemFocusesTheActivatedDialogEvenWhenItsProcedureTakesWmActivate)
{
    // As the installer does: WM_ACTIVATE answered TRUE, WM_SETFOCUS left to the dialog manager, and
    // the dialog activated by being placed during WM_INITDIALOG.
    std::vector<UINT> order;
    DialogTest test;
    test.initResult = FALSE;
    test.handler = [&](HWND dialog, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        switch (msg) {
        case WM_INITDIALOG:
            SetWindowPos(dialog, HWND_TOP, 10, 10, 300, 200, 0);
            return FALSE;
        case WM_ACTIVATE:
            order.push_back(msg);
            return TRUE;
        case WM_SETFOCUS:
            order.push_back(msg);
            return FALSE;
        }
        return FALSE;
    };
    test.steps.push_back([&](HWND dialog) {
        ASSERT_EQ(order.size(), 2u);
        EXPECT_EQ(order[0], static_cast<UINT>(WM_ACTIVATE));
        EXPECT_EQ(order[1], static_cast<UINT>(WM_SETFOCUS));
        EXPECT_EQ(GetActiveWindow(), dialog);
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_FIRST));
    });
    runDialog(IDD_TAB_ORDER, test);
}

TEST(Activation, AModalDialogDeactivatesItsOwner)
{
    bool deactivated = false;
    DialogTest outer;
    outer.handler = [&deactivated](HWND, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE)
            deactivated = true;
        return FALSE;
    };
    outer.steps.push_back([&deactivated](HWND owner) {
        DialogTest inner;
        inner.steps.push_back([&deactivated](HWND dialog) {
            EXPECT_EQ(GetActiveWindow(), dialog);
            EXPECT_TRUE(deactivated);
        });
        runDialog(IDD_TAB_ORDER, inner, owner);
    });
    runDialog(IDD_TAB_ORDER, outer);
}

TEST(WindowTree, ParentsOwnersAndSiblings)
{
    runTabOrder({[](HWND dialog) {
        HWND note = GetDlgItem(dialog, IDC_NOTE);
        HWND first = GetDlgItem(dialog, IDC_FIRST);
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        EXPECT_EQ(GetParent(first), dialog);
        EXPECT_EQ(GetParent(dialog), nullptr) << "no owner";
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
        EXPECT_EQ(GetWindow(first, GW_OWNER), nullptr);
        EXPECT_EQ(GetWindow(dialog, GW_CHILD), note);
        EXPECT_EQ(GetWindow(first, GW_HWNDPREV), note);
        EXPECT_EQ(GetWindow(note, GW_HWNDPREV), nullptr);
        EXPECT_EQ(GetWindow(first, GW_HWNDFIRST), note);
        EXPECT_EQ(GetWindow(first, GW_HWNDLAST), cancel);
        EXPECT_EQ(GetWindow(cancel, GW_HWNDNEXT), nullptr);
        EXPECT_EQ(GetWindowLongPtrA(first, GWLP_ID), IDC_FIRST);
    }});
}

TEST(WindowTree, ADialogAndItsControlsBelongToOneThreadOfTheProgram)
{
    runTabOrder({[](HWND dialog) {
        DWORD process = 0;
        DWORD controlProcess = 0;
        DWORD thread = GetWindowThreadProcessId(dialog, &process);
        EXPECT_NE(thread, 0u);
        EXPECT_NE(process, 0u);
        EXPECT_EQ(GetWindowThreadProcessId(GetDlgItem(dialog, IDC_FIRST), &controlProcess), thread);
        EXPECT_EQ(controlProcess, process);
    }});
}

TEST(WindowTree, FindWindowMatchesClassAndTitleWithoutCase)
{
    runTabOrder({[](HWND dialog) {
        EXPECT_EQ(FindWindowA("#32770", "tab ORDER"), dialog);
        EXPECT_EQ(FindWindowA(nullptr, "Tab Order"), dialog);
        EXPECT_EQ(FindWindowA("#32770", "No Such Window"), nullptr);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(FindWindowA("NoSuchClass", nullptr), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    }});
}

TEST(WindowText, TextsAndClassNamesFitTheBuffer)
{
    runTabOrder({[](HWND dialog) {
        char text[8];
        EXPECT_EQ(GetClassNameA(dialog, text, 4), 3);
        EXPECT_STREQ(text, "#32");
        EXPECT_EQ(GetWindowTextA(dialog, text, 4), 3);
        EXPECT_STREQ(text, "Tab");
        EXPECT_TRUE(SetWindowTextA(dialog, "Renamed"));
        EXPECT_EQ(windowText(dialog), "Renamed");
        EXPECT_TRUE(SetWindowTextA(dialog, nullptr));
        EXPECT_EQ(windowText(dialog), "");
    }});
}

TEST(Placement, SetWindowPosMovesAndSizesAndTheClientAreaFollows)
{
    runTabOrder({[](HWND dialog) {
        EXPECT_TRUE(SetWindowPos(dialog, HWND_TOP, 30, 40, 300, 200, 0));
        RECT window, client;
        GetWindowRect(dialog, &window);
        GetClientRect(dialog, &client);
        EXPECT_EQ(window.left, 30);
        EXPECT_EQ(window.top, 40);
        EXPECT_EQ(window.right, 330);
        EXPECT_EQ(window.bottom, 240);
        EXPECT_EQ(client.right, 294);
        EXPECT_EQ(client.bottom, 175);
        POINT origin = {0, 0};
        EXPECT_TRUE(ClientToScreen(dialog, &origin));
        EXPECT_EQ(origin.x, 33);
        EXPECT_EQ(origin.y, 62);
        EXPECT_TRUE(SetWindowPos(dialog, nullptr, 0, 0, 10, 10, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER));
        GetWindowRect(dialog, &window);
        EXPECT_EQ(window.right, 330);
        // A control moves with its dialog.
        HWND first = GetDlgItem(dialog, IDC_FIRST);
        RECT control;
        GetWindowRect(first, &control);
        RECT inDialog = rectInParent(first);
        EXPECT_EQ(control.left, origin.x + inDialog.left);
    }});
}

TEST(Placement, TheDesktopIsTheScreen)
{
    RECT desktop;
    ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &desktop));
    EXPECT_EQ(desktop.left, 0);
    EXPECT_EQ(desktop.top, 0);
    EXPECT_EQ(desktop.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(desktop.bottom, GetSystemMetrics(SM_CYSCREEN));
}

TEST(Subclassing, ANewWindowProcedureSeesTheMessagesAndPassesThemOn)
{
    std::vector<WPARAM> commands;
    DialogTest test;
    test.handler = [&commands](HWND, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_COMMAND)
            commands.push_back(wParam);
        return msg == WM_COMMAND;
    };
    test.steps.push_back([&commands](HWND dialog) {
        HWND first = GetDlgItem(dialog, IDC_FIRST);
        LONG_PTR own = GetWindowLongPtrA(first, GWLP_WNDPROC);
        ASSERT_NE(own, 0);
        recorded().clear();
        ownProcs().clear();
        subclassControl(first, recordingProc);
        EXPECT_EQ(reinterpret_cast<LONG_PTR>(ownProcs()[first]), own);
        EXPECT_EQ(GetWindowLongPtrA(first, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(recordingProc));

        EXPECT_TRUE(SetWindowTextA(first, "Renamed"));
        EXPECT_EQ(recordedOf(WM_SETTEXT).size(), 1u);
        EXPECT_EQ(windowText(first), "Renamed") << "the button's own procedure kept the text";
        SendMessageA(first, BM_CLICK, 0, 0);
        EXPECT_EQ(recordedOf(BM_CLICK).size(), 1u);
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0], MAKEWPARAM(IDC_FIRST, BN_CLICKED));

        EXPECT_EQ(SetWindowLongPtrA(first, GWLP_WNDPROC, own), reinterpret_cast<LONG_PTR>(recordingProc));
        // A dialog's own window procedure is DefDlgProcA.
        EXPECT_EQ(GetWindowLongPtrA(dialog, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(DefDlgProcA));
    });
    runDialog(IDD_TAB_ORDER, test);
}

TEST(WindowLongs, IndexesThatDoNotExistFail)
{
    runTabOrder({[](HWND dialog) {
        HWND first = GetDlgItem(dialog, IDC_FIRST);
        EXPECT_EQ(SetWindowLongPtrA(first, GWLP_USERDATA, 77), 0);
        EXPECT_EQ(GetWindowLongPtrA(first, GWLP_USERDATA), 77);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GetWindowLongPtrA(first, 12345), 0);
        EXPECT_EQ(GetWindowLongPtrA(first, 12345), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
        if (sizeof(LONG_PTR) > sizeof(LONG)) {
            // On 64-bit Windows the 32-bit call cannot hold a window procedure.
            SetLastError(0xdeadbeef);
            EXPECT_EQ(GetWindowLongA(first, GWLP_WNDPROC), 0);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
        }
    }});
}

TEST(StaleWindow, CallsOnAWindowThatIsGoneFailWithInvalidWindowHandle)
{
    HWND gone = endedWindow();
    const DWORD invalid = ERROR_INVALID_WINDOW_HANDLE;
    RECT rect;
    POINT point = {0, 0};
    char text[8];

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(IsWindow(gone));
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SendMessageA(gone, WM_USER, 0, 0), 0);
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostMessageA(gone, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ShowWindow(gone, SW_SHOW));
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(EnableWindow(gone, TRUE));
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetFocus(gone), nullptr);
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetParent(gone), nullptr);
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetWindowRect(gone, &rect));
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ClientToScreen(gone, &point));
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetWindowPos(gone, nullptr, 0, 0, 1, 1, 0));
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongPtrA(gone, GWL_STYLE), 0);
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowTextA(gone, text, sizeof text), 0);
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DefWindowProcA(gone, WM_USER, 0, 0), 0);
    EXPECT_EQ(GetLastError(), invalid);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowThreadProcessId(gone, nullptr), 0u);
    EXPECT_EQ(GetLastError(), invalid);
}

} // namespace
