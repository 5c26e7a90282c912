// The text of Wine's registry files: its lines, escapes and values, read as the Wine 8 server's
// loader reads them. The lookups and the tree of keys are in regfile.cpp.
#ifndef POSIX_REGTEXT_H
#define POSIX_REGTEXT_H

#include "regfile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace layer {

// The value of each hex digit, -1 for the other characters.
struct HexDigits {
    signed char value[256];
    constexpr HexDigits() : value()
    {
        for (int c = 0; c < 256; ++c)
            value[c] = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    }
};
inline constexpr HexDigits hexDigits;

inline bool isHexDigit(char c)
{
    return hexDigits.value[static_cast<unsigned char>(c)] >= 0;
}

inline int hexValue(char c)
{
    return hexDigits.value[static_cast<unsigned char>(c)];
}

// The first `c` or `d` in [p, end), or null. The lines of a registry file are short: compared 16
// bytes at a time in place, they cost less than a call to memchr each.
inline const char *findByte(const char *p, const char *end, char c, char d)
{
#ifdef __SSE2__
    const __m128i first = _mm_set1_epi8(c);
    const __m128i second = _mm_set1_epi8(d);
    for (; end - p >= 16; p += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        __m128i equal = _mm_or_si128(_mm_cmpeq_epi8(bytes, first), _mm_cmpeq_epi8(bytes, second));
        unsigned found = static_cast<unsigned>(_mm_movemask_epi8(equal));
        if (found)
            return p + __builtin_ctz(found);
    }
#endif
    for (; p < end; ++p)
        if (*p == c || *p == d)
            return p;
    return nullptr;
}

inline const char *findByte(const char *p, const char *end, char c)
{
    return findByte(p, end, c, c);
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

// A character as names compare without case: in lower case.
char16_t foldChar(char16_t c);

// Reads the character at `p` (not the end, not NUL) in the escape syntax of the registry files and
// moves past it. Bytes from 0x80 on are UTF-8; false for an invalid sequence, which is dropped, as
// Wine drops it, and for a backslash that ends the text (then `p` is at the end).
bool readEscapedChar(std::string_view src, size_t &p, unsigned &value);

// Whether the character at `at` is escaped in text that starts at `from`: an escape takes the one
// character after its backslash, so a character is escaped after an odd run of backslashes.
bool isEscaped(std::string_view src, size_t from, size_t at);

// The first `c` from `p` on in text that starts at `from` that is not escaped, or npos.
size_t findUnescaped(std::string_view src, size_t from, size_t p, char c);

// Where text in the escape syntax that starts at `p` ends: the position of `endChar`, or npos when
// the text ends first. Escaped characters never end it; nothing else needs decoding to find it.
// For text without NUL bytes, as LineCursor gives lines.
size_t escapedEnd(std::string_view src, size_t p, char endChar);

// Text in the escape syntax, read up to `endChar` (which is consumed; '\0' reads to the end);
// returns false when the text ends first.
bool parseEscaped(std::string_view src, char endChar, std::u16string &out, size_t *consumed);

// Two names in the order of their folded forms: below 0, 0 or above 0.
int compareNames(const std::u16string &a, const std::u16string &b);

struct Line {
    size_t begin; // first character
    size_t end;   // before the line break ("\n" or "\r\n")
    size_t next;  // start of the next line
};

// The lines of text[begin, limit), one at a time, each as the Wine loader sees it: C string
// functions stop at a NUL byte.
class LineCursor {
public:
    LineCursor(std::string_view text, size_t begin = 0, size_t limit = std::string::npos)
        : text_(text), limit_(std::min(limit, text.size())), line_{begin, begin, begin}
    {
    }

    // Moves to the next line; false when there is none.
    bool next()
    {
        size_t begin = line_.next;
        if (begin >= limit_)
            return false;
        // The line break, and a NUL byte before it in the same search.
        const char *data = text_.data();
        const char *found = findByte(data + begin, data + limit_, '\n', '\0');
        const char *nul = nullptr;
        if (found && *found == '\0') {
            nul = found;
            found = findByte(found + 1, data + limit_, '\n');
        }
        size_t newline = found ? found - data : limit_;
        size_t end = newline;
        if (end > begin && text_[end - 1] == '\r')
            --end;
        line_ = {begin, end, found ? newline + 1 : limit_};
        textEnd_ = nul ? std::min(end, static_cast<size_t>(nul - data)) : end;
        ++index_;
        return true;
    }

    // Goes on at the line that starts at `begin`; numbers no longer count lines after a jump.
    void jumpTo(size_t begin) { line_.next = begin; }

    bool atLast() const { return line_.next >= limit_; }
    const Line &line() const { return line_; }
    // The line's number from 1, counting from `begin`.
    size_t number() const { return index_; }

    std::string_view text() const { return std::string_view(text_.data() + line_.begin, textEnd_ - line_.begin); }

private:
    std::string_view text_;
    size_t limit_;
    Line line_;
    size_t index_ = 0;
    size_t textEnd_ = 0; // the line's end, or its first NUL byte
};

inline size_t skipSpaces(std::string_view s, size_t p)
{
    while (p < s.size() && isSpace(s[p]))
        ++p;
    return p;
}

std::vector<BYTE> stringData(const std::u16string &text);

// Reads the hex bytes of a hex: value, over continuation lines ending in '\'. Returns false for a
// malformed list or one that continues past the last line; `lines` is left at the last line read.
bool parseHexData(LineCursor &lines, std::string_view s, std::vector<BYTE> *data, bool &truncated);

// The type tag of a hex value ("hex:" or "hex(TYPE):", `rest` starting with "hex"); `q` is left after it.
bool parseHexTag(std::string_view rest, size_t &q, DWORD &type);

// Moves `lines` to the last line of the value that starts on its line at `start`, as parseValue
// reads it, without decoding it: only hex data goes on over lines, each ending in a backslash.
void skipValue(LineCursor &lines, size_t start);

// Reads one value line (and its continuation lines) into `block`, as Wine's load_value does: a
// malformed name skips the line; malformed data leaves the value empty, of type REG_NONE. What Wine
// skips goes to `report`'s warnings, when there is one.
void parseValue(LineCursor &lines, size_t start, RegKeyBlock &block, RegFile *report);

// The next element of a key name as the file writes it, from `p` on: separators (a backslash once
// decoded) are skipped and the element is decoded into `out`. Returns where it ends, or npos when
// no element is left.
size_t readKeyElement(std::string_view name, size_t p, std::u16string &out);

// Skips the separators written as a doubled backslash at `p`, as readKeyElement skips them.
size_t skipSeparators(std::string_view name, size_t p);

} // namespace layer

#endif
