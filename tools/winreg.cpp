// winreg: sets or deletes values and keys in a Wine prefix's registry file (system.reg, user.reg)
// without touching any other line of it, as a setup would have written them.
#include "dospath.h"
#include "regedit.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The usage lines, which a usage error repeats.
#define WINREG_SYNOPSIS \
    "usage: winreg [OPTIONS] set KEY NAME TYPE DATA\n" \
    "       winreg [OPTIONS] delete KEY [NAME]\n"

const char usage[] =
    WINREG_SYNOPSIS
    "\n"
    "Sets or deletes a value or key in a Wine prefix's registry file (system.reg for HKLM, user.reg\n"
    "for HKCU). Every other line of the file stays as it was; a missing file or key is created.\n"
    "\n"
    "Options:\n"
    "  --prefix DIR   the Wine prefix (default: $WINEPREFIX, else ~/.wine)\n"
    "  --file FILE    the registry file itself, instead of the prefix's\n"
    "  --view32       the registry as a 32-bit program sees it: in a 64-bit prefix\n"
    "                 HKLM\\Software\\X is HKLM\\Software\\Wow6432Node\\X\n"
    "  --arch ARCH    win32 or win64, for a file that has to be created (default: win64)\n"
    "  -h, --help     this text\n"
    "\n"
    "KEY    HKLM\\... (HKEY_LOCAL_MACHINE\\...) or HKCU\\... (HKEY_CURRENT_USER\\...)\n"
    "NAME   the value's name; \"\" is the key's default value\n"
    "TYPE and DATA:\n"
    "  REG_SZ, REG_EXPAND_SZ   text (UTF-8)\n"
    "  REG_MULTI_SZ            texts separated by \\0, e.g. 'one\\0two'\n"
    "  REG_DWORD               a number of 32 bits, decimal or 0x hex\n"
    "  REG_QWORD               a number of 64 bits, decimal or 0x hex\n"
    "  REG_BINARY, REG_NONE    hex bytes, e.g. 01,02,ff or 0102ff; may be empty\n"
    "\"delete KEY NAME\" deletes a value, \"delete KEY\" the key with all its subkeys.\n"
    "\n"
    "While a Wine server runs for the prefix it keeps the registry in memory and writes it back to\n"
    "the file when it exits, which undoes changes made meanwhile. Stop it first:\n"
    "  WINEPREFIX=DIR wineserver -k\n"
    "\n"
    "Exit status: 0 done, 1 the change failed, 2 bad arguments.\n";

// Wine's user key in a prefix: the SID it gives every user.
const char16_t userRoot[] = u"REGISTRY\\User\\S-1-5-21-0-0-0-1000";
const char16_t machineRoot[] = u"REGISTRY\\Machine";

int fail(const std::string &message)
{
    fprintf(stderr, "winreg: %s\n", message.c_str());
    return 1;
}

int badUsage(const std::string &message)
{
    fprintf(stderr, "winreg: %s\n" WINREG_SYNOPSIS "Try 'winreg --help' for more.\n", message.c_str());
    return 2;
}

bool startsWithNoCase(const std::string &text, const char *prefix)
{
    return strncasecmp(text.c_str(), prefix, strlen(prefix)) == 0;
}

// Splits "HKLM\Software\Key" into its hive (true for HKLM) and the path below it.
bool parseKey(const std::string &key, bool &machine, std::string &path)
{
    static const struct {
        const char *name;
        bool machine;
    } roots[] = {{"HKLM", true}, {"HKEY_LOCAL_MACHINE", true}, {"HKCU", false}, {"HKEY_CURRENT_USER", false}};
    for (const auto &root : roots) {
        size_t length = strlen(root.name);
        if (startsWithNoCase(key, root.name) && (key.size() == length || key[length] == '\\')) {
            machine = root.machine;
            path = key.size() > length ? key.substr(length + 1) : "";
            return true;
        }
    }
    return false;
}

bool parseNumber(const std::string &text, unsigned long long limit, unsigned long long &number)
{
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char *digits = text.c_str() + (hex ? 2 : 0);
    if (!*digits || strspn(digits, hex ? "0123456789abcdefABCDEF" : "0123456789") != strlen(digits))
        return false;
    errno = 0;
    number = strtoull(digits, nullptr, hex ? 16 : 10);
    return errno == 0 && number <= limit;
}

bool parseHexBytes(const std::string &text, std::vector<BYTE> &data)
{
    std::string digits;
    for (char c : text) {
        if (c == ',' || c == ' ')
            continue;
        if (!isxdigit(static_cast<unsigned char>(c)))
            return false;
        digits += c;
    }
    if (digits.size() % 2)
        return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        data.push_back(static_cast<BYTE>(strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    return true;
}

void appendUtf16(std::vector<BYTE> &data, const std::u16string &text)
{
    for (char16_t c : text) {
        data.push_back(static_cast<BYTE>(c & 0xFF));
        data.push_back(static_cast<BYTE>(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
}

// Turns TYPE and DATA into the value's type and bytes; on bad input returns false with a message.
bool encodeValue(const std::string &typeName, const std::string &text, DWORD &type, std::vector<BYTE> &data,
                 std::string &error)
{
    std::string name = typeName;
    for (char &c : name)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    bool valid = true;
    if (name == "REG_SZ" || name == "REG_EXPAND_SZ") {
        type = name == "REG_SZ" ? REG_SZ : REG_EXPAND_SZ;
        appendUtf16(data, layer::utf8ToUtf16(text, &valid));
    } else if (name == "REG_MULTI_SZ") {
        type = REG_MULTI_SZ;
        size_t begin = 0;
        while (begin < text.size()) {
            size_t end = text.find("\\0", begin);
            if (end == std::string::npos)
                end = text.size();
            bool itemValid = true;
            appendUtf16(data, layer::utf8ToUtf16(text.substr(begin, end - begin), &itemValid));
            valid = valid && itemValid;
            begin = end + 2;
        }
        data.push_back(0);
        data.push_back(0);
    } else if (name == "REG_DWORD" || name == "REG_QWORD") {
        bool dword = name == "REG_DWORD";
        type = dword ? REG_DWORD : REG_QWORD;
        unsigned long long number;
        if (!parseNumber(text, dword ? 0xFFFFFFFFULL : ~0ULL, number)) {
            error = "\"" + text + "\" is not a " + (dword ? "32" : "64") + "-bit number (decimal or 0x hex)";
            return false;
        }
        for (int i = 0; i < (dword ? 4 : 8); ++i)
            data.push_back(static_cast<BYTE>(number >> (8 * i)));
    } else if (name == "REG_BINARY" || name == "REG_NONE") {
        type = name == "REG_BINARY" ? REG_BINARY : REG_NONE;
        if (!parseHexBytes(text, data)) {
            error = "\"" + text + "\" is not a list of hex bytes (e.g. 01,02,ff)";
            return false;
        }
    } else {
        error = "unknown type \"" + typeName +
                "\" (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE)";
        return false;
    }
    if (!valid) {
        error = "the text is not valid UTF-8";
        return false;
    }
    return true;
}

// Whether a Wine server holds the prefix: it keeps a write lock on the "lock" file of its server
// directory, which lives under $TMPDIR/<name in prefix/wineserver> (Debian) or /tmp/.wine-<uid>.
bool serverSeemsToRun(const std::string &prefix)
{
    struct stat st;
    if (stat(prefix.c_str(), &st) != 0)
        return false;
    char serverDir[64];
    snprintf(serverDir, sizeof serverDir, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
             static_cast<unsigned long long>(st.st_ino));
    std::vector<std::string> candidates;
    FILE *marker = fopen((prefix + "/wineserver").c_str(), "r");
    if (marker) {
        char name[256] = "";
        if (fgets(name, sizeof name, marker)) {
            name[strcspn(name, "\r\n")] = 0;
            const char *tmp = getenv("TMPDIR");
            candidates.push_back(std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "/" + serverDir);
            candidates.push_back(std::string("/tmp/") + name + "/" + serverDir);
        }
        fclose(marker);
    }
    candidates.push_back("/tmp/.wine-" + std::to_string(st.st_uid) + "/" + serverDir);
    candidates.push_back("/tmp/.wine-" + std::to_string(getuid()) + "/" + serverDir);
    for (const std::string &dir : candidates) {
        struct stat socketStat;
        if (stat((dir + "/socket").c_str(), &socketStat) != 0)
            continue;
        int fd = open((dir + "/lock").c_str(), O_RDONLY);
        if (fd < 0)
            return true; // a socket we may not inspect further: assume it is alive
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        bool locked = fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
        close(fd);
        if (locked)
            return true;
    }
    return false;
}

std::string directoryOf(const std::string &file)
{
    size_t slash = file.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
}

} // namespace

int main(int argc, char **argv)
{
    std::string prefix, file;
    bool view32 = false;
    layer::RegArch arch = layer::RegArch::Win64;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            fputs(usage, stdout);
            return 0;
        }
        if (arg == "--prefix" || arg == "--file" || arg == "--arch") {
            if (i + 1 >= argc)
                return badUsage(arg + " needs an argument");
            std::string value = argv[++i];
            if (arg == "--prefix")
                prefix = value;
            else if (arg == "--file")
                file = value;
            else if (value == "win32")
                arch = layer::RegArch::Win32;
            else if (value == "win64")
                arch = layer::RegArch::Win64;
            else
                return badUsage("--arch must be win32 or win64, not \"" + value + "\"");
        } else if (arg == "--view32") {
            view32 = true;
        } else if (arg.size() > 1 && arg[0] == '-' && args.empty()) {
            return badUsage("unknown option " + arg);
        } else {
            args.push_back(arg);
        }
    }
    if (!prefix.empty() && !file.empty())
        return badUsage("give --prefix or --file, not both");
    if (args.empty())
        return badUsage("no command");
    const std::string &command = args[0];
    bool isSet = command == "set";
    if (!isSet && command != "delete")
        return badUsage("unknown command \"" + command + "\" (set or delete)");
    if (isSet ? args.size() != 5 : args.size() != 2 && args.size() != 3)
        return badUsage(isSet ? "set needs KEY NAME TYPE DATA" : "delete needs KEY [NAME]");

    bool machine;
    std::string keyPath;
    if (!parseKey(args[1], machine, keyPath))
        return badUsage("\"" + args[1] + "\" does not start with HKLM\\ or HKCU\\");
    bool validKey = true;
    std::vector<std::u16string> path = layer::splitKeyPath(layer::utf8ToUtf16(keyPath, &validKey));
    if (!validKey)
        return badUsage("the key is not valid UTF-8");
    for (const std::u16string &element : path)
        if (element.size() > 255)
            return badUsage("a key name is longer than 255 characters");
    bool validName = true;
    std::u16string name = args.size() > 2 ? layer::utf8ToUtf16(args[2], &validName) : std::u16string();
    if (!validName)
        return badUsage("the value name is not valid UTF-8");
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    std::string error;
    if (isSet && !encodeValue(args[3], args[4], type, data, error))
        return badUsage(error);

    if (file.empty()) {
        if (prefix.empty())
            prefix = layer::prefixDirectory();
        file = prefix + (machine ? "/system.reg" : "/user.reg");
    } else {
        prefix = directoryOf(file);
    }
    if (serverSeemsToRun(prefix))
        fprintf(stderr,
                "winreg: warning: a Wine server seems to run for %s; it will write its own copy of the\n"
                "registry over this change when it exits. Stop it first: WINEPREFIX=%s wineserver -k\n",
                prefix.c_str(), prefix.c_str());

    layer::RegFile registry;
    switch (layer::loadRegFile(file, registry, error)) {
    case layer::RegLoad::Ok:
        break;
    case layer::RegLoad::Missing: {
        if (!isSet)
            return fail(error);
        struct stat st;
        if (stat(directoryOf(file).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return fail("no directory " + directoryOf(file) + " for " + file + " (is the prefix right?)");
        if (!layer::parseRegFile(layer::newRegFileText(arch, machine ? machineRoot : userRoot), registry, error))
            return fail(error);
        break;
    }
    case layer::RegLoad::Unreadable:
    case layer::RegLoad::Invalid:
        return fail(error);
    }
    for (const std::string &warning : registry.warnings)
        fprintf(stderr, "winreg: warning: %s:%s (left as it is)\n", file.c_str(), warning.substr(5).c_str());

    layer::RegView view = view32 ? layer::RegView::Wow32 : layer::RegView::Native;
    bool changed = isSet                ? layer::setRegValue(registry, path, view, name, type, data, error)
                   : args.size() == 3 ? layer::deleteRegValue(registry, path, view, name, error)
                                      : layer::deleteRegKey(registry, path, view, error);
    if (!changed)
        return fail(error);
    if (!layer::saveRegFile(file, registry.text, error))
        return fail(error);
    return 0;
}
