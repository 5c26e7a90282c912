// A child program for the process and object tests. It writes its argument text, as it received it,
// to "layer_child.out" in its current directory, then acts on that text:
//   "exit <n> ..."              ends with exit code n
//   "sleep <ms> ..."            waits ms milliseconds, then ends with exit code 0
//   "semaphore <ms> <name>"     creates the named semaphore (or mutex), writes "created", "exists" or
//   "mutex <ms> <name>"         "error <code>" and a line feed to "layer_child.obj", holds the object
//                               for ms milliseconds, then ends with exit code 0
// Anything else ends with exit code 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The name follows the hold time and one blank, and runs to the end of the text, blanks included.
int holdObject(const char *kind, const char *rest)
{
    char *afterTime;
    DWORD holdMs = static_cast<DWORD>(strtoul(rest, &afterTime, 10));
    const char *name = *afterTime == ' ' ? afterTime + 1 : afterTime;
    HANDLE object = strcmp(kind, "mutex") == 0 ? CreateMutexA(nullptr, FALSE, name)
                                               : CreateSemaphoreA(nullptr, 0, 1, name);
    DWORD error = GetLastError();
    if (FILE *report = fopen("layer_child.obj", "wb")) {
        if (!object)
            fprintf(report, "error %lu\n", static_cast<unsigned long>(error));
        else
            fputs(error == ERROR_ALREADY_EXISTS ? "exists\n" : "created\n", report);
        fclose(report);
    }
    Sleep(holdMs);
    if (object)
        CloseHandle(object);
    return 0;
}

} // namespace

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
    if (strncmp(lpCmdLine, "semaphore ", 10) == 0)
        return holdObject("semaphore", lpCmdLine + 10);
    if (strncmp(lpCmdLine, "mutex ", 6) == 0)
        return holdObject("mutex", lpCmdLine + 6);
    return 0;
}
