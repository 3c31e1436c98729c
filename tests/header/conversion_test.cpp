// DoubleToLargeInt and LargeIntToDouble: the table of cases, random sweeps and
// the neighbourhoods of every boundary.
#include "TALVIK.h"
#include "report.h"

#include <gtest/gtest.h>

#include <cmath>

// From alone.cpp, the other translation unit including the header.
LARGE_INTEGER AloneToLarge(long double x);
long double AloneToDouble(LARGE_INTEGER li);

namespace {

using namespace talvik_checks;

constexpr uint64_t kSweep = 1000000;

TEST(DoubleToLargeInt, TableOfCases)
{
    Tally t = GtestTally();
    CheckToLargeTable(t);
    EXPECT_EQ(t.failures, 0u);
    EXPECT_EQ(t.checks, 3 * (sizeof kToLargeCases / sizeof kToLargeCases[0]));
}

TEST(LargeIntToDouble, TableOfCases)
{
    Tally t = GtestTally();
    CheckToDoubleTable(t);
    EXPECT_EQ(t.failures, 0u);
    EXPECT_EQ(t.checks, sizeof kToDoubleCases / sizeof kToDoubleCases[0]);
}

TEST(RoundTrip, RandomIntegerPatterns)
{
    Tally t = GtestTally();
    SweepIntegers(t, kSweep, 0x5EED0001u);
    EXPECT_EQ(t.failures, 0u);
    EXPECT_GE(t.checks, 2 * kSweep);
}

TEST(DoubleToLargeInt, RandomLongDoubles)
{
    Tally t = GtestTally();
    SweepLongDoubles(t, kSweep, 0x5EED0002u);
    EXPECT_EQ(t.failures, 0u);
    EXPECT_GE(t.checks, kSweep);
}

TEST(DoubleToLargeInt, AroundBoundariesAndSpecialValues)
{
    Tally t = GtestTally();
    SweepBoundaries(t, 1000);
    EXPECT_EQ(t.failures, 0u);
    EXPECT_GE(t.checks, 9u * 2 * 1001 * 2);
}

// The reference itself must flag a wrong answer, or the sweeps prove nothing:
// the earlier definition is wrong for negative non-multiples of 2^32.
TEST(Reference, TellsTheEarlierNegativeResultsApart)
{
    for (long double x : {-1.0L, -1.9L, -4294967301.0L, -(kTwo53 + 1), -(kTwo63 - 1)}) {
        SCOPED_TRACE(static_cast<double>(x));
        EXPECT_NE(ExpectedBits(x), EarlierBits(x));
        EXPECT_EQ(ExpectedBits(x), static_cast<uint64_t>(static_cast<int64_t>(std::trunc(x))));
    }
}

TEST(TranslationUnits, AgreeOnEveryConversion)
{
    SplitMix64 rng{0x5EED0003u};
    for (const ToLargeCase &c : kToLargeCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Bits(AloneToLarge(c.x)), Bits(DoubleToLargeInt(c.x)));
    }
    for (int i = 0; i < 1000; ++i) {
        const LARGE_INTEGER li = FromBits(rng.Next());
        EXPECT_EQ(AloneToDouble(li), LargeIntToDouble(li));
    }
}

}  // namespace
