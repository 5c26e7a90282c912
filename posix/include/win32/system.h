/* The system the program runs on: the version of Windows, its directories, and the system DLLs a
   program loads itself. */
#ifndef POSIX_WIN32_SYSTEM_H
#define POSIX_WIN32_SYSTEM_H

#include "wintypes.h"

#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800

#define CP_ACP 0

typedef INT_PTR(WINAPI *FARPROC)(void);

WIN32_EXTERN_C_BEGIN

/* Windows 8 to 11 as a program without a manifest that names them sees it: version 6.2, build 9200
   in the high word, whose top bit is clear (Windows 95, 98 and Me set it). */
DWORD WINAPI GetVersion(void);
/* Wine's prefix keeps Windows in C:\windows and its system DLLs in C:\windows\system32. Too small a
   buffer gets nothing and the size needed, terminator included; otherwise the length without it. */
UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
/* The system DLLs that the layer itself serves, as Wine serves its built-in ones: "kernel32.dll",
   "user32.dll", "advapi32.dll" and "comctl32.dll", by name (with the extension) or in the system
   directory, in any case. Any other name fails with ERROR_MOD_NOT_FOUND. */
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
/* comctl32's InitCommonControls; anything else fails with ERROR_PROC_NOT_FOUND, as Windows 95
   answers for the calls that later versions brought. */
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
/* A text of the ANSI code page (Windows-1252, as in an English prefix) in UTF-16, as the program
   converts it: CP_ACP without flags, a terminated text (length -1) and a buffer, which gets the
   terminator too; the count returned includes it. Too small a buffer fails with
   ERROR_INSUFFICIENT_BUFFER; other code pages, flags and lengths with ERROR_INVALID_PARAMETER. */
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);

WIN32_EXTERN_C_END

#endif
