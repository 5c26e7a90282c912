// The MSVC runtime's formatted output, with MSVCRT.DLL's rules for a text that does not fit. The
// runtime's file calls (_chmod, _getcwd) are in files.cpp.
#include <stdio.h>

#include <cstring>
#include <vector>

extern "C" int _vsnprintf(char *buffer, size_t count, const char *format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int length = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0)
        return -1;
    if (static_cast<size_t>(length) < count)
        return vsnprintf(buffer, count, format, args);
    std::vector<char> whole(static_cast<size_t>(length) + 1);
    vsnprintf(whole.data(), whole.size(), format, args);
    memcpy(buffer, whole.data(), count);
    return static_cast<size_t>(length) == count ? length : -1;
}
