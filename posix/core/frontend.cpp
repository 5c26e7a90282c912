// What the front ends meet: the notice of every change on the screen, the front end that is set
// (the terminal's, posix/term), the WINLAYER_TRACE file of events, and the WINLAYER_SCRIPT file, the
// front end for programs driven without a terminal.
#include "layer.h"
#include "windowing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <time.h>
#include <unistd.h>

namespace layer {
namespace win {
namespace {

// How often `wait <path>` looks for its file, and how long it waits at most: a script waits for a
// step of whoever drives the program, and a program run without input must not hang.
const long waitPollMilliseconds = 20;
const DWORD defaultWaitLimit = 30000;

struct FrontEndState {
    const FrontEnd *frontEnd = nullptr;
    bool scriptOpened = false;
    FILE *script = nullptr;
    std::string scriptPath;
    int scriptLine = 0;
    DWORD waitLimit = defaultWaitLimit;
    bool traceResolved = false;
    std::string tracePath;
    bool traceFailed = false;
};

FrontEndState &frontEndState()
{
    static FrontEndState s;
    return s;
}

void pause(long milliseconds)
{
    struct timespec delay;
    delay.tv_sec = milliseconds / 1000;
    delay.tv_nsec = (milliseconds % 1000) * 1000000L;
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

// True once the file exists; false when it still does not after `limit` milliseconds.
bool waitForFile(const std::string &path, DWORD limit)
{
    long long deadline = monotonicMilliseconds() + limit;
    while (access(path.c_str(), F_OK) != 0) {
        long long left = deadline - monotonicMilliseconds();
        if (left <= 0)
            return false;
        pause(std::min<long long>(left, waitPollMilliseconds));
    }
    return true;
}

FILE *openScript()
{
    FrontEndState &s = frontEndState();
    if (s.scriptOpened)
        return s.script;
    s.scriptOpened = true;
    const char *path = getenv("WINLAYER_SCRIPT");
    if (!path || !*path)
        return nullptr;
    s.scriptPath = path;
    s.script = fopen(path, "r");
    if (!s.script)
        fprintf(stderr, "WINLAYER_SCRIPT: cannot open %s: %s\n", path, strerror(errno));
    return s.script;
}

void scriptError(const std::string &message)
{
    FrontEndState &s = frontEndState();
    fprintf(stderr, "WINLAYER_SCRIPT %s line %d: %s\n", s.scriptPath.c_str(), s.scriptLine, message.c_str());
    trace("script error line=" + std::to_string(s.scriptLine) + " message=" + quoted(message));
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

const std::string &tracePath()
{
    FrontEndState &s = frontEndState();
    if (!s.traceResolved) {
        s.traceResolved = true;
        const char *path = getenv("WINLAYER_TRACE");
        s.tracePath = path ? path : "";
    }
    return s.tracePath;
}

void traceFocus(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w) {
        trace("focus none");
        return;
    }
    trace("focus class=" + quoted(w->windowClass->name) + " id=" + std::to_string(static_cast<long long>(w->id)) +
          " text=" + quoted(w->text));
}

// Carries out the script's commands up to the next one that gives input; false when the script has
// none left (or there is no script).
bool runScript(HWND loopWindow)
{
    FrontEndState &s = frontEndState();
    FILE *script = openScript();
    if (!script)
        return false;
    std::string line;
    while (readLine(script, line)) {
        ++s.scriptLine;
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
            if (waitForFile(argument, s.waitLimit))
                continue;
            // Given up: the script ends here, as at its end, and the fallback ends the loop.
            scriptError("gave up waiting for " + argument + " after " + std::to_string(s.waitLimit) +
                        " ms; the script ends here");
            fclose(s.script);
            s.script = nullptr;
            return false;
        }
        long milliseconds = 0;
        if (command == "sleep" && parseNumber(argument, milliseconds) && milliseconds >= 0) {
            pause(milliseconds);
            continue;
        }
        scriptError("cannot understand '" + line + "'");
    }
    return false;
}

} // namespace

bool frontEndInput(HWND loopWindow)
{
    if (runScript(loopWindow))
        return true;
    const FrontEnd *frontEnd = frontEndState().frontEnd;
    return frontEnd && frontEnd->idle && frontEnd->idle(loopWindow);
}

void notify(Change what, HWND hwnd)
{
    if (what == Change::Focus)
        traceFocus(hwnd);
    if (!frontEndState().frontEnd && offerFrontEnd)
        offerFrontEnd();
    const FrontEnd *frontEnd = frontEndState().frontEnd;
    if (frontEnd && frontEnd->changed)
        frontEnd->changed(what, hwnd);
}

void trace(const std::string &line)
{
    FrontEndState &s = frontEndState();
    const std::string &path = tracePath();
    if (path.empty())
        return;
    // Opened for each line, so that the trace is complete whenever the program stops.
    FILE *file = fopen(path.c_str(), "a");
    if (!file) {
        if (!s.traceFailed)
            fprintf(stderr, "WINLAYER_TRACE: cannot write %s: %s\n", path.c_str(), strerror(errno));
        s.traceFailed = true;
        return;
    }
    fprintf(file, "%s\n", line.c_str());
    fclose(file);
}

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char escape[8];
                snprintf(escape, sizeof escape, "\\x%02X", c);
                out += escape;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    return out + "\"";
}

void (*offerFrontEnd)() = nullptr;

void setScriptWaitLimit(DWORD milliseconds)
{
    frontEndState().waitLimit = milliseconds;
}

void setFrontEnd(const FrontEnd *frontEnd)
{
    frontEndState().frontEnd = frontEnd;
}

namespace {

const ResetHook resetFrontEnd([] {
    FrontEndState &s = frontEndState();
    if (s.script)
        fclose(s.script);
    s.script = nullptr;
    s.scriptOpened = false;
    s.scriptLine = 0;
    s.waitLimit = defaultWaitLimit;
    s.traceResolved = false;
    s.traceFailed = false;
});

} // namespace
} // namespace win
} // namespace layer
