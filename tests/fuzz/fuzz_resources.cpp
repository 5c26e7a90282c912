// The .res parser: entry headers with ordinal and string ids, alignment, sizes that lie; every
// dialog template found in the file goes on to the template parser. The input is a .res file.
//
// What must hold: every entry's data lies within the file, and nothing reads outside it (the bytes
// are copied to a buffer of exactly their size so that AddressSanitizer sees any overrun).
#include "fuzz_support.h"

#include <cstring>
#include <memory>

#include "resources.h"
#include "windowing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[size ? size : 1]);
    if (size)
        memcpy(bytes.get(), data, size);
    const unsigned char *begin = bytes.get();
    const unsigned char *end = begin + size;
    std::vector<layer::Resource> entries = layer::parseResources(begin, end);
    for (const layer::Resource &entry : entries) {
        FUZZ_CHECK(entry.data >= begin && entry.data <= end && entry.size <= static_cast<size_t>(end - entry.data),
                   "entry data at " + std::to_string(entry.data - begin) + " size " + std::to_string(entry.size) +
                       " in " + std::to_string(size) + " bytes");
        if (entry.type.isOrdinal && entry.type.ordinal == 5) {
            layer::win::DialogSpec layout = {};
            layer::win::parseTemplate(entry.data, entry.size, layout);
        }
    }
    return 0;
}
