// Wine's text registry files, read as the Wine 8 server's loader reads them, line for line; the keys
// they hold, with the 32-bit view and symbolic links. The edits are in regedit.cpp.
#include "regfile.h"
#include "regtext.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace layer {
namespace {

const std::u16string wow6432Node = u"wow6432node"; // folded

// Whether the element of a key name at `p` is `folded`; `end` is then where it ends. Plain ASCII
// is compared as it stands, so that most names are told apart by their first bytes.
bool elementIs(std::string_view name, size_t p, const std::u16string &folded, size_t &end)
{
    size_t q = skipSeparators(name, p);
    size_t k = 0;
    for (; q < name.size() && name[q] >= 0x20 && name[q] < 0x7F && name[q] != '\\'; ++q, ++k)
        if (k >= folded.size() || (name[q] >= 'A' && name[q] <= 'Z' ? name[q] + 32 : name[q]) != folded[k])
            return false;
    if (q == name.size() || name[q] == '\\') {
        if (k == folded.size() && k > 0 && (q == name.size() || holdsAt(name, q, "\\\\"))) {
            end = q;
            return true;
        }
        if (k > 0 && q == name.size())
            return false;
    }
    std::u16string element;
    end = readKeyElement(name, p, element);
    return end != std::string::npos && foldName(element) == folded;
}

// Where a block lies, in a file read either way.
const RegKeyHead &head(const RegFile &file, int block)
{
    return file.forLookups ? file.heads[block] : file.blocks[block];
}

std::string_view keyName(const RegFile &file, int block)
{
    const RegKeyHead &b = head(file, block);
    return file.view().substr(b.nameBegin, b.nameEnd - b.nameBegin);
}

// Whether a key name has no element left from `p` on: its block then defines the key reached.
bool nameEndsAt(std::string_view name, size_t p)
{
    size_t offset = skipSeparators(name, p);
    bool plainFirst = offset < name.size() && name[offset] > 0x20 && name[offset] < 0x7F && name[offset] != '\\';
    std::u16string element;
    return !plainFirst && readKeyElement(name, offset, element) == std::string::npos;
}

// The first four characters of a key name's element at `p`, folded, as one number; 0 unless they
// are plain characters, which elementIs compares as they stand.
uint32_t elementLead(std::string_view name, size_t p)
{
    p = skipSeparators(name, p);
    if (name.size() - p < 4)
        return 0;
    uint32_t lead = 0;
    for (size_t k = 0; k < 4; ++k) {
        unsigned char c = static_cast<unsigned char>(name[p + k]);
        if (c < 0x20 || c >= 0x7F || c == '\\')
            return 0;
        lead = lead << 8 | (c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return lead;
}

// The same for a folded name; 0 where it is shorter or not plain.
uint32_t elementLead(const std::u16string &folded)
{
    if (folded.size() < 4)
        return 0;
    uint32_t lead = 0;
    for (size_t k = 0; k < 4; ++k) {
        if (folded[k] < 0x20 || folded[k] >= 0x7F)
            return 0;
        lead = lead << 8 | folded[k];
    }
    return lead;
}

// In a file read for lookups: finds the child `folded` among the blocks below `node` and enters it
// in the tree, as parseRegFile would have; -1 when no block lies below it.
int sortOutChild(const RegFile &file, int node, const std::u16string &folded)
{
    RegNode child;
    child.parent = node;
    bool found = false;
    const std::vector<RegNode::Below> &below = file.nodes[node].below;
    child.below.reserve(below.size()); // at once: only the pages filled cost anything
    uint32_t wanted = elementLead(folded);
    for (size_t i = 0; i < below.size(); ++i) {
        const RegNode::Below &entry = below[i];
        // Two plain leads that differ tell the names apart; the name is read only where they do not.
        if (wanted && entry.lead && entry.lead != wanted)
            continue;
        // The names lie far apart in the text: ask for the ones a few entries on before they are read.
        if (i + 8 < below.size())
            __builtin_prefetch(file.view().data() + below[i + 8].rest);
        const RegKeyHead &block = head(file, entry.block);
        std::string_view name = keyName(file, entry.block);
        size_t end;
        if (!elementIs(name, entry.rest - block.nameBegin, folded, end))
            continue;
        if (!found) // spelled as the first block names it
            readKeyElement(name, entry.rest - block.nameBegin, child.name);
        found = true;
        // The block defines the child, or lies below it; told apart now, while its name is at hand.
        if (nameEndsAt(name, end))
            child.blocks.push_back(entry.block);
        else
            child.below.push_back({entry.block, elementLead(name, end), block.nameBegin + end});
    }
    if (!found)
        return -1;
    int added = static_cast<int>(file.nodes.size());
    file.nodes.push_back(std::move(child));
    file.nodes[node].children[folded] = added;
    return added;
}

int childOf(const RegFile &file, int node, const std::u16string &name)
{
    std::u16string folded = foldName(name);
    const std::map<std::u16string, int> &children = file.nodes[node].children;
    auto it = children.find(folded);
    if (it != children.end())
        return it->second;
    return file.forLookups ? sortOutChild(file, node, folded) : -1;
}

// In a file read for lookups: a block's lines, read as parseRegFile reads them, its values into
// `into` where given (else passed over). Returns whether the block holds a "#link" line.
bool readBlock(const RegFile &file, int block, RegKeyBlock *into)
{
    bool link = false;
    LineCursor lines(file.view(), head(file, block).begin, head(file, block).end);
    lines.next(); // the key's line
    while (lines.next()) {
        std::string_view s = lines.text();
        size_t p = skipSpaces(s, 0);
        if (p < s.size() && (s[p] == '@' || s[p] == '"')) {
            if (into)
                parseValue(lines, p, *into, nullptr);
            else
                skipValue(lines, p);
        } else if (holdsAt(s, p, "#link")) {
            link = true;
        }
    }
    return link;
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

// Whether a block holds a "#link" line: in a file read for lookups, looked for only when asked.
bool blockIsLink(const RegFile &file, int block)
{
    return file.forLookups ? readBlock(file, block, nullptr) : file.blocks[block].isLink;
}

bool isLinkNode(const RegFile &file, int node)
{
    for (int block : file.nodes[node].blocks)
        if (blockIsLink(file, block))
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

namespace {

// Parses the text as parseRegFile does; for lookups, without reading key names and values yet.
// Whether hex data could go on from the line before the one that starts at `begin` to it: a
// backslash after hex bytes carries a value on to the next line, wherever it stands on its line.
bool mayContinueInto(std::string_view text, size_t begin)
{
    if (begin == 0)
        return false;
    const char *data = text.data();
    const char *end = data + begin - 1; // the previous line's break
    const char *before = static_cast<const char *>(memrchr(data, '\n', static_cast<size_t>(end - data)));
    const char *start = before ? before + 1 : data;
    return memchr(start, '\\', static_cast<size_t>(end - start)) != nullptr;
}

// Finds the first line from `from` (a line's start) that opens a key, its first character other than
// a blank being '['; `at` is its start, or the text's size when there is none. False when the line
// before it could carry a value on to it: only reading the lines from the key's own tells then.
bool findKeyLine(std::string_view text, size_t from, size_t &at)
{
    const char *data = text.data();
    const char *end = data + text.size();
    for (const char *p = data + from; (p = static_cast<const char *>(memchr(p, '[', static_cast<size_t>(end - p))));
         ++p) {
        const char *start = p;
        while (start > data + from && start[-1] != '\n' && isSpace(start[-1]))
            --start;
        if (start != data + from && start[-1] != '\n')
            continue;
        at = static_cast<size_t>(start - data);
        return at == from || !mayContinueInto(text, at);
    }
    at = text.size();
    return true;
}

// `jumpKeys`, for lookups only: once a key's line is read, go straight to the next key's line
// instead of reading the lines between, which only the key's own lookups need; where the lines
// between could run into that line, they are read one by one, as without it.
// The text is `text`, or `mapped` where that is given.
bool parseText(std::string text, std::shared_ptr<const MappedFile> mapped, RegFile &file, std::string &error,
               bool forLookups, bool jumpKeys)
{
    RegFile parsed;
    parsed.text = std::move(text);
    parsed.mapped = std::move(mapped);
    parsed.forLookups = forLookups;
    parsed.nodes.emplace_back();
    std::string_view all = parsed.view();
    LineCursor lines(all);
    if (!lines.next() || lines.text() != "WINE REGISTRY Version 2") {
        error = "not a Wine registry file (its first line is not \"WINE REGISTRY Version 2\")";
        return false;
    }
    if (forLookups) {
        // Room at once for the keys of a file of the usual shape, some 200 bytes a key: growing
        // the tables would fill and copy them again and again.
        parsed.heads.reserve(all.size() / 128);
        parsed.nodes[0].below.reserve(all.size() / 128);
    }
    int current = -1; // the block that option and value lines belong to
    auto currentHead = [&]() -> RegKeyHead & {
        return forLookups ? parsed.heads[current] : parsed.blocks[current];
    };
    while (lines.next()) {
        std::string_view s = lines.text();
        size_t p = skipSpaces(s, 0);
        auto where = [&lines] { return "line " + std::to_string(lines.number()) + ": "; };
        char first = p < s.size() ? s[p] : '\0';
        switch (first) {
        case '[': {
            size_t close = escapedEnd(s, p + 1, ']');
            if (close == std::string_view::npos) {
                if (!forLookups)
                    parsed.warnings.push_back(where() + "malformed key");
                current = -1;
                break;
            }
            RegKeyHead at;
            at.begin = lines.line().begin;
            at.end = lines.line().next;
            at.nameBegin = lines.line().begin + p + 1;
            at.nameEnd = lines.line().begin + close;
            if (forLookups) {
                parsed.heads.push_back(at);
                current = static_cast<int>(parsed.heads.size()) - 1;
                if (nameEndsAt(s.substr(p + 1, close - p - 1), 0))
                    parsed.nodes[0].blocks.push_back(current);
                else
                    parsed.nodes[0].below.push_back(
                        {current, elementLead(s.substr(p + 1, close - p - 1), 0), at.nameBegin});
                size_t next;
                if (jumpKeys && findKeyLine(all, lines.line().next, next)) {
                    parsed.heads[current].end = next;
                    lines.jumpTo(next);
                }
                break;
            }
            RegKeyBlock block;
            static_cast<RegKeyHead &>(block) = at;
            std::u16string name;
            parseEscaped(s.substr(p + 1, close - p - 1), '\0', name, nullptr);
            block.path = splitKeyPath(name);
            parsed.blocks.push_back(std::move(block));
            current = static_cast<int>(parsed.blocks.size()) - 1;
            parsed.nodes[addNode(parsed, parsed.blocks[current].path)].blocks.push_back(current);
            break;
        }
        case '@':
        case '"':
            if (current < 0) {
                if (!forLookups)
                    parsed.warnings.push_back(where() + "value without key");
                break;
            }
            if (forLookups)
                skipValue(lines, p);
            else
                parseValue(lines, p, parsed.blocks[current], &parsed);
            currentHead().end = lines.line().next;
            break;
        case '#':
            if (current >= 0) {
                if (holdsAt(s, p, "#link"))
                    currentHead().isLink = true;
                currentHead().end = lines.line().next;
            } else if (holdsAt(s, p, "#arch=")) {
                std::string_view arch = s.substr(p + 6);
                if (arch == "win32") {
                    parsed.arch = RegArch::Win32;
                } else if (arch == "win64") {
                    parsed.arch = RegArch::Win64;
                } else if (jumpKeys) { // named by its line's number, which only a full read counts
                    return parseText(std::move(parsed.text), std::move(parsed.mapped), file, error, true, false);
                } else {
                    error = where() + "unknown architecture \"" + std::string(arch) + "\"";
                    return false;
                }
            }
            break;
        case ';': {
            static const std::string_view rootLine = ";; All keys relative to ";
            if (parsed.blocks.empty() && parsed.heads.empty() && s.compare(p, rootLine.size(), rootLine) == 0) {
                std::u16string root;
                parseEscaped(s.substr(p + rootLine.size()), '\0', root, nullptr);
                parsed.root = splitKeyPath(root);
            }
            break;
        }
        case '\0':
            break;
        default:
            if (!forLookups)
                parsed.warnings.push_back(where() + "unrecognized input");
            break;
        }
    }
    file = std::move(parsed);
    return true;
}

// Makes the pages of a text's room at once, where filling them would fault them in one by one: a
// real system.reg takes some 800 pages. Only a hint, ignored by kernels without it.
void prefault(std::string &text)
{
#ifdef MADV_POPULATE_WRITE
    uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    uintptr_t begin = (reinterpret_cast<uintptr_t>(text.data()) + page - 1) & ~(page - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(text.data()) + text.capacity()) & ~(page - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)text;
#endif
}

// Wine's registry files run to a few megabytes. Anything much larger is no registry file, and
// would be read whole into memory.
static const off_t maxRegFileSize = off_t(64) << 20;

// Reads a registry file's text: a regular file of a sane size only. O_NONBLOCK keeps a FIFO in
// its place from holding the open until someone writes to it.
// A file read for lookups is mapped instead, where it can be: then only the pages read cost anything.
static RegLoad readRegText(const std::string &path, bool mapIt, std::string &text,
                           std::shared_ptr<const MappedFile> &mapped, std::string &error)
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
    if (mapIt && (mapped = MappedFile::map(fd, static_cast<size_t>(st.st_size)))) {
        close(fd);
        return RegLoad::Ok;
    }
    // Read at once into a text of the file's size; a file that grows meanwhile is read to its end,
    // within the bound.
    text.reserve(static_cast<size_t>(st.st_size) + 1);
    prefault(text);
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

RegLoad load(const std::string &path, RegFile &file, std::string &error, bool forLookups)
{
    std::string text;
    std::shared_ptr<const MappedFile> mapped;
    RegLoad read = readRegText(path, forLookups, text, mapped, error);
    if (read != RegLoad::Ok)
        return read;
    if (!parseText(std::move(text), std::move(mapped), file, error, forLookups, forLookups)) {
        error = path + ": " + error;
        return RegLoad::Invalid;
    }
    return RegLoad::Ok;
}

} // namespace

bool parseRegFile(const std::string &text, RegFile &file, std::string &error)
{
    return parseText(text, nullptr, file, error, false, false);
}

bool indexRegFile(const std::string &text, RegFile &file, std::string &error)
{
    return parseText(text, nullptr, file, error, true, true);
}

RegLoad loadRegFile(const std::string &path, RegFile &file, std::string &error)
{
    return load(path, file, error, false);
}

RegLoad readRegFile(const std::string &path, RegFile &file, std::string &error)
{
    return load(path, file, error, true);
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

// Walks `path` from `start` in a view, through links and into the 32-bit view's Wow6432Node keys.
// Where a key does not exist: -1, or, given `missing`, the last key found, with the rest of the
// path in `missing`.
static int walkFrom(const RegFile &file, int start, const std::vector<std::u16string> &path, RegView view,
                    std::vector<std::u16string> *missing)
{
    bool wow = redirects(file, view);
    int node = start;
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

int findRegKey(const RegFile &file, int start, const std::vector<std::u16string> &path, RegView view)
{
    if (start < 0 || start >= static_cast<int>(file.nodes.size()))
        return -1;
    return walkFrom(file, start, path, view, nullptr);
}

int walkRegKey(const RegFile &file, const std::vector<std::u16string> &path, RegView view,
               std::vector<std::u16string> &missing)
{
    missing.clear();
    return walkFrom(file, 0, path, view, &missing);
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
        RegKeyBlock read;
        if (file.forLookups)
            readBlock(file, block, &read);
        const RegKeyBlock *parsed = file.forLookups ? &read : &file.blocks[block];
        for (const RegValue &value : parsed->values) {
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
