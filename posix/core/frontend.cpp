// What the front ends meet: the notice of every change on the screen, the front end that is set
// and the script, both of posix/term, and the WINLAYER_TRACE file of events.
#include "layer.h"
#include "windowing.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace layer {
namespace win {
namespace {

// How long a script's `wait <file>` waits at most: a script waits for a step of whoever drives the
// program, and a program run without input must not hang.
const DWORD defaultWaitLimit = 30000;

struct FrontEndState {
    const FrontEnd *frontEnd = nullptr;
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

} // namespace

bool frontEndInput(HWND loopWindow)
{
    if (scriptInput && scriptInput(loopWindow))
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
bool (*scriptInput)(HWND loopWindow) = nullptr;

DWORD scriptWaitLimit()
{
    return frontEndState().waitLimit;
}

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
    s.waitLimit = defaultWaitLimit;
    s.traceResolved = false;
    s.traceFailed = false;
});

} // namespace
} // namespace win
} // namespace layer
