// The handle table, the reset hooks and the helpers that every API family of the layer uses.
#include "layer.h"

#include <time.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <vector>

namespace layer {
namespace {

std::mutex tableLock;

std::map<HANDLE, std::unique_ptr<KernelObject>> &handleTable()
{
    static std::map<HANDLE, std::unique_ptr<KernelObject>> table;
    return table;
}

std::vector<void (*)()> &resetHooks()
{
    static std::vector<void (*)()> hooks;
    return hooks;
}

} // namespace

TerminalHooks terminalHooks = {nullptr, nullptr};
const TestKit *testKit = nullptr;

HANDLE addHandle(std::unique_ptr<KernelObject> object)
{
    // Handles are multiples of 4 from 0x100 on, as small as Windows' own and never NULL or -1.
    static uintptr_t next = 0x100;
    std::lock_guard<std::mutex> guard(tableLock);
    HANDLE handle = reinterpret_cast<HANDLE>(next);
    next += 4;
    handleTable()[handle] = std::move(object);
    return handle;
}

KernelObject *findHandle(HANDLE handle)
{
    std::lock_guard<std::mutex> guard(tableLock);
    auto it = handleTable().find(handle);
    return it == handleTable().end() ? nullptr : it->second.get();
}

bool closeHandle(HANDLE handle)
{
    std::unique_ptr<KernelObject> object;
    {
        std::lock_guard<std::mutex> guard(tableLock);
        auto it = handleTable().find(handle);
        if (it == handleTable().end())
            return false;
        object = std::move(it->second);
        handleTable().erase(it);
    }
    return true; // the object is destroyed here, outside the lock
}

bool modePermits(const struct stat &st, int access)
{
    int shift = 0;
    if (st.st_uid == geteuid()) {
        shift = 6;
    } else if (st.st_gid == getegid()) {
        shift = 3;
    } else {
        gid_t groups[256];
        int count = getgroups(256, groups);
        for (int i = 0; i < count && shift == 0; ++i)
            if (groups[i] == st.st_gid)
                shift = 3;
    }
    return ((st.st_mode >> shift) & access) == static_cast<mode_t>(access);
}

long long monotonicMilliseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

ResetHook::ResetHook(void (*fn)())
{
    resetHooks().push_back(fn);
}

void resetLayer()
{
    for (void (*hook)() : resetHooks())
        hook();
    SetLastError(0);
}

} // namespace layer
