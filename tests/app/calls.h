/* Compares the journal of the recording layer with a table of expected
 * calls, and the shared pieces of those tables. */
#ifndef QELMNG_TESTS_CALLS_H
#define QELMNG_TESTS_CALLS_H

#include "platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using Calls = std::vector<std::string>;

/* Side by side; on a mismatch names the first differing entry and prints
 * both sequences in full. An empty table asserts that nothing happened. */
inline ::testing::AssertionResult SameCalls(const Calls &expected, const Calls &actual)
{
    size_t n = std::max(expected.size(), actual.size());
    for (size_t i = 0; i < n; ++i) {
        std::string e = i < expected.size() ? expected[i] : "(nothing)";
        std::string a = i < actual.size() ? actual[i] : "(nothing)";
        if (e == a)
            continue;
        auto r = ::testing::AssertionFailure();
        r << "call " << i << ": expected " << e << ", but got " << a << " instead\n";
        for (size_t j = 0; j < n; ++j)
            r << (j == i ? "=> " : "   ") << (j < expected.size() ? expected[j] : "") << "\n"
              << (j == i ? "=> " : "   ") << "  got: " << (j < actual.size() ? actual[j] : "") << "\n";
        return r;
    }
    return ::testing::AssertionSuccess();
}

/* The program's own calls, without the loop's dispatching around them. */
inline Calls ProgramCalls()
{
    return plat::JournalWithout({"GetMessageA", "TranslateMessage", "DispatchMessageA"});
}

inline std::string TrayCall(const char *op, int nIcon)
{
    std::string cb = std::to_string(NOTIFYICONDATAA_V1_SIZE);
    return std::string("Shell_NotifyIconA(") + op + ", cb=" + cb +
           ", hwnd=hwnd1, id=99, flags=0x7, msg=0x463, icon=icon" + std::to_string(nIcon) +
           ", tip=\"Talvik Manager\")";
}

/* What showing icon N costs in calls: load it and hand it to the shell. */
inline Calls ShowIcon(const char *op, int nIcon)
{
    Calls c = {"LoadIconA(hInst, " + std::to_string(nIcon) + ")", "lstrcpynA(\"Talvik Manager\", 64)",
               TrayCall(op, nIcon)};
    if (std::string(op) == "NIM_ADD")
        c.push_back("DestroyIcon(icon" + std::to_string(nIcon) + ")");
    return c;
}

inline Calls operator+(Calls a, const Calls &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/* Starts the program with its defaults and runs body inside its message
 * loop, after start-up, with the journal cleared. */
inline void InRunningProgram(const std::function<void()> &body, const char *pszCommandLine = "qelmng.exe")
{
    plat::WhenIdle([&] {
        plat::ClearJournal();
        body();
    });
    plat::RunProgram(pszCommandLine);
}

#endif
