// The message buffer, the formatter that fills it, and the message box routine.
#include "common/message.h"

#include <stdarg.h>

char messageText[1024];

// A bounded buffer that the formatter writes into: what does not fit is dropped and noted.
struct Output {
    char *next;
    char *end; // the last byte, kept for the terminator
    BOOL cut;
};

static void put(Output *out, char c)
{
    if (out->next < out->end)
        *out->next++ = c;
    else
        out->cut = TRUE;
}

static void putText(Output *out, const char *text, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        put(out, text[i]);
}

// Digits are written from the end of a scratch buffer; returns where they start.
static char *digitsOf(unsigned long long value, char *end, int minimumDigits)
{
    char *start = end;
    do {
        *--start = (char)('0' + value % 10);
        value /= 10;
    } while (value || end - start < minimumDigits);
    return start;
}

// The text of a number, right-aligned in `width` with blanks as printf aligns it.
static void putField(Output *out, const char *sign, const char *text, size_t length, int width)
{
    size_t signLength = sign[0] != 0;
    for (size_t used = signLength + length; (int)used < width; ++used)
        put(out, ' ');
    putText(out, sign, signLength);
    putText(out, text, length);
}

static void putInteger(Output *out, int value, int width)
{
    char scratch[16];
    // The magnitude is taken unsigned, where INT_MIN's has room.
    unsigned magnitude = value < 0 ? 0u - (unsigned)value : (unsigned)value;
    char *end = scratch + sizeof scratch;
    char *start = digitsOf(magnitude, end, 1);
    putField(out, value < 0 ? "-" : "", start, end - start, width);
}

// Fixed-point, to `precision` decimals (at most 9), the last one rounded half away from zero as
// MSVCRT rounds it. Exact for every value a float holds, as the free megabytes are: its fraction
// times 10^9 still fits a double's 53 bits. Values beyond 2^64, which no drive comes near, are
// shown as "inf", and NaN as "nan".
static void putFixed(Output *out, double value, int precision, int width)
{
    static const unsigned SCALES[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000,
                                      1000000000};
    if (precision > 9)
        precision = 9;
    const char *sign = value < 0 ? "-" : "";
    double magnitude = value < 0 ? -value : value;
    if (!(magnitude < 18446744073709551616.0)) {
        putField(out, sign, magnitude == magnitude ? "inf" : "nan", 3, width);
        return;
    }
    unsigned long long whole = (unsigned long long)magnitude;
    double scaled = (magnitude - (double)whole) * SCALES[precision];
    unsigned long long decimals = (unsigned long long)scaled;
    if (scaled - (double)decimals >= 0.5 && ++decimals == SCALES[precision]) {
        decimals = 0;
        ++whole;
    }
    char scratch[32];
    char *end = scratch + sizeof scratch;
    char *start = end;
    if (precision > 0) {
        start = digitsOf(decimals, end, precision);
        *--start = '.';
    }
    start = digitsOf(whole, start, 1);
    putField(out, sign, start, end - start, width);
}

// printf's conversions that the program's messages use: %s, %c, %d, %f with a width and a
// precision, and %%. Anything else is copied as it stands.
static BOOL formatTextArgs(char *buffer, size_t size, const char *format, va_list args)
{
    if (size == 0)
        return FALSE;
    Output out = {buffer, buffer + size - 1, FALSE};
    while (*format) {
        if (*format != '%') {
            put(&out, *format++);
            continue;
        }
        const char *conversion = format++;
        int width = 0;
        while (*format >= '0' && *format <= '9')
            width = width * 10 + (*format++ - '0');
        int precision = -1;
        if (*format == '.') {
            precision = 0;
            while (*++format >= '0' && *format <= '9')
                precision = precision * 10 + (*format - '0');
        }
        switch (*format) {
        case 's': {
            const char *text = va_arg(args, const char *);
            if (!text)
                text = "(null)";
            size_t length = 0;
            while (text[length] && (precision < 0 || length < (size_t)precision))
                ++length;
            putField(&out, "", text, length, width);
            break;
        }
        case 'c': {
            char c = (char)va_arg(args, int);
            putField(&out, "", &c, 1, width);
            break;
        }
        case 'd':
        case 'i': putInteger(&out, va_arg(args, int), width); break;
        case 'f': putFixed(&out, va_arg(args, double), precision < 0 ? 6 : precision, width); break;
        case '%': put(&out, '%'); break;
        default:
            // An unknown conversion, or a format that ends inside one.
            putText(&out, conversion, format - conversion + (*format != 0));
            if (!*format)
                continue;
        }
        ++format;
    }
    *out.next = 0;
    return !out.cut;
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
