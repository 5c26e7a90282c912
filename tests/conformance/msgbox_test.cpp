// Message boxes: a modal dialog of the dialog class whose text, buttons and owner a test can find
// while it is up, answered by a message posted before the box was called.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "conformance_ids.h"
#include "dialog_support.h"

namespace {

const UINT whileUp = WM_APP + 100;

std::string itemText(HWND box, int id)
{
    char text[256] = "";
    GetDlgItemTextA(box, id, text, sizeof text);
    return text;
}

std::string className(HWND hwnd)
{
    char name[64] = "";
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

// Calls MessageBoxA from inside a dialog, after posting that dialog a message that the box's own
// loop hands over: `whileBoxIsUp` runs then, and must answer the box.
int boxFromDialog(const std::function<int(HWND dialog)> &callBox, const std::function<void(HWND dialog)> &whileBoxIsUp,
                  const std::function<void(HWND dialog)> &before = nullptr)
{
    int result = 0;
    DialogTest test;
    test.handler = [&whileBoxIsUp](HWND dialog, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg != whileUp)
            return FALSE;
        whileBoxIsUp(dialog);
        return TRUE;
    };
    test.steps.push_back([&](HWND dialog) {
        if (before)
            before(dialog);
        PostMessageA(dialog, whileUp, 0, 0);
        result = callBox(dialog);
    });
    runDialog(IDD_TAB_ORDER, test);
    return result;
}

TEST(MessageBox, IsADialogThatDisablesItsOwnerWhileItIsUp)
{
    HWND box = nullptr;
    int result = boxFromDialog(
        [](HWND dialog) { return MessageBoxA(dialog, "Line one\nline two", "Box Caption", MB_OK | MB_ICONWARNING); },
        [&box](HWND dialog) {
            box = FindWindowA("#32770", "Box Caption");
            ASSERT_NE(box, nullptr);
            EXPECT_FALSE(IsWindowEnabled(dialog));
            EXPECT_EQ(className(box), "#32770");
            EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
            EXPECT_EQ(itemText(box, 0xFFFF), "Line one\nline two");
            EXPECT_EQ(itemText(box, IDOK), "OK");
            EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
            EXPECT_EQ(GetActiveWindow(), box);
            EXPECT_EQ(GetFocus(), GetDlgItem(box, IDOK));
            // Known Wine gap: Wine does not find a window's enabled popup.
            if (!runningOnWine()) {
                EXPECT_EQ(GetWindow(dialog, GW_ENABLEDPOPUP), box);
            }
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        },
        [](HWND dialog) { ShowWindow(dialog, SW_SHOW); });
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(IsWindow(box));
}

TEST(MessageBox, AHiddenOwnerIsDisabledAndEnabledAgainAfter)
{
    HWND owner = nullptr;
    int result = boxFromDialog([&owner](HWND dialog) {
        owner = dialog;
        int answer = MessageBoxA(dialog, "text", "Hidden Owner", MB_OK);
        EXPECT_TRUE(IsWindowEnabled(dialog));
        EXPECT_FALSE(IsWindowVisible(dialog));
        return answer;
    },
        [](HWND dialog) {
            EXPECT_FALSE(IsWindowVisible(dialog));
            EXPECT_FALSE(IsWindowEnabled(dialog));
            PostMessageA(FindWindowA("#32770", "Hidden Owner"), WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(result, IDOK);
}

TEST(MessageBox, WithoutOwnerItDisablesNothingAndItsCaptionDefaultsToError)
{
    int result = boxFromDialog([](HWND) { return MessageBoxA(nullptr, "no owner", nullptr, MB_OK); },
                               [](HWND dialog) {
                                   HWND box = FindWindowA("#32770", "Error");
                                   ASSERT_NE(box, nullptr);
                                   EXPECT_TRUE(IsWindowEnabled(dialog));
                                   EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
                                   EXPECT_EQ(itemText(box, 0xFFFF), "no owner");
                                   PostMessageA(box, WM_COMMAND, IDOK, 0);
                               });
    EXPECT_EQ(result, IDOK);
}

TEST(MessageBox, EnterPressesTheDefaultButton)
{
    int result = boxFromDialog(
        [](HWND dialog) { return MessageBoxA(dialog, "Done", "Notice", MB_OK | MB_ICONWARNING); },
        [](HWND) {
            HWND box = FindWindowA("#32770", "Notice");
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(GetFocus(), GetDlgItem(box, IDOK));
            PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
        });
    EXPECT_EQ(result, IDOK);
}

TEST(MessageBox, AnOwnerThatIsNoWindowFails)
{
    HWND gone = endedWindow();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MessageBoxA(gone, "text", "caption", MB_OK), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

} // namespace

// Escape answers a box that has just OK as OK does, as Windows documents it.
TEST(MessageBox, EscapeAnswersOkOnlyBoxesWithOk)
{
    int result = boxFromDialog([](HWND dialog) { return MessageBoxA(dialog, "Escape?", "Escape Box", MB_OK); },
                               [](HWND) {
                                   HWND box = FindWindowA("#32770", "Escape Box");
                                   ASSERT_NE(box, nullptr);
                                   PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
                               });
    // Known Wine gap: Wine answers Escape on an OK-only box with IDCANCEL.
    if (!runningOnWine()) {
        EXPECT_EQ(result, IDOK);
    }
}
