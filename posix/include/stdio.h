/* The C library's stdio, with what the MSVC runtime adds to it that the program uses. */
#ifndef POSIX_STDIO_H
#define POSIX_STDIO_H

#include_next <stdio.h>

#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif
/* As MSVCRT.DLL formats: at most `count` characters; the text's length when it fits, terminated
   when there is room for the terminator; -1 when it is longer, with the first `count` characters
   written and no terminator. */
int _vsnprintf(char *buffer, size_t count, const char *format, va_list args);
#ifdef __cplusplus
}
#endif

#endif
