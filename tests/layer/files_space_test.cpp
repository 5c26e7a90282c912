// Free space on the layer: real disks in Wine's cluster layout, and the simulated amounts that
// tests set, reported as factors whose product is exactly the amount.
#include <windows.h>

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include "layer_control.h"
#include "test_env.h"

namespace {

struct Space {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;

    ULONGLONG freeBytes() const
    {
        return static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector * freeClusters;
    }
};

Space query(const char *root)
{
    Space space;
    EXPECT_TRUE(GetDiskFreeSpaceA(root, &space.sectorsPerCluster, &space.bytesPerSector, &space.freeClusters,
                                  &space.totalClusters))
        << root << ": " << GetLastError();
    return space;
}

class FreeSpace : public testing::Test {
protected:
    void TearDown() override { EXPECT_STREQ("", layerReset()) << "scripted but never used"; }
};

TEST_F(FreeSpace, RealDiskUsesFourKilobyteClustersOf512ByteSectors)
{
    struct statvfs volume;
    ASSERT_EQ(0, statvfs((testPrefix() + "/drive_c").c_str(), &volume));
    Space space = query("C:\\");
    EXPECT_EQ(space.bytesPerSector, 512u);
    EXPECT_EQ(space.sectorsPerCluster, 8u);
    EXPECT_EQ(space.totalClusters, static_cast<ULONGLONG>(volume.f_blocks) * volume.f_frsize / 4096);
    // Others write to the same disk meanwhile: the free amount may have moved a little.
    ULONGLONG expected = static_cast<ULONGLONG>(volume.f_bavail) * volume.f_frsize;
    ULONGLONG reported = space.freeBytes();
    EXPECT_LT(reported > expected ? reported - expected : expected - reported, 256ull << 20)
        << reported << " vs " << expected;
}

TEST_F(FreeSpace, SimulatedAmountsAreExactProducts)
{
    const ULONGLONG amounts[] = {7340031ull, 7340032ull, 5ull << 30, (5ull << 30) + 1, 205891132094649ull /* 3^30 */, 0ull, 1ull};
    for (ULONGLONG bytes : amounts) {
        layerSetFreeSpace('C', bytes);
        Space space = query("C:\\");
        EXPECT_EQ(space.freeBytes(), bytes) << space.sectorsPerCluster << " x " << space.bytesPerSector << " x "
                                            << space.freeClusters;
        EXPECT_GE(space.totalClusters, space.freeClusters) << bytes;
    }
}

TEST_F(FreeSpace, AnAmountWithoutAnExactSplitIsRoundedDownToAWholeCluster)
{
    // 2^61 - 1 is prime; 12345678901234 has the prime factor 12079920647.
    for (ULONGLONG bytes : {2305843009213693951ull, 12345678901234ull}) {
        layerSetFreeSpace('c', bytes);
        Space space = query("C:\\");
        ULONGLONG cluster = static_cast<ULONGLONG>(space.sectorsPerCluster) * space.bytesPerSector;
        EXPECT_LE(space.freeBytes(), bytes);
        EXPECT_LT(bytes - space.freeBytes(), cluster) << bytes;
    }
}

TEST_F(FreeSpace, SimulationBelongsToOneDriveWhateverTheCaseOfItsLetter)
{
    Space real = query("Z:\\");
    layerSetFreeSpace('c', 7340032);
    EXPECT_EQ(query("C:\\").freeBytes(), 7340032ull);
    EXPECT_EQ(query("c:\\").freeBytes(), 7340032ull);
    EXPECT_EQ(query("Z:\\").bytesPerSector, real.bytesPerSector);
    EXPECT_NE(query("Z:\\").freeBytes(), 7340032ull);

    layerReset();
    EXPECT_EQ(query("C:\\").sectorsPerCluster, 8u);
    EXPECT_NE(query("C:\\").freeBytes(), 7340032ull);
}

TEST_F(FreeSpace, ScriptedFailureReturnsFalseWithItsError)
{
    layerFailCall("GetDiskFreeSpaceA", ERROR_GEN_FAILURE, 0);
    DWORD sectors = 0xaaaa;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetDiskFreeSpaceA("C:\\", &sectors, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_GEN_FAILURE);
    EXPECT_EQ(sectors, 0xaaaau);
    EXPECT_TRUE(GetDiskFreeSpaceA("C:\\", &sectors, nullptr, nullptr, nullptr));
}

} // namespace
