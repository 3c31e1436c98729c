// Start-up: the library is asked whether it is initialised and, only if
// not, told to initialise; then the icon appears in the tray.
#include <algorithm>

#include "fixture.h"

namespace e2e {
namespace {

struct StartupCase {
  const char* name;
  int initialised;
  std::vector<std::string> first_calls;  // journal lines without their time
  std::vector<Picture> first_pictures;   // what the tray may show first
  int running_after;                     // in the state file once started
};

std::string without_time(const Entry& e) { return e.text.substr(e.text.find(' ') + 1); }

class Startup : public ManagerTest, public ::testing::WithParamInterface<StartupCase> {};

TEST_P(Startup, AsksInitialisedAndInitialisesOnlyWhenNeeded) {
  const StartupCase& c = GetParam();
  SimState s;
  s.initialised = c.initialised;
  s.running = 0;
  start_manager(s);
  const Picture first = wait_for_icon();
  ASSERT_FALSE(HasFailure());
  std::printf("first picture in the tray: %s\n", picture_name(first));
  // Icon 1 is added at start-up; the first tick may already have replaced it.
  EXPECT_NE(std::find(c.first_pictures.begin(), c.first_pictures.end(), first),
            c.first_pictures.end())
      << "first picture: " << picture_name(first);

  ASSERT_TRUE(wait_ticks(3));
  const auto entries = journal();
  ASSERT_GT(entries.size(), c.first_calls.size());
  for (std::size_t i = 0; i < c.first_calls.size(); ++i)
    EXPECT_EQ(without_time(entries[i]), c.first_calls[i]) << "journal line " << i;
  // After start-up nothing but ticks: no second initialisation, no command.
  std::vector<Tick> ticks;
  EXPECT_EQ(read_ticks(entries, c.first_calls.size(), &ticks), "");
  EXPECT_GE(ticks.size(), 3u);
  for (const Tick& t : ticks) {
    EXPECT_EQ(t.running, c.running_after) << "tick at " << t.ms << " ms";
  }
  EXPECT_EQ(state().initialised, 1);
  EXPECT_EQ(state().running, c.running_after);
  expect_manager_running("after start-up");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Startup,
    ::testing::Values(
        // Initialising also starts the units: the icon blinks green.
        StartupCase{"Uninitialised", 0, {"get 3 -> 0", "set 10"},
                    {Picture::kLight, Picture::kDark}, 1},
        StartupCase{"Initialised", 1, {"get 3 -> 1"}, {Picture::kLight, Picture::kRed}, 0}),
    [](const ::testing::TestParamInfo<StartupCase>& info) { return info.param.name; });

}  // namespace
}  // namespace e2e
