// Building blocks of the end-to-end tests: child processes, the simulated
// library's state file and journal, a private X server and what can be seen
// and done on it (windows, pixels, pointer, keys, bells).
#ifndef QELMNG_TESTS_E2E_HARNESS_H
#define QELMNG_TESTS_E2E_HARNESS_H

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

using Clock = std::chrono::steady_clock;

long long ms_since(Clock::time_point start);

// Polls `cond` until it holds or `timeout_ms` passes; true if it held.
bool wait_until(const std::function<bool()>& cond, int timeout_ms, int poll_ms = 10);

// ---- Files ----------------------------------------------------------------

bool file_exists(const std::string& path);
std::string read_file(const std::string& path);
// Temp file and rename, so a reader sees the old text or the new, never half.
void write_file_atomic(const std::string& path, const std::string& text);
void copy_file(const std::string& from, const std::string& to);
void make_dirs(const std::string& path);
void remove_tree(const std::string& path);
// The Z: drive of a default Wine prefix is the Unix root.
std::string windows_path(const std::string& unix_path);
std::vector<std::string> tail_lines(const std::string& text, std::size_t n);

// ---- Processes ------------------------------------------------------------

struct Spawn {
  std::vector<std::string> argv;
  std::vector<std::pair<std::string, std::string>> env;  // added to (or replacing) ours
  std::vector<std::string> unset_env;
  std::string cwd;
  std::string output_path;  // stdout and stderr go here unless piped
  bool pipe_stdin = false;
  bool pipe_stdout = false;  // stderr still goes to output_path
};

class Process {
 public:
  Process() = default;
  explicit Process(const Spawn& spawn);  // throws std::runtime_error
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }
  // True while the process has not ended (reaps it once it has).
  bool running();
  // The exit code (128 + signal for a killed process), or nothing on time-out.
  std::optional<int> wait(int timeout_ms);
  std::optional<int> exit_code() const { return exit_code_; }
  void kill_hard();

  bool write_line(const std::string& line);
  std::optional<std::string> read_line(int timeout_ms);
  void close_stdin();

 private:
  void reap(int status);

  pid_t pid_ = -1;
  std::optional<int> exit_code_;
  int stdin_fd_ = -1;
  int stdout_fd_ = -1;
  std::string pending_;
};

// Pids of every process whose environment holds NAME=VALUE exactly.
std::vector<pid_t> processes_with_env(const std::string& name, const std::string& value);

// ---- The simulated library ------------------------------------------------

struct SimState {
  int running = 0;
  int initialised = 1;
  int clients = 1;
  int offline = 0;
};

std::string format_state(const SimState& state);
SimState parse_state(const std::string& text);

struct Entry {
  enum Kind { kGet, kSet, kExit } kind = kGet;
  long long ms = 0;
  int code = 0;   // query or command
  int value = 0;  // answer of a query
  std::string text;
};

// Complete lines only: the last one may still be being written. A line that
// fits no known form is an error, reported through `error`.
std::vector<Entry> parse_journal(const std::string& text, std::string* error);

struct Tick {
  std::size_t first = 0;  // index of its `get 6`
  long long ms = 0;
  int clients = 0;
  int running = 0;
  bool asked_offline = false;
  int offline = 0;
};

// Reads entries[from..] as nothing but ticks: get 6, get 2 and, exactly when
// get 2 answered nonzero, get 7. A tick cut short by the end is left out.
// Returns an empty string or what broke the pattern.
std::string read_ticks(const std::vector<Entry>& entries, std::size_t from,
                       std::vector<Tick>* ticks);

// ---- Pictures in the tray -------------------------------------------------

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> rgb;  // 0xRRGGBB, row by row
  std::uint32_t at(int x, int y) const { return rgb[static_cast<std::size_t>(y * width + x)]; }
};

enum class Picture { kNone, kLight, kDark, kRed, kBandLight, kBandDark, kOther };
const char* picture_name(Picture p);

// Which of the five icons a tray cell shows, by the colours in it.
Picture classify(const Image& cell, std::string* detail = nullptr);

// For a banded picture: red holds the upper-right and lower-left parts of the
// oval, green the other two corners. Returns an empty string or why not.
std::string check_band_direction(const Image& cell);

// ---- The X server ---------------------------------------------------------

struct XWindow {
  unsigned long id = 0;
  int x = 0, y = 0, width = 0, height = 0;  // root coordinates
  bool viewable = false;
  bool override_redirect = false;
  std::string name;
  std::string res_name;
};

class XServer {
 public:
  XServer() = default;
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  ~XServer();

  // Starts Xvfb on a display number of its own choosing and connects.
  void start(const std::string& xvfb, const std::string& log_path, int timeout_ms);
  void stop();
  const std::string& display() const { return display_; }
  bool running() { return xvfb_.running(); }

  std::vector<XWindow> top_windows();
  std::optional<XWindow> find_viewable(const std::string& name);
  // An open popup menu of the program whose WM_CLASS name is `res_name`.
  std::optional<XWindow> find_menu(const std::string& res_name);

  Image grab(int x, int y, int width, int height);
  void move(int x, int y);
  void button(int number, bool down);
  void click(int x, int y, int number = 1);
  void key(unsigned long keysym);
  std::pair<int, int> pointer();
  bool save_screenshot(const std::string& path);

  // Bells rung since the last call (the X bell is what MessageBeep becomes).
  int take_bells();

 private:
  void sync();

  Process xvfb_;
  std::string display_;
  void* dpy_ = nullptr;  // Display*, kept out of this header
  int xkb_event_ = -1;
};

}  // namespace e2e

#endif  // QELMNG_TESTS_E2E_HARNESS_H
