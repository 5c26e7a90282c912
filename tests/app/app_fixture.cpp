// The installer's test surroundings.
#include "app_fixture.h"

#include <commctrl.h>
#include <unistd.h>

#include "app/maindlg.h"
#include "common/instance.h"
#include "layer_control.h"
#include "registry_support.h"
#include "resource.h"
#include "test_env.h"

const char InstallerTest::RECORD_KEY[] = "Software\\Quorvex\\VK: Zarkhul Zuva";
const char InstallerTest::TITLE[] = "VKZS: Delvarin 2 Installer";
const char InstallerTest::REFUSAL[] =
    "Yo, Rookie, this is a Windows 95 version of Delvarin 1 and 2!  Please install the VK: Zarkhul "
    "Zuva version of Velkor 2 to allow Delvarin 1 and 2 to be installed.";
const char InstallerTest::REFUSAL_CAPTION[] = "Delvarin 1 and 2 Install Aborted";

InstallerTest *InstallerTest::current_;

std::string InstallerTest::contentOf(const std::string &name)
{
    return "contents of " + name + " on the pack's disc\n";
}

std::string InstallerTest::installed(const ManifestEntry &entry) const
{
    return gameDir + entry.subdirectory + trimmed(entry.fileName);
}

void InstallerTest::SetUp()
{
    layerReset();
    current_ = this;
    moduleInstance = GetModuleHandleA(NULL);
    InitCommonControls();

    root = makeTestDir();
    gameDir = root + "game\\";
    mediaDir = root + "media\\";
    makeTestSubdir(gameDir);
    makeTestSubdir(gameDir + "vk2");
    makeTestSubdir(gameDir + "vk2\\gamedat");
    makeTestSubdir(mediaDir);
    writeTestFile(gameDir + "vk2\\vk2.exe", "the game as it was installed");
    for (const ManifestEntry *manifest : {delvarin1Manifest, delvarin2Manifest})
        for (const ManifestEntry *entry = manifest; entry->fileName[0]; ++entry)
            writeTestFile(mediaDir + trimmed(entry->fileName), contentOf(trimmed(entry->fileName)));

    deleteTestRegistryKey(RECORD_KEY);
    values_.clear();
    types_.clear();
    setText("Installed To:", gameDir);
    setText("Installed From:", "D:\\");
    setDword("Velk 1 Installed", 1);
    setDword("Velk 2 Installed", 1);
    setDword("Velk 3 Installed", 0);
    setDword("Cheater", 0);

    char here[4096];
    savedDir_ = getcwd(here, sizeof here) ? here : "/";
    startFrom(mediaDir);
    layerSetMessageBoxHandler(answerBox, nullptr);
    layerSetIdleHandler(takeStep, nullptr);
}

void InstallerTest::TearDown()
{
    if (chdir(savedDir_.c_str()) != 0)
        ADD_FAILURE() << "cannot return to " << savedDir_;
    deleteTestRegistryKey(RECORD_KEY);
    EXPECT_STREQ("", layerReset()) << "scripted but never used";
    current_ = nullptr;
}

void InstallerTest::startFrom(const std::string &dosDir)
{
    ASSERT_EQ(0, chdir(nativePath(dosDir).c_str())) << dosDir;
}

void InstallerTest::setValue(const char *name, DWORD type, const void *data, DWORD size)
{
    const BYTE *bytes = static_cast<const BYTE *>(data);
    for (size_t i = 0; i < values_.size(); ++i)
        if (values_[i].first == name) {
            values_[i].second.assign(bytes, bytes + size);
            types_[i] = type;
            writeRecord();
            return;
        }
    values_.push_back({name, std::vector<BYTE>(bytes, bytes + size)});
    types_.push_back(type);
    writeRecord();
}

void InstallerTest::setText(const char *name, const std::string &text)
{
    setValue(name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
}

void InstallerTest::setDword(const char *name, DWORD value)
{
    setValue(name, REG_DWORD, &value, sizeof value);
}

void InstallerTest::removeValue(const char *name)
{
    for (size_t i = 0; i < values_.size(); ++i)
        if (values_[i].first == name) {
            values_.erase(values_.begin() + i);
            types_.erase(types_.begin() + i);
        }
    writeRecord();
}

void InstallerTest::writeRecord()
{
    deleteTestRegistryKey(RECORD_KEY);
    for (size_t i = 0; i < values_.size(); ++i)
        setTestRegistryValue(RECORD_KEY, values_[i].first.c_str(), types_[i], values_[i].second.data(),
                             (DWORD)values_[i].second.size());
}

INT_PTR CALLBACK InstallerTest::recordingDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (current_)
        current_->seen.push_back({message, wParam});
    if (message == WM_INITDIALOG && current_)
        current_->dialog_ = dlg;
    return mainDlgProc(dlg, message, wParam, lParam);
}

int InstallerTest::answerBox(HWND box, HWND owner, const char *text, const char *caption, UINT style, void *)
{
    Box seenBox{text ? text : "", caption ? caption : "", style, owner, owner && IsWindowEnabled(owner) != 0,
                owner && IsWindowVisible(owner) != 0};
    current_->boxes.push_back(seenBox);
    if (current_->onBox)
        current_->onBox(seenBox, box);
    return IDOK;
}

void InstallerTest::takeStep(HWND loopWindow, void *)
{
    InstallerTest *test = current_;
    if (!test || loopWindow != test->dialog_)
        return;
    test->idleSeen_ = true;
    if (test->nextStep_ >= test->steps_.size())
        return;
    test->steps_[test->nextStep_++](loopWindow);
}

INT_PTR InstallerTest::runDialog(std::vector<std::function<void(HWND)>> steps)
{
    steps_ = std::move(steps);
    nextStep_ = 0;
    dialog_ = nullptr;
    INT_PTR result = DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, recordingDlgProc, 0);
    EXPECT_EQ(nextStep_, steps_.size()) << "the dialog ended before every step ran";
    return result;
}

bool InstallerTest::dialogTakesInput()
{
    steps_.clear();
    nextStep_ = 0;
    dialog_ = nullptr;
    idleSeen_ = false;
    EXPECT_EQ(DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, recordingDlgProc, 0), 0);
    return idleSeen_;
}
