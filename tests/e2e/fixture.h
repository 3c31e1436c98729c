// The test fixture: one Qel Manager under 64-bit Wine on a private X server,
// with the simulated unit library's state file and journal of its own.
#ifndef QELMNG_TESTS_E2E_FIXTURE_H
#define QELMNG_TESTS_E2E_FIXTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {

// Generous: Wine's first start on a loaded machine takes seconds.
constexpr int kStartTimeoutMs = 60000;
// Waits for something the program does within a tick or two.
constexpr int kReactTimeoutMs = 10000;
constexpr int kPeriodMs = 500;
// One period plus scheduling slack on a busy machine.
constexpr int kDisplayBoundMs = 2000;

struct Control {
  int left = 0, top = 0, right = 0, bottom = 0;
  std::string cls;
  std::string text;  // with any '&' mnemonic marks removed
  int cx() const { return (left + right) / 2; }
  int cy() const { return (top + bottom) / 2; }
};

struct Dialog {
  int left = 0, top = 0, right = 0, bottom = 0;
  std::vector<Control> controls;
  const Control* find(const std::string& cls, const std::string& text) const;
};

struct PokeResult {
  std::optional<int> exit_code;
  std::vector<std::string> lines;
  std::string output;
  // The number after "answer<TAB>what<TAB>", if there is such a line.
  std::optional<long long> answer(const std::string& what) const;
};

// What can be read from a screenshot of the open popup menu.
struct MenuLook {
  struct Item {
    int top = 0, bottom = 0;  // rows inside the menu window
    int check_ink = 0;        // ink left of the labels: the check mark
    int dark_ink = 0;         // black text: an enabled item
    int grey_ink = 0;         // light grey text: a grayed item
  };
  std::vector<Item> items;
};
MenuLook read_menu(const Image& menu);

class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // ---- The program and other Wine processes ----
  std::vector<std::pair<std::string, std::string>> wine_env() const;
  Process start_wine(const std::vector<std::string>& args, const std::string& output_name,
                     bool pipes = false);
  // Writes the state, copies the program and the library into a folder of
  // the test's own and starts it; does not wait for anything.
  void start_manager(const SimState& initial);
  // Waits until the tray shows the icon; the first picture seen is returned.
  Picture wait_for_icon();
  void expect_manager_running(const std::string& when);
  void expect_manager_exits_with_0(const std::string& when);

  // ---- State and journal ----
  void set_state(const SimState& state);
  SimState state() const;
  std::vector<Entry> journal();
  // Waits until `pred` holds for the journal.
  bool wait_journal(const std::function<bool(const std::vector<Entry>&)>& pred, int timeout_ms);
  // Waits for `count` more complete ticks after the journal's present end.
  bool wait_ticks(int count, int timeout_ms = kReactTimeoutMs);

  // ---- The tray ----
  std::optional<XWindow> tray();
  // kNone while the tray window is missing or not shown.
  Picture picture(int cell = 0, Image* image = nullptr);
  bool wait_picture(const std::function<bool(Picture)>& pred, int timeout_ms,
                    Picture* seen = nullptr);
  bool icon_shown();

  // ---- The menu ----
  // Presses `button` on the icon, waits for the menu and returns it.
  std::optional<XWindow> open_menu(int button);
  void click_menu_item(const XWindow& menu, const MenuLook& look, std::size_t index);
  void close_menu();

  // ---- The helper inside the prefix ----
  PokeResult poke(const std::vector<std::string>& args, int timeout_ms = 60000);
  std::optional<Dialog> wait_dialog(const std::string& caption, int timeout_ms = 30000);
  bool dialog_gone(const std::string& caption, int timeout_ms = kReactTimeoutMs);
  // Clicks a control and, should that click be lost, again until the
  // dialog is gone.
  void click_until_gone(const std::string& caption, const Control& control);

  std::string file_in_run(const std::string& name) const { return run_dir_ + "/" + name; }

  std::string run_dir_;
  std::string app_dir_;
  std::string state_path_;
  std::string journal_path_;
  XServer x_;
  Process manager_;

 private:
  void stop_prefix();
  void release_lock();

  int lock_fd_ = -1;
};

// Paths of the build, as set by the build system (or the environment).
std::string win64_dir();
std::string work_dir();
std::string prefix_dir();
std::string poke_exe();

}  // namespace e2e

#endif  // QELMNG_TESTS_E2E_FIXTURE_H
