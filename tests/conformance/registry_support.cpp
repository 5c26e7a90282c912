// Registry helpers of the conformance tests: through the registry file natively, through the
// registry API with KEY_WOW64_32KEY on Windows, so both put a value where a 32-bit program finds it.
#include "registry_support.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include "regedit.h"
#endif

std::string testRegistryRoot()
{
#ifdef _WIN32
    unsigned long id = GetCurrentProcessId();
#else
    unsigned long id = static_cast<unsigned long>(getpid());
#endif
    return "Software\\LayerRegistryTest-" + std::to_string(id);
}

#ifdef _WIN32

void setTestRegistryValue(const char *keyPath, const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                                  nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create HKLM\\" << keyPath << ": error " << result;
        return;
    }
    result = RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
    if (result != ERROR_SUCCESS)
        ADD_FAILURE() << "cannot set " << name << " in HKLM\\" << keyPath << ": error " << result;
    RegCloseKey(key);
}

void deleteTestRegistryKey(const char *keyPath)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return;
    RegDeleteTreeA(key, nullptr);
    RegCloseKey(key);
    LONG result = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, keyPath, KEY_WOW64_32KEY, 0);
    if (result != ERROR_SUCCESS)
        ADD_FAILURE() << "cannot delete HKLM\\" << keyPath << ": error " << result;
}

#else

namespace {

std::string registryFile()
{
    return testPrefix() + "/system.reg";
}

bool load(layer::RegFile &file)
{
    std::string error;
    if (layer::loadRegFile(registryFile(), file, error) != layer::RegLoad::Ok) {
        ADD_FAILURE() << error;
        return false;
    }
    return true;
}

std::vector<std::u16string> keyElements(const char *keyPath)
{
    return layer::splitKeyPath(layer::ansiToUtf16(keyPath, strlen(keyPath)));
}

} // namespace

void setTestRegistryValue(const char *keyPath, const char *name, DWORD type, const void *data, DWORD size)
{
    layer::RegFile file;
    if (!load(file))
        return;
    std::vector<BYTE> bytes;
    const char *text = static_cast<const char *>(data);
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        // RegSetValueExA counts a forgotten terminator; the caller's buffer holds that byte.
        if (size && text[size - 1] && !text[size])
            ++size;
        std::u16string units = layer::ansiToUtf16(text, size);
        for (char16_t unit : units) {
            bytes.push_back(static_cast<BYTE>(unit & 0xFF));
            bytes.push_back(static_cast<BYTE>(unit >> 8));
        }
    } else {
        bytes.assign(text, text + size);
    }
    std::u16string valueName = name ? layer::ansiToUtf16(name, strlen(name)) : std::u16string();
    std::string error;
    if (!layer::setRegValue(file, keyElements(keyPath), layer::RegView::Wow32, valueName, type, bytes, error) ||
        !layer::saveRegFile(registryFile(), file.text, error))
        ADD_FAILURE() << "cannot set " << (name ? name : "(default)") << " in HKLM\\" << keyPath << ": " << error;
}

void deleteTestRegistryKey(const char *keyPath)
{
    layer::RegFile file;
    if (!load(file))
        return;
    std::vector<std::u16string> path = keyElements(keyPath);
    if (layer::findRegKey(file, path, layer::RegView::Wow32) < 0)
        return;
    std::string error;
    if (!layer::deleteRegKey(file, path, layer::RegView::Wow32, error) ||
        !layer::saveRegFile(registryFile(), file.text, error))
        ADD_FAILURE() << "cannot delete HKLM\\" << keyPath << ": " << error;
}

#endif
