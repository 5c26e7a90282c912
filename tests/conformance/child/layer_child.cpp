// A child program for the process tests. It writes its argument text, as it received it, to
// "layer_child.out" in its current directory, then acts on that text:
//   "exit <n> ..."   ends with exit code n
//   "sleep <ms> ..." waits ms milliseconds, then ends with exit code 0
// Anything else ends with exit code 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int)
{
    if (FILE *out = fopen("layer_child.out", "wb")) {
        fputs(lpCmdLine, out);
        fclose(out);
    }
    if (strncmp(lpCmdLine, "exit ", 5) == 0)
        return atoi(lpCmdLine + 5);
    if (strncmp(lpCmdLine, "sleep ", 6) == 0)
        Sleep(static_cast<DWORD>(atoi(lpCmdLine + 6)));
    return 0;
}
