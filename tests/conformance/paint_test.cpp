// Painting: update regions and how invalidation reaches children, WM_PAINT from UpdateWindow and
// from the modal loop, BeginPaint's erase and validation, and device contexts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conformance_ids.h"
#include "dialog_support.h"

namespace {

std::string describe(const RECT &r)
{
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

std::string updateOf(HWND hwnd)
{
    RECT rect = {-1, -1, -1, -1};
    if (!GetUpdateRect(hwnd, &rect, FALSE))
        return "none";
    return describe(rect);
}

// The painting that subclassed controls do: each WM_PAINT is logged with what BeginPaint gave.
struct PaintLog {
    HWND hwnd;
    bool erasedInBeginPaint;
    RECT rcPaint;
    BOOL fErase;
};

std::vector<PaintLog> &paints()
{
    static std::vector<PaintLog> log;
    return log;
}

bool inBeginPaint = false;
bool erasedDuringBeginPaint = false;

LRESULT CALLBACK paintingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_ERASEBKGND && inBeginPaint)
        erasedDuringBeginPaint = true;
    if (msg == WM_PAINT) {
        PAINTSTRUCT paint;
        inBeginPaint = true;
        erasedDuringBeginPaint = false;
        BeginPaint(hwnd, &paint);
        inBeginPaint = false;
        paints().push_back({hwnd, erasedDuringBeginPaint, paint.rcPaint, paint.fErase});
        EndPaint(hwnd, &paint);
        return 0;
    }
    return callOwnProc(hwnd, msg, wParam, lParam);
}

// Shows the dialog with nothing left to paint.
void showPainted(HWND dialog)
{
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    ValidateRect(dialog, nullptr);
}

// Where a child's client area lies in its parent's client area.
POINT clientOffset(HWND child)
{
    POINT childOrigin = {0, 0}, parentOrigin = {0, 0};
    ClientToScreen(child, &childOrigin);
    ClientToScreen(GetParent(child), &parentOrigin);
    return {childOrigin.x - parentOrigin.x, childOrigin.y - parentOrigin.y};
}

TEST(Invalidation, InvalidatingADialogInvalidatesTheVisibleChildrenUnderIt)
{
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        HWND picture = GetDlgItem(dialog, IDC_PICTURE);
        HWND beside = GetDlgItem(dialog, IDC_BESIDE);
        HWND hidden = GetDlgItem(dialog, IDC_HIDDEN);
        showPainted(dialog);
        EXPECT_EQ(updateOf(dialog), "none");
        EXPECT_EQ(updateOf(picture), "none") << "validating the dialog validated its children";

        RECT part = {0, 0, 30, 40};
        EXPECT_TRUE(InvalidateRect(dialog, &part, FALSE));
        EXPECT_EQ(updateOf(dialog), describe(part));
        POINT offset = clientOffset(picture);
        EXPECT_EQ(updateOf(picture), describe(RECT{0, 0, 30 - offset.x, 40 - offset.y}));
        EXPECT_EQ(updateOf(beside), "none") << "it lies outside the rectangle";
        EXPECT_EQ(updateOf(hidden), "none") << "it is hidden";
    });
    runDialog(IDD_PICTURE, test);
}

TEST(Invalidation, ADialogThatClipsItsChildrenKeepsThemValid)
{
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        showPainted(dialog);
        EXPECT_TRUE(InvalidateRect(dialog, nullptr, TRUE));
        EXPECT_NE(updateOf(dialog), "none");
        EXPECT_EQ(updateOf(GetDlgItem(dialog, IDC_PICTURE)), "none");
    });
    runDialog(IDD_CLIPPING, test);
}

TEST(Invalidation, HiddenWindowsGetNoUpdateRegion)
{
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        // The loop has not shown the dialog yet.
        EXPECT_TRUE(InvalidateRect(dialog, nullptr, TRUE));
        EXPECT_EQ(updateOf(dialog), "none");
        EXPECT_EQ(updateOf(GetDlgItem(dialog, IDC_PICTURE)), "none");
        showPainted(dialog);
        HWND hidden = GetDlgItem(dialog, IDC_HIDDEN);
        EXPECT_TRUE(InvalidateRect(hidden, nullptr, TRUE));
        EXPECT_EQ(updateOf(hidden), "none");
    });
    runDialog(IDD_PICTURE, test);
}

TEST(Painting, UpdateWindowPaintsTheDialogThenItsChildrenAtOnce)
{
    paints().clear();
    DialogTest test;
    test.handler = [](HWND dialog, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg != WM_PAINT)
            return FALSE;
        PAINTSTRUCT paint;
        BeginPaint(dialog, &paint);
        paints().push_back({dialog, false, paint.rcPaint, paint.fErase});
        EndPaint(dialog, &paint);
        return TRUE;
    };
    test.steps.push_back([](HWND dialog) {
        HWND picture = GetDlgItem(dialog, IDC_PICTURE);
        HWND beside = GetDlgItem(dialog, IDC_BESIDE);
        subclassControl(picture, paintingProc);
        subclassControl(beside, paintingProc);
        showPainted(dialog);
        paints().clear();
        InvalidateRect(dialog, nullptr, TRUE);
        EXPECT_TRUE(UpdateWindow(dialog));
        ASSERT_EQ(paints().size(), 3u);
        EXPECT_EQ(paints()[0].hwnd, dialog);
        EXPECT_EQ(paints()[1].hwnd, picture);
        EXPECT_EQ(paints()[2].hwnd, beside);
        EXPECT_EQ(updateOf(dialog), "none");
        EXPECT_EQ(updateOf(picture), "none");
    });
    runDialog(IDD_PICTURE, test);
}

TEST(Painting, BeginPaintErasesWhenTheRegionAsksAndValidates)
{
    paints().clear();
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        HWND picture = GetDlgItem(dialog, IDC_PICTURE);
        subclassControl(picture, paintingProc);
        showPainted(dialog);
        paints().clear();
        RECT part = {2, 3, 10, 12};
        InvalidateRect(picture, &part, TRUE);
        UpdateWindow(picture);
        InvalidateRect(picture, nullptr, FALSE);
        UpdateWindow(picture);
        ASSERT_EQ(paints().size(), 2u);
        EXPECT_TRUE(paints()[0].erasedInBeginPaint);
        EXPECT_EQ(describe(paints()[0].rcPaint), describe(part));
        EXPECT_FALSE(paints()[0].fErase) << "the static control erased its background";
        EXPECT_FALSE(paints()[1].erasedInBeginPaint);
        RECT client;
        GetClientRect(picture, &client);
        EXPECT_EQ(describe(paints()[1].rcPaint), describe(client));
        EXPECT_EQ(updateOf(picture), "none");
    });
    runDialog(IDD_PICTURE, test);
}

TEST(Painting, TheLoopPaintsWhenNoMessageWaits)
{
    const UINT posted = WM_APP + 9;
    std::vector<UINT> order;
    bool armed = false;
    DialogTest test;
    test.handler = [&](HWND dialog, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        switch (msg) {
        case WM_APP:
            // After the one step, the dialog waits for its paint instead of ending.
            return wParam == 1;
        case WM_APP + 9:
            order.push_back(msg);
            return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(dialog, &paint);
            EndPaint(dialog, &paint);
            if (armed) {
                order.push_back(msg);
                EndDialog(dialog, 0);
            }
            return TRUE;
        }
        }
        return FALSE;
    };
    test.steps.push_back([&armed, posted](HWND dialog) {
        showPainted(dialog);
        armed = true;
        InvalidateRect(dialog, nullptr, FALSE);
        PostMessageA(dialog, posted, 0, 0);
    });
    runDialog(IDD_PICTURE, test);
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0], posted);
    EXPECT_EQ(order[1], static_cast<UINT>(WM_PAINT));
}

TEST(DeviceContexts, AWindowsDcBelongsToItUntilReleased)
{
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        HWND picture = GetDlgItem(dialog, IDC_PICTURE);
        HDC dc = GetDC(picture);
        ASSERT_NE(dc, nullptr);
        EXPECT_EQ(WindowFromDC(dc), picture);
        EXPECT_EQ(ReleaseDC(picture, dc), 1);
        EXPECT_EQ(ReleaseDC(picture, dc), 0);
        HDC screen = GetDC(nullptr);
        ASSERT_NE(screen, nullptr);
        EXPECT_EQ(WindowFromDC(screen), GetDesktopWindow());
        EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GetDC(endedWindow()), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    });
    runDialog(IDD_PICTURE, test);
}

} // namespace
