// Processes: starting a child, waiting for it, reading its exit code.
#include "layer.h"

#include <time.h>

extern "C" void WINAPI Sleep(DWORD dwMilliseconds)
{
    struct timespec delay;
    delay.tv_sec = dwMilliseconds / 1000;
    delay.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    while (nanosleep(&delay, &delay) != 0) {
    }
}
