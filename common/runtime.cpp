// The C runtime calls the program makes beyond Win32.
#include "common/runtime.h"

int _chmod(const char *path, int mode)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return -1;
    // What GetFileAttributesA reports but SetFileAttributesA does not take goes; no attribute at
    // all is written as the one that says so.
    attributes &= ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    if (!(mode & _S_IWRITE))
        attributes |= FILE_ATTRIBUTE_READONLY;
    return SetFileAttributesA(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL) ? 0 : -1;
}
