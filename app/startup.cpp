// The program's entry on Windows, and the C library functions that it and the compiler's code call:
// no runtime DLL is loaded, since Windows 95 as sold has none, and no compiler's start-up code is
// linked. The entry runs the constructors of static objects, hands WinMain what Windows' start-up
// code hands it, and ends the process with its result. The native build takes these from its
// system's C library.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

// MinGW's linker script gathers the constructors between a count (-1: up to the null that ends
// the list) and that null.
typedef void (*Constructor)(void);
extern "C" Constructor __CTOR_LIST__[];

static void runConstructors(void)
{
    size_t count = (size_t)__CTOR_LIST__[0];
    if (count == (size_t)-1)
        for (count = 0; __CTOR_LIST__[count + 1]; ++count) {
        }
    for (size_t i = count; i >= 1; --i)
        __CTOR_LIST__[i]();
}

// The command line's text after the program's name (quoted or not) and the blanks that follow it.
static LPSTR argumentsOf(LPSTR commandLine)
{
    BOOL quoted = FALSE;
    for (; *commandLine && (quoted || (*commandLine != ' ' && *commandLine != '\t')); ++commandLine)
        if (*commandLine == '"')
            quoted = !quoted;
    while (*commandLine == ' ' || *commandLine == '\t')
        ++commandLine;
    return commandLine;
}

extern "C" void WinMainCRTStartup(void)
{
    runConstructors();
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    int show = startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess(WinMain(GetModuleHandleA(NULL), NULL, argumentsOf(GetCommandLineA()), show));
}

// The process heap serves the program's few blocks. This file is compiled without the compiler
// turning its loops back into calls of these very functions.
extern "C" void *malloc(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

extern "C" void free(void *block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

extern "C" void *memset(void *destination, int value, size_t count)
{
    unsigned char *to = (unsigned char *)destination;
    while (count--)
        *to++ = (unsigned char)value;
    return destination;
}

extern "C" void *memcpy(void *destination, const void *source, size_t count)
{
    unsigned char *to = (unsigned char *)destination;
    const unsigned char *from = (const unsigned char *)source;
    while (count--)
        *to++ = *from++;
    return destination;
}

extern "C" void *memchr(const void *block, int value, size_t count)
{
    for (const unsigned char *at = (const unsigned char *)block; count--; ++at)
        if (*at == (unsigned char)value)
            return (void *)at;
    return NULL;
}

extern "C" size_t strlen(const char *text)
{
    const char *end = text;
    while (*end)
        ++end;
    return end - text;
}
