/* The status poll: one table of tick decisions, and the sequences over
 * several ticks. */
#include "calls.h"
#include "program.h"

namespace {

enum RunChange { kNoChange, kCheck, kUncheck };

const char *const kExitEnabled = "ModifyMenuA(hmenu1, 1, MF_BYPOSITION, 20, \"&Exit\")";
const char *const kExitGrayed = "ModifyMenuA(hmenu1, 1, MF_BYPOSITION|MF_GRAYED, 20, \"&Exit\")";
const char *const kRunChecked = "ModifyMenuA(hmenu1, 0, MF_BYPOSITION|MF_CHECKED, 10, \"&Run\")";
const char *const kRunUnchecked = "ModifyMenuA(hmenu1, 0, MF_BYPOSITION, 10, \"&Run\")";

/* The calls one tick makes, from what it decided. */
Calls TickCalls(int q6, int q2, int q7, int nIcon, bool bBeep, RunChange run)
{
    Calls c = {"TV_GetStatus(6) -> " + std::to_string(q6), q6 > 1 ? kExitGrayed : kExitEnabled,
               "TV_GetStatus(2) -> " + std::to_string(q2)};
    if (run == kCheck)
        c.push_back(kRunChecked);
    if (run == kUncheck)
        c.push_back(kRunUnchecked);
    if (q2 != 0)
        c.push_back("TV_GetStatus(7) -> " + std::to_string(q7));
    if (bBeep)
        c.push_back("MessageBeep(0x10)");
    return c + ShowIcon("NIM_MODIFY", nIcon);
}

/* One tick with the library answering these values. */
void Tick(int q6, int q2, int q7)
{
    plat::SetLibraryAnswer(6, q6);
    plat::SetLibraryAnswer(2, q2);
    plat::SetLibraryAnswer(7, q7);
    plat::TickNow();
}

/* Ticks that bring the kept state to a running state and phase. */
void Prepare(bool bRunningBefore, int nPhaseBefore)
{
    if (bRunningBefore) {
        Tick(0, 1, 0);                 /* phase 1 */
        if (nPhaseBefore == 0)
            Tick(0, 1, 0);             /* phase 0 */
    } else if (nPhaseBefore == 1) {
        Tick(0, 1, 0);
        Tick(0, 0, 0);
    }
}

struct TickCase {
    int q2, q7;
    bool bRunningBefore;
    int nPhaseBefore;
    int nIcon;
    bool bBeep;
    RunChange run;
};

const TickCase kTicks[] = {
    /* stopped: red, no query 7, phase kept */
    {0, 0, false, 0, 3, false, kNoChange},
    {0, 0, false, 1, 3, false, kNoChange},
    {0, 5, true, 0, 3, false, kUncheck},
    {0, 5, true, 1, 3, false, kUncheck},
    /* running: phase toggles before the choice */
    {1, 0, false, 0, 2, false, kCheck},
    {1, 0, false, 1, 1, false, kCheck},
    {1, 0, true, 0, 2, false, kNoChange},
    {1, 0, true, 1, 1, false, kNoChange},
    /* running with units offline: banded, beeping with icon 4 */
    {1, 3, false, 0, 5, false, kCheck},
    {1, 3, false, 1, 4, true, kCheck},
    {1, 3, true, 0, 5, false, kNoChange},
    {1, -1, true, 1, 4, true, kNoChange},
    {-7, 1, true, 1, 4, true, kNoChange},
};

void PrintTo(const TickCase &c, std::ostream *os)
{
    *os << "query 2 " << c.q2 << ", query 7 " << c.q7 << ", running before " << c.bRunningBefore
        << ", phase before " << c.nPhaseBefore;
}

/* Each case runs in a process of its own, since the kept state is the
 * program's. */
class TickDecision : public ::testing::TestWithParam<TickCase> {};

TEST_P(TickDecision, CallsIconBeepAndRunItem)
{
    const TickCase &c = GetParam();
    plat::SetLibraryAnswer(3, 1);
    InRunningProgram([&] {
        Prepare(c.bRunningBefore, c.nPhaseBefore);
        plat::ClearJournal();
        int nBeeps = plat::Beeps();
        Tick(0, c.q2, c.q7);
        EXPECT_TRUE(SameCalls(TickCalls(0, c.q2, c.q7, c.nIcon, c.bBeep, c.run), ProgramCalls()));
        EXPECT_EQ(c.bBeep ? 1 : 0, plat::Beeps() - nBeeps);
        EXPECT_EQ("icon" + std::to_string(c.nIcon), plat::Tray().begin()->second.strIcon);
        EXPECT_EQ(c.q2 != 0 ? UINT(MF_CHECKED) : 0u, plat::MenuItems()[0].uFlags);
    });
}

std::string CaseName(const ::testing::TestParamInfo<TickCase> &info)
{
    const TickCase &c = info.param;
    std::string q7 = c.q7 < 0 ? "m" + std::to_string(-c.q7) : std::to_string(c.q7);
    return std::string(c.q2 ? "Running" : "Stopped") + "_q2_" + (c.q2 < 0 ? "m" + std::to_string(-c.q2) : std::to_string(c.q2)) +
           "_q7_" + q7 + (c.bRunningBefore ? "_wasRunning" : "_wasStopped") + "_phase" + std::to_string(c.nPhaseBefore);
}

INSTANTIATE_TEST_SUITE_P(Table, TickDecision, ::testing::ValuesIn(kTicks), CaseName);

/* A run of ticks, each with its library answers and the icon it shows. */
struct Step {
    int q6, q2, q7;
    int nIcon;
    bool bBeep;
    RunChange run;
};

void RunSteps(const std::vector<Step> &steps)
{
    plat::SetLibraryAnswer(3, 1);
    InRunningProgram([&] {
        Calls expected;
        for (const Step &s : steps) {
            Tick(s.q6, s.q2, s.q7);
            expected = expected + TickCalls(s.q6, s.q2, s.q7, s.nIcon, s.bBeep, s.run);
        }
        EXPECT_TRUE(SameCalls(expected, ProgramCalls()));
    });
}

TEST(Tick, RunningFromTheStartShowsTwoThenOne)
{
    RunSteps({{0, 1, 0, 2, false, kCheck}, {0, 1, 0, 1, false, kNoChange}, {0, 1, 0, 2, false, kNoChange}});
}

TEST(Tick, AlarmFromTheFirstRunningTickBeepsWithFourOnly)
{
    RunSteps({{0, 1, 2, 5, false, kCheck},
              {0, 1, 2, 4, true, kNoChange},
              {0, 1, 2, 5, false, kNoChange},
              {0, 1, 2, 4, true, kNoChange}});
}

TEST(Tick, StoppedFromTheStartShowsRedWithoutMenuChange)
{
    RunSteps({{0, 0, 9, 3, false, kNoChange}, {0, 0, 9, 3, false, kNoChange}});
}

/* The phase carries on across a stop: it is not reset. */
TEST(Tick, RunningStoppedRunningAgainKeepsThePhase)
{
    RunSteps({{0, 1, 0, 2, false, kCheck},
              {0, 0, 0, 3, false, kUncheck},
              {0, 0, 0, 3, false, kNoChange},
              {0, 1, 0, 1, false, kCheck},
              {0, 1, 1, 5, false, kNoChange},
              {0, 0, 1, 3, false, kUncheck},
              {0, 1, 1, 4, true, kCheck}});
}

/* Exit is grayed exactly while more than one client uses the library. */
TEST(Tick, ExitItemFollowsQuerySix)
{
    const struct { int q6; UINT uFlags; } cases[] = {
        {0, 0}, {1, 0}, {-1, 0}, {INT32_MIN, 0}, {2, MF_GRAYED}, {3, MF_GRAYED}, {INT32_MAX, MF_GRAYED}, {1, 0},
    };
    plat::SetLibraryAnswer(3, 1);
    InRunningProgram([&] {
        for (const auto &c : cases) {
            Tick(c.q6, 0, 0);
            EXPECT_EQ(c.q6, ic);
            EXPECT_EQ(c.uFlags, plat::MenuItems()[1].uFlags) << "query 6 " << c.q6;
            EXPECT_EQ("&Exit", plat::MenuItems()[1].strText);
            EXPECT_EQ(20u, plat::MenuItems()[1].uId);
        }
    });
}

}  // namespace
