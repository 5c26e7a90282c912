// The DOS path resolver: drive letters through the prefix's links, both separators, doubled ones,
// trailing blanks and dots, "." and "..", names that differ in case, invalid characters, UNC and
// device forms, and paths of any length. The input is one path.
//
// What must hold: a path that does not start with '/' resolves to a native path below one of the
// prefix's drive roots (nothing climbs out of a drive), the full DOS form is absolute and collapsed,
// and the file functions built on the resolver answer without touching memory they were not given.
#include "fuzz_support.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "dospath.h"
#include "layer_control.h"

namespace {

std::vector<std::string> roots; // canonical native roots of the drives

std::string canonicalOf(const std::string &path)
{
    char *resolved = realpath(path.c_str(), nullptr);
    std::string result = resolved ? resolved : "";
    free(resolved);
    return result;
}

void setUp()
{
    const std::string &prefix = fuzzPrefix();
    makeDirs(prefix + "/drive_c/Game/VK2/GameDat");
    makeDirs(prefix + "/drive_c/dir with blanks/sub.dir");
    makeDirs(prefix + "/drive_c/UPPER/lower/MiXeD");
    writeFile(prefix + "/drive_c/Game/VK2/vk2.exe", "game");
    writeFile(prefix + "/drive_c/Game/VK2/GameDat/ARCHER.SPR", "sprite");
    writeFile(prefix + "/drive_c/readme.txt", "text");
    writeFile(prefix + "/drive_c/a.b.c", "dots");
    makeDirs(prefix + "/drive_d/Packs");
    writeFile(prefix + "/drive_d/Packs/install.doc", "doc");
    addDrive('d', "../drive_d");
    addDrive('e', "../missing");               // a drive whose target is gone
    addDrive('f', "../drive_c/readme.txt");    // a drive that is a file
    addDrive('g', "../drive_c/Game");          // a drive inside another
    for (const char *drive : {"drive_c", "drive_d", "drive_c/Game"})
        roots.push_back(canonicalOf(prefix + "/" + drive));
    answerBoxes();
}

// Where a native path really lies: its links and "." and ".." followed; a last component that
// does not exist yet is taken as named.
std::string realLocation(const std::string &native)
{
    std::string real = canonicalOf(native);
    if (!real.empty())
        return real;
    size_t slash = native.rfind('/');
    if (slash == std::string::npos)
        return native;
    std::string name = native.substr(slash + 1);
    if (name == "..")
        return "";
    std::string dir = canonicalOf(slash == 0 ? "/" : native.substr(0, slash));
    return dir.empty() ? native : (dir == "/" ? "" : dir) + "/" + name;
}

bool underRoot(const std::string &path)
{
    std::string native = realLocation(path);
    for (const std::string &root : roots)
        if (native.compare(0, root.size(), root) == 0 && (native.size() == root.size() || native[root.size()] == '/'))
            return true;
    return false;
}

bool knownError(DWORD error)
{
    return error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME ||
           error == ERROR_FILE_NOT_FOUND;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (setUp(), true);
    (void)ready;
    std::string path(reinterpret_cast<const char *>(data), size);
    path = path.substr(0, strlen(path.c_str())); // a C string ends at its first null
    const char *text = path.c_str();
    WorkIn here(fuzzPrefix() + "/drive_c/Game/VK2");

    std::string native;
    DWORD error = 0;
    bool resolved = layer::toNativePath(text, native, &error);
    if (!resolved)
        FUZZ_CHECK(knownError(error), "error " + std::to_string(error) + " for '" + path + "'");
    else if (path[0] != '/')
        FUZZ_CHECK(underRoot(native), "'" + path + "' resolves to " + native + ", outside every drive");

    std::string full;
    DWORD fullError = 0;
    bool collapsed = layer::toFullDosPath(text, full, &fullError);
    FUZZ_CHECK(collapsed || !resolved, "'" + path + "' resolves but has no full form");
    if (collapsed && path[0] != '/') {
        // The full form drops a trailing separator, after which its last name is the last
        // component and loses all its dots and blanks: "a..\\" is "a." there, "a" resolved again.
        // So is a last name of blanks and dots only, which vanishes and leaves an inner one last.
        std::string lastName = path.substr(path.find_last_of("\\/:") == std::string::npos ? 0 : path.find_last_of("\\/:") + 1);
        bool innerDot = full.find(".\\") != std::string::npos || path.back() == '\\' || path.back() == '/' ||
                        lastName.find_first_not_of(" .") == std::string::npos;
        FUZZ_CHECK(full.size() >= 3 && full[1] == ':' && full[2] == '\\', "full form '" + full + "' of '" + path + "'");
        FUZZ_CHECK(full.find("\\\\") == std::string::npos && full.find('/') == std::string::npos &&
                       full.find("\\..\\") == std::string::npos && full.find("\\.\\") == std::string::npos,
                   "full form '" + full + "' of '" + path + "' is not collapsed");
        // The full form names the same file, unless an inner name ends with a dot: each collapse
        // takes one dot from it, on Windows too.
        std::string again;
        DWORD againError = 0;
        bool resolvedAgain = layer::toNativePath(full.c_str(), again, &againError);
        FUZZ_CHECK(innerDot || (resolvedAgain == resolved && (!resolved || again == native)),
                   "'" + path + "' -> " + (resolved ? native : "error") + ", its full form '" + full + "' -> " +
                       (resolvedAgain ? again : "error"));
    }
    if (resolved) {
        std::string dos = layer::toDosPath(native);
        FUZZ_CHECK(!dos.empty(), "no DOS form of " + native);
    }

    // The file functions on the same path.
    GetFileAttributesA(text);
    OFSTRUCT file;
    memset(&file, 0, sizeof file);
    OpenFile(text, &file, OF_EXIST);
    FUZZ_CHECK(memchr(file.szPathName, 0, sizeof file.szPathName), "OpenFile left szPathName unterminated");
    DWORD sectors, bytes, freeClusters, clusters;
    GetDiskFreeSpaceA(text, &sectors, &bytes, &freeClusters, &clusters);
    return 0;
}
