// The icon comes back after the shell has lost it: with the next tick, whose
// modify fails, or at once on the shell's "TaskbarCreated" broadcast.
//
// Killing Wine's explorer is no way to make the shell lose it: the desktop
// window goes with explorer and takes every top-level window of the desktop
// along, the manager's hidden window too, so nothing could ever own an icon
// again. The helper removes the icon behind the manager's back instead, as a
// restarted shell would have forgotten it.
#include <thread>

#include "fixture.h"

namespace e2e {
namespace {

// The helper kept running and fed over stdin, so it acts within
// milliseconds rather than a Wine start-up.
class PokeSession {
 public:
  explicit PokeSession(Process p) : p_(std::move(p)) {}

  // Runs one command and returns its output lines; empty on a time-out.
  std::vector<std::string> run(const std::string& command, int timeout_ms = 20000) {
    std::vector<std::string> lines;
    if (!p_.write_line(command)) return lines;
    const auto start = Clock::now();
    while (ms_since(start) < timeout_ms) {
      const auto line = p_.read_line(static_cast<int>(timeout_ms - ms_since(start)));
      if (!line) break;
      if (line->rfind("done\t", 0) == 0) return lines;
      lines.push_back(*line);
    }
    return {};
  }

  // The 0 or 1 the helper answered for `what`, -1 without an answer.
  int answer(const std::string& command, const std::string& what) {
    for (const std::string& line : run(command))
      if (line == "answer\t" + what + "\t1") return 1;
      else if (line == "answer\t" + what + "\t0") return 0;
    return -1;
  }

 private:
  Process p_;
};

// Cells of the tray that show one of the manager's pictures.
template <typename PictureOf>
std::vector<int> manager_cells(PictureOf picture_of) {
  std::vector<int> cells;
  for (int cell = 0; cell < 8; ++cell)
    if (picture_of(cell) != Picture::kNone) cells.push_back(cell);
  return cells;
}

int ticks_so_far(const std::vector<Entry>& entries) {
  int n = 0;
  for (const Entry& e : entries) n += e.kind == Entry::kGet && e.code == 2;
  return n;
}

class TrayRestore : public ManagerTest {
 protected:
  void start_stopped() {
    start_manager(SimState{0, 1, 1, 0});
    wait_for_icon();
    ASSERT_TRUE(wait_picture([](Picture p) { return p == Picture::kRed; }, kReactTimeoutMs));
  }
  // A helper with an icon of its own beside the manager's, so the tray
  // window stays up (see add-keeper in the helper) and only the manager's
  // icon comes and goes.
  PokeSession session() {
    PokeSession poke(start_wine({poke_exe(), "-"}, "poke-session.err", true));
    EXPECT_EQ(poke.answer("add-keeper", "add-keeper"), 1);
    EXPECT_TRUE(wait_until([this] { return keeper_shown(); }, kReactTimeoutMs))
        << "the helper's icon is not in the tray";
    return poke;
  }
  bool keeper_shown() {
    const auto t = tray();
    if (!t) return false;
    for (int cell = 0; cell * 20 + 20 <= t->width; ++cell) {
      const Image img = x_.grab(t->x + 20 * cell, t->y, 20, 20);
      int blue = 0;
      for (std::uint32_t px : img.rgb) blue += px == 0x0000FF;
      if (blue >= 100) return true;
    }
    return false;
  }
  std::vector<int> cells() { return manager_cells([this](int c) { return picture(c); }); }
  // The manager's icon is back: red, and once only.
  bool red_once() {
    const auto c = cells();
    return c.size() == 1 && picture(c[0]) == Picture::kRed;
  }
};

TEST_F(TrayRestore, NextTickPutsBackALostIcon) {
  start_stopped();
  ASSERT_FALSE(HasFailure());
  PokeSession poke = session();
  ASSERT_EQ(poke.answer("delete-icon", "NIM_DELETE"), 1);
  const auto lost = Clock::now();
  ASSERT_TRUE(wait_until([&] { return poke.answer("icon-present", "icon-present") == 1; },
                         kReactTimeoutMs))
      << "the icon did not come back";
  const long long back = ms_since(lost);
  std::printf("icon back %lld ms after it was lost\n", back);
  EXPECT_LT(back, kDisplayBoundMs);
  EXPECT_TRUE(wait_until([this] { return red_once(); }, kDisplayBoundMs))
      << "the tray should show it again, red, once";
  expect_manager_running("after the icon came back");
}

TEST_F(TrayRestore, TaskbarCreatedPutsBackALostIconAtOnce) {
  start_stopped();
  ASSERT_FALSE(HasFailure());
  PokeSession poke = session();
  // The tick would put the icon back too; only a return before the next
  // tick's first journal line proves the broadcast did it. A tick journals
  // before it touches the icon, so a tick that began before the loss shows
  // as a line from after the previous check.
  bool proved = false;
  for (int attempt = 1; attempt <= 5 && !proved; ++attempt) {
    ASSERT_TRUE(wait_ticks(1));
    // Well clear of the tick's own icon update.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int ticks_before = ticks_so_far(journal());
    ASSERT_EQ(poke.answer("delete-icon", "NIM_DELETE"), 1);
    const auto lost = Clock::now();
    ASSERT_EQ(poke.run("taskbar-created").size(), 1u);
    const bool back = wait_until(
        [&] { return poke.answer("icon-present", "icon-present") == 1; }, kReactTimeoutMs, 5);
    const long long back_ms = ms_since(lost);
    ASSERT_TRUE(back) << "the icon did not come back";
    const int ticks_after = ticks_so_far(journal());
    proved = ticks_after == ticks_before;
    std::printf("attempt %d: icon back %lld ms after it was lost, %d tick(s) in between\n",
                attempt, back_ms, ticks_after - ticks_before);
  }
  EXPECT_TRUE(proved) << "each time a tick came before the icon: no sign of the broadcast's work";
  EXPECT_TRUE(wait_until([this] { return red_once(); }, kDisplayBoundMs))
      << "the tray should show it again, red, once";

  // A broadcast while the icon is there adds no second one.
  ASSERT_EQ(poke.run("taskbar-created").size(), 1u);
  ASSERT_TRUE(wait_ticks(2));
  EXPECT_EQ(poke.answer("icon-present", "icon-present"), 1);
  EXPECT_TRUE(red_once()) << cells().size() << " cells show the manager's icon";
  expect_manager_running("after the broadcasts");
}

}  // namespace
}  // namespace e2e
