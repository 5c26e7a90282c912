// The terminal front end as a user meets it: programs run on a pseudo-terminal of their own, and the
// test reads the screen their output makes: raw mode, keys, signals, resizes, the terminal lent to a
// child process, and what the terminal's settings choose. The native installer runs against media and
// a prefix from mkmedia; this test program runs itself as a smaller dialog program (main.cpp). How
// windows are laid out as text is textscreen_test.cpp's.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "child_programs.h"
#include "conformance_ids.h"
#include "dialog_support.h"
#include "test_dib.h"

extern char **environ;

namespace {

const int waitMs = 20000;
const char enterScreen[] = "\x1b[?1049h";
const char leaveScreen[] = "\x1b[?1049l";

long long nowMs()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The screen of a terminal, as far as the front end and a shell's output need: printing with or
// without automatic wrap, cursor positioning, erasing, the attributes that mark buttons, and the
// alternate screen.
class VirtualScreen {
public:
    struct Cell {
        char32_t glyph = U' ';
        bool bold = false;
        bool reverse = false;
        bool dim = false;
    };

    VirtualScreen(int cols, int rows) { resize(cols, rows); }

    void resize(int cols, int rows)
    {
        cols_ = cols;
        rows_ = rows;
        main_.assign(static_cast<size_t>(cols * rows), Cell());
        alternate_.assign(static_cast<size_t>(cols * rows), Cell());
        x_ = std::min(x_, cols - 1);
        y_ = std::min(y_, rows - 1);
    }

    void feed(const std::string &bytes)
    {
        for (unsigned char c : bytes)
            feedByte(c);
    }

    bool onAlternate() const { return onAlternate_; }
    std::pair<int, int> cursor() const { return {x_, y_}; }
    bool cursorVisible() const { return cursorVisible_; }
    int cols() const { return cols_; }
    int rows() const { return rows_; }

    const Cell &at(int x, int y) const { return cells()[static_cast<size_t>(y * cols_ + x)]; }

    std::string row(int y) const
    {
        std::string out;
        for (int x = 0; x < cols_; ++x)
            appendUtf8(out, at(x, y).glyph);
        return out;
    }

    std::string text() const
    {
        std::string out;
        for (int y = 0; y < rows_; ++y)
            out += row(y) + "\n";
        return out;
    }

    bool contains(const std::string &needle) const { return find(needle).first >= 0; }

    // The column (in characters) and row where the text starts, or (-1, -1).
    std::pair<int, int> find(const std::string &needle) const
    {
        for (int y = 0; y < rows_; ++y) {
            std::string line = row(y);
            size_t at = line.find(needle);
            if (at == std::string::npos)
                continue;
            int column = 0;
            for (size_t i = 0; i < at; ++i)
                column += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
            return {column, y};
        }
        return {-1, -1};
    }

private:
    std::vector<Cell> &cells() { return onAlternate_ ? alternate_ : main_; }
    const std::vector<Cell> &cells() const { return onAlternate_ ? alternate_ : main_; }

    void feedByte(unsigned char c)
    {
        switch (state_) {
        case State::Ground: return ground(c);
        case State::Escape:
            state_ = State::Ground;
            if (c == '[') {
                state_ = State::Csi;
                parameters_.clear();
            } else if (c == ']') {
                state_ = State::Osc;
            }
            return;
        case State::Csi:
            if (c >= 0x20 && c <= 0x3F)
                parameters_ += static_cast<char>(c);
            else {
                state_ = State::Ground;
                controlSequence(static_cast<char>(c));
            }
            return;
        case State::Osc:
            if (c == 0x07 || c == 0x1b)
                state_ = State::Ground;
            return;
        }
    }

    void ground(unsigned char c)
    {
        if (pending_ > 0 && (c & 0xC0) == 0x80) {
            code_ = (code_ << 6) | (c & 0x3F);
            if (--pending_ == 0)
                print(code_);
            return;
        }
        pending_ = 0;
        if (c == 0x1b) {
            state_ = State::Escape;
        } else if (c == '\r') {
            x_ = 0;
        } else if (c == '\n') {
            lineFeed();
        } else if (c == '\b') {
            x_ = std::max(0, x_ - 1);
        } else if (c >= 0xF0) {
            code_ = c & 0x07;
            pending_ = 3;
        } else if (c >= 0xE0) {
            code_ = c & 0x0F;
            pending_ = 2;
        } else if (c >= 0xC0) {
            code_ = c & 0x1F;
            pending_ = 1;
        } else if (c >= 0x20 && c < 0x7F) {
            print(c);
        }
    }

    void lineFeed()
    {
        if (y_ + 1 < rows_) {
            ++y_;
            return;
        }
        std::vector<Cell> &screen = cells();
        screen.erase(screen.begin(), screen.begin() + cols_);
        screen.resize(static_cast<size_t>(cols_ * rows_), Cell());
    }

    void print(char32_t glyph)
    {
        if (x_ >= cols_) {
            if (!wrap_) {
                x_ = cols_ - 1;
            } else {
                x_ = 0;
                lineFeed();
            }
        }
        Cell &cell = cells()[static_cast<size_t>(y_ * cols_ + x_)];
        cell = look_;
        cell.glyph = glyph;
        ++x_;
    }

    std::vector<int> numbers() const
    {
        std::vector<int> values;
        std::stringstream in(parameters_[0] == '?' ? parameters_.substr(1) : parameters_);
        std::string part;
        while (std::getline(in, part, ';'))
            values.push_back(part.empty() ? 0 : atoi(part.c_str()));
        return values;
    }

    void erase(int from, int to)
    {
        for (int i = from; i < to; ++i)
            cells()[static_cast<size_t>(i)] = Cell();
    }

    void controlSequence(char final)
    {
        bool privateMode = !parameters_.empty() && parameters_[0] == '?';
        std::vector<int> n = parameters_.empty() ? std::vector<int>() : numbers();
        auto number = [&](size_t i, int otherwise) { return i < n.size() && n[i] > 0 ? n[i] : otherwise; };
        switch (final) {
        case 'H':
        case 'f':
            y_ = std::min(number(0, 1), rows_) - 1;
            x_ = std::min(number(1, 1), cols_) - 1;
            return;
        case 'J':
            if (number(0, 0) == 0)
                erase(y_ * cols_ + x_, cols_ * rows_);
            else
                erase(0, cols_ * rows_);
            return;
        case 'K':
            erase(y_ * cols_ + (number(0, 0) == 0 ? x_ : 0), (y_ + 1) * cols_);
            return;
        case 'm':
            if (n.empty())
                look_ = Cell();
            for (size_t i = 0; i < n.size(); ++i) {
                switch (n[i]) {
                case 0: look_ = Cell(); break;
                case 1: look_.bold = true; break;
                case 2: look_.dim = true; break;
                case 7: look_.reverse = true; break;
                case 38:
                case 48: i += i + 1 < n.size() && n[i + 1] == 2 ? 4 : 2; break;
                }
            }
            return;
        case 'h':
        case 'l':
            if (!privateMode)
                return;
            for (int mode : n) {
                bool set = final == 'h';
                if (mode == 1049 && set != onAlternate_) {
                    // The cursor is saved on entering and put back on leaving.
                    onAlternate_ = set;
                    if (set) {
                        saved_ = {x_, y_};
                        alternate_.assign(static_cast<size_t>(cols_ * rows_), Cell());
                    } else {
                        x_ = std::min(saved_.first, cols_ - 1);
                        y_ = std::min(saved_.second, rows_ - 1);
                    }
                } else if (mode == 25) {
                    cursorVisible_ = set;
                } else if (mode == 7) {
                    wrap_ = set;
                }
            }
            return;
        }
    }

    enum class State { Ground, Escape, Csi, Osc } state_ = State::Ground;
    int cols_ = 0, rows_ = 0;
    int x_ = 0, y_ = 0;
    std::pair<int, int> saved_;
    std::vector<Cell> main_, alternate_;
    bool onAlternate_ = false;
    bool cursorVisible_ = true;
    bool wrap_ = true;
    Cell look_;
    std::string parameters_;
    char32_t code_ = 0;
    int pending_ = 0;
};

// A program on a pseudo-terminal: its output read into a screen, keys written as typed, the modes
// of its terminal read through the terminal's own side. As under a shell with job control, the
// program runs as a job of its own in the foreground, under a process that stands in for the shell
// and ends as the job ends: the kernel ignores stop signals in a process group without such a
// parent (an orphaned one).
class PtyProgram {
public:
    PtyProgram(int cols, int rows) : screen(cols, rows), cols_(cols), rows_(rows) {}
    PtyProgram(const PtyProgram &) = delete;
    PtyProgram &operator=(const PtyProgram &) = delete;

    ~PtyProgram()
    {
        if (pid_ > 0 && !ended_) {
            if (job_ > 0)
                kill(job_, SIGKILL);
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0)
            close(master_);
        if (slave_ >= 0)
            close(slave_);
    }

    // Runs the program in `dir` with the test's environment changed by `env` (an empty value
    // removes a variable); with `noTerminalInput`, standard input is /dev/null instead.
    void start(const std::vector<std::string> &args, const std::map<std::string, std::string> &env,
               const std::string &dir, bool noTerminalInput = false)
    {
        std::map<std::string, std::string> variables;
        for (char **p = environ; *p; ++p) {
            std::string entry = *p;
            size_t equals = entry.find('=');
            variables[entry.substr(0, equals)] = equals == std::string::npos ? "" : entry.substr(equals + 1);
        }
        for (const char *name : {"WINLAYER_SCRIPT", "WINLAYER_TRACE", "COLORTERM", "NO_COLOR", "LC_ALL", "LC_CTYPE"})
            variables.erase(name);
        variables["TERM"] = "xterm";
        variables["LANG"] = "C.UTF-8";
        for (const auto &change : env) {
            if (change.second.empty())
                variables.erase(change.first);
            else
                variables[change.first] = change.second;
        }
        std::vector<std::string> entries;
        for (const auto &variable : variables)
            entries.push_back(variable.first + "=" + variable.second);
        std::vector<char *> envp, argv;
        for (std::string &entry : entries)
            envp.push_back(&entry[0]);
        envp.push_back(nullptr);
        std::vector<std::string> arguments = args;
        for (std::string &argument : arguments)
            argv.push_back(&argument[0]);
        argv.push_back(nullptr);

        struct winsize size = {};
        size.ws_col = static_cast<unsigned short>(cols_);
        size.ws_row = static_cast<unsigned short>(rows_);
        char name[256] = {};
        int report[2];
        ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
        pid_ = forkpty(&master_, name, nullptr, &size);
        ASSERT_GE(pid_, 0) << strerror(errno);
        if (pid_ == 0)
            runJob(argv.data(), envp.data(), dir.c_str(), noTerminalInput, report[1]);
        close(report[1]);
        ASSERT_EQ(read(report[0], &job_, sizeof job_), static_cast<ssize_t>(sizeof job_));
        close(report[0]);
        // Kept open, so that the terminal outlives the program and its modes stay readable.
        slave_ = open(name, O_RDWR | O_NOCTTY);
        ASSERT_GE(slave_, 0) << name << ": " << strerror(errno);
        ASSERT_EQ(tcgetattr(slave_, &initialModes), 0);
    }

    pid_t pid() const { return job_; }

    void send(const std::string &bytes)
    {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads the program's output until `done` holds, at most `ms` milliseconds.
    bool waitUntil(const std::function<bool()> &done, int ms = waitMs)
    {
        long long deadline = nowMs() + ms;
        while (!done()) {
            long long left = deadline - nowMs();
            if (left <= 0)
                return false;
            readFor(static_cast<int>(std::min(left, 50LL)));
        }
        return true;
    }

    bool waitForScreen(const std::string &text, int ms = waitMs)
    {
        return waitUntil([&] { return screen.contains(text); }, ms);
    }

    bool waitForOutput(const std::string &text, size_t from = 0, int ms = waitMs)
    {
        return waitUntil([&] { return output.find(text, from) != std::string::npos; }, ms);
    }

    // Waits until the program waits for keys with its screen complete: Ctrl+L redraws the whole
    // screen, only a loop that waits for input reads it, and a whole screen is written row by row
    // to the last cell of the last row.
    bool settle()
    {
        size_t from = output.size();
        send("\x0c");
        std::string lastRow = "\x1b[" + std::to_string(screen.rows()) + ";1H";
        return waitUntil([&] {
            size_t cleared = output.find("\x1b[2J", from);
            return cleared != std::string::npos && output.find(lastRow, cleared) != std::string::npos &&
                   screen.cursor() == std::make_pair(screen.cols(), screen.rows() - 1);
        });
    }

    // The program's status once it ends, reading its output meanwhile; false when it goes on.
    bool waitForExit(int &status, int ms = waitMs)
    {
        bool ended = waitUntil([&] { return reap(0); }, ms);
        if (ended) {
            // What the program wrote before it ended is all in the terminal's buffer by now.
            while (readFor(50)) {
            }
            status = status_;
        }
        return ended;
    }

    bool waitForStop(int ms = waitMs)
    {
        return waitUntil([&] { return jobState() == 'T'; }, ms);
    }

    void resize(int cols, int rows)
    {
        struct winsize size = {};
        size.ws_col = static_cast<unsigned short>(cols);
        size.ws_row = static_cast<unsigned short>(rows);
        screen.resize(cols, rows);
        ASSERT_EQ(ioctl(master_, TIOCSWINSZ, &size), 0);
    }

    struct termios modes() const
    {
        struct termios now = {};
        tcgetattr(slave_, &now);
        return now;
    }

    std::string output;
    VirtualScreen screen;
    struct termios initialModes = {};

private:
    // The stand-in shell, after forkpty: only async-signal-safe calls until the job's execve.
    [[noreturn]] static void runJob(char *const *argv, char *const *envp, const char *dir, bool noTerminalInput,
                                    int report)
    {
        signal(SIGTTOU, SIG_IGN);
        pid_t job = fork();
        if (job == 0) {
            setpgid(0, 0);
            tcsetpgrp(STDIN_FILENO, getpid());
            signal(SIGTTOU, SIG_DFL);
            if (*dir && chdir(dir) != 0)
                _exit(126);
            if (noTerminalInput)
                dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
            execve(argv[0], argv, envp);
            _exit(127);
        }
        setpgid(job, job);
        tcsetpgrp(STDIN_FILENO, job);
        ssize_t written = write(report, &job, sizeof job);
        (void)written;
        int status = 0;
        while (waitpid(job, &status, 0) < 0) {
            if (errno != EINTR)
                _exit(125);
        }
        if (WIFEXITED(status))
            _exit(WEXITSTATUS(status));
        signal(WTERMSIG(status), SIG_DFL);
        kill(getpid(), WTERMSIG(status));
        _exit(125);
    }

    bool reap(int options)
    {
        if (ended_)
            return true;
        int status = 0;
        pid_t got = waitpid(pid_, &status, WNOHANG | options);
        if (got != pid_)
            return false;
        status_ = status;
        ended_ = WIFEXITED(status) || WIFSIGNALED(status);
        return true;
    }

    // The job's state as /proc shows it: 'T' when stopped.
    char jobState() const
    {
        std::string stat = readFileAt("/proc/" + std::to_string(job_) + "/stat");
        size_t end = stat.rfind(") ");
        return end == std::string::npos || end + 2 >= stat.size() ? '?' : stat[end + 2];
    }

    static std::string readFileAt(const std::string &path)
    {
        std::ifstream in(path);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    // Reads what the program wrote within `ms` milliseconds; false when it wrote nothing.
    bool readFor(int ms)
    {
        struct pollfd in = {master_, POLLIN, 0};
        if (poll(&in, 1, ms) <= 0)
            return false;
        char bytes[4096];
        ssize_t got = read(master_, bytes, sizeof bytes);
        if (got <= 0)
            return false;
        output.append(bytes, static_cast<size_t>(got));
        screen.feed(std::string(bytes, static_cast<size_t>(got)));
        return true;
    }

    int cols_, rows_;
    pid_t pid_ = -1; // the stand-in shell
    pid_t job_ = -1;
    int master_ = -1;
    int slave_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

bool cooked(const struct termios &modes)
{
    return (modes.c_lflag & (ICANON | ECHO | ISIG)) == (ICANON | ECHO | ISIG);
}

// The terminal is as the program found it: the alternate screen left after it was last entered, the
// cursor shown, the line discipline's modes back.
void expectRestored(const PtyProgram &program)
{
    size_t entered = program.output.rfind(enterScreen);
    ASSERT_NE(entered, std::string::npos) << "the dialog was never shown";
    EXPECT_NE(program.output.find(leaveScreen, entered), std::string::npos) << "the alternate screen stays";
    EXPECT_FALSE(program.screen.onAlternate());
    EXPECT_TRUE(program.screen.cursorVisible());
    struct termios now = program.modes();
    EXPECT_EQ(now.c_lflag, program.initialModes.c_lflag);
    EXPECT_EQ(now.c_iflag, program.initialModes.c_iflag);
}

std::string makeTempDir(const char *name)
{
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        return "";
    return pattern;
}

void removeTree(const std::string &dir)
{
    if (dir.empty())
        return;
    std::string command = "chmod -R u+w '" + dir + "' && rm -rf '" + dir + "'";
    EXPECT_EQ(system(command.c_str()), 0);
}

void writeScript(const std::string &path, const std::string &text)
{
    std::ofstream(path) << text;
    chmod(path.c_str(), 0755);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class InstallerOnTerminal : public testing::Test {
protected:
    void SetUp() override
    {
        dir = makeTempDir("terminal-installer");
        ASSERT_FALSE(dir.empty());
        ASSERT_EQ(access(DA12_INSTALLER_PATH, X_OK), 0) << DA12_INSTALLER_PATH << " is not built";
        std::string command = std::string("'") + DA12_MKMEDIA_PATH + "' '" + dir + "' >/dev/null";
        ASSERT_EQ(system(command.c_str()), 0) << command;
        gameDir = dir + "/prefix/drive_c/Games/VK Zarkhul Zuva/vk2";
    }

    void TearDown() override { removeTree(dir); }

    void start(std::map<std::string, std::string> env = {})
    {
        env["WINEPREFIX"] = dir + "/prefix";
        program.start({DA12_INSTALLER_PATH}, env, dir + "/media");
        ASSERT_TRUE(program.waitForScreen("[5] Quit")) << program.screen.text();
        waitUntilIdle();
    }

    void waitUntilIdle() { ASSERT_TRUE(program.settle()) << program.screen.text(); }

    // The game's files, oldest change first: the order the copy wrote them in.
    std::vector<std::string> gameFiles() const
    {
        std::vector<std::string> paths;
        for (const auto &file : filesByChange())
            paths.push_back(file.second);
        return paths;
    }

    size_t filesChangedSince(const struct timespec &since) const
    {
        auto files = filesByChange();
        return static_cast<size_t>(std::count_if(files.begin(), files.end(), [&](const auto &file) {
            return file.first.tv_sec > since.tv_sec ||
                   (file.first.tv_sec == since.tv_sec && file.first.tv_nsec >= since.tv_nsec);
        }));
    }

    std::vector<std::pair<struct timespec, std::string>> filesByChange() const
    {
        std::vector<std::pair<struct timespec, std::string>> files;
        for (const std::string &sub : {gameDir, gameDir + "/gamedat"}) {
            DIR *listing = opendir(sub.c_str());
            if (!listing)
                continue;
            while (struct dirent *entry = readdir(listing)) {
                struct stat st;
                std::string path = sub + "/" + entry->d_name;
                if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                    files.push_back({st.st_ctim, path});
            }
            closedir(listing);
        }
        std::sort(files.begin(), files.end(), [](const auto &a, const auto &b) {
            return a.first.tv_sec != b.first.tv_sec ? a.first.tv_sec < b.first.tv_sec
                                                    : a.first.tv_nsec < b.first.tv_nsec;
        });
        return files;
    }

    std::string dir;
    std::string gameDir;
    PtyProgram program{80, 24};
};

TEST_F(InstallerOnTerminal, ShowsTheDialogMovesTheMarkAndEndsOnEscape)
{
    start();
    const VirtualScreen &screen = program.screen;
    EXPECT_TRUE(screen.contains("VKZS: Delvarin 2 Installer")) << screen.text();
    for (const char *button : {"[1] Install VK2: Delvarin 1", "[2] Install VK2: Delvarin 2", "[3] View Help File",
                               "[4] Credits", "[5] Quit"})
        EXPECT_TRUE(screen.contains(button)) << button << "\n" << screen.text();
    EXPECT_TRUE(screen.contains(">[1] Install VK2: Delvarin 1<")) << screen.text();
    EXPECT_TRUE(screen.contains("Esc: cancel")) << "the line of keys";
    EXPECT_FALSE(screen.contains("Progress1")) << "the hidden panel shows nothing";
    auto install2 = screen.find("Install VK2: Delvarin 2");
    auto credits = screen.find("Credits");
    EXPECT_TRUE(screen.at(install2.first, install2.second).bold) << "a default button";
    EXPECT_FALSE(screen.at(credits.first, credits.second).bold);

    program.send("\t");
    waitUntilIdle();
    EXPECT_TRUE(screen.contains(">[2] Install VK2: Delvarin 2<")) << screen.text();
    EXPECT_FALSE(screen.contains(">[1]"));
    auto marked = screen.find("Install VK2: Delvarin 2");
    EXPECT_TRUE(screen.at(marked.first, marked.second).reverse);
    program.send("\x1b[Z");
    waitUntilIdle();
    EXPECT_TRUE(screen.contains(">[1] Install VK2: Delvarin 1<")) << screen.text();
    EXPECT_FALSE(screen.contains(">[2]"));

    program.send("\x1b");
    int status = -1;
    ASSERT_TRUE(program.waitForExit(status)) << screen.text();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    expectRestored(program);
}

TEST_F(InstallerOnTerminal, InstallsAPackWithItsProgressAndAnswersTheCopyFailure)
{
    start();
    ASSERT_EQ(gameFiles().size(), 1u) << "the game's executable alone";
    program.send("1");
    waitUntilIdle();
    std::vector<std::string> installed = gameFiles();
    ASSERT_GT(installed.size(), 10u);
    EXPECT_EQ(access((gameDir + "/Velk2.exe").c_str(), F_OK), 0) << "the backup";
    EXPECT_FALSE(program.screen.contains("Installing")) << "the panel closed again";

    // A read-only file halfway stops the second run in a message box, with the bar where it got to
    // and as many files copied again. The file system stamps changes with a coarse clock: the run
    // starts well after the threshold, and the first run ended well before it.
    std::string blocked = installed[installed.size() / 2];
    std::string blockedName = blocked.substr(blocked.rfind('/') + 1);
    ASSERT_EQ(chmod(blocked.c_str(), 0444), 0);
    usleep(100000);
    struct timespec secondRun;
    clock_gettime(CLOCK_REALTIME, &secondRun);
    usleep(100000);
    program.send("1");
    // The line of keys is the last row of a frame.
    ASSERT_TRUE(program.waitForScreen("Enter, Space or Esc: answer")) << program.screen.text();
    const VirtualScreen &screen = program.screen;
    EXPECT_TRUE(screen.contains("Could not copy file")) << screen.text();
    EXPECT_TRUE(screen.contains("copyFiles")) << "the box's caption\n" << screen.text();
    EXPECT_TRUE(screen.contains(">[1] OK<")) << screen.text();
    EXPECT_TRUE(screen.contains("Installing VK2: Delvarin 1")) << screen.text();
    EXPECT_TRUE(screen.contains(blockedName)) << screen.text();
    std::smatch bar;
    std::string text = screen.text();
    ASSERT_TRUE(std::regex_search(text, bar, std::regex("\\[(#*)(\\.*)\\] +([0-9]+)/([0-9]+)"))) << text;
    int position = std::stoi(bar[3]), range = std::stoi(bar[4]);
    EXPECT_GT(position, 0);
    EXPECT_LT(position, range);
    EXPECT_GT(bar[1].length(), 0u) << "part of the bar filled";
    EXPECT_GT(bar[2].length(), 0u) << "part of it still to go";
    EXPECT_EQ(filesChangedSince(secondRun), static_cast<size_t>(position));

    program.send("\r");
    waitUntilIdle();
    EXPECT_FALSE(screen.contains("Could not copy file")) << screen.text();
    EXPECT_FALSE(screen.contains("Installing")) << screen.text();
    struct stat st;
    ASSERT_EQ(stat(blocked.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR) << "made writable after the failed copy";

    program.send("q");
    int status = -1;
    ASSERT_TRUE(program.waitForExit(status)) << screen.text();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    expectRestored(program);
}

TEST_F(InstallerOnTerminal, TheHelpFileGetsThePagerOnTheTerminalItself)
{
    // A pager that shows the document's first line and waits for a line typed in.
    writeScript(dir + "/pager", "#!/bin/sh\n"
                                "printf 'PAGER OPEN\\n'; head -n 1 \"$1\"\n"
                                "IFS= read -r line; printf 'PAGER GOT %s\\n' \"$line\"\n");
    start({{"PAGER", dir + "/pager"}});
    size_t before = program.output.size();
    program.send("3");
    ASSERT_TRUE(program.waitForScreen("DELVARIN 1 AND 2")) << program.screen.text();
    EXPECT_FALSE(program.screen.onAlternate()) << "the pager writes on the normal screen";
    EXPECT_NE(program.output.find(leaveScreen, before), std::string::npos);
    EXPECT_LT(program.output.find(leaveScreen, before), program.output.find("PAGER OPEN", before));
    EXPECT_TRUE(cooked(program.modes())) << "the pager reads lines as the user had them";

    // The pager ends at once, and the dialog's screen comes back: what it wrote went by in the output.
    before = program.output.size();
    program.send("thanks\r");
    ASSERT_TRUE(program.waitForOutput("PAGER GOT thanks", before)) << program.output;
    ASSERT_TRUE(program.waitUntil([&] { return program.screen.onAlternate() && program.screen.contains("[5] Quit"); }))
        << program.screen.text();
    EXPECT_FALSE(cooked(program.modes()));

    program.send("\x03");
    int status = -1;
    ASSERT_TRUE(program.waitForExit(status)) << program.screen.text();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    expectRestored(program);
}

const char scenarioVariable[] = "TERMINAL_SCENARIO";
const char logVariable[] = "TERMINAL_LOG";
const char childVariable[] = "TERMINAL_CHILD_PROGRAM";

void logLine(const std::string &line)
{
    if (const char *path = getenv(logVariable))
        std::ofstream(path, std::ios::app) << line << "\n";
}

const char boxText[] = "The first button was pressed.";

// Starts the program named by TERMINAL_CHILD_PROGRAM and waits for it, hidden meanwhile, as the
// installer's document viewer does.
void runChild(HWND dialog)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    if (!CreateProcessA(getenv(childVariable), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child)) {
        logLine("start failed " + std::to_string(GetLastError()));
        return;
    }
    ShowWindow(dialog, SW_HIDE);
    WaitForSingleObject(child.hProcess, INFINITE);
    ShowWindow(dialog, SW_SHOW);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    logLine("child " + std::to_string(code));
}

// Four corners of distinct colours, stretched over the picture control.
void paintPicture(HWND dialog)
{
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    HWND picture = GetDlgItem(dialog, IDC_PICTURE);
    RECT client;
    GetClientRect(picture, &client);
    // Blue and white below, red and green above.
    const TestDib corners(2, 2, 32, {0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0});
    HDC dc = GetDC(picture);
    corners.paint(dc, 0, 0, client.right, client.bottom);
    ReleaseDC(picture, dc);
}

// The program the tests below run: the tab-order dialog (its first button shows a message box, or
// runs the child program in the "child" scenario; its second ends it with 4; Cancel with 3), or the
// picture dialog in the "picture" scenario. It logs what it saw and prints the dialog's result once
// the dialog is gone.
} // namespace

int runTerminalChild(const char *scenario)
{
    InitCommonControls();
    bool picture = strcmp(scenario, "picture") == 0;
    DialogTest test;
    test.handler = [scenario](HWND dialog, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_APP) {
            if (strcmp(scenario, "picture") == 0)
                paintPicture(dialog);
            return TRUE; // the terminal drives the dialog
        }
        if (msg != WM_COMMAND)
            return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_FIRST:
            if (strcmp(scenario, "child") == 0)
                runChild(dialog);
            else
                logLine("box " + std::to_string(MessageBoxA(dialog, boxText, "Pressed", MB_OK | MB_ICONWARNING)));
            return TRUE;
        case IDC_SECOND:
            EndDialog(dialog, 4);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 3);
            return TRUE;
        }
        return FALSE;
    };
    INT_PTR result = runDialog(picture ? IDD_PICTURE : IDD_TAB_ORDER, test);
    logLine("result " + std::to_string(result));
    printf("DIALOG RESULT %d\n", static_cast<int>(result));
    return 0;
}

namespace {

class DialogOnTerminal : public testing::Test {
protected:
    void SetUp() override
    {
        dir = makeTempDir("terminal-dialog");
        ASSERT_FALSE(dir.empty());
    }

    void TearDown() override { removeTree(dir); }

    void start(const std::string &scenario, std::map<std::string, std::string> env = {},
               bool noTerminalInput = false, const char *waitFor = "[4] Cancel")
    {
        env[scenarioVariable] = scenario;
        env[logVariable] = dir + "/log";
        program.start({"/proc/self/exe"}, env, dir,
                      noTerminalInput);
        if (waitFor) {
            ASSERT_TRUE(program.waitForScreen(waitFor)) << program.output;
            ASSERT_TRUE(program.settle()) << program.output;
        }
    }

    std::string log() const { return readFile(dir + "/log"); }

    // The program ended on its own with the result it printed on the normal screen.
    void expectEnded(const std::string &result)
    {
        int status = -1;
        ASSERT_TRUE(program.waitForExit(status)) << program.screen.text();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << program.output;
        EXPECT_NE(log().find("result " + result + "\n"), std::string::npos) << log();
        size_t left = program.output.rfind(leaveScreen);
        EXPECT_NE(program.output.find("DIALOG RESULT " + result, left == std::string::npos ? 0 : left),
                  std::string::npos)
            << "printed on the normal screen\n" << program.output;
    }

    std::string dir;
    PtyProgram program{80, 24};
};

TEST_F(DialogOnTerminal, ADisabledButtonsKeyDoesNothingAndAnotherButtonsKeyPressesIt)
{
    start("box");
    program.send("3"); // the disabled button's place: nothing happens
    program.send("2");
    expectEnded("4");
    expectRestored(program);
}

TEST_F(DialogOnTerminal, AMessageBoxIsAnsweredBySpaceEnterOrEscape)
{
    start("box");
    const VirtualScreen &screen = program.screen;
    int answered = 0;
    for (const char *answer : {" ", "\r", "\x1b"}) {
        program.send("1");
        ASSERT_TRUE(program.waitForScreen("Enter, Space or Esc: answer")) << screen.text();
        EXPECT_TRUE(screen.contains("(!) The first button")) << screen.text();
        EXPECT_TRUE(screen.contains(">[1] OK<")) << screen.text();
        program.send(answer);
        ++answered;
        ASSERT_TRUE(program.waitUntil([&] { return !screen.contains("The first button"); })) << screen.text();
        ASSERT_TRUE(program.waitUntil([&] {
            std::string lines = log();
            return std::count(lines.begin(), lines.end(), '\n') == answered;
        })) << log();
    }
    EXPECT_EQ(log().substr(0, 12), "box 1\nbox 1\n") << "OK for Space and Enter";
    program.send("q");
    expectEnded("3");
}

TEST_F(DialogOnTerminal, EscapeIsToldFromTheSequencesOfOtherKeys)
{
    start("box");
    const VirtualScreen &screen = program.screen;
    program.send("\t");
    ASSERT_TRUE(program.settle());
    EXPECT_TRUE(screen.contains(">[2] Second<")) << screen.text();
    // Shift+Tab, then keys the dialog has no use for: all sequences, none of them Escape.
    program.send("\x1b[Z");
    ASSERT_TRUE(program.settle());
    EXPECT_TRUE(screen.contains(">[1] First<")) << screen.text();
    program.send("\x1b[1;5C\x1b[15~\x1bOB");
    ASSERT_TRUE(program.settle());
    EXPECT_TRUE(screen.contains(">[2] Second<")) << "the arrow down moves on\n" << screen.text();
    // A sequence whose bytes arrive apart is still one key.
    program.send("\x1b[");
    program.send("Z");
    ASSERT_TRUE(program.settle());
    EXPECT_TRUE(screen.contains(">[1] First<")) << screen.text();
    program.send("\x1b");
    expectEnded("3");
}

TEST_F(DialogOnTerminal, AChildProcessHasTheTerminalWhileItRuns)
{
    writeScript(dir + "/child", "#!/bin/sh\n"
                                "printf 'CHILD READY\\n'\n"
                                "IFS= read -r line; printf 'CHILD GOT %s\\n' \"$line\"\n"
                                "IFS= read -r line; exit 7\n");
    std::string dosPath = "Z:" + dir + "/child";
    std::replace(dosPath.begin(), dosPath.end(), '/', '\\');
    start("child", {{childVariable, dosPath}});

    size_t before = program.output.size();
    program.send("1");
    ASSERT_TRUE(program.waitForOutput("CHILD READY", before)) << program.output;
    EXPECT_NE(program.output.find(leaveScreen, before), std::string::npos);
    EXPECT_FALSE(program.screen.onAlternate());
    EXPECT_TRUE(program.screen.cursorVisible());
    EXPECT_TRUE(cooked(program.modes()));
    program.send("hello\r");
    ASSERT_TRUE(program.waitForScreen("CHILD GOT hello")) << program.screen.text();
    EXPECT_LT(program.screen.find("hello").second, program.screen.find("CHILD GOT").second) << "echoed as typed";
    program.send("bye\r");
    ASSERT_TRUE(program.waitUntil([&] { return program.screen.onAlternate() && program.screen.contains("[4] Cancel"); }))
        << program.screen.text();
    ASSERT_TRUE(program.waitUntil([&] { return log().find("child 7") != std::string::npos; })) << log();

    // The keyboard's interrupt belongs to the child: it ends the child, not the dialog.
    before = program.output.size();
    program.send("1");
    ASSERT_TRUE(program.waitForOutput("CHILD READY", before)) << program.output;
    program.send("\x03");
    ASSERT_TRUE(program.waitUntil([&] { return log().find("child 130") != std::string::npos; })) << log();
    ASSERT_TRUE(program.waitUntil([&] { return program.screen.onAlternate() && program.screen.contains("[4] Cancel"); }))
        << program.screen.text();
    program.send("2");
    expectEnded("4");
    expectRestored(program);
}

TEST_F(DialogOnTerminal, AStopGivesTheTerminalBackAndTheContinueTakesItAgain)
{
    start("box");
    for (bool fromKeyboard : {false, true}) {
        size_t before = program.output.size();
        if (fromKeyboard)
            program.send("\x1a");
        else
            kill(program.pid(), SIGTSTP);
        ASSERT_TRUE(program.waitForStop()) << "stopped by " << (fromKeyboard ? "Ctrl+Z" : "SIGTSTP");
        ASSERT_TRUE(program.waitForOutput(leaveScreen, before)) << "the screen given back before the stop";
        EXPECT_FALSE(program.screen.onAlternate());
        EXPECT_TRUE(cooked(program.modes()));

        before = program.output.size();
        kill(program.pid(), SIGCONT);
        ASSERT_TRUE(program.waitForOutput(enterScreen, before));
        ASSERT_TRUE(program.waitForScreen(">[1] First<")) << "drawn again\n" << program.screen.text();
        EXPECT_FALSE(cooked(program.modes()));
    }
    program.send("\t");
    ASSERT_TRUE(program.waitForScreen(">[2] Second<")) << "takes keys again\n" << program.screen.text();
    program.send("\r");
    expectEnded("4");
}

TEST_F(DialogOnTerminal, AResizeRedraws)
{
    start("box");
    auto before = program.screen.find("Tab Order");
    program.resize(100, 30);
    ASSERT_TRUE(program.waitUntil([&] {
        auto now = program.screen.find("Tab Order");
        return now.first >= 0 && now != before && program.screen.contains("[4] Cancel");
    })) << program.screen.text();
    program.send("2");
    expectEnded("4");
}

TEST_F(DialogOnTerminal, TerminationGivesTheTerminalBack)
{
    start("box");
    kill(program.pid(), SIGTERM);
    int status = -1;
    ASSERT_TRUE(program.waitForExit(status));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    expectRestored(program);
}

TEST_F(DialogOnTerminal, WithoutATerminalOrWithAScriptTheDialogEndsAsEscapeWould)
{
    start("box", {}, true, nullptr);
    expectEnded("3");
    EXPECT_EQ(program.output.find(enterScreen), std::string::npos) << "nothing drawn";

    std::ofstream(dir + "/script") << "key tab\n";
    const std::map<std::string, std::string> others[] = {
        {{"WINLAYER_SCRIPT", dir + "/script"}}, // the script drives it, not the terminal
        {{"TERM", "dumb"}},                     // a terminal that cannot place the cursor
    };
    for (const auto &env : others) {
        PtyProgram other(80, 24);
        std::remove((dir + "/log").c_str());
        std::map<std::string, std::string> all = env;
        all[scenarioVariable] = "box";
        all[logVariable] = dir + "/log";
        other.start({"/proc/self/exe"}, all, dir);
        int status = -1;
        ASSERT_TRUE(other.waitForExit(status)) << env.begin()->first;
        EXPECT_EQ(log(), "result 3\n") << env.begin()->first;
        EXPECT_EQ(other.output.find(enterScreen), std::string::npos) << env.begin()->first;
    }
}

TEST_F(DialogOnTerminal, ThePictureInTrueColourIn256ColoursOrNotAtAll)
{
    struct Case {
        std::map<std::string, std::string> env;
        const char *expected; // a red cell's colour, or null for no picture
    };
    const Case cases[] = {
        {{{"COLORTERM", "truecolor"}}, "38;2;255;0;0"},
        {{{"TERM", "xterm-256color"}}, "38;5;196"},
        {{}, nullptr},
        {{{"COLORTERM", "truecolor"}, {"LANG", "C"}}, nullptr},
    };
    for (const Case &c : cases) {
        PtyProgram shown(80, 24);
        std::map<std::string, std::string> env = c.env;
        env[scenarioVariable] = "picture";
        shown.start({"/proc/self/exe"}, env, dir);
        ASSERT_TRUE(shown.waitForScreen("[1] Beside")) << shown.output;
        // The whole screen drawn again once the dialog waits, the picture painted.
        size_t before = shown.output.size();
        ASSERT_TRUE(shown.settle());
        std::string drawn = shown.output.substr(before);
        if (c.expected) {
            EXPECT_NE(drawn.find(c.expected), std::string::npos) << c.expected;
            EXPECT_NE(drawn.find("\u2580"), std::string::npos) << "half blocks";
        } else {
            EXPECT_EQ(drawn.find("\u2580"), std::string::npos);
            EXPECT_EQ(drawn.find(";38;"), std::string::npos);
        }
        if (env["LANG"] == "C") {
            EXPECT_TRUE(std::all_of(drawn.begin(), drawn.end(), [](char b) { return (b & 0x80) == 0; }))
                << "ASCII alone without a UTF-8 locale";
        }
        shown.send("\x1b");
        int status = -1;
        ASSERT_TRUE(shown.waitForExit(status));
    }
}

} // namespace
