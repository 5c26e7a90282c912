// Read-only file mappings guarded against their files being cut short.
//
// Touching a page of a mapping that lies wholly past its file's end raises SIGBUS. The guard, a
// SIGBUS handler installed with the first mapping, knows the mappings by the ranges they occupy:
// a fault inside one replaces the rest of that mapping with zero pages and lets the read go on; any
// other fault goes to the action that was there before.
#include "mapping.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace layer {
namespace {

// The mappings the guard knows, as [begin, end) with `end` at a page boundary; 0 for a free slot.
// The handler reads them without a lock.
const int SLOTS = 16;
std::atomic<uintptr_t> slotBegin[SLOTS];
std::atomic<uintptr_t> slotEnd[SLOTS];
uintptr_t pageSize;
struct sigaction previousAction;
std::mutex slotLock;

void onBusError(int signal, siginfo_t *info, void *context)
{
    uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (int i = 0; i < SLOTS; ++i) {
        uintptr_t begin = slotBegin[i].load(), end = slotEnd[i].load();
        if (begin && address >= begin && address < end) {
            uintptr_t page = address & ~(pageSize - 1);
            if (mmap(reinterpret_cast<void *>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1,
                     0) != MAP_FAILED)
                return;
        }
    }
    // Not a mapping of ours: the fault is the program's, as it would have been.
    if (previousAction.sa_flags & SA_SIGINFO) {
        if (previousAction.sa_sigaction) {
            previousAction.sa_sigaction(signal, info, context);
            return;
        }
    } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
        previousAction.sa_handler(signal);
        return;
    }
    // The default action: restored, the faulting access runs again and ends the process.
    sigaction(SIGBUS, &previousAction, nullptr);
}

void installGuard()
{
    pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action = {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &previousAction);
}

} // namespace

std::shared_ptr<const MappedFile> MappedFile::map(int fd, size_t size)
{
    static std::once_flag installed;
    std::call_once(installed, installGuard);
    if (size == 0)
        return nullptr;
    std::lock_guard<std::mutex> guard(slotLock);
    int slot = 0;
    while (slot < SLOTS && slotBegin[slot].load())
        ++slot;
    if (slot == SLOTS)
        return nullptr;
    // Populated at once: the pages are the page cache's own, so this costs no copy.
    void *data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (data == MAP_FAILED)
        return nullptr;
    uintptr_t begin = reinterpret_cast<uintptr_t>(data);
    slotEnd[slot] = (begin + size + pageSize - 1) & ~(pageSize - 1);
    slotBegin[slot] = begin;
    return std::shared_ptr<const MappedFile>(new MappedFile(static_cast<const char *>(data), size, slot));
}

MappedFile::~MappedFile()
{
    std::lock_guard<std::mutex> guard(slotLock);
    slotBegin[slot_] = 0;
    slotEnd[slot_] = 0;
    munmap(const_cast<char *>(data_), size_);
}

} // namespace layer
