// qelmng_poke: drives a running Qel Manager from inside its Wine prefix, for
// the end-to-end tests. Each argument is one command, run in order; every
// answer is printed on a line of its own, fields separated by tabs.
//
//   query-end-session   SendMessageTimeout WM_QUERYENDSESSION -> "answer<TAB>WM_QUERYENDSESSION<TAB>n"
//   close               SendMessageTimeout WM_CLOSE           -> "answer<TAB>WM_CLOSE<TAB>n"
//   taskbar-created     broadcasts the shell's "TaskbarCreated" message
//   delete-icon         removes the manager's tray icon behind its back, as a
//                       restarting shell would lose it -> "answer<TAB>NIM_DELETE<TAB>0|1"
//   icon-present        asks the shell whether the icon is there (an empty
//                       NIM_MODIFY changes nothing) -> "answer<TAB>icon-present<TAB>0|1"
//   add-keeper          puts an icon of the helper's own (plain blue) in the tray,
//                       so the tray window stays shown while the manager's icon is
//                       away -> "answer<TAB>add-keeper<TAB>0|1"; removed when the
//                       helper ends
//   dialog=CAPTION      waits for a visible top-level window of that caption and
//                       lists it and its controls with their screen rectangles:
//                       "window<TAB>l<TAB>t<TAB>r<TAB>b<TAB>CLASS" and
//                       "control<TAB>l<TAB>t<TAB>r<TAB>b<TAB>CLASS<TAB>TEXT"
//   --timeout=MS        time-out of the commands after it (default 60000)
//   -                   reads further commands from stdin, one a line, so a test
//                       can act within milliseconds instead of a Wine start-up
//
// Exit code: 0 when every command got through, 2 when the manager's window is
// missing, 3 on a time-out, 4 when a dialog did not appear, 1 on bad usage.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

DWORD g_timeout_ms = 60000;

HWND find_manager() { return FindWindowA("QelMngClass", nullptr); }

// The manager answers from inside a message box for some messages, so the
// wait must cover a person's (or a test's) reply.
int send_and_print(UINT message, const char* name) {
  HWND hwnd = find_manager();
  if (hwnd == nullptr) {
    std::printf("missing\tQelMngClass\n");
    return 2;
  }
  DWORD_PTR answer = 0;
  SetLastError(0);
  if (SendMessageTimeoutA(hwnd, message, 0, 0, SMTO_NORMAL, g_timeout_ms, &answer) == 0) {
    std::printf("timeout\t%s\t%lu\n", name, static_cast<unsigned long>(GetLastError()));
    return 3;
  }
  std::printf("answer\t%s\t%lld\n", name, static_cast<long long>(answer));
  return 0;
}

int broadcast_taskbar_created() {
  const UINT message = RegisterWindowMessageA("TaskbarCreated");
  // Posted, like the shell does: a hung window must not hold the broadcast.
  const BOOL ok = PostMessageA(HWND_BROADCAST, message, 0, 0);
  std::printf("broadcast\tTaskbarCreated\t%d\n", ok ? 1 : 0);
  return ok ? 0 : 3;
}

constexpr UINT kTrayIconId = 99;

int notify_icon(DWORD operation, const char* name) {
  HWND hwnd = find_manager();
  if (hwnd == nullptr) {
    std::printf("missing\tQelMngClass\n");
    return 2;
  }
  NOTIFYICONDATAA nid = {};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = hwnd;
  nid.uID = kTrayIconId;
  nid.uFlags = 0;  // for NIM_MODIFY: touch nothing, only learn whether it exists
  const BOOL ok = Shell_NotifyIconA(operation, &nid);
  std::printf("answer\t%s\t%d\n", name, ok ? 1 : 0);
  return 0;
}

HWND g_keeper = nullptr;
constexpr UINT kKeeperId = 1;

// Without another icon the tray window hides when the manager's icon goes and
// shows again when it comes back; Wine's X driver then waits up to two
// seconds for a window manager that is not there, holding the shell and
// everyone who talks to it.
int add_keeper() {
  if (g_keeper == nullptr)
    g_keeper = CreateWindowExA(0, "STATIC", "qelmng_poke keeper", WS_POPUP, 0, 0, 1, 1, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
  BYTE and_mask[16 * 2] = {};  // opaque
  DWORD colour[16 * 16];
  for (DWORD& px : colour) px = 0x000000FF;  // blue, in none of the manager's pictures
  HICON icon = CreateIcon(GetModuleHandleA(nullptr), 16, 16, 1, 32, and_mask,
                          reinterpret_cast<const BYTE*>(colour));
  NOTIFYICONDATAA nid = {};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = g_keeper;
  nid.uID = kKeeperId;
  nid.uFlags = NIF_ICON | NIF_TIP;
  nid.hIcon = icon;
  lstrcpynA(nid.szTip, "qelmng_poke", sizeof nid.szTip);
  const BOOL ok = g_keeper != nullptr && icon != nullptr && Shell_NotifyIconA(NIM_ADD, &nid);
  if (icon != nullptr) DestroyIcon(icon);
  std::printf("answer\tadd-keeper\t%d\n", ok ? 1 : 0);
  return ok ? 0 : 3;
}

void remove_keeper() {
  if (g_keeper == nullptr) return;
  NOTIFYICONDATAA nid = {};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = g_keeper;
  nid.uID = kKeeperId;
  Shell_NotifyIconA(NIM_DELETE, &nid);
  DestroyWindow(g_keeper);
  g_keeper = nullptr;
}

struct Search {
  const char* caption;
  HWND found;
};

// The manager's own hidden window bears the same caption as its message
// box, so only a visible window counts.
BOOL CALLBACK match_visible(HWND hwnd, LPARAM lparam) {
  auto* search = reinterpret_cast<Search*>(lparam);
  char text[256] = {};
  if (IsWindowVisible(hwnd) && GetWindowTextA(hwnd, text, sizeof text) > 0 &&
      std::strcmp(text, search->caption) == 0) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

void print_rect(const char* kind, HWND hwnd) {
  RECT r = {};
  GetWindowRect(hwnd, &r);
  char cls[128] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  std::printf("%s\t%ld\t%ld\t%ld\t%ld\t%s", kind, r.left, r.top, r.right, r.bottom, cls);
}

BOOL CALLBACK print_control(HWND hwnd, LPARAM) {
  char text[512] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  // A tab or line end in a label would break the line-based output.
  for (char* p = text; *p != '\0'; ++p)
    if (*p == '\t' || *p == '\n' || *p == '\r') *p = ' ';
  print_rect("control", hwnd);
  std::printf("\t%s\n", text);
  return TRUE;
}

int list_dialog(const char* caption) {
  const DWORD start = GetTickCount();
  for (;;) {
    Search search = {caption, nullptr};
    EnumWindows(match_visible, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      print_rect("window", search.found);
      std::printf("\n");
      EnumChildWindows(search.found, print_control, 0);
      return 0;
    }
    if (GetTickCount() - start >= g_timeout_ms) {
      std::printf("no-dialog\t%s\n", caption);
      return 4;
    }
    Sleep(20);
  }
}

constexpr int kUsage = 1;

int usage() {
  std::fprintf(stderr,
               "usage: qelmng_poke [--timeout=MS] query-end-session|close|taskbar-created|"
               "delete-icon|icon-present|add-keeper|dialog=CAPTION|- ...\n");
  return kUsage;
}

int run(const std::string& arg) {
  if (arg.rfind("--timeout=", 0) == 0) {
    g_timeout_ms = static_cast<DWORD>(std::strtoul(arg.c_str() + 10, nullptr, 10));
    return 0;
  }
  if (arg == "query-end-session") return send_and_print(WM_QUERYENDSESSION, "WM_QUERYENDSESSION");
  if (arg == "close") return send_and_print(WM_CLOSE, "WM_CLOSE");
  if (arg == "taskbar-created") return broadcast_taskbar_created();
  if (arg == "delete-icon") return notify_icon(NIM_DELETE, "NIM_DELETE");
  if (arg == "icon-present") return notify_icon(NIM_MODIFY, "icon-present");
  if (arg == "add-keeper") return add_keeper();
  if (arg.rfind("dialog=", 0) == 0) return list_dialog(arg.c_str() + 7);
  return usage();
}

// Commands from stdin: a failing one is reported and the next is read, so
// the test decides what a failure means; a line "quit" or the end of input
// stops.
int run_stdin() {
  char line[1024];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    std::string arg = line;
    while (!arg.empty() && (arg.back() == '\n' || arg.back() == '\r')) arg.pop_back();
    if (arg == "quit") break;
    if (arg.empty()) continue;
    const int rc = run(arg);
    std::printf("done\t%d\n", rc);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const int rc = arg == "-" ? run_stdin() : run(arg);
    std::fflush(stdout);
    if (rc != 0) {
      remove_keeper();
      return rc;
    }
  }
  remove_keeper();
  return 0;
}
