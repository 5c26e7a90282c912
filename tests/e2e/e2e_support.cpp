// Helpers of the end-to-end tests; they use the Win32 API directly, from a separate process.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

static const char RECORD_KEY[] = "Software\\Quorvex\\VK: Zarkhul Zuva";

std::string installerPath()
{
    // CTest names the program by its path on the build machine, which Wine shows as drive Z:.
    const char *path = getenv("DA12_INSTALLER");
    if (!path || !*path)
        return "DA12Dero.exe";
    std::string windowsPath = path[0] == '/' ? std::string("Z:") + path : std::string(path);
    for (char &c : windowsPath)
        if (c == '/')
            c = '\\';
    return windowsPath;
}

// Removes a directory and everything in it.
static void removeTree(const std::string &dir)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((dir + "*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(path + "\\");
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

std::string makeScratchDir(const char *name)
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

void writeInstallRecord(const std::string &installDir, DWORD secondGameInstalled)
{
    const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    for (REGSAM view : views) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, RECORD_KEY, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS | view, nullptr, &key, nullptr));
        DWORD zero = 0;
        DWORD one = 1;
        RegSetValueExA(key, "Installed To:", 0, REG_SZ, (const BYTE *)installDir.c_str(),
                       (DWORD)installDir.size() + 1);
        RegSetValueExA(key, "Installed From:", 0, REG_SZ, (const BYTE *)"D:\\", 4);
        RegSetValueExA(key, "Velk 1 Installed", 0, REG_DWORD, (const BYTE *)&one, 4);
        RegSetValueExA(key, "Velk 2 Installed", 0, REG_DWORD, (const BYTE *)&secondGameInstalled, 4);
        RegSetValueExA(key, "Velk 3 Installed", 0, REG_DWORD, (const BYTE *)&zero, 4);
        RegSetValueExA(key, "Cheater", 0, REG_DWORD, (const BYTE *)&zero, 4);
        RegCloseKey(key);
    }
}

void deleteInstallRecord()
{
    const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    for (REGSAM view : views) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quorvex", 0, KEY_ALL_ACCESS | view, &key) ==
            ERROR_SUCCESS) {
            RegDeleteKeyA(key, "VK: Zarkhul Zuva");
            RegCloseKey(key);
        }
    }
}

const char GameTest::TITLE[] = "VKZS: Delvarin 2 Installer";

void GameTest::SetUp()
{
    root_ = makeScratchDir(testing::UnitTest::GetInstance()->current_test_info()->name());
    gameDir_ = root_ + "game\\";
    mediaDir_ = root_ + "media\\";
    CreateDirectoryA(gameDir_.c_str(), nullptr);
    CreateDirectoryA((gameDir_ + "vk2").c_str(), nullptr);
    CreateDirectoryA((gameDir_ + "vk2\\gamedat").c_str(), nullptr);
    CreateDirectoryA(mediaDir_.c_str(), nullptr);
    writeFile(gameDir_ + "vk2\\vk2.exe", "the game as it was installed");
    writeInstallRecord(gameDir_, 1);
}

void GameTest::TearDown()
{
    deleteInstallRecord();
}

InstallerProcess::InstallerProcess(const std::string &currentDir)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string path = installerPath();
    std::string commandLine = "\"" + path + "\"";
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        currentDir.c_str(), &startup, &info_))
        ADD_FAILURE() << "cannot start " << path << ": error " << GetLastError();
}

InstallerProcess::~InstallerProcess()
{
    if (!info_.hProcess)
        return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

namespace {
struct WindowSearch {
    DWORD process;
    const char *title;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param)
{
    WindowSearch *search = reinterpret_cast<WindowSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process && IsWindowVisible(window) && windowText(window) == search->title) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
} // namespace

HWND InstallerProcess::waitForWindow(const char *title, DWORD timeoutMs) const
{
    for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
        WindowSearch search{info_.dwProcessId, title, nullptr};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        if (WaitForSingleObject(info_.hProcess, 50) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

DWORD InstallerProcess::waitForExit(DWORD timeoutMs)
{
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

HWND InstallerProcess::focus() const
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(info_.dwThreadId, &info))
        return nullptr;
    return info.hwndFocus;
}

std::string windowText(HWND window)
{
    char text[1024];
    int length = GetWindowTextA(window, text, sizeof text);
    return std::string(text, length > 0 ? length : 0);
}

std::string className(HWND window)
{
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

static BOOL CALLBACK collectChild(HWND window, LPARAM param)
{
    reinterpret_cast<std::vector<HWND> *>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> childWindows(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::string messageBoxText(HWND box)
{
    std::string longest;
    for (HWND child : childWindows(box)) {
        std::string text = windowText(child);
        if (_stricmp(className(child).c_str(), "Static") == 0 && text.size() > longest.size())
            longest = text;
    }
    return longest;
}

void acknowledge(HWND box)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(box, IDOK));
    for (int i = 0; i < 200 && IsWindow(box); ++i)
        Sleep(25);
}

void pressKey(HWND focus, UINT vk)
{
    PostMessageA(focus, WM_KEYDOWN, vk, 1);
    PostMessageA(focus, WM_KEYUP, vk, (LPARAM)0xC0000001);
}
