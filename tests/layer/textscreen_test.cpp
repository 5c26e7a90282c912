// Windows drawn as text on a screen in memory: the dialog's arrangement and the list that replaces
// it on a small screen, the marks of a button's state, a message box's wrapped text, and what reaches
// a terminal of a window's text. The terminal itself is terminal_test.cpp's.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "codepage.h"
#include "conformance_ids.h"
#include "dialog_support.h"
#include "layer_control.h"
#include "textscreen.h"

namespace {

using layer::win::Attribute;
using layer::win::Drawing;
using layer::win::Screen;

std::string row(const Screen &screen, int y)
{
    std::string out;
    for (int x = 0; x < screen.cols; ++x)
        layer::appendUtf8(out, screen.cells[static_cast<size_t>(y * screen.cols + x)].glyph);
    return out;
}

std::string text(const Screen &screen)
{
    std::string out;
    for (int y = 0; y < screen.rows; ++y)
        out += row(screen, y) + "\n";
    return out;
}

// The column (in characters) and row where `needle` starts, or (-1, -1).
std::pair<int, int> find(const Screen &screen, const std::string &needle)
{
    for (int y = 0; y < screen.rows; ++y) {
        std::u16string line = layer::utf8ToUtf16(row(screen, y));
        size_t at = line.find(layer::utf8ToUtf16(needle));
        if (at != std::u16string::npos)
            return {static_cast<int>(at), y};
    }
    return {-1, -1};
}

const layer::win::Cell &at(const Screen &screen, std::pair<int, int> place)
{
    return screen.cells[static_cast<size_t>(place.second * screen.cols + place.first)];
}

Screen drawn(int cols, int rows, bool utf8 = true)
{
    Screen screen(cols, rows);
    Drawing drawing;
    drawing.utf8 = utf8;
    layer::win::compose(screen, layer::win::shownWindows(), drawing);
    return screen;
}

class TextScreen : public testing::Test {
protected:
    void SetUp() override
    {
        layerReset();
        InitCommonControls();
    }
    void TearDown() override { layerReset(); }
};

TEST_F(TextScreen, ADialogShowsItsButtonsWithTheirKeysAndStateOrAListWhereItHasNoRoom)
{
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        ShowWindow(dialog, SW_SHOW);
        Screen screen = drawn(80, 24);
        EXPECT_GE(find(screen, "\u250C\u2500 Tab Order \u2500").first, 0) << text(screen);
        EXPECT_GE(find(screen, ">[1] First<").first, 0) << text(screen);
        EXPECT_TRUE(at(screen, find(screen, "First")).attributes & Attribute::Reverse) << "the focus";
        EXPECT_TRUE(at(screen, find(screen, "Second")).attributes & Attribute::Bold) << "a default button";
        EXPECT_FALSE(at(screen, find(screen, "Cancel")).attributes & Attribute::Bold);
        EXPECT_GE(find(screen, " [2] Second ").first, 0) << text(screen);
        EXPECT_GE(find(screen, "[-] Disabled").first, 0) << "no key for a disabled button\n" << text(screen);
        EXPECT_TRUE(at(screen, find(screen, "Disabled")).attributes & Attribute::Dim);
        EXPECT_GE(find(screen, "[4] Cancel").first, 0) << text(screen);
        EXPECT_EQ(find(screen, "Hidden").first, -1) << text(screen);
        EXPECT_EQ(find(screen, " Tab/Shift+Tab: move").second, 23) << "the line of keys, last\n" << text(screen);
        EXPECT_EQ(find(screen, "[-] Disabled").second, find(screen, "[4] Cancel").second) << "side by side";

        // Moving the focus moves nothing else, and only what changed is sent again.
        SetFocus(GetDlgItem(dialog, IDC_SECOND));
        Screen moved = drawn(80, 24);
        EXPECT_GE(find(moved, " [1] First ").first, 0) << text(moved);
        EXPECT_EQ(find(moved, ">[2] Second<"), std::make_pair(find(screen, " [2] Second ").first,
                                                             find(screen, " [2] Second ").second));
        std::string update = layer::win::frameUpdate(moved, &screen, true);
        EXPECT_EQ(update.find("\x1b[2J"), std::string::npos);
        EXPECT_LT(update.size(), layer::win::frameUpdate(moved, nullptr, true).size() / 4);
        EXPECT_EQ(layer::win::frameUpdate(moved, &moved, true), "");

        // A screen too small for the arrangement: the controls one under the other, in reading order.
        Screen small = drawn(24, 8);
        int first = find(small, "First").second, second = find(small, "Second").second;
        int disabled = find(small, "Disabled").second, cancel = find(small, "Cancel").second;
        EXPECT_TRUE(first >= 0 && first < second && second < disabled && disabled < cancel) << text(small);
        EXPECT_EQ(text(small).find("Tab Order  "), std::string::npos) << text(small);
    });
    runDialog(IDD_TAB_ORDER, test);
}

// The screens drawn while message boxes were up.
std::vector<Screen> boxScreens;

int drawBox(HWND, HWND, const char *, const char *, UINT, void *)
{
    boxScreens.push_back(drawn(50, 20));
    return IDOK;
}

TEST_F(TextScreen, AMessageBoxIsWrappedAndItsTextShowsNoControlCharacters)
{
    boxScreens.clear();
    layerSetMessageBoxHandler(drawBox, nullptr);
    DialogTest test;
    test.steps.push_back([](HWND dialog) {
        ShowWindow(dialog, SW_SHOW);
        MessageBoxA(dialog,
                    "The first button was pressed, and this text is long enough to be wrapped on a narrow "
                    "terminal.\nA line feed starts this line.",
                    "Pressed", MB_OK | MB_ICONWARNING);
        // A text that would set the terminal's title, ring its bell and clear its screen.
        MessageBoxA(dialog, "Name \x1b]0;owned\x07 and \x1b[2J\x08" "end \x93quoted\x94", "Pressed", MB_OK);
    });
    runDialog(IDD_TAB_ORDER, test);
    ASSERT_EQ(boxScreens.size(), 2u);

    const Screen &wrapped = boxScreens[0];
    auto first = find(wrapped, "(!) The first button");
    auto wrappedEnd = find(wrapped, "terminal.");
    auto ownLine = find(wrapped, "A line feed starts this line.");
    ASSERT_GE(first.first, 0) << text(wrapped);
    EXPECT_GT(wrappedEnd.second, first.second) << "wrapped\n" << text(wrapped);
    EXPECT_GT(ownLine.second, wrappedEnd.second) << "the line feed's line on a line of its own\n" << text(wrapped);
    auto corner = find(wrapped, "\u250C\u2500 Pressed");
    ASSERT_GE(corner.first, 0) << text(wrapped);
    EXPECT_NE(row(wrapped, corner.second).find("\u2510"), std::string::npos) << "the box fits the screen";
    EXPECT_GE(find(wrapped, ">[1] OK<").first, 0) << text(wrapped);
    EXPECT_GE(find(wrapped, " Enter, Space or Esc: answer").first, 0) << text(wrapped);

    const Screen &controls = boxScreens[1];
    EXPECT_GE(find(controls, "Name ?]0;owned? and ?[2J?end \u201Cquoted\u201D").first, 0) << text(controls);
    std::string bytes = layer::win::frameUpdate(controls, nullptr, true);
    EXPECT_EQ(bytes.find("\x1b]"), std::string::npos);
    EXPECT_EQ(bytes.find('\x07'), std::string::npos);
    EXPECT_EQ(bytes.find('\x08'), std::string::npos);
    std::string ascii = layer::win::frameUpdate(controls, nullptr, false);
    EXPECT_TRUE(std::all_of(ascii.begin(), ascii.end(), [](char b) { return (b & 0x80) == 0; }))
        << "ASCII alone for a terminal without UTF-8";
}

} // namespace
