// Reference results and sweeps for the conversions in TALVIK.h, shared by the
// host tests and the Windows-side program (tests/win/header_sweep.cpp) so that
// both ABIs are held to the same cases.
#pragma once

#include "TALVIK.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>

namespace talvik_checks {

constexpr long double kTwo31 = 2147483648.0L;
constexpr long double kTwo32 = 4294967296.0L;
constexpr long double kTwo53 = 9007199254740992.0L;
constexpr long double kTwo63 = kTwo32 * kTwo31;
constexpr long double kTwo64 = kTwo32 * kTwo32;
constexpr long double kTwo80 = kTwo64 * 65536.0L;
constexpr long double kTwo95 = kTwo64 * kTwo31;

inline long double Nan() { return std::numeric_limits<long double>::quiet_NaN(); }
inline long double Inf() { return std::numeric_limits<long double>::infinity(); }
inline long double Max() { return std::numeric_limits<long double>::max(); }
inline long double Tiny() { return std::numeric_limits<long double>::denorm_min(); }

// Two's-complement reinterpretations written out, so that no step leans on
// implementation-defined narrowing.
inline int32_t ToSigned32(uint32_t u)
{
    return u <= 0x7FFFFFFFu ? static_cast<int32_t>(u) : -static_cast<int32_t>(~u) - 1;
}
inline int64_t ToSigned64(uint64_t u)
{
    return u <= 0x7FFFFFFFFFFFFFFFull ? static_cast<int64_t>(u) : -static_cast<int64_t>(~u) - 1;
}

// The 64 bits of a LARGE_INTEGER, read from its named halves.
inline uint64_t Bits(const LARGE_INTEGER &li)
{
    return static_cast<uint64_t>(static_cast<uint32_t>(li.LowPart)) |
           (static_cast<uint64_t>(static_cast<uint32_t>(li.HighPart)) << 32);
}

inline LARGE_INTEGER FromHalves(int32_t high, uint32_t low)
{
    LARGE_INTEGER li;
    li.QuadPart = 0;
    li.LowPart = low;
    li.HighPart = high;
    return li;
}

inline LARGE_INTEGER FromBits(uint64_t bits)
{
    return FromHalves(ToSigned32(static_cast<uint32_t>(bits >> 32)), static_cast<uint32_t>(bits));
}

// significand * 2^exponent truncated toward zero, modulo 2^64, by integer
// shifts only.
inline uint64_t ShiftedBits(uint64_t significand, int exponent, bool negative)
{
    uint64_t m;
    if (exponent >= 64 || exponent <= -64)
        m = 0;
    else if (exponent >= 0)
        m = significand << exponent;
    else
        m = significand >> -exponent;
    return negative ? ~m + 1 : m;
}

// What DoubleToLargeInt must give: trunc(x) modulo 2^64 for |x| < 2^95, and 0
// for NaN, infinities and |x| >= 2^95. Taken apart with frexp, independently
// of the header's division.
inline uint64_t ExpectedBits(long double x)
{
    if (std::isnan(x) || std::isinf(x) || std::fabs(x) >= kTwo95 || x == 0)
        return 0;
    int e = 0;
    const long double f = std::frexp(std::fabs(x), &e);  // |x| = f * 2^e, f in [0.5, 1)
    const uint64_t significand = static_cast<uint64_t>(std::ldexp(f, 64));  // exact, < 2^64
    return ShiftedBits(significand, e - 64, x < 0);
}

// The definition this header used before negative values were mended, taken
// only where it is defined (0 <= x < 2^95): HighPart = low 32 bits of
// trunc(x / 2^32), LowPart = low 32 bits of trunc(fmod(x, 2^32)).
inline uint64_t EarlierBits(long double x)
{
    const int64_t q = static_cast<int64_t>(std::trunc(x / kTwo32));
    const int64_t r = static_cast<int64_t>(std::trunc(std::fmod(x, kTwo32)));
    return (static_cast<uint64_t>(q) << 32) | static_cast<uint32_t>(r);
}

struct ToLargeCase {
    long double x;
    int32_t high;
    uint32_t low;
    const char *what;
};

inline const ToLargeCase kToLargeCases[] = {
    {0.0L, 0, 0, "zero"},
    {-0.0L, 0, 0, "negative zero"},
    {1.9L, 0, 1, "fraction truncated"},
    {0.999L, 0, 0, "below one"},
    {-0.999L, 0, 0, "above minus one truncates to zero"},
    {-1.0L, -1, 0xFFFFFFFFu, "minus one (was High 0, Low FFFFFFFF)"},
    {-1.9L, -1, 0xFFFFFFFFu, "negative fraction truncates toward zero"},
    {-2.5L, -1, 0xFFFFFFFEu, "minus two and a half"},
    {kTwo31, 0, 0x80000000u, "2^31 stays in LowPart"},
    {-kTwo31, -1, 0x80000000u, "-2^31"},
    {kTwo32 - 1, 0, 0xFFFFFFFFu, "2^32 - 1"},
    {kTwo32 - 0.5L, 0, 0xFFFFFFFFu, "2^32 - 1/2"},
    {kTwo32, 1, 0, "2^32"},
    {kTwo32 + 0.5L, 1, 0, "2^32 + 1/2"},
    {4294967301.0L, 1, 5, "2^32 + 5"},
    {-(kTwo32 - 1), -1, 1, "-(2^32 - 1)"},
    {-kTwo32, -1, 0, "-2^32"},
    {-4294967301.0L, -2, 0xFFFFFFFBu, "-(2^32 + 5) (was -5)"},
    {kTwo53 - 1, 0x1FFFFF, 0xFFFFFFFFu, "2^53 - 1"},
    {kTwo53, 0x200000, 0, "2^53"},
    {kTwo53 + 1, 0x200000, 1, "2^53 + 1, beyond double"},
    {-(kTwo53 + 1), -2097153, 0xFFFFFFFFu, "-(2^53 + 1)"},
    {kTwo63 - 1, 0x7FFFFFFF, 0xFFFFFFFFu, "2^63 - 1"},
    {kTwo63 - 0.5L, 0x7FFFFFFF, 0xFFFFFFFFu, "2^63 - 1/2"},
    {-(kTwo63 - 1), INT32_MIN, 1, "-(2^63 - 1)"},
    {-(kTwo63 - 0.5L), INT32_MIN, 1, "-(2^63 - 1/2)"},
    {-kTwo63, INT32_MIN, 0, "-2^63"},
    {kTwo63, INT32_MIN, 0, "2^63 wraps as before"},
    {kTwo63 + 1, INT32_MIN, 1, "2^63 + 1"},
    {kTwo64 - 1, -1, 0xFFFFFFFFu, "2^64 - 1"},
    {kTwo64, 0, 0, "2^64"},
    {kTwo64 + 2 * kTwo32, 2, 0, "2^64 + 2^33"},
    {kTwo80 + kTwo32 * 256, 256, 0, "2^80 + 2^40"},
    {kTwo95 - kTwo31, -1, 0x80000000u, "largest below 2^95"},
    {-(kTwo63 + 1), 0x7FFFFFFF, 0xFFFFFFFFu, "-(2^63 + 1), mirrored"},
    {-(kTwo64 - 1), 0, 1, "-(2^64 - 1), mirrored"},
    {-kTwo64, 0, 0, "-2^64, mirrored"},
    {-(kTwo64 + 2 * kTwo32), -2, 0, "-(2^64 + 2^33), mirrored"},
    {-(kTwo95 - kTwo31), 0, 0x80000000u, "smallest above -2^95, mirrored"},
    {kTwo95, 0, 0, "2^95: outside"},
    {kTwo95 + kTwo32, 0, 0, "just above 2^95: outside"},
    {-kTwo95, 0, 0, "-2^95: outside"},
    {1e30L, 0, 0, "1e30: outside"},
    {-1e30L, 0, 0, "-1e30: outside"},
    {Max(), 0, 0, "largest long double"},
    {-Max(), 0, 0, "most negative long double"},
    {Inf(), 0, 0, "+infinity"},
    {-Inf(), 0, 0, "-infinity"},
    {Nan(), 0, 0, "NaN"},
    {-Nan(), 0, 0, "negative NaN"},
    {Tiny(), 0, 0, "smallest subnormal"},
    {-Tiny(), 0, 0, "negative smallest subnormal"},
};

struct ToDoubleCase {
    int32_t high;
    uint32_t low;
    long double value;
    const char *what;
};

inline const ToDoubleCase kToDoubleCases[] = {
    {0, 0, 0.0L, "zero"},
    {0, 1, 1.0L, "one"},
    {0, 0x80000000u, kTwo31, "LowPart is unsigned"},
    {0, 0xFFFFFFFFu, kTwo32 - 1, "LowPart all ones"},
    {1, 5, 4294967301.0L, "2^32 + 5"},
    {-1, 0xFFFFFFFFu, -1.0L, "minus one"},
    {-1, 0, -kTwo32, "-2^32"},
    {-2, 0xFFFFFFFBu, -4294967301.0L, "-(2^32 + 5)"},
    {0x200000, 1, kTwo53 + 1, "2^53 + 1"},
    {0x7FFFFFFF, 0xFFFFFFFFu, kTwo63 - 1, "largest int64"},
    {INT32_MIN, 0, -kTwo63, "smallest int64"},
    {INT32_MIN, 1, -(kTwo63 - 1), "-(2^63 - 1)"},
};

// Fixed-seed generator so every run and both ABIs see the same values.
struct SplitMix64 {
    uint64_t state;
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

// Counts checks; hands the first failures (value, bits got, bits wanted) to
// report, so a broken sweep does not bury the log.
struct Tally {
    using Report = std::function<void(const char *what, long double x, uint64_t got, uint64_t want)>;
    Report report;
    uint64_t max_reports = 20;
    uint64_t checks = 0;
    uint64_t failures = 0;

    void Expect(bool ok, const char *what, long double x, uint64_t got, uint64_t want)
    {
        ++checks;
        if (!ok) {
            ++failures;
            if (report && failures <= max_reports)
                report(what, x, got, want);
        }
    }
    void ExpectBits(const char *what, long double x, uint64_t got, uint64_t want)
    {
        Expect(got == want, what, x, got, want);
    }
};

inline void CheckToLargeTable(Tally &t)
{
    for (const ToLargeCase &c : kToLargeCases) {
        const LARGE_INTEGER li = DoubleToLargeInt(c.x);
        const uint64_t want = Bits(FromHalves(c.high, c.low));
        t.ExpectBits(c.what, c.x, Bits(li), want);
        // The table and the independent reference must tell the same story.
        t.ExpectBits(c.what, c.x, ExpectedBits(c.x), want);
        // QuadPart must be the same 64 bits as the halves.
        t.ExpectBits(c.what, c.x, static_cast<uint64_t>(li.QuadPart), want);
    }
}

inline void CheckToDoubleTable(Tally &t)
{
    for (const ToDoubleCase &c : kToDoubleCases) {
        const long double got = LargeIntToDouble(FromHalves(c.high, c.low));
        t.Expect(got == c.value, c.what, c.value, Bits(DoubleToLargeInt(got)),
                 Bits(FromHalves(c.high, c.low)));
    }
}

// Random 64-bit patterns, both signs: LargeIntToDouble is exact, and
// DoubleToLargeInt brings every one of them back, also with a fraction added.
inline void SweepIntegers(Tally &t, uint64_t count, uint64_t seed)
{
    SplitMix64 rng{seed};
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t bits = rng.Next();
        const int64_t value = ToSigned64(bits);
        const long double x = static_cast<long double>(value);  // exact
        const LARGE_INTEGER li = FromBits(bits);

        const long double back = LargeIntToDouble(li);
        t.Expect(back == x, "LargeIntToDouble of a random pattern", x, Bits(DoubleToLargeInt(back)), bits);
        t.ExpectBits("DoubleToLargeInt of a whole number", x, Bits(DoubleToLargeInt(x)), bits);

        // Below 2^62 a half still fits the 64-bit significand; it must be cut off.
        const uint64_t magnitude = value < 0 ? ~bits + 1 : bits;
        if (magnitude < (1ull << 62)) {
            const long double frac = value < 0 ? x - 0.5L : x + 0.5L;
            t.ExpectBits("DoubleToLargeInt drops the half", frac, Bits(DoubleToLargeInt(frac)), bits);
        }
    }
}

// Random long doubles with every significand bit in use, exponents from far
// below one to beyond 2^95, both signs. Checks against integer shifting, and
// for x >= 0 against the earlier definition; inside the int64 range the round
// trip gives trunc(x).
inline void SweepLongDoubles(Tally &t, uint64_t count, uint64_t seed)
{
    SplitMix64 rng{seed};
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t r = rng.Next();
        const uint64_t significand = rng.Next() | (1ull << 63);
        const int exponent = static_cast<int>(r % 112) - 70;  // |x| in [2^-7, 2^105)
        const bool negative = (r >> 32) & 1;
        const long double magnitude = std::ldexp(static_cast<long double>(significand), exponent);
        const long double x = negative ? -magnitude : magnitude;

        const uint64_t got = Bits(DoubleToLargeInt(x));
        const uint64_t want = magnitude >= kTwo95 ? 0 : ShiftedBits(significand, exponent, negative);
        t.ExpectBits("DoubleToLargeInt of a random long double", x, got, want);
        if (!negative && x < kTwo95)
            t.ExpectBits("agrees with the earlier definition", x, got, EarlierBits(x));
        if (x >= -kTwo63 && x < kTwo63) {
            const long double back = LargeIntToDouble(DoubleToLargeInt(x));
            t.Expect(back == std::trunc(x), "round trip gives trunc(x)", x, got, want);
        }
    }
}

// Every representable value within `steps` of each boundary, both sides and
// both signs, and the special values: each must give its documented result
// (and, under the sanitizer, no out-of-range conversion).
inline void SweepBoundaries(Tally &t, int steps)
{
    const long double edges[] = {1.0L, kTwo31, kTwo32, kTwo53, kTwo63, kTwo64, kTwo95, kTwo95 * 2, Max()};
    for (long double edge : edges) {
        for (int sign = -1; sign <= 1; sign += 2) {
            const long double start = sign * edge;
            long double up = start;
            long double down = start;
            for (int k = 0; k <= steps; ++k) {
                for (long double x : {up, down}) {
                    t.ExpectBits("near a boundary", x, Bits(DoubleToLargeInt(x)), ExpectedBits(x));
                    if (x >= -kTwo63 && x < kTwo63)
                        t.Expect(LargeIntToDouble(DoubleToLargeInt(x)) == std::trunc(x),
                                 "round trip near a boundary", x, 0, 0);
                }
                up = std::nextafter(up, Inf());
                down = std::nextafter(down, -Inf());
            }
        }
    }
    const long double specials[] = {Nan(), -Nan(), Inf(), -Inf(), Tiny(), -Tiny(),
                                    std::numeric_limits<long double>::min(),
                                    -std::numeric_limits<long double>::min()};
    for (long double x : specials)
        t.ExpectBits("special value", x, Bits(DoubleToLargeInt(x)), 0);
}

// GetCurrentTimeAsDouble is a whole number between two clock readings taken
// around it.
inline void CheckClock(Tally &t, int rounds)
{
    for (int i = 0; i < rounds; ++i) {
        FILETIME before;
        FILETIME after;
        GetSystemTimeAsFileTime(&before);
        const long double now = GetCurrentTimeAsDouble();
        GetSystemTimeAsFileTime(&after);
        const uint64_t lo = (static_cast<uint64_t>(before.dwHighDateTime) << 32) | before.dwLowDateTime;
        const uint64_t hi = (static_cast<uint64_t>(after.dwHighDateTime) << 32) | after.dwLowDateTime;
        const bool ok = now == std::trunc(now) && now >= static_cast<long double>(lo) &&
                        now <= static_cast<long double>(hi);
        t.Expect(ok, "GetCurrentTimeAsDouble between two clock readings", now, lo, hi);
    }
}

}  // namespace talvik_checks
