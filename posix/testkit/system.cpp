// What tests set and ask of the machine the layer runs on: the desktop's size, where the named
// objects are kept, and the release of a DLL.
#include "layer.h"
#include "layer_control.h"
#include "windowing.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace layer::win;

extern "C" void layerSetDesktopSize(int width, int height)
{
    if (width < 1 || height < 1) {
        SIZE now = desktopSize();
        fprintf(stderr, "layerSetDesktopSize: %d x %d is no desktop size; it stays %ld x %ld\n", width, height,
                static_cast<long>(now.cx), static_cast<long>(now.cy));
        return;
    }
    setDesktopSize({width, height});
}

extern "C" BOOL layerObjectStorePath(char *buffer, DWORD size)
{
    std::string path = layer::objectStorePath();
    if (path.empty() || !buffer || path.size() >= size)
        return FALSE;
    memcpy(buffer, path.c_str(), path.size() + 1);
    return TRUE;
}

// The layer's built-in DLLs stay loaded for the process's life, as Windows' own system DLLs do.
extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    if (hLibModule && (hLibModule == GetModuleHandleA("kernel32.dll") || hLibModule == GetModuleHandleA("comctl32.dll")))
        return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
