// DOS paths on POSIX, resolved through the Wine prefix's drive links.
#include "dospath.h"

#include <cstdlib>

namespace layer {

std::string prefixDirectory()
{
    const char *prefix = getenv("WINEPREFIX");
    if (prefix && *prefix)
        return prefix;
    const char *home = getenv("HOME");
    return std::string(home && *home ? home : "") + "/.wine";
}

} // namespace layer
