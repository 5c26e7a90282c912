// The message buffer and the one message box routine through which the installer reports.
#ifndef DA12_COMMON_MESSAGE_H
#define DA12_COMMON_MESSAGE_H

#include <windows.h>

// Process-wide text into which message texts, and some paths that are only tested, are formatted.
extern char messageText[1024];

// Formats into a buffer of `size` bytes, printf-style. A text too long for the buffer is cut at its
// end; returns FALSE when that happened.
BOOL formatText(char *buffer, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));

// Formats into messageText, printf-style. A text too long for the buffer is cut at its end;
// returns FALSE when that happened.
BOOL formatMessage(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Shows a message box with the given text, caption, style and owner; returns the button pressed.
int showMessage(const char *text, const char *caption, UINT style, HWND owner);

#endif
