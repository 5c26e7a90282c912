// The guard against running beside another copy, the launcher or a game, with the real kernel's
// named objects held by this process as those programs hold theirs.
#include "e2e_fixture.h"

using GuardE2E = GameTest;

static const char NOTICE[] = "Please quit the Velkor Launcher before running DA12Dero.exe";

TEST_F(GuardE2E, ASecondCopyEndsSilentlyAndLeavesTheFirstRunning)
{
    Installer first(mediaDir_);
    HWND dialog = first.waitForDialog();
    ASSERT_NE(dialog, nullptr);

    Installer second(mediaDir_);
    EXPECT_EQ(second.finish(), 0u);
    EXPECT_TRUE(second.boxes().empty()) << describe(second.boxes());
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(IsWindowVisible(dialog));

    first.close();
    EXPECT_EQ(first.finish(), 0u);

    // The first copy's marker went with it: the next start runs.
    Installer third(mediaDir_);
    EXPECT_NE(third.waitForDialog(), nullptr);
    third.close();
    EXPECT_EQ(third.finish(), 0u);
}

// The launcher's object, or the compilation's, gives the notice: with the warning icon, owned by
// no window, and before any dialog exists.
TEST_F(GuardE2E, TheLauncherGetsTheNotice)
{
    for (const char *name : {"Velkor Launcher", "Velkor Zuva"}) {
        HeldObject launcher(HeldObject::SEMAPHORE, name);
        Installer installer(mediaDir_);
        EXPECT_EQ(installer.finish(), 0u) << name;
        ASSERT_EQ(installer.boxes().size(), 1u) << name << ": " << describe(installer.boxes());
        const BoxRecord &box = installer.boxes()[0];
        EXPECT_EQ(box.caption, "Notice");
        EXPECT_EQ(box.text, NOTICE);
        EXPECT_TRUE(box.icon);
        EXPECT_FALSE(box.owned);
        EXPECT_FALSE(box.dialog.exists);
    }
}

TEST_F(GuardE2E, AGameEndsTheRunSilently)
{
    struct Case {
        HeldObject::Kind kind;
        const char *name;
    } games[] = {{HeldObject::SEMAPHORE, "Velkor 1"},
                 {HeldObject::SEMAPHORE, "Velkor 2"},
                 {HeldObject::MUTEX, "Velkor 3 Mutex"}};
    for (const Case &game : games) {
        HeldObject held(game.kind, game.name);
        Installer installer(mediaDir_);
        EXPECT_EQ(installer.finish(), 0u) << game.name;
        EXPECT_TRUE(installer.boxes().empty()) << game.name << ": " << describe(installer.boxes());
    }
}

// The launcher is tested before the games, so its notice wins when both run.
TEST_F(GuardE2E, TheLauncherWinsOverAGame)
{
    HeldObject game(HeldObject::SEMAPHORE, "Velkor 2");
    HeldObject launcher(HeldObject::SEMAPHORE, "Velkor Launcher");
    Installer installer(mediaDir_);
    EXPECT_EQ(installer.finish(), 0u);
    ASSERT_EQ(installer.boxes().size(), 1u) << describe(installer.boxes());
    EXPECT_EQ(installer.boxes()[0].caption, "Notice");
}

// A semaphore under the third game's mutex name makes the probe fail with another error, which
// counts as absent.
TEST_F(GuardE2E, AnObjectOfTheWrongKindIsIgnored)
{
    HeldObject impostor(HeldObject::SEMAPHORE, "Velkor 3 Mutex");
    Installer installer(mediaDir_);
    EXPECT_NE(installer.waitForDialog(), nullptr) << describe(installer.boxes());
    installer.close();
    EXPECT_EQ(installer.finish(), 0u);
    EXPECT_TRUE(installer.boxes().empty()) << describe(installer.boxes());
}
