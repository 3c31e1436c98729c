// Watches a cell of Wine's fallback tray window ("Wine System Tray") by
// reading its pixels straight from the X server every few milliseconds,
// which times tray changes far more finely than screenshots can.
//
//   trayprobe geometry                    x y width height of the tray window
//   trayprobe class [CELL]                what the cell shows now
//   trayprobe wait-gone SECONDS           until the tray window is gone
//   trayprobe startup [--cell N] [--timeout S] -- COMMAND...
//       starts COMMAND, prints its pid and the milliseconds until the cell
//       shows an icon; COMMAND is left running
//   trayprobe delay --state FILE [--changes N] [--cell N] [--seed N] [--poll-ms N]
//       switches the simulated library between stopped and running N times
//       (atomic rewrite of FILE) and times each change until the cell shows it
//   trayprobe watch --seconds S [--cell N] [--poll-ms N]
//       logs what the cell shows whenever it changes, then a summary
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

Display* g_dpy;
bool g_xerror;

int on_xerror(Display*, XErrorEvent*) {
  g_xerror = true;
  return 0;
}

double now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void sleep_ms(double ms) {
  if (ms <= 0) return;
  timespec ts;
  ts.tv_sec = static_cast<time_t>(ms / 1000);
  ts.tv_nsec = static_cast<long>(std::fmod(ms, 1000.0) * 1e6);
  nanosleep(&ts, nullptr);
}

bool has_name(Window w, const char* want) {
  char* name = nullptr;
  bool match = XFetchName(g_dpy, w, &name) && name && std::strcmp(name, want) == 0;
  if (name) XFree(name);
  return match;
}

Window find_named(Window w, const char* want, int depth) {
  if (has_name(w, want)) return w;
  if (depth == 0) return 0;
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(g_dpy, w, &root, &parent, &kids, &n)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < n && !found; ++i) found = find_named(kids[i], want, depth - 1);
  if (kids) XFree(kids);
  return found;
}

struct Tray {
  Window win = 0;
  int x = 0, y = 0, w = 0, h = 0;
};

// The tray window and where it is on the screen, if it is there and mapped.
bool find_tray(Tray* t) {
  g_xerror = false;
  Window root = DefaultRootWindow(g_dpy);
  Window w = find_named(root, "Wine System Tray", 3);
  if (!w) return false;
  XWindowAttributes a;
  if (!XGetWindowAttributes(g_dpy, w, &a) || g_xerror || a.map_state != IsViewable) return false;
  Window child;
  int x = 0, y = 0;
  XTranslateCoordinates(g_dpy, w, root, 0, 0, &x, &y, &child);
  XSync(g_dpy, False);
  if (g_xerror) return false;
  t->win = w;
  t->x = x;
  t->y = y;
  t->w = a.width;
  t->h = a.height;
  return true;
}

// What a cell shows, from the colours in it: the manager's five icons are
// lime (00FF00) and green (008000) ovals, a red (FF0000) one, and the red
// band over either oval; anything else with detail in it is "other".
enum class Picture { kGone, kEmpty, kLime, kGreen, kRed, kBandLime, kBandGreen, kOther };

const char* picture_name(Picture p) {
  switch (p) {
    case Picture::kGone: return "gone";
    case Picture::kEmpty: return "empty";
    case Picture::kLime: return "lime";
    case Picture::kGreen: return "green";
    case Picture::kRed: return "red";
    case Picture::kBandLime: return "band-lime";
    case Picture::kBandGreen: return "band-green";
    case Picture::kOther: return "other";
  }
  return "?";
}

// The library state a picture stands for; blink phases are one state.
std::string state_of(Picture p) {
  switch (p) {
    case Picture::kLime:
    case Picture::kGreen: return "running";
    case Picture::kRed: return "stopped";
    case Picture::kBandLime:
    case Picture::kBandGreen: return "alarm";
    default: return picture_name(p);
  }
}

constexpr int kMinPixels = 6;

Picture classify(const Tray& t, int cell) {
  const int size = t.h > 0 ? t.h : 20;
  const int cx = t.x + cell * size;
  g_xerror = false;
  XImage* img = XGetImage(g_dpy, DefaultRootWindow(g_dpy), cx, t.y, size, size, AllPlanes, ZPixmap);
  if (!img || g_xerror) {
    if (img) XDestroyImage(img);
    return Picture::kGone;
  }
  int red = 0, lime = 0, green = 0;
  bool uniform = true;
  unsigned long first = XGetPixel(img, 0, 0);
  for (int yy = 0; yy < size; ++yy) {
    for (int xx = 0; xx < size; ++xx) {
      unsigned long p = XGetPixel(img, xx, yy);
      if (p != first) uniform = false;
      int r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
      if (r >= 200 && g <= 80 && b <= 80) ++red;
      else if (g >= 200 && r <= 80 && b <= 80) ++lime;
      else if (g >= 100 && g <= 170 && r <= 60 && b <= 60) ++green;
    }
  }
  XDestroyImage(img);
  if (uniform) return Picture::kEmpty;
  bool has_red = red >= kMinPixels, has_lime = lime >= kMinPixels, has_green = green >= kMinPixels;
  if (has_red && has_lime) return Picture::kBandLime;
  if (has_red && has_green) return Picture::kBandGreen;
  if (has_red) return Picture::kRed;
  if (has_lime) return Picture::kLime;
  if (has_green) return Picture::kGreen;
  return Picture::kOther;
}

// One look at the cell, finding the tray again if it has gone.
Picture look(Tray* t, int cell) {
  if (!t->win && !find_tray(t)) return Picture::kGone;
  Picture p = classify(*t, cell);
  if (p == Picture::kGone) {
    t->win = 0;
    if (find_tray(t)) p = classify(*t, cell);
  }
  return p;
}

// Rewrites the simulated library's state file whole, as a temp file renamed
// over it, so the library never reads half a file.
bool write_state(const std::string& path, int running) {
  std::string tmp = path + ".probe.tmp";
  FILE* f = std::fopen(tmp.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "initialised=1\nrunning=%d\nclients=1\noffline=0\n", running);
  if (std::fclose(f) != 0) return false;
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

struct Summary {
  double median, p95, max, min;
};

Summary summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  Summary s{0, 0, 0, 0};
  if (v.empty()) return s;
  size_t n = v.size();
  s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  size_t i = static_cast<size_t>(std::ceil(0.95 * n));
  s.p95 = v[std::min(n, std::max<size_t>(i, 1)) - 1];
  s.max = v.back();
  s.min = v.front();
  return s;
}

// Waits until the cell shows `want`; the time it took, or a negative number.
double wait_for(Tray* t, int cell, const std::string& want, double start, double timeout_ms,
                double poll_ms) {
  for (;;) {
    Picture p = look(t, cell);
    double now = now_ms();
    if (state_of(p) == want) return now - start;
    if (now - start > timeout_ms) return -1;
    sleep_ms(poll_ms);
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: trayprobe geometry | class [CELL] | wait-gone SECONDS |\n"
               "       startup [--cell N] [--timeout S] -- COMMAND... |\n"
               "       delay --state FILE [--changes N] [--cell N] [--seed N] [--poll-ms N] |\n"
               "       watch --seconds S [--cell N] [--poll-ms N]\n");
  return 2;
}

struct Options {
  int cell = 0;
  int changes = 60;
  unsigned seed = 1;
  double poll_ms = 2;
  double seconds = 0;
  double timeout_s = 60;
  std::string state;
  std::vector<char*> command;
};

bool parse(int argc, char** argv, int from, Options* o) {
  for (int i = from; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](void) -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--") {
      for (++i; i < argc; ++i) o->command.push_back(argv[i]);
      break;
    } else if (a == "--cell" && (v = value())) {
      o->cell = std::atoi(v);
    } else if (a == "--changes" && (v = value())) {
      o->changes = std::atoi(v);
    } else if (a == "--seed" && (v = value())) {
      o->seed = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
    } else if (a == "--poll-ms" && (v = value())) {
      o->poll_ms = std::atof(v);
    } else if (a == "--seconds" && (v = value())) {
      o->seconds = std::atof(v);
    } else if (a == "--timeout" && (v = value())) {
      o->timeout_s = std::atof(v);
    } else if (a == "--state" && (v = value())) {
      o->state = v;
    } else {
      return false;
    }
  }
  return true;
}

int cmd_startup(const Options& o) {
  if (o.command.empty()) return usage();
  std::vector<char*> args = o.command;
  args.push_back(nullptr);
  std::fflush(stdout);
  double start = now_ms();
  pid_t pid = fork();
  if (pid < 0) return 1;
  if (pid == 0) {
    // Not our stdout: whoever reads it would wait for the program to end.
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, 0);
      dup2(null_fd, 1);
      dup2(null_fd, 2);
    }
    execvp(args[0], args.data());
    _exit(127);
  }
  std::printf("pid %d\n", static_cast<int>(pid));
  std::fflush(stdout);
  Tray t;
  for (;;) {
    Picture p = look(&t, o.cell);
    double now = now_ms();
    if (p != Picture::kGone && p != Picture::kEmpty) {
      std::printf("icon_ms %.1f %s\n", now - start, picture_name(p));
      return 0;
    }
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      std::printf("exited before its icon showed\n");
      return 1;
    }
    if (now - start > o.timeout_s * 1000) {
      std::printf("no icon after %.0f s\n", o.timeout_s);
      return 1;
    }
    sleep_ms(o.poll_ms);
  }
}

int cmd_delay(const Options& o) {
  if (o.state.empty() || o.changes < 1) return usage();
  Tray t;
  std::mt19937 rng(o.seed);
  // Pauses that are no multiple of the timer period, so changes fall at
  // every phase of the tick.
  std::uniform_real_distribution<double> pause(250, 850);
  const double timeout = 3000;
  if (!write_state(o.state, 0) || wait_for(&t, o.cell, "stopped", now_ms(), 10000, o.poll_ms) < 0) {
    std::printf("the cell never showed the stopped icon\n");
    return 1;
  }
  std::vector<double> all, to_running, to_stopped;
  int misses = 0;
  for (int i = 0; i < o.changes; ++i) {
    sleep_ms(pause(rng));
    const int running = i % 2 == 0;
    const char* want = running ? "running" : "stopped";
    double start = now_ms();
    if (!write_state(o.state, running)) {
      std::printf("cannot write %s\n", o.state.c_str());
      return 1;
    }
    double d = wait_for(&t, o.cell, want, start, timeout, o.poll_ms);
    if (d < 0) {
      ++misses;
      std::printf("change %d to %s: not shown within %.0f ms\n", i + 1, want, timeout);
      // Put the cell in a known state before going on.
      wait_for(&t, o.cell, want, now_ms(), timeout, o.poll_ms);
      continue;
    }
    std::printf("change %d to %s: %.1f ms\n", i + 1, want, d);
    std::fflush(stdout);
    all.push_back(d);
    (running ? to_running : to_stopped).push_back(d);
  }
  auto line = [](const char* what, const std::vector<double>& v) {
    Summary s = summarise(v);
    std::printf("%s n=%zu median=%.1f p95=%.1f max=%.1f min=%.1f\n", what, v.size(), s.median,
                s.p95, s.max, s.min);
  };
  line("delay_all", all);
  line("delay_to_running", to_running);
  line("delay_to_stopped", to_stopped);
  std::printf("delay_misses %d\n", misses);
  return misses == 0 ? 0 : 1;
}

int cmd_watch(const Options& o) {
  Tray t;
  double start = now_ms();
  Picture last = Picture::kGone;
  std::string last_state = "none";
  std::map<std::string, int> changes;
  int blinks = 0, state_changes = 0;
  while (now_ms() - start < o.seconds * 1000) {
    Picture p = look(&t, o.cell);
    if (p != last) {
      std::string s = state_of(p);
      if (s != last_state) {
        std::printf("%.3f %s %s\n", (now_ms() - start) / 1000, s.c_str(), picture_name(p));
        std::fflush(stdout);
        // The first sight of the icon is no change.
        if (last_state != "none") {
          ++changes[last_state + "->" + s];
          ++state_changes;
        }
        last_state = s;
      } else {
        ++blinks;
      }
      last = p;
    }
    sleep_ms(o.poll_ms);
  }
  std::printf("watch_state_changes %d\nwatch_blinks %d\n", state_changes, blinks);
  for (const auto& c : changes) std::printf("watch_change %s %d\n", c.first.c_str(), c.second);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  g_dpy = XOpenDisplay(nullptr);
  if (!g_dpy) {
    std::fprintf(stderr, "trayprobe: cannot open display\n");
    return 1;
  }
  XSetErrorHandler(on_xerror);
  std::string cmd = argv[1];
  Options o;
  Tray t;
  if (cmd == "geometry") {
    if (!find_tray(&t)) return 1;
    std::printf("%d %d %d %d\n", t.x, t.y, t.w, t.h);
    return 0;
  }
  if (cmd == "class") {
    int cell = argc > 2 ? std::atoi(argv[2]) : 0;
    Picture p = look(&t, cell);
    std::printf("%s %s\n", state_of(p).c_str(), picture_name(p));
    return 0;
  }
  if (cmd == "wait-gone") {
    double limit = (argc > 2 ? std::atof(argv[2]) : 10) * 1000, start = now_ms();
    while (find_tray(&t)) {
      if (now_ms() - start > limit) return 1;
      sleep_ms(20);
    }
    return 0;
  }
  if (!parse(argc, argv, 2, &o)) return usage();
  if (cmd == "startup") return cmd_startup(o);
  if (cmd == "delay") return cmd_delay(o);
  if (cmd == "watch") return cmd_watch(o);
  return usage();
}
