// The progress bar's arithmetic: ranges, positions, steps and the wrap of PBM_STEPIT.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>

#include "conformance_ids.h"
#include "dialog_support.h"

namespace {

void withProgressBar(const std::function<void(HWND bar)> &check)
{
    InitCommonControls();
    DialogTest test;
    test.steps.push_back([&check](HWND dialog) {
        HWND bar = GetDlgItem(dialog, IDC_BAR);
        ASSERT_NE(bar, nullptr);
        check(bar);
    });
    runDialog(IDD_PROGRESS, test);
}

LRESULT send(HWND bar, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return SendMessageA(bar, msg, wParam, lParam);
}

// A range as PBM_SETRANGE returns it: two 16-bit halves of an unsigned 32-bit value.
LRESULT packedRange(int low, int high)
{
    return static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(low, high)));
}

TEST(ProgressBar, StartsAtZeroOfZeroToHundred)
{
    withProgressBar([](HWND bar) {
        PBRANGE range = {-1, -1};
        EXPECT_EQ(send(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)), 0);
        EXPECT_EQ(range.iLow, 0);
        EXPECT_EQ(range.iHigh, 100);
        EXPECT_EQ(send(bar, PBM_GETRANGE, FALSE, 0), 100);
        EXPECT_EQ(send(bar, PBM_GETPOS), 0);
    });
}

TEST(ProgressBar, SetRangeTakesTwoUnsignedHalvesAndReturnsThePreviousRange)
{
    withProgressBar([](HWND bar) {
        EXPECT_EQ(send(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 125)), packedRange(0, 100));
        EXPECT_EQ(send(bar, PBM_SETRANGE, 0, MAKELPARAM(10, 40000)), packedRange(0, 125));
        PBRANGE range;
        send(bar, PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(range.iLow, 10);
        EXPECT_EQ(range.iHigh, 40000) << "the bounds are unsigned 16-bit values";
    });
}

TEST(ProgressBar, PositionsStayInTheRange)
{
    withProgressBar([](HWND bar) {
        EXPECT_EQ(send(bar, PBM_SETPOS, 50), 0);
        EXPECT_EQ(send(bar, PBM_SETPOS, 500), 50);
        EXPECT_EQ(send(bar, PBM_GETPOS), 100);
        send(bar, PBM_SETPOS, 50);
        // A narrower range pulls the position in.
        send(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 20));
        EXPECT_EQ(send(bar, PBM_GETPOS), 20);
    });
}

TEST(ProgressBar, StepItWrapsRoundPastEitherEnd)
{
    withProgressBar([](HWND bar) {
        send(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 10));
        EXPECT_EQ(send(bar, PBM_SETSTEP, 4), 10) << "the first step is 10";
        EXPECT_EQ(send(bar, PBM_STEPIT), 0);
        EXPECT_EQ(send(bar, PBM_STEPIT), 4);
        EXPECT_EQ(send(bar, PBM_STEPIT), 8);
        EXPECT_EQ(send(bar, PBM_GETPOS), 2) << "12 wraps round to 2";
        send(bar, PBM_SETSTEP, static_cast<WPARAM>(-3));
        send(bar, PBM_STEPIT);
        EXPECT_EQ(send(bar, PBM_GETPOS), 9) << "-1 wraps round to 9";
    });
}

TEST(ProgressBar, StepItDoesNothingInAnEmptyRange)
{
    withProgressBar([](HWND bar) {
        send(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 0));
        send(bar, PBM_SETSTEP, 1);
        EXPECT_EQ(send(bar, PBM_STEPIT), 0);
        EXPECT_EQ(send(bar, PBM_GETPOS), 0);
    });
}

TEST(ProgressBar, OneStepPerFileFillsTheBarExactlyAtTheLastFile)
{
    withProgressBar([](HWND bar) {
        send(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 125));
        send(bar, PBM_SETPOS, 0);
        send(bar, PBM_SETSTEP, 1);
        for (int file = 0; file < 125; ++file)
            send(bar, PBM_STEPIT);
        EXPECT_EQ(send(bar, PBM_GETPOS), 125);
        send(bar, PBM_STEPIT);
        EXPECT_EQ(send(bar, PBM_GETPOS), 1) << "one step more wraps round";
    });
}

} // namespace
