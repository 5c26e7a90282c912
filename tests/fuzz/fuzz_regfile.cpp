// Wine's registry file parser and its one-value edits, and the registry API reading the same text
// as the prefix's system.reg. The input is the file's text.
//
// What must hold: a key's path finds its key again; a value that an edit wrote reads back as
// written from a text that parses, and every other key keeps its values; the registry API, reading
// the text from the prefix, finds the record and its values where the parse finds them in the
// 32-bit view, and RegQueryValueExA writes no further than the size it was given.
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
    int node = layer::findRegKey(reread, path, view);
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

void queryRecord(const RegFile &file, const std::string &text, size_t size)
{
    writeFile(fuzzPrefix() + "/system.reg", text);
    int record = layer::findRegKey(file, layer::splitKeyPath(u16(RECORD_KEY)), RegView::Wow32);
    HKEY key;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, RECORD_KEY, 0, KEY_READ, &key);
    FUZZ_CHECK((opened == ERROR_SUCCESS) == (record >= 0),
               "RegOpenKeyExA answered " + std::to_string(opened) + " for a record the parse finds at " +
                   std::to_string(record));
    if (opened != ERROR_SUCCESS)
        return;
    std::vector<layer::RegValue> values = layer::regKeyValues(file, record);
    for (const char *name : NAMES) {
        const layer::RegValue *parsed = nullptr;
        for (const layer::RegValue &value : values)
            if (layer::foldName(value.name) == layer::foldName(u16(name)))
                parsed = &value;
        DWORD capacity = static_cast<DWORD>(size % 37);
        std::unique_ptr<BYTE[]> buffer(new BYTE[capacity ? capacity : 1]);
        DWORD type = 0;
        DWORD length = capacity;
        LONG queried = RegQueryValueExA(key, name, nullptr, &type, capacity ? buffer.get() : nullptr, &length);
        FUZZ_CHECK((queried != ERROR_FILE_NOT_FOUND) == (parsed != nullptr) && (!parsed || type == parsed->type),
                   std::string("RegQueryValueExA disagrees with the parse on the value \"") + name + "\"");
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
        return 0;
    }
    checkTree(file);
    editOnce(file, data, size);
    queryRecord(file, text, size);
    return 0;
}
