// What the window system offers a front end (the terminal): its turn among the input sources, the
// changes it is told of, and the view of windows and their pixels.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "conformance_ids.h"
#include "dialog_support.h"
#include "layer_control.h"
#include "test_dib.h"
#include "textscreen.h"

namespace {

using layer::win::Change;

struct FrontEndLog {
    std::vector<std::pair<Change, HWND>> changes;
    std::vector<HWND> idles;
    bool injectEscape = true;
};

FrontEndLog *frontEndLog = nullptr;

bool frontEndIdle(HWND loopWindow)
{
    frontEndLog->idles.push_back(loopWindow);
    if (!frontEndLog->injectEscape)
        return false;
    layer::win::pressKey(VK_ESCAPE, false);
    return true;
}

void frontEndChanged(Change what, HWND hwnd)
{
    frontEndLog->changes.push_back({what, hwnd});
}

const layer::win::FrontEnd frontEnd = {frontEndIdle, frontEndChanged};

class FrontEnd : public testing::Test {
protected:
    void SetUp() override
    {
        layerReset();
        InitCommonControls();
        frontEndLog = &log;
        layer::win::setFrontEnd(&frontEnd);
    }
    void TearDown() override
    {
        layer::win::setFrontEnd(nullptr);
        frontEndLog = nullptr;
        EXPECT_STREQ("", layerReset()) << "scripted but never used";
    }

    bool changed(Change what, HWND hwnd) const
    {
        return std::find(log.changes.begin(), log.changes.end(), std::make_pair(what, hwnd)) != log.changes.end();
    }

    FrontEndLog log;
};

// A dialog ended by Escape from whichever source gives it; the idle handler drives nothing.
DialogTest endsOnCancel()
{
    DialogTest test;
    test.handler = [](HWND dialog, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_APP)
            return TRUE;
        if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 7);
            return TRUE;
        }
        return FALSE;
    };
    return test;
}

void countIdles(HWND, void *context)
{
    ++*static_cast<int *>(context);
}

TEST_F(FrontEnd, GetsItsTurnAfterTheTestsIdleHandler)
{
    int handlerIdles = 0;
    layerSetIdleHandler(countIdles, &handlerIdles);
    DialogTest test = endsOnCancel();
    EXPECT_EQ(runDialog(IDD_TAB_ORDER, test), 7);
    EXPECT_EQ(handlerIdles, 1);
    ASSERT_EQ(log.idles.size(), 1u);
}

TEST_F(FrontEnd, IsToldOfMessageBoxesAndEndedDialogs)
{
    log.injectEscape = false;
    HWND dialog = nullptr, box = nullptr;
    DialogTest test;
    test.steps.push_back([&](HWND d) {
        dialog = d;
        log.changes.clear();
        MessageBoxA(d, "text", "Box", MB_OK);
        for (auto &change : log.changes) {
            if (change.first == Change::MessageBoxUp)
                box = change.second;
        }
    });
    runDialog(IDD_PROGRESS, test);
    EXPECT_TRUE(changed(Change::MessageBoxUp, box));
    EXPECT_TRUE(changed(Change::MessageBoxDown, dialog)) << "with the box's owner";
    EXPECT_TRUE(changed(Change::DialogEnded, dialog));
    ASSERT_EQ(log.idles.size(), 1u) << "the box went to the fallback after the front end passed";
    EXPECT_EQ(log.idles[0], box);
}

TEST_F(FrontEnd, SeesTextVisibilityProgressAndDefaultButtons)
{
    log.injectEscape = false;
    DialogTest test;
    test.steps.push_back([this](HWND dialog) {
        HWND bar = GetDlgItem(dialog, IDC_BAR);
        log.changes.clear();
        ShowWindow(dialog, SW_SHOW);
        EXPECT_TRUE(changed(Change::Shown, dialog));
        SetWindowTextA(dialog, "Renamed");
        EXPECT_TRUE(changed(Change::Text, dialog));
        SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 40));
        SendMessageA(bar, PBM_SETPOS, 30, 0);
        EXPECT_TRUE(changed(Change::Progress, bar));

        layer::win::WindowView view;
        ASSERT_TRUE(layer::win::viewWindow(bar, view));
        EXPECT_EQ(view.className, "msctls_progress32");
        EXPECT_EQ(view.id, IDC_BAR);
        EXPECT_TRUE(view.visible);
        EXPECT_TRUE(view.isProgress);
        EXPECT_EQ(view.progress.high, 40);
        EXPECT_EQ(view.progress.position, 30);
        RECT screen;
        GetWindowRect(bar, &screen);
        EXPECT_EQ(view.windowRect.left, screen.left);
        EXPECT_EQ(view.windowRect.bottom, screen.bottom);
        ASSERT_TRUE(layer::win::viewWindow(dialog, view));
        EXPECT_EQ(view.text, "Renamed");
        EXPECT_FALSE(view.isProgress);
        EXPECT_EQ(layer::win::childWindows(dialog).front(), bar);
    });
    runDialog(IDD_PROGRESS, test);

    DialogTest buttons;
    buttons.steps.push_back([](HWND dialog) {
        layer::win::WindowView view;
        ASSERT_TRUE(layer::win::viewWindow(GetDlgItem(dialog, IDC_SECOND), view));
        EXPECT_TRUE(view.defaultButton);
        ASSERT_TRUE(layer::win::viewWindow(GetDlgItem(dialog, IDC_FIRST), view));
        EXPECT_FALSE(view.defaultButton);
        EXPECT_TRUE(view.focused);
        ASSERT_TRUE(layer::win::viewWindow(GetDlgItem(dialog, IDC_HIDDEN), view));
        EXPECT_FALSE(view.visible);
    });
    runDialog(IDD_TAB_ORDER, buttons);
}

TEST_F(FrontEnd, ReadsTheColoursDrawnOnAWindow)
{
    log.injectEscape = false;
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        HWND picture = GetDlgItem(dialog, IDC_PICTURE);
        HDC dc = GetDC(picture);
        onePixel(RGB(0x10, 0x20, 0x30), 32).paint(dc, 2, 1, 1, 1);
        ReleaseDC(picture, dc);
        int width = 0, height = 0;
        std::vector<COLORREF> pixels;
        ASSERT_TRUE(layer::win::readSurface(picture, width, height, pixels));
        RECT client;
        GetClientRect(picture, &client);
        EXPECT_EQ(width, client.right);
        EXPECT_EQ(height, client.bottom);
        EXPECT_EQ(pixels[static_cast<size_t>(width) + 2], RGB(0x10, 0x20, 0x30));
    });
    runDialog(IDD_PICTURE, test);
}

// A shrink is painted only in the stretch modes that keep one of the pixels falling together.
TEST_F(FrontEnd, AShrinkIsPaintedOnlyInAModeThatKeepsOnePixel)
{
    log.injectEscape = false;
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        HWND picture = GetDlgItem(dialog, IDC_PICTURE);
        HDC dc = GetDC(picture);
        const TestDib two(2, 1, 24, {0x30, 0x20, 0x10, 0x60, 0x50, 0x40, 0, 0});
        SetLastError(0);
        EXPECT_EQ(two.paint(dc, 2, 1, 1, 1), 0) << "BLACKONWHITE, a new DC's mode";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
        SetStretchBltMode(dc, COLORONCOLOR);
        EXPECT_EQ(two.paint(dc, 2, 1, 1, 1), 1);
        ReleaseDC(picture, dc);
    });
    runDialog(IDD_PICTURE, test);
}

} // namespace
