/* The MSVC runtime's low-level file calls that the program uses. */
#ifndef POSIX_IO_H
#define POSIX_IO_H

#include <windows.h>

#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080

WIN32_EXTERN_C_BEGIN
/* With _S_IWRITE the file becomes writable (its read-only attribute is cleared); without it, read-only.
   Returns 0, or -1 with errno set when the file's attributes cannot be read or set (ENOENT for a
   missing file or directory). A directory keeps its attributes. */
int _chmod(const char *path, int mode);
WIN32_EXTERN_C_END

#endif
