// The message buffer and the message box routine.
#include "common/message.h"

#include <stdarg.h>
#include <stdio.h>

char messageText[1024];

// The C runtime's own _vsnprintf (MSVCRT.DLL's on Windows) writes at most `count` characters and
// returns -1 when the text is longer; it leaves the terminator out when the text fills them all,
// so it is given one byte less and the last byte is always a terminator.
static BOOL formatTextArgs(char *buffer, size_t size, const char *format, va_list args)
{
    if (size == 0)
        return FALSE;
    int length = _vsnprintf(buffer, size - 1, format, args);
    buffer[size - 1] = 0;
    return length >= 0;
}

BOOL formatText(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    BOOL fits = formatTextArgs(buffer, size, format, args);
    va_end(args);
    return fits;
}

BOOL formatMessage(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    BOOL fits = formatTextArgs(messageText, sizeof messageText, format, args);
    va_end(args);
    return fits;
}

int showMessage(const char *text, const char *caption, UINT style, HWND owner)
{
    return MessageBoxA(owner, text, caption, style);
}
