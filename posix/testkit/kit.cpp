// The test kit's side of the seam: the controls of layer_control.h that script what the machine
// does (calls that fail, a disk's free space, a copy's fault, a child's exit code, Windows 98),
// the reset that puts everything back, and the table of hooks that it installs before main runs.
#include "layer.h"
#include "layer_control.h"
#include "testkit.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct ScriptedFailure {
    int skip;
    DWORD error;
    bool kept;  // fails every call from its first until stopped
    bool fired; // a kept failure failed a call
};

struct PendingCopyFault {
    std::string name; // lower case; empty for any destination
    layer::CopyFault fault;
};

// Controls may be set and used from any thread: a copy runs wherever the program calls it.
struct Controls {
    std::map<std::string, std::vector<ScriptedFailure>> failures;
    std::map<std::string, int> failedCalls; // since the last reset or stop
    std::map<char, ULONGLONG> freeSpace; // by lower-case drive letter
    std::vector<PendingCopyFault> copyFaults;
    bool plainCopy = false;
    bool exitCodeGiven = false;
    DWORD exitCode = 0;
    bool windows98 = false;
};

std::mutex controlLock;

Controls &controls()
{
    static Controls c;
    return c;
}

bool failCall(const char *function)
{
    std::lock_guard<std::mutex> guard(controlLock);
    auto it = controls().failures.find(function);
    if (it == controls().failures.end() || it->second.empty())
        return false;
    ScriptedFailure &next = it->second.front();
    if (next.skip > 0) {
        --next.skip;
        return false;
    }
    SetLastError(next.error);
    ++controls().failedCalls[function];
    if (next.kept)
        next.fired = true;
    else
        it->second.erase(it->second.begin());
    return true;
}

// The factors of an amount whose product is exactly that amount: one-byte sectors, one to a
// cluster, where it fits 32 bits; above that, the smallest sector size up to 64 KiB that divides
// it into a count of 32 bits. An amount that no such size divides is rounded down to whole
// clusters of eight 512-byte sectors, as a real disk's is.
bool freeSpace(char drive, DWORD &sectorsPerCluster, DWORD &bytesPerSector, DWORD &freeClusters)
{
    ULONGLONG bytes;
    {
        std::lock_guard<std::mutex> guard(controlLock);
        auto it = controls().freeSpace.find(drive);
        if (it == controls().freeSpace.end())
            return false;
        bytes = it->second;
    }
    const ULONGLONG limit = 0xFFFFFFFFull;
    sectorsPerCluster = 1;
    for (ULONGLONG sector = std::max<ULONGLONG>(1, bytes / limit + (bytes % limit != 0)); sector <= 0xFFFF; ++sector) {
        if (bytes % sector == 0) {
            bytesPerSector = static_cast<DWORD>(sector);
            freeClusters = static_cast<DWORD>(bytes / sector);
            return true;
        }
    }
    for (sectorsPerCluster = 8; bytes / (512ull * sectorsPerCluster) > limit;)
        sectorsPerCluster *= 2;
    bytesPerSector = 512;
    freeClusters = static_cast<DWORD>(bytes / (512ull * sectorsPerCluster));
    return true;
}

bool copyFault(const std::string &destinationName, layer::CopyFault &fault)
{
    std::lock_guard<std::mutex> guard(controlLock);
    std::vector<PendingCopyFault> &pending = controls().copyFaults;
    std::string name = layer::lowerAscii(destinationName);
    for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->name.empty() || it->name == name) {
            fault = it->fault;
            pending.erase(it);
            return true;
        }
    }
    return false;
}

bool plainCopy()
{
    std::lock_guard<std::mutex> guard(controlLock);
    return controls().plainCopy;
}

bool exitCode(DWORD &code)
{
    std::lock_guard<std::mutex> guard(controlLock);
    if (!controls().exitCodeGiven)
        return false;
    controls().exitCodeGiven = false;
    code = controls().exitCode;
    return true;
}

bool windows98()
{
    std::lock_guard<std::mutex> guard(controlLock);
    return controls().windows98;
}

const layer::TestKit kit = {failCall,  freeSpace, copyFault,  plainCopy, exitCode,
                            windows98, testkit::activeDisplay, testkit::idle};

struct Installed {
    Installed() { layer::testKit = &kit; }
} installed;

// The controls a reset drops before they took effect, as the calls that set them up.
std::string unusedControls(const Controls &c)
{
    std::string text;
    auto note = [&text](const std::string &what) { text += (text.empty() ? "" : ", ") + what; };
    for (const auto &scripted : c.failures)
        for (const ScriptedFailure &failure : scripted.second)
            if (!failure.fired)
                note((failure.kept ? "layerKeepFailingCall(\"" : "layerFailCall(\"") + scripted.first + "\")");
    for (const PendingCopyFault &unused : c.copyFaults)
        note(unused.name.empty() ? "layerFailCopy(NULL)" : "layerFailCopy(\"" + unused.name + "\")");
    if (c.exitCodeGiven)
        note("layerReportExitCode(" + std::to_string(c.exitCode) + ")");
    return text;
}

} // namespace

extern "C" const char *layerReset(void)
{
    static std::string unused;
    {
        std::lock_guard<std::mutex> guard(controlLock);
        unused = unusedControls(controls());
        controls() = Controls();
    }
    testkit::resetDisplay();
    testkit::resetInput();
    layer::resetLayer();
    return unused.c_str();
}

extern "C" void layerFailCall(const char *function, DWORD error, int skip)
{
    std::lock_guard<std::mutex> guard(controlLock);
    controls().failures[function].push_back({skip < 0 ? 0 : skip, error, false, false});
}

extern "C" void layerKeepFailingCall(const char *function, DWORD error, int skip)
{
    std::lock_guard<std::mutex> guard(controlLock);
    controls().failures[function].push_back({skip < 0 ? 0 : skip, error, true, false});
}

extern "C" int layerStopFailingCall(const char *function)
{
    std::lock_guard<std::mutex> guard(controlLock);
    controls().failures.erase(function);
    int failed = controls().failedCalls[function];
    controls().failedCalls.erase(function);
    return failed;
}

extern "C" void layerSetFreeSpace(char drive, ULONGLONG bytes)
{
    std::lock_guard<std::mutex> guard(controlLock);
    controls().freeSpace[layer::lowerAscii(drive)] = bytes;
}

extern "C" void layerFailCopy(const char *name, LayerCopyFault fault, ULONGLONG bytes, DWORD error)
{
    layer::CopyFault::Kind kind = fault == LAYER_COPY_DISK_FULL     ? layer::CopyFault::DiskFull
                                  : fault == LAYER_COPY_INTERRUPTED ? layer::CopyFault::Interrupted
                                                                    : layer::CopyFault::Fails;
    std::lock_guard<std::mutex> guard(controlLock);
    controls().copyFaults.push_back({name ? layer::lowerAscii(name) : "", {kind, bytes, error}});
}

extern "C" void layerUsePlainCopy(BOOL plain)
{
    std::lock_guard<std::mutex> guard(controlLock);
    controls().plainCopy = plain != FALSE;
}

extern "C" void layerReportExitCode(DWORD code)
{
    std::lock_guard<std::mutex> guard(controlLock);
    controls().exitCodeGiven = true;
    controls().exitCode = code;
}

extern "C" void layerPretendWindows98(BOOL on)
{
    std::lock_guard<std::mutex> guard(controlLock);
    controls().windows98 = on != FALSE;
}
