// Edits of Wine's text registry files, one value or key at a time: every other byte of the file stays
// as it was, and what changes is written as the Wine server saves it, so that Wine reads the edits
// and would write them the same way.
#include "regedit.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace layer {
namespace {

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
            bool hexFollows = hasNext && next < 128 && isxdigit(static_cast<char>(next));
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

// The order in which the Wine server saves keys: depth first, subkeys sorted by name.
int comparePaths(const std::vector<std::u16string> &a, const std::vector<std::u16string> &b)
{
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        std::u16string fa = foldName(a[i]), fb = foldName(b[i]);
        if (fa != fb)
            return fa < fb ? -1 : 1;
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

bool isMachineFile(const RegFile &file)
{
    return !file.root.empty() && foldName(file.root.back()) == u"machine";
}

// Resolves a path as a program creating the key would: the last key that exists (-1 when a link on
// the way leads nowhere), and the elements to create below it.
int walkPath(const RegFile &file, const std::vector<std::u16string> &path, RegView view,
             std::vector<std::u16string> &missing)
{
    int node = walkRegKey(file, path, view, missing);
    // A 64-bit prefix always has a 32-bit Software tree; a new key of that view belongs in it even
    // when the file does not hold it yet.
    bool wow = view == RegView::Wow32 && file.arch == RegArch::Win64;
    if (node >= 0 && wow && !missing.empty() && isMachineFile(file)) {
        size_t at = std::string::npos; // where Wow6432Node goes into the missing elements
        if (file.nodes[node].parent == 0 && foldName(file.nodes[node].name) == u"software" &&
            !insideWow6432Node(file, node))
            at = 0;
        else if (node == 0 && foldName(missing[0]) == u"software")
            at = 1;
        if (at != std::string::npos && (at == missing.size() || foldName(missing[at]) != u"wow6432node"))
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
        if (comparePaths(regKeyPath(file, existing.node), path) > 0) {
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
    int node = findRegKey(file, path, view);
    if (node < 0)
        error = "no key " + describePath(path);
    return node;
}
} // namespace

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
        for (int child : file.nodes[current].children)
            pending.push_back(child);
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
