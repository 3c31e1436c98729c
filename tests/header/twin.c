/* The second C translation unit: checks that C callers of the header get the
 * same results as C++ ones, on the key cases and the clock. */
#include "TALVIK.h"

#include <math.h>
#include <stdio.h>

long double c_alone_to_double(LARGE_INTEGER li);
LARGE_INTEGER c_alone_to_large(long double x);
long double c_alone_now(void);
size_t c_alone_record_size(void);

struct c_case {
    long double x;
    LONG high;
    DWORD low;
};

static int checks;
static int failures;

static void expect(int ok, const char *what, double x)
{
    ++checks;
    if (!ok) {
        ++failures;
        printf("FAIL: %s (x = %.17g)\n", what, x);
    }
}

static unsigned long long as_u64(FILETIME ft)
{
    return ((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

int main(void)
{
    const long double two32 = 4294967296.0L;
    const struct c_case cases[] = {
        {-1.0L, -1, 0xFFFFFFFFu},
        {1.9L, 0, 1},
        {-1.9L, -1, 0xFFFFFFFFu},
        {4294967301.0L, 1, 5},
        {-4294967301.0L, -2, 0xFFFFFFFBu},
        {two32 * 2147483648.0L, (LONG)-2147483647 - 1, 0},     /* 2^63 wraps */
        {-(two32 * 2147483648.0L), (LONG)-2147483647 - 1, 0},  /* -2^63 */
        {two32 * two32 * 2147483648.0L, 0, 0},                 /* 2^95: outside */
        {(long double)NAN, 0, 0},
        {(long double)INFINITY, 0, 0},
        {-(long double)INFINITY, 0, 0},
    };
    size_t i;
    int k;

    expect(c_alone_record_size() == 250 && sizeof(TQelInfoStruct) == 250, "record size", 0);
    for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const LARGE_INTEGER there = c_alone_to_large(cases[i].x);
        const LARGE_INTEGER here = DoubleToLargeInt(cases[i].x);
        expect(there.HighPart == cases[i].high && there.LowPart == cases[i].low,
               "DoubleToLargeInt", (double)cases[i].x);
        expect(here.QuadPart == there.QuadPart, "same in both units", (double)cases[i].x);
        if (cases[i].x > -two32 * 2147483648.0L && cases[i].x < two32 * 2147483648.0L)
            expect(c_alone_to_double(here) == truncl(cases[i].x), "round trip", (double)cases[i].x);
    }
    for (k = 0; k < 1000; ++k) {
        FILETIME before, after;
        long double now;
        GetSystemTimeAsFileTime(&before);
        now = (k & 1) ? c_alone_now() : GetCurrentTimeAsDouble();
        GetSystemTimeAsFileTime(&after);
        expect(now >= (long double)as_u64(before) && now <= (long double)as_u64(after),
               "GetCurrentTimeAsDouble between clock readings", (double)now);
    }
    printf("c_header: %d checks, %d failures\n", checks, failures);
    return failures != 0;
}
