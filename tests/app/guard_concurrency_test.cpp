// The instance guard under a crowd: many copies of the installer program started at one moment
// leave exactly one dialog, the others end silently with exit code 0, and no name outlives its
// holders, not even one killed with SIGKILL.
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

#include "test_env.h"

extern char **environ;

namespace {

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

private:
    std::string trace_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

bool held(const char *name)
{
    HANDLE probe = CreateSemaphoreA(NULL, 0, 1, name);
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (probe)
        CloseHandle(probe);
    return existed;
}

// Where the layer keeps the named objects of the test's prefix; it exists while any name does.
std::string objectStore()
{
    struct stat prefix;
    EXPECT_EQ(0, stat(testPrefix().c_str(), &prefix));
    char name[64];
    snprintf(name, sizeof name, "/%llx-%llx", static_cast<unsigned long long>(prefix.st_dev),
             static_cast<unsigned long long>(prefix.st_ino));
    return "/tmp/.da12-objects-" + std::to_string(getuid()) + name;
}

bool storeExists()
{
    struct stat st;
    return lstat(objectStore().c_str(), &st) == 0;
}

} // namespace

class GuardCrowd : public InstallerTest {
protected:
    std::string dir() const { return nativePath(root); }

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
        EXPECT_FALSE(storeExists()) << objectStore();
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
