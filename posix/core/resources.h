// The compiled resource file (.res) that the build embeds: its entries as FindResource serves them.
#ifndef POSIX_RESOURCES_H
#define POSIX_RESOURCES_H

#include <windows.h>

#include <vector>

namespace layer {

// The module handle of the program itself; Windows loads executables at this address.
inline HMODULE const programModule = reinterpret_cast<HMODULE>(0x400000);

// A type or name: an ordinal, or a string, which no lookup names.
struct ResourceId {
    bool isOrdinal = true;
    WORD ordinal = 0;
};

struct Resource {
    ResourceId type;
    ResourceId name;
    WORD language = 0;
    const unsigned char *data = nullptr; // into the parsed bytes
    DWORD size = 0;
};

// The entries of the .res bytes [begin, end), in file order, without the empty entry that opens a
// 32-bit .res file. Reading stops at the first entry whose header or data would reach past `end`.
std::vector<Resource> parseResources(const unsigned char *begin, const unsigned char *end);

} // namespace layer

#endif
