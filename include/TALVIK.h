/* TALVIK.dll: interface of the unit library through which an installation
 * reaches its network-attached acquisition units. */
#ifndef TALVIK_H
#define TALVIK_H

#include <float.h>

/* Time stamps and sample counters are 64-bit integers carried in long double;
 * only a 64-bit significand (x87 extended) holds every one of them exactly.
 * The x87 must also run at its full precision at run time, as the MinGW-w64
 * start-up leaves it: lowering it (_controlfp with _PC_53) rounds them. */
#if !defined(LDBL_MANT_DIG) || LDBL_MANT_DIG < 64
#error "TALVIK.h: long double on this toolchain has fewer than 64 significand bits (LDBL_MANT_DIG < 64); 64-bit time stamps and sample counts would be rounded. Use a compiler with x87 extended long double (MinGW-w64 or GCC on x86)."
#endif

#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

/* Compile-time checks that hold in C++ and in C (C11 or the older
 * negative-array form), so the record's layout is checked wherever the
 * header is used. */
#if defined(__cplusplus)
#define TALVIK_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define TALVIK_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
#define TALVIK_STATIC_ASSERT_NAME2(line) talvik_static_assert_##line
#define TALVIK_STATIC_ASSERT_NAME(line) TALVIK_STATIC_ASSERT_NAME2(line)
#define TALVIK_STATIC_ASSERT(cond, msg) \
    typedef char TALVIK_STATIC_ASSERT_NAME(__LINE__)[(cond) ? 1 : -1]
#endif

/* Functions defined here must not clash when several translation units
 * include the header: inline in C++, static inline in C. */
#if defined(__cplusplus)
#define TALVIK_INLINE inline
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L
#define TALVIK_INLINE static inline
#else
#define TALVIK_INLINE static __inline
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Text fields of the unit record: at most 31 characters and the terminator. */
typedef char TShortString[32];

/* Sample counters and time stamps cross the interface as 64-bit integers. */
typedef LARGE_INTEGER TSample;
typedef LARGE_INTEGER TAccurateTime;

/* Description of one unit, exactly as the library fills it: byte-packed,
 * little-endian, 250 bytes. Fixed-width types keep the sizes the same on
 * 32- and 64-bit Windows and on LP64 hosts. */
#pragma pack(push, 1)
typedef struct _TQelInfoStruct {
    int32_t      QelId;          /*   0 */
    uint8_t      Ethernet[6];    /*   4  MAC address */
    TShortString StrEthernet;    /*  10 */
    int32_t      SWVersion;      /*  42 */
    TShortString PartNumber;     /*  46 */
    TShortString SerialNumber;   /*  78 */
    int32_t      ManYY;          /* 110  manufacturing date */
    int32_t      ManMM;          /* 114 */
    int32_t      ManDD;          /* 118 */
    TShortString StrManDate;     /* 122 */
    uint8_t      IPAddr[4];      /* 154 */
    TShortString StrIPAddr;      /* 158 */
    TShortString Name;           /* 190 */
    double       SampleRate;     /* 222 */
    uint16_t     DigDDR;         /* 230 */
    uint16_t     DigDefault;     /* 232 */
    uint8_t      PortType[16];   /* 234 */
} TQelInfoStruct;
#pragma pack(pop)

TALVIK_STATIC_ASSERT(sizeof(TShortString) == 32, "TShortString must be 32 chars");
TALVIK_STATIC_ASSERT(sizeof(LARGE_INTEGER) == 8, "LARGE_INTEGER must be 8 bytes");
TALVIK_STATIC_ASSERT(sizeof(double) == 8, "double must be 8 bytes");
TALVIK_STATIC_ASSERT(sizeof(TQelInfoStruct) == 250, "TQelInfoStruct must be 250 bytes");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, QelId) == 0, "QelId offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, Ethernet) == 4, "Ethernet offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, StrEthernet) == 10, "StrEthernet offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, SWVersion) == 42, "SWVersion offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, PartNumber) == 46, "PartNumber offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, SerialNumber) == 78, "SerialNumber offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, ManYY) == 110, "ManYY offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, ManMM) == 114, "ManMM offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, ManDD) == 118, "ManDD offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, StrManDate) == 122, "StrManDate offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, IPAddr) == 154, "IPAddr offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, StrIPAddr) == 158, "StrIPAddr offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, Name) == 190, "Name offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, SampleRate) == 222, "SampleRate offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, DigDDR) == 230, "DigDDR offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, DigDefault) == 232, "DigDefault offset");
TALVIK_STATIC_ASSERT(offsetof(TQelInfoStruct, PortType) == 234, "PortType offset");

/* Status query: 2 running, 3 initialised, 6 clients attached, 7 units offline. */
int WINAPI TV_GetStatus(int nQuery);
/* Command: 5 start or stop, 10 initialise, 11 open the library's settings. */
int WINAPI TV_SetStatus(int nCommand);
/* Detach this client from the library. */
int WINAPI DLLEXIT(void);

#ifdef __cplusplus
}
#endif

/* Current system time as a FILETIME count (100 ns since 1601-01-01 UTC),
 * a whole number, exact in long double. */
TALVIK_INLINE long double GetCurrentTimeAsDouble(void)
{
    const long double shift = 4294967296.0L; /* 2^32 */
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (long double)(uint32_t)now.dwHighDateTime * shift
         + (long double)(uint32_t)now.dwLowDateTime;
}

/* The signed 64-bit value: HighPart (signed) * 2^32 + LowPart (unsigned).
 * Exact for every input. */
TALVIK_INLINE long double LargeIntToDouble(LARGE_INTEGER x)
{
    typedef struct _LARGE_INTEGER2 {
        uint32_t LowPart;
        int32_t  HighPart;
    } _LARGE_INTEGER2;
    const long double shift = 4294967296.0L; /* 2^32 */
    _LARGE_INTEGER2 halves;
    memcpy(&halves, &x, sizeof halves);
    return (long double)halves.HighPart * shift + (long double)halves.LowPart;
}

/* x truncated toward zero, as a two's-complement 64-bit integer.
 *  - -2^63 <= x < 2^63: exactly trunc(x), so LargeIntToDouble gives trunc(x)
 *    back.
 *  - 2^63 <= x < 2^95: trunc(x) reduced modulo 2^64 (HighPart is the low 32
 *    bits of trunc(x / 2^32)), as earlier releases of this header computed
 *    for every non-negative x; kept bit for bit so stored values read alike.
 *  - -2^95 < x < -2^63: the same reduction mirrored, trunc(x) modulo 2^64 in
 *    two's complement. Over the whole of -2^95 < x < 2^95 the result is thus
 *    trunc(x) modulo 2^64.
 *  - NaN, +-infinity and |x| >= 2^95: HighPart 0, LowPart 0. No wrapped
 *    value means anything there, and 0 is what the earlier computation came
 *    to on x86 for these inputs. */
TALVIK_INLINE LARGE_INTEGER DoubleToLargeInt(long double x)
{
    typedef struct _LARGE_INTEGER2 {
        uint32_t LowPart;
        int32_t  HighPart;
    } _LARGE_INTEGER2;
    const long double shift = 4294967296.0L;                   /* 2^32 */
    const long double limit = shift * shift * 2147483648.0L;   /* 2^95 */
    _LARGE_INTEGER2 halves;
    LARGE_INTEGER result;
    uint64_t bits = 0;
    uint32_t high_bits;

    /* Written so that NaN fails the test too. Inside it, every conversion
     * below is in range: no undefined float-to-integer conversion. */
    if (x > -limit && x < limit) {
        const int negative = x < 0;
        const long double magnitude = negative ? -x : x;
        /* magnitude / 2^32 < 2^63: fits. */
        const uint64_t quotient = (uint64_t)(magnitude / shift);
        /* The bits of magnitude below 2^32: exact, in [0, 2^32). */
        const long double rest = magnitude - (long double)quotient * shift;
        /* Shifting drops the quotient's upper half: the reduction mod 2^64. */
        bits = (quotient << 32) | (uint64_t)rest;
        if (negative)
            bits = ~bits + 1u;
    }
    high_bits = (uint32_t)(bits >> 32);
    halves.LowPart = (uint32_t)bits;
    /* Two's complement to signed without an out-of-range conversion. */
    halves.HighPart = high_bits <= 0x7FFFFFFFu
                    ? (int32_t)high_bits
                    : -(int32_t)(~high_bits) - 1;
    memcpy(&result, &halves, sizeof result);
    return result;
}

#undef TALVIK_INLINE
#undef TALVIK_STATIC_ASSERT
#undef TALVIK_STATIC_ASSERT_NAME
#undef TALVIK_STATIC_ASSERT_NAME2

#endif /* TALVIK_H */
