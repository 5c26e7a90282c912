// The C runtime calls the program makes beyond Win32, as its own small routines over Win32: the
// program needs Windows alone, not a runtime DLL that Windows 95 as sold lacks.
#ifndef DA12_COMMON_RUNTIME_H
#define DA12_COMMON_RUNTIME_H

#include <windows.h>

#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080

// With _S_IWRITE the file becomes writable (its read-only attribute is cleared), without it
// read-only; its other attributes stay. Returns 0, or -1 when its attributes cannot be read or set,
// as for a file that does not exist.
extern "C" int _chmod(const char *path, int mode);

#endif
