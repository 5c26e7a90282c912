// Resources: the compiled resource file (.res) that the build embeds in the executable, served by
// type and number, in the language asked for, as Windows serves a module's resource section.
#include "layer.h"
#include "resources.h"

#include <vector>

// The embedded .res; a program without resources leaves them undefined.
extern "C" const unsigned char layer_resources[] __attribute__((weak));
extern "C" const unsigned char layer_resources_end[] __attribute__((weak));

using layer::programModule;
using layer::Resource;
using layer::ResourceId;

namespace {

WORD readWord(const unsigned char *p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD readDword(const unsigned char *p)
{
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

// Reads a type or name field of an entry header: 0xFFFF then an ordinal, or a UTF-16 string, which
// is passed over.
bool readId(const unsigned char *&p, const unsigned char *end, ResourceId &id)
{
    if (end - p < 2)
        return false;
    if (readWord(p) == 0xFFFF) {
        if (end - p < 4)
            return false;
        id.isOrdinal = true;
        id.ordinal = readWord(p + 2);
        p += 4;
        return true;
    }
    id.isOrdinal = false;
    for (;;) {
        if (end - p < 2)
            return false;
        WORD c = readWord(p);
        p += 2;
        if (c == 0)
            return true;
    }
}

const std::vector<Resource> &resources()
{
    static const std::vector<Resource> table =
        layer_resources && layer_resources_end ? layer::parseResources(layer_resources, layer_resources_end)
                                               : std::vector<Resource>();
    return table;
}

bool isOrdinal(const ResourceId &id, LPCSTR ordinal)
{
    return id.isOrdinal && id.ordinal == LOWORD(reinterpret_cast<ULONG_PTR>(ordinal));
}

bool isOwnModule(HMODULE module)
{
    return module == nullptr || module == programModule;
}

} // namespace

std::vector<layer::Resource> layer::parseResources(const unsigned char *begin, const unsigned char *end)
{
    std::vector<Resource> list;
    const unsigned char *p = begin;
    while (end - p >= 32) {
        DWORD dataSize = readDword(p);
        DWORD headerSize = readDword(p + 4);
        if (headerSize < 32 || static_cast<size_t>(end - p) < headerSize ||
            static_cast<size_t>(end - p) - headerSize < dataSize)
            break;
        const unsigned char *field = p + 8;
        const unsigned char *headerEnd = p + headerSize;
        Resource res;
        if (!readId(field, headerEnd, res.type) || !readId(field, headerEnd, res.name))
            break;
        field = p + ((field - p + 3) & ~3);
        if (headerEnd - field < 16)
            break;
        res.language = readWord(field + 6); // after DataVersion and MemoryFlags
        res.data = p + headerSize;
        res.size = dataSize;
        // The leading empty entry that marks a 32-bit .res file has type and name 0.
        if (!(res.type.isOrdinal && res.type.ordinal == 0))
            list.push_back(res);
        size_t next = (headerSize + dataSize + 3) & ~static_cast<size_t>(3);
        if (static_cast<size_t>(end - p) <= next)
            break;
        p += next;
    }
    return list;
}

extern "C" HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType)
{
    if (layer::failHere("FindResourceA"))
        return nullptr;
    return FindResourceExA(hModule, lpType, lpName, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

extern "C" HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo)
{
    if (!hResInfo || !isOwnModule(hModule))
        return nullptr;
    return const_cast<unsigned char *>(reinterpret_cast<const Resource *>(hResInfo)->data);
}

extern "C" LPVOID WINAPI LockResource(HGLOBAL hResData)
{
    return hResData;
}

extern "C" DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo)
{
    if (!hResInfo || !isOwnModule(hModule)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return reinterpret_cast<const Resource *>(hResInfo)->size;
}

// ==== from resources.cpp
extern "C" HRSRC WINAPI FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage)
{
    if (!isOwnModule(hModule)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    // The program names its resources and their types by number.
    if (!IS_INTRESOURCE(lpType) || !IS_INTRESOURCE(lpName)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    bool typeSeen = false;
    const Resource *found = nullptr;
    // A resource stored in more than one language is found in the language asked for, else in the
    // first one stored.
    for (const Resource &res : resources()) {
        if (!isOrdinal(res.type, lpType))
            continue;
        typeSeen = true;
        if (isOrdinal(res.name, lpName) && (!found || res.language == wLanguage))
            found = &res;
    }
    if (!found) {
        SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<Resource *>(found));
}
