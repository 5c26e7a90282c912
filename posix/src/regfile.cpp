// Wine's text registry files, read as the Wine 8 server's loader reads them, line for line; the keys
// they hold, with the 32-bit view and symbolic links. The edits are in regedit.cpp.
#include "regfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string_view>
#include <wctype.h>

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

int compareNames(const std::u16string &a, const std::u16string &b)
{
    std::u16string fa = foldName(a), fb = foldName(b);
    return fa < fb ? -1 : fa == fb ? 0 : 1;
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

} // namespace

bool insideWow6432Node(const RegFile &file, int node)
{
    for (; node > 0; node = file.nodes[node].parent)
        if (foldName(file.nodes[node].name) == wow6432Node)
            return true;
    return false;
}

namespace {

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

int walkRegKey(const RegFile &file, const std::vector<std::u16string> &path, RegView view,
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

} // namespace layer
