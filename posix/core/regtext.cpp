// The text of Wine's registry files: escapes, names and values.
#include "regtext.h"

#include <locale.h>
#include <wctype.h>

#include <string>

namespace layer {

char16_t foldWideChar(char16_t c)
{
    // The C.UTF-8 locale knows the case of every character; without it Latin-1 still folds.
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (c >= 0xD800 && c < 0xE000)
        return c;
    if (utf8)
        return static_cast<char16_t>(towlower_l(c, utf8));
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    return c;
}

namespace {

// Reads the character at `p` (not the end, not NUL) in the escape syntax and moves past it. False
// for an invalid UTF-8 sequence, which is dropped, and for a backslash that ends the text (then `p`
// is at the end).
bool readEscapedChar(std::string_view src, size_t &p, unsigned &value)
{
    auto at = [&](size_t i) { return i < src.size() ? src[i] : '\0'; };
    if (at(p) == '\\') {
        ++p;
        char c = at(p);
        if (!c)
            return false;
        const char *simple = strchr("abefnrtv", c);
        if (simple) {
            static const char16_t codes[] = {7, 8, 27, 12, 10, 13, 9, 11};
            value = codes[simple - "abefnrtv"];
            ++p;
            return true;
        }
        if (c == 'x') {
            ++p;
            value = 'x';
            if (isHexDigit(at(p)))
                value = 0;
            for (int digits = 0; digits < 4 && isHexDigit(at(p)); ++digits)
                value = value * 16 + hexValue(at(p++));
            return true;
        }
        if (c >= '0' && c <= '7') {
            value = 0;
            for (int digits = 0; digits < 3 && at(p) >= '0' && at(p) <= '7'; ++digits)
                value = value * 8 + (at(p++) - '0');
            return true;
        }
        // Any other escaped character stands for itself.
    }
    return decodeUtf8(src, p, value);
}

std::vector<BYTE> stringData(const std::u16string &text)
{
    std::vector<BYTE> data;
    data.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        data.push_back(static_cast<BYTE>(c & 0xFF));
        data.push_back(static_cast<BYTE>(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

// Reads the hex bytes of a hex: value, over continuation lines ending in '\'. Returns false for a
// malformed list or one that continues past the last line; `lines` is left at the last line read.
bool parseHexData(LineCursor &lines, std::string_view s, std::vector<BYTE> &data, bool &truncated)
{
    size_t p = 0;
    for (;;) {
        while (p < s.size() && isHexDigit(s[p])) {
            unsigned value = 0;
            while (p < s.size() && isHexDigit(s[p])) {
                value = value * 16 + hexValue(s[p++]);
                if (value > 0xFF)
                    return false;
            }
            data.push_back(static_cast<BYTE>(value));
            p = skipSpaces(s, p);
            if (p < s.size() && s[p] == ',')
                ++p;
            p = skipSpaces(s, p);
        }
        p = skipSpaces(s, p);
        if (p == s.size())
            return true;
        if (s[p] != '\\')
            return false;
        if (lines.atLast()) {
            truncated = true;
            return false;
        }
        lines.next();
        s = lines.text();
        p = skipSpaces(s, 0);
    }
}

// The type tag of a hex value ("hex:" or "hex(TYPE):", `rest` starting with "hex"); `q` is left after it.
bool parseHexTag(std::string_view rest, size_t &q, DWORD &type)
{
    q = 3;
    type = REG_BINARY;
    if (q < rest.size() && rest[q] == '(') {
        unsigned long long number = 0;
        size_t digits = 0;
        for (++q; q < rest.size() && isHexDigit(rest[q]); ++q, ++digits)
            number = number * 16 + hexValue(rest[q]);
        type = static_cast<DWORD>(number);
        bool tagOk = digits <= 8 && rest.compare(q, 2, "):") == 0;
        q += 2;
        return tagOk;
    }
    ++q;
    return q - 1 < rest.size() && rest[q - 1] == ':';
}

} // namespace

size_t escapedEnd(std::string_view src, size_t p, char endChar)
{
    // An escape takes the one character after its backslash.
    for (; p < src.size(); ++p) {
        if (src[p] == '\\')
            ++p;
        else if (src[p] == endChar)
            return p;
    }
    return std::string_view::npos;
}

void parseEscaped(std::string_view src, std::u16string &out)
{
    out.clear();
    out.reserve(src.size()); // no character takes fewer bytes than UTF-16 units
    size_t p = 0;
    while (p < src.size() && src[p]) {
        unsigned char c = static_cast<unsigned char>(src[p]);
        if (c != '\\' && c < 0x80) { // most of a file: plain ASCII, which stands for itself
            out.push_back(c);
            ++p;
            continue;
        }
        unsigned value;
        if (readEscapedChar(src, p, value))
            appendUtf16(out, value);
    }
}

int compareNames(const std::u16string &a, const std::u16string &b)
{
    std::u16string fa = foldName(a), fb = foldName(b);
    return fa < fb ? -1 : fa == fb ? 0 : 1;
}

void parseValue(LineCursor &lines, size_t start, RegKeyBlock &block, RegFile &file)
{
    std::string_view s = lines.text().substr(start);
    size_t lineNumber = lines.number();
    RegValue value;
    value.begin = lines.line().begin;
    size_t p = 1;
    if (s[0] == '"') {
        size_t close = escapedEnd(s, 1, '"');
        if (close == std::string_view::npos) {
            file.warnings.push_back("line " + std::to_string(lineNumber) + ": malformed value name");
            return;
        }
        parseEscaped(s.substr(1, close - 1), value.name);
        p = close + 1;
    }
    p = skipSpaces(s, p);
    if (p >= s.size() || s[p] != '=') {
        file.warnings.push_back("line " + std::to_string(lineNumber) + ": malformed value name");
        return;
    }
    p = skipSpaces(s, p + 1);
    std::string_view rest = s.substr(p);

    struct Tag {
        const char *text;
        DWORD type;
    };
    static const Tag stringTags[] = {
        {"\"", REG_SZ}, {"str:\"", REG_SZ}, {"str(2):\"", REG_EXPAND_SZ}, {"str(7):\"", REG_MULTI_SZ}};
    bool ok = false;
    bool known = false;
    bool truncated = false;
    for (const Tag &tag : stringTags) {
        size_t length = strlen(tag.text);
        if (rest.compare(0, length, tag.text) != 0)
            continue;
        known = true;
        size_t close = escapedEnd(rest, length, '"');
        ok = close != std::string_view::npos;
        std::u16string text;
        if (ok)
            parseEscaped(rest.substr(length, close - length), text);
        value.type = tag.type;
        value.data = stringData(text);
        break;
    }
    if (!known && rest.compare(0, 6, "dword:") == 0) {
        known = true;
        // Wine reads the number with strtoul: blanks and a "0x" may come first.
        size_t q = skipSpaces(rest, 6);
        if (rest.compare(q, 2, "0x") == 0 || rest.compare(q, 2, "0X") == 0)
            q += 2;
        unsigned long long number = 0;
        bool digits = false;
        while (q < rest.size() && isHexDigit(rest[q])) {
            number = number * 16 + hexValue(rest[q++]);
            digits = true;
        }
        DWORD dword = static_cast<DWORD>(number);
        value.type = REG_DWORD;
        value.data.assign(reinterpret_cast<BYTE *>(&dword), reinterpret_cast<BYTE *>(&dword) + 4);
        ok = true;
        if (!digits) // Wine reads this as 0; say so, since it is rarely meant
            file.warnings.push_back("line " + std::to_string(lineNumber) + ": dword value without digits, read as 0");
    }
    size_t q;
    DWORD type;
    if (!known && rest.compare(0, 3, "hex") == 0 && parseHexTag(rest, q, type)) {
        known = true;
        value.type = type;
        ok = parseHexData(lines, rest.substr(q), value.data, truncated);
    }
    if (truncated)
        file.endsInsideValue = true;
    if (!ok) {
        file.warnings.push_back("line " + std::to_string(lineNumber) +
                                (truncated ? ": value continues past the end of the file" : ": malformed value"));
        value.type = REG_NONE;
        value.data.clear();
    }
    value.end = lines.line().next;
    block.values.push_back(std::move(value));
}

} // namespace layer
