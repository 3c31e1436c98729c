// TALVIK.h on the real Windows ABI: the table of cases, the random and
// boundary sweeps of the conversions and the clock, as the host tests run
// them. Prints one summary line; exits nonzero on any failure.
#include "TALVIK.h"

#include "../header/talvik_checks.h"

#include <cfloat>
#include <cstdio>

int main()
{
    using namespace talvik_checks;

    Tally t;
    t.report = [](const char *what, long double x, uint64_t got, uint64_t want) {
        // msvcrt's printf has no long double: print the value as double and
        // the bits, which are exact.
        std::printf("FAIL: %s: x ~ %.17g: got %016llx, want %016llx\n", what, static_cast<double>(x),
                    static_cast<unsigned long long>(got), static_cast<unsigned long long>(want));
    };

    const uint64_t sweep = 1000000;
    CheckToLargeTable(t);
    CheckToDoubleTable(t);
    SweepIntegers(t, sweep, 0x5EED0001u);
    SweepLongDoubles(t, sweep, 0x5EED0002u);
    SweepBoundaries(t, 1000);
    CheckClock(t, 10000);

    std::printf("header_sweep (%d-bit, LDBL_MANT_DIG %d): %llu checks, %llu failures\n",
                static_cast<int>(sizeof(void *) * 8), LDBL_MANT_DIG,
                static_cast<unsigned long long>(t.checks), static_cast<unsigned long long>(t.failures));
    return t.failures == 0 ? 0 : 1;
}
