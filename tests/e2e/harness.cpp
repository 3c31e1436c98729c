#include "harness.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace e2e {

long long ms_since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool wait_until(const std::function<bool()>& cond, int timeout_ms, int poll_ms) {
  const auto start = Clock::now();
  for (;;) {
    if (cond()) return true;
    if (ms_since(start) >= timeout_ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
  }
}

// ---- Files ----------------------------------------------------------------

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void write_file_atomic(const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp-e2e";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + tmp);
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0)
    throw std::runtime_error("cannot rename " + tmp + " to " + path + ": " + std::strerror(errno));
}

void copy_file(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + from);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  out.flush();
  if (!out) throw std::runtime_error("cannot write " + to);
}

void make_dirs(const std::string& path) {
  std::string part;
  std::stringstream ss(path);
  std::string piece;
  if (!path.empty() && path[0] == '/') part = "/";
  while (std::getline(ss, piece, '/')) {
    if (piece.empty()) continue;
    part += piece + "/";
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
      throw std::runtime_error("cannot make " + part + ": " + std::strerror(errno));
  }
}

void remove_tree(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) {
    ::unlink(path.c_str());
    return;
  }
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string child = path + "/" + name;
    struct stat st;
    if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      remove_tree(child);
    else
      ::unlink(child.c_str());
  }
  ::closedir(dir);
  ::rmdir(path.c_str());
}

std::string windows_path(const std::string& unix_path) {
  std::string out = "Z:";
  for (char c : unix_path) out += c == '/' ? '\\' : c;
  return out;
}

std::vector<std::string> tail_lines(const std::string& text, std::size_t n) {
  std::vector<std::string> lines;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) lines.push_back(line);
  if (lines.size() > n) lines.erase(lines.begin(), lines.end() - static_cast<long>(n));
  return lines;
}

// ---- Processes ------------------------------------------------------------

Process::Process(const Spawn& spawn) {
  if (spawn.argv.empty()) throw std::runtime_error("nothing to start");
  int in_pipe[2] = {-1, -1};
  int out_pipe[2] = {-1, -1};
  // Close-on-exec everywhere: a pipe end inherited by an unrelated child
  // would keep its reader from ever seeing the end.
  if (spawn.pipe_stdin && ::pipe2(in_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (spawn.pipe_stdout && ::pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");

  // Everything the child needs is built before fork.
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool drop = false;
    for (const auto& kv : spawn.env) drop = drop || kv.first == name;
    for (const auto& u : spawn.unset_env) drop = drop || u == name;
    if (!drop) env_strings.push_back(entry);
  }
  for (const auto& kv : spawn.env) env_strings.push_back(kv.first + "=" + kv.second);
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(&s[0]);
  envp.push_back(nullptr);
  std::vector<std::string> args = spawn.argv;
  std::vector<char*> argv;
  for (auto& s : args) argv.push_back(&s[0]);
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (!spawn.cwd.empty() && ::chdir(spawn.cwd.c_str()) != 0) ::_exit(126);
    int out = ::open(spawn.output_path.empty() ? "/dev/null" : spawn.output_path.c_str(),
                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out < 0) ::_exit(126);
    int in = spawn.pipe_stdin ? in_pipe[0] : ::open("/dev/null", O_RDONLY);
    ::dup2(in, 0);
    ::dup2(spawn.pipe_stdout ? out_pipe[1] : out, 1);
    ::dup2(out, 2);
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  pid_ = pid;
  if (spawn.pipe_stdin) {
    ::close(in_pipe[0]);
    stdin_fd_ = in_pipe[1];
  }
  if (spawn.pipe_stdout) {
    ::close(out_pipe[1]);
    stdout_fd_ = out_pipe[0];
  }
}

Process::Process(Process&& other) noexcept { *this = std::move(other); }

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    kill_hard();
    pid_ = other.pid_;
    exit_code_ = other.exit_code_;
    stdin_fd_ = other.stdin_fd_;
    stdout_fd_ = other.stdout_fd_;
    pending_ = std::move(other.pending_);
    other.pid_ = -1;
    other.stdin_fd_ = -1;
    other.stdout_fd_ = -1;
  }
  return *this;
}

Process::~Process() { kill_hard(); }

void Process::reap(int status) {
  if (WIFEXITED(status))
    exit_code_ = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    exit_code_ = 128 + WTERMSIG(status);
}

bool Process::running() {
  if (pid_ <= 0 || exit_code_) return false;
  int status = 0;
  const pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    reap(status);
    return false;
  }
  return r == 0;
}

std::optional<int> Process::wait(int timeout_ms) {
  wait_until([this] { return !running(); }, timeout_ms, 5);
  return exit_code_;
}

void Process::kill_hard() {
  if (stdin_fd_ >= 0) ::close(stdin_fd_);
  if (stdout_fd_ >= 0) ::close(stdout_fd_);
  stdin_fd_ = stdout_fd_ = -1;
  if (pid_ > 0 && !exit_code_) {
    if (running()) ::kill(pid_, SIGKILL);
    int status = 0;
    if (!exit_code_ && ::waitpid(pid_, &status, 0) == pid_) reap(status);
  }
}

bool Process::write_line(const std::string& line) {
  if (stdin_fd_ < 0) return false;
  const std::string text = line + "\n";
  return ::write(stdin_fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void Process::close_stdin() {
  if (stdin_fd_ >= 0) ::close(stdin_fd_);
  stdin_fd_ = -1;
}

std::optional<std::string> Process::read_line(int timeout_ms) {
  const auto start = Clock::now();
  for (;;) {
    const std::size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (stdout_fd_ < 0) return std::nullopt;
    const long long left = timeout_ms - ms_since(start);
    if (left <= 0) return std::nullopt;
    pollfd p = {stdout_fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(stdout_fd_, buf, sizeof buf);
    if (n <= 0) {
      ::close(stdout_fd_);
      stdout_fd_ = -1;
      continue;
    }
    pending_.append(buf, static_cast<std::size_t>(n));
  }
}

std::vector<pid_t> processes_with_env(const std::string& name, const std::string& value) {
  std::vector<pid_t> pids;
  const std::string wanted = name + "=" + value;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return pids;
  while (dirent* e = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(e->d_name, &end, 10);
    if (end == e->d_name || *end != '\0' || pid == ::getpid()) continue;
    const std::string env = read_file(std::string("/proc/") + e->d_name + "/environ");
    std::size_t pos = 0;
    while (pos < env.size()) {
      const std::size_t zero = env.find('\0', pos);
      const std::size_t stop = zero == std::string::npos ? env.size() : zero;
      if (env.compare(pos, stop - pos, wanted) == 0) {
        pids.push_back(static_cast<pid_t>(pid));
        break;
      }
      pos = stop + 1;
    }
  }
  ::closedir(proc);
  return pids;
}

// ---- The simulated library ------------------------------------------------

std::string format_state(const SimState& s) {
  return "running=" + std::to_string(s.running) + "\ninitialised=" + std::to_string(s.initialised) +
         "\nclients=" + std::to_string(s.clients) + "\noffline=" + std::to_string(s.offline) +
         "\n";
}

SimState parse_state(const std::string& text) {
  SimState s{0, 0, 0, 0};
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const int value = std::atoi(line.c_str() + eq + 1);
    if (key == "running") s.running = value;
    if (key == "initialised") s.initialised = value;
    if (key == "clients") s.clients = value;
    if (key == "offline") s.offline = value;
  }
  return s;
}

std::vector<Entry> parse_journal(const std::string& text, std::string* error) {
  std::vector<Entry> entries;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) break;  // unfinished last line
    const std::string line = text.substr(pos, nl - pos);
    pos = nl + 1;
    Entry e;
    e.text = line;
    char word[8] = {};
    long long ms = 0;
    int code = 0, value = 0, used = 0;
    if (std::sscanf(line.c_str(), "%lld get %d -> %d%n", &ms, &code, &value, &used) == 3 &&
        static_cast<std::size_t>(used) == line.size()) {
      e.kind = Entry::kGet;
    } else if (std::sscanf(line.c_str(), "%lld set %d%n", &ms, &code, &used) == 2 &&
               static_cast<std::size_t>(used) == line.size()) {
      e.kind = Entry::kSet;
    } else if (std::sscanf(line.c_str(), "%lld %7s%n", &ms, word, &used) == 2 &&
               std::strcmp(word, "exit") == 0 && static_cast<std::size_t>(used) == line.size()) {
      e.kind = Entry::kExit;
    } else {
      if (error != nullptr && error->empty()) *error = "unreadable journal line: '" + line + "'";
      continue;
    }
    e.ms = ms;
    e.code = code;
    e.value = value;
    entries.push_back(e);
  }
  return entries;
}

namespace {
bool is_get(const Entry& e, int query) { return e.kind == Entry::kGet && e.code == query; }
}  // namespace

std::string read_ticks(const std::vector<Entry>& entries, std::size_t from,
                       std::vector<Tick>* ticks) {
  std::size_t i = from;
  const std::size_t n = entries.size();
  while (i < n) {
    if (!is_get(entries[i], 6))
      return "entry " + std::to_string(i) + " '" + entries[i].text + "' where a tick's get 6 belongs";
    Tick t;
    t.first = i;
    t.ms = entries[i].ms;
    t.clients = entries[i].value;
    if (i + 1 >= n) break;
    if (!is_get(entries[i + 1], 2))
      return "entry " + std::to_string(i + 1) + " '" + entries[i + 1].text + "' after get 6";
    t.running = entries[i + 1].value;
    if (t.running != 0) {
      if (i + 2 >= n) break;
      if (!is_get(entries[i + 2], 7))
        return "entry " + std::to_string(i + 2) + " '" + entries[i + 2].text +
               "': a running tick without get 7";
      t.asked_offline = true;
      t.offline = entries[i + 2].value;
      i += 3;
    } else {
      i += 2;
    }
    if (ticks != nullptr) ticks->push_back(t);
  }
  return std::string();
}

// ---- Pictures -------------------------------------------------------------

const char* picture_name(Picture p) {
  switch (p) {
    case Picture::kNone: return "none";
    case Picture::kLight: return "light green";
    case Picture::kDark: return "dark green";
    case Picture::kRed: return "red";
    case Picture::kBandLight: return "light green with red band";
    case Picture::kBandDark: return "dark green with red band";
    case Picture::kOther: return "other";
  }
  return "?";
}

namespace {

enum Tone { kToneLime, kToneDark, kToneRed, kToneBlack, kToneElse };

Tone tone(std::uint32_t rgb) {
  const int r = static_cast<int>(rgb >> 16 & 0xFF);
  const int g = static_cast<int>(rgb >> 8 & 0xFF);
  const int b = static_cast<int>(rgb & 0xFF);
  auto near = [&](int R, int G, int B) {
    return std::abs(r - R) <= 40 && std::abs(g - G) <= 40 && std::abs(b - B) <= 40;
  };
  if (near(0, 255, 0)) return kToneLime;
  if (near(0, 128, 0)) return kToneDark;
  if (near(255, 0, 0)) return kToneRed;
  if (near(0, 0, 0)) return kToneBlack;
  return kToneElse;
}

}  // namespace

Picture classify(const Image& cell, std::string* detail) {
  int lime = 0, dark = 0, red = 0;
  for (std::uint32_t px : cell.rgb) {
    switch (tone(px)) {
      case kToneLime: ++lime; break;
      case kToneDark: ++dark; break;
      case kToneRed: ++red; break;
      default: break;
    }
  }
  if (detail != nullptr)
    *detail = "lime " + std::to_string(lime) + ", dark green " + std::to_string(dark) + ", red " +
              std::to_string(red) + " of " + std::to_string(cell.rgb.size()) + " px";
  // A 16x16 rendering of the oval covers about 125 pixels; the band about
  // half of them. Stray pixels of a colour (a few) are tolerated.
  const int green = lime + dark;
  if (green + red < 15) return Picture::kNone;
  if (red >= 20 && green >= 20) {
    if (lime >= 15 && dark < 5) return Picture::kBandLight;
    if (dark >= 15 && lime < 5) return Picture::kBandDark;
    return Picture::kOther;
  }
  if (red >= 40 && green < 5) return Picture::kRed;
  if (lime >= 40 && dark < 5 && red < 5) return Picture::kLight;
  if (dark >= 40 && lime < 5 && red < 5) return Picture::kDark;
  return Picture::kOther;
}

std::string check_band_direction(const Image& cell) {
  int x0 = cell.width, y0 = cell.height, x1 = -1, y1 = -1;
  for (int y = 0; y < cell.height; ++y)
    for (int x = 0; x < cell.width; ++x) {
      const Tone t = tone(cell.at(x, y));
      if (t == kToneLime || t == kToneDark || t == kToneRed) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
      }
    }
  if (x1 < 0) return "no icon in the cell";
  const double w = x1 - x0 + 1, h = y1 - y0 + 1;
  // Corners of the oval's bounding box, as fractions of it.
  struct Corner {
    const char* name;
    double fx_lo, fx_hi, fy_lo, fy_hi;
    bool red_expected;
  };
  const Corner corners[] = {
      {"upper right", 0.55, 1.0, 0.0, 0.35, true},
      {"lower left", 0.0, 0.45, 0.65, 1.0, true},
      {"upper left", 0.0, 0.35, 0.0, 0.45, false},
      {"lower right", 0.65, 1.0, 0.55, 1.0, false},
  };
  std::string problems;
  for (const Corner& c : corners) {
    int red = 0, green = 0;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const double fx = (x - x0 + 0.5) / w, fy = (y - y0 + 0.5) / h;
        if (fx < c.fx_lo || fx > c.fx_hi || fy < c.fy_lo || fy > c.fy_hi) continue;
        const Tone t = tone(cell.at(x, y));
        red += t == kToneRed;
        green += t == kToneLime || t == kToneDark;
      }
    const int want = c.red_expected ? red : green;
    const int other = c.red_expected ? green : red;
    if (!(want >= 4 && want * 2 >= other * 3))
      problems += std::string(problems.empty() ? "" : "; ") + c.name + " corner: red " +
                  std::to_string(red) + ", green " + std::to_string(green) + " (" +
                  (c.red_expected ? "red" : "green") + " expected)";
  }
  return problems;
}

// ---- The X server ---------------------------------------------------------

namespace {

// Windows come and go under our feet (menus, message boxes): an error about
// one that just vanished is no reason to end the test program.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

Display* as_display(void* p) { return static_cast<Display*>(p); }

}  // namespace

XServer::~XServer() { stop(); }

void XServer::start(const std::string& xvfb, const std::string& log_path, int timeout_ms) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  // Xvfb picks a free display itself and writes its number to this
  // descriptor: no guessing, no race with other servers. The copy without
  // close-on-exec is the one it inherits; it is closed here right after.
  const int child_fd = ::fcntl(fds[1], F_DUPFD, 10);
  Spawn s;
  s.argv = {xvfb, "-displayfd", std::to_string(child_fd), "-screen", "0", "1024x768x24",
            "-nolisten", "tcp", "-noreset"};
  s.output_path = log_path;
  xvfb_ = Process(s);
  ::close(child_fd);
  ::close(fds[1]);
  std::string number;
  const auto start = Clock::now();
  while (ms_since(start) < timeout_ms) {
    pollfd p = {fds[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) {
      if (!xvfb_.running()) break;
      continue;
    }
    char c;
    const ssize_t n = ::read(fds[0], &c, 1);
    if (n <= 0 || c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  if (number.empty()) throw std::runtime_error("Xvfb reported no display; see " + log_path);
  display_ = ":" + number;
  ::XSetErrorHandler(ignore_x_error);
  const bool connected = wait_until(
      [this] {
        dpy_ = ::XOpenDisplay(display_.c_str());
        return dpy_ != nullptr;
      },
      timeout_ms - static_cast<int>(ms_since(start)), 50);
  if (!connected) throw std::runtime_error("cannot connect to Xvfb on " + display_);
  int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
  if (::XkbQueryExtension(as_display(dpy_), &opcode, &xkb_event_, &error, &major, &minor))
    ::XkbSelectEvents(as_display(dpy_), XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask);
  else
    xkb_event_ = -1;
}

void XServer::stop() {
  if (dpy_ != nullptr) ::XCloseDisplay(as_display(dpy_));
  dpy_ = nullptr;
  if (xvfb_.running()) {
    ::kill(xvfb_.pid(), SIGTERM);
    if (!xvfb_.wait(5000)) xvfb_.kill_hard();
  }
  xvfb_ = Process();
}

void XServer::sync() { ::XSync(as_display(dpy_), False); }

std::vector<XWindow> XServer::top_windows() {
  std::vector<XWindow> out;
  if (dpy_ == nullptr) return out;
  Display* d = as_display(dpy_);
  Window root = DefaultRootWindow(d), parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (!::XQueryTree(d, root, &root, &parent, &children, &count)) return out;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes a;
    if (!::XGetWindowAttributes(d, children[i], &a)) continue;
    XWindow w;
    w.id = children[i];
    Window dummy;
    if (!::XTranslateCoordinates(d, children[i], root, 0, 0, &w.x, &w.y, &dummy)) continue;
    w.width = a.width;
    w.height = a.height;
    w.viewable = a.map_state == IsViewable;
    w.override_redirect = a.override_redirect != 0;
    char* name = nullptr;
    if (::XFetchName(d, children[i], &name) && name != nullptr) {
      w.name = name;
      ::XFree(name);
    }
    XClassHint hint = {nullptr, nullptr};
    if (::XGetClassHint(d, children[i], &hint)) {
      if (hint.res_name != nullptr) w.res_name = hint.res_name;
      if (hint.res_name != nullptr) ::XFree(hint.res_name);
      if (hint.res_class != nullptr) ::XFree(hint.res_class);
    }
    out.push_back(w);
  }
  if (children != nullptr) ::XFree(children);
  return out;
}

std::optional<XWindow> XServer::find_viewable(const std::string& name) {
  for (const XWindow& w : top_windows())
    if (w.viewable && w.name == name) return w;
  return std::nullopt;
}

std::optional<XWindow> XServer::find_menu(const std::string& res_name) {
  for (const XWindow& w : top_windows())
    if (w.viewable && w.override_redirect && w.name.empty() && w.res_name == res_name &&
        w.width > 8 && w.height > 8)
      return w;
  return std::nullopt;
}

Image XServer::grab(int x, int y, int width, int height) {
  Image img;
  if (dpy_ == nullptr) return img;
  Display* d = as_display(dpy_);
  XImage* xi = ::XGetImage(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (xi == nullptr) return img;
  img.width = width;
  img.height = height;
  img.rgb.resize(static_cast<std::size_t>(width * height));
  for (int yy = 0; yy < height; ++yy)
    for (int xx = 0; xx < width; ++xx) {
      const unsigned long p = XGetPixel(xi, xx, yy);
      auto channel = [p](unsigned long mask) {
        if (mask == 0) return 0u;
        int shift = 0;
        while (!((mask >> shift) & 1)) ++shift;
        const unsigned long max = mask >> shift;
        return static_cast<unsigned>(((p & mask) >> shift) * 255 / max);
      };
      img.rgb[static_cast<std::size_t>(yy * width + xx)] =
          channel(xi->red_mask) << 16 | channel(xi->green_mask) << 8 | channel(xi->blue_mask);
    }
  XDestroyImage(xi);
  return img;
}

void XServer::move(int x, int y) {
  if (dpy_ == nullptr) return;
  ::XTestFakeMotionEvent(as_display(dpy_), -1, x, y, CurrentTime);
  sync();
}

void XServer::button(int number, bool down) {
  if (dpy_ == nullptr) return;
  ::XTestFakeButtonEvent(as_display(dpy_), static_cast<unsigned>(number), down ? True : False,
                         CurrentTime);
  sync();
}

void XServer::click(int x, int y, int number) {
  move(x, y);
  // A person's click has a little time between its parts; Wine reads the
  // press and the release as separate events either way.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  button(number, true);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  button(number, false);
}

void XServer::key(unsigned long keysym) {
  if (dpy_ == nullptr) return;
  Display* d = as_display(dpy_);
  const KeyCode code = ::XKeysymToKeycode(d, keysym);
  ::XTestFakeKeyEvent(d, code, True, CurrentTime);
  sync();
  ::XTestFakeKeyEvent(d, code, False, CurrentTime);
  sync();
}

std::pair<int, int> XServer::pointer() {
  if (dpy_ == nullptr) return {0, 0};
  Display* d = as_display(dpy_);
  Window root, child;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned int mask = 0;
  ::XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rx, &ry, &wx, &wy, &mask);
  return {rx, ry};
}

bool XServer::save_screenshot(const std::string& path) {
  if (dpy_ == nullptr) return false;
  Display* d = as_display(dpy_);
  const int w = DisplayWidth(d, DefaultScreen(d));
  const int h = DisplayHeight(d, DefaultScreen(d));
  const Image img = grab(0, 0, w, h);
  if (img.rgb.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "P6\n" << w << " " << h << "\n255\n";
  for (std::uint32_t px : img.rgb) {
    const char rgb[3] = {static_cast<char>(px >> 16), static_cast<char>(px >> 8),
                         static_cast<char>(px)};
    out.write(rgb, 3);
  }
  return static_cast<bool>(out);
}

int XServer::take_bells() {
  if (dpy_ == nullptr) return 0;
  Display* d = as_display(dpy_);
  int bells = 0;
  ::XSync(d, False);
  while (::XPending(d) > 0) {
    XEvent ev;
    ::XNextEvent(d, &ev);
    if (xkb_event_ >= 0 && ev.type == xkb_event_ &&
        reinterpret_cast<XkbAnyEvent*>(&ev)->xkb_type == XkbBellNotify)
      ++bells;
  }
  return bells;
}

}  // namespace e2e
