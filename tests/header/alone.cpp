// The header first and alone: it must compile without help. This is also a
// second translation unit using the inline functions, so the test program
// links only if their definitions do not clash.
#include "TALVIK.h"

LARGE_INTEGER AloneToLarge(long double x)
{
    return DoubleToLargeInt(x);
}

long double AloneToDouble(LARGE_INTEGER li)
{
    return LargeIntToDouble(li);
}

long double AloneNow()
{
    return GetCurrentTimeAsDouble();
}

size_t AloneRecordSize()
{
    return sizeof(TQelInfoStruct);
}
