// How a message box lays its text out in the classic font (6 pixels a character, 13 a line): lines
// broken at blanks, words too long for a line broken inside, tabs and line ends, and a box that
// stays within 5/8 of the desktop's width, or 3/4 or 7/8 of it when a narrower box would be taller
// than the desktop.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "layer_control.h"

namespace {

const int textId = 0xFFFF;
const int lineHeight = 13;
const int charWidth = 6;

struct BoxShape {
    RECT box;  // screen coordinates
    RECT text; // screen coordinates
    int lines() const { return (text.bottom - text.top) / lineHeight; }
    int width() const { return box.right - box.left; }
    int height() const { return box.bottom - box.top; }
    int textChars() const { return (text.right - text.left) / charWidth; }
};

int measureBox(HWND box, HWND, const char *, const char *, UINT, void *context)
{
    BoxShape &shape = *static_cast<BoxShape *>(context);
    GetWindowRect(box, &shape.box);
    GetWindowRect(GetDlgItem(box, textId), &shape.text);
    return IDOK;
}

class MessageBoxLayout : public testing::Test {
protected:
    void SetUp() override { layerReset(); }
    void TearDown() override { EXPECT_STREQ("", layerReset()) << "scripted but never used"; }

    static BoxShape show(const std::string &text, UINT style = MB_OK)
    {
        BoxShape shape = {};
        layerSetMessageBoxHandler(measureBox, &shape);
        EXPECT_EQ(MessageBoxA(nullptr, text.c_str(), "Layout", style), IDOK);
        return shape;
    }

    // Words of five letters and a blank: at most 17 to a line in a box of 5/8 of 1024 pixels
    // (102 characters of text).
    static std::string words(int count)
    {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += i ? " alpha" : "alpha";
        return text;
    }
};

TEST_F(MessageBoxLayout, AShortTextKeepsItsLinesAndTheBoxItsWidth)
{
    BoxShape shape = show("Copy the files?\nThey take 7 MB.", MB_YESNO);
    EXPECT_EQ(shape.lines(), 2);
    EXPECT_EQ(shape.textChars(), 15);
    // The two buttons are wider than the text: the box is as wide as they need.
    EXPECT_EQ(shape.width(), 2 * 75 + 6 + 2 * 11 + 6);

    EXPECT_EQ(show("one\r\ntwo\rthree\n\nfive").lines(), 5);
    // A tab goes to the next stop of eight characters.
    EXPECT_EQ(show("ab\tc").textChars(), 9);
    EXPECT_EQ(show("").lines(), 1);
}

TEST_F(MessageBoxLayout, ALongPathIsBrokenIntoLinesOfTheBoxWithinFiveEighthsOfTheDesktop)
{
    std::string path = "D:\\Delvarin" + std::string(1000, 'd') + "\\vk2.exe";
    BoxShape shape = show("Cannot copy\n" + path + "\nto the game.", MB_OK | MB_ICONHAND);
    EXPECT_LE(shape.width(), 1024 * 5 / 8);
    EXPECT_GE(shape.box.left, 0);
    EXPECT_LE(shape.box.right, 1024);
    // 1019 characters in lines of 94 (the icon takes room): 11 lines, and the two short ones.
    EXPECT_EQ(shape.textChars(), 94);
    EXPECT_EQ(shape.lines(), 13);
    EXPECT_LE(shape.text.right, shape.box.right);
}

TEST_F(MessageBoxLayout, LinesBreakAtBlanksAndAWordThatDoesNotFitStartsTheNextLine)
{
    BoxShape shape = show(words(100));
    EXPECT_EQ(shape.lines(), 6); // 17 words to a line
    EXPECT_EQ(shape.textChars(), 17 * 6 - 1);

    // A long word after a short one goes to a line of its own, then is broken there.
    shape = show("to " + std::string(250, 'x'));
    EXPECT_EQ(shape.lines(), 4); // "to", 102, 102 and 46 characters
    EXPECT_EQ(shape.textChars(), 102);

    // Blanks at a break take no room, however many they are.
    shape = show(std::string(100, 'a') + std::string(40, ' ') + "b");
    EXPECT_EQ(shape.lines(), 2);
    EXPECT_EQ(shape.textChars(), 100);
}

TEST_F(MessageBoxLayout, ABoxTooTallForTheDesktopWidensToThreeQuartersThenSevenEighths)
{
    // 300 pixels hold a box of at most 16 lines.
    layerSetDesktopSize(1024, 300);
    BoxShape shape = show(std::string(1600, 'x'));
    EXPECT_EQ(shape.width(), 1024 * 5 / 8);
    EXPECT_EQ(shape.lines(), 16);
    EXPECT_EQ(shape.textChars(), 102);
    shape = show(std::string(1800, 'x'));
    EXPECT_EQ(shape.lines(), 15);
    EXPECT_EQ(shape.textChars(), 123);
    EXPECT_LE(shape.width(), 1024 * 6 / 8);
    shape = show(std::string(2300, 'x'));
    EXPECT_EQ(shape.lines(), 16);
    EXPECT_EQ(shape.textChars(), 144);
    EXPECT_LE(shape.width(), 1024 * 7 / 8);
    EXPECT_LE(shape.height(), 300);
    // When no width makes it short enough, the box takes the widest and grows down.
    shape = show(std::string(5000, 'x'));
    EXPECT_EQ(shape.textChars(), 144);
    EXPECT_EQ(shape.lines(), 35);
    EXPECT_GT(shape.height(), 300);
}

} // namespace
