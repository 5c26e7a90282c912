// Text between the code pages the layer meets: the ANSI code page that the A functions speak
// (Windows-1252, as in an English prefix), the UTF-16 of the registry, and the UTF-8 of the system's
// file names, command lines and terminal.
#ifndef POSIX_CODEPAGE_H
#define POSIX_CODEPAGE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace layer {

// Characters outside the ANSI code page become '?'.
std::u16string ansiToUtf16(const char *text, size_t length);
std::string utf16ToAnsi(const char16_t *text, size_t length);
// UTF-8 to UTF-16; invalid sequences and encoded surrogates make *valid false and are dropped.
std::u16string utf8ToUtf16(const std::string &text, bool *valid = nullptr);
// A lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(const std::u16string &text);

// Decodes the UTF-8 character at `p` and moves past it (past the bytes that belong to it, when it is
// broken). False for a broken or overlong sequence.
bool decodeUtf8(std::string_view text, size_t &p, unsigned &value);
// One code point (at most U+10FFFF) in UTF-8, or in UTF-16 with a surrogate pair above U+FFFF.
void appendUtf8(std::string &out, char32_t c);
void appendUtf16(std::u16string &out, char32_t c);

} // namespace layer

#endif
