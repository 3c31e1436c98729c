// A Tally whose failures become gtest failures, with the value in full.
#pragma once

#include "talvik_checks.h"

#include <gtest/gtest.h>

#include <cstdio>

inline talvik_checks::Tally GtestTally()
{
    talvik_checks::Tally t;
    t.report = [](const char *what, long double x, uint64_t got, uint64_t want) {
        char text[160];
        std::snprintf(text, sizeof text, "x = %.21Lg (%La): got %016llx, want %016llx", x, x,
                      static_cast<unsigned long long>(got), static_cast<unsigned long long>(want));
        ADD_FAILURE() << what << ": " << text;
    };
    return t;
}
