// Named objects on the layer: a holder killed with SIGKILL leaves no name and no file behind, and
// each Wine prefix has names of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "child_support.h"
#include "layer_control.h"
#include "test_env.h"

namespace {

const DWORD SENTINEL = 0xdeadbeef;

DWORD createSemaphoreError(const std::string &name, HANDLE &handle)
{
    SetLastError(SENTINEL);
    handle = CreateSemaphoreA(nullptr, 0, 1, name.c_str());
    return GetLastError();
}

// Where the layer keeps the objects of the test's prefix.
std::string objectsDirectoryOfPrefix()
{
    char path[MAX_PATH];
    EXPECT_TRUE(layerObjectStorePath(path, sizeof path));
    return path;
}

bool exists(const std::string &native)
{
    struct stat st;
    return lstat(native.c_str(), &st) == 0;
}

TEST(ObjectLifetime, HolderKilledWithSigkillLeavesNoNameBehind)
{
    const std::string dir = makeTestDir();
    const std::string name = "Velkor 1";
    PROCESS_INFORMATION holder;
    ASSERT_TRUE(startChild("layer_child.exe", ("layer_child.exe semaphore 60000 " + name).c_str(), dir, holder))
        << GetLastError();
    std::string report;
    for (int waited = 0; waited < 10000 && report.empty(); waited += 10) {
        Sleep(10);
        report = readTestFile(dir + "layer_child.obj");
    }
    ASSERT_EQ("created\n", report);

    HANDLE probe;
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), createSemaphoreError(name, probe));
    CloseHandle(probe);

    ASSERT_EQ(0, kill(static_cast<pid_t>(holder.dwProcessId), SIGKILL));
    EXPECT_EQ(static_cast<DWORD>(128 + SIGKILL), finishChild(holder));

    HANDLE fresh;
    EXPECT_EQ(0u, createSemaphoreError(name, fresh)) << "the killed holder's name is gone";
    ASSERT_NE(nullptr, fresh);
    EXPECT_TRUE(CloseHandle(fresh));
    EXPECT_FALSE(exists(objectsDirectoryOfPrefix())) << "the file the holder left went with the last close";
}

TEST(ObjectLifetime, ObjectsDirectoryIsPrivateAndGoesWithTheLastObject)
{
    HANDLE first;
    HANDLE second;
    ASSERT_EQ(0u, createSemaphoreError("first", first));
    ASSERT_EQ(0u, createSemaphoreError("second", second));

    const std::string store = objectsDirectoryOfPrefix();
    struct stat root;
    ASSERT_EQ(0, stat(store.substr(0, store.rfind('/')).c_str(), &root));
    EXPECT_EQ(getuid(), root.st_uid);
    EXPECT_EQ(0700u, root.st_mode & 0777);
    EXPECT_TRUE(exists(objectsDirectoryOfPrefix()));

    CloseHandle(first);
    EXPECT_TRUE(exists(objectsDirectoryOfPrefix())) << "one object is left";
    CloseHandle(second);
    EXPECT_FALSE(exists(objectsDirectoryOfPrefix()));
}

TEST(ObjectLifetime, EachPrefixHasNamesOfItsOwn)
{
    HANDLE here;
    ASSERT_EQ(0u, createSemaphoreError("Nightfane 1 Installer", here));

    char other[] = "/tmp/layer-other-prefix-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(other));
    {
        const std::string original = getenv("WINEPREFIX");
        setenv("WINEPREFIX", other, 1);
        HANDLE there;
        EXPECT_EQ(0u, createSemaphoreError("Nightfane 1 Installer", there)) << "another prefix, another Wine";
        CloseHandle(there);
        setenv("WINEPREFIX", original.c_str(), 1);
    }
    rmdir(other);

    HANDLE again;
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), createSemaphoreError("Nightfane 1 Installer", again));
    CloseHandle(again);
    CloseHandle(here);
}

TEST(ObjectLifetime, MissingPrefixIsReported)
{
    const std::string original = getenv("WINEPREFIX");
    setenv("WINEPREFIX", "/nonexistent/prefix", 1);
    HANDLE handle;
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), createSemaphoreError("no prefix", handle));
    EXPECT_EQ(nullptr, handle);
    setenv("WINEPREFIX", original.c_str(), 1);
}

} // namespace
