// Surroundings of the installer's own tests: the game installed in the test prefix, the packs'
// media as the working directory, the compilation's registry record, and the main dialog run
// in-process with steps taken whenever its loop waits for input.
#ifndef APP_FIXTURE_H
#define APP_FIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "install/manifest.h"
#include "tests/manifest_rows.h"

// A message box as the user saw it.
struct Box {
    std::string text;
    std::string caption;
    UINT style;
    HWND owner;
    bool ownerEnabled;
    bool ownerVisible;
};

// A message the dialog procedure received, with its wParam.
struct Seen {
    UINT message;
    WPARAM wParam;
};

class InstallerTest : public testing::Test {
protected:
    static const char RECORD_KEY[];
    static const char TITLE[];
    static const char REFUSAL[];
    static const char REFUSAL_CAPTION[];

    void SetUp() override;
    void TearDown() override;

    // The record's values as the compilation's setup writes them.
    void setText(const char *name, const std::string &text);
    void setDword(const char *name, DWORD value);
    void setValue(const char *name, DWORD type, const void *data, DWORD size);
    // Rewrites the record without the named value.
    void removeValue(const char *name);

    // Runs the main dialog; each step runs in turn when the dialog's loop has nothing to do. A step
    // that gives no input ends the dialog as Escape does, so only the last step may merely look.
    // Returns DialogBoxParamA's result.
    INT_PTR runDialog(std::vector<std::function<void(HWND)>> steps = {});
    // Runs the dialog without input; true when it came to wait for input, false when it ended
    // during its start-up (as a refusal ends it).
    bool dialogTakesInput();
    // Changes the working directory, as starting the installer from another folder does.
    void startFrom(const std::string &dosDir);

    static std::string contentOf(const std::string &name);
    std::string installed(const ManifestEntry &entry) const;

    std::string root;     // the test's own directory
    std::string gameDir;  // the install directory, "...\game\"
    std::string mediaDir; // the packs' media, the working directory
    std::vector<Box> boxes;
    std::vector<Seen> seen;
    // What a message box handler answers; tests may replace it to look at windows while a box is up.
    std::function<void(const Box &, HWND box)> onBox;

private:
    std::string savedDir_;
    std::vector<std::function<void(HWND)>> steps_;
    size_t nextStep_ = 0;
    bool idleSeen_ = false;
    HWND dialog_ = nullptr;
    std::vector<std::pair<std::string, std::vector<BYTE>>> values_;
    std::vector<DWORD> types_;

    static InstallerTest *current_;
    static INT_PTR CALLBACK recordingDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam);
    static int answerBox(HWND box, HWND owner, const char *text, const char *caption, UINT style, void *);
    static void takeStep(HWND loopWindow, void *);
    void writeRecord();
};

#endif
