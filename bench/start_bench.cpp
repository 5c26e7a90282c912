// The installer's start against a prefix the size of a real one: the whole program (start, the
// environment check that reads the compilation's record, the dialog, its end) against a prefix whose
// system.reg has the size and shape of the file that wineboot makes (about 16,000 keys, 26,000
// values, long hex values, links, a 32-bit view), and against the demo prefix for comparison, taken
// in turn. Reports the median of each; the real-size start is to stay under 50 ms.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

extern char **environ;

namespace {

std::string work; // the benchmark's directory: demo/ and real/, each made by mkmedia

void run(const std::string &command)
{
    if (system(command.c_str()) != 0) {
        fprintf(stderr, "start_bench: failed: %s\n", command.c_str());
        exit(1);
    }
}

// A generator that makes the same file on every run.
unsigned long long state = 88172645463325252ull;
unsigned next(unsigned range)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<unsigned>(state % range);
}

std::string word()
{
    static const char *const words[] = {"Classes", "CLSID", "Interface", "Microsoft", "Windows", "CurrentVersion",
                                        "Explorer", "Fonts", "Control", "Services", "Typelib", "ProxyStubClsid32",
                                        "InprocServer32", "shellex", "DefaultIcon", "Wine", "Direct3D", "Codecs"};
    if (next(3) == 0) {
        char guid[48];
        snprintf(guid, sizeof guid, "{%08X-%04X-%04X-%04X-%012llX}", next(0xFFFFFFFF), next(0x10000),
                 next(0x10000), next(0x10000), static_cast<unsigned long long>(next(0x7FFFFFFF)) * 4099);
        return guid;
    }
    return words[next(sizeof words / sizeof *words)];
}

// A system.reg as wineboot writes it for a 64-bit prefix, with the compilation's record in its
// 32-bit view among the other keys.
std::string realSizeRegistry(const std::string &record)
{
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
    const char *const roots[] = {"Software\\\\Classes", "Software\\\\Microsoft\\\\Windows",
                                 "Software\\\\Wow6432Node\\\\Classes", "System\\\\CurrentControlSet\\\\Services",
                                 "Software\\\\Wine"};
    for (int key = 0; key < 15800; ++key) {
        if (key == 12000)
            text += record;
        std::string path = roots[next(5)];
        for (unsigned depth = 1 + next(4); depth > 0; --depth)
            path += "\\\\" + word();
        text += "[" + path + "] 1796674331\n#time=1dd86873e7243ce\n";
        if (key % 290 == 0)
            text += "#link\n\"SymbolicLinkValue\"=hex(6):5c,00,52,00,45,00,47,00,49,00,53,00,54,00,52,00,59,00\n";
        for (unsigned values = next(4); values > 0; --values) {
            switch (next(8)) {
            case 0:
            case 1:
                text += "\"" + word() + "\"=dword:0000000" + std::to_string(next(10)) + "\n";
                break;
            case 2: {
                text += "\"" + word() + "\"=hex:";
                for (unsigned i = 0, n = 8 + next(40); i < n; ++i)
                    text += (i ? (i % 25 == 0 ? ",\\\n  " : ",") : "") + std::to_string(10 + next(89));
                text += "\n";
                break;
            }
            default:
                text += "\"" + word() + "\"=\"C:\\\\windows\\\\system32\\\\" + word() + ".dll\"\n";
                break;
            }
        }
        text += "\n";
    }
    return text;
}

void makePrefixes()
{
    char pattern[] = "/tmp/start-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        exit(1);
    }
    work = pattern;
    run(std::string(DA12_MKMEDIA_PATH) + " " + work + "/demo >/dev/null");
    run(std::string(DA12_MKMEDIA_PATH) + " " + work + "/real >/dev/null");
    // The demo's record, moved into the 32-bit view where a 64-bit prefix keeps it.
    std::string demo;
    FILE *in = fopen((work + "/demo/prefix/system.reg").c_str(), "rb");
    char buffer[4096];
    for (size_t got; in && (got = fread(buffer, 1, sizeof buffer, in)) > 0;)
        demo.append(buffer, got);
    if (in)
        fclose(in);
    size_t block = demo.find("[Software\\\\");
    if (block == std::string::npos) {
        fprintf(stderr, "start_bench: no record in the demo's system.reg\n");
        exit(1);
    }
    std::string record = demo.substr(block);
    record.insert(record.find("\\\\") + 2, "Wow6432Node\\\\");
    std::string text = realSizeRegistry(record);
    FILE *out = fopen((work + "/real/prefix/system.reg").c_str(), "wb");
    if (!out || fwrite(text.data(), 1, text.size(), out) != text.size() || fclose(out) != 0) {
        perror("system.reg");
        exit(1);
    }
    printf("A real-size system.reg: %zu bytes\n", text.size());
    FILE *script = fopen((work + "/close").c_str(), "w");
    if (!script || fputs("close\n", script) < 0 || fclose(script) != 0) {
        perror("script");
        exit(1);
    }
}

// Runs the installer from the media of one prefix until it ends; seconds.
double startOnce(const std::string &which)
{
    std::string prefix = "WINEPREFIX=" + work + "/" + which + "/prefix";
    std::string script = "WINLAYER_SCRIPT=" + work + "/close";
    char *argv[] = {const_cast<char *>(DA12_INSTALLER_PATH), nullptr};
    char *envp[] = {const_cast<char *>(prefix.c_str()), const_cast<char *>(script.c_str()), nullptr};
    std::string media = work + "/" + which + "/media";
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(media.c_str()) != 0 || !freopen("/dev/null", "r", stdin) || !freopen("/dev/null", "w", stdout))
            _exit(126);
        execve(argv[0], argv, envp);
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "start_bench: the installer failed in %s (status %d)\n", which.c_str(), status);
        exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

void BM_StartAgainstARealSizePrefix(benchmark::State &state)
{
    std::vector<double> demo, real;
    startOnce("demo"); // the page cache warmed for both
    startOnce("real");
    for (auto _ : state) {
        demo.push_back(startOnce("demo"));
        real.push_back(startOnce("real"));
    }
    state.counters["demo_ms"] = median(demo) * 1000;
    state.counters["real_ms"] = median(real) * 1000;
}
BENCHMARK(BM_StartAgainstARealSizePrefix)->Iterations(41)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    makePrefixes();
    benchmark::RunSpecifiedBenchmarks();
    run("rm -rf " + work);
    return 0;
}
