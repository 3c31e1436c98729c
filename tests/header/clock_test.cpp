// GetCurrentTimeAsDouble against the real clock of the platform layer.
#include "TALVIK.h"
#include "report.h"

#include <gtest/gtest.h>

#include <cmath>

long double AloneNow();

namespace {

using namespace talvik_checks;

TEST(GetCurrentTimeAsDouble, LiesBetweenTwoClockReadings)
{
    Tally t = GtestTally();
    CheckClock(t, 10000);
    EXPECT_EQ(t.failures, 0u);
    EXPECT_EQ(t.checks, 10000u);
}

TEST(GetCurrentTimeAsDouble, UsesTheHighWord)
{
    // Any date after 1601 + 7 minutes has a high word: the value must be
    // beyond 2^32, and beyond 2^53 for dates after 1629, so double would not do.
    const long double now = GetCurrentTimeAsDouble();
    EXPECT_GT(now, kTwo53);
    EXPECT_EQ(now, std::trunc(now));
}

TEST(GetCurrentTimeAsDouble, SameFromTheOtherTranslationUnit)
{
    FILETIME before;
    FILETIME after;
    GetSystemTimeAsFileTime(&before);
    const long double now = AloneNow();
    GetSystemTimeAsFileTime(&after);
    const uint64_t lo = (static_cast<uint64_t>(before.dwHighDateTime) << 32) | before.dwLowDateTime;
    const uint64_t hi = (static_cast<uint64_t>(after.dwHighDateTime) << 32) | after.dwLowDateTime;
    EXPECT_GE(now, static_cast<long double>(lo));
    EXPECT_LE(now, static_cast<long double>(hi));
}

}  // namespace
