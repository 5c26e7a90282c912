// Code page conversions: Windows-1252, UTF-16 and UTF-8.
#include "codepage.h"

#include <algorithm>

namespace layer {
namespace {

// Windows-1252 at 0x80..0x9F; the five bytes that the code page leaves undefined map to the C1
// controls of the same number, as Windows maps them.
const char16_t cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

std::u16string ansiToUtf16(const char *text, size_t length)
{
    std::u16string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        out.push_back(c >= 0x80 && c < 0xA0 ? cp1252High[c - 0x80] : c);
    }
    return out;
}

std::string utf16ToAnsi(const char16_t *text, size_t length)
{
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        char16_t c = text[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        const char16_t *found = std::find(cp1252High, cp1252High + 32, c);
        out.push_back(found != cp1252High + 32 ? static_cast<char>(0x80 + (found - cp1252High)) : '?');
    }
    return out;
}

bool decodeUtf8(std::string_view s, size_t &p, unsigned &value)
{
    unsigned char lead = static_cast<unsigned char>(s[p++]);
    if (lead < 0x80) {
        value = lead;
        return true;
    }
    int extra = lead >= 0xF5 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
    if (extra == 0)
        return false;
    static const unsigned minimum[4] = {0, 0x80, 0x800, 0x10000};
    value = lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        if (p >= s.size() || (static_cast<unsigned char>(s[p]) & 0xC0) != 0x80)
            return false;
        value = (value << 6) | (static_cast<unsigned char>(s[p++]) & 0x3F);
    }
    return value >= minimum[extra] && value <= 0x10FFFF;
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void appendUtf16(std::u16string &out, char32_t c)
{
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    }
}

std::u16string utf8ToUtf16(const std::string &text, bool *valid)
{
    std::u16string out;
    bool ok = true;
    for (size_t p = 0; p < text.size();) {
        unsigned value;
        // Encoded surrogates are not characters.
        if (decodeUtf8(text, p, value) && (value < 0xD800 || value >= 0xE000))
            appendUtf16(out, value);
        else
            ok = false;
    }
    if (valid)
        *valid = ok;
    return out;
}

std::string utf16ToUtf8(const std::u16string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD; // a lone surrogate has no UTF-8 form
        appendUtf8(out, c);
    }
    return out;
}

} // namespace layer
