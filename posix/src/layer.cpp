// The handle table, scripted failures and reset hooks that every API family of the layer uses.
#include "layer.h"
#include "layer_control.h"
#include "seam.h"

#include <time.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace layer {
namespace {

std::mutex tableLock;

std::map<HANDLE, std::unique_ptr<KernelObject>> &handleTable()
{
    static std::map<HANDLE, std::unique_ptr<KernelObject>> table;
    return table;
}

struct ScriptedFailure {
    int skip;
    DWORD error;
};

std::map<std::string, std::vector<ScriptedFailure>> &failures()
{
    static std::map<std::string, std::vector<ScriptedFailure>> scripted;
    return scripted;
}

// What the reset in progress found scripted but never used, as "layerFailCall(\"RegCloseKey\")", ...
std::string &unusedControls()
{
    static std::string text;
    return text;
}

void noteUnused(const std::string &what)
{
    std::string &text = unusedControls();
    if (!text.empty())
        text += ", ";
    text += what;
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

bool failHere(const char *function)
{
    std::lock_guard<std::mutex> guard(tableLock);
    auto it = failures().find(function);
    if (it == failures().end() || it->second.empty())
        return false;
    ScriptedFailure &next = it->second.front();
    if (next.skip > 0) {
        --next.skip;
        return false;
    }
    SetLastError(next.error);
    it->second.erase(it->second.begin());
    return true;
}

void reportUnused(const std::string &what)
{
    std::lock_guard<std::mutex> guard(tableLock);
    noteUnused(what);
}

ResetHook::ResetHook(void (*fn)())
{
    resetHooks().push_back(fn);
}

} // namespace layer

extern "C" void layerFailCall(const char *function, DWORD error, int skip)
{
    std::lock_guard<std::mutex> guard(layer::tableLock);
    layer::failures()[function].push_back({skip < 0 ? 0 : skip, error});
}

extern "C" const char *layerReset(void)
{
    {
        std::lock_guard<std::mutex> guard(layer::tableLock);
        layer::unusedControls().clear();
        for (const auto &scripted : layer::failures())
            for (size_t i = 0; i < scripted.second.size(); ++i)
                layer::noteUnused("layerFailCall(\"" + scripted.first + "\")");
        layer::failures().clear();
    }
    for (void (*hook)() : layer::resetHooks())
        hook();
    SetLastError(0);
    return layer::unusedControls().c_str();
}
