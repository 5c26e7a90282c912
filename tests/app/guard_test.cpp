// The instance guard with real processes: the installer started as its own program beside other
// holders of the named objects, each run ending with exit code 0.
#include "app_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "test_env.h"

namespace {

const char NOTICE[] = "msgbox caption=\"Notice\" text=\"Please quit the Velkor Launcher before running "
                      "DA12Dero.exe\" style=0x00000030 owner=none";
const char SHOWN[] = "dialog shown title=\"VKZS: Delvarin 2 Installer\"";

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// The native installer, started in the media directory with a script of input and a trace.
class InstallerProgram {
public:
    InstallerProgram(const std::string &dir, const std::string &name, const std::string &script)
        : trace_(dir + "/" + name + ".trace")
    {
        std::string scriptPath = dir + "/" + name + ".script";
        std::ofstream(scriptPath) << script;
        pid_ = fork();
        if (pid_ == 0) {
            int devNull = open("/dev/null", O_RDWR);
            dup2(devNull, 0);
            dup2(devNull, 1);
            setenv("WINLAYER_SCRIPT", scriptPath.c_str(), 1);
            setenv("WINLAYER_TRACE", trace_.c_str(), 1);
            execl(DA12_INSTALLER_PATH, "DA12Dero", (char *)nullptr);
            _exit(127);
        }
    }

    ~InstallerProgram()
    {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The exit code, or -1 when it did not end within the time.
    int exitCode(int milliseconds = 20000)
    {
        for (int waited = 0; waited < milliseconds; waited += 10) {
            int status;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    std::string trace() const { return slurp(trace_); }

    bool waitForTrace(const std::string &part, int milliseconds = 20000) const
    {
        for (int waited = 0; waited < milliseconds; waited += 10) {
            if (contains(trace(), part))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    std::string trace_;
    pid_t pid_ = -1;
    bool ended_ = false;
};

// True when the name is held by another process: creating it finds it.
bool held(const char *name, bool mutex = false)
{
    HANDLE probe = mutex ? CreateMutexA(NULL, FALSE, name) : CreateSemaphoreA(NULL, 0, 1, name);
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (probe)
        CloseHandle(probe);
    return existed;
}

} // namespace

class Guard : public InstallerTest {
protected:
    std::string dir() const { return nativePath(root); }
};

TEST_F(Guard, ASecondCopyEndsSilentlyWhileTheFirstShowsItsDialog)
{
    std::string release = dir() + "/release";
    InstallerProgram first(dir(), "first", "wait " + release + "\nclose\n");
    ASSERT_TRUE(first.waitForTrace(SHOWN)) << first.trace();

    // While it runs, only its own marker exists: the probes left nothing behind.
    EXPECT_TRUE(held("Nightfane 1 Installer"));
    for (const char *name : {"Velkor Launcher", "Velkor 1", "Velkor 2", "Velkor Zuva"})
        EXPECT_FALSE(held(name)) << name;
    EXPECT_FALSE(held("Velkor 3 Mutex", true));

    InstallerProgram second(dir(), "second", "close\n");
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.trace(), "") << "no box, no dialog";
    EXPECT_EQ(first.exitCode(100), -1) << "the first copy is undisturbed";

    std::ofstream(release) << "go";
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_TRUE(contains(first.trace(), "dialog ended title=\"VKZS: Delvarin 2 Installer\" result=0"));
    EXPECT_FALSE(held("Nightfane 1 Installer")) << "released at the end";
}

// The launcher's object and the compilation's give the notice, with no owner; the launcher's
// notice also wins over a running game.
TEST_F(Guard, TheLauncherAndTheCompilationGetTheNotice)
{
    const std::vector<std::vector<const char *>> holders = {
        {"Velkor Launcher"}, {"Velkor Zuva"}, {"Velkor Launcher", "Velkor 2"}};
    int run = 0;
    for (const auto &names : holders) {
        std::vector<HANDLE> handles;
        for (const char *name : names)
            handles.push_back(CreateSemaphoreA(NULL, 0, 1, name));
        InstallerProgram installer(dir(), "notice" + std::to_string(run++), "key enter\n");
        EXPECT_EQ(installer.exitCode(), 0) << names[0];
        std::string trace = installer.trace();
        EXPECT_TRUE(contains(trace, NOTICE)) << trace;
        EXPECT_EQ(trace.find("msgbox caption="), trace.rfind("msgbox caption=")) << "one box only";
        EXPECT_FALSE(contains(trace, SHOWN));
        for (HANDLE handle : handles)
            CloseHandle(handle);
    }
}

TEST_F(Guard, AGameEndsTheRunSilently)
{
    int run = 0;
    for (const char *name : {"Velkor 1", "Velkor 2", "Velkor 3 Mutex"}) {
        bool mutex = std::string(name) == "Velkor 3 Mutex";
        HANDLE game = mutex ? CreateMutexA(NULL, FALSE, name) : CreateSemaphoreA(NULL, 0, 1, name);
        InstallerProgram installer(dir(), "game" + std::to_string(run++), "close\n");
        EXPECT_EQ(installer.exitCode(), 0) << name;
        EXPECT_EQ(installer.trace(), "") << name;
        CloseHandle(game);
    }
}

// A semaphore under the mutex's name is another kind of object: the probe fails with another
// error, which counts as absent.
TEST_F(Guard, ASemaphoreNamedLikeTheThirdGamesMutexIsIgnored)
{
    HANDLE impostor = CreateSemaphoreA(NULL, 0, 1, "Velkor 3 Mutex");
    InstallerProgram installer(dir(), "impostor", "close\n");
    EXPECT_EQ(installer.exitCode(), 0);
    EXPECT_TRUE(contains(installer.trace(), SHOWN)) << installer.trace();
    CloseHandle(impostor);
}
