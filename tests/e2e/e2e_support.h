// Starting the installer as a separate process under Wine and driving its windows from outside.
#ifndef E2E_SUPPORT_H
#define E2E_SUPPORT_H

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The installer program: $DA12_INSTALLER, which CTest sets to the build's program.
std::string installerPath();

// A directory of its own for one test, under the user's temporary directory, ending with '\'.
std::string makeScratchDir(const char *name);
void writeFile(const std::string &path, const std::string &content);
std::string readFile(const std::string &path);
bool fileExists(const std::string &path);

// The compilation's record in the registry, as its own setup writes it, in both registry views.
void writeInstallRecord(const std::string &installDir, DWORD secondGameInstalled);
void deleteInstallRecord();

// A test with the game installed in a directory of its own ("...\game\", with "vk2\vk2.exe" and
// "vk2\gamedat\"), the compilation's record pointing there, and an empty media directory.
class GameTest : public testing::Test {
protected:
    static const char TITLE[];
    void SetUp() override;
    void TearDown() override;

    std::string root_;
    std::string gameDir_;
    std::string mediaDir_;
};

// A running installer.
class InstallerProcess {
public:
    explicit InstallerProcess(const std::string &currentDir);
    ~InstallerProcess();
    bool started() const { return info_.hProcess != nullptr; }
    DWORD id() const { return info_.dwProcessId; }
    // The process's visible top-level window with that title, waiting up to timeoutMs for it.
    HWND waitForWindow(const char *title, DWORD timeoutMs = 20000) const;
    // Waits for the end; returns the exit code, or STILL_ACTIVE when it did not end in time.
    DWORD waitForExit(DWORD timeoutMs = 20000);
    // The window that has the keyboard focus in the installer's thread.
    HWND focus() const;

private:
    PROCESS_INFORMATION info_{};
};

std::string windowText(HWND window);
std::string className(HWND window);
std::vector<HWND> childWindows(HWND parent);
// The static text of a message box (the child static control with the longest text).
std::string messageBoxText(HWND box);
// Presses the box's OK button and waits until it is gone.
void acknowledge(HWND box);
// Posts a key press to a window, as the keyboard would deliver it to the focused control.
void pressKey(HWND focus, UINT vk);

#endif
