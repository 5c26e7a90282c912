// Processes: starting a child, waiting for it, reading its exit code.
//
// Every child is a native process of its own. A native program (ELF, or a script with "#!" and the
// execute bit) runs as it is, with the command line's argument text as its one argument; a Windows
// program (a PE file, "MZ") runs through Wine's loader with the DOS command line. Where Wine is not
// installed, a Windows program is one the system cannot run, and CreateProcessA fails with
// ERROR_BAD_EXE_FORMAT, as Windows does for a program that is not made for it. A prefix that wants
// its Windows programs' work done natively puts a native program in their place (a script named
// notepad.exe that shows the document in a pager, say).
#include "dospath.h"
#include "layer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

extern char **environ;

namespace {

void reclaimTerminal()
{
    if (layer::terminalHooks.reclaim)
        layer::terminalHooks.reclaim();
}

// What a child's process handle and thread handle share. The layer must be the only one that reaps
// its children; where something else has (SIGCHLD ignored), how the child ended is lost, and
// GetExitCodeProcess fails with ERROR_ACCESS_DENIED, as where Windows refuses the query.
struct Child {
    explicit Child(pid_t pid) : pid(pid) {}
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child();

    const pid_t pid;
    std::mutex lock;
    bool ended = false;
    bool statusKnown = false;
    int status = 0;
};

Child::~Child()
{
    if (ended)
        return;
    // Nobody follows the child any more: a thread of its own reaps it when it ends, so that it
    // stays no zombie, and the terminal is the program's again.
    pid_t orphan = pid;
    try {
        std::thread([orphan] {
            while (waitpid(orphan, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error &) {
        // Without a thread the zombie stays until the program ends.
    }
    reclaimTerminal();
}

// Reaps the child if it has ended, without waiting; true once it has. The first call that sees
// the end gives the terminal back to the program.
bool reap(Child &child)
{
    {
        std::lock_guard<std::mutex> guard(child.lock);
        if (child.ended)
            return true;
        int status = 0;
        pid_t got;
        do
            got = waitpid(child.pid, &status, WNOHANG);
        while (got < 0 && errno == EINTR);
        if (got == 0)
            return false;
        child.ended = true;
        child.statusKnown = got == child.pid;
        child.status = status;
    }
    reclaimTerminal();
    return true;
}

// Waits for the child to end.
void waitForEnd(Child &child)
{
    // WNOWAIT leaves the reaping to reap(), which other waiters of the same child share.
    siginfo_t info;
    while (waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    reap(child);
}

// A child's process or thread handle. Only the process handle is waited on or asked for the exit
// code; the thread handle is there to be closed.
struct ChildHandle : layer::KernelObject {
    ChildHandle(layer::HandleKind kind, std::shared_ptr<Child> child) : KernelObject(kind), child(std::move(child)) {}
    const std::shared_ptr<Child> child;
};

std::shared_ptr<Child> childOf(HANDLE handle)
{
    auto *object = dynamic_cast<ChildHandle *>(layer::findHandle(handle));
    if (!object || object->kind != layer::HandleKind::Process)
        return nullptr;
    return object->child;
}

bool isBlank(char c)
{
    return c != 0 && static_cast<unsigned char>(c) <= ' ';
}

// Where the command line's first token ends, by the start-up code's rule: a blank outside quotes
// ends it, and a quote switches quoting on or off.
size_t firstTokenEnd(const std::string &commandLine)
{
    bool quoted = false;
    size_t i = 0;
    for (; i < commandLine.size() && (quoted || !isBlank(commandLine[i])); ++i) {
        if (commandLine[i] == '"')
            quoted = !quoted;
    }
    return i;
}

// The command line after its first token and the blanks that follow it: what WinMain receives.
std::string argumentText(const std::string &commandLine)
{
    size_t start = firstTokenEnd(commandLine);
    while (start < commandLine.size() && isBlank(commandLine[start]))
        ++start;
    return commandLine.substr(start);
}

// Splits argument text into arguments as the Microsoft C runtime does, for Wine to join again:
// blanks outside quotes separate, 2n backslashes before a quote stand for n and the quote switches
// quoting, 2n+1 stand for n and a literal quote, and "" inside quotes is a literal quote.
std::vector<std::string> splitArguments(const std::string &text)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (!quoted && isBlank(c)) {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            size_t count = 0;
            while (i < text.size() && text[i] == '\\') {
                ++count;
                ++i;
            }
            if (i < text.size() && text[i] == '"') {
                current.append(count / 2, '\\');
                if (count % 2) {
                    current += '"';
                    continue;
                }
            } else {
                current.append(count, '\\');
                --i;
                continue;
            }
            c = text[i];
        }
        if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                current += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
            continue;
        }
        current += c;
    }
    if (inArgument)
        arguments.push_back(current);
    return arguments;
}

// Argument text that is a DOS path ("C:\...") becomes the native path for a native child, with the
// drive's link followed where the file exists; text the layer cannot map (its directory missing)
// passes as it is, for the child to report.
std::string nativeArgument(const std::string &text)
{
    bool dosPath = text.size() >= 3 && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) &&
                   text[1] == ':' && (text[2] == '\\' || text[2] == '/');
    std::string native;
    DWORD error;
    if (!dosPath || !layer::toNativePath(text.c_str(), native, &error))
        return text;
    char *real = realpath(native.c_str(), nullptr);
    if (real)
        native = real;
    free(real);
    return native;
}

bool isExecutableFile(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The executable `name` in a directory of PATH, or "" when there is none.
std::string findOnPath(const std::string &name)
{
    const char *path = getenv("PATH");
    std::string directories = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        size_t colon = directories.find(':', start);
        std::string dir = directories.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (isExecutableFile(candidate))
            return candidate;
        if (colon == std::string::npos)
            return "";
        start = colon + 1;
    }
}

// The Wine loader for Windows programs, or "" without Wine: $LAYER_WINE_LOADER when it is set (an
// absolute path, or a name looked up in PATH; empty for none), else Debian's 64-bit loader, else
// "wine" in PATH.
std::string wineLoader()
{
    if (const char *chosen = getenv("LAYER_WINE_LOADER"))
        return !*chosen || strchr(chosen, '/') ? chosen : findOnPath(chosen);
    if (isExecutableFile("/usr/lib/wine/wine64"))
        return "/usr/lib/wine/wine64";
    return findOnPath("wine");
}

// What execve runs for a child.
struct Launch {
    std::string path;
    std::vector<std::string> argv;
};

enum class ProgramKind { Native, Windows };

// Tells a native program from a Windows one by the first bytes of its file, as execve and Windows'
// loader do; 0, or the error Windows gives for such a file.
DWORD programKindOf(const std::string &native, ProgramKind &kind)
{
    // O_NONBLOCK: a FIFO standing for the program must not stall the call.
    int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return layer::errorFromErrno(errno);
    struct stat st;
    char magic[4] = {};
    ssize_t length = -1;
    bool directory = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    if (!directory && S_ISREG(st.st_mode))
        length = pread(fd, magic, sizeof magic, 0);
    close(fd);
    if (directory)
        return ERROR_ACCESS_DENIED;
    if (length == 4 && memcmp(magic, "\177ELF", 4) == 0) {
        kind = ProgramKind::Native;
        return 0;
    }
    if (length >= 2 && memcmp(magic, "#!", 2) == 0 && access(native.c_str(), X_OK) == 0) {
        kind = ProgramKind::Native;
        return 0;
    }
    if (length >= 2 && memcmp(magic, "MZ", 2) == 0) {
        kind = ProgramKind::Windows;
        return 0;
    }
    return ERROR_BAD_EXE_FORMAT;
}

DWORD planLaunch(const std::string &program, const std::string &arguments, Launch &launch)
{
    std::string native;
    DWORD error;
    if (!layer::toNativePath(program.c_str(), native, &error))
        return error;
    ProgramKind kind;
    if ((error = programKindOf(native, kind)))
        return error;

    if (kind == ProgramKind::Native) {
        launch.path = native;
        launch.argv = {native};
        // The whole argument text is one argument, as a Windows program reads its command line.
        if (!arguments.empty())
            launch.argv.push_back(nativeArgument(arguments));
        return 0;
    }
    std::string loader = wineLoader();
    if (loader.empty())
        return ERROR_BAD_EXE_FORMAT;
    // Wine joins its arguments into the Windows command line again, quoting where needed.
    std::string dosProgram;
    if (!layer::toFullDosPath(program.c_str(), dosProgram, &error))
        return error;
    launch.path = loader;
    launch.argv = {loader, dosProgram};
    for (const std::string &argument : splitArguments(arguments))
        launch.argv.push_back(argument);
    return 0;
}

// What the child reports through its close-on-exec pipe when it cannot become the program.
struct StartFailure {
    enum Step : int { ChangeDirectory, CloseDescriptors, Execute } step;
    int error;
};

[[noreturn]] void failStart(int report, StartFailure::Step step)
{
    StartFailure failure = {step, errno};
    ssize_t written = write(report, &failure, sizeof failure);
    (void)written;
    _exit(127);
}

// The child's side of fork: only async-signal-safe calls, since the parent may run other threads.
[[noreturn]] void becomeProgram(const Launch &launch, char *const *argv, const char *directory, int report)
{
    // Signals the program ignored or blocked stay so across execve; the child starts afresh.
    struct sigaction standard;
    memset(&standard, 0, sizeof standard);
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &standard, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    if (directory && chdir(directory) != 0)
        failStart(report, StartFailure::ChangeDirectory);
    // Only stdin, stdout and stderr reach the program: every other descriptor closes at execve,
    // the report pipe among them, which tells the parent that execve worked.
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
        failStart(report, StartFailure::CloseDescriptors);
    execve(launch.path.c_str(), argv, environ);
    failStart(report, StartFailure::Execute);
}

DWORD errorOfStart(const StartFailure &failure)
{
    if (failure.step == StartFailure::ChangeDirectory)
        return ERROR_DIRECTORY;
    return layer::errorFromErrno(failure.error);
}

// Starts the child with the caller's environment and reports synchronously whether execve worked;
// 0 or the Win32 error.
DWORD spawn(const Launch &launch, const char *directory, pid_t &pid)
{
    std::vector<char *> argv;
    for (const std::string &argument : launch.argv)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return layer::errorFromErrno(errno);
    if (layer::terminalHooks.release)
        layer::terminalHooks.release();
    pid = fork();
    if (pid == 0)
        becomeProgram(launch, argv.data(), directory, report[1]);
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        reclaimTerminal();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    StartFailure failure;
    ssize_t got;
    do
        got = read(report[0], &failure, sizeof failure);
    while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got != static_cast<ssize_t>(sizeof failure))
        return 0;
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    reclaimTerminal();
    return errorOfStart(failure);
}

BOOL failWith(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

} // namespace

extern "C" BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                                      LPSECURITY_ATTRIBUTES, BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment,
                                      LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                                      LPPROCESS_INFORMATION lpProcessInformation)
{
    if (layer::failHere("CreateProcessA"))
        return FALSE;
    // The program is named by its path, as the program names its viewer: no command line is
    // searched for it.
    if (!lpApplicationName || !lpStartupInfo || !lpProcessInformation)
        return failWith(ERROR_INVALID_PARAMETER);
    // A child that waits for a debugger or a resume, or that has an environment of its own, is not
    // something the layer gives.
    if ((dwCreationFlags & (DEBUG_PROCESS | DEBUG_ONLY_THIS_PROCESS | CREATE_SUSPENDED)) || lpEnvironment)
        return failWith(ERROR_NOT_SUPPORTED);

    // Without a command line the program gets no argument text.
    const std::string program = lpApplicationName;
    const std::string arguments = lpCommandLine ? argumentText(lpCommandLine) : std::string();

    // Windows checks the current directory before it looks for the program.
    std::string directory;
    if (lpCurrentDirectory) {
        DWORD error;
        if (!layer::toNativePath(lpCurrentDirectory, directory, &error) || !layer::isDirectory(directory))
            return failWith(ERROR_DIRECTORY);
    }
    Launch launch;
    if (DWORD error = planLaunch(program, arguments, launch))
        return failWith(error);

    pid_t pid = -1;
    if (DWORD error = spawn(launch, lpCurrentDirectory ? directory.c_str() : nullptr, pid))
        return failWith(error);

    auto child = std::make_shared<Child>(pid);
    lpProcessInformation->hProcess = layer::addHandle(std::make_unique<ChildHandle>(layer::HandleKind::Process, child));
    lpProcessInformation->hThread = layer::addHandle(std::make_unique<ChildHandle>(layer::HandleKind::Thread, child));
    lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
    // A process's first thread has the process's own id on Linux.
    lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

extern "C" HANDLE WINAPI GetCurrentProcess(void)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

extern "C" HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD)
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    if (layer::failHere("WaitForSingleObject"))
        return WAIT_FAILED;
    if (!layer::findHandle(hHandle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    std::shared_ptr<Child> child = childOf(hHandle);
    if (!child) {
        // Semaphore counts and mutex ownership are not modelled (objects.h), and a child's thread
        // handle is only closed.
        SetLastError(ERROR_NOT_SUPPORTED);
        return WAIT_FAILED;
    }
    // The program waits for its child without a time limit.
    if (dwMilliseconds != INFINITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    waitForEnd(*child);
    return WAIT_OBJECT_0;
}

extern "C" BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    if (layer::failHere("GetExitCodeProcess"))
        return FALSE;
    std::shared_ptr<Child> child = childOf(hProcess);
    if (!child)
        return failWith(ERROR_INVALID_HANDLE);
    if (!lpExitCode)
        return failWith(ERROR_NOACCESS);
    if (!reap(*child)) {
        *lpExitCode = STILL_ACTIVE;
        return TRUE;
    }
    // A native process cannot end with codes above 255, such as STILL_ACTIVE: a test reports them.
    if (layer::testKit && layer::testKit->exitCode(*lpExitCode))
        return TRUE;
    std::lock_guard<std::mutex> guard(child->lock);
    if (!child->statusKnown)
        return failWith(ERROR_ACCESS_DENIED);
    // A child that a signal ended reports 128 plus the signal's number, as the shell shows it.
    *lpExitCode = WIFEXITED(child->status) ? WEXITSTATUS(child->status) : 128 + WTERMSIG(child->status);
    return TRUE;
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds)
{
    struct timespec delay;
    delay.tv_sec = dwMilliseconds / 1000;
    delay.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    while (nanosleep(&delay, &delay) != 0) {
    }
}
