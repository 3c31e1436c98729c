// The tray icon follows the state file within a period: green blinking while
// running, the banded pictures blinking (and beeping) while units are
// offline, red while stopped.
#include <algorithm>
#include <set>
#include <thread>

#include "fixture.h"

namespace e2e {
namespace {

struct Step {
  const char* name;
  SimState state;
  std::set<Picture> shows;  // one picture steady, two blinking
  std::optional<Picture> first;
  bool beeps;
};

struct Sample {
  long long ms;
  Picture picture;
};

// Consecutive samples of one picture, with their span.
struct Span {
  Picture picture;
  long long from_ms, to_ms;
};

std::vector<Span> spans_of(const std::vector<Sample>& samples) {
  std::vector<Span> runs;
  for (const Sample& s : samples) {
    if (s.picture == Picture::kNone || s.picture == Picture::kOther) continue;
    if (!runs.empty() && runs.back().picture == s.picture)
      runs.back().to_ms = s.ms;
    else
      runs.push_back({s.picture, s.ms, s.ms});
  }
  return runs;
}

class Display : public ManagerTest {};

TEST_F(Display, FollowsStateFileWithinAPeriod) {
  const Step steps[] = {
      // The first running tick after start-up shows the dark phase.
      {"run", {1, 1, 1, 0}, {Picture::kLight, Picture::kDark}, Picture::kDark, false},
      {"units offline", {1, 1, 1, 3}, {Picture::kBandLight, Picture::kBandDark}, std::nullopt,
       true},
      // Offline units do not matter while stopped: the question is not asked.
      {"stop with units offline", {0, 1, 1, 3}, {Picture::kRed}, std::nullopt, false},
      {"run again", {1, 1, 1, 0}, {Picture::kLight, Picture::kDark}, std::nullopt, false},
      {"offline again", {1, 1, 1, 1}, {Picture::kBandLight, Picture::kBandDark}, std::nullopt,
       true},
      {"stop", {0, 1, 1, 0}, {Picture::kRed}, std::nullopt, false},
  };
  start_manager(SimState{0, 1, 1, 0});
  wait_for_icon();
  ASSERT_TRUE(wait_picture([](Picture p) { return p == Picture::kRed; }, kReactTimeoutMs))
      << "stopped, the icon should turn red";

  std::vector<long long> delays;
  int offset_ms = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    // Each watch below ends at the same point of the blink period; spread
    // the changes over the period so the delays printed are a fair sample.
    offset_ms = (offset_ms + 170) % kPeriodMs;
    std::this_thread::sleep_for(std::chrono::milliseconds(offset_ms));
    x_.take_bells();
    set_state(step.state);
    const auto changed = Clock::now();
    Picture seen = Picture::kNone;
    ASSERT_TRUE(wait_picture([&](Picture p) { return step.shows.count(p) != 0; },
                             kReactTimeoutMs, &seen))
        << "last picture: " << picture_name(seen);
    const long long delay = ms_since(changed);
    delays.push_back(delay);
    std::printf("display delay (%s): %lld ms\n", step.name, delay);
    EXPECT_LT(delay, kDisplayBoundMs);
    if (step.first) {
      EXPECT_EQ(seen, *step.first) << "first picture " << picture_name(seen);
    }

    // Watch for five periods.
    std::vector<Sample> samples;
    const auto watch = Clock::now();
    int others = 0;
    while (ms_since(watch) < 5 * kPeriodMs + 100) {
      Image img;
      const Picture p = picture(0, &img);
      samples.push_back({ms_since(watch), p});
      others += p == Picture::kOther || p == Picture::kNone;
      if (p == Picture::kBandLight || p == Picture::kBandDark) {
        EXPECT_EQ(check_band_direction(img), "") << picture_name(p);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int bells = x_.take_bells();
    // A capture may catch the tray half redrawn now and then.
    EXPECT_LE(others * 20, static_cast<int>(samples.size())) << others << " unreadable captures";
    const auto runs = spans_of(samples);
    std::string sequence;
    for (const Span& r : runs)
      sequence += std::string(picture_name(r.picture)) + " " + std::to_string(r.to_ms - r.from_ms) +
                  " ms; ";
    std::printf("  seen: %s bells: %d\n", sequence.c_str(), bells);
    for (const Span& r : runs)
      EXPECT_EQ(step.shows.count(r.picture), 1u) << "unexpected " << picture_name(r.picture);
    if (step.shows.size() == 2) {
      // Blinking: one change a period, so 4 or more changes in 5 periods and
      // every whole phase about one period long.
      EXPECT_GE(runs.size(), 4u) << sequence;
      for (std::size_t i = 1; i + 1 < runs.size(); ++i) {
        const long long span = runs[i + 1].from_ms - runs[i].from_ms;
        EXPECT_GE(span, kPeriodMs / 2) << "phase " << i << ": " << sequence;
        EXPECT_LE(span, kPeriodMs * 3) << "phase " << i << ": " << sequence;
      }
    } else {
      EXPECT_EQ(runs.size(), 1u) << sequence;
    }
    // One beep a second, on the light banded phase.
    if (step.beeps) {
      EXPECT_GE(bells, 2);
      EXPECT_LE(bells, 5);
    } else {
      EXPECT_EQ(bells, 0);
    }
  }
  std::sort(delays.begin(), delays.end());
  std::printf("display delay: min %lld ms, median %lld ms, max %lld ms\n", delays.front(),
              delays[delays.size() / 2], delays.back());
  expect_manager_running("after the state changes");
}

}  // namespace
}  // namespace e2e
