// The WINLAYER_SCRIPT file, the front end of a program driven without a terminal: its commands give
// the input a user gives (keys, clicks, the close box, activation), wait for files and pause.
#include "layer.h"
#include "windowing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace layer {
namespace win {
namespace {

// How often `wait <path>` looks for its file.
const long waitPollMilliseconds = 20;

struct ScriptState {
    bool opened = false;
    FILE *file = nullptr;
    std::string path;
    int line = 0;
};

ScriptState &scriptState()
{
    static ScriptState s;
    return s;
}

// True once the file exists; false when it still does not after `limit` milliseconds.
bool waitForFile(const std::string &path, DWORD limit)
{
    long long deadline = monotonicMilliseconds() + limit;
    while (access(path.c_str(), F_OK) != 0) {
        long long left = deadline - monotonicMilliseconds();
        if (left <= 0)
            return false;
        Sleep(static_cast<DWORD>(std::min<long long>(left, waitPollMilliseconds)));
    }
    return true;
}

FILE *openScript()
{
    ScriptState &s = scriptState();
    if (s.opened)
        return s.file;
    s.opened = true;
    const char *path = getenv("WINLAYER_SCRIPT");
    if (!path || !*path)
        return nullptr;
    s.path = path;
    s.file = fopen(path, "r");
    if (!s.file)
        fprintf(stderr, "WINLAYER_SCRIPT: cannot open %s: %s\n", path, strerror(errno));
    return s.file;
}

void scriptError(const std::string &message)
{
    ScriptState &s = scriptState();
    fprintf(stderr, "WINLAYER_SCRIPT %s line %d: %s\n", s.path.c_str(), s.line, message.c_str());
    trace("script error line=" + std::to_string(s.line) + " message=" + quoted(message));
}

bool readLine(FILE *file, std::string &line)
{
    line.clear();
    int c;
    while ((c = fgetc(file)) != EOF && c != '\n')
        line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty())
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

std::string trim(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool parseNumber(const std::string &text, long &value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    value = strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool keyByName(const std::string &name, UINT &vk, bool &shift)
{
    shift = false;
    if (name == "tab")
        vk = VK_TAB;
    else if (name == "shift+tab")
        vk = VK_TAB, shift = true;
    else if (name == "enter")
        vk = VK_RETURN;
    else if (name == "space")
        vk = VK_SPACE;
    else if (name == "escape")
        vk = VK_ESCAPE;
    else
        return false;
    return true;
}

HWND controlById(HWND dialog, long id)
{
    for (HWND child : childWindows(dialog)) {
        if (findWindow(child)->id == id)
            return child;
    }
    return nullptr;
}

// Carries out the script's commands up to the next one that gives input; false when the script has
// none left (or there is no script).
bool runScript(HWND loopWindow)
{
    ScriptState &s = scriptState();
    FILE *script = openScript();
    if (!script)
        return false;
    std::string line;
    while (readLine(script, line)) {
        ++s.line;
        line = trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        size_t space = line.find_first_of(" \t");
        std::string command = line.substr(0, space);
        std::string argument = space == std::string::npos ? "" : trim(line.substr(space));
        // Commands act on the active window; after `deactivate` on the loop's own window.
        HWND target = activeWindow() ? activeWindow() : topLevelOf(loopWindow);
        if (command == "key") {
            UINT vk = 0;
            bool shift = false;
            if (!keyByName(argument, vk, shift)) {
                scriptError("unknown key '" + argument + "' (tab, shift+tab, enter, space, escape)");
                continue;
            }
            pressKey(vk, shift);
            return true;
        }
        if (command == "click") {
            long id = 0;
            if (!parseNumber(argument, id)) {
                scriptError("click needs a control id, got '" + argument + "'");
                continue;
            }
            HWND control = controlById(target, id);
            if (!control) {
                scriptError("no control " + argument + " in the active window");
                continue;
            }
            click(control);
            return true;
        }
        if (command == "close" && argument.empty()) {
            pressCloseBox(target);
            return true;
        }
        if (command == "activate" && (argument == "keyboard" || argument == "mouse")) {
            activateByUser(topLevelOf(loopWindow), argument == "mouse" ? WA_CLICKACTIVE : WA_ACTIVE);
            return true;
        }
        if (command == "deactivate" && argument.empty()) {
            deactivateByUser(target);
            return true;
        }
        if (command == "wait" && !argument.empty()) {
            if (waitForFile(argument, scriptWaitLimit()))
                continue;
            // Given up: the script ends here, as at its end, and the fallback ends the loop.
            scriptError("gave up waiting for " + argument + " after " + std::to_string(scriptWaitLimit()) +
                        " ms; the script ends here");
            fclose(s.file);
            s.file = nullptr;
            return false;
        }
        long milliseconds = 0;
        if (command == "sleep" && parseNumber(argument, milliseconds) && milliseconds >= 0) {
            Sleep(static_cast<DWORD>(milliseconds));
            continue;
        }
        scriptError("cannot understand '" + line + "'");
    }
    return false;
}

const ResetHook resetScript([] {
    ScriptState &s = scriptState();
    if (s.file)
        fclose(s.file);
    s = ScriptState();
});

struct Installed {
    Installed() { scriptInput = runScript; }
} installed;

} // namespace
} // namespace win
} // namespace layer
