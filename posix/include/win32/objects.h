/* Handles, the thread's last error, and named kernel objects (semaphores and mutexes). */
#ifndef POSIX_WIN32_OBJECTS_H
#define POSIX_WIN32_OBJECTS_H

#include "wintypes.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

WIN32_EXTERN_C_BEGIN

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
/* Closes a handle of any kind; the object goes with its last handle in any process. The pseudo
   handles of the current process and thread are unknown handles (ERROR_INVALID_HANDLE). */
BOOL WINAPI CloseHandle(HANDLE hObject);

/* Names are shared by all processes of the user that work in the same Wine prefix, compared with
   case, at most MAX_PATH bytes, in the session's own directory: a name with a backslash leads into
   directories of the object tree that are not served (ERROR_PATH_NOT_FOUND, or ERROR_BAD_PATHNAME
   for a leading one). A name that exists already
   gives a new handle and ERROR_ALREADY_EXISTS; a name held by the other kind gives NULL and
   ERROR_INVALID_HANDLE; a new object sets the last error to 0. A NULL or empty name makes an
   object of the process's own. Counts and ownership are not modelled: the objects stand for names
   that programs hold while they run, and waiting on one fails with ERROR_NOT_SUPPORTED. */
HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount,
                               LONG lMaximumCount, LPCSTR lpName);
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);

WIN32_EXTERN_C_END

#endif
