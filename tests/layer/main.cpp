// The layer tests' entry. The terminal and scripted tests start this program again as the program
// they drive: such a run is that child, and runs no tests.
#include <gtest/gtest.h>

#include <cstdlib>

#include "child_programs.h"

int main(int argc, char **argv)
{
    if (const char *scenario = getenv("TERMINAL_SCENARIO"))
        return runTerminalChild(scenario);
    if (getenv("WINDOW_SCRIPT_CHILD"))
        return runScriptedChild();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
