// The installer's own path building from the install directory of the compilation's record, the
// source directory and the manifests' names: the environment check and a pack install against a
// prefix with the game on C: and the packs' media on D:, the main dialog's panel showing progress
// and every message box answered. The input is newline-separated fields: the record's install
// directory, a source directory ("" keeps the working directory's) and a line of option bytes.
//
// What must hold: a refusal always tells the user in a box; the game's executable is never lost (it
// stays as it was, or its backup holds it); no file of the media changes; no file appears outside
// the game's directories.
#include "fuzz_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include <commctrl.h>

#include "common/instance.h"
#include "env/environment.h"
#include "install/manifest.h"
#include "install/pack.h"
#include "tests/manifest_rows.h"
#include "layer_control.h"
#include "regedit.h"
#include "resource.h"
#include "windowing.h"

namespace {

const char GAME_CONTENT[] = "the game as it was installed";
const char RECORD_KEY[] = "Software\\Quorvex\\VK: Zarkhul Zuva";

HWND dialog;
std::string gameVk2;      // native paths
std::string gameData;
std::string media;
std::vector<std::string> workDirs; // working directories the installer may be started from
std::vector<std::pair<std::string, off_t>> mediaFiles;
std::set<std::string> installedNames; // what the packs install, left in place from run to run
layer::RegFile baseRecord; // the record without "Installed To:"

INT_PTR CALLBACK quietProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The main dialog from the program's own template; the environment check and the copy engine
// find their controls in it.
HWND createMainDialog()
{
    HRSRC resource = FindResourceA(moduleInstance, MAKEINTRESOURCEA(IDD_MAIN), RT_DIALOG);
    const void *data = LockResource(LoadResource(moduleInstance, resource));
    layer::win::DialogSpec layout = {};
    if (!data || !layer::win::parseTemplate(static_cast<const unsigned char *>(data),
                                            SizeofResource(moduleInstance, resource), layout))
        abort();
    HWND window = layer::win::createDialog(layout, nullptr, quietProc, 0, false);
    if (!window)
        abort();
    return window;
}

std::vector<std::u16string> recordPath()
{
    return layer::splitKeyPath(layer::ansiToUtf16(RECORD_KEY, strlen(RECORD_KEY)));
}

void setRecordValue(layer::RegFile &file, const char *name, DWORD type, const std::vector<BYTE> &data)
{
    std::string error;
    if (!layer::setRegValue(file, recordPath(), layer::RegView::Native, layer::ansiToUtf16(name, strlen(name)), type,
                            data, error))
        abort();
}

std::vector<BYTE> textData(const std::string &text, bool terminated)
{
    std::u16string units = layer::ansiToUtf16(text.data(), text.size());
    std::vector<BYTE> data;
    for (char16_t unit : units) {
        data.push_back(static_cast<BYTE>(unit & 0xFF));
        data.push_back(static_cast<BYTE>(unit >> 8));
    }
    if (terminated)
        data.insert(data.end(), {0, 0});
    return data;
}

std::vector<BYTE> dword(DWORD value)
{
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

// A directory whose DOS path is `length` characters long, below the media.
std::string deepDirectory(size_t length)
{
    std::string dos = "D:\\Delvarin";
    std::string native = media;
    while (dos.size() < length) {
        size_t room = length - dos.size() - 1;
        size_t part = room > 200 ? 200 : room;
        if (part == 0) { // one character left: lengthen the last name instead
            dos += "x";
            native += "x";
            break;
        }
        std::string name(part, 'd');
        dos += "\\" + name;
        native += "/" + name;
    }
    makeDirs(native);
    return native;
}

void setUp()
{
    const std::string &prefix = fuzzPrefix();
    layerReset();
    moduleInstance = GetModuleHandleA(nullptr);
    InitCommonControls();
    gameVk2 = prefix + "/drive_c/game/vk2";
    gameData = gameVk2 + "/gamedat";
    media = prefix + "/drive_d/Delvarin";
    makeDirs(gameData);
    makeDirs(media);
    addDrive('d', "../drive_d");
    writeFile(gameVk2 + "/vk2.exe", GAME_CONTENT);
    for (const ManifestEntry *manifest : {delvarin1Manifest, delvarin2Manifest})
        for (const ManifestEntry *entry = manifest; entry->fileName[0]; ++entry) {
            std::string name = trimmed(entry->fileName);
            installedNames.insert(name);
            writeFile(media + "/" + name, "contents of " + name + "\n");
        }
    writeFile(media + "/install.doc", "help");
    DIR *listing = opendir(media.c_str());
    while (dirent *entry = readdir(listing)) {
        struct stat st;
        std::string path = media + "/" + entry->d_name;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            mediaFiles.push_back({path, st.st_size});
    }
    closedir(listing);
    workDirs = {media, gameVk2, prefix + "/drive_c", deepDirectory(1021), deepDirectory(1022),
                deepDirectory(1023), deepDirectory(1100)};

    std::string error;
    if (!layer::parseRegFile(layer::newRegFileText(layer::RegArch::Win32, u"REGISTRY\\Machine"), baseRecord, error))
        abort();
    setRecordValue(baseRecord, "Installed From:", REG_SZ, textData("D:\\", true));
    setRecordValue(baseRecord, "Velk 1 Installed", REG_DWORD, dword(1));
    setRecordValue(baseRecord, "Velk 3 Installed", REG_DWORD, dword(0));
    setRecordValue(baseRecord, "Cheater", REG_DWORD, dword(0));

    dialog = createMainDialog();
    answerBoxes();
}

// The record with the fuzzed install directory; the options choose how it is stored.
void writeRecord(const std::string &installDir, unsigned char options)
{
    layer::RegFile file = baseRecord;
    if (!(options & 1))
        setRecordValue(file, "Installed To:", options & 2 ? REG_BINARY : REG_SZ, textData(installDir, !(options & 4)));
    setRecordValue(file, "Velk 2 Installed", REG_DWORD, dword(options & 8 ? 0 : 1));
    writeFile(fuzzPrefix() + "/system.reg", file.text);
}

ULONGLONG freeSpace(unsigned char option)
{
    static const ULONGLONG amounts[] = {1ull << 40, 7ull << 20, (7ull << 20) - 1, 0};
    return amounts[option % 4];
}

// The game's executable or its backup holds the game; nothing was left in the game's directories
// but what the packs install and the backup; every file of the media is as it was. Then puts the
// game back and removes the backup, so that every run makes it again.
void checkAndRestore(const std::string &input)
{
    std::string game, backup;
    bool haveGame = readFile(gameVk2 + "/vk2.exe", game);
    bool haveBackup = readFile(gameVk2 + "/Velk2.exe", backup);
    FUZZ_CHECK((haveGame && game == GAME_CONTENT) || (haveBackup && backup == GAME_CONTENT),
               "the game's executable is lost, for " + input);
    for (const auto &file : mediaFiles) {
        struct stat st;
        FUZZ_CHECK(stat(file.first.c_str(), &st) == 0 && st.st_size == file.second,
                   file.first + " changed, for " + input);
    }
    for (const std::string &dir : {gameVk2, gameData}) {
        DIR *listing = opendir(dir.c_str());
        while (dirent *entry = readdir(listing)) {
            std::string name = entry->d_name;
            if (name == "." || name == ".." || name == "gamedat" || installedNames.count(name))
                continue;
            FUZZ_CHECK(name == "Velk2.exe", "the game's directory holds " + name + ", for " + input);
            removeFile(dir + "/" + name);
        }
        closedir(listing);
    }
    if (!haveGame || game != GAME_CONTENT) {
        removeFile(gameVk2 + "/vk2.exe");
        writeFile(gameVk2 + "/vk2.exe", GAME_CONTENT);
    }
}

void setText(char *buffer, size_t size, const std::string &text)
{
    size_t length = text.size() < size - 1 ? text.size() : size - 1;
    memcpy(buffer, text.data(), length);
    buffer[length] = 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool setUpDone = (setUp(), true);
    (void)setUpDone;
    std::vector<std::string> fields = splitFields(data, size, 3);
    std::string installDir = fields[0].substr(0, strlen(fields[0].c_str()));
    std::string source = fields[1].substr(0, strlen(fields[1].c_str()));
    // A native path would reach past the prefix: such a directory is never the record's.
    if ((!installDir.empty() && installDir[0] == '/') || (!source.empty() && source[0] == '/'))
        return 0;
    std::string options = fields[2] + std::string(4, '\0');
    unsigned char record = options[0], work = options[1], pack = options[2], space = options[3];
    std::string input = "install dir '" + installDir + "', source '" + source + "', options " +
                        std::to_string(record) + " " + std::to_string(work) + " " + std::to_string(pack) + " " +
                        std::to_string(space);

    writeRecord(installDir, record);
    // One run in four starts in one of the deep directories, whose paths fill the boxes of a
    // failing copy with hundreds of characters; their long paths make such a run slower than one
    // in a shallow directory.
    WorkIn here(workDirs[(work & 3) == 3 ? 3 + (work >> 2) % 4 : (work & 3) % 3]);
    answerBoxes();
    memset(&installRecord, 0, sizeof installRecord);
    int ready = checkEnvironment(dialog);
    FUZZ_CHECK(ready || !seenBoxes().empty(), "the check refused without a box, for " + input);
    FUZZ_CHECK(!ready || seenBoxes().empty(), "a box although the check passed, for " + input);

    // The copy runs only after a check that passed; with option bit 0x10 it runs with the install
    // directory set as the record would hold it, as if the check had passed.
    if (!ready && (record & 0x10)) {
        setText(installRecord.installDir, sizeof installRecord.installDir, installDir);
        ready = 1;
    }
    if (ready) {
        if (!source.empty())
            setText(sourceDir, sizeof sourceDir, source);
        layerSetFreeSpace('C', freeSpace(space));
        answerBoxes();
        int copied = installPack(pack & 1 ? 2 : 1);
        FUZZ_CHECK(copied || !seenBoxes().empty(), "the install stopped without a box, for " + input);
        for (const SeenBox &box : seenBoxes())
            FUZZ_CHECK(!box.text.empty() && !box.caption.empty(), "an empty box, for " + input);
    }
    checkAndRestore(input);
    return 0;
}
