#include "fixture.h"

#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

std::string from_env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : fallback;
}

std::string wine64() { return from_env("QELMNG_E2E_WINE64", QELMNG_E2E_WINE64_DEFAULT); }
std::string wineserver() {
  return from_env("QELMNG_E2E_WINESERVER", QELMNG_E2E_WINESERVER_DEFAULT);
}
std::string xvfb() { return from_env("QELMNG_E2E_XVFB", QELMNG_E2E_XVFB_DEFAULT); }

std::string manager_exe() { return win64_dir() + "/qelmng.exe"; }
std::string library_dll() { return win64_dir() + "/TALVIK.dll"; }

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::vector<std::pair<std::string, std::string>> base_wine_env() {
  return {{"WINEPREFIX", prefix_dir()},
          {"WINELOADER", wine64()},
          {"WINESERVER", wineserver()},
          {"WINEDEBUG", "-all"},
          // No Mono or Gecko installer dialogs while the prefix is made.
          {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
}

// Made once and shared by every test (and every run): wineboot takes
// seconds. The caller holds the prefix's lock.
void ensure_prefix() {
  const std::string marker = prefix_dir() + "/.qelmng-e2e-ready";
  if (!file_exists(marker)) {
    remove_tree(prefix_dir());
    make_dirs(prefix_dir());
    Spawn boot;
    boot.argv = {wine64(), "wineboot", "-i"};
    boot.env = base_wine_env();
    boot.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
    boot.output_path = work_dir() + "/wineboot.log";
    Process p(boot);
    const auto code = p.wait(240000);
    EXPECT_TRUE(code.has_value()) << "wineboot -i did not finish; see " << boot.output_path;
    // The registry is written when the server ends.
    Spawn wait;
    wait.argv = {wineserver(), "-w"};
    wait.env = base_wine_env();
    wait.output_path = boot.output_path;
    Process w(wait);
    EXPECT_TRUE(w.wait(120000).has_value()) << "wineserver -w did not return";
    if (code && file_exists(prefix_dir() + "/system.reg")) {
      FILE* f = std::fopen(marker.c_str(), "w");
      if (f != nullptr) std::fclose(f);
    } else {
      ADD_FAILURE() << "the Wine prefix " << prefix_dir() << " was not made; see "
                    << boot.output_path;
    }
  }
}

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream ss(line);
  std::string f;
  while (std::getline(ss, f, '\t')) fields.push_back(f);
  return fields;
}

std::string strip_mnemonic(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '&') out += c;
  return out;
}

}  // namespace

std::string win64_dir() { return from_env("QELMNG_E2E_WIN64_DIR", QELMNG_E2E_WIN64_DIR_DEFAULT); }
std::string work_dir() { return from_env("QELMNG_E2E_WORK_DIR", QELMNG_E2E_WORK_DIR_DEFAULT); }
std::string prefix_dir() { return work_dir() + "/wineprefix"; }
std::string poke_exe() { return win64_dir() + "/tests/qelmng_poke.exe"; }

const Control* Dialog::find(const std::string& cls, const std::string& text) const {
  for (const Control& c : controls)
    if (c.cls == cls && c.text == text) return &c;
  return nullptr;
}

std::optional<long long> PokeResult::answer(const std::string& what) const {
  for (const std::string& line : lines) {
    const auto f = split_tabs(line);
    if (f.size() == 3 && f[0] == "answer" && f[1] == what) return std::atoll(f[2].c_str());
  }
  return std::nullopt;
}

MenuLook read_menu(const Image& menu) {
  MenuLook look;
  constexpr int kMargin = 3;  // frame of the menu window
  if (menu.width <= 2 * kMargin || menu.height <= 2 * kMargin) return look;
  std::map<std::uint32_t, int> counts;
  for (int y = kMargin; y < menu.height - kMargin; ++y)
    for (int x = kMargin; x < menu.width - kMargin; ++x) ++counts[menu.at(x, y)];
  std::uint32_t bg = 0;
  int best = -1;
  for (const auto& kv : counts)
    if (kv.second > best) bg = kv.first, best = kv.second;
  auto ink = [bg](std::uint32_t px) {
    int d = 0;
    for (int shift : {0, 8, 16})
      d += std::abs(static_cast<int>(px >> shift & 0xFF) - static_cast<int>(bg >> shift & 0xFF));
    return d > 90;
  };
  // Rows with ink, grouped into bands; a mnemonic's underline sits a row
  // or two below its letters and belongs to the same item.
  std::vector<std::pair<int, int>> bands;
  int gap = 100;
  for (int y = kMargin; y < menu.height - kMargin; ++y) {
    bool any = false;
    for (int x = kMargin; x < menu.width - kMargin && !any; ++x) any = ink(menu.at(x, y));
    if (any) {
      if (gap <= 2 && !bands.empty())
        bands.back().second = y;
      else
        bands.push_back({y, y});
      gap = 0;
    } else {
      ++gap;
    }
  }
  std::vector<int> min_x;
  for (const auto& b : bands) {
    if (b.second - b.first + 1 < 4) continue;
    MenuLook::Item item;
    item.top = b.first;
    item.bottom = b.second;
    int mx = menu.width;
    for (int y = b.first; y <= b.second; ++y)
      for (int x = kMargin; x < menu.width - kMargin; ++x) {
        const std::uint32_t px = menu.at(x, y);
        if (!ink(px)) continue;
        mx = std::min(mx, x);
        const int r = px >> 16 & 0xFF, g = px >> 8 & 0xFF, bl = px & 0xFF;
        if (std::max({r, g, bl}) < 0x60) ++item.dark_ink;
        if (std::min({r, g, bl}) >= 0x60 && std::max({r, g, bl}) <= 0xD0) ++item.grey_ink;
      }
    min_x.push_back(mx);
    look.items.push_back(item);
  }
  // Labels start in one column; the check mark stands left of it.
  const int label_x = min_x.empty() ? 0 : *std::max_element(min_x.begin(), min_x.end());
  for (auto& item : look.items)
    for (int y = item.top; y <= item.bottom; ++y)
      for (int x = kMargin; x < label_x - 4; ++x) item.check_ink += ink(menu.at(x, y));
  return look;
}

// ---- Set-up and tear-down ---------------------------------------------------

void ManagerTest::SetUp() {
  // Missing products are a failure, never a skip: a skipped end-to-end
  // suite looks like a passing one.
  for (const std::string& path : {manager_exe(), library_dll(), poke_exe()})
    ASSERT_TRUE(file_exists(path)) << path << " is missing: build the Windows side first "
                                   << "(cmake --preset win64 && cmake --build --preset win64)";
  for (const std::string& tool : {wine64(), wineserver(), xvfb()})
    ASSERT_TRUE(file_exists(tool)) << tool << " is missing (scripts/setup.sh installs it)";

  // One test at a time on the prefix, across drivers too: two runs of the
  // suite in one build tree (two people, or ctest started twice) would kill
  // each other's Wine processes and share run folders.
  make_dirs(work_dir());
  const std::string lock_path = work_dir() + "/wineprefix.lock";
  lock_fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(lock_fd_, 0) << "cannot open " << lock_path;
  if (::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
    std::printf("waiting for another run of these tests to leave the Wine prefix\n");
    ::flock(lock_fd_, LOCK_EX);
  }

  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  run_dir_ = work_dir() + "/runs/" + name;
  remove_tree(run_dir_);
  make_dirs(run_dir_);
  app_dir_ = run_dir_ + "/app";
  state_path_ = run_dir_ + "/state.ini";
  journal_path_ = run_dir_ + "/journal.log";

  ensure_prefix();
  if (HasFatalFailure() || HasFailure()) return;
  stop_prefix();  // left over from a run that was killed
  try {
    x_.start(xvfb(), file_in_run("xvfb.log"), 30000);
  } catch (const std::exception& e) {
    FAIL() << e.what();
  }
  std::printf("run folder: %s (display %s)\n", run_dir_.c_str(), x_.display().c_str());
}

void ManagerTest::TearDown() {
  // Set-up stopped before anything was started: nothing to show or stop.
  if (run_dir_.empty()) {
    release_lock();
    return;
  }
  const bool failed = HasFailure();
  if (failed) {
    const std::string shot = file_in_run("failure.ppm");
    if (x_.save_screenshot(shot)) std::printf("screenshot of the failure: %s\n", shot.c_str());
    const auto windows = x_.top_windows();
    std::printf("X windows at the failure (%zu top-level on %s, X server %s):\n", windows.size(),
                x_.display().c_str(), x_.running() ? "running" : "gone");
    for (const XWindow& w : windows)
      if (w.viewable || !w.name.empty())
        std::printf("  0x%lx '%s' (%s) %dx%d+%d+%d%s%s\n", w.id, w.name.c_str(),
                    w.res_name.c_str(), w.width, w.height, w.x, w.y,
                    w.viewable ? " viewable" : "", w.override_redirect ? " override" : "");
    std::printf("state file %s:\n%s", state_path_.c_str(), read_file(state_path_).c_str());
    std::printf("journal %s, last lines:\n", journal_path_.c_str());
    for (const std::string& line : tail_lines(read_file(journal_path_), 40))
      std::printf("  %s\n", line.c_str());
    std::printf("manager %s; Wine processes of the prefix:", manager_.running() ? "running" : "ended");
    for (pid_t pid : processes_with_env("WINEPREFIX", prefix_dir()))
      std::printf(" %d:%s", static_cast<int>(pid),
                  read_file("/proc/" + std::to_string(pid) + "/comm").c_str());
    std::printf("\n");
  }
  // An open menu holds the pointer grab; close it like a person would.
  close_menu();
  manager_.kill_hard();
  stop_prefix();
  x_.stop();
  release_lock();
}

void ManagerTest::release_lock() {
  if (lock_fd_ >= 0) ::close(lock_fd_);  // closing drops the lock
  lock_fd_ = -1;
}

void ManagerTest::stop_prefix() {
  Spawn kill;
  kill.argv = {wineserver(), "-k"};
  kill.env = base_wine_env();
  kill.output_path = "/dev/null";
  Process k(kill);
  k.wait(20000);
  const std::string prefix = prefix_dir();
  auto none_left = [&prefix] { return processes_with_env("WINEPREFIX", prefix).empty(); };
  if (wait_until(none_left, 20000, 50)) return;
  for (pid_t pid : processes_with_env("WINEPREFIX", prefix)) ::kill(pid, SIGKILL);
  EXPECT_TRUE(wait_until(none_left, 10000, 50))
      << "Wine processes of " << prefix << " would not end";
}

// ---- Wine processes ---------------------------------------------------------

std::vector<std::pair<std::string, std::string>> ManagerTest::wine_env() const {
  auto env = base_wine_env();
  env.push_back({"DISPLAY", x_.display()});
  env.push_back({"TALVIK_SIM_STATE", windows_path(state_path_)});
  env.push_back({"TALVIK_SIM_LOG", windows_path(journal_path_)});
  return env;
}

Process ManagerTest::start_wine(const std::vector<std::string>& args,
                                const std::string& output_name, bool pipes) {
  Spawn s;
  s.argv = {wine64()};
  s.argv.insert(s.argv.end(), args.begin(), args.end());
  s.env = wine_env();
  s.unset_env = {"WAYLAND_DISPLAY"};
  s.cwd = run_dir_;
  s.output_path = file_in_run(output_name);
  s.pipe_stdin = pipes;
  s.pipe_stdout = pipes;
  return Process(s);
}

void ManagerTest::start_manager(const SimState& initial) {
  set_state(initial);
  make_dirs(app_dir_);
  copy_file(manager_exe(), app_dir_ + "/qelmng.exe");
  copy_file(library_dll(), app_dir_ + "/TALVIK.dll");
  manager_ = start_wine({app_dir_ + "/qelmng.exe"}, "manager.out");
}

Picture ManagerTest::wait_for_icon() {
  Picture first = Picture::kNone;
  const auto start = Clock::now();
  const bool shown = wait_picture([](Picture p) { return p != Picture::kNone; }, kStartTimeoutMs,
                                  &first);
  EXPECT_TRUE(shown) << "no icon in the tray within " << kStartTimeoutMs << " ms";
  if (shown) std::printf("icon in the tray after %lld ms\n", ms_since(start));
  return first;
}

void ManagerTest::expect_manager_running(const std::string& when) {
  EXPECT_TRUE(manager_.running()) << "the manager ended " << when << " (exit code "
                                  << manager_.exit_code().value_or(-1) << ")";
}

void ManagerTest::expect_manager_exits_with_0(const std::string& when) {
  const auto code = manager_.wait(20000);
  ASSERT_TRUE(code.has_value()) << "the manager still runs " << when;
  EXPECT_EQ(*code, 0) << "exit code of the manager " << when;
}

// ---- State and journal ------------------------------------------------------

void ManagerTest::set_state(const SimState& state) {
  write_file_atomic(state_path_, format_state(state));
}

SimState ManagerTest::state() const { return parse_state(read_file(state_path_)); }

std::vector<Entry> ManagerTest::journal() {
  std::string error;
  auto entries = parse_journal(read_file(journal_path_), &error);
  EXPECT_EQ(error, "");
  return entries;
}

bool ManagerTest::wait_journal(const std::function<bool(const std::vector<Entry>&)>& pred,
                               int timeout_ms) {
  return wait_until([&] { return pred(journal()); }, timeout_ms, 10);
}

bool ManagerTest::wait_ticks(int count, int timeout_ms) {
  auto ticks_in = [](const std::vector<Entry>& entries, std::size_t from) {
    int n = 0;
    for (std::size_t i = from; i < entries.size(); ++i)
      n += entries[i].kind == Entry::kGet && entries[i].code == 2;
    return n;
  };
  const std::size_t from = journal().size();
  return wait_journal([&](const std::vector<Entry>& e) { return ticks_in(e, from) >= count; },
                      timeout_ms);
}

// ---- The tray ---------------------------------------------------------------

std::optional<XWindow> ManagerTest::tray() {
  auto t = x_.find_viewable("Wine System Tray");
  if (t && t->height >= 20 && t->width >= 20) return t;
  return std::nullopt;
}

Picture ManagerTest::picture(int cell, Image* image) {
  const auto t = tray();
  // A hidden tray window leaves its last pixels on the screen, so pixels
  // count only while it is shown.
  if (!t || t->width < 20 * (cell + 1)) return Picture::kNone;
  Image img = x_.grab(t->x + 20 * cell, t->y, 20, 20);
  if (image != nullptr) *image = img;
  if (img.rgb.empty()) return Picture::kNone;
  return classify(img);
}

bool ManagerTest::wait_picture(const std::function<bool(Picture)>& pred, int timeout_ms,
                               Picture* seen) {
  bool first = true;
  return wait_until(
      [&] {
        const Picture p = picture();
        if (seen != nullptr && (first || p != Picture::kNone)) *seen = p;
        first = first && p == Picture::kNone;
        return pred(p);
      },
      timeout_ms, 10);
}

bool ManagerTest::icon_shown() { return picture() != Picture::kNone; }

// ---- The menu ---------------------------------------------------------------

std::optional<XWindow> ManagerTest::open_menu(int button) {
  const auto t = tray();
  if (!t) {
    ADD_FAILURE() << "no tray window to click";
    return std::nullopt;
  }
  x_.move(t->x + 10, t->y + 10);
  pause_ms(60);
  x_.button(button, true);
  pause_ms(30);
  x_.button(button, false);
  std::optional<XWindow> menu;
  wait_until([&] { return (menu = x_.find_menu("qelmng.exe")).has_value(); }, kReactTimeoutMs);
  // The screen may still show the menu's first, empty frame: wait until its
  // items are drawn.
  if (menu)
    wait_until(
        [&] {
          return read_menu(x_.grab(menu->x, menu->y, menu->width, menu->height)).items.size() >= 3;
        },
        3000);
  return menu;
}

void ManagerTest::click_menu_item(const XWindow& menu, const MenuLook& look, std::size_t index) {
  ASSERT_LT(index, look.items.size());
  const int x = menu.x + menu.width / 2;
  const int y = menu.y + (look.items[index].top + look.items[index].bottom) / 2;
  // Over the item first, so the menu has it selected when the button comes.
  x_.move(x, y);
  pause_ms(80);
  x_.button(1, true);
  pause_ms(30);
  x_.button(1, false);
}

void ManagerTest::close_menu() {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const auto menu = x_.find_menu("qelmng.exe");
    if (!menu) return;
    if (attempt == 0) {
      // Keys go to the window under the pointer: put it on the menu.
      x_.move(menu->x + menu->width / 2, menu->y + 2);
      pause_ms(50);
      x_.key(XK_Escape);
    } else {
      x_.click(1010, 750);  // outside everything
    }
    if (wait_until([this] { return !x_.find_menu("qelmng.exe"); }, 3000)) return;
  }
}

// ---- The helper -------------------------------------------------------------

PokeResult ManagerTest::poke(const std::vector<std::string>& args, int timeout_ms) {
  std::vector<std::string> argv = {poke_exe()};
  argv.insert(argv.end(), args.begin(), args.end());
  Process p = start_wine(argv, "poke.err", true);
  p.close_stdin();
  PokeResult r;
  const auto start = Clock::now();
  while (ms_since(start) < timeout_ms) {
    const auto line = p.read_line(static_cast<int>(timeout_ms - ms_since(start)));
    if (!line) break;
    r.lines.push_back(*line);
    r.output += *line + "\n";
  }
  r.exit_code = p.wait(std::max(1000, static_cast<int>(timeout_ms - ms_since(start))));
  return r;
}

std::optional<Dialog> ManagerTest::wait_dialog(const std::string& caption, int timeout_ms) {
  const PokeResult r = poke({"--timeout=" + std::to_string(timeout_ms), "dialog=" + caption},
                            timeout_ms + 30000);
  if (r.exit_code != 0) return std::nullopt;
  Dialog d;
  for (const std::string& line : r.lines) {
    const auto f = split_tabs(line);
    if (f.size() >= 6 && f[0] == "window") {
      d.left = std::atoi(f[1].c_str());
      d.top = std::atoi(f[2].c_str());
      d.right = std::atoi(f[3].c_str());
      d.bottom = std::atoi(f[4].c_str());
    } else if (f.size() >= 6 && f[0] == "control") {
      Control c;
      c.left = std::atoi(f[1].c_str());
      c.top = std::atoi(f[2].c_str());
      c.right = std::atoi(f[3].c_str());
      c.bottom = std::atoi(f[4].c_str());
      c.cls = f[5];
      c.text = f.size() > 6 ? strip_mnemonic(f[6]) : "";
      d.controls.push_back(c);
    }
  }
  return d;
}

bool ManagerTest::dialog_gone(const std::string& caption, int timeout_ms) {
  return wait_until([&] { return !x_.find_viewable(caption); }, timeout_ms);
}

void ManagerTest::click_until_gone(const std::string& caption, const Control& control) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    x_.click(control.cx(), control.cy());
    if (dialog_gone(caption, 5000)) return;
  }
  ADD_FAILURE() << "the window '" << caption << "' stayed after three clicks on '"
                << control.text << "'";
}

}  // namespace e2e
