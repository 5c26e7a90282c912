// The one way the layer reaches the test kit (posix/testkit), in a program that links it: a table
// of hooks that is null in the installer. The layer asks it only where a test makes Windows behave
// otherwise than this machine would: a call that fails, a disk's free space, a copy's fault or its
// plain way, the version of Windows, a child's exit code, the 256-colour display, and the input of
// a test's handlers while a modal loop waits.
#ifndef POSIX_SEAM_H
#define POSIX_SEAM_H

#include <windows.h>

#include <cstdint>
#include <string>

namespace layer {
namespace win {
struct DeviceContext;
struct Surface;
} // namespace win

// A display with a system palette of 256 entries, into which palettes are realised as Windows
// realises them. The layer's own display is true colour: a colour is its own device value, and
// realising a palette maps nothing.
struct PaletteDisplay {
    UINT (*realize)(win::DeviceContext &dc);
    BOOL (*updateColors)(win::DeviceContext &dc);
    uint32_t (*devicePixel)(const win::DeviceContext &dc, COLORREF colour);
    COLORREF (*shownColour)(uint32_t pixel);
    // Pixels were drawn on the surface: they are indices into the system palette as it is now.
    void (*drew)(win::Surface &surface);
};

// A copy that a test makes fail: at once, before the destination is touched, or once `bytes`
// bytes are written, as a full disk does (DiskFull) or as a crash would, leaving the partial
// destination behind (Interrupted, with `error`).
struct CopyFault {
    enum Kind { Fails, DiskFull, Interrupted } kind;
    ULONGLONG bytes;
    DWORD error;
};

struct TestKit {
    // True when a test asked this call of `function` (its Win32 name) to fail now; the last error
    // is then set, and the caller returns its failure value at once.
    bool (*failCall)(const char *function);
    // The free space a test gives the drive (lower case), as the three factors GetDiskFreeSpaceA
    // reports; false for a drive of real free space.
    bool (*freeSpace)(char drive, DWORD &sectorsPerCluster, DWORD &bytesPerSector, DWORD &freeClusters);
    // The fault a test gave the next copy to a destination of that name; false for none.
    bool (*copyFault)(const std::string &destinationName, CopyFault &fault);
    // True when copies go through a buffer with read and write, as where the kernel refuses
    // copy_file_range and sendfile.
    bool (*plainCopy)();
    // The exit code a test has the next ended child report in place of its own; false for none.
    bool (*exitCode)(DWORD &code);
    // True while a test has the layer answer as Windows 98 does.
    bool (*windows98)();
    // The palette display while a test has it on, else null.
    const PaletteDisplay *(*paletteDisplay)();
    // A modal loop has nothing to do: the test's handlers may answer a message box or give input.
    // True when they did.
    bool (*idle)(HWND loopWindow);
};

// Null unless the test kit is linked in.
extern const TestKit *testKit;

inline bool failHere(const char *function)
{
    return testKit && testKit->failCall(function);
}

inline bool isWindows98()
{
    return testKit && testKit->windows98();
}

inline const PaletteDisplay *paletteDisplay()
{
    return testKit ? testKit->paletteDisplay() : nullptr;
}

} // namespace layer

#endif
