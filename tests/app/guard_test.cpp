// The instance guard with real processes: the installer started as its own program beside other
// holders of the named objects, each run ending with exit code 0; and under a crowd, many copies
// started at one moment leave exactly one dialog, the others end silently, and no name outlives
// its holders, not even one killed with SIGKILL.
#include "app_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "layer_control.h"
#include "test_env.h"

extern char **environ;

namespace {

const char NOTICE[] = "msgbox caption=\"Notice\" text=\"Please quit the Velkor Launcher before running "
                      "DA12Dero.exe\" style=0x00000030 owner=none";
const char SHOWN[] = "dialog shown title=\"VKZS: Delvarin 2 Installer\"";
const char ENDED[] = "dialog ended title=\"VKZS: Delvarin 2 Installer\" result=0";
const int CROWD = 20;

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

// A pipe whose closing starts every program forked while it was open, all at one moment.
class StartingGun {
public:
    StartingGun()
    {
        if (pipe(fds_) != 0)
            ADD_FAILURE() << "no pipe";
    }
    ~StartingGun() { fire(); }

    // In the child: waits for the shot.
    void await() const
    {
        close(fds_[1]);
        char byte;
        while (read(fds_[0], &byte, 1) < 0 && errno == EINTR) {
        }
        close(fds_[0]);
    }

    void fire()
    {
        if (fds_[1] >= 0)
            close(fds_[1]);
        if (fds_[0] >= 0)
            close(fds_[0]);
        fds_[0] = fds_[1] = -1;
    }

private:
    int fds_[2] = {-1, -1};
};

// The native installer in the working directory, with a script of input and a trace, its output
// thrown away as without a terminal.
class Program {
public:
    Program(const std::string &dir, const std::string &name, const std::string &script, const StartingGun *gun = nullptr)
        : trace_(dir + "/" + name + ".trace")
    {
        std::string scriptPath = dir + "/" + name + ".script";
        std::ofstream(scriptPath) << script;
        // Everything the child needs is made before the fork.
        std::vector<std::string> settings = {"WINLAYER_SCRIPT=" + scriptPath, "WINLAYER_TRACE=" + trace_};
        std::vector<char *> env;
        for (char **e = environ; *e; ++e)
            if (strncmp(*e, "WINLAYER_", 9) != 0)
                env.push_back(*e);
        for (std::string &setting : settings)
            env.push_back(&setting[0]);
        env.push_back(nullptr);
        char *argv[] = {const_cast<char *>("DA12Dero"), nullptr};
        pid_ = fork();
        if (pid_ == 0) {
            int devNull = open("/dev/null", O_RDWR);
            dup2(devNull, 0);
            dup2(devNull, 1);
            if (gun)
                gun->await();
            execve(DA12_INSTALLER_PATH, argv, env.data());
            _exit(127);
        }
    }

    ~Program()
    {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Whether it has ended; its exit status is kept.
    bool ended()
    {
        if (!ended_ && waitpid(pid_, &status_, WNOHANG) == pid_)
            ended_ = true;
        return ended_;
    }

    // The exit code (128 + the signal for a killed one), or -1 when it runs past the time.
    int exitCode(int milliseconds = 30000)
    {
        for (int waited = 0; !ended() && waited < milliseconds; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!ended_)
            return -1;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    }

    void killHard()
    {
        kill(pid_, SIGKILL);
        EXPECT_EQ(exitCode(), 128 + SIGKILL);
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
    int status_ = 0;
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

// The layer's directory of the prefix's named objects exists while any name does.
bool storeExists()
{
    char path[MAX_PATH];
    EXPECT_TRUE(layerObjectStorePath(path, sizeof path));
    struct stat st;
    return lstat(path, &st) == 0;
}

} // namespace

class Guard : public InstallerTest {
protected:
    std::string dir() const { return nativePath(root); }
};

TEST_F(Guard, ASecondCopyEndsSilentlyWhileTheFirstShowsItsDialog)
{
    std::string release = dir() + "/release";
    Program first(dir(), "first", "wait " + release + "\nclose\n");
    ASSERT_TRUE(first.waitForTrace(SHOWN)) << first.trace();

    // While it runs, only its own marker exists: the probes left nothing behind.
    EXPECT_TRUE(held("Nightfane 1 Installer"));
    for (const char *name : {"Velkor Launcher", "Velkor 1", "Velkor 2", "Velkor Zuva"})
        EXPECT_FALSE(held(name)) << name;
    EXPECT_FALSE(held("Velkor 3 Mutex", true));

    Program second(dir(), "second", "close\n");
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.trace(), "") << "no box, no dialog";
    EXPECT_EQ(first.exitCode(100), -1) << "the first copy is undisturbed";

    std::ofstream(release) << "go";
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_TRUE(contains(first.trace(), ENDED));
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
        Program installer(dir(), "notice" + std::to_string(run++), "key enter\n");
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
        Program installer(dir(), "game" + std::to_string(run++), "close\n");
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
    Program installer(dir(), "impostor", "close\n");
    EXPECT_EQ(installer.exitCode(), 0);
    EXPECT_TRUE(contains(installer.trace(), SHOWN)) << installer.trace();
    CloseHandle(impostor);
}

class GuardCrowd : public Guard {
protected:
    // Starts the crowd at one moment, each told to hold its dialog until `release` exists, and
    // waits until all but the one showing its dialog have ended; returns that one's index.
    int startCrowd(std::vector<std::unique_ptr<Program>> &crowd, const std::string &round, const std::string &release)
    {
        StartingGun gun;
        for (int i = 0; i < CROWD; ++i)
            crowd.push_back(std::make_unique<Program>(dir(), round + std::to_string(i),
                                                      "wait " + release + "\nclose\n", &gun));
        gun.fire();

        int running = -1;
        for (int waited = 0; waited < 60000; waited += 20) {
            int ended = 0;
            running = -1;
            for (int i = 0; i < CROWD; ++i) {
                if (crowd[i]->ended())
                    ++ended;
                else
                    running = i;
            }
            if (ended == CROWD - 1 && contains(crowd[running]->trace(), SHOWN))
                break;
            if (ended == CROWD)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        int shown = 0;
        for (int i = 0; i < CROWD; ++i) {
            std::string trace = crowd[i]->trace();
            if (contains(trace, SHOWN)) {
                ++shown;
                EXPECT_EQ(i, running) << "only the copy still running shows its dialog";
                EXPECT_FALSE(contains(trace, "msgbox")) << trace;
            } else {
                EXPECT_EQ(crowd[i]->exitCode(0), 0) << "copy " << i;
                EXPECT_EQ(trace, "") << "copy " << i << ": no box, no dialog";
            }
        }
        EXPECT_EQ(shown, 1);
        return shown == 1 ? running : -1;
    }

    // Once every copy has ended, the names are gone and a new copy runs its dialog.
    void expectAFreshStartRuns(const std::string &name)
    {
        EXPECT_FALSE(held("Nightfane 1 Installer"));
        EXPECT_FALSE(storeExists()) << "names left behind";
        Program fresh(dir(), name, "close\n");
        EXPECT_EQ(fresh.exitCode(), 0);
        EXPECT_TRUE(contains(fresh.trace(), SHOWN)) << fresh.trace();
        EXPECT_TRUE(contains(fresh.trace(), ENDED)) << fresh.trace();
        EXPECT_FALSE(storeExists()) << "names left behind";
    }
};

TEST_F(GuardCrowd, TwentyStartedAtOnceLeaveOneDialogAndNoNames)
{
    std::string release = dir() + "/release";
    std::vector<std::unique_ptr<Program>> crowd;
    int running = startCrowd(crowd, "crowd", release);
    ASSERT_GE(running, 0);
    EXPECT_TRUE(held("Nightfane 1 Installer"));

    std::ofstream(release) << "go";
    EXPECT_EQ(crowd[running]->exitCode(), 0);
    EXPECT_TRUE(contains(crowd[running]->trace(), ENDED)) << crowd[running]->trace();
    expectAFreshStartRuns("fresh");
}

// The copy showing its dialog is killed with SIGKILL: its name dies with it, and the next copy
// runs; so does a second crowd, which again leaves one dialog.
TEST_F(GuardCrowd, AfterTheRunningCopyIsKilledANewOneRuns)
{
    std::string never = dir() + "/never";
    std::vector<std::unique_ptr<Program>> crowd;
    int running = startCrowd(crowd, "first", never);
    ASSERT_GE(running, 0);
    crowd[running]->killHard();
    EXPECT_FALSE(held("Nightfane 1 Installer")) << "the killed copy's name is gone";

    std::string release = dir() + "/release";
    std::vector<std::unique_ptr<Program>> second;
    int next = startCrowd(second, "second", release);
    ASSERT_GE(next, 0);
    std::ofstream(release) << "go";
    EXPECT_EQ(second[next]->exitCode(), 0);
    expectAFreshStartRuns("fresh");
}
