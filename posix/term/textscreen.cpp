// Laying out and drawing windows on a screen of character cells. A dialog keeps its own
// arrangement, scaled to the cells, where the screen has room for it, and becomes a list of its
// controls where it has not; a message box is drawn as a box of wrapped text with a row of buttons.
#include "textscreen.h"

#include "codepage.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace layer {
namespace win {
namespace {

// The glyphs of frames: box drawing where the terminal takes UTF-8, else ASCII.
struct Glyphs {
    char32_t horizontal, vertical, topLeft, topRight, bottomLeft, bottomRight;
};
const Glyphs boxGlyphs = {U'\u2500', U'\u2502', U'\u250C', U'\u2510', U'\u2514', U'\u2518'};
const Glyphs asciiGlyphs = {U'-', U'|', U'+', U'+', U'+', U'+'};
const char32_t upperHalfBlock = U'\u2580';

bool isPushButton(const WindowView &view)
{
    return strcasecmp(view.className.c_str(), "Button") == 0 && (view.style & BS_TYPEMASK) != BS_GROUPBOX;
}

char keyOf(HWND window, HWND button)
{
    std::vector<HWND> buttons = keyedButtons(window);
    auto it = std::find(buttons.begin(), buttons.end(), button);
    return it == buttons.end() ? 0 : keyForButton(static_cast<size_t>(it - buttons.begin()));
}

// Every button keeps room for the focus marks, so that moving the focus moves nothing else:
// ">[1] Text<" focused, " [1] Text " not.
const int buttonDecoration = 6;

void drawButton(Screen &screen, int x, int y, int width, const WindowView &view, const std::u32string &label,
                char key, uint8_t base)
{
    std::u32string keyText = U"[";
    keyText += view.enabled && key ? static_cast<char32_t>(key) : U'-';
    keyText += U"] ";
    std::u32string inner = keyText + label;
    int total = static_cast<int>(inner.size()) + 2;
    int left = x + std::max(0, (width - total) / 2);
    uint8_t look = base;
    if (!view.enabled)
        look |= Dim;
    if (view.defaultButton)
        look |= Bold;
    if (view.focused) {
        look |= Reverse;
        screen.put(left, y, U'>', base | Bold);
        screen.put(left + total - 1, y, U'<', base | Bold);
    }
    screen.text(left + 1, y, inner, look, x + width);
}

// The bar with its position over its range: "[#####.....]  45/125".
void drawProgress(Screen &screen, int x, int y, int width, const ProgressState &progress, uint8_t look)
{
    long range = std::max(0L, static_cast<long>(progress.high) - progress.low);
    long position = std::min(std::max(0L, static_cast<long>(progress.position) - progress.low), range);
    std::string count = std::to_string(position) + "/" + std::to_string(range);
    // The count keeps the width of the widest it can get, so that the bar does not shift.
    int countWidth = static_cast<int>(std::to_string(range).size()) * 2 + 1;
    int barWidth = width - countWidth - 4;
    std::u32string line;
    if (barWidth >= 3) {
        long filled = range > 0 ? position * barWidth / range : 0;
        line = U"[" + std::u32string(static_cast<size_t>(filled), U'#') +
               std::u32string(static_cast<size_t>(barWidth - filled), U'.') + U"]  ";
        line += std::u32string(static_cast<size_t>(countWidth) - count.size(), U' ');
    }
    line += ascii(count);
    screen.text(x, y, line, look, x + width);
}

void drawFrame(Screen &screen, int x, int y, int width, int height, const Glyphs &g, uint8_t look,
               const std::u32string &caption)
{
    if (width < 2 || height < 2)
        return;
    for (int col = x + 1; col < x + width - 1; ++col) {
        screen.put(col, y, g.horizontal, look);
        screen.put(col, y + height - 1, g.horizontal, look);
    }
    for (int row = y + 1; row < y + height - 1; ++row) {
        screen.put(x, row, g.vertical, look);
        screen.put(x + width - 1, row, g.vertical, look);
    }
    screen.put(x, y, g.topLeft, look);
    screen.put(x + width - 1, y, g.topRight, look);
    screen.put(x, y + height - 1, g.bottomLeft, look);
    screen.put(x + width - 1, y + height - 1, g.bottomRight, look);
    if (!caption.empty() && width > 6)
        screen.text(x + 2, y, U" " + caption + U" ", look | Bold, x + width - 2);
}

uint32_t paletteIndexOf(COLORREF colour)
{
    int red = GetRValue(colour), green = GetGValue(colour), blue = GetBValue(colour);
    // The 6 x 6 x 6 cube of the 256-colour palette, or its grey ramp when that is nearer.
    auto level = [](int value) { return value < 48 ? 0 : value < 115 ? 1 : (value - 35) / 40; };
    static const int cubeValues[] = {0, 95, 135, 175, 215, 255};
    int r = level(red), g = level(green), b = level(blue);
    auto distance = [&](int cr, int cg, int cb) {
        return (cr - red) * (cr - red) + (cg - green) * (cg - green) + (cb - blue) * (cb - blue);
    };
    int cubeDistance = distance(cubeValues[r], cubeValues[g], cubeValues[b]);
    int average = (red + green + blue) / 3;
    int grey = average > 238 ? 23 : std::max(0, (average - 3) / 10);
    int greyValue = 8 + 10 * grey;
    if (distance(greyValue, greyValue, greyValue) < cubeDistance)
        return paletteColour | static_cast<uint32_t>(232 + grey);
    return paletteColour | static_cast<uint32_t>(16 + 36 * r + 6 * g + b);
}

uint32_t terminalColour(COLORREF colour, Colours colours)
{
    if (colours == Colours::Direct)
        return directColour | (static_cast<uint32_t>(GetRValue(colour)) << 16) |
               (static_cast<uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
    return paletteIndexOf(colour);
}

// The average colour of a block of pixels; at least the pixel at its top left.
COLORREF averageOf(const std::vector<COLORREF> &pixels, int width, int x0, int x1, int y0, int y1)
{
    x1 = std::max(x1, x0 + 1);
    y1 = std::max(y1, y0 + 1);
    unsigned long red = 0, green = 0, blue = 0, count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            COLORREF pixel = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            red += GetRValue(pixel);
            green += GetGValue(pixel);
            blue += GetBValue(pixel);
            ++count;
        }
    }
    return RGB(red / count, green / count, blue / count);
}

// Each cell shows two rows of the picture: the upper half block in the upper colour on the lower.
const PictureCells &pictureCells(HWND window, int width, int height, Drawing &d)
{
    PictureCells &cached = d.pictures[window];
    unsigned generation = d.drawnWindows[window];
    if (cached.generation == generation && cached.width == width && cached.height == height)
        return cached;
    cached = PictureCells();
    cached.generation = generation;
    cached.width = width;
    cached.height = height;
    int pixelWidth = 0, pixelHeight = 0;
    std::vector<COLORREF> pixels;
    if (!readSurface(window, pixelWidth, pixelHeight, pixels) || pixelWidth <= 0 || pixelHeight <= 0 ||
        pixels.size() < static_cast<size_t>(pixelWidth) * static_cast<size_t>(pixelHeight))
        return cached;
    cached.cells.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int row = 0; row < height; ++row) {
        int top = row * 2 * pixelHeight / (2 * height);
        int middle = (row * 2 + 1) * pixelHeight / (2 * height);
        int bottom = (row * 2 + 2) * pixelHeight / (2 * height);
        for (int col = 0; col < width; ++col) {
            int left = col * pixelWidth / width;
            int right = (col + 1) * pixelWidth / width;
            Cell &cell = cached.cells[static_cast<size_t>(row) * static_cast<size_t>(width) + static_cast<size_t>(col)];
            cell.glyph = upperHalfBlock;
            cell.foreground = terminalColour(averageOf(pixels, pixelWidth, left, right, top, middle), d.colours);
            cell.background =
                terminalColour(averageOf(pixels, pixelWidth, left, right, std::min(middle, pixelHeight - 1), bottom),
                               d.colours);
        }
    }
    return cached;
}

bool showsPictures(const Drawing &d)
{
    return d.utf8 && d.colours != Colours::None;
}

enum class Kind { Button, Text, Frame, Progress, Picture };

// A control placed on the grid of cells inside the dialog's border.
struct Element {
    Kind kind;
    WindowView view;
    RECT area; // pixels, in the dialog's client coordinates
    std::u32string label; // a button's text, a group box's caption
    std::u32string text;  // a static's text
    std::vector<std::u32string> lines;
    int col0 = 0, col1 = 0, row0 = 0, row1 = 0; // [col0, col1) x [row0, row1)
};

bool staticShowsText(DWORD style)
{
    switch (style & SS_TYPEMASK) {
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
    case SS_SIMPLE:
    case SS_LEFTNOWORDWRAP:
        return true;
    }
    return false;
}

bool staticIsFrame(DWORD style)
{
    DWORD type = style & SS_TYPEMASK;
    return (type >= SS_BLACKRECT && type <= SS_WHITEFRAME) || type == SS_ETCHEDFRAME;
}

std::vector<Element> elementsOf(HWND dialog, const RECT &client, const Drawing &d)
{
    std::vector<Element> elements;
    for (HWND child : childWindows(dialog)) {
        Element e;
        if (!viewWindow(child, e.view))
            continue;
        e.area = {e.view.windowRect.left - client.left, e.view.windowRect.top - client.top,
                  e.view.windowRect.right - client.left, e.view.windowRect.bottom - client.top};
        const char *className = e.view.className.c_str();
        if (e.view.isProgress) {
            e.kind = Kind::Progress;
        } else if (strcasecmp(className, "Button") == 0) {
            e.kind = isPushButton(e.view) ? Kind::Button : Kind::Frame;
            e.label = buttonLabel(e.view.text);
        } else if (strcasecmp(className, "Static") == 0 && d.drawnWindows.count(child) && showsPictures(d)) {
            e.kind = Kind::Picture;
        } else if (strcasecmp(className, "Static") == 0 && staticShowsText(e.view.style)) {
            e.kind = Kind::Text;
            e.text = displayText(e.view.text);
            if (!(e.view.style & SS_NOPREFIX))
                e.text = withoutMnemonics(e.text);
        } else if (strcasecmp(className, "Static") == 0 && staticIsFrame(e.view.style)) {
            e.kind = Kind::Frame;
        } else if (!e.view.text.empty()) {
            e.kind = Kind::Text;
            e.text = displayText(e.view.text);
        } else {
            continue;
        }
        elements.push_back(e);
    }
    return elements;
}

bool contains(const RECT &outer, const RECT &inner)
{
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

long areaOf(const RECT &r)
{
    return static_cast<long>(r.right - r.left) * (r.bottom - r.top);
}

// The lines a text shows in a width: wrapped, unless its style keeps it on one line.
std::vector<std::u32string> textLines(const Element &e, int width)
{
    DWORD type = e.view.style & SS_TYPEMASK;
    if (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP)
        return splitLines(e.text);
    return wrapText(e.text, width);
}

// Places the controls where their rectangles fall on a grid of width x height cells, then moves
// each down below whatever it would overlap, and inside the frames it sits in. False when the
// result does not fit or a button's text is wider than the room it has.
bool layOutScaled(std::vector<Element> &elements, int width, int height, int clientWidth, int clientHeight)
{
    double perCol = static_cast<double>(clientWidth) / width;
    double perRow = static_cast<double>(clientHeight) / height;
    std::vector<size_t> order(elements.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    // Top to bottom; of two at the same height the larger first, so that a frame comes before what
    // it holds.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const RECT &ra = elements[a].area, &rb = elements[b].area;
        return ra.top != rb.top ? ra.top < rb.top : areaOf(ra) > areaOf(rb);
    });
    std::vector<size_t> placed;
    for (size_t index : order) {
        Element &e = elements[index];
        // The innermost frame that holds it.
        const Element *frame = nullptr;
        for (size_t p : placed) {
            const Element &candidate = elements[p];
            if (candidate.kind == Kind::Frame && contains(candidate.area, e.area) &&
                (!frame || areaOf(candidate.area) < areaOf(frame->area)))
                frame = &candidate;
        }
        int low = frame ? frame->col0 + 1 : 0;
        int high = frame ? frame->col1 - 1 : width;
        if (high - low < 1)
            return false;
        e.col0 = std::min(std::max(static_cast<int>(std::lround(e.area.left / perCol)), low), high - 1);
        e.col1 = std::min(std::max(static_cast<int>(std::lround(e.area.right / perCol)), e.col0 + 1), high);
        int needed = 0;
        if (e.kind == Kind::Button)
            needed = static_cast<int>(e.label.size()) + buttonDecoration;
        if (needed > e.col1 - e.col0) {
            if (needed > high - low)
                return false;
            int centre = (e.col0 + e.col1) / 2;
            e.col0 = std::min(std::max(centre - needed / 2, low), high - needed);
            e.col1 = e.col0 + needed;
        }
        if (e.kind == Kind::Text)
            e.lines = textLines(e, e.col1 - e.col0);

        double top = e.area.top / perRow;
        double bottom = e.area.bottom / perRow;
        int rows;
        if (e.kind == Kind::Frame || e.kind == Kind::Picture) {
            e.row0 = static_cast<int>(std::floor(top));
            rows = std::max(e.kind == Kind::Frame ? 2 : 1, static_cast<int>(std::lround(bottom)) - e.row0);
        } else {
            rows = e.kind == Kind::Text ? std::max<int>(1, static_cast<int>(e.lines.size())) : 1;
            e.row0 = static_cast<int>(std::lround((top + bottom) / 2 - rows / 2.0));
        }
        e.row0 = std::max(e.row0, 0);
        for (size_t p : placed) {
            const Element &other = elements[p];
            if (other.col1 <= e.col0 || e.col1 <= other.col0)
                continue;
            if (other.kind == Kind::Frame && contains(other.area, e.area))
                e.row0 = std::max(e.row0, other.row0 + 1);
            else
                e.row0 = std::max(e.row0, other.row1);
        }
        e.row1 = e.row0 + rows;
        // The frames that hold it grow to keep their bottom edge below it.
        for (size_t p : placed) {
            Element &other = elements[p];
            if (other.kind == Kind::Frame && contains(other.area, e.area))
                other.row1 = std::max(other.row1, e.row1 + 1);
        }
        placed.push_back(index);
    }
    for (const Element &e : elements) {
        if (e.row1 > height)
            return false;
    }
    return true;
}

// The plain way: one control under the other, in reading order, for a terminal too small for the
// dialog's own arrangement. Returns the rows used.
int layOutList(std::vector<Element> &elements, int width)
{
    elements.erase(std::remove_if(elements.begin(), elements.end(),
                                  [](const Element &e) {
                                      return !e.view.visible || e.kind == Kind::Frame || e.kind == Kind::Picture ||
                                             (e.kind == Kind::Text && trimmed(e.text).empty());
                                  }),
                   elements.end());
    std::stable_sort(elements.begin(), elements.end(), [](const Element &a, const Element &b) {
        return a.area.top != b.area.top ? a.area.top < b.area.top : a.area.left < b.area.left;
    });
    int row = 0;
    for (Element &e : elements) {
        e.col0 = 0;
        e.col1 = width;
        if (e.kind == Kind::Text)
            e.lines = textLines(e, width);
        e.row0 = row;
        e.row1 = row + (e.kind == Kind::Text ? std::max<int>(1, static_cast<int>(e.lines.size())) : 1);
        row = e.row1;
    }
    return row;
}

void drawElement(Screen &screen, int x, int y, const Element &e, HWND dialog, uint8_t base, Drawing &d)
{
    const Glyphs &glyphs = d.utf8 ? boxGlyphs : asciiGlyphs;
    int left = x + e.col0, top = y + e.row0;
    int width = e.col1 - e.col0, height = e.row1 - e.row0;
    uint8_t look = base | (e.view.enabled ? 0 : Dim);
    switch (e.kind) {
    case Kind::Frame:
        drawFrame(screen, left, top, width, height, glyphs, look, e.label);
        return;
    case Kind::Picture: {
        const PictureCells &picture = pictureCells(e.view.handle, width, height, d);
        if (picture.cells.empty())
            return;
        for (int row = 0; row < height; ++row)
            for (int col = 0; col < width; ++col) {
                const Cell &cell =
                    picture.cells[static_cast<size_t>(row) * static_cast<size_t>(width) + static_cast<size_t>(col)];
                screen.put(left + col, top + row, cell.glyph, 0, cell.foreground, cell.background);
            }
        return;
    }
    case Kind::Button:
        drawButton(screen, left, top, width, e.view, e.label, keyOf(dialog, e.view.handle), base);
        return;
    case Kind::Progress:
        drawProgress(screen, left, top, width, e.view.progress, look);
        return;
    case Kind::Text:
        for (size_t i = 0; i < e.lines.size() && static_cast<int>(i) < height; ++i) {
            const std::u32string &line = e.lines[i];
            int shift = 0;
            int spare = std::max(0, width - static_cast<int>(line.size()));
            if ((e.view.style & SS_TYPEMASK) == SS_CENTER)
                shift = spare / 2;
            else if ((e.view.style & SS_TYPEMASK) == SS_RIGHT)
                shift = spare;
            screen.text(left + shift, top + static_cast<int>(i), line, look, left + width);
        }
        return;
    }
}

// The room the screen keeps below the windows for the line of keys.
int helpRows(const Screen &screen)
{
    return screen.rows >= 8 ? 1 : 0;
}

void drawDialog(Screen &screen, HWND dialog, const WindowView &view, Drawing &d)
{
    int cols = screen.cols, rows = screen.rows - helpRows(screen);
    int clientWidth = view.clientRect.right - view.clientRect.left;
    int clientHeight = view.clientRect.bottom - view.clientRect.top;
    std::vector<Element> all = elementsOf(dialog, view.clientRect, d);

    // The dialog is drawn at about 5 by 12 pixels a cell at most, so that a large terminal shows
    // it at a readable size rather than stretched over the whole screen.
    int width = std::min(cols - 2, static_cast<int>(std::ceil(clientWidth / 5.0)));
    int height = std::min(rows - 2, static_cast<int>(std::ceil(clientHeight / 12.0)));
    std::vector<Element> elements;
    bool placed = false;
    if (width >= 1 && height >= 1) {
        // Hidden controls keep their place, so that nothing moves when they appear; frames are
        // given up before that, and the list before anything else.
        auto visibleOnly = [](std::vector<Element> list) {
            list.erase(std::remove_if(list.begin(), list.end(), [](const Element &e) { return !e.view.visible; }),
                       list.end());
            return list;
        };
        auto withoutFrames = [](std::vector<Element> list) {
            list.erase(std::remove_if(list.begin(), list.end(), [](const Element &e) { return e.kind == Kind::Frame; }),
                       list.end());
            return list;
        };
        for (const std::vector<Element> &attempt :
             {all, withoutFrames(all), visibleOnly(all), withoutFrames(visibleOnly(all))}) {
            elements = attempt;
            if (layOutScaled(elements, width, height, clientWidth, clientHeight)) {
                placed = true;
                break;
            }
        }
    }
    std::u32string title = displayText(view.text);
    if (!placed) {
        elements = all;
        int widest = static_cast<int>(title.size()) + 6;
        for (const Element &e : elements) {
            if (e.view.visible && e.kind == Kind::Button)
                widest = std::max(widest, static_cast<int>(e.label.size()) + buttonDecoration);
            if (e.view.visible && e.kind == Kind::Text)
                for (const std::u32string &line : splitLines(e.text))
                    widest = std::max(widest, static_cast<int>(line.size()));
        }
        width = std::max(1, std::min(cols - 2, widest));
        height = std::max(1, std::min(rows - 2, layOutList(elements, width)));
    }
    int x = std::max(0, (cols - width - 2) / 2);
    int y = std::max(0, (rows - height - 2) / 2);
    uint8_t base = takesInput(dialog) ? 0 : Dim;
    screen.fill(x, y, width + 2, height + 2);
    drawFrame(screen, x, y, width + 2, height + 2, d.utf8 ? boxGlyphs : asciiGlyphs, base, title);
    // Frames first: what they hold is drawn over them. The list may be longer than the screen.
    for (int pass = 0; pass < 2; ++pass) {
        for (Element e : elements) {
            e.row1 = std::min(e.row1, height);
            if (e.view.visible && (e.kind == Kind::Frame) == (pass == 0) && e.row0 < e.row1)
                drawElement(screen, x + 1, y + 1, e, dialog, base, d);
        }
    }
}

const char *iconMark(UINT style)
{
    switch (style & MB_ICONMASK) {
    case MB_ICONHAND: return "(x) ";
    case MB_ICONQUESTION: return "(?) ";
    case MB_ICONEXCLAMATION: return "(!) ";
    case MB_ICONASTERISK: return "(i) ";
    }
    return "";
}

// A message box in the middle of the screen: its caption on the border, its text wrapped, its
// buttons in a row below.
void drawMessageBox(Screen &screen, HWND box, const MessageBoxView &message, const Drawing &d)
{
    int cols = screen.cols, rows = screen.rows - helpRows(screen);
    std::u32string caption = displayText(message.caption);
    std::u32string icon = ascii(iconMark(message.style));
    std::u32string text = displayText(message.text);

    std::vector<WindowView> buttons;
    int buttonsWidth = 0;
    for (HWND button : keyedButtons(box)) {
        WindowView view;
        if (!viewWindow(button, view))
            continue;
        if (!buttons.empty())
            buttonsWidth += 2;
        buttons.push_back(view);
        buttonsWidth += static_cast<int>(buttonLabel(view.text).size()) + buttonDecoration;
    }
    int longest = 0;
    for (const std::u32string &line : splitLines(text))
        longest = std::max(longest, static_cast<int>(line.size()));
    int room = std::max(1, std::min(cols - 4, 72));
    int inner = std::min(room, std::max({longest + static_cast<int>(icon.size()), static_cast<int>(caption.size()) + 4,
                                         buttonsWidth, 20}));
    int textWidth = std::max(1, inner - static_cast<int>(icon.size()));
    std::vector<std::u32string> lines = wrapText(text, textWidth);
    // Border, blank, text, blank, buttons, border; a text too long for the screen shows its start.
    int textRows = std::max(1, std::min(static_cast<int>(lines.size()), rows - 5));
    if (textRows < static_cast<int>(lines.size())) {
        lines.resize(static_cast<size_t>(textRows));
        std::u32string &last = lines.back();
        last = last.substr(0, static_cast<size_t>(std::max(0, textWidth - 3))) + U"...";
    }
    int width = inner + 4;
    int height = textRows + 5;
    int x = std::max(0, (cols - width) / 2);
    int y = std::max(0, (rows - height) / 2);
    screen.fill(x, y, width, height);
    drawFrame(screen, x, y, width, height, d.utf8 ? boxGlyphs : asciiGlyphs, 0, caption);
    for (int i = 0; i < textRows; ++i) {
        if (i == 0)
            screen.text(x + 2, y + 2, icon, Bold, x + width - 2);
        screen.text(x + 2 + static_cast<int>(icon.size()), y + 2 + i, lines[static_cast<size_t>(i)], 0, x + width - 2);
    }
    int buttonX = x + 2 + std::max(0, (inner - buttonsWidth) / 2);
    for (size_t i = 0; i < buttons.size(); ++i) {
        std::u32string label = buttonLabel(buttons[i].text);
        int buttonWidth = static_cast<int>(label.size()) + buttonDecoration;
        drawButton(screen, buttonX, y + height - 2, std::min(buttonWidth, x + width - 2 - buttonX), buttons[i], label,
                   keyForButton(i), 0);
        buttonX += buttonWidth + 2;
    }
}

void drawHelp(Screen &screen, HWND top, bool messageBox)
{
    if (!helpRows(screen))
        return;
    size_t count = keyedButtons(top).size();
    std::string keys;
    if (count == 1)
        keys = "1: button  ";
    else if (count > 1)
        keys = std::string("1-") + keyForButton(std::min<size_t>(count, 34) - 1) + ": buttons  ";
    std::string help = messageBox ? " Enter, Space or Esc: answer  " + keys + "Tab: next"
                                  : " Tab/Shift+Tab: move  Enter/Space: press  " + keys + "Esc: cancel  q: close";
    screen.text(0, screen.rows - 1, ascii(help), Dim, screen.cols);
}

} // namespace

// Digits, then letters without q (which closes).
char keyForButton(size_t index)
{
    static const char keys[] = "123456789abcdefghijklmnoprstuvwxyz";
    return index < sizeof keys - 1 ? keys[index] : 0;
}

std::vector<HWND> keyedButtons(HWND window)
{
    std::vector<WindowView> buttons;
    for (HWND child : childWindows(window)) {
        WindowView view;
        if (viewWindow(child, view) && view.visible && isPushButton(view))
            buttons.push_back(view);
    }
    std::stable_sort(buttons.begin(), buttons.end(), [](const WindowView &a, const WindowView &b) {
        return a.windowRect.top != b.windowRect.top ? a.windowRect.top < b.windowRect.top
                                                    : a.windowRect.left < b.windowRect.left;
    });
    std::vector<HWND> handles;
    for (const WindowView &view : buttons)
        handles.push_back(view.handle);
    return handles;
}

// Our visible top-level windows, bottom first.
std::vector<HWND> shownWindows()
{
    std::vector<HWND> shown;
    std::vector<HWND> all = topLevelWindows();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        if (isVisible(*it))
            shown.push_back(*it);
    }
    return shown;
}

void compose(Screen &screen, const std::vector<HWND> &shown, Drawing &drawing)
{
    for (HWND window : shown) {
        MessageBoxView message;
        WindowView view;
        if (messageBoxView(window, message))
            drawMessageBox(screen, window, message, drawing);
        else if (viewWindow(window, view))
            drawDialog(screen, window, view, drawing);
    }
    MessageBoxView top;
    drawHelp(screen, shown.back(), messageBoxView(shown.back(), top));
}


void Drawing::follow(Change what, HWND hwnd)
{
    if (what == Change::Pixels)
        ++drawnWindows[hwnd];
    if (what == Change::Destroyed) {
        drawnWindows.erase(hwnd);
        pictures.erase(hwnd);
    }
}

} // namespace win
} // namespace layer
