// Makes the packs' media and a game installation to install them into, for tests, the demo and
// the benchmark:
//   DIR/media/   every file of both manifests, "install.doc" and "credits.txt", as on the disc
//   DIR/prefix/  a Wine-style prefix: the compilation's registry record in system.reg, drive C:
//                with the game ("Games\VK Zarkhul Zuva\vk2\vk2.exe" and its "gamedat\"), the
//                media as drive D:, "/" as drive Z:, and a Notepad that shows documents in a pager
// The contents are the same on every run. With --list it prints a pack's files instead.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>

#include "install/manifest.h"
#include "tests/manifest_rows.h"

namespace {

const char INSTALL_DIR[] = "C:\\Games\\VK Zarkhul Zuva\\";
const char GAME_DIR_NATIVE[] = "drive_c/Games/VK Zarkhul Zuva";

[[noreturn]] void fail(const std::string &what)
{
    fprintf(stderr, "mkmedia: %s: %s\n", what.c_str(), strerror(errno));
    exit(1);
}

void makeDir(const std::string &path)
{
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        fail("cannot create " + path);
}

void writeFile(const std::string &path, const std::string &content, mode_t mode = 0644)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out || chmod(path.c_str(), mode) != 0)
        fail("cannot write " + path);
}

void link(const std::string &target, const std::string &path)
{
    unlink(path.c_str());
    if (symlink(target.c_str(), path.c_str()) != 0)
        fail("cannot link " + path);
}

// A generator that gives each file its own reproducible stream of bytes.
struct Random {
    explicit Random(const std::string &seed)
    {
        state = 1469598103934665603ull;
        for (unsigned char c : seed)
            state = (state ^ c) * 1099511628211ull;
    }
    unsigned long long next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    size_t between(size_t low, size_t high) { return low + next() % (high - low + 1); }
    unsigned long long state;
};

// Sizes as such files have them in a game's data directory.
size_t sizeFor(const std::string &name, Random &random)
{
    std::string ext = name.substr(name.rfind('.') + 1);
    for (char &c : ext)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    if (name == "vk2.exe") return 1187840;
    if (ext == "EXE") return random.between(330000, 390000);
    if (ext == "MAP") return random.between(24000, 61000);
    if (ext == "SCN") return random.between(3000, 11000);
    if (ext == "SPR") return random.between(18000, 52000);
    if (ext == "WAV") return random.between(22000, 96000);
    if (ext == "TIL") return random.between(30000, 66000);
    if (ext == "PAL") return 768;
    if (ext == "MID") return random.between(9000, 28000);
    if (ext == "BMP") return random.between(20000, 77000);
    if (ext == "TXT") return random.between(1500, 7000);
    if (ext == "FNT") return random.between(4000, 8000);
    return random.between(1000, 24000);
}

std::string contentFor(const std::string &name)
{
    Random random(name);
    size_t size = sizeFor(name, random);
    std::string content;
    content.reserve(size);
    const std::string header = "DELVARIN " + name + "\r\n";
    content += header.substr(0, size);
    while (content.size() < size) {
        unsigned long long word = random.next();
        for (int i = 0; i < 8 && content.size() < size; ++i, word >>= 8)
            content += static_cast<char>(word & 0xff);
    }
    return content;
}

std::string readSourceFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A registry text in the escaped form of Wine's registry files.
std::string regString(const std::string &text)
{
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c;
    }
    return "\"" + escaped + "\"";
}

void writeRegistry(const std::string &prefix)
{
    std::string reg = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n";
    reg += "[Software\\\\Quorvex\\\\VK: Zarkhul Zuva] 1796620020\n";
    reg += "#time=1dd8608ca315f6e\n";
    reg += regString("Installed To:") + "=" + regString(INSTALL_DIR) + "\n";
    reg += regString("Installed From:") + "=" + regString("D:\\") + "\n";
    reg += "\"Velk 1 Installed\"=dword:00000001\n";
    reg += "\"Velk 2 Installed\"=dword:00000001\n";
    reg += "\"Velk 3 Installed\"=dword:00000001\n";
    reg += "\"Cheater\"=dword:00000000\n\n";
    writeFile(prefix + "/system.reg", reg);
}

// The prefix's Notepad: a native program that shows the document it is given in the user's pager.
const char NOTEPAD[] =
    "#!/bin/sh\n"
    "# Shows the document named by the argument text, as Notepad would, in the user's pager.\n"
    "if [ -n \"$PAGER\" ]; then exec sh -c \"$PAGER \\\"\\$1\\\"\" pager \"$1\"; fi\n"
    "if command -v less >/dev/null 2>&1; then exec less \"$1\"; fi\n"
    "exec more \"$1\"\n";

const char USAGE[] =
    "usage: mkmedia DIR [DOCUMENTS_DIR]\n"
    "       mkmedia --list PACK\n"
    "Makes DIR/media (the packs' disc) and DIR/prefix (a Wine prefix with the game).\n"
    "DOCUMENTS_DIR holds install.doc and credits.txt (default: tools/media of the sources).\n"
    "--list prints the files that pack 1 or 2 installs, in the order it copies them, one a line:\n"
    "the name on the disc, a tab, and the directory under the game's directory that it goes to.\n";

// The pack's rows as `--list` prints them: "NAME<tab>vk2/gamedat".
void listPack(const ManifestEntry *manifest)
{
    for (int i = 0; i < manifestRows(manifest); ++i) {
        std::string directory = manifest[i].subdirectory;
        for (char &c : directory)
            c = c == '\\' ? '/' : c;
        directory.erase(directory.find_last_not_of('/') + 1);
        printf("%s\t%s\n", trimmed(manifest[i].fileName).c_str(), directory.c_str());
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(USAGE, stdout);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "--list") == 0 && (strcmp(argv[2], "1") == 0 || strcmp(argv[2], "2") == 0)) {
        listPack(argv[2][0] == '1' ? delvarin1Manifest : delvarin2Manifest);
        return 0;
    }
    if ((argc != 3 && argc != 2) || argv[1][0] == '-' || (argc == 3 && argv[2][0] == '-')) {
        fputs(USAGE, stderr);
        return 2;
    }
    std::string root = argv[1];
    std::string documents = argc == 3 ? argv[2] : DA12_MEDIA_DOCUMENTS;
    std::string media = root + "/media";
    std::string prefix = root + "/prefix";
    makeDir(root);
    makeDir(media);

    std::set<std::string> written;
    for (const ManifestEntry *manifest : {delvarin1Manifest, delvarin2Manifest})
        for (const ManifestEntry *entry = manifest; entry->fileName[0] && entry->subdirectory[0]; ++entry) {
            std::string name = trimmed(entry->fileName);
            if (written.insert(name).second)
                writeFile(media + "/" + name, contentFor(name));
        }
    for (const char *document : {"install.doc", "credits.txt"})
        writeFile(media + "/" + document, readSourceFile(documents + "/" + document));

    makeDir(prefix);
    makeDir(prefix + "/dosdevices");
    makeDir(prefix + "/drive_c");
    makeDir(prefix + "/drive_c/windows");
    makeDir(prefix + "/drive_c/Games");
    makeDir(prefix + "/" + GAME_DIR_NATIVE);
    makeDir(prefix + "/" + GAME_DIR_NATIVE + "/vk2");
    makeDir(prefix + "/" + GAME_DIR_NATIVE + "/vk2/gamedat");
    link("../drive_c", prefix + "/dosdevices/c:");
    link("../../media", prefix + "/dosdevices/d:");
    link("/", prefix + "/dosdevices/z:");
    writeFile(prefix + "/" + GAME_DIR_NATIVE + "/vk2/vk2.exe", contentFor("installed vk2.exe"));
    writeFile(prefix + "/drive_c/windows/notepad.exe", NOTEPAD, 0755);
    writeRegistry(prefix);

    printf("media:  %s (drive D:)\nprefix: %s\ngame:   %s (%s)\n", media.c_str(), prefix.c_str(),
           (prefix + "/" + GAME_DIR_NATIVE).c_str(), INSTALL_DIR);
    return 0;
}
