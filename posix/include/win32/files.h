/* DOS paths and files: existence test, copy, move, delete, flush, attributes, free space, the
   current and the Windows directory. */
#ifndef POSIX_WIN32_FILES_H
#define POSIX_WIN32_FILES_H

#include "wintypes.h"

#define MAX_PATH 260
#define OFS_MAXPATHNAME 128
#define HFILE_ERROR ((HFILE)-1)

#define OF_EXIST 0x00004000

typedef struct _OFSTRUCT {
    BYTE cBytes;
    BYTE fFixedDisk;
    WORD nErrCode;
    WORD Reserved1;
    WORD Reserved2;
    CHAR szPathName[OFS_MAXPATHNAME];
} OFSTRUCT, *LPOFSTRUCT, *POFSTRUCT;

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_WRITE_THROUGH 0x00000008

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define OPEN_EXISTING 3
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

WIN32_EXTERN_C_BEGIN

/* The existence test alone: any other style than OF_EXIST gives ERROR_INVALID_PARAMETER. */
HFILE WINAPI OpenFile(LPCSTR lpFileName, LPOFSTRUCT lpReOpenBuff, UINT uStyle);
BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists);
/* Within one volume. A move onto the file's own name, even in another case, gives
   ERROR_NOT_SUPPORTED; MoveFileExA takes MOVEFILE_REPLACE_EXISTING alone, and any other flags give
   ERROR_INVALID_PARAMETER. */
BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName);
BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags);
/* Opens an existing file for writing, to flush it: any other access than GENERIC_WRITE or other
   disposition than OPEN_EXISTING gives ERROR_INVALID_PARAMETER, and so does FILE_SHARE_DELETE while
   the layer answers as Windows 98 does. No other program opens the file, so sharing decides nothing. */
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI FlushFileBuffers(HANDLE hFile);
BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName);
/* FILE_ATTRIBUTE_READONLY alone has an effect; a directory keeps its attributes. */
BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes);
DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer);
/* The root of a drive, however written ("C:\\", "c:/"): any other directory, or none, gives
   ERROR_INVALID_PARAMETER. */
BOOL WINAPI GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster, LPDWORD lpBytesPerSector,
                              LPDWORD lpNumberOfFreeClusters, LPDWORD lpTotalNumberOfClusters);

WIN32_EXTERN_C_END

#endif
