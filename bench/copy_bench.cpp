// How the copy engine's time grows with the length of a manifest: manifests of small files, up to
// the 65,535 entries a progress bar's 16-bit range allows, each installed into an empty directory
// through the real dialog, its panel and its repaints.
#include <windows.h>
#include <commctrl.h>

#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/instance.h"
#include "env/environment.h"
#include "install/copy.h"
#include "layer_control.h"
#include "resource.h"

namespace {

const int MAX_FILES = 65535;

std::string root;                    // native path of the benchmark's prefix
std::vector<std::string> names;      // "F00001.DAT  " and so on, blank-filled as the packs' names are
std::vector<ManifestEntry> manifest; // rebuilt for each length

void writeFile(const std::string &path, const std::string &content)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file || fwrite(content.data(), 1, content.size(), file) != content.size()) {
        perror(path.c_str());
        exit(1);
    }
    fclose(file);
}

// A prefix with drive C: holding the media and the game directory.
void makeSurroundings()
{
    const char *place = getenv("BENCH_DIR");
    if (!place || !*place)
        place = getenv("TMPDIR");
    std::string pattern = std::string(place && *place ? place : "/tmp") + "/da12-copy-bench-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        perror("mkdtemp");
        exit(1);
    }
    root = pattern;
    for (const char *dir : {"/drive_c", "/drive_c/media", "/drive_c/game", "/drive_c/game/data", "/dosdevices"})
        mkdir((root + dir).c_str(), 0755);
    if (symlink("../drive_c", (root + "/dosdevices/c:").c_str()) != 0) {
        perror("symlink");
        exit(1);
    }
    setenv("WINEPREFIX", root.c_str(), 1);
    names.reserve(MAX_FILES);
    for (int i = 1; i <= MAX_FILES; ++i) {
        char name[16];
        snprintf(name, sizeof name, "F%05d.DAT  ", i);
        names.push_back(name);
        writeFile(root + "/drive_c/media/" + std::string(name, 10), std::string(64, 'a' + i % 26));
    }
    snprintf(sourceDir, sizeof sourceDir, "C:\\media\\");
    snprintf(installRecord.installDir, sizeof installRecord.installDir, "C:\\game\\");
}

// Each run installs into a new, empty directory; the full ones are moved aside and removed at the
// end, so that no run pays for removing or reusing what an earlier one wrote.
void emptyDestination()
{
    static int runs = 0;
    std::string dir = root + "/drive_c/game/data";
    std::string aside = root + "/used" + std::to_string(++runs);
    if (rename(dir.c_str(), aside.c_str()) != 0 || mkdir(dir.c_str(), 0755) != 0) {
        perror(dir.c_str());
        exit(1);
    }
}

void BM_CopyFiles(benchmark::State &state)
{
    int count = (int)state.range(0);
    manifest.clear();
    for (int i = 0; i < count; ++i)
        manifest.push_back({names[i].c_str(), "data\\"});
    manifest.push_back({"", ""});
    for (auto _ : state) {
        state.PauseTiming();
        emptyDestination();
        state.ResumeTiming();
        copyFiles(manifest.data(), "Installing");
    }
    state.SetComplexityN(count);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_CopyFiles)
    ->RangeMultiplier(4)
    ->Range(1024, 65535)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// The benchmarks run inside the main dialog's loop, so that every repaint is real.
void runWhenIdle(HWND loopWindow, void *)
{
    static bool done = false;
    if (done || loopWindow != mainDialog)
        return;
    done = true;
    benchmark::RunSpecifiedBenchmarks();
}

INT_PTR CALLBACK benchDlgProc(HWND dlg, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        mainDialog = dlg;
        return TRUE;
    }
    if (message == WM_COMMAND) {
        EndDialog(dlg, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    makeSurroundings();
    moduleInstance = GetModuleHandleA(NULL);
    InitCommonControls();
    layerSetIdleHandler(runWhenIdle, nullptr);
    DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, benchDlgProc, 0);
    std::string cleanup = "rm -rf '" + root + "'";
    if (system(cleanup.c_str()) != 0)
        fprintf(stderr, "could not remove %s\n", root.c_str());
    benchmark::Shutdown();
    return 0;
}
