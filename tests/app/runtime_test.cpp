// The program's own C runtime calls: the formatter behind formatText and formatMessage (its bound
// and the report of a cut, each conversion the messages use, the free-space figure at its edges)
// and _chmod.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "common/message.h"
#include "common/runtime.h"
#include "test_env.h"

namespace {

// The figure the space warning shows for a number of free bytes: the megabytes, held as a float.
std::string megabytes(unsigned long long bytes)
{
    char text[32];
    EXPECT_TRUE(formatText(text, sizeof text, "%3.3f", (double)(float)((double)bytes / 1048576.0)));
    return text;
}

// The formatter: the cut at the buffer's end, each conversion, and the free-space figure to its
// third decimal, rounded half away from zero, from an empty drive to the largest that
// GetDiskFreeSpaceA describes (2^32 - 1 clusters of 2 MB).
TEST(Runtime, TheFormatterCutsAtTheEndAndWritesEachConversionExactly)
{
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(formatText(buffer, 6, "%s:%d", "ab", 12));
    EXPECT_EQ(std::string(buffer, 7), std::string("ab:12\0x", 7)) << "the text that fills the buffer exactly";
    memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(formatText(buffer, 5, "%s:%d", "ab", 12));
    EXPECT_EQ(std::string(buffer, 6), std::string("ab:1\0x", 6));
    EXPECT_FALSE(formatText(buffer, 1, "%c", 'a'));
    EXPECT_STREQ(buffer, "");
    EXPECT_TRUE(formatText(buffer, 1, "%s", ""));
    memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(formatText(buffer, 0, "%s", ""));
    EXPECT_EQ(buffer[0], 'x') << "a buffer of no bytes is not written";

    std::string longest(sizeof messageText - 1, 'a');
    EXPECT_TRUE(formatMessage("%s", longest.c_str()));
    EXPECT_FALSE(formatMessage("%s!", longest.c_str()));
    EXPECT_EQ(messageText, longest);

    char text[128];
    EXPECT_TRUE(formatText(text, sizeof text, "Drive %c: %s, %d %d %d %d %i 100%%", 'c', "C:\\Games\\", 0, -7, INT_MAX,
                           INT_MIN, 42));
    EXPECT_STREQ(text, "Drive c: C:\\Games\\, 0 -7 2147483647 -2147483648 42 100%");
    EXPECT_TRUE(formatText(text, sizeof text, "[%3d][%5s][%.2s][%3.3f][%9.3f][%.0f][%f]", 7, "ab", "abc", -6.0625,
                           0.5, 2.5, 0.25));
    EXPECT_STREQ(text, "[  7][   ab][ab][-6.063][    0.500][3][0.250000]");

    EXPECT_EQ(megabytes(0), "0.000");
    EXPECT_EQ(megabytes(1), "0.000");
    EXPECT_EQ(megabytes(65536), "0.063");      // 0.0625, halfway
    EXPECT_EQ(megabytes(524288), "0.500");
    EXPECT_EQ(megabytes(6356992), "6.063");    // 6.0625, halfway
    EXPECT_EQ(megabytes(7274496), "6.938");    // 6.9375, halfway
    EXPECT_EQ(megabytes(7339008), "6.999");    // 6.9990234375
    EXPECT_EQ(megabytes(7339520), "7.000");    // 6.99951171875, carried into the whole megabytes
    EXPECT_EQ(megabytes(7340031), "7.000");    // a byte short of 7 MB
    EXPECT_EQ(megabytes(8796092497920ull), "8388607.500");
    EXPECT_EQ(megabytes(0xFFFFFFFFull << 21), "8589934592.000");
}

TEST(Runtime, ChmodSetsOrClearsReadOnlyAndFailsForAMissingFile)
{
    std::string dir = makeTestDir();
    writeTestFile(dir + "pack.dat", "pack");
    EXPECT_EQ(_chmod((dir + "pack.dat").c_str(), _S_IREAD), 0);
    EXPECT_TRUE(isTestFileReadOnly(dir + "pack.dat"));
    EXPECT_EQ(_chmod((dir + "pack.dat").c_str(), _S_IWRITE), 0);
    EXPECT_FALSE(isTestFileReadOnly(dir + "pack.dat"));
    EXPECT_EQ(readTestFile(dir + "pack.dat"), "pack");
    EXPECT_EQ(_chmod((dir + "missing.dat").c_str(), _S_IWRITE), -1);
}

} // namespace
