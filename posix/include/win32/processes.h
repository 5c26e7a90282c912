/* Child processes: start one, wait for its end, read its exit code. */
#ifndef POSIX_WIN32_PROCESSES_H
#define POSIX_WIN32_PROCESSES_H

#include "wintypes.h"

#define INFINITE 0xFFFFFFFF
#define STATUS_WAIT_0 ((DWORD)0x00000000L)
#define STATUS_PENDING ((DWORD)0x00000103L)
#define STILL_ACTIVE STATUS_PENDING
#define WAIT_OBJECT_0 ((STATUS_WAIT_0) + 0)
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

#define DEBUG_PROCESS 0x00000001
#define DEBUG_ONLY_THIS_PROCESS 0x00000002
#define CREATE_SUSPENDED 0x00000004
#define NORMAL_PRIORITY_CLASS 0x00000020

#define PROCESS_QUERY_INFORMATION 0x0400

#define STARTF_USESHOWWINDOW 0x00000001

typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

WIN32_EXTERN_C_BEGIN

/* The pseudo handle that stands for the calling process, (HANDLE)-1. */
HANDLE WINAPI GetCurrentProcess(void);
/* The program opens only the desktop shell's process, and the layer's desktop has no shell: no
   process is opened by its id, which fails with ERROR_INVALID_PARAMETER, as an id no process has. */
HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
/* The child is a native process of its own, with the caller's environment and no descriptors but
   stdin, stdout and stderr. The application name, which must be given, and the current directory
   are DOS paths.
   The command line's text after its first token and the blanks that follow reaches a native
   program (ELF, or a script with "#!" and the execute bit) as its one argument, as the native path
   where that text is a DOS path. A Windows program (a PE file) runs through Wine, with the DOS
   command line: the loader is $LAYER_WINE_LOADER when that is set (an absolute path, or a name in
   PATH; empty for no Wine), else /usr/lib/wine/wine64, else "wine" in PATH. Without Wine a
   Windows program is one the system cannot run, and fails with ERROR_BAD_EXE_FORMAT as on Windows
   (a prefix that wants a Windows program's work done natively puts a native program in its place).
   Any other file fails with ERROR_BAD_EXE_FORMAT, synchronously, as does a failed execve.
   DEBUG_PROCESS, DEBUG_ONLY_THIS_PROCESS, CREATE_SUSPENDED and an environment block give
   ERROR_NOT_SUPPORTED; the other flags, the security attributes, handle inheritance and the startup
   information are accepted and have no effect. */
BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes, LPSECURITY_ATTRIBUTES lpThreadAttributes,
                           BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment,
                           LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation);
/* Waits for the child of a process handle to end, without a time limit: another time than INFINITE
   gives ERROR_INVALID_PARAMETER, and another kind of handle (a child's thread among them)
   ERROR_NOT_SUPPORTED. */
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
/* A child that a signal ended has the exit code 128 plus the signal's number (137 for SIGKILL),
   as the shell reports it. */
BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
void WINAPI Sleep(DWORD dwMilliseconds);

WIN32_EXTERN_C_END

#endif
