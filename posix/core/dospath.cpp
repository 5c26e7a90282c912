// DOS paths on POSIX, resolved through the Wine prefix's drive links.
#include "dospath.h"
#include "layer.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace layer {
namespace {

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char upperLetter(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// realpath() that returns "" where it fails.
std::string canonical(const std::string &path)
{
    char *resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
        return "";
    std::string result = resolved;
    free(resolved);
    return result;
}

// The link of a drive letter in the prefix: Wine names the links in lower case ("c:"), whatever case
// the program writes. Paths on a drive go through its link, so that every call follows the link's
// target as it is at the time, as Wine's do.
std::string driveLink(char letter)
{
    return prefixDirectory() + "/dosdevices/" + lowerAscii(letter) + ":";
}

std::string joinNative(const std::string &dir, const std::string &name)
{
    return dir == "/" ? "/" + name : dir + "/" + name;
}

std::string currentDirectory()
{
    char *cwd = getcwd(nullptr, 0);
    if (!cwd)
        return "/";
    std::string result = cwd;
    free(cwd);
    return result;
}

// Characters that Windows refuses in a file name (':' only separates a drive or a stream).
bool isValidComponent(const std::string &name)
{
    for (unsigned char c : name)
        if (c < 0x20 || c == '<' || c == '>' || c == '|' || c == '"' || c == '*' || c == '?' || c == ':')
            return false;
    return true;
}

// Appends the components of `text` to `parts` the way Windows collapses a path before it looks at
// the disk: empty components (doubled separators) and "." vanish, ".." drops the component before
// it but never climbs above the root; then, on what is left, an inner component loses one trailing
// dot (one of dots only, such as "...", is a name and keeps them) and the last component loses all
// its trailing blanks and dots ("NAME.DAT    " names NAME.DAT) unless the text ends with a
// separator. The last component is the one left last: "NAME..\." ends in NAME.
bool addComponents(const std::string &text, bool checkNames, std::vector<std::string> &parts)
{
    size_t firstNew = parts.size();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && !isSeparator(text[end]))
            ++end;
        std::string name = text.substr(pos, end - pos);
        pos = end + 1;
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (!parts.empty())
                parts.pop_back();
            firstNew = std::min(firstNew, parts.size());
            continue;
        }
        parts.push_back(name);
    }
    bool endsWithSeparator = !text.empty() && isSeparator(text.back());
    for (size_t i = firstNew; i < parts.size(); ++i) {
        std::string &name = parts[i];
        if (i + 1 == parts.size() && !endsWithSeparator) {
            size_t keep = name.find_last_not_of(" .");
            name.erase(keep == std::string::npos ? 0 : keep + 1);
            if (name.empty()) {
                parts.pop_back();
                break;
            }
        } else if (name.back() == '.' && name.find_first_not_of('.') != std::string::npos) {
            name.pop_back();
        }
        if (checkNames && !isValidComponent(name))
            return false;
    }
    return true;
}

// Splits the path of a directory that exists (the current one) into its names, unchanged.
void splitExisting(const std::string &text, std::vector<std::string> &parts)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && !isSeparator(text[end]))
            ++end;
        if (end > pos)
            parts.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
}

bool sameTime(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A directory's names by their folded form, so that a name that misses its exact spelling is not
// looked for by reading the whole directory every time: installing thousands of new files into one
// directory would otherwise take time that grows with the square of their number. An index holds
// while the directory's modification time is the one it was built at; the names the layer creates
// and removes itself are entered as it goes (noteNameCreated, noteNameRemoved), so only a change
// made by another program makes the next miss read the directory again. Such a change is seen once
// the directory's time differs, which the file system's timestamp granularity (a few milliseconds
// on some) may delay.
struct DirectoryIndex {
    struct timespec modified;
    // By folded form: one spelling, and how many entries fold to it (names that differ only in
    // case), so that removing one of several keeps the index.
    struct Spelling {
        std::string name;
        int count = 0;
    };
    std::unordered_map<std::string, Spelling> names;
};

void addSpelling(DirectoryIndex &index, const std::string &name)
{
    DirectoryIndex::Spelling &spelling = index.names[lowerAscii(name)];
    if (spelling.count++ == 0)
        spelling.name = name;
}

// Indexes of the directories looked in lately, by native path; few, as a program mostly works in a
// couple of directories at a time.
const size_t MAX_INDEXES = 16;
std::mutex indexLock;

std::unordered_map<std::string, DirectoryIndex> &indexes()
{
    static std::unordered_map<std::string, DirectoryIndex> byDirectory;
    return byDirectory;
}

// The index of `dir` as the directory is now (`st`, its status); nullptr when it cannot be read.
DirectoryIndex *currentIndex(const std::string &dir, const struct stat &st)
{
    auto it = indexes().find(dir);
    if (it != indexes().end() && sameTime(it->second.modified, st.st_mtim))
        return &it->second;
    DIR *listing = opendir(dir.c_str());
    if (!listing)
        return nullptr;
    if (indexes().size() >= MAX_INDEXES && it == indexes().end())
        indexes().clear();
    DirectoryIndex &index = indexes()[dir];
    index.modified = st.st_mtim;
    index.names.clear();
    while (dirent *entry = readdir(listing))
        addSpelling(index, entry->d_name);
    closedir(listing);
    return &index;
}

// Finds the entry of `dir` (whose status is `st`) that differs from `name`, known to be missing,
// only in the case of ASCII letters, as Wine matches names on case-sensitive file systems.
bool findOtherCase(const std::string &dir, const struct stat &st, const std::string &name, std::string &found)
{
    std::lock_guard<std::mutex> guard(indexLock);
    DirectoryIndex *index = currentIndex(dir, st);
    if (!index)
        return false;
    auto it = index->names.find(lowerAscii(name));
    if (it == index->names.end())
        return false;
    found = it->second.name;
    return true;
}

// Finds the entry of `dir` called `name`: the exact name, else one that differs only in case.
bool findEntry(const std::string &dir, const std::string &name, std::string &found)
{
    struct stat st;
    if (lstat(joinNative(dir, name).c_str(), &st) == 0) {
        found = name;
        return true;
    }
    return stat(dir.c_str(), &st) == 0 && findOtherCase(dir, st, name, found);
}

// Enters a name the layer created or removed into an index; false when the index must go: a
// removed spelling that stood for others differing from it only in case, whose spellings are not
// known.
bool enterName(DirectoryIndex &index, const std::string &name, bool created)
{
    if (created) {
        addSpelling(index, name);
        return true;
    }
    auto spelling = index.names.find(lowerAscii(name));
    if (spelling == index.names.end())
        return true;
    if (--spelling->second.count == 0)
        index.names.erase(spelling);
    else if (spelling->second.name == name)
        return false;
    return true;
}

// Enters changes the layer made itself in one directory (`removed`, then `created`, each possibly
// empty) into its index, if there is one: the index takes the directory's new modification time
// along with the names.
void noteNamesChanged(const std::string &dir, const std::string &removed, const std::string &created)
{
    std::lock_guard<std::mutex> guard(indexLock);
    auto it = indexes().find(dir);
    if (it == indexes().end())
        return;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || (!removed.empty() && !enterName(it->second, removed, false)) ||
        (!created.empty() && !enterName(it->second, created, true))) {
        indexes().erase(it);
        return;
    }
    it->second.modified = st.st_mtim;
}

// A native path's directory and name; false for a path without a directory.
bool splitNative(const std::string &native, std::string &dir, std::string &name)
{
    size_t slash = native.rfind('/');
    if (slash == std::string::npos)
        return false;
    dir = slash == 0 ? "/" : native.substr(0, slash);
    name = native.substr(slash + 1);
    return true;
}

// A DOS path taken apart: the drive it lies on (0 for a native path, which starts at "/") and its
// components below that root, collapsed as Windows collapses them.
struct ParsedPath {
    char drive;
    std::vector<std::string> parts;
    bool trailingSeparator;
};

bool parsePath(const char *dosPath, ParsedPath &parsed, DWORD *error)
{
    if (!dosPath || !*dosPath) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::string text = dosPath;
    parsed.drive = 0;
    parsed.parts.clear();
    parsed.trailingSeparator = isSeparator(text.back());

    if (text[0] == '\\' && text.size() > 1 && isSeparator(text[1])) {
        // UNC and device paths (\\server\share, \\?\, \\.\): the layer has no network drives.
        *error = ERROR_BAD_PATHNAME;
        return false;
    }
    if (text[0] == '/') {
        // A native path may hold any byte but '/' in its names (a drive link's "c:" among them).
        addComponents(text, false, parsed.parts);
        return true;
    }
    std::string rest = text;
    if (isLetter(text[0]) && text.size() > 1 && text[1] == ':') {
        parsed.drive = text[0];
        rest = text.substr(2);
        // "C:name" is relative to the drive's current directory: the process's own where it lies
        // on that drive, else the drive's root.
        if (rest.empty() || !isSeparator(rest[0])) {
            std::string cwd = toDosPath(currentDirectory());
            if (cwd.size() >= 2 && cwd[1] == ':' && lowerAscii(cwd[0]) == lowerAscii(text[0]))
                splitExisting(cwd.substr(2), parsed.parts);
        }
    } else {
        // "\name" starts at the root of the current drive, "name" at the current directory; the
        // current directory is taken in its DOS form so that ".." stops at the drive's root.
        std::string cwd = toDosPath(currentDirectory());
        if (cwd.size() >= 2 && cwd[1] == ':') {
            parsed.drive = cwd[0];
            cwd.erase(0, 2);
        }
        if (text[0] != '\\')
            splitExisting(cwd, parsed.parts);
    }
    if (!addComponents(rest, true, parsed.parts)) {
        *error = ERROR_INVALID_NAME;
        return false;
    }
    return true;
}

} // namespace

bool isDirectory(const std::string &native)
{
    struct stat st;
    return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void noteNameCreated(const std::string &native)
{
    std::string dir, name;
    if (splitNative(native, dir, name))
        noteNamesChanged(dir, "", name);
}

void noteNameRemoved(const std::string &native)
{
    std::string dir, name;
    if (splitNative(native, dir, name))
        noteNamesChanged(dir, name, "");
}

void noteNameMoved(const std::string &from, const std::string &to, bool created)
{
    std::string fromDir, fromName, toDir, toName;
    if (!splitNative(from, fromDir, fromName) || !splitNative(to, toDir, toName))
        return;
    if (fromDir == toDir) {
        noteNamesChanged(fromDir, fromName, created ? toName : "");
        return;
    }
    noteNamesChanged(fromDir, fromName, "");
    if (created)
        noteNamesChanged(toDir, "", toName);
}

namespace {

std::atomic<bool> prefixReported(false);

void resetPrefixReport()
{
    prefixReported = false;
}

const ResetHook prefixReportReset(resetPrefixReport);

} // namespace

void reportUnusablePrefix(const std::string &reason)
{
    if (!prefixReported.exchange(true))
        fprintf(stderr, "winlayer: cannot use the Wine prefix '%s': %s\n", prefixDirectory().c_str(), reason.c_str());
}

std::string prefixDirectory()
{
    const char *prefix = getenv("WINEPREFIX");
    if (prefix && *prefix)
        return prefix;
    const char *home = getenv("HOME");
    return std::string(home && *home ? home : "") + "/.wine";
}

bool toNativePath(const char *dosPath, std::string &native, DWORD *error, PathFacts *facts)
{
    ParsedPath parsed;
    if (!parsePath(dosPath, parsed, error))
        return false;
    if (facts)
        facts->found = facts->free = false;
    // Most paths name their files exactly: then the whole path, or its directory, is found at once.
    std::string path = parsed.drive ? driveLink(parsed.drive) : "/";
    if (!parsed.parts.empty()) {
        std::string exact = path;
        for (const std::string &part : parsed.parts)
            exact = joinNative(exact, part);
        struct stat st;
        if (stat(exact.c_str(), &st) == 0) {
            if (parsed.trailingSeparator && !S_ISDIR(st.st_mode)) {
                *error = ERROR_PATH_NOT_FOUND;
                return false;
            }
            native = exact;
            if (facts) {
                facts->found = true;
                facts->status = st;
            }
            return true;
        }
        size_t slash = exact.rfind('/');
        std::string dir = slash == 0 ? "/" : exact.substr(0, slash);
        if (errno == ENOENT && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            // The exact name is missing and the directory's status is at hand.
            std::string found;
            native = joinNative(dir, findOtherCase(dir, st, parsed.parts.back(), found) ? found : parsed.parts.back());
            if (parsed.trailingSeparator && found.size() && !isDirectory(native)) {
                *error = ERROR_PATH_NOT_FOUND;
                return false;
            }
            if (facts && found.empty()) {
                facts->free = true;
                facts->directory = st;
            }
            return true;
        }
    }
    // A drive without a link, or whose link leads to no directory, has no paths.
    if (parsed.drive && !isDirectory(path)) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    // Every component but the last must be an existing directory; the last need not exist, but
    // a separator after it makes it a directory too.
    for (size_t i = 0; i < parsed.parts.size(); ++i) {
        std::string found;
        bool exists = findEntry(path, parsed.parts[i], found);
        path = joinNative(path, exists ? found : parsed.parts[i]);
        bool last = i + 1 == parsed.parts.size();
        if ((!last && (!exists || !isDirectory(path))) ||
            (last && exists && parsed.trailingSeparator && !isDirectory(path))) {
            *error = ERROR_PATH_NOT_FOUND;
            return false;
        }
    }
    native = path;
    return true;
}

bool resolvePath(const char *dosPath, std::string &native, PathFacts *facts)
{
    DWORD error = ERROR_SUCCESS;
    if (toNativePath(dosPath, native, &error, facts))
        return true;
    SetLastError(error);
    return false;
}

bool toFullDosPath(const char *dosPath, std::string &full, DWORD *error)
{
    ParsedPath parsed;
    if (!parsePath(dosPath, parsed, error))
        return false;
    if (!parsed.drive) {
        std::string native;
        for (const std::string &part : parsed.parts)
            native += "/" + part;
        full = toDosPath(native.empty() ? "/" : native);
        return true;
    }
    full = std::string(1, parsed.drive) + ":";
    for (const std::string &part : parsed.parts)
        full += "\\" + part;
    if (parsed.parts.empty())
        full += "\\";
    return true;
}

std::string toDosPath(const std::string &native)
{
    if (native.empty() || native[0] != '/')
        return native;
    std::string path = canonical(native);
    if (path.empty())
        path = native;
    // The drives are the prefix's links named in lower case; where two hold the path, the longer
    // target wins, and of two alike the first letter.
    char bestLetter = 0;
    std::string bestRoot;
    DIR *links = opendir((prefixDirectory() + "/dosdevices").c_str());
    while (dirent *entry = links ? readdir(links) : nullptr) {
        char letter = entry->d_name[0];
        if (letter < 'a' || letter > 'z' || strcmp(entry->d_name + 1, ":") != 0)
            continue;
        std::string root = canonical(driveLink(letter));
        if (root.empty() || !isDirectory(root))
            continue;
        bool holds = root == "/" || (path.compare(0, root.size(), root) == 0 &&
                                     (path.size() == root.size() || path[root.size()] == '/'));
        if (holds && (!bestLetter || root.size() > bestRoot.size() ||
                      (root.size() == bestRoot.size() && letter < bestLetter))) {
            bestLetter = letter;
            bestRoot = root;
        }
    }
    if (links)
        closedir(links);
    if (!bestLetter)
        return native;
    std::string rest = path.substr(bestRoot == "/" ? 1 : bestRoot.size());
    if (!rest.empty() && rest[0] == '/')
        rest.erase(0, 1);
    std::string dos = std::string(1, upperLetter(bestLetter)) + ":\\";
    for (char c : rest)
        dos += c == '/' ? '\\' : c;
    return dos;
}

} // namespace layer
