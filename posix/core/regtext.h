// The text of Wine's registry files: its lines, escapes and values, read as the Wine 8 server's
// loader reads them. The tree of keys is in regfile.cpp.
#ifndef POSIX_REGTEXT_H
#define POSIX_REGTEXT_H

#include "regfile.h"

#include <cstring>
#include <string_view>

namespace layer {

inline bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

inline int hexValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// Whether `s` holds `prefix` at `p` (at most its size).
template <size_t N>
bool holdsAt(std::string_view s, size_t p, const char (&prefix)[N])
{
    return s.size() - p >= N - 1 && memcmp(s.data() + p, prefix, N - 1) == 0;
}

inline bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A character beyond ASCII as names compare without case: in lower case.
char16_t foldWideChar(char16_t c);

// A character as names compare without case: in lower case. Inline, since every key name of a
// file is folded character by character, and most of them are plain ASCII.
inline char16_t foldChar(char16_t c)
{
    if (c >= 0x80)
        return foldWideChar(c);
    return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c;
}

// Where text in the escape syntax that starts at `p` ends: the position of `endChar`, or npos when
// the text ends first. Escaped characters never end it; nothing else needs decoding to find it.
// For text without NUL bytes, as LineCursor gives lines.
size_t escapedEnd(std::string_view src, size_t p, char endChar);

// Decodes text in the escape syntax, up to a NUL byte if there is one. Bytes from 0x80 on are
// UTF-8; an invalid sequence is dropped, as Wine drops it.
void parseEscaped(std::string_view src, std::u16string &out);

// Two names in the order of their folded forms: below 0, 0 or above 0.
int compareNames(const std::u16string &a, const std::u16string &b);

struct Line {
    size_t begin; // first character
    size_t end;   // before the line break ("\n" or "\r\n")
    size_t next;  // start of the next line
};

// The lines of a text, one at a time, each as the Wine loader sees it: C string functions stop at
// a NUL byte.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : text_(text) {}

    // Moves to the next line; false when there is none.
    bool next()
    {
        size_t begin = line_.next;
        if (begin >= text_.size())
            return false;
        size_t newline = text_.find('\n', begin);
        size_t end = newline == std::string_view::npos ? text_.size() : newline;
        line_ = {begin, end > begin && text_[end - 1] == '\r' ? end - 1 : end, end < text_.size() ? end + 1 : end};
        size_t nul = text_.substr(begin, line_.end - begin).find('\0');
        textEnd_ = nul == std::string_view::npos ? line_.end : begin + nul;
        ++index_;
        return true;
    }

    bool atLast() const { return line_.next >= text_.size(); }
    const Line &line() const { return line_; }
    // The line's number, from 1.
    size_t number() const { return index_; }

    std::string_view text() const { return text_.substr(line_.begin, textEnd_ - line_.begin); }

private:
    std::string_view text_;
    Line line_ = {0, 0, 0};
    size_t index_ = 0;
    size_t textEnd_ = 0; // the line's end, or its first NUL byte
};

inline size_t skipSpaces(std::string_view s, size_t p)
{
    while (p < s.size() && isSpace(s[p]))
        ++p;
    return p;
}

// Reads one value line (and its continuation lines) into `block`, as Wine's load_value does: a
// malformed name skips the line; malformed data leaves the value empty, of type REG_NONE. What Wine
// skips goes to `file`'s warnings.
void parseValue(LineCursor &lines, size_t start, RegKeyBlock &block, RegFile &file);

} // namespace layer

#endif
