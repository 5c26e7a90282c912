// Windows drawn as text: the dialogs and message boxes that are shown, laid out on a screen of
// character cells, and the bytes that bring a terminal from one screen to the next. Nothing here
// touches a terminal; the terminal front end (terminal.cpp) shows what this draws.
#ifndef POSIX_TEXTSCREEN_H
#define POSIX_TEXTSCREEN_H

#include "windowing.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace layer {
namespace win {

// A window as a front end shows it (view.cpp).
struct WindowView {
    HWND handle;
    std::string className;
    int id;
    std::string text;
    DWORD style;
    DWORD exStyle;
    bool visible;      // with its ancestors
    bool enabled;      // its own state
    bool focused;
    bool defaultButton;
    bool isProgress;
    ProgressState progress;
    RECT windowRect;   // screen coordinates
    RECT clientRect;   // screen coordinates
};
bool viewWindow(HWND hwnd, WindowView &view);
// The colours on a window's surface, row by row from the top.
bool readSurface(HWND hwnd, int &width, int &height, std::vector<COLORREF> &pixels);

enum Attribute : uint8_t { Bold = 1, Dim = 2, Reverse = 4 };

// A colour as the terminal is told it: 0 for the terminal's own, else a tagged 24-bit value or
// 256-colour palette index.
const uint32_t directColour = 0x1000000;
const uint32_t paletteColour = 0x2000000;

struct Cell {
    char32_t glyph = U' ';
    uint8_t attributes = 0;
    uint32_t foreground = 0;
    uint32_t background = 0;
    bool operator==(const Cell &other) const
    {
        return glyph == other.glyph && attributes == other.attributes && foreground == other.foreground &&
               background == other.background;
    }
    bool sameLook(const Cell &other) const
    {
        return attributes == other.attributes && foreground == other.foreground && background == other.background;
    }
};

struct Screen {
    Screen(int columns, int rowCount)
        : cols(columns), rows(rowCount), cells(static_cast<size_t>(columns) * static_cast<size_t>(rowCount))
    {
    }
    void put(int x, int y, char32_t glyph, uint8_t attributes = 0, uint32_t foreground = 0, uint32_t background = 0)
    {
        if (x < 0 || y < 0 || x >= cols || y >= rows)
            return;
        cells[static_cast<size_t>(y) * static_cast<size_t>(cols) + static_cast<size_t>(x)] = {glyph, attributes,
                                                                                              foreground, background};
    }
    // Writes text from x, cut at column `end` (exclusive) and at the screen's edge.
    void text(int x, int y, const std::u32string &s, uint8_t attributes, int end)
    {
        end = std::min(end, cols);
        for (size_t i = 0; i < s.size() && x < end; ++i, ++x)
            put(x, y, s[i], attributes);
    }
    void fill(int x, int y, int width, int height)
    {
        for (int row = y; row < y + height; ++row)
            for (int col = x; col < x + width; ++col)
                put(col, row, U' ');
    }
    int cols;
    int rows;
    std::vector<Cell> cells;
};

enum class Colours { None, Palette256, Direct };

struct PictureCells {
    unsigned generation = 0;
    int width = 0;
    int height = 0;
    std::vector<Cell> cells;
};

// How windows are drawn: frames in box drawing characters where the terminal takes UTF-8, else in
// ASCII; pictures (what the program drew on a static control) as coloured half blocks where it takes
// UTF-8 and colours, else not at all.
struct Drawing {
    bool utf8 = false;
    Colours colours = Colours::None;
    // Windows that the program drew pixels on through GDI, with a count of their drawings, and their
    // pictures as cells for that count.
    std::map<HWND, unsigned> drawnWindows;
    std::map<HWND, PictureCells> pictures;
    // Follows a change on the screen: pixels drawn, a window gone.
    void follow(Change what, HWND hwnd);
};

// Our visible top-level windows, bottom first.
std::vector<HWND> shownWindows();
// Draws the windows (bottom first) and, on the last row, the keys of the top one.
void compose(Screen &screen, const std::vector<HWND> &shown, Drawing &drawing);
// The bytes that make a terminal that shows `before` show `now`: only the cells that differ, or,
// without `before` or when its size differs, the whole screen after clearing it. Without UTF-8,
// characters beyond ASCII go as '?'.
std::string frameUpdate(const Screen &now, const Screen *before, bool utf8);

// Texts as the screen shows them (textcodes.cpp): a window's text (ANSI) as characters the terminal
// can show, controls as '?'; without its mnemonic marks ("&&" stands for "&"); without blanks at
// either end; cut at its line feeds; a button's label on one line (a multiline text's lines joined
// by a blank); and wrapped into lines of at most `width` characters at blanks, keeping its line
// feeds and cutting a word longer than a line.
std::u32string displayText(const std::string &text);
std::u32string withoutMnemonics(const std::u32string &text);
std::u32string trimmed(const std::u32string &text);
std::vector<std::u32string> splitLines(const std::u32string &text);
std::u32string buttonLabel(const std::string &text);
std::vector<std::u32string> wrapText(const std::u32string &text, int width);
std::u32string ascii(const std::string &text);

// The visible push buttons of a window in reading order, and the key that clicks the n-th of them.
std::vector<HWND> keyedButtons(HWND window);
char keyForButton(size_t index);

} // namespace win
} // namespace layer

#endif
