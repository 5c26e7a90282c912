// Volumes: the free space of the prefix's drives as GetDiskFreeSpaceA reports it (real, or what a
// test gave the drive).
#include "dospath.h"
#include "layer.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

// The drive a resolved directory lies on: the letter the caller wrote, else the one whose target
// holds it. 0 when no drive does.
char driveOf(LPCSTR dosPath, const std::string &native)
{
    if (dosPath && dosPath[0] && dosPath[1] == ':')
        return layer::lowerAscii(dosPath[0]);
    std::string dos = layer::toDosPath(native);
    return dos.size() >= 2 && dos[1] == ':' ? layer::lowerAscii(dos[0]) : 0;
}

// Splits a number of free bytes into the three factors GetDiskFreeSpaceA reports, each within
// 32 bits. Real disks use Wine's layout (512-byte sectors, 8 to a cluster); Wine lets the cluster
// count wrap beyond 16 TiB, where this doubles the sectors per cluster instead.
void splitRealSpace(ULONGLONG freeBytes, ULONGLONG totalBytes, DWORD &sectorsPerCluster, DWORD &bytesPerSector,
                    DWORD &freeClusters, DWORD &totalClusters)
{
    bytesPerSector = 512;
    sectorsPerCluster = 8;
    while (totalBytes / (512ull * sectorsPerCluster) > 0xFFFFFFFFull)
        sectorsPerCluster *= 2;
    freeClusters = static_cast<DWORD>(std::min<ULONGLONG>(freeBytes / (512ull * sectorsPerCluster), 0xFFFFFFFFull));
    totalClusters = static_cast<DWORD>(totalBytes / (512ull * sectorsPerCluster));
}

} // namespace

extern "C" BOOL WINAPI GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster,
                                         LPDWORD lpBytesPerSector, LPDWORD lpNumberOfFreeClusters,
                                         LPDWORD lpTotalNumberOfClusters)
{
    if (layer::failHere("GetDiskFreeSpaceA"))
        return FALSE;
    // Like Wine, any directory of a drive will do; no root means the current drive's root.
    std::string native;
    if (!layer::resolvePath(lpRootPathName ? lpRootPathName : "\\", native))
        return FALSE;
    struct stat st;
    if (stat(native.c_str(), &st) != 0) {
        SetLastError(layer::errorFromErrno(errno));
        return FALSE;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    struct statvfs volume;
    if (statvfs(native.c_str(), &volume) != 0) {
        SetLastError(layer::errorFromErrno(errno));
        return FALSE;
    }
    ULONGLONG freeBytes = static_cast<ULONGLONG>(volume.f_bavail) * volume.f_frsize;
    ULONGLONG totalBytes = static_cast<ULONGLONG>(volume.f_blocks) * volume.f_frsize;
    DWORD sectorsPerCluster;
    DWORD bytesPerSector;
    DWORD freeClusters;
    DWORD totalClusters;
    splitRealSpace(freeBytes, totalBytes, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);

    char drive = driveOf(lpRootPathName, native);
    if (drive && layer::testKit && layer::testKit->freeSpace(drive, sectorsPerCluster, bytesPerSector, freeClusters)) {
        ULONGLONG clusterBytes = static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector;
        totalClusters = static_cast<DWORD>(
            std::min<ULONGLONG>(std::max<ULONGLONG>(totalBytes / clusterBytes, freeClusters), 0xFFFFFFFFull));
    }
    if (lpSectorsPerCluster)
        *lpSectorsPerCluster = sectorsPerCluster;
    if (lpBytesPerSector)
        *lpBytesPerSector = bytesPerSector;
    if (lpNumberOfFreeClusters)
        *lpNumberOfFreeClusters = freeClusters;
    if (lpTotalNumberOfClusters)
        *lpTotalNumberOfClusters = totalClusters;
    return TRUE;
}
