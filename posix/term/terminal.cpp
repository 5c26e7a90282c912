// The terminal front end: shows the program's dialogs and message boxes as text on the terminal it
// runs on, and turns the keys typed there into the input a user gives a dialog.
//
// Linked into a program, it has the window system offer it the terminal with its first change,
// the first window made. It accepts when standard input and output are both terminals (and not
// dumb ones), no WINLAYER_SCRIPT drives the program and no test has reset the layer (a test
// steers its process itself), and from then on follows the windows. It takes the terminal the first time a modal loop
// waits for input, so that a program that never waits (a test that drives its own dialogs) keeps
// its terminal untouched. Then it draws whenever a loop waits and, throttled, whenever the program
// changes what a window shows while it works. Raw mode and the alternate screen are in force only
// while a window is shown and no child process has the terminal; every way out (the last window
// gone, exit, a fatal signal, a stop) puts the terminal back as it was found.
#include "layer.h"
#include "textscreen.h"
#include "windowing.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace layer {
namespace win {
namespace {

// At most one frame per this many milliseconds while the program works; a loop that waits for
// input always gets its final state drawn.
const long long drawIntervalMs = 30;
// How long an Escape byte waits for the rest of a key's escape sequence.
const int escapeWaitMs = 50;
// A longer sequence is no key that any terminal sends.
const size_t longestSequence = 32;

// The alternate screen (1049 also saves the cursor), the cursor hidden, and no automatic wrap, so
// that the last cell of the last row can be written without scrolling the screen.
const char enterSequence[] = "\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[H\x1b[2J";
const char leaveSequence[] = "\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";

// What the signal handlers share with the program. The handlers make only async-signal-safe calls
// (write, poll, tcsetattr, signal, sigaction, pthread_sigmask, raise).
volatile sig_atomic_t onScreen = 0; // raw mode and the alternate screen are in force
volatile sig_atomic_t resized = 0;
volatile sig_atomic_t continued = 0;
struct termios savedModes; // as the terminal was found; written before any handler is installed
struct termios rawModes;
int wakePipe[2] = {-1, -1}; // a handler's byte wakes the wait for keys

// The signals whose default action ends the process, and those that stop, continue and resize it.
const int endingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGABRT};
const int handledSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGABRT, SIGTSTP, SIGCONT, SIGWINCH};

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written > 0) {
            data += written;
            size -= static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN) {
            struct pollfd out = {fd, POLLOUT, 0};
            poll(&out, 1, 100);
            continue;
        }
        return false;
    }
    return true;
}

// Puts the terminal back as it was found. Safe in a signal handler.
void restoreTerminal()
{
    if (!onScreen)
        return;
    onScreen = 0;
    writeAll(STDOUT_FILENO, leaveSequence, sizeof leaveSequence - 1);
    tcsetattr(STDIN_FILENO, TCSADRAIN, &savedModes);
}

void wake()
{
    if (wakePipe[1] >= 0) {
        ssize_t written = write(wakePipe[1], "", 1);
        (void)written; // a full pipe already wakes the wait
    }
}

void onEndingSignal(int sig)
{
    restoreTerminal();
    signal(sig, SIG_DFL);
    raise(sig); // delivered as the handler returns: the process ends as the signal would end it
}

struct sigaction stopAction;

// A stop gives the terminal back before the process stops; the continue that follows takes it
// again (see takeSignals).
void onStop(int)
{
    int savedErrno = errno;
    restoreTerminal();
    signal(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    raise(SIGTSTP);
    pthread_sigmask(SIG_UNBLOCK, &stop, nullptr); // the process stops here until SIGCONT
    sigaction(SIGTSTP, &stopAction, nullptr);
    errno = savedErrno;
}

void onContinue(int)
{
    int savedErrno = errno;
    continued = 1;
    wake();
    errno = savedErrno;
}

void onResize(int)
{
    int savedErrno = errno;
    resized = 1;
    wake();
    errno = savedErrno;
}

// Keeps handlers out while the program switches the terminal's state or writes a frame.
struct SignalsHeld {
    SignalsHeld(const int *first, const int *last)
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int *sig = first; sig != last; ++sig)
            sigaddset(&held, *sig);
        pthread_sigmask(SIG_BLOCK, &held, &previous);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;
    sigset_t previous;
};


struct TerminalState {
    bool offered = false;
    bool steered = false;   // a test reset the layer: it drives this process itself
    bool following = false; // the front end: it follows the windows
    bool active = false;    // it has taken the terminal
    bool failed = false;    // the terminal could not be taken
    int lent = 0;           // children that have the terminal now
    bool inputGone = false;
    bool outputGone = false;
    bool dirty = true;
    bool fullRedraw = true;
    long long lastDraw = 0;
    int cols = 80;
    int rows = 24;
    Drawing drawing;
    std::string input; // bytes typed but not yet taken as keys
    Screen shown{0, 0}; // what the terminal shows
    struct sigaction previous[sizeof handledSignals / sizeof handledSignals[0]];
    bool handled[sizeof handledSignals / sizeof handledSignals[0]] = {};
    bool stopHandled = false;
    struct sigaction lentInterrupt, lentQuit;
    bool exitHookSet = false;
};

TerminalState &state()
{
    static TerminalState s;
    return s;
}

void readSize()
{
    TerminalState &t = state();
    struct winsize size;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0)
        return;
    // Beyond these a cell buffer would only waste memory; nobody reads such a screen.
    t.cols = std::min<int>(size.ws_col, 1000);
    t.rows = std::min<int>(size.ws_row, 1000);
}

void enterScreen()
{
    SignalsHeld held(std::begin(handledSignals), std::end(handledSignals));
    onScreen = 1;
    tcsetattr(STDIN_FILENO, TCSANOW, &rawModes);
    if (!writeAll(STDOUT_FILENO, enterSequence, sizeof enterSequence - 1))
        state().outputGone = true;
    state().fullRedraw = true;
}

void leaveScreen()
{
    SignalsHeld held(std::begin(handledSignals), std::end(handledSignals));
    restoreTerminal();
}

// What the handlers noted: a new size, or a continue after a stop.
void takeSignals()
{
    TerminalState &t = state();
    char drained[64];
    while (read(wakePipe[0], drained, sizeof drained) > 0) {
    }
    if (resized) {
        resized = 0;
        readSize();
        t.fullRedraw = t.dirty = true;
    }
    if (continued) {
        continued = 0;
        // A stop through SIGSTOP left the terminal in our modes as far as we know, but the shell
        // may have reset them meanwhile.
        if (onScreen && !t.lent)
            enterScreen();
        t.fullRedraw = t.dirty = true;
    }
}

// Sends what differs from the screen as it stands, in one write.
void flush(const Screen &frame)
{
    TerminalState &t = state();
    std::string out = frameUpdate(frame, t.fullRedraw ? nullptr : &t.shown, t.drawing.utf8);
    if (out.empty())
        return;
    // A stop in the middle would leave the rest of the frame for the shell's screen.
    const int stop[] = {SIGTSTP};
    SignalsHeld held(std::begin(stop), std::end(stop));
    if (!writeAll(STDOUT_FILENO, out.data(), out.size())) {
        t.outputGone = true;
        return;
    }
    t.shown = frame;
    t.fullRedraw = false;
}

// Brings the screen up to date: the windows shown, or the terminal given back when there are none.
// False when there is nothing to show or no terminal to show it on.
bool redraw()
{
    TerminalState &t = state();
    if (!t.active || t.lent || t.outputGone)
        return false;
    takeSignals();
    std::vector<HWND> shown = shownWindows();
    if (shown.empty()) {
        leaveScreen();
        t.dirty = false;
        return false;
    }
    if (!onScreen)
        enterScreen();
    if (t.dirty || t.fullRedraw) {
        Screen frame(t.cols, t.rows);
        compose(frame, shown, t.drawing);
        flush(frame);
        t.lastDraw = monotonicMilliseconds();
        t.dirty = false;
    }
    return !t.outputGone;
}

enum class Key { None, Char, Escape, BackTab, Up, Down, Left, Right };

struct KeyPress {
    Key key;
    char c;
};

enum class Decoded { Nothing, Partial, Complete };

// Takes the first key from the bytes typed. An Escape byte starts a sequence when '[' or 'O'
// follows; alone, it is the Escape key once it has waited for a follower in vain.
Decoded decodeKey(std::string &input, bool waited, KeyPress &press)
{
    press = {Key::None, 0};
    if (input.empty())
        return Decoded::Nothing;
    if (input[0] != '\x1b') {
        press = {Key::Char, input[0]};
        input.erase(0, 1);
        return Decoded::Complete;
    }
    if (input.size() == 1 && !waited)
        return Decoded::Partial;
    if (input.size() == 1 || (input[1] != '[' && input[1] != 'O')) {
        press = {Key::Escape, 0};
        input.erase(0, 1);
        return Decoded::Complete;
    }
    // Parameter and intermediate bytes, then the final byte.
    size_t end = 2;
    while (end < input.size() && input[end] >= 0x20 && input[end] <= 0x3F)
        ++end;
    if (end == input.size()) {
        if (!waited && end < longestSequence)
            return Decoded::Partial;
        press = {Key::Escape, 0};
        input.erase(0, 1);
        return Decoded::Complete;
    }
    std::string parameters = input.substr(2, end - 2);
    char final = input[end];
    input.erase(0, end + 1);
    if (!parameters.empty() && parameters != "1")
        return Decoded::Complete; // a key with modifiers or one the dialogs have no use for
    switch (final) {
    case 'Z': press.key = Key::BackTab; break;
    case 'A': press.key = Key::Up; break;
    case 'B': press.key = Key::Down; break;
    case 'C': press.key = Key::Right; break;
    case 'D': press.key = Key::Left; break;
    }
    return Decoded::Complete;
}

const char controlC = 0x03;
const char controlL = 0x0C;
const char controlZ = 0x1A;

// Gives a key to the window whose loop waits; false when it gave no input.
bool giveKey(const KeyPress &press, HWND loopWindow)
{
    TerminalState &t = state();
    HWND top = topLevelOf(loopWindow);
    switch (press.key) {
    case Key::None: return false;
    case Key::Escape: pressKey(VK_ESCAPE, false); return true;
    case Key::BackTab:
    case Key::Up:
    case Key::Left: pressKey(VK_TAB, true); return true;
    case Key::Down:
    case Key::Right: pressKey(VK_TAB, false); return true;
    case Key::Char: break;
    }
    switch (press.c) {
    case '\t': pressKey(VK_TAB, false); return true;
    case '\r':
    case '\n': pressKey(VK_RETURN, false); return true;
    case ' ': pressKey(VK_SPACE, false); return true;
    case controlC:
    case 'q':
    case 'Q': pressCloseBox(top); return true;
    case controlL: t.fullRedraw = t.dirty = true; return false;
    case controlZ:
        // Raw mode turns the suspend key into a byte; it stops the program as it would have.
        if (t.stopHandled)
            raise(SIGTSTP);
        return false;
    }
    char c = static_cast<char>(tolower(static_cast<unsigned char>(press.c)));
    std::vector<HWND> buttons = keyedButtons(top);
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (keyForButton(i) == c && takesInput(buttons[i])) {
            click(buttons[i]);
            return true;
        }
    }
    return false;
}

// Waits for bytes typed or a handler's wake-up; false when the time ran out first.
bool waitForInput(int timeoutMs)
{
    TerminalState &t = state();
    struct pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
    int ready = poll(fds, 2, timeoutMs);
    if (ready == 0)
        return false;
    if (ready < 0)
        return true; // a signal: the caller looks at what its handler noted
    if (fds[0].revents & POLLNVAL) {
        t.inputGone = true;
    } else if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        char bytes[256];
        ssize_t got = read(STDIN_FILENO, bytes, sizeof bytes);
        if (got > 0)
            t.input.append(bytes, static_cast<size_t>(got));
        else if (got == 0 || (errno != EINTR && errno != EAGAIN))
            t.inputGone = true; // the terminal hung up
    }
    return true;
}

bool takeTerminal();

bool idleOnTerminal(HWND loopWindow)
{
    TerminalState &t = state();
    if (!t.active && !takeTerminal())
        return false;
    bool waited = false;
    for (;;) {
        // Without keys to read or a screen to show them on, the fallback ends the loop.
        if (!t.active || t.lent || t.inputGone)
            return false;
        // A stop may take the screen away at any moment; the continue brings it back.
        if (!redraw())
            return false;
        KeyPress press;
        Decoded decoded = decodeKey(t.input, waited, press);
        if (decoded == Decoded::Complete) {
            waited = false;
            if (giveKey(press, loopWindow))
                return true;
            continue;
        }
        if (!waitForInput(decoded == Decoded::Partial ? escapeWaitMs : -1))
            waited = true;
    }
}

void changedOnTerminal(Change what, HWND hwnd)
{
    TerminalState &t = state();
    if (!t.following)
        return;
    t.drawing.follow(what, hwnd);
    t.dirty = true;
    if (!t.active || t.lent)
        return;
    switch (what) {
    case Change::Hidden:
    case Change::Destroyed:
    case Change::DialogEnded:
        // The terminal goes back as soon as the last window goes.
        if (onScreen && shownWindows().empty())
            leaveScreen();
        return;
    case Change::Painted:
    case Change::Progress:
    case Change::Text:
        // What a working program shows, at most once an interval. Shown, moved and created
        // windows wait for their paint: until then they are half made.
        if (monotonicMilliseconds() - t.lastDraw >= drawIntervalMs)
            redraw();
        return;
    default:
        return;
    }
}

const FrontEnd terminalFrontEnd = {idleOnTerminal, changedOnTerminal};

// A child process gets the terminal as the user had it, and the program ignores the keyboard's
// interrupt and quit meanwhile, as system() does: they belong to the child.
void releaseTerminal()
{
    TerminalState &t = state();
    if (!t.active || t.lent++ > 0)
        return;
    leaveScreen();
    struct sigaction ignore;
    memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &t.lentInterrupt);
    sigaction(SIGQUIT, &ignore, &t.lentQuit);
}

void reclaimTerminal()
{
    TerminalState &t = state();
    if (!t.active || t.lent == 0 || --t.lent > 0)
        return;
    sigaction(SIGINT, &t.lentInterrupt, nullptr);
    sigaction(SIGQUIT, &t.lentQuit, nullptr);
    // The child may have changed the size, and the screen is the child's now.
    readSize();
    t.fullRedraw = t.dirty = true;
}

void restoreAtExit()
{
    SignalsHeld held(std::begin(handledSignals), std::end(handledSignals));
    restoreTerminal();
}

bool utf8Locale()
{
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char *value = getenv(name);
        if (value && *value)
            return strcasestr(value, "UTF-8") || strcasestr(value, "utf8");
    }
    return false;
}

Colours colourSupport()
{
    const char *noColour = getenv("NO_COLOR");
    if (noColour && *noColour)
        return Colours::None;
    const char *colourTerm = getenv("COLORTERM");
    if (colourTerm && (strcasecmp(colourTerm, "truecolor") == 0 || strcasecmp(colourTerm, "24bit") == 0))
        return Colours::Direct;
    const char *term = getenv("TERM");
    return term && strstr(term, "256color") ? Colours::Palette256 : Colours::None;
}

void installHandlers()
{
    TerminalState &t = state();
    struct sigaction action;
    memset(&action, 0, sizeof action);
    sigemptyset(&action.sa_mask);
    for (int sig : handledSignals)
        sigaddset(&action.sa_mask, sig);
    // The program's own calls (file copies among them) go on through a resize.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < sizeof handledSignals / sizeof handledSignals[0]; ++i) {
        int sig = handledSignals[i];
        if (sigaction(sig, nullptr, &t.previous[i]) != 0)
            continue;
        // A signal that the program was started ignoring (nohup, a shell without job control)
        // stays ignored.
        if (t.previous[i].sa_handler == SIG_IGN && sig != SIGCONT && sig != SIGWINCH)
            continue;
        bool ending = std::find(std::begin(endingSignals), std::end(endingSignals), sig) != std::end(endingSignals);
        action.sa_handler = ending ? onEndingSignal : sig == SIGTSTP ? onStop : sig == SIGCONT ? onContinue : onResize;
        if (sig == SIGTSTP)
            stopAction = action;
        t.handled[i] = sigaction(sig, &action, nullptr) == 0;
        if (sig == SIGTSTP)
            t.stopHandled = t.handled[i];
    }
}

// Gives the terminal up for good: a test has taken over the process.
void withdraw()
{
    TerminalState &t = state();
    leaveScreen();
    for (size_t i = 0; i < sizeof handledSignals / sizeof handledSignals[0]; ++i) {
        if (t.handled[i])
            sigaction(handledSignals[i], &t.previous[i], nullptr);
        t.handled[i] = false;
    }
    t.stopHandled = false;
    if (terminalHooks.release == releaseTerminal)
        terminalHooks = {nullptr, nullptr};
    t.active = false;
}

const ResetHook resetTerminal([] {
    TerminalState &t = state();
    t.steered = true;
    t.following = false;
    if (t.active)
        withdraw();
});

bool takeTerminal()
{
    TerminalState &t = state();
    if (!t.following || t.failed)
        return false;
    if (tcgetattr(STDIN_FILENO, &savedModes) != 0 || pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        t.failed = true;
        return false;
    }
    // Keys as they are typed, without echo; the keyboard's signal keys arrive as bytes, so that
    // Ctrl+C closes the dialog instead of killing the program. Output processing stays.
    rawModes = savedModes;
    rawModes.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK);
    rawModes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    rawModes.c_cc[VMIN] = 1;
    rawModes.c_cc[VTIME] = 0;
    t.drawing.utf8 = utf8Locale();
    t.drawing.colours = colourSupport();
    readSize();
    installHandlers();
    if (!t.exitHookSet)
        t.exitHookSet = atexit(restoreAtExit) == 0;
    terminalHooks = {releaseTerminal, reclaimTerminal};
    t.active = true;
    return true;
}

} // namespace

namespace {

void offerTerminal()
{
    TerminalState &t = state();
    if (t.offered || t.steered)
        return;
    t.offered = true;
    // A dumb terminal (an editor's shell buffer) can neither place the cursor nor give single keys.
    const char *script = getenv("WINLAYER_SCRIPT");
    const char *term = getenv("TERM");
    if ((script && *script) || !isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO) || (term && !strcmp(term, "dumb")))
        return;
    t.following = true;
    setFrontEnd(&terminalFrontEnd);
}

struct Offered {
    Offered() { offerFrontEnd = offerTerminal; }
} offered;

} // namespace

} // namespace win
} // namespace layer
