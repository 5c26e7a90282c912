// Wine's registry file parser and its one-value edits, and the registry API reading the same text
// as the prefix's system.reg. The input is the file's text.
//
// What must hold: a key's path finds its key again; the reader for lookups (indexRegFile) refuses
// what the full parse refuses and finds every key, in both views, with the same path and values; a value that an edit wrote reads back as
// written from a text that parses, and every other key keeps its values; RegQueryValueExA writes
// no further than the size it was given.
#include "fuzz_support.h"

#include <cstring>
#include <map>
#include <memory>

#include "layer_control.h"
#include "regedit.h"

namespace {

using layer::RegFile;
using layer::RegView;

const char RECORD_KEY[] = "Software\\Quorvex\\VK: Zarkhul Zuva";
const char *const NAMES[] = {"Installed To:", "Installed From:", "Velk 2 Installed", "Cheater", "", "SymbolicLinkValue"};
const DWORD TYPES[] = {REG_SZ, REG_DWORD, REG_BINARY, REG_EXPAND_SZ, REG_MULTI_SZ, REG_QWORD, 0x12345678};

std::u16string u16(const char *text)
{
    return layer::ansiToUtf16(text, strlen(text));
}

std::string describe(const std::vector<std::u16string> &path)
{
    std::string text;
    for (const std::u16string &part : path)
        text += "\\" + layer::utf16ToUtf8(part);
    return text.empty() ? "\\" : text;
}

// Every key's values as a program reads them, by the key's folded path.
typedef std::map<std::u16string, std::pair<DWORD, std::vector<BYTE>>> Values;
std::map<std::u16string, Values> snapshot(const RegFile &file, std::u16string *skip)
{
    std::map<std::u16string, Values> keys;
    for (size_t node = 0; node < file.nodes.size(); ++node) {
        std::u16string key;
        for (const std::u16string &part : layer::regKeyPath(file, static_cast<int>(node)))
            key += u'\\' + layer::foldName(part);
        if (skip && key == *skip)
            continue;
        Values &values = keys[key];
        for (const layer::RegValue &value : layer::regKeyValues(file, static_cast<int>(node)))
            values[layer::foldName(value.name)] = {value.type, value.data};
    }
    return keys;
}

std::u16string foldedPath(const RegFile &file, int node)
{
    std::u16string key;
    for (const std::u16string &part : layer::regKeyPath(file, node))
        key += u'\\' + layer::foldName(part);
    return key;
}

void checkTree(const RegFile &file)
{
    for (size_t node = 0; node < file.nodes.size(); ++node) {
        std::vector<std::u16string> path = layer::regKeyPath(file, static_cast<int>(node));
        FUZZ_CHECK(layer::findRegNode(file, path) == static_cast<int>(node), "the path " + describe(path) +
                                                                                " finds another key");
    }
}

bool sameValues(const std::vector<layer::RegValue> &a, const std::vector<layer::RegValue> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].data != b[i].data)
            return false;
    return true;
}

void checkLookups(const RegFile &file)
{
    RegFile index;
    std::string error;
    FUZZ_CHECK(layer::indexRegFile(file.text, index, error), "the reader for lookups refused the file: " + error);
    FUZZ_CHECK(sameValues(layer::regKeyValues(index, 0), layer::regKeyValues(file, 0)), "the root's values differ");
    for (size_t node = 0; node < file.nodes.size(); ++node) {
        std::vector<std::u16string> path = layer::regKeyPath(file, static_cast<int>(node));
        FUZZ_CHECK(layer::findRegNode(index, path) >= 0, "the reader for lookups misses " + describe(path));
        for (RegView view : {RegView::Native, RegView::Wow32}) {
            int full = layer::findRegKey(file, 0, path, view);
            int found = layer::findRegKey(index, 0, path, view);
            FUZZ_CHECK((full < 0) == (found < 0), "the readers disagree whether " + describe(path) + " exists");
            if (full < 0)
                continue;
            FUZZ_CHECK(layer::regKeyPath(index, found) == layer::regKeyPath(file, full) &&
                           sameValues(layer::regKeyValues(index, found), layer::regKeyValues(file, full)),
                       "the readers disagree on " + describe(path));
        }
    }
}

void editOnce(const RegFile &parsed, const uint8_t *data, size_t size)
{
    RegFile file = parsed;
    // The key: the record's, or one the file has; the value, its type and data from the input.
    std::vector<std::u16string> path = layer::splitKeyPath(u16(RECORD_KEY));
    if (size % 3 == 1 && file.nodes.size() > 1)
        path = layer::regKeyPath(file, static_cast<int>(size / 3 % file.nodes.size()));
    RegView view = size % 2 ? RegView::Wow32 : RegView::Native;
    std::u16string name = u16(NAMES[size % (sizeof NAMES / sizeof *NAMES)]);
    DWORD type = TYPES[size / 7 % (sizeof TYPES / sizeof *TYPES)];
    size_t length = size < 24 ? size : 24;
    std::vector<BYTE> bytes(data + size - length, data + size);
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
        bytes.resize(bytes.size() & ~static_cast<size_t>(1));

    std::string error;
    std::map<std::u16string, Values> before = snapshot(file, nullptr);
    if (!layer::setRegValue(file, path, view, name, type, bytes, error)) {
        FUZZ_CHECK(!error.empty(), "an edit failed without saying why");
        return;
    }
    RegFile reread;
    FUZZ_CHECK(layer::parseRegFile(file.text, reread, error), "the edited text no longer parses: " + error);
    int node = layer::findRegKey(reread, 0, path, view);
    FUZZ_CHECK(node >= 0, "the edited key " + describe(path) + " is gone");
    bool found = false;
    for (const layer::RegValue &value : layer::regKeyValues(reread, node))
        if (layer::foldName(value.name) == layer::foldName(name))
            found = value.type == type && value.data == bytes;
    FUZZ_CHECK(found, "the value written to " + describe(path) + " reads back otherwise");

    // A link's value redirects the keys below it: only an edit elsewhere must leave all alone.
    if (name == u16("SymbolicLinkValue"))
        return;
    std::u16string edited = foldedPath(reread, node);
    std::map<std::u16string, Values> after = snapshot(reread, &edited);
    for (const auto &key : before) {
        if (key.first == edited)
            continue;
        auto it = after.find(key.first);
        FUZZ_CHECK(it != after.end() && it->second == key.second,
                   "the key " + layer::utf16ToUtf8(key.first) + " changed with an edit of " + describe(path));
    }
}

void queryRecord(const std::string &text, size_t size)
{
    writeFile(fuzzPrefix() + "/system.reg", text);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RECORD_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (const char *name : NAMES) {
        DWORD capacity = static_cast<DWORD>(size % 37);
        std::unique_ptr<BYTE[]> buffer(new BYTE[capacity ? capacity : 1]);
        DWORD type = 0;
        DWORD length = capacity;
        RegQueryValueExA(key, name, nullptr, &type, capacity ? buffer.get() : nullptr, &length);
    }
    RegCloseKey(key);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (fuzzPrefix(), true);
    (void)ready;
    std::string text(reinterpret_cast<const char *>(data), size);
    RegFile file;
    std::string error;
    if (!layer::parseRegFile(text, file, error)) {
        FUZZ_CHECK(!error.empty(), "a file was refused without saying why");
        RegFile index;
        FUZZ_CHECK(!layer::indexRegFile(text, index, error), "the reader for lookups took a file refused");
        return 0;
    }
    checkTree(file);
    checkLookups(file);
    editOnce(file, data, size);
    queryRecord(text, size);
    return 0;
}
