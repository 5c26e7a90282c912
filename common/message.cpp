// The message buffer and the message box routine.
#include "common/message.h"

#include <stdarg.h>
#include <stdio.h>

char messageText[1024];

static BOOL formatTextArgs(char *buffer, size_t size, const char *format, va_list args)
{
    int length = vsnprintf(buffer, size, format, args);
    return length >= 0 && (size_t)length < size;
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
