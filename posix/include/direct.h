/* The MSVC runtime's directory calls that the program uses. */
#ifndef POSIX_DIRECT_H
#define POSIX_DIRECT_H

#include <windows.h>

WIN32_EXTERN_C_BEGIN
/* The current directory as a DOS path (drive letter form where a drive of the prefix maps it).
   Returns NULL with errno ERANGE when it does not fit size bytes, and with EINVAL for a NULL
   buffer: the runtime's allocation of one is not served. */
char *_getcwd(char *buffer, int size);
WIN32_EXTERN_C_END

#endif
