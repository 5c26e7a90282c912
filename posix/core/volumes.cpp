// Volumes: the free space of the prefix's drives as GetDiskFreeSpaceA reports it (real, or what a
// test gave the drive).
#include "dospath.h"
#include "layer.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace {

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
    // The program asks for the root of a drive. It is served however Windows' path rules let it be
    // written ("C:\\", "c:/", "C:\\\\"), but no other directory, nor none.
    bool onDrive = lpRootPathName && lpRootPathName[0] && lpRootPathName[1] == ':' &&
                   (lpRootPathName[2] == '\\' || lpRootPathName[2] == '/');
    std::string full;
    DWORD error = ERROR_INVALID_PARAMETER;
    if (!onDrive || !layer::toFullDosPath(lpRootPathName, full, &error) || full.size() != 3) {
        SetLastError(error);
        return FALSE;
    }
    // A drive's root resolves only where the drive's link leads to a directory.
    std::string native;
    if (!layer::resolvePath(full.c_str(), native))
        return FALSE;
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

    char drive = layer::lowerAscii(full[0]);
    if (layer::testKit && layer::testKit->freeSpace(drive, sectorsPerCluster, bytesPerSector, freeClusters)) {
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
