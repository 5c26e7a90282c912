// What the fuzz targets share: a private Wine-style prefix in a temporary directory, file helpers,
// fields split from the fuzzer's bytes and a message box handler that records and answers boxes.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Makes the prefix once per process: drive_c with C:\windows, dosdevices/c: -> ../drive_c, and no
// drive that reaches outside the prefix, so nothing a fuzzed path names lies beyond it. WINEPREFIX
// names it; it is removed when the process exits. Returns its native path.
const std::string &fuzzPrefix();
// Adds a drive link to the prefix ("d" -> target, relative to dosdevices/).
void addDrive(char letter, const std::string &target);

// Native helpers below the prefix ("drive_c/game/vk2").
std::string underPrefix(const std::string &relative);
void makeDirs(const std::string &native);
void writeFile(const std::string &native, const std::string &content);
bool readFile(const std::string &native, std::string &content);
void removeFile(const std::string &native);

// The input as fields separated by newlines; missing fields are empty.
std::vector<std::string> splitFields(const uint8_t *data, size_t size, size_t maxFields);

// Works in `native` for as long as it lives, then returns to the directory the process started in,
// where libFuzzer keeps its corpus and writes what it finds.
class WorkIn {
public:
    explicit WorkIn(const std::string &native);
    ~WorkIn();
    WorkIn(const WorkIn &) = delete;
    WorkIn &operator=(const WorkIn &) = delete;
};

// A message box as the handler saw it.
struct SeenBox {
    std::string text;
    std::string caption;
    UINT style;
};
// Installs a handler that records every box and answers it with OK (or Yes); clears the record.
void answerBoxes();
const std::vector<SeenBox> &seenBoxes();

// Stops the run with a message: a broken invariant is a finding like a crash.
[[noreturn]] void fuzzFail(const char *what, const std::string &detail);
#define FUZZ_CHECK(condition, detail)                                                                  \
    do {                                                                                               \
        if (!(condition))                                                                              \
            fuzzFail(#condition, detail);                                                              \
    } while (0)

#endif
