// GetCurrentTimeAsDouble against a clock that reads whatever the test sets,
// so the high and low words can be pushed to their extremes (this program
// does not link the platform layer, it brings its own clock).
#include "TALVIK.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {
FILETIME g_now;
int g_reads;
}  // namespace

VOID WINAPI GetSystemTimeAsFileTime(FILETIME *lpSystemTimeAsFileTime)
{
    ++g_reads;
    *lpSystemTimeAsFileTime = g_now;
}

namespace {

struct ClockCase {
    uint32_t high;
    uint32_t low;
    const char *what;
};

const ClockCase kClockCases[] = {
    {0, 0, "start of the epoch"},
    {0, 1, "one tick"},
    {0, 0x80000000u, "low word with its top bit: unsigned"},
    {0, 0xFFFFFFFFu, "low word all ones"},
    {1, 0, "high word counts 2^32"},
    {0x01DB2C3Au, 0x9F8E7D6Cu, "a date in this century"},
    {0x7FFFFFFFu, 0xFFFFFFFFu, "largest signed 64-bit"},
    {0x80000000u, 0, "high word with its top bit: unsigned"},
    {0xFFFFFFFFu, 0xFFFFFFFFu, "all ones: 2^64 - 1, exact"},
};

TEST(GetCurrentTimeAsDouble, IsHighTimes2To32PlusLowBothUnsigned)
{
    for (const ClockCase &c : kClockCases) {
        SCOPED_TRACE(c.what);
        g_now.dwHighDateTime = c.high;
        g_now.dwLowDateTime = c.low;
        g_reads = 0;
        const long double got = GetCurrentTimeAsDouble();
        const uint64_t want = (static_cast<uint64_t>(c.high) << 32) | c.low;
        EXPECT_EQ(got, static_cast<long double>(want));
        // The conversion back must give the same 64 bits where it is exact.
        if (want < (1ull << 63)) {
            EXPECT_EQ(static_cast<uint64_t>(DoubleToLargeInt(got).QuadPart), want);
        }
        EXPECT_EQ(g_reads, 1);
    }
}

}  // namespace
