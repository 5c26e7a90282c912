// What every scenario starts from: the game installed in a scratch directory of its own, the
// compilation's record pointing there, and an empty media directory to start the installer in.
#ifndef E2E_FIXTURE_H
#define E2E_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "driver.h"

class GameTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes "vk2\vk2.exe" and "vk2\gamedat\" in `gameDir` and points the record there.
    void installGame(const std::string &gameDir);

    std::string root_;     // the scenario's scratch directory
    std::string gameDir_;  // "...\game\", the compilation's InstallDir
    std::string mediaDir_; // "...\media\", the installer's working directory
};

// The game's executable as the compilation installs it.
extern const char GAME_EXE_CONTENT[];

// The refusal that ends every failed environment check.
extern const char REFUSAL_CAPTION[];
extern const char REFUSAL_TEXT[];

// Makes directories below `base` (ending with a backslash) until the deepest one's path, backslash
// included, has `length` characters; returns that path.
std::string dirOfLength(const std::string &base, size_t length);

// Readable failure messages for a list of boxes.
std::string describe(const std::vector<BoxRecord> &boxes);

// True when Wine reports Windows 95 or 98 to the installer (DA12_WINDOWS_VERSION), where
// GetVersion's answer has its high bit set.
bool reportsWindows9x();

#endif
