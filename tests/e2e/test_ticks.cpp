// Every tick asks the library for its clients and whether it runs, and
// asks about offline units only while it runs.
#include <algorithm>

#include "fixture.h"

namespace e2e {
namespace {

class Ticks : public ManagerTest {};

TEST_F(Ticks, JournalShowsClientsRunningAndOfflineOnlyWhileRunning) {
  struct Phase {
    SimState state;
    int ticks;
  };
  // Offline units while stopped must not be asked about either.
  const Phase phases[] = {
      {{1, 1, 3, 2}, 6},
      {{0, 1, 3, 2}, 6},
      {{1, 1, 1, 0}, 4},
      {{0, 1, 1, 0}, 4},
  };
  start_manager(phases[0].state);
  wait_for_icon();
  ASSERT_FALSE(HasFailure());
  for (const Phase& p : phases) {
    set_state(p.state);
    // One tick may have read the state before the change.
    ASSERT_TRUE(wait_ticks(p.ticks + 1));
  }

  const auto entries = journal();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries[0].text.substr(entries[0].text.find(' ') + 1), "get 3 -> 1");
  std::vector<Tick> ticks;
  ASSERT_EQ(read_ticks(entries, 1, &ticks), "");

  // Each phase must show up as a stretch of ticks with its answers.
  std::size_t i = 0;
  for (const Phase& p : phases) {
    while (i < ticks.size() && (ticks[i].running != p.state.running ||
                                ticks[i].clients != p.state.clients))
      ++i;
    int stretch = 0;
    for (; i < ticks.size() && ticks[i].running == p.state.running &&
           ticks[i].clients == p.state.clients;
         ++i, ++stretch) {
      EXPECT_EQ(ticks[i].asked_offline, p.state.running != 0) << "tick at " << ticks[i].ms;
      if (ticks[i].asked_offline) {
        EXPECT_EQ(ticks[i].offline, p.state.offline);
      }
    }
    EXPECT_GE(stretch, p.ticks) << "ticks with running=" << p.state.running
                                << " clients=" << p.state.clients;
  }

  std::vector<long long> gaps;
  for (std::size_t k = 1; k < ticks.size(); ++k) gaps.push_back(ticks[k].ms - ticks[k - 1].ms);
  std::sort(gaps.begin(), gaps.end());
  const long long median = gaps[gaps.size() / 2];
  std::printf("%zu ticks; time between ticks: min %lld ms, median %lld ms, max %lld ms\n",
              ticks.size(), gaps.front(), median, gaps.back());
  EXPECT_GE(median, kPeriodMs - 50);
  EXPECT_LE(median, kPeriodMs + 250);
}

}  // namespace
}  // namespace e2e
