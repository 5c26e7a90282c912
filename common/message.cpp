// The message buffer and the message box routine.
#include "common/message.h"

#include <stdarg.h>
#include <stdio.h>

char messageText[1024];

BOOL formatMessage(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int length = vsnprintf(messageText, sizeof messageText, format, args);
    va_end(args);
    return length >= 0 && length < (int)sizeof messageText;
}

int showMessage(const char *text, const char *caption, UINT style, HWND owner)
{
    return MessageBoxA(owner, text, caption, style);
}
