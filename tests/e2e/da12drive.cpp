// da12drive: the automation driver as a console program. It runs its arguments as commands, in
// order, and prints every message box of the installer with the dialog's state at that moment.
//
//   da12drive hold-semaphore "Velkor Launcher" start Z:\build\DA12Dero.exe D:\ finish
//   da12drive start D:\DA12Dero.exe D:\ dialog shot Z:\tmp\shot.bmp close finish
//
// It ends with 0 when every command worked, 1 when one failed (the rest is not run), 2 for a usage
// error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver.h"

namespace {

const char USAGE[] =
    "usage: da12drive COMMAND...\n"
    "  hold-semaphore NAME, hold-mutex NAME   hold a named object until the driver ends\n"
    "  record INSTALLDIR FLAG                 write the compilation's record (FLAG: Velk 2 Installed)\n"
    "  reg NAME sz|dword|hex VALUE            set one value of the record (hex: bytes, e.g. 01000000)\n"
    "  unreg NAME                             delete one value of the record; unreg-all the key\n"
    "  start PROGRAM DIR                      start the installer with DIR as its working directory\n"
    "  dialog                                 wait until its dialog shows\n"
    "  click ID                               press a button, answering every box with OK\n"
    "  key esc|enter|tab|space                press a key in the installer\n"
    "  close                                  click the dialog's close box\n"
    "  shot FILE                              save the dialog, once painted, as a BMP file\n"
    "  finish                                 answer every box until the installer ends\n"
    "  -h, --help                             this text\n";

// The number of arguments a command takes; -1 for one the driver does not know.
int argumentsOf(const std::string &command)
{
    if (command == "start" || command == "record")
        return 2;
    if (command == "reg")
        return 3;
    if (command == "hold-semaphore" || command == "hold-mutex" || command == "unreg" || command == "click" ||
        command == "key" || command == "shot")
        return 1;
    if (command == "unreg-all" || command == "dialog" || command == "close" || command == "finish")
        return 0;
    return -1;
}

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (char c : text)
        out += c == '\n' ? std::string("\\n") : c == '"' ? std::string("\\\"") : std::string(1, c);
    return out + "\"";
}

void printBox(const BoxRecord &box)
{
    const DialogSnapshot &dialog = box.dialog;
    printf("box %s %s icon=%s owner=%s dialog=%s", quoted(box.caption).c_str(), quoted(box.text).c_str(),
           box.icon ? "yes" : "no", box.ownedByDialog ? "dialog" : box.owned ? "other" : "none",
           !dialog.exists ? "none" : dialog.visible ? "shown" : "hidden");
    if (dialog.exists && dialog.bar.visible)
        printf(" panel: %s %s bar=%d/%d..%d", quoted(dialog.status1Text).c_str(),
               quoted(dialog.status2Text).c_str(), dialog.barPosition, dialog.barLow, dialog.barHigh);
    printf("\n");
    fflush(stdout);
}

bool parseHex(const char *text, std::vector<BYTE> *bytes)
{
    size_t length = strlen(text);
    if (length % 2)
        return false;
    for (size_t i = 0; i < length; i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char *end;
        unsigned long value = strtoul(pair, &end, 16);
        if (*end)
            return false;
        bytes->push_back(static_cast<BYTE>(value));
    }
    return true;
}

UINT keyCode(const std::string &name)
{
    if (name == "esc")
        return VK_ESCAPE;
    if (name == "enter")
        return VK_RETURN;
    if (name == "tab")
        return VK_TAB;
    if (name == "space")
        return VK_SPACE;
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::unique_ptr<HeldObject>> held;
    std::unique_ptr<Installer> installer;
    size_t printed = 0;
    auto printNewBoxes = [&]() {
        for (; installer && printed < installer->boxes().size(); ++printed)
            printBox(installer->boxes()[printed]);
    };
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(USAGE, stdout);
        return 0;
    }
    if (argc < 2) {
        fputs(USAGE, stderr);
        return 2;
    }
    // The whole command line is checked before the first command runs.
    for (int i = 1; i < argc; i += argumentsOf(argv[i]) + 1) {
        int arguments = argumentsOf(argv[i]);
        if (arguments < 0) {
            fprintf(stderr, "da12drive: unknown command %s\n%s", argv[i], USAGE);
            return 2;
        }
        if (i + arguments >= argc) {
            fprintf(stderr, "da12drive: %s needs %d argument(s)\n%s", argv[i], arguments, USAGE);
            return 2;
        }
    }

    for (int i = 1; i < argc; ++i) {
        std::string command = argv[i];
        int arguments = argumentsOf(command);
        char **args = argv + i + 1;
        i += arguments;
        bool needsInstaller = command == "dialog" || command == "click" || command == "key" ||
                              command == "close" || command == "shot" || command == "finish";
        if (needsInstaller && !installer) {
            fprintf(stderr, "da12drive: %s before start\n", command.c_str());
            return 2;
        }

        bool ok = true;
        if (command == "hold-semaphore" || command == "hold-mutex") {
            held.emplace_back(new HeldObject(
                command == "hold-mutex" ? HeldObject::MUTEX : HeldObject::SEMAPHORE, args[0]));
        } else if (command == "record") {
            writeInstallRecord(args[0], strtoul(args[1], nullptr, 0));
        } else if (command == "reg") {
            std::string type = args[1];
            if (type == "sz") {
                setRecordText(args[0], args[2]);
            } else if (type == "dword") {
                setRecordFlag(args[0], strtoul(args[2], nullptr, 0));
            } else {
                std::vector<BYTE> bytes;
                if (type != "hex" || !parseHex(args[2], &bytes)) {
                    fprintf(stderr, "da12drive: reg %s: type sz, dword or hex with an even number of digits\n",
                            args[0]);
                    return 2;
                }
                setRecordValue(args[0], REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
            }
        } else if (command == "unreg") {
            deleteRecordValue(args[0]);
        } else if (command == "unreg-all") {
            deleteInstallRecord();
        } else if (command == "start") {
            installer.reset(new Installer(args[1], args[0]));
            ok = installer->started();
            if (!ok)
                fprintf(stderr, "da12drive: cannot start %s in %s: error %lu\n", args[0], args[1],
                        GetLastError());
        } else if (command == "dialog") {
            ok = installer->waitForDialog() != nullptr;
            printNewBoxes();
            printf(ok ? "dialog shown\n" : "no dialog\n");
        } else if (command == "click") {
            ok = installer->press(atoi(args[0]));
            printNewBoxes();
            printf(ok ? "clicked %s\n" : "click %s did not end\n", args[0]);
        } else if (command == "key") {
            UINT vk = keyCode(args[0]);
            if (!vk) {
                fprintf(stderr, "da12drive: unknown key %s\n", args[0]);
                return 2;
            }
            installer->pressKey(vk);
        } else if (command == "close") {
            installer->close();
        } else if (command == "shot") {
            ok = installer->dialog() && installer->waitForPicture() &&
                 saveWindowPicture(installer->dialog(), args[0]);
            printf(ok ? "saved %s\n" : "could not save %s\n", args[0]);
        } else if (command == "finish") {
            DWORD code = installer->finish();
            printNewBoxes();
            ok = code != STILL_ACTIVE;
            if (ok)
                printf("exit %lu\n", code);
            else
                printf("still running\n");
        }
        fflush(stdout);
        if (!ok)
            return 1;
    }
    return 0;
}
