/* Handles, the thread's last error, and named kernel objects (semaphores and mutexes). */
#ifndef POSIX_WIN32_OBJECTS_H
#define POSIX_WIN32_OBJECTS_H

#include "wintypes.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

WIN32_EXTERN_C_BEGIN

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
BOOL WINAPI CloseHandle(HANDLE hObject);

HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount,
                               LONG lMaximumCount, LPCSTR lpName);
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);

WIN32_EXTERN_C_END

#endif
