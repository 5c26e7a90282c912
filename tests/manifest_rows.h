// The pack manifests as tests and tools read them: how many rows a manifest has, and the file a
// row names.
#ifndef TESTS_MANIFEST_ROWS_H
#define TESTS_MANIFEST_ROWS_H

#include <string>

#include "install/manifest.h"

// The file as a manifest row names it, without the blanks that fill some names.
inline std::string trimmed(const char *name)
{
    std::string text = name;
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// The rows before the manifest's terminating row (an empty name).
inline int manifestRows(const ManifestEntry *manifest)
{
    int n = 0;
    while (manifest[n].fileName[0])
        ++n;
    return n;
}

#endif
