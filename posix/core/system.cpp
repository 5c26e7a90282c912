// The system: the version of Windows the program is told it runs on, Windows' directories in the
// prefix, and the system DLLs that the layer serves itself, as Wine serves its built-in ones.
#include "codepage.h"
#include "layer.h"
#include "resources.h"

#include <commctrl.h>

#include <cstring>
#include <string>

namespace {

// Windows 8 to 11 to a program that does not declare them in a manifest: 6.2, build 9200. Windows 98
// is 4.10, build 1998, with the high bit set, as on Windows 95, 98 and Me.
const DWORD ntVersion = 0x23F00206;
const DWORD windows98Version = 0xC0000A04;

const char windowsDirectory[] = "C:\\windows";
const char systemDirectory[] = "C:\\windows\\system32";

// Handles of the built-in DLLs, at addresses no native mapping of ours takes for a module.
HMODULE const kernel32Module = reinterpret_cast<HMODULE>(0x7b000000);
HMODULE const user32Module = reinterpret_cast<HMODULE>(0x7b400000);
HMODULE const advapi32Module = reinterpret_cast<HMODULE>(0x7b800000);
HMODULE const comctl32Module = reinterpret_cast<HMODULE>(0x7c000000);

UINT copyDirectory(const char *directory, UINT length, LPSTR buffer, UINT size)
{
    if (!buffer || size <= length)
        return length + 1;
    memcpy(buffer, directory, length + 1);
    return length;
}

// The built-in DLL of that file name, extension included ("comctl32.dll"), or of that path in the
// system directory.
HMODULE builtinModule(LPCSTR name)
{
    if (!name)
        return nullptr;
    std::string lower = layer::lowerAscii(name);
    std::string systemPrefix = layer::lowerAscii(std::string(systemDirectory) + "\\");
    if (lower.compare(0, systemPrefix.size(), systemPrefix) == 0)
        lower.erase(0, systemPrefix.size());
    if (lower == "kernel32.dll")
        return kernel32Module;
    if (lower == "user32.dll")
        return user32Module;
    if (lower == "advapi32.dll")
        return advapi32Module;
    if (lower == "comctl32.dll")
        return comctl32Module;
    return nullptr;
}

} // namespace

extern "C" DWORD WINAPI GetVersion(void)
{
    return layer::isWindows98() ? windows98Version : ntVersion;
}

extern "C" UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return copyDirectory(windowsDirectory, sizeof windowsDirectory - 1, lpBuffer, uSize);
}

extern "C" UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return copyDirectory(systemDirectory, sizeof systemDirectory - 1, lpBuffer, uSize);
}

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    HMODULE module = builtinModule(lpLibFileName);
    if (!module)
        SetLastError(ERROR_MOD_NOT_FOUND);
    return module;
}

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    if (lpModuleName == nullptr)
        return layer::programModule;
    HMODULE module = builtinModule(lpModuleName);
    if (!module)
        SetLastError(ERROR_MOD_NOT_FOUND);
    return module;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    if (hModule == comctl32Module && !IS_INTRESOURCE(lpProcName) && strcmp(lpProcName, "InitCommonControls") == 0)
        return reinterpret_cast<FARPROC>(InitCommonControls);
    bool builtin = hModule == kernel32Module || hModule == user32Module || hModule == advapi32Module ||
                   hModule == comctl32Module;
    SetLastError(builtin ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE);
    return nullptr;
}

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar)
{
    if (CodePage != CP_ACP || dwFlags != 0 || !lpMultiByteStr || cbMultiByte != -1 || !lpWideCharStr ||
        cchWideChar <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string wide = layer::ansiToUtf16(lpMultiByteStr, strlen(lpMultiByteStr) + 1);
    if (wide.size() > static_cast<size_t>(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(WCHAR));
    return static_cast<int>(wide.size());
}
