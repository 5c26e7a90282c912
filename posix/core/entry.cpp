// The process entry of a program built over the layer: it hands control to WinMain as the Windows
// start-up code does, with the command line's text after the program name.
#include <windows.h>

#include <string>

int main(int argc, char **argv)
{
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(GetModuleHandleA(nullptr), nullptr, &commandLine[0], SW_SHOWNORMAL);
}
