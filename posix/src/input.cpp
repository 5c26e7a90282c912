// Input for the modal loops, and what they leave behind: the sources that give input (a test's
// handlers, the file named by WINLAYER_SCRIPT, a front end), the fallback that ends a loop that
// none of them answers, the WINLAYER_TRACE file of events, and the view of the windows that a front
// end shows.
#include "layer.h"
#include "layer_control.h"
#include "windowing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <time.h>
#include <unistd.h>

namespace layer {
namespace win {
namespace {

// How often `wait <path>` looks for its file, and how long it waits at most: a script waits for a
// step of whoever drives the program, and a program run without input must not hang.
const long waitPollMilliseconds = 20;
const DWORD defaultWaitLimit = 30000;

struct InputState {
    LayerIdleHandler idleHandler = nullptr;
    void *idleContext = nullptr;
    const FrontEnd *frontEnd = nullptr;
    bool scriptOpened = false;
    FILE *script = nullptr;
    std::string scriptPath;
    int scriptLine = 0;
    DWORD waitLimit = defaultWaitLimit;
    bool traceResolved = false;
    std::string tracePath;
    bool traceFailed = false;
    // Loops that the fallback already tried to end with Escape or Enter.
    std::set<HWND> fallbackTried;
};

InputState &inputState()
{
    static InputState s;
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

long long monotonicMilliseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
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

bool gaveInput(HWND loopWindow)
{
    return messagePending() || !findWindow(loopWindow) || dialogEnded(loopWindow);
}

FILE *openScript()
{
    InputState &s = inputState();
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
    InputState &s = inputState();
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

// Carries out the script's commands up to the next one that gives input; false when the script has
// none left (or there is no script).
bool runScript(HWND loopWindow)
{
    InputState &s = inputState();
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

// Nobody gave input: a dialog ends as Escape ends it, a message box as Enter does. A loop that is
// still there the next time it is idle is ended outright, so that nothing waits forever.
void fallBack(HWND loopWindow)
{
    InputState &s = inputState();
    MessageBoxView box;
    bool isBox = messageBoxView(loopWindow, box);
    if (s.fallbackTried.count(loopWindow)) {
        trace("fallback ended window=" + quoted(findWindow(loopWindow)->text));
        endDialog(loopWindow, isBox ? IDOK : IDCANCEL);
        return;
    }
    s.fallbackTried.insert(loopWindow);
    if (isBox)
        pressEnter(loopWindow);
    else
        pressEscape(loopWindow);
}

const std::string &tracePath()
{
    InputState &s = inputState();
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

} // namespace

void idle(HWND loopWindow)
{
    InputState &s = inputState();
    if (offerToHandler(loopWindow))
        return;
    if (s.idleHandler) {
        s.idleHandler(loopWindow, s.idleContext);
        if (gaveInput(loopWindow))
            return;
    }
    if (runScript(loopWindow))
        return;
    if (s.frontEnd && s.frontEnd->idle && s.frontEnd->idle(loopWindow))
        return;
    fallBack(loopWindow);
}

void notify(Change what, HWND hwnd)
{
    if (what == Change::Focus)
        traceFocus(hwnd);
    if (!inputState().frontEnd)
        offerTerminal();
    const FrontEnd *frontEnd = inputState().frontEnd;
    if (frontEnd && frontEnd->changed)
        frontEnd->changed(what, hwnd);
}

void trace(const std::string &line)
{
    InputState &s = inputState();
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

void setFrontEnd(const FrontEnd *frontEnd)
{
    inputState().frontEnd = frontEnd;
}

bool viewWindow(HWND hwnd, WindowView &view)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return false;
    view.handle = hwnd;
    view.className = w->windowClass->name;
    view.id = static_cast<int>(w->id);
    view.text = w->text;
    view.style = w->style;
    view.exStyle = w->exStyle;
    view.visible = isVisible(hwnd);
    view.enabled = !(w->style & WS_DISABLED);
    view.focused = focusWindow() == hwnd;
    view.defaultButton = isDefaultButton(hwnd);
    view.isProgress = progressState(hwnd, view.progress);
    if (!view.isProgress)
        view.progress = ProgressState{0, 0, 0, 0};
    POINT origin = clientOriginOnScreen(*w);
    RECT m = nonClientMargins(w->style, w->exStyle);
    SIZE size = clientSize(*w);
    view.clientRect = {origin.x, origin.y, origin.x + size.cx, origin.y + size.cy};
    view.windowRect = {origin.x - m.left, origin.y - m.top, origin.x - m.left + (w->rect.right - w->rect.left),
                       origin.y - m.top + (w->rect.bottom - w->rect.top)};
    return true;
}

bool readSurface(HWND hwnd, int &width, int &height, std::vector<COLORREF> &pixels)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return false;
    Surface &surface = surfaceOf(*w);
    width = surface.width;
    height = surface.height;
    pixels.clear();
    pixels.reserve(surface.pixels.size());
    for (uint32_t pixel : surface.pixels)
        pixels.push_back(shownColour(pixel));
    return true;
}

namespace {

const ResetHook resetInput([] {
    InputState &s = inputState();
    s.idleHandler = nullptr;
    s.idleContext = nullptr;
    if (s.script)
        fclose(s.script);
    s.script = nullptr;
    s.scriptOpened = false;
    s.scriptLine = 0;
    s.waitLimit = defaultWaitLimit;
    s.traceResolved = false;
    s.traceFailed = false;
    s.fallbackTried.clear();
});

} // namespace
} // namespace win
} // namespace layer

using namespace layer::win;

extern "C" void layerSetIdleHandler(LayerIdleHandler handler, void *context)
{
    inputState().idleHandler = handler;
    inputState().idleContext = context;
}

extern "C" void layerSetScriptWaitLimit(DWORD milliseconds)
{
    inputState().waitLimit = milliseconds;
}

extern "C" void layerPressKey(UINT vk, BOOL shift)
{
    pressKey(vk, shift != FALSE);
}

extern "C" void layerClick(HWND window)
{
    click(window);
}

extern "C" void layerCloseWindow(HWND window)
{
    pressCloseBox(window);
}

extern "C" void layerActivate(HWND window, UINT how)
{
    if (how != WA_ACTIVE && how != WA_CLICKACTIVE) {
        fprintf(stderr, "layerActivate: %u is neither WA_ACTIVE nor WA_CLICKACTIVE\n", how);
        return;
    }
    activateByUser(window, how);
}

extern "C" void layerDeactivate(HWND window)
{
    deactivateByUser(window);
}
