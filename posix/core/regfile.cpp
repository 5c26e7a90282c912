// Wine's text registry files, read as the Wine 8 server's loader reads them, line for line; the keys
// they hold, with the 32-bit view and symbolic links. The edits are in regedit.cpp.
#include "regfile.h"
#include "regtext.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace layer {
namespace {

const std::u16string wow6432Node = u"wow6432node"; // folded

// A key's name against a folded name, as names compare: below 0, 0 or above 0.
int compareToFolded(const std::u16string &name, std::u16string_view folded)
{
    for (size_t i = 0; i < name.size() && i < folded.size(); ++i) {
        char16_t c = foldChar(name[i]);
        if (c != folded[i])
            return c < folded[i] ? -1 : 1;
    }
    return name.size() < folded.size() ? -1 : name.size() > folded.size() ? 1 : 0;
}

// Where the child named `folded` is among the children of `node`, or where it would go.
std::vector<int>::const_iterator childPlace(const RegFile &file, int node, std::u16string_view folded)
{
    const std::vector<int> &children = file.nodes[node].children;
    return std::lower_bound(children.begin(), children.end(), folded, [&file](int child, std::u16string_view name) {
        return compareToFolded(file.nodes[child].name, name) < 0;
    });
}

// Whether the child at `place` is the one named `folded`.
bool isChildAt(const RegFile &file, int node, std::vector<int>::const_iterator place, std::u16string_view folded)
{
    return place != file.nodes[node].children.end() && compareToFolded(file.nodes[*place].name, folded) == 0;
}

int childOf(const RegFile &file, int node, const std::u16string &name)
{
    std::u16string folded = foldName(name);
    auto place = childPlace(file, node, folded);
    return isChildAt(file, node, place, folded) ? *place : -1;
}

// The next element of a key path from `begin` on, as [begin, end); false when none is left.
// Doubled and trailing backslashes separate nothing more.
bool nextElement(const std::u16string &path, size_t &begin, size_t &end)
{
    while (begin < path.size() && path[begin] == u'\\')
        ++begin;
    end = std::min(path.find(u'\\', begin), path.size());
    return begin < end;
}

// The node of a key path as a key line names it, with the keys on the way that are new.
int addNode(RegFile &file, const std::u16string &path)
{
    int node = 0;
    std::u16string folded;
    for (size_t begin = 0, end; nextElement(path, begin, end); begin = end) {
        folded.assign(path, begin, end - begin);
        for (char16_t &c : folded)
            c = foldChar(c);
        auto place = childPlace(file, node, folded);
        if (isChildAt(file, node, place, folded)) {
            node = *place;
            continue;
        }
        int added = static_cast<int>(file.nodes.size());
        file.nodes[node].children.insert(place, added);
        file.nodes.emplace_back();
        file.nodes.back().name.assign(path, begin, end - begin);
        file.nodes.back().parent = node;
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

bool parseRegFile(std::string text, RegFile &file, std::string &error)
{
    RegFile parsed;
    parsed.text = std::move(text);
    // Room for every key line at once: a real file's tens of thousands of keys would otherwise be
    // moved to ever larger arrays some fifteen times over.
    size_t keyLines = static_cast<size_t>(std::count(parsed.text.begin(), parsed.text.end(), '['));
    parsed.blocks.reserve(keyLines);
    parsed.nodes.reserve(keyLines + 1);
    parsed.nodes.emplace_back();
    LineCursor lines(parsed.text);
    if (!lines.next() || lines.text() != "WINE REGISTRY Version 2") {
        error = "not a Wine registry file (its first line is not \"WINE REGISTRY Version 2\")";
        return false;
    }
    int current = -1; // the block that option and value lines belong to
    std::u16string name;
    while (lines.next()) {
        std::string_view s = lines.text();
        size_t p = skipSpaces(s, 0);
        auto where = [&lines] { return "line " + std::to_string(lines.number()) + ": "; };
        char first = p < s.size() ? s[p] : '\0';
        switch (first) {
        case '[': {
            size_t close = escapedEnd(s, p + 1, ']');
            if (close == std::string_view::npos) {
                parsed.warnings.push_back(where() + "malformed key");
                current = -1;
                break;
            }
            parseEscaped(s.substr(p + 1, close - p - 1), name);
            current = static_cast<int>(parsed.blocks.size());
            parsed.blocks.emplace_back();
            parsed.blocks[current].node = addNode(parsed, name);
            parsed.blocks[current].begin = lines.line().begin;
            parsed.blocks[current].end = lines.line().next;
            parsed.nodes[parsed.blocks[current].node].blocks.push_back(current);
            break;
        }
        case '@':
        case '"':
            if (current < 0) {
                parsed.warnings.push_back(where() + "value without key");
                break;
            }
            parseValue(lines, p, parsed.blocks[current], parsed);
            parsed.blocks[current].end = lines.line().next;
            break;
        case '#':
            if (current >= 0) {
                if (holdsAt(s, p, "#link"))
                    parsed.blocks[current].isLink = true;
                parsed.blocks[current].end = lines.line().next;
            } else if (holdsAt(s, p, "#arch=")) {
                std::string_view arch = s.substr(p + 6);
                if (arch == "win32") {
                    parsed.arch = RegArch::Win32;
                } else if (arch == "win64") {
                    parsed.arch = RegArch::Win64;
                } else {
                    error = where() + "unknown architecture \"" + std::string(arch) + "\"";
                    return false;
                }
            }
            break;
        case ';': {
            static const std::string_view rootLine = ";; All keys relative to ";
            if (parsed.blocks.empty() && s.compare(p, rootLine.size(), rootLine) == 0) {
                std::u16string root;
                parseEscaped(s.substr(p + rootLine.size()), root);
                parsed.root = splitKeyPath(root);
            }
            break;
        }
        case '\0':
            break;
        default:
            parsed.warnings.push_back(where() + "unrecognized input");
            break;
        }
    }
    file = std::move(parsed);
    return true;
}

// Wine's registry files run to a few megabytes. Anything much larger is no registry file, and
// would be read whole into memory.
static const off_t maxRegFileSize = off_t(64) << 20;

// Reads a registry file's text: a regular file of a sane size only. O_NONBLOCK keeps a FIFO in
// its place from holding the open until someone writes to it.
static RegLoad readRegText(const std::string &path, std::string &text, std::string &error)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + strerror(errno);
        return errno == ENOENT || errno == ENOTDIR ? RegLoad::Missing : RegLoad::Unreadable;
    }
    struct stat st = {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxRegFileSize) {
        error = path + (S_ISREG(st.st_mode) ? ": larger than 64 MiB" : ": not a regular file");
        close(fd);
        return RegLoad::Invalid;
    }
    // A file that grows meanwhile is read to its end, within the bound.
    text.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    ssize_t got;
    while (static_cast<off_t>(text.size()) <= maxRegFileSize && (got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = path + ": read error";
            close(fd);
            return RegLoad::Unreadable;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    if (static_cast<off_t>(text.size()) > maxRegFileSize) {
        error = path + ": larger than 64 MiB";
        return RegLoad::Invalid;
    }
    return RegLoad::Ok;
}

RegLoad loadRegFile(const std::string &path, RegFile &file, std::string &error)
{
    std::string text;
    RegLoad read = readRegText(path, text, error);
    if (read != RegLoad::Ok)
        return read;
    if (!parseRegFile(std::move(text), file, error)) {
        error = path + ": " + error;
        return RegLoad::Invalid;
    }
    return RegLoad::Ok;
}

std::vector<std::u16string> splitKeyPath(const std::u16string &path)
{
    std::vector<std::u16string> elements;
    for (size_t begin = 0, end; nextElement(path, begin, end); begin = end)
        elements.push_back(path.substr(begin, end - begin));
    return elements;
}

// Walks `path` from the root in a view, through links and into the 32-bit view's Wow6432Node keys.
// Where a key does not exist: -1, or, given `missing`, the last key found, with the rest of the
// path in `missing`.
static int walk(const RegFile &file, const std::vector<std::u16string> &path, RegView view,
                std::vector<std::u16string> *missing)
{
    bool wow = redirects(file, view);
    int node = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        int child = childOf(file, node, path[i]);
        if (child < 0 && missing) {
            missing->assign(path.begin() + i, path.end());
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

int findRegKey(const RegFile &file, const std::vector<std::u16string> &path, RegView view)
{
    return walk(file, path, view, nullptr);
}

int walkRegKey(const RegFile &file, const std::vector<std::u16string> &path, RegView view,
               std::vector<std::u16string> &missing)
{
    missing.clear();
    return walk(file, path, view, &missing);
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
