// Surroundings of the fuzz targets.
#include "fuzz_support.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "layer_control.h"

namespace {

std::string prefixDir;

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    chmod(path, 0700);
    return remove(path);
}

void removePrefix()
{
    if (!prefixDir.empty() && !getenv("FUZZ_KEEP_PREFIX"))
        nftw(prefixDir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::vector<SeenBox> boxes;

int recordBox(HWND, HWND, const char *text, const char *caption, UINT style, void *)
{
    boxes.push_back({text ? text : "", caption ? caption : "", style});
    return IDOK;
}

} // namespace

const std::string &fuzzPrefix()
{
    if (!prefixDir.empty())
        return prefixDir;
    // Files are created and removed on every run: a memory file system keeps that cheap.
    const char *tmp = getenv("FUZZ_TMPDIR");
    if (!tmp || !*tmp)
        tmp = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/da12-fuzz-XXXXXX";
    if (!mkdtemp(&dir[0])) {
        perror("mkdtemp");
        abort();
    }
    prefixDir = dir;
    atexit(removePrefix);
    makeDirs(dir + "/drive_c/windows");
    makeDirs(dir + "/dosdevices");
    addDrive('c', "../drive_c");
    writeFile(dir + "/system.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n");
    setenv("WINEPREFIX", dir.c_str(), 1);
    return prefixDir;
}

void addDrive(char letter, const std::string &target)
{
    std::string link = fuzzPrefix() + "/dosdevices/" + letter + ":";
    unlink(link.c_str());
    if (symlink(target.c_str(), link.c_str()) != 0) {
        perror(link.c_str());
        abort();
    }
}

std::string underPrefix(const std::string &relative)
{
    return fuzzPrefix() + "/" + relative;
}

void makeDirs(const std::string &native)
{
    for (size_t slash = native.find('/', 1); ; slash = native.find('/', slash + 1)) {
        mkdir(native.substr(0, slash).c_str(), 0755);
        if (slash == std::string::npos)
            break;
    }
}

void writeFile(const std::string &native, const std::string &content)
{
    std::ofstream out(native, std::ios::binary | std::ios::trunc);
    out << content;
}

bool readFile(const std::string &native, std::string &content)
{
    std::ifstream in(native, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    content = text.str();
    return true;
}

void removeFile(const std::string &native)
{
    chmod(native.c_str(), 0600);
    unlink(native.c_str());
}

std::vector<std::string> splitFields(const uint8_t *data, size_t size, size_t maxFields)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' && fields.size() < maxFields)
            fields.emplace_back();
        else
            fields.back().push_back(static_cast<char>(data[i]));
    }
    fields.resize(maxFields);
    return fields;
}

namespace {

const std::string &startDirectory()
{
    static const std::string dir = [] {
        char *cwd = getcwd(nullptr, 0);
        std::string path = cwd ? cwd : "/";
        free(cwd);
        return path;
    }();
    return dir;
}

} // namespace

WorkIn::WorkIn(const std::string &native)
{
    startDirectory();
    if (chdir(native.c_str()) != 0) {
        perror(native.c_str());
        abort();
    }
}

WorkIn::~WorkIn()
{
    if (chdir(startDirectory().c_str()) != 0)
        abort();
}

void answerBoxes()
{
    boxes.clear();
    layerSetMessageBoxHandler(recordBox, nullptr);
}

const std::vector<SeenBox> &seenBoxes()
{
    return boxes;
}

void fuzzFail(const char *what, const std::string &detail)
{
    fprintf(stderr, "\n== invariant broken: %s\n   %s\n", what, detail.c_str());
    abort();
}
