// Two minutes of the soak: every fault the simulator has, one after another from a seed,
// with a host that changes rate, buffer size and sessions. SOAK_SEED repeats a schedule.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "driver/soak/soak_run.h"

namespace {

unsigned long long SeedForThisRun()
{
    if (const char* given = std::getenv("SOAK_SEED")) return std::strtoull(given, nullptr, 10);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return ULONGLONG(now.QuadPart) % 1000000000ULL;
}

TEST(Soak, AfterEveryFaultTheAudioComesBackAndNothingIsInvented)
{
    SoakOptions options;
    options.minutes = 2;
    options.seed = SeedForThisRun();
    options.progress = stdout;
    std::printf("[ soak seed ] %llu (SOAK_SEED=%llu repeats it)\n", options.seed, options.seed);
    SoakResult result = RunSoak(options);
    PrintSoakSummary(result, stdout);
    EXPECT_TRUE(result.Passed()) << "seed " << options.seed;
    EXPECT_EQ(result.hangs, 0u);
    EXPECT_EQ(result.notRecovered, 0u);
    EXPECT_EQ(result.corruptFrames, 0u);
    EXPECT_LT(result.WorstRecoveryMs(), 3000.0);
    EXPECT_GT(result.framesChecked, 0u);
    EXPECT_LE(result.handleGrowth, 0L);
    EXPECT_LT(result.memoryGrowthKiB, 4096);
}

}  // namespace
