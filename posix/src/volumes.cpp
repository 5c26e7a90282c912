// Volumes: the free space of the prefix's drives as GetDiskFreeSpaceA reports it (real, or what a
// test set).
#include "dospath.h"
#include "layer.h"
#include "layer_control.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex spaceLock;
std::map<char, ULONGLONG> simulatedFreeSpace; // by lower-case drive letter

void resetVolumes()
{
    std::lock_guard<std::mutex> guard(spaceLock);
    simulatedFreeSpace.clear();
}

const layer::ResetHook resetHook(resetVolumes);

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

// Splits a simulated amount so that the product of the factors is exactly that amount: one-byte
// sectors, one to a cluster, where the amount fits 32 bits; above that, the smallest sector size
// up to 64 KiB that divides it into a count of 32 bits. An amount that no such size divides is
// reported as a real disk is, rounded down to a whole cluster.
void splitSimulatedSpace(ULONGLONG bytes, DWORD &sectorsPerCluster, DWORD &bytesPerSector, DWORD &freeClusters)
{
    const ULONGLONG limit = 0xFFFFFFFFull;
    sectorsPerCluster = 1;
    ULONGLONG smallest = std::max<ULONGLONG>(1, bytes / limit + (bytes % limit != 0)); // leaves 32 bits
    for (ULONGLONG sector = smallest; sector <= 0xFFFF; ++sector) {
        if (bytes % sector == 0) {
            bytesPerSector = static_cast<DWORD>(sector);
            freeClusters = static_cast<DWORD>(bytes / sector);
            return;
        }
    }
    DWORD totalClusters;
    splitRealSpace(bytes, bytes, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

} // namespace

extern "C" void layerSetFreeSpace(char drive, ULONGLONG bytes)
{
    std::lock_guard<std::mutex> guard(spaceLock);
    simulatedFreeSpace[layer::lowerAscii(drive)] = bytes;
}

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
    ULONGLONG simulated = 0;
    bool isSimulated = false;
    {
        std::lock_guard<std::mutex> guard(spaceLock);
        auto it = simulatedFreeSpace.find(drive);
        if (drive && it != simulatedFreeSpace.end()) {
            simulated = it->second;
            isSimulated = true;
        }
    }
    if (isSimulated) {
        splitSimulatedSpace(simulated, sectorsPerCluster, bytesPerSector, freeClusters);
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
