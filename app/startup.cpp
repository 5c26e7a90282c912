// The program's entry on Windows. The C runtime is MSVCRT.DLL, which sets itself up when it is
// loaded, so no compiler's start-up code is linked: this entry runs the constructors of static
// objects, hands WinMain what Windows' start-up code hands it, and ends the process with its result.
#include <windows.h>

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
