// The registry, read from the Wine prefix's registry file: HKEY_LOCAL_MACHINE from system.reg, the
// only root the program reads. The program is a 32-bit one, so in a 64-bit prefix it sees the
// 32-bit view (Software\Wow6432Node) unless it asks for KEY_WOW64_64KEY.
#include "dospath.h"
#include "layer.h"
#include "regfile.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// An open key's values as the file held them when it was opened.
using KeyValues = std::vector<layer::RegValue>;

std::mutex keysLock;
std::map<HKEY, KeyValues> &openKeys()
{
    static std::map<HKEY, KeyValues> keys;
    return keys;
}

// Key handles are multiples of 4 like every handle, from a range of their own so that they never
// equal a handle of the layer's kernel objects.
HKEY addKey(KeyValues values)
{
    static uintptr_t next = 0x40000000;
    std::lock_guard<std::mutex> guard(keysLock);
    HKEY handle = reinterpret_cast<HKEY>(next);
    next += 4;
    openKeys()[handle] = std::move(values);
    return handle;
}

bool findKey(HKEY handle, KeyValues &values)
{
    std::lock_guard<std::mutex> guard(keysLock);
    auto it = openKeys().find(handle);
    if (it == openKeys().end())
        return false;
    values = it->second;
    return true;
}

bool isOpenKey(HKEY handle)
{
    std::lock_guard<std::mutex> guard(keysLock);
    return openKeys().count(handle) != 0;
}

bool isPredefined(HKEY handle)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    uintptr_t first = reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT);
    return value >= first && value <= first + 6;
}

// Reads system.reg. Like Wine, the layer refuses a prefix that is not the user's own: another
// user's registry is not ours to read or change.
LONG loadMachine(layer::RegFile &file, struct stat &st)
{
    struct stat prefix;
    if (stat(layer::prefixDirectory().c_str(), &prefix) != 0 || !S_ISDIR(prefix.st_mode)) {
        layer::reportUnusablePrefix("it does not exist");
        return ERROR_FILE_NOT_FOUND;
    }
    if (prefix.st_uid != getuid()) {
        layer::reportUnusablePrefix("it is not owned by you");
        return ERROR_ACCESS_DENIED;
    }
    std::string path = layer::prefixDirectory() + "/system.reg";
    std::string error;
    layer::RegLoad loaded = layer::loadRegFile(path, file, error);
    if (loaded != layer::RegLoad::Ok)
        layer::reportUnusablePrefix(error);
    switch (loaded) {
    case layer::RegLoad::Ok:
        break;
    case layer::RegLoad::Missing:
        return ERROR_FILE_NOT_FOUND;
    case layer::RegLoad::Unreadable:
        return ERROR_ACCESS_DENIED;
    case layer::RegLoad::Invalid:
        return ERROR_BADDB;
    }
    return stat(path.c_str(), &st) == 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

} // namespace

extern "C" LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    if (layer::failHere("RegOpenKeyExA"))
        return static_cast<LONG>(GetLastError());
    (void)ulOptions; // REG_OPTION_OPEN_LINK is the only option, and the program opens no links
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;

    // Keys are opened from HKEY_LOCAL_MACHINE, as the program opens its record: not from another
    // predefined key, nor below a key already open.
    if (hKey != HKEY_LOCAL_MACHINE)
        return isPredefined(hKey) || isOpenKey(hKey) ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE;
    // Keys are only read: KEY_READ in either view. Other rights, generic ones and MAXIMUM_ALLOWED
    // are not served.
    if ((samDesired & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY)) != KEY_READ)
        return ERROR_INVALID_PARAMETER;
    // An empty subkey gives HKEY_LOCAL_MACHINE back as it is, as Windows returns a predefined key.
    if (!lpSubKey || !*lpSubKey) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    if (lpSubKey[0] == '\\')
        return ERROR_BAD_PATHNAME;
    std::vector<std::u16string> path = layer::splitKeyPath(layer::ansiToUtf16(lpSubKey, strlen(lpSubKey)));
    for (const std::u16string &element : path)
        if (element.size() > 255)
            return ERROR_INVALID_PARAMETER;

    layer::RegFile file;
    struct stat st;
    LONG loaded = loadMachine(file, st);
    if (loaded != ERROR_SUCCESS)
        return loaded;
    layer::RegView view = (samDesired & KEY_WOW64_64KEY) ? layer::RegView::Native : layer::RegView::Wow32;
    int node = layer::findRegKey(file, path, view);
    if (node < 0)
        return ERROR_FILE_NOT_FOUND;
    // Judged as for an ordinary user: root is held to the read bits that apply to it like anyone
    // else, as the Wine server run by a user would be.
    if (!layer::modePermits(st, R_OK))
        return ERROR_ACCESS_DENIED;
    *phkResult = addKey(layer::regKeyValues(file, node));
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData)
{
    if (layer::failHere("RegQueryValueExA"))
        return static_cast<LONG>(GetLastError());
    if ((lpData && !lpcbData) || lpReserved)
        return ERROR_INVALID_PARAMETER;

    // Values are read from keys opened below HKEY_LOCAL_MACHINE, as the program reads its record;
    // a predefined key's own are not served.
    if (isPredefined(hKey))
        return ERROR_INVALID_PARAMETER;
    KeyValues values;
    if (!findKey(hKey, values))
        return ERROR_INVALID_HANDLE;

    DWORD capacity = lpcbData ? *lpcbData : 0;
    if (!lpData && lpcbData)
        *lpcbData = 0;
    if (lpType)
        *lpType = REG_NONE;
    std::u16string name = lpValueName ? layer::ansiToUtf16(lpValueName, strlen(lpValueName)) : std::u16string();
    std::u16string folded = layer::foldName(name);
    const layer::RegValue *value = nullptr;
    for (const layer::RegValue &candidate : values)
        if (layer::foldName(candidate.name) == folded)
            value = &candidate;
    if (!value)
        return ERROR_FILE_NOT_FOUND;

    LONG result = ERROR_SUCCESS;
    DWORD size;
    if (value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ) {
        // Strings come back in the ANSI code page, whole UTF-16 units only. One stored without its
        // terminator gets one in the buffer when there is room, which the size does not count.
        std::u16string units;
        for (size_t i = 0; i + 1 < value->data.size(); i += 2)
            units.push_back(static_cast<char16_t>(value->data[i] | (value->data[i + 1] << 8)));
        std::string text = layer::utf16ToAnsi(units.data(), units.size());
        size = static_cast<DWORD>(text.size());
        if (lpData && size) {
            if (size > capacity) {
                result = ERROR_MORE_DATA;
            } else {
                memcpy(lpData, text.data(), size);
                if (size < capacity && lpData[size - 1])
                    lpData[size] = 0;
            }
        }
    } else {
        size = static_cast<DWORD>(value->data.size());
        if (lpData) {
            if (size > capacity)
                result = ERROR_MORE_DATA;
            else if (size)
                memcpy(lpData, value->data.data(), size);
        }
    }
    if (lpType)
        *lpType = value->type;
    if (lpcbData)
        *lpcbData = size;
    return result;
}

extern "C" LONG WINAPI RegCloseKey(HKEY hKey)
{
    if (layer::failHere("RegCloseKey"))
        return static_cast<LONG>(GetLastError());
    if (isPredefined(hKey))
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(keysLock);
    return openKeys().erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
