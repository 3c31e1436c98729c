/* The header first and alone, in C. With twin.c, a second C translation unit
 * using the same functions, the program links only if they do not clash. */
#include "TALVIK.h"

long double c_alone_to_double(LARGE_INTEGER li)
{
    return LargeIntToDouble(li);
}

LARGE_INTEGER c_alone_to_large(long double x)
{
    return DoubleToLargeInt(x);
}

long double c_alone_now(void)
{
    return GetCurrentTimeAsDouble();
}

size_t c_alone_record_size(void)
{
    return sizeof(TQelInfoStruct);
}
