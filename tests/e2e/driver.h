// The automation driver of the end-to-end tests: it starts the installer as a separate process,
// watches its windows from outside, records every message box together with the state of the main
// dialog at that moment, and gives the input a user gives. It also sets up the compilation's
// registry record and holds the named objects of the other programs, so that a scenario runs
// against the real registry and kernel. Only the Win32 API is used.
#ifndef E2E_DRIVER_H
#define E2E_DRIVER_H

#include <windows.h>

#include <string>
#include <vector>

// The installer's main dialog at one moment, as a user could see it.
struct DialogSnapshot {
    bool exists = false;   // the dialog window has been created
    bool visible = false;
    struct Control {
        bool visible = false;
        bool enabled = false;
    };
    Control frame, status1, status2, bar; // the progress panel: 1012, 1011, 1014, 1022
    std::string status1Text, status2Text;
    int barPosition = 0, barLow = 0, barHigh = 0;
};

// One message box of the installer, as it appeared.
struct BoxRecord {
    std::string caption;
    std::string text;
    bool icon = false;     // the box shows an icon (MB_ICONWARNING and the like)
    bool ownedByDialog = false;
    bool owned = false;    // it has an owner window at all
    DialogSnapshot dialog; // the main dialog while the box was up
};

// A running installer. The destructor ends it if it still runs.
class Installer {
public:
    static const char TITLE[];

    // Starts the program at `program` (default: installerPath()) with `currentDir` as its working
    // directory.
    explicit Installer(const std::string &currentDir, const std::string &program = std::string());
    ~Installer();
    Installer(const Installer &) = delete;
    Installer &operator=(const Installer &) = delete;

    bool started() const { return info_.hProcess != nullptr; }
    bool running() const;

    // The main dialog once it is shown and its initialisation is over; nullptr when the program
    // ends, or a box or timeoutMs comes first. Boxes that appear on the way are recorded and left up.
    HWND waitForDialog(DWORD timeoutMs = 20000);
    HWND dialog() const { return dialog_; }

    // Waits for the next message box that has not been seen yet and records it; false when the
    // program ended or timeoutMs passed first.
    bool waitForBox(BoxRecord *box = nullptr, DWORD timeoutMs = 20000);
    // Ends the box that is up with the button `id`, and waits until it is gone.
    void answer(int id = IDOK);
    // Every box recorded so far, in the order they appeared.
    const std::vector<BoxRecord> &boxes() const { return boxes_; }

    // Presses the dialog's button `id` as a click does and answers every box with OK until the
    // command's work is done and the dialog is idle again; false when it did not end in time.
    // `answered` receives the boxes of the command.
    bool press(int id, std::vector<BoxRecord> *answered = nullptr, DWORD timeoutMs = 60000);
    // Answers every box with OK until the program ends; returns its exit code (STILL_ACTIVE when
    // it did not end in time).
    DWORD finish(DWORD timeoutMs = 20000);
    // Posts a key press to the focused window of the installer.
    void pressKey(UINT vk);
    // Clicks the dialog's close box.
    void close();
    // The window that has the keyboard focus in the installer's thread.
    HWND focus() const;
    DialogSnapshot snapshot() const;
    // Waits until the background picture is on the screen: the paints that are due are done, and
    // the picture's panel shows more than a plain background. False when it does not in timeoutMs.
    bool waitForPicture(DWORD timeoutMs = 5000) const;
    DWORD exitCode() const;

private:
    HWND findOwnWindow(bool wantBox) const;

    PROCESS_INFORMATION info_{};
    HWND dialog_ = nullptr;
    HWND box_ = nullptr;               // the box that is up, recorded
    std::vector<BoxRecord> boxes_;
};

// The installer program: $DA12_INSTALLER (CTest sets it to the build's program), in Windows form.
std::string installerPath();

// ---- The desktop's shell ----

// A window of the driver's own that the desktop takes for its shell's window while it lives, as
// Explorer's desktop window is on Windows (SetShellWindow); Wine's desktop has none.
class ShellWindow {
public:
    ShellWindow();
    ~ShellWindow();
    ShellWindow(const ShellWindow &) = delete;
    ShellWindow &operator=(const ShellWindow &) = delete;

    // The desktop took it: no other shell window was there.
    bool taken() const { return taken_; }

private:
    HWND window_;
    bool taken_;
};

// The file that receives a copy of the standard error that the programs of this run share under
// Wine, Wine's debug output among it: $DA12_WINE_LOG (scripts/wine-run writes it), in Windows form;
// empty where it is not set.
std::string wineLogPath();

// ---- The compilation's record ----

extern const char RECORD_KEY[];

// From now on the record is written only to the registry view that `program` reads, as its own
// setup would write it: the 32-bit view (Software\Wow6432Node\...) for a 32-bit program, the
// 64-bit view for a 64-bit one. Until then both views are written.
void writeRecordForProgram(const std::string &program);
// Writes a value of any type and length into the record's key, in the views chosen above.
void setRecordValue(const char *name, DWORD type, const void *data, DWORD size);
void setRecordText(const char *name, const std::string &text);
void setRecordFlag(const char *name, DWORD value);
void deleteRecordValue(const char *name);
// The record as the compilation's setup writes it.
void writeInstallRecord(const std::string &installDir, DWORD secondGameInstalled);
void deleteInstallRecord();

// ---- Objects of the other programs ----

// A named semaphore or mutex held for the holder's lifetime, as the launcher and games hold theirs.
class HeldObject {
public:
    enum Kind { SEMAPHORE, MUTEX };
    HeldObject(Kind kind, const char *name);
    ~HeldObject();
    HeldObject(const HeldObject &) = delete;
    HeldObject &operator=(const HeldObject &) = delete;

private:
    HANDLE handle_;
};

// ---- Files ----

// A directory of its own for one scenario, under the user's temporary directory, ending with '\'.
std::string makeScratchDir(const std::string &name);
void removeTree(const std::string &dir);
void writeFile(const std::string &path, const std::string &content);
std::string readFile(const std::string &path);
bool fileExists(const std::string &path);

// ---- Windows ----

std::string windowText(HWND window);
std::string className(HWND window);
std::vector<HWND> childWindows(HWND parent);
// Writes the window's pixels as it is on the screen into a 24-bit BMP file.
bool saveWindowPicture(HWND window, const std::string &path);
// The colours of the window's client area as it is on the screen, row by row from the top.
bool readClientPixels(HWND window, std::vector<COLORREF> &pixels, int &width, int &height);

#endif
