// The characters and bytes of a text screen: a window's text as the terminal can show it, wrapped
// into lines, and the escape sequences that bring a terminal from one screen to the next.
#include "textscreen.h"

#include "codepage.h"

#include <algorithm>
#include <string>

namespace layer {
namespace win {
namespace {

void appendColour(std::string &out, uint32_t colour, bool foreground)
{
    if (colour & directColour) {
        out += foreground ? ";38;2;" : ";48;2;";
        out += std::to_string((colour >> 16) & 0xFF) + ";" + std::to_string((colour >> 8) & 0xFF) + ";" +
               std::to_string(colour & 0xFF);
    } else if (colour & paletteColour) {
        out += foreground ? ";38;5;" : ";48;5;";
        out += std::to_string(colour & 0xFF);
    }
}

// Select Graphic Rendition for a cell, from a reset, so that nothing of the cell before stays.
void appendLook(std::string &out, const Cell &cell)
{
    out += "\x1b[0";
    if (cell.attributes & Bold)
        out += ";1";
    if (cell.attributes & Dim)
        out += ";2";
    if (cell.attributes & Reverse)
        out += ";7";
    appendColour(out, cell.foreground, true);
    appendColour(out, cell.background, false);
    out += 'm';
}

} // namespace

// A window's text (ANSI, Windows-1252) as characters the terminal can show: controls become '?'.
std::u32string displayText(const std::string &text)
{
    std::u16string wide = ansiToUtf16(text.data(), text.size());
    std::u32string out;
    out.reserve(wide.size());
    for (char16_t c : wide) {
        if (c == u'\n' || c == u' ')
            out += static_cast<char32_t>(c);
        else if (c == u'\t')
            out += U' ';
        else if (c == u'\r')
            continue;
        else if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            out += U'?';
        else
            out += static_cast<char32_t>(c);
    }
    return out;
}

// "&&" stands for "&", and a single "&" marks the next character as the control's mnemonic.
std::u32string withoutMnemonics(const std::u32string &text)
{
    std::u32string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == U'&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

std::u32string trimmed(const std::u32string &text)
{
    size_t first = text.find_first_not_of(U' ');
    if (first == std::u32string::npos)
        return U"";
    return text.substr(first, text.find_last_not_of(U' ') - first + 1);
}

std::vector<std::u32string> splitLines(const std::u32string &text)
{
    std::vector<std::u32string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(U'\n', start)) != std::u32string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

// A button shows its text on one line: the lines of a multiline text joined by one blank.
std::u32string buttonLabel(const std::string &text)
{
    std::u32string label;
    for (const std::u32string &line : splitLines(withoutMnemonics(displayText(text)))) {
        std::u32string part = trimmed(line);
        if (part.empty())
            continue;
        if (!label.empty())
            label += U' ';
        label += part;
    }
    return label;
}

// Breaks text into lines of at most `width` characters at blanks, keeping its line feeds; a word
// longer than a line is cut into pieces.
std::vector<std::u32string> wrapText(const std::u32string &text, int width)
{
    size_t limit = static_cast<size_t>(std::max(width, 1));
    std::vector<std::u32string> lines;
    for (const std::u32string &paragraph : splitLines(text)) {
        std::u32string line;
        bool any = false;
        size_t start = 0;
        while (start <= paragraph.size()) {
            size_t end = paragraph.find(U' ', start);
            if (end == std::u32string::npos)
                end = paragraph.size();
            std::u32string word = paragraph.substr(start, end - start);
            start = end + 1;
            if (word.empty())
                continue;
            any = true;
            while (word.size() > limit) {
                if (!line.empty())
                    lines.push_back(line);
                lines.push_back(word.substr(0, limit));
                line.clear();
                word.erase(0, limit);
            }
            if (word.empty())
                continue;
            if (line.empty())
                line = word;
            else if (line.size() + 1 + word.size() <= limit)
                line += U' ' + word;
            else {
                lines.push_back(line);
                line = word;
            }
        }
        if (!line.empty() || !any)
            lines.push_back(line);
    }
    return lines;
}

std::u32string ascii(const std::string &text)
{
    return std::u32string(text.begin(), text.end());
}

std::string frameUpdate(const Screen &frame, const Screen *before, bool utf8)
{
    bool full = !before || frame.cols != before->cols || frame.rows != before->rows;
    std::string out;
    if (full)
        out += "\x1b[0m\x1b[2J";
    for (int row = 0; row < frame.rows; ++row) {
        const Cell *now = &frame.cells[static_cast<size_t>(row) * static_cast<size_t>(frame.cols)];
        int first = 0, last = frame.cols - 1;
        if (!full) {
            const Cell *shown = &before->cells[static_cast<size_t>(row) * static_cast<size_t>(frame.cols)];
            while (first <= last && now[first] == shown[first])
                ++first;
            while (last >= first && now[last] == shown[last])
                --last;
            if (first > last)
                continue;
        }
        out += "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(first + 1) + "H";
        const Cell *look = nullptr;
        for (int col = first; col <= last; ++col) {
            if (!look || !now[col].sameLook(*look)) {
                appendLook(out, now[col]);
                look = &now[col];
            }
            char32_t glyph = now[col].glyph;
            appendUtf8(out, utf8 || glyph < 0x80 ? glyph : U'?');
        }
    }
    if (!out.empty())
        out += "\x1b[0m";
    return out;
}

} // namespace win
} // namespace layer
