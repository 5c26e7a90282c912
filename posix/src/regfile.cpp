// Wine's text registry files: the reader follows the Wine 8 server's loader line for line, the writer
// formats values as the server saves them, so that Wine reads our edits and would write them the same way.
#include "regfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <locale.h>
#include <string_view>
#include <wctype.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace layer {
namespace {

const std::u16string wow6432Node = u"wow6432node"; // folded

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char16_t foldChar(char16_t c)
{
    // The C.UTF-8 locale knows the case of every character; without it ASCII and Latin-1 still fold.
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xD800 && c < 0xE000)
        return c;
    if (utf8)
        return static_cast<char16_t>(towlower_l(c, utf8));
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    return c;
}

// The escape syntax of the registry files. Reads up to `endChar` (which is consumed; '\0' reads to the
// end); returns false when the text ends first. Bytes from 0x80 on are UTF-8; invalid sequences are
// dropped, as Wine does.
bool parseEscaped(std::string_view src, char endChar, std::u16string &out, size_t *consumed)
{
    out.clear();
    size_t p = 0;
    auto at = [&](size_t i) { return i < src.size() ? src[i] : '\0'; };
    while (at(p) && at(p) != endChar) {
        if (at(p) == '\\') {
            ++p;
            if (!at(p))
                break;
            char c = at(p);
            const char *simple = strchr("abefnrtv", c);
            if (simple) {
                static const char16_t codes[] = {7, 8, 27, 12, 10, 13, 9, 11};
                out.push_back(codes[simple - "abefnrtv"]);
                ++p;
                continue;
            }
            if (c == 'x') {
                ++p;
                if (!isHexDigit(at(p))) {
                    out.push_back(u'x');
                    continue;
                }
                unsigned value = 0;
                for (int digits = 0; digits < 4 && isHexDigit(at(p)); ++digits)
                    value = value * 16 + hexValue(at(p++));
                out.push_back(static_cast<char16_t>(value));
                continue;
            }
            if (c >= '0' && c <= '7') {
                unsigned value = 0;
                for (int digits = 0; digits < 3 && at(p) >= '0' && at(p) <= '7'; ++digits)
                    value = value * 8 + (at(p++) - '0');
                out.push_back(static_cast<char16_t>(value));
                continue;
            }
            // Any other escaped character stands for itself.
        }
        unsigned value;
        if (decodeUtf8(src, p, value))
            appendUtf16(out, value);
    }
    if (endChar && at(p) != endChar)
        return false;
    if (consumed)
        *consumed = endChar ? p + 1 : p;
    return true;
}

// Appends text in the escape syntax, as the Wine server writes it: characters from 0x80 on as \x
// (four digits when a hex digit follows), controls as C escapes or octal, and a backslash before
// '\' and before the two characters in `escape`. Returns the number of characters appended.
size_t appendEscaped(std::string &out, const char16_t *text, size_t length, const char *escape)
{
    static const char controls[33] = ".......abtnvfr.............e....";
    size_t start = out.size();
    char buffer[16];
    for (size_t i = 0; i < length; ++i) {
        char16_t c = text[i];
        bool hasNext = i + 1 < length;
        char16_t next = hasNext ? text[i + 1] : 0;
        if (c > 127) {
            bool hexFollows = hasNext && next < 128 && isHexDigit(static_cast<char>(next));
            snprintf(buffer, sizeof buffer, hexFollows ? "\\x%04x" : "\\x%x", static_cast<unsigned>(c));
            out += buffer;
        } else if (c < 32) {
            if (controls[c] != '.')
                snprintf(buffer, sizeof buffer, "\\%c", controls[c]);
            else
                snprintf(buffer, sizeof buffer, hasNext && next >= '0' && next <= '7' ? "\\%03o" : "\\%o",
                         static_cast<unsigned>(c));
            out += buffer;
        } else {
            if (c == '\\' || c == escape[0] || c == escape[1])
                out += '\\';
            out += static_cast<char>(c);
        }
    }
    return out.size() - start;
}

int compareNames(const std::u16string &a, const std::u16string &b)
{
    std::u16string fa = foldName(a), fb = foldName(b);
    return fa < fb ? -1 : fa == fb ? 0 : 1;
}

// The order in which the Wine server saves keys: depth first, subkeys sorted by name.
int comparePaths(const std::vector<std::u16string> &a, const std::vector<std::u16string> &b)
{
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        int c = compareNames(a[i], b[i]);
        if (c)
            return c;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string describePath(const std::vector<std::u16string> &path)
{
    std::string out;
    for (const std::u16string &element : path)
        out += (out.empty() ? "" : "\\") + utf16ToUtf8(element);
    return out;
}

struct Line {
    size_t begin; // first character
    size_t end;   // before the line break ("\n" or "\r\n")
    size_t next;  // start of the next line
};

std::vector<Line> splitLines(const std::string &text)
{
    std::vector<Line> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t newline = text.find('\n', begin);
        size_t next = newline == std::string::npos ? text.size() : newline + 1;
        size_t end = newline == std::string::npos ? text.size() : newline;
        if (end > begin && text[end - 1] == '\r')
            --end;
        lines.push_back({begin, end, next});
        begin = next;
    }
    return lines;
}

// A line as the Wine loader sees it: C string functions stop at a NUL byte.
std::string_view lineText(const std::string &text, const Line &line)
{
    std::string_view view(text.data() + line.begin, line.end - line.begin);
    size_t nul = view.find('\0');
    return nul == std::string_view::npos ? view : view.substr(0, nul);
}

size_t skipSpaces(std::string_view s, size_t p)
{
    while (p < s.size() && isSpace(s[p]))
        ++p;
    return p;
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
// malformed list or one that continues past the last line; `index` is left at the last line read.
bool parseHexData(const RegFile &file, const std::vector<Line> &lines, size_t &index, std::string_view s,
                  std::vector<BYTE> &data, bool &truncated)
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
        if (index + 1 >= lines.size()) {
            truncated = true;
            return false;
        }
        s = lineText(file.text, lines[++index]);
        p = skipSpaces(s, 0);
    }
}

// Reads one value line (and its continuation lines) into the current block, as Wine's load_value does:
// a malformed name skips the line; malformed data leaves the value empty, of type REG_NONE.
void parseValue(RegFile &file, const std::vector<Line> &lines, size_t &index, size_t start, RegKeyBlock &block)
{
    std::string_view s = lineText(file.text, lines[index]).substr(start);
    size_t lineNumber = index + 1;
    RegValue value;
    value.begin = lines[index].begin;
    size_t p = 1;
    if (s[0] == '"') {
        size_t consumed = 0;
        if (!parseEscaped(s.substr(1), '"', value.name, &consumed)) {
            file.warnings.push_back("line " + std::to_string(lineNumber) + ": malformed value name");
            return;
        }
        p = 1 + consumed;
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
        std::u16string text;
        ok = parseEscaped(rest.substr(length), '"', text, nullptr);
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
    if (!known && rest.compare(0, 3, "hex") == 0) {
        size_t q = 3;
        DWORD type = REG_BINARY;
        bool tagOk = true;
        if (q < rest.size() && rest[q] == '(') {
            unsigned long long number = 0;
            size_t digits = 0;
            for (++q; q < rest.size() && isHexDigit(rest[q]); ++q, ++digits)
                number = number * 16 + hexValue(rest[q]);
            type = static_cast<DWORD>(number);
            tagOk = digits <= 8 && rest.compare(q, 2, "):") == 0;
            q += 2;
        } else {
            tagOk = q < rest.size() && rest[q] == ':';
            ++q;
        }
        if (tagOk) {
            known = true;
            value.type = type;
            ok = parseHexData(file, lines, index, rest.substr(q), value.data, truncated);
        }
    }
    if (truncated)
        file.endsInsideValue = true;
    if (!ok) {
        file.warnings.push_back("line " + std::to_string(lineNumber) +
                                (truncated ? ": value continues past the end of the file" : ": malformed value"));
        value.type = REG_NONE;
        value.data.clear();
    }
    value.end = lines[index].next;
    block.values.push_back(std::move(value));
}

int childOf(const RegFile &file, int node, const std::u16string &name)
{
    const std::map<std::u16string, int> &children = file.nodes[node].children;
    auto it = children.find(foldName(name));
    return it == children.end() ? -1 : it->second;
}

int addNode(RegFile &file, const std::vector<std::u16string> &path)
{
    int node = 0;
    for (const std::u16string &name : path) {
        std::u16string folded = foldName(name);
        auto it = file.nodes[node].children.find(folded);
        if (it != file.nodes[node].children.end()) {
            node = it->second;
            continue;
        }
        RegNode child;
        child.name = name;
        child.parent = node;
        file.nodes.push_back(child);
        int added = static_cast<int>(file.nodes.size()) - 1;
        file.nodes[node].children[folded] = added;
        node = added;
    }
    return node;
}

bool isLinkNode(const RegFile &file, int node)
{
    for (int block : file.nodes[node].blocks)
        if (file.blocks[block].isLink)
            return true;
    return false;
}

bool insideWow6432Node(const RegFile &file, int node)
{
    for (; node > 0; node = file.nodes[node].parent)
        if (foldName(file.nodes[node].name) == wow6432Node)
            return true;
    return false;
}

bool isMachineFile(const RegFile &file)
{
    return !file.root.empty() && foldName(file.root.back()) == u"machine";
}

// Resolves a symbolic link key to its target in the same file; -1 when it leads nowhere in it.
int followLinks(const RegFile &file, int node, int depth = 0)
{
    if (node < 0 || !isLinkNode(file, node))
        return node;
    if (depth > 16)
        return -1;
    const RegValue *link = nullptr;
    std::vector<RegValue> values = regKeyValues(file, node);
    for (const RegValue &value : values)
        if (foldName(value.name) == u"symboliclinkvalue")
            link = &value;
    if (!link || link->data.size() < 2 || link->data[0] != '\\' || link->data[1] != 0)
        return -1;
    std::u16string target;
    for (size_t i = 0; i + 1 < link->data.size(); i += 2)
        target.push_back(static_cast<char16_t>(link->data[i] | (link->data[i + 1] << 8)));
    std::vector<std::u16string> elements = splitKeyPath(target);
    std::vector<std::u16string> root = file.root;
    if (!elements.empty() && foldName(elements[0]) == u"registry")
        elements.erase(elements.begin());
    if (!root.empty() && foldName(root[0]) == u"registry")
        root.erase(root.begin());
    if (root.empty() || elements.size() < root.size())
        return -1;
    for (size_t i = 0; i < root.size(); ++i)
        if (compareNames(root[i], elements[i]) != 0)
            return -1;
    int found = 0;
    for (size_t i = root.size(); i < elements.size() && found >= 0; ++i)
        found = followLinks(file, childOf(file, found, elements[i]), depth + 1);
    return found;
}

// The key a 32-bit view sees for `node`: its Wow6432Node subkey if it has one and is not already
// inside a Wow6432Node tree; -1 when that subkey is a link leading nowhere, which, as in Wine, hides
// the key from the 32-bit view rather than showing the 64-bit one.
int enterWow6432Node(const RegFile &file, int node)
{
    if (insideWow6432Node(file, node))
        return node;
    int wow = childOf(file, node, u"Wow6432Node");
    return wow < 0 ? node : followLinks(file, wow);
}

bool redirects(const RegFile &file, RegView view)
{
    return view == RegView::Wow32 && file.arch == RegArch::Win64;
}

// Walks a path as findRegKey does, as far as the keys exist. Returns the last key reached and the
// elements below it that do not exist yet; -1 when a link on the way leads nowhere.
int walkPath(const RegFile &file, const std::vector<std::u16string> &path, RegView view,
             std::vector<std::u16string> &missing)
{
    bool wow = redirects(file, view);
    int node = 0;
    missing.clear();
    for (size_t i = 0; i < path.size(); ++i) {
        int child = childOf(file, node, path[i]);
        if (child < 0) {
            missing.assign(path.begin() + i, path.end());
            break;
        }
        node = followLinks(file, child);
        if (node < 0)
            return -1;
        bool nextIsWow = i + 1 < path.size() && foldName(path[i + 1]) == wow6432Node;
        if (wow && !nextIsWow && (node = enterWow6432Node(file, node)) < 0)
            return -1;
    }
    // A 64-bit prefix always has a 32-bit Software tree; a new key of that view belongs in it even
    // when the file does not hold it yet.
    if (wow && !missing.empty() && isMachineFile(file)) {
        size_t at = std::string::npos; // where Wow6432Node goes into the missing elements
        if (file.nodes[node].parent == 0 && foldName(file.nodes[node].name) == u"software" &&
            !insideWow6432Node(file, node))
            at = 0;
        else if (node == 0 && foldName(missing[0]) == u"software")
            at = 1;
        if (at != std::string::npos && (at == missing.size() || foldName(missing[at]) != wow6432Node))
            missing.insert(missing.begin() + at, u"Wow6432Node");
    }
    return node;
}

std::string timeLines()
{
    // The key line holds seconds since 1970, "#time=" the same moment in 100 ns units since 1601.
    unsigned long long seconds = static_cast<unsigned long long>(time(nullptr));
    unsigned long long ticks = seconds * 10000000ULL + 116444736000000000ULL;
    char buffer[64];
    snprintf(buffer, sizeof buffer, "] %llu\n#time=%x%08x\n", seconds, static_cast<unsigned>(ticks >> 32),
             static_cast<unsigned>(ticks & 0xFFFFFFFF));
    return buffer;
}

std::string keyLine(const std::vector<std::u16string> &path)
{
    std::string out = "[";
    for (size_t i = 0; i < path.size(); ++i) {
        if (i)
            out += "\\\\";
        appendEscaped(out, path[i].data(), path[i].size(), "[]");
    }
    return out + timeLines();
}

// A value as the Wine server saves it: terminated strings in quotes, 4-byte dwords as such, the
// rest as hex bytes, wrapped after column 76 with a '\' and two blanks.
std::string valueLines(const std::u16string &name, DWORD type, const std::vector<BYTE> &data)
{
    std::string out;
    size_t count;
    if (name.empty()) {
        out = "@=";
        count = 2;
    } else {
        out = "\"";
        count = 1 + appendEscaped(out, name.data(), name.size(), "\"\"");
        out += "\"=";
        count += 2;
    }
    char buffer[32];
    bool isString = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (isString && data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 &&
        data[data.size() - 2] == 0) {
        std::u16string text;
        for (size_t i = 0; i + 2 < data.size(); i += 2)
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        if (type != REG_SZ) {
            snprintf(buffer, sizeof buffer, "str(%x):", static_cast<unsigned>(type));
            out += buffer;
        }
        out += '"';
        appendEscaped(out, text.data(), text.size(), "\"\"");
        return out + "\"\n";
    }
    if (type == REG_DWORD && data.size() == 4) {
        DWORD dword;
        memcpy(&dword, data.data(), 4);
        snprintf(buffer, sizeof buffer, "dword:%08x\n", static_cast<unsigned>(dword));
        return out + buffer;
    }
    if (type == REG_BINARY)
        snprintf(buffer, sizeof buffer, "hex:");
    else
        snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(type));
    out += buffer;
    count += strlen(buffer);
    for (size_t i = 0; i < data.size(); ++i) {
        snprintf(buffer, sizeof buffer, "%02x", data[i]);
        out += buffer;
        count += 2;
        if (i + 1 < data.size()) {
            out += ',';
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    return out + "\n";
}

// Inserts text at `offset`, giving an unterminated last line its line break first.
void insertText(std::string &text, size_t offset, const std::string &insert)
{
    if (offset == text.size() && !text.empty() && text.back() != '\n') {
        text += '\n';
        offset = text.size();
    }
    text.insert(offset, insert);
}

// Inserts a new block for `path` where the Wine server would save it.
void insertBlock(RegFile &file, const std::vector<std::u16string> &path, const std::string &values)
{
    std::string block = keyLine(path) + values;
    for (const RegKeyBlock &existing : file.blocks) {
        if (comparePaths(existing.path, path) > 0) {
            file.text.insert(existing.begin, block + "\n");
            return;
        }
    }
    insertText(file.text, file.text.size(), "\n" + block);
}

// Removes a block and the blank line that separates it from the next one.
void removeBlock(std::string &text, const RegKeyBlock &block)
{
    size_t begin = block.begin;
    size_t end = block.end;
    if (end < text.size() && text[end] == '\n')
        ++end;
    else if (end == text.size() && begin >= 2 && text[begin - 1] == '\n' && text[begin - 2] == '\n')
        --begin;
    text.erase(begin, end - begin);
}

bool reparse(RegFile &file, std::string &error)
{
    RegFile updated;
    if (!parseRegFile(file.text, updated, error))
        return false;
    file = std::move(updated);
    return true;
}

int existingKey(const RegFile &file, const std::vector<std::u16string> &path, RegView view, std::string &error)
{
    int node = findRegKey(file, 0, path, view);
    if (node < 0)
        error = "no key " + describePath(path);
    return node;
}

} // namespace

std::u16string foldName(const std::u16string &name)
{
    std::u16string folded = name;
    for (char16_t &c : folded)
        c = foldChar(c);
    return folded;
}

bool parseRegFile(const std::string &text, RegFile &file, std::string &error)
{
    RegFile parsed;
    parsed.text = text;
    parsed.nodes.emplace_back();
    std::vector<Line> lines = splitLines(parsed.text);
    if (lines.empty() || lineText(parsed.text, lines[0]) != "WINE REGISTRY Version 2") {
        error = "not a Wine registry file (its first line is not \"WINE REGISTRY Version 2\")";
        return false;
    }
    int current = -1; // the block that option and value lines belong to
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string_view s = lineText(parsed.text, lines[i]);
        size_t p = skipSpaces(s, 0);
        std::string where = "line " + std::to_string(i + 1) + ": ";
        char first = p < s.size() ? s[p] : '\0';
        switch (first) {
        case '[': {
            std::u16string name;
            size_t consumed = 0;
            if (!parseEscaped(s.substr(p + 1), ']', name, &consumed)) {
                parsed.warnings.push_back(where + "malformed key");
                current = -1;
                break;
            }
            RegKeyBlock block;
            block.path = splitKeyPath(name);
            block.begin = lines[i].begin;
            block.end = lines[i].next;
            parsed.blocks.push_back(block);
            current = static_cast<int>(parsed.blocks.size()) - 1;
            parsed.nodes[addNode(parsed, block.path)].blocks.push_back(current);
            break;
        }
        case '@':
        case '"':
            if (current < 0) {
                parsed.warnings.push_back(where + "value without key");
                break;
            }
            parseValue(parsed, lines, i, p, parsed.blocks[current]);
            parsed.blocks[current].end = lines[i].next;
            break;
        case '#':
            if (current >= 0) {
                if (s.compare(p, 5, "#link") == 0)
                    parsed.blocks[current].isLink = true;
                parsed.blocks[current].end = lines[i].next;
            } else if (s.compare(p, 6, "#arch=") == 0) {
                std::string_view arch = s.substr(p + 6);
                if (arch == "win32") {
                    parsed.arch = RegArch::Win32;
                } else if (arch == "win64") {
                    parsed.arch = RegArch::Win64;
                } else {
                    error = where + "unknown architecture \"" + std::string(arch) + "\"";
                    return false;
                }
            }
            break;
        case ';': {
            static const std::string_view rootLine = ";; All keys relative to ";
            if (parsed.blocks.empty() && s.compare(p, rootLine.size(), rootLine) == 0) {
                std::u16string root;
                parseEscaped(s.substr(p + rootLine.size()), '\0', root, nullptr);
                parsed.root = splitKeyPath(root);
            }
            break;
        }
        case '\0':
            break;
        default:
            parsed.warnings.push_back(where + "unrecognized input");
            break;
        }
    }
    file = std::move(parsed);
    return true;
}

RegLoad loadRegFile(const std::string &path, RegFile &file, std::string &error)
{
    FILE *in = fopen(path.c_str(), "rb");
    if (!in) {
        error = path + ": " + strerror(errno);
        return errno == ENOENT || errno == ENOTDIR ? RegLoad::Missing : RegLoad::Unreadable;
    }
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, in)) > 0)
        text.append(buffer, got);
    bool failed = ferror(in);
    fclose(in);
    if (failed) {
        error = path + ": read error";
        return RegLoad::Unreadable;
    }
    if (!parseRegFile(text, file, error)) {
        error = path + ": " + error;
        return RegLoad::Invalid;
    }
    return RegLoad::Ok;
}

std::vector<std::u16string> splitKeyPath(const std::u16string &path)
{
    std::vector<std::u16string> elements;
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find(u'\\', begin);
        if (end == std::u16string::npos)
            end = path.size();
        if (end > begin)
            elements.push_back(path.substr(begin, end - begin));
        begin = end + 1;
    }
    return elements;
}

int findRegKey(const RegFile &file, int start, const std::vector<std::u16string> &path, RegView view)
{
    if (start < 0 || start >= static_cast<int>(file.nodes.size()))
        return -1;
    bool wow = redirects(file, view);
    int node = start;
    for (size_t i = 0; i < path.size(); ++i) {
        node = followLinks(file, childOf(file, node, path[i]));
        if (node < 0)
            return -1;
        bool nextIsWow = i + 1 < path.size() && foldName(path[i + 1]) == wow6432Node;
        if (wow && !nextIsWow && (node = enterWow6432Node(file, node)) < 0)
            return -1;
    }
    return node;
}

std::vector<std::u16string> regKeyPath(const RegFile &file, int node)
{
    std::vector<std::u16string> path;
    for (; node > 0; node = file.nodes[node].parent)
        path.push_back(file.nodes[node].name);
    std::reverse(path.begin(), path.end());
    return path;
}

int findRegNode(const RegFile &file, const std::vector<std::u16string> &path)
{
    int node = 0;
    for (size_t i = 0; i < path.size() && node >= 0; ++i)
        node = childOf(file, node, path[i]);
    return node;
}

std::vector<RegValue> regKeyValues(const RegFile &file, int node)
{
    std::vector<RegValue> values;
    if (node < 0 || node >= static_cast<int>(file.nodes.size()))
        return values;
    std::map<std::u16string, size_t> index;
    for (int block : file.nodes[node].blocks) {
        for (const RegValue &value : file.blocks[block].values) {
            auto inserted = index.emplace(foldName(value.name), values.size());
            if (inserted.second)
                values.push_back(value);
            else
                values[inserted.first->second] = value;
        }
    }
    return values;
}

bool setRegValue(RegFile &file, const std::vector<std::u16string> &path, RegView view, const std::u16string &name,
                 DWORD type, const std::vector<BYTE> &data, std::string &error)
{
    if (file.endsInsideValue) {
        error = "the file ends inside a value, which anything written after it would continue";
        return false;
    }
    std::vector<std::u16string> missing;
    int node = walkPath(file, path, view, missing);
    if (node < 0) {
        error = "the key " + describePath(path) + " passes through a symbolic link that leads nowhere";
        return false;
    }
    std::vector<std::u16string> target = regKeyPath(file, node);
    target.insert(target.end(), missing.begin(), missing.end());
    if (!missing.empty() || file.nodes[node].blocks.empty()) {
        insertBlock(file, target, valueLines(name, type, data));
        return reparse(file, error);
    }
    // Replace the line that counts (the last of its name), keeping the name as the key spells it,
    // else add one in the order Wine keeps.
    std::u16string folded = foldName(name);
    const RegValue *current = nullptr;
    for (int block : file.nodes[node].blocks)
        for (const RegValue &value : file.blocks[block].values)
            if (foldName(value.name) == folded)
                current = &value;
    if (current) {
        file.text.replace(current->begin, current->end - current->begin, valueLines(current->name, type, data));
        return reparse(file, error);
    }
    std::string line = valueLines(name, type, data);
    const RegKeyBlock &block = file.blocks[file.nodes[node].blocks.back()];
    size_t offset = block.end;
    for (const RegValue &value : block.values) {
        if (foldName(value.name) > folded) {
            offset = value.begin;
            break;
        }
    }
    insertText(file.text, offset, line);
    return reparse(file, error);
}

bool deleteRegValue(RegFile &file, const std::vector<std::u16string> &path, RegView view,
                    const std::u16string &name, std::string &error)
{
    int node = existingKey(file, path, view, error);
    if (node < 0)
        return false;
    // Every line of that name goes, so that no earlier one takes its place.
    std::vector<std::pair<size_t, size_t>> ranges;
    std::u16string folded = foldName(name);
    for (int block : file.nodes[node].blocks)
        for (const RegValue &value : file.blocks[block].values)
            if (foldName(value.name) == folded)
                ranges.emplace_back(value.begin, value.end);
    if (ranges.empty()) {
        error = "no value \"" + utf16ToUtf8(name) + "\" in " + describePath(path);
        return false;
    }
    std::sort(ranges.rbegin(), ranges.rend());
    for (const auto &range : ranges)
        file.text.erase(range.first, range.second - range.first);
    return reparse(file, error);
}

bool deleteRegKey(RegFile &file, const std::vector<std::u16string> &path, RegView view, std::string &error)
{
    int node = existingKey(file, path, view, error);
    if (node < 0)
        return false;
    if (node == 0) {
        error = "the root key cannot be deleted";
        return false;
    }
    std::vector<std::u16string> parentPath = regKeyPath(file, file.nodes[node].parent);
    std::vector<int> doomed;
    std::vector<int> pending = {node};
    while (!pending.empty()) {
        int current = pending.back();
        pending.pop_back();
        doomed.insert(doomed.end(), file.nodes[current].blocks.begin(), file.nodes[current].blocks.end());
        for (const auto &child : file.nodes[current].children)
            pending.push_back(child.second);
    }
    std::sort(doomed.begin(), doomed.end(),
              [&](int a, int b) { return file.blocks[a].begin > file.blocks[b].begin; });
    for (int block : doomed)
        removeBlock(file.text, file.blocks[block]);
    if (!reparse(file, error))
        return false;
    // The parent stays even when nothing else kept it in the file.
    if (!parentPath.empty() && findRegNode(file, parentPath) < 0 && !file.endsInsideValue) {
        insertBlock(file, parentPath, "");
        return reparse(file, error);
    }
    return true;
}

std::string newRegFileText(RegArch arch, const std::u16string &root)
{
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to ";
    std::vector<std::u16string> elements = splitKeyPath(root);
    for (size_t i = 0; i < elements.size(); ++i) {
        if (i)
            text += "\\\\";
        appendEscaped(text, elements[i].data(), elements[i].size(), "[]");
    }
    text += "\n";
    if (arch == RegArch::Win32)
        text += "\n#arch=win32\n";
    else if (arch == RegArch::Win64)
        text += "\n#arch=win64\n";
    return text;
}

bool saveRegFile(const std::string &path, const std::string &text, std::string &error)
{
    std::string target = path;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char *real = realpath(path.c_str(), nullptr);
        if (real) {
            target = real;
            free(real);
        }
    }
    bool exists = stat(target.c_str(), &st) == 0;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        // A new file gets 0666 less the umask, as Wine creates it; an old one keeps its mode below.
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        error = "cannot create a temporary file beside " + target + ": " + strerror(errno);
        return false;
    }
    const char *data = text.data();
    size_t left = text.size();
    bool ok = true;
    while (left > 0 && ok) {
        ssize_t written = write(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        ok = written > 0;
        if (ok) {
            data += written;
            left -= static_cast<size_t>(written);
        }
    }
    int savedErrno = errno;
    if (ok && exists) {
        // Only root may give the file back to its owner; for others the owner is already right.
        if (st.st_uid != geteuid() || st.st_gid != getegid())
            (void)!fchown(fd, st.st_uid, st.st_gid);
        ok = fchmod(fd, st.st_mode & 07777) == 0;
        savedErrno = errno;
    }
    if (ok) {
        ok = fsync(fd) == 0;
        savedErrno = errno;
    }
    if (close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        error = "cannot write " + target + ": " + strerror(savedErrno);
    }
    return ok;
}

} // namespace layer
