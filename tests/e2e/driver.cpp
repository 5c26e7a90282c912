// The automation driver: the installer's windows seen and used from another process.
#include "driver.h"

#include <commctrl.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

const char Installer::TITLE[] = "VKZS: Delvarin 2 Installer";

namespace {

// The progress panel's controls, in the order the installer shows them.
enum { FRAME = 1012, STATUS1 = 1011, STATUS2 = 1014, BAR = 1022 };

// How often the driver looks again while it waits for the installer.
const DWORD POLL_MS = 20;

// An answer the installer's thread gives within this time, or it counts as hung.
const UINT SEND_TIMEOUT_MS = 5000;

LRESULT sendWithTimeout(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

bool isDialogClass(HWND window)
{
    return className(window) == "#32770";
}

struct WindowSearch {
    DWORD process;
    HWND dialog;      // the main dialog: its title, any visibility
    HWND box;         // a visible dialog that is not the main one
    const std::vector<HWND> *seen;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param)
{
    WindowSearch *search = reinterpret_cast<WindowSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process || !isDialogClass(window))
        return TRUE;
    if (windowText(window) == Installer::TITLE) {
        search->dialog = window;
    } else if (IsWindowVisible(window) && !search->box) {
        bool seen = false;
        for (HWND old : *search->seen)
            seen = seen || old == window;
        if (!seen)
            search->box = window;
    }
    return TRUE;
}

BOOL CALLBACK collectChild(HWND window, LPARAM param)
{
    reinterpret_cast<std::vector<HWND> *>(param)->push_back(window);
    return TRUE;
}

// The box's icon control: a shown static control of the icon style that holds an icon.
bool hasIcon(HWND box)
{
    for (HWND child : childWindows(box)) {
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if (_stricmp(className(child).c_str(), "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(child) && sendWithTimeout(child, STM_GETICON) != 0)
            return true;
    }
    return false;
}

// The box's message: its longest static text.
std::string boxText(HWND box)
{
    std::string longest;
    for (HWND child : childWindows(box)) {
        std::string text = windowText(child);
        if (_stricmp(className(child).c_str(), "Static") == 0 && text.size() > longest.size())
            longest = text;
    }
    return longest;
}

struct ClickRequest {
    HWND button;
};

// Sends the click from a thread of its own: the installer answers it only when the command's work
// is done, and meanwhile the driver has to answer the boxes that the work shows.
DWORD WINAPI sendClick(LPVOID param)
{
    ClickRequest *request = static_cast<ClickRequest *>(param);
    SendMessageA(request->button, BM_CLICK, 0, 0);
    return 0;
}

} // namespace

// A path on the build machine, which CTest gives, as Wine shows it: on drive Z:.
static std::string hostPath(const char *path)
{
    std::string windowsPath = path[0] == '/' ? std::string("Z:") + path : std::string(path);
    for (char &c : windowsPath)
        if (c == '/')
            c = '\\';
    return windowsPath;
}

std::string installerPath()
{
    const char *path = getenv("DA12_INSTALLER");
    if (!path || !*path)
        return "DA12Dero.exe";
    return hostPath(path);
}

// user32 exports it for the shell; the SDK's headers do not declare it.
extern "C" BOOL WINAPI SetShellWindow(HWND window);

ShellWindow::ShellWindow()
    : window_(CreateWindowExA(0, "Static", "Program Manager", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                              nullptr)),
      taken_(window_ && SetShellWindow(window_))
{
}

// The desktop forgets its shell window when that window goes.
ShellWindow::~ShellWindow()
{
    if (window_)
        DestroyWindow(window_);
}

std::string wineLogPath()
{
    const char *path = getenv("DA12_WINE_LOG");
    return path && *path ? hostPath(path) : std::string();
}

Installer::Installer(const std::string &currentDir, const std::string &program)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string path = program.empty() ? installerPath() : program;
    std::string commandLine = "\"" + path + "\"";
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        currentDir.c_str(), &startup, &info_))
        info_ = PROCESS_INFORMATION{};
}

Installer::~Installer()
{
    if (!info_.hProcess)
        return;
    if (running()) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool Installer::running() const
{
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND Installer::findOwnWindow(bool wantBox) const
{
    std::vector<HWND> seen;
    if (box_)
        seen.push_back(box_);
    WindowSearch search{info_.dwProcessId, nullptr, nullptr, &seen};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
    return wantBox ? search.box : search.dialog;
}

HWND Installer::waitForDialog(DWORD timeoutMs)
{
    for (DWORD waited = 0; started(); waited += POLL_MS) {
        HWND dialog = findOwnWindow(false);
        if (dialog)
            dialog_ = dialog;
        if (dialog && IsWindowVisible(dialog)) {
            // The dialog shows during its initialisation, and the dialog manager gives the focus to
            // its first control only after that. A message sent to it is answered once its thread
            // is in its message loop: then the dialog is what a user gets.
            DWORD_PTR ignored;
            DWORD left = timeoutMs > waited ? timeoutMs - waited : 1;
            SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, left, &ignored);
            return dialog;
        }
        if (waited >= timeoutMs || findOwnWindow(true))
            return nullptr;
        if (WaitForSingleObject(info_.hProcess, POLL_MS) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

bool Installer::waitForBox(BoxRecord *record, DWORD timeoutMs)
{
    if (box_ && !IsWindow(box_))
        box_ = nullptr;
    for (DWORD waited = 0; started(); waited += POLL_MS) {
        if (HWND box = findOwnWindow(true)) {
            if (!dialog_)
                dialog_ = findOwnWindow(false);
            BoxRecord found;
            found.caption = windowText(box);
            found.text = boxText(box);
            found.icon = hasIcon(box);
            HWND owner = GetWindow(box, GW_OWNER);
            found.owned = owner != nullptr;
            found.ownedByDialog = owner && owner == dialog_;
            found.dialog = snapshot();
            box_ = box;
            boxes_.push_back(found);
            if (record)
                *record = found;
            return true;
        }
        if (waited >= timeoutMs || WaitForSingleObject(info_.hProcess, POLL_MS) == WAIT_OBJECT_0)
            return false;
    }
    return false;
}

void Installer::answer(int id)
{
    if (!box_)
        return;
    PostMessageA(box_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box_, id));
    for (DWORD waited = 0; IsWindow(box_) && waited < 10000; waited += POLL_MS)
        WaitForSingleObject(info_.hProcess, POLL_MS);
    box_ = nullptr;
}

bool Installer::press(int id, std::vector<BoxRecord> *answered, DWORD timeoutMs)
{
    if (!dialog_)
        return false;
    ClickRequest request{GetDlgItem(dialog_, id)};
    HANDLE thread = CreateThread(nullptr, 0, sendClick, &request, 0, nullptr);
    if (!thread)
        return false;
    size_t first = boxes_.size();
    bool done = false;
    for (DWORD waited = 0; waited < timeoutMs; waited += POLL_MS) {
        if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) {
            done = true;
            break;
        }
        if (waitForBox(nullptr, POLL_MS))
            answer(IDOK);
        if (!running()) {
            // A click that ends the program (Quit) has done its work; its SendMessage returns as
            // the program's thread goes away.
            done = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
            break;
        }
    }
    if (!done) {
        // The installer is stuck or gone: ending it makes the click return.
        TerminateProcess(info_.hProcess, 1);
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (answered)
        answered->assign(boxes_.begin() + first, boxes_.end());
    return done;
}

DWORD Installer::finish(DWORD timeoutMs)
{
    for (DWORD waited = 0; running() && waited < timeoutMs; waited += POLL_MS)
        if (waitForBox(nullptr, POLL_MS))
            answer(IDOK);
    if (running())
        return STILL_ACTIVE;
    return exitCode();
}

void Installer::pressKey(UINT vk)
{
    HWND target = focus();
    if (!target)
        target = dialog_;
    PostMessageA(target, WM_KEYDOWN, vk, 1);
    PostMessageA(target, WM_KEYUP, vk, (LPARAM)0xC0000001);
}

void Installer::close()
{
    PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

HWND Installer::focus() const
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(info_.dwThreadId, &info))
        return nullptr;
    return info.hwndFocus;
}

DialogSnapshot Installer::snapshot() const
{
    DialogSnapshot shot;
    HWND dialog = dialog_ ? dialog_ : findOwnWindow(false);
    if (!dialog || !IsWindow(dialog))
        return shot;
    shot.exists = true;
    shot.visible = IsWindowVisible(dialog);
    DialogSnapshot::Control *controls[] = {&shot.frame, &shot.status1, &shot.status2, &shot.bar};
    const int ids[] = {FRAME, STATUS1, STATUS2, BAR};
    for (int i = 0; i < 4; ++i) {
        HWND control = GetDlgItem(dialog, ids[i]);
        controls[i]->visible = control && IsWindowVisible(control);
        controls[i]->enabled = control && IsWindowEnabled(control);
    }
    shot.status1Text = windowText(GetDlgItem(dialog, STATUS1));
    shot.status2Text = windowText(GetDlgItem(dialog, STATUS2));
    HWND bar = GetDlgItem(dialog, BAR);
    shot.barPosition = static_cast<int>(sendWithTimeout(bar, PBM_GETPOS));
    shot.barLow = static_cast<int>(sendWithTimeout(bar, PBM_GETRANGE, TRUE));
    shot.barHigh = static_cast<int>(sendWithTimeout(bar, PBM_GETRANGE, FALSE));
    return shot;
}

// Colours that follow each other down the middle of a window, on the screen.
static int colourChanges(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    int changes = 0;
    COLORREF previous = CLR_INVALID;
    for (int y = 0; y < client.bottom; y += 16) {
        COLORREF pixel = GetPixel(screen, origin.x + client.right / 2, origin.y + y);
        if (pixel != previous)
            ++changes;
        previous = pixel;
    }
    ReleaseDC(nullptr, screen);
    return changes;
}

bool Installer::waitForPicture(DWORD timeoutMs) const
{
    HWND picture = dialog_ ? GetDlgItem(dialog_, 1025) : nullptr;
    if (!picture)
        return false;
    // Paints of another process's windows are sent to it and answered when done; what they drew
    // reaches the screen shortly after.
    RedrawWindow(dialog_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    for (DWORD waited = 0;; waited += POLL_MS) {
        if (colourChanges(picture) > 8)
            return true;
        if (waited >= timeoutMs)
            return false;
        Sleep(POLL_MS);
    }
}

DWORD Installer::exitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (info_.hProcess)
        GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

// ---- The compilation's record ----

const char RECORD_KEY[] = "Software\\Quorvex\\VK: Zarkhul Zuva";

// The registry views the record is written to: both until a scenario says which program reads it.
static std::vector<REGSAM> recordViews = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

void writeRecordForProgram(const std::string &program)
{
    DWORD type;
    if (GetBinaryTypeA(program.c_str(), &type))
        recordViews = {REGSAM(type == SCS_64BIT_BINARY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY)};
}

void setRecordValue(const char *name, DWORD type, const void *data, DWORD size)
{
    for (REGSAM view : recordViews) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, RECORD_KEY, 0, nullptr, 0, KEY_ALL_ACCESS | view,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            continue;
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
        RegCloseKey(key);
    }
}

void setRecordText(const char *name, const std::string &text)
{
    setRecordValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void setRecordFlag(const char *name, DWORD value)
{
    setRecordValue(name, REG_DWORD, &value, sizeof value);
}

void deleteRecordValue(const char *name)
{
    for (REGSAM view : recordViews) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RECORD_KEY, 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, name);
            RegCloseKey(key);
        }
    }
}

void writeInstallRecord(const std::string &installDir, DWORD secondGameInstalled)
{
    setRecordText("Installed To:", installDir);
    setRecordText("Installed From:", "D:\\");
    setRecordFlag("Velk 1 Installed", 1);
    setRecordFlag("Velk 2 Installed", secondGameInstalled);
    setRecordFlag("Velk 3 Installed", 0);
    setRecordFlag("Cheater", 0);
}

void deleteInstallRecord()
{
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quorvex", 0, KEY_ALL_ACCESS | view, &key) ==
            ERROR_SUCCESS) {
            RegDeleteKeyA(key, "VK: Zarkhul Zuva");
            RegCloseKey(key);
        }
    }
}

// ---- Objects of the other programs ----

HeldObject::HeldObject(Kind kind, const char *name)
    : handle_(kind == MUTEX ? CreateMutexA(nullptr, FALSE, name) : CreateSemaphoreA(nullptr, 0, 1, name))
{
}

HeldObject::~HeldObject()
{
    if (handle_)
        CloseHandle(handle_);
}

// ---- Files ----

void removeTree(const std::string &dir)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((dir + "*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path + "\\");
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

std::string makeScratchDir(const std::string &name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + "da12e2e-" + name + "\\";
    removeTree(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << content;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool fileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ---- Windows ----

std::string windowText(HWND window)
{
    char text[1024];
    int length = window ? GetWindowTextA(window, text, sizeof text) : 0;
    return std::string(text, length > 0 ? length : 0);
}

std::string className(HWND window)
{
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

std::vector<HWND> childWindows(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

// The screen's pixels in a rectangle, as a DIB of `bitCount` bits per pixel, its rows bottom-up
// for a positive height and top-down for a negative one; empty when they cannot be read.
static std::string screenPixels(int x, int y, int width, int height, WORD bitCount)
{
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitCount;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::string pixels;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        int rows = height < 0 ? -height : height;
        if (BitBlt(memory, 0, 0, width, rows, screen, x, y, SRCCOPY)) {
            GdiFlush();
            pixels.assign(static_cast<const char *>(bits), ((width * bitCount / 8 + 3) & ~3) * rows);
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

bool saveWindowPicture(HWND window, const std::string &path)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return false;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    std::string bits = screenPixels(rect.left, rect.top, width, height, 24);
    if (bits.empty())
        return false;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(bits.size());
    std::string content(reinterpret_cast<const char *>(&file), sizeof file);
    content.append(reinterpret_cast<const char *>(&header), sizeof header);
    content.append(bits);
    writeFile(path, content);
    return fileExists(path);
}

bool readClientPixels(HWND window, std::vector<COLORREF> &pixels, int &width, int &height)
{
    RECT client;
    POINT origin = {0, 0};
    if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin))
        return false;
    width = client.right;
    height = client.bottom;
    // Top-down, as the pixels are handed out; each is blue, green, red, unused.
    std::string bits = screenPixels(origin.x, origin.y, width, -height, 32);
    pixels.clear();
    for (size_t i = 0; i + 3 < bits.size(); i += 4)
        pixels.push_back(RGB(BYTE(bits[i + 2]), BYTE(bits[i + 1]), BYTE(bits[i])));
    return !bits.empty() || width * height == 0;
}
