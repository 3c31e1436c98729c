// Checks the built TALVIK.dll through the Windows loader: loads a copy of it
// in a folder of its own, calls the three exports as the manager does and
// compares the state file and journal with what the calls must have done.
//   talvik_sim_check [DLL]            calls, files, two processes at once
//   talvik_sim_check --dialog [DLL]   drives the settings dialog (needs a display)
//   talvik_sim_check --show [DLL]     opens the settings dialog for a person
// DLL defaults to TALVIK.dll beside this program. Exit code 0 when all hold.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "talvik_sim_res.h"

namespace {

using StatusFn = int(WINAPI*)(int);
using ExitFn = int(WINAPI*)();

int g_failures = 0;

void report(int line, const std::string& what) {
  ++g_failures;
  std::fprintf(stderr, "talvik_sim_check.cpp:%d: %s\n", line, what.c_str());
}

void check(bool ok, const char* what, int line) {
  if (!ok) report(line, std::string("failed: ") + what);
}

void check_eq(const std::string& actual, const std::string& expected, const char* what, int line) {
  if (actual != expected)
    report(line, std::string(what) + ": got [" + actual + "], want [" + expected + "]");
}

void check_eq(long long actual, long long expected, const char* what, int line) {
  if (actual != expected)
    report(line, std::string(what) + ": got " + std::to_string(actual) + ", want " +
                     std::to_string(expected));
}

#define CHECK(cond) check((cond), #cond, __LINE__)
#define CHECK_EQ(actual, expected) check_eq((actual), (expected), #actual, __LINE__)

std::string folder_of(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? std::string(".") : path.substr(0, sep);
}

std::string exe_path() {
  char buf[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  return std::string(buf, n);
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The whole file, or "<missing>".
std::string slurp(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string text;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
  CloseHandle(h);
  return text;
}

void put(const std::string& path, const std::string& text) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool ok = h != INVALID_HANDLE_VALUE &&
                  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size();
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  if (!ok) report(__LINE__, "cannot write " + path);
}

std::vector<std::string> list_folder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(h, &found));
  FindClose(h);
  return names;
}

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) out += (out.empty() ? "" : " ") + s;
  return out;
}

// Names in `folder` that none of the expected ones are: leftover temporary
// files of the atomic rewrite would show here.
std::string unexpected_files(const std::string& folder, const std::vector<std::string>& expected) {
  std::vector<std::string> extra;
  for (const std::string& name : list_folder(folder)) {
    bool known = false;
    for (const std::string& e : expected) known = known || lstrcmpiA(name.c_str(), e.c_str()) == 0;
    if (!known) extra.push_back(name);
  }
  return joined(extra);
}

void set_env(const char* name, const std::string& value) { SetEnvironmentVariableA(name, value.c_str()); }

std::string state_text(int running, int initialised, int clients, int offline) {
  return "running=" + std::to_string(running) + "\ninitialised=" + std::to_string(initialised) +
         "\nclients=" + std::to_string(clients) + "\noffline=" + std::to_string(offline) + "\n";
}

struct Dll {
  HMODULE module = nullptr;
  StatusFn get = nullptr;
  StatusFn set = nullptr;
  ExitFn exit = nullptr;
};

template <typename Fn>
Fn symbol(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool load(const std::string& path, Dll& dll) {
  dll.module = LoadLibraryA(path.c_str());
  if (dll.module == nullptr) {
    report(__LINE__, "cannot load " + path + ", error " + std::to_string(GetLastError()));
    return false;
  }
  dll.get = symbol<StatusFn>(dll.module, "TV_GetStatus");
  dll.set = symbol<StatusFn>(dll.module, "TV_SetStatus");
  dll.exit = symbol<ExitFn>(dll.module, "DLLEXIT");
  CHECK(dll.get != nullptr);
  CHECK(dll.set != nullptr);
  CHECK(dll.exit != nullptr);
  return dll.get != nullptr && dll.set != nullptr && dll.exit != nullptr;
}

// A journal line: milliseconds, a blank, the call.
struct Entry {
  unsigned long long ms;
  std::string call;
};

std::vector<Entry> read_journal(const std::string& path) {
  std::vector<Entry> entries;
  const std::string text = slurp(path);
  if (text == "<missing>") {
    report(__LINE__, "no journal " + path);
    return entries;
  }
  if (!text.empty() && text.back() != '\n') report(__LINE__, "journal does not end in a whole line");
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
    if (digits == 0 || digits > 19 || digits >= line.size() || line[digits] != ' ') {
      report(__LINE__, "malformed journal line [" + line + "]");
      continue;
    }
    entries.push_back({std::strtoull(line.c_str(), nullptr, 10), line.substr(digits + 1)});
  }
  return entries;
}

// Journal of one process: its calls in order, times never going back.
void check_journal(const std::string& path, const std::vector<std::string>& calls) {
  const std::vector<Entry> entries = read_journal(path);
  std::vector<std::string> got;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    got.push_back(entries[i].call);
    if (i > 0 && entries[i].ms < entries[i - 1].ms)
      report(__LINE__, "journal time goes back at line " + std::to_string(i + 1));
  }
  CHECK_EQ(joined(got), joined(calls));
}

class Folder {
 public:
  Folder() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + "talvik-sim-check-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount());
    if (!CreateDirectoryA(path_.c_str(), nullptr)) report(__LINE__, "cannot create " + path_);
  }
  // Kept for a look when something failed.
  ~Folder() {
    if (g_failures != 0) {
      std::fprintf(stderr, "talvik_sim_check: files kept in %s\n", path_.c_str());
      return;
    }
    for (const std::string& name : list_folder(path_)) DeleteFileA((path_ + "\\" + name).c_str());
    RemoveDirectoryA(path_.c_str());
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The DLL under test, copied into `folder` so that its default files (beside
// the DLL) land there too.
bool load_copy(const std::string& dll_path, const Folder& folder, Dll& dll) {
  const std::string copy = folder / "TALVIK.dll";
  if (!CopyFileA(dll_path.c_str(), copy.c_str(), FALSE)) {
    report(__LINE__, "cannot copy " + dll_path + " to " + copy);
    return false;
  }
  return load(copy, dll);
}

void check_calls_and_files(const Dll& dll, const Folder& dir) {
  const std::string state = dir / "state.ini";
  const std::string log = dir / "journal.log";
  set_env("TALVIK_SIM_STATE", state);
  set_env("TALVIK_SIM_LOG", log);
  std::vector<std::string> calls;
  auto get = [&](int q) {
    const int v = dll.get(q);
    calls.push_back("get " + std::to_string(q) + " -> " + std::to_string(v));
    return v;
  };
  auto set = [&](int c) {
    calls.push_back("set " + std::to_string(c));
    return dll.set(c);
  };
  auto exit = [&]() {
    calls.push_back("exit");
    return dll.exit();
  };

  // Only the plain names: a decorated one would mean the manager's imports
  // could not bind.
  CHECK(GetProcAddress(dll.module, "TV_GetStatus@4") == nullptr);
  CHECK(GetProcAddress(dll.module, "_TV_GetStatus@4") == nullptr);

  // No file: everything zero, and neither an unknown command nor a detach
  // that changes nothing creates one.
  for (int q : {0, 1, 2, 3, 4, 5, 6, 7, 8, -1, 1000}) CHECK_EQ(get(q), 0);
  CHECK_EQ(set(99), 0);
  CHECK_EQ(exit(), 0);
  CHECK(!exists(state));

  CHECK_EQ(set(10), 0);
  CHECK_EQ(slurp(state), state_text(1, 1, 0, 0));
  CHECK_EQ(get(2), 1);
  CHECK_EQ(get(3), 1);
  CHECK_EQ(set(5), 0);
  CHECK_EQ(slurp(state), state_text(0, 1, 0, 0));
  CHECK_EQ(get(2), 0);
  CHECK_EQ(set(5), 0);
  CHECK_EQ(get(2), 1);

  // Changed behind the DLL's back: read afresh, junk ignored.
  const std::string edited =
      "\xEF\xBB\xBFrunning = 1\r\ninitialised=1\r\nclients=4\r\noffline= 2 \r\nbogus line\r\n"
      "speed=9\r\nclients=x\r\n";
  put(state, edited);
  CHECK_EQ(get(6), 4);
  CHECK_EQ(get(7), 2);
  CHECK_EQ(get(2), 1);
  // Commands that change nothing leave the file as it is, byte for byte.
  for (int c : {99, 0, -5, 10}) CHECK_EQ(set(c), 0);
  CHECK_EQ(slurp(state), edited);
  CHECK_EQ(exit(), 0);
  CHECK_EQ(slurp(state), state_text(0, 1, 4, 2));

  // Oversized files: the start is read, what lies past the limit is not,
  // and a line cut by the limit is not read as a shorter value.
  const std::size_t limit = 64 * 1024;
  const std::string junk(100 * 1024, 'x');
  put(state, "clients=3\n" + junk + "\n");
  CHECK_EQ(get(6), 3);
  put(state, junk + "\nclients=3\n");
  CHECK_EQ(get(6), 0);
  auto comments = [](std::size_t size) {
    std::string text;
    while (text.size() + 100 <= size) text += "#" + std::string(98, '-') + "\n";
    if (text.size() < size) text += "#" + std::string(size - text.size() - 2, '-') + "\n";
    return text;
  };
  put(state, comments(limit - 10) + "clients=1234567\n");  // cut after "clients=12"
  CHECK_EQ(get(6), 0);
  put(state, comments(limit - 9) + "clients=5");  // exactly the limit: read whole
  CHECK_EQ(get(6), 5);

  // Journal times are milliseconds since the DLL was loaded.
  get(1);
  Sleep(300);
  get(1);
  check_journal(log, calls);
  const std::vector<Entry> entries = read_journal(log);
  if (entries.size() >= 2) {
    const unsigned long long gap = entries.back().ms - entries[entries.size() - 2].ms;
    CHECK(gap >= 250 && gap < 5000);
    CHECK(entries.front().ms < 60000);
  }
  CHECK_EQ(unexpected_files(dir.path(), {"TALVIK.dll", "state.ini", "journal.log"}), "");

  // A state path that cannot be a file: answers stay zero, nothing breaks,
  // nothing is left behind.
  for (const std::string& bad : {dir.path(), dir / "no-such-folder\\state.ini"}) {
    set_env("TALVIK_SIM_STATE", bad);
    CHECK_EQ(dll.get(2), 0);
    CHECK_EQ(dll.set(10), 0);
    CHECK_EQ(dll.get(2), 0);
    CHECK_EQ(dll.exit(), 0);
  }
  CHECK(!exists(dir / "no-such-folder"));
  // A rewrite's temporary file goes beside the state path, here in the
  // folder above; other runs may be using that folder at the same time.
  const std::string own = dir.path().substr(folder_of(dir.path()).size() + 1);
  std::vector<std::string> leftovers;
  for (const std::string& name : list_folder(folder_of(dir.path())))
    if (name != own && name.rfind(own, 0) == 0) leftovers.push_back(name);
  CHECK_EQ(joined(leftovers), "");
  CHECK_EQ(unexpected_files(dir.path(), {"TALVIK.dll", "state.ini", "journal.log"}), "");
}

void check_default_paths(const Dll& dll, const Folder& dir) {
  // Unset and empty both mean the files beside the DLL.
  SetEnvironmentVariableA("TALVIK_SIM_STATE", nullptr);
  set_env("TALVIK_SIM_LOG", "");
  CHECK_EQ(dll.set(10), 0);
  CHECK_EQ(dll.get(3), 1);
  CHECK_EQ(slurp(dir / "talvik-sim.ini"), state_text(1, 1, 0, 0));
  check_journal(dir / "talvik-sim.log", {"set 10", "get 3 -> 1"});
}

// Child side of the race: toggles and reads the shared file.
int hammer(const std::string& dll_path, int rounds) {
  Dll dll;
  if (!load(dll_path, dll)) return 2;
  int torn = 0;
  for (int i = 0; i < rounds; ++i) {
    dll.set(5);
    // Any half-written or missing file would read as 0 here.
    if (dll.get(6) != 7 || dll.get(7) != 3) ++torn;
  }
  if (torn != 0) std::fprintf(stderr, "talvik_sim_check: %d torn reads\n", torn);
  return torn == 0 ? 0 : 1;
}

void check_two_processes(const Folder& dir) {
  const std::string state = dir / "race.ini";
  const std::string log = dir / "race.log";
  set_env("TALVIK_SIM_STATE", state);
  set_env("TALVIK_SIM_LOG", log);
  put(state, state_text(0, 1, 7, 3));
  constexpr int kProcesses = 2;
  constexpr int kRounds = 150;
  PROCESS_INFORMATION children[kProcesses] = {};
  for (PROCESS_INFORMATION& child : children) {
    std::string command = "\"" + exe_path() + "\" --hammer \"" + (dir / "TALVIK.dll") + "\" " +
                          std::to_string(kRounds);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child))
      report(__LINE__, "cannot start " + command);
  }
  for (PROCESS_INFORMATION& child : children) {
    if (child.hProcess == nullptr) continue;
    DWORD code = 99;
    if (WaitForSingleObject(child.hProcess, 180000) != WAIT_OBJECT_0) {
      report(__LINE__, "child did not finish");
      TerminateProcess(child.hProcess, 98);
    }
    GetExitCodeProcess(child.hProcess, &code);
    CHECK_EQ(static_cast<long long>(code), 0);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
  }
  // An even number of toggles in all: a lost one would leave it running.
  CHECK_EQ(slurp(state), state_text(0, 1, 7, 3));
  // Every line whole, none lost; each process has its own clock, so only
  // the counts can be compared.
  int toggles = 0, clients = 0, offline = 0, other = 0;
  for (const Entry& e : read_journal(log)) {
    if (e.call == "set 5") ++toggles;
    else if (e.call == "get 6 -> 7") ++clients;
    else if (e.call == "get 7 -> 3") ++offline;
    else ++other;
  }
  CHECK_EQ(toggles, kProcesses * kRounds);
  CHECK_EQ(clients, kProcesses * kRounds);
  CHECK_EQ(offline, kProcesses * kRounds);
  CHECK_EQ(other, 0);
  CHECK_EQ(unexpected_files(dir.path(), {"TALVIK.dll", "state.ini", "journal.log", "talvik-sim.ini",
                                         "talvik-sim.log", "race.ini", "race.log"}),
           "");
}

// --- The settings dialog -------------------------------------------------

constexpr char kDialogTitle[] = "Simulated unit library";

struct DialogCall {
  StatusFn set = nullptr;
  HANDLE thread = nullptr;
  DWORD thread_id = 0;
  int result = -1;
  volatile LONG ticks = 0;
};

DialogCall* g_call;

void CALLBACK count_tick(HWND, UINT, UINT_PTR, DWORD) { InterlockedIncrement(&g_call->ticks); }

// The caller's side: a thread with a timer of its own, as the manager has,
// that opens the dialog.
DWORD WINAPI open_dialog(LPVOID param) {
  auto* call = static_cast<DialogCall*>(param);
  const UINT_PTR timer = SetTimer(nullptr, 0, 25, count_tick);
  call->result = call->set(11);
  KillTimer(nullptr, timer);
  return 0;
}

void start_dialog(DialogCall& call, StatusFn set) {
  call.set = set;
  call.ticks = 0;
  call.result = -1;
  g_call = &call;
  call.thread = CreateThread(nullptr, 0, open_dialog, &call, 0, &call.thread_id);
}

bool finish_dialog(DialogCall& call) {
  const bool done = WaitForSingleObject(call.thread, 10000) == WAIT_OBJECT_0;
  if (!done) report(__LINE__, "TV_SetStatus(11) did not return after the dialog closed");
  CloseHandle(call.thread);
  return done;
}

BOOL CALLBACK find_titled(HWND window, LPARAM found) {
  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  if (lstrcmpA(title, kDialogTitle) != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The dialog of the calling thread: other processes (other tests, the
// manager) may have one with the same title open at the same time.
HWND wait_dialog(const DialogCall& call) {
  for (int i = 0; i < 300; ++i) {
    HWND found = nullptr;
    EnumThreadWindows(call.thread_id, find_titled, reinterpret_cast<LPARAM>(&found));
    if (found != nullptr) return found;
    Sleep(50);
  }
  report(__LINE__, "the settings dialog did not appear");
  return nullptr;
}

BOOL CALLBACK count_own_titled(HWND window, LPARAM counter) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  if (process == GetCurrentProcessId() && lstrcmpA(title, kDialogTitle) == 0)
    ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

std::string item_text(HWND dialog, int id) {
  char text[MAX_PATH * 2] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

void press(HWND dialog, int id) {
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void check_dialog(const Dll& dll, const Folder& dir) {
  const std::string state = dir / "dialog.ini";
  const std::string log = dir / "dialog.log";
  set_env("TALVIK_SIM_STATE", state);
  set_env("TALVIK_SIM_LOG", log);
  put(state, state_text(0, 0, 2, 1) + "speed=1\n");

  // OK: invalid counts are refused, valid ones saved, merged with what the
  // file says by then.
  DialogCall call;
  start_dialog(call, dll.set);
  HWND dialog = wait_dialog(call);
  if (dialog == nullptr) return;
  CHECK(GetWindow(dialog, GW_OWNER) == nullptr);
  CHECK_EQ(static_cast<long long>(GetWindowThreadProcessId(dialog, nullptr)), call.thread_id);
  CHECK_EQ(IsDlgButtonChecked(dialog, IDC_SIM_RUNNING), BST_UNCHECKED);
  CHECK_EQ(item_text(dialog, IDC_SIM_RUNNING), "&Running");
  CHECK_EQ(item_text(dialog, IDC_SIM_CLIENTS), "2");
  CHECK_EQ(item_text(dialog, IDC_SIM_OFFLINE), "1");
  CHECK_EQ(item_text(dialog, IDC_SIM_PATH), state);
  CHECK_EQ(item_text(dialog, IDOK), "OK");
  CHECK_EQ(item_text(dialog, IDCANCEL), "Cancel");

  // The library stays usable while the dialog is open, and a second request
  // does not open a second dialog.
  CHECK_EQ(dll.get(6), 2);
  DialogCall again;
  start_dialog(again, dll.set);
  if (WaitForSingleObject(again.thread, 3000) == WAIT_OBJECT_0) {
    CHECK_EQ(again.result, 0);
  } else {
    report(__LINE__, "a second TV_SetStatus(11) blocked: it opened a second dialog");
    if (HWND second = wait_dialog(again)) press(second, IDCANCEL);
    WaitForSingleObject(again.thread, 10000);
  }
  CloseHandle(again.thread);
  g_call = &call;
  int dialogs = 0;
  EnumWindows(count_own_titled, reinterpret_cast<LPARAM>(&dialogs));
  CHECK_EQ(dialogs, 1);
  CHECK_EQ(dll.set(10), 0);
  const std::string initialised = state_text(1, 1, 2, 1);
  CHECK_EQ(slurp(state), initialised);

  SendDlgItemMessageA(dialog, IDC_SIM_RUNNING, BM_SETCHECK, BST_UNCHECKED, 0);
  SetDlgItemTextA(dialog, IDC_SIM_OFFLINE, "0");
  for (const char* bad : {"abc", "-1", "", "1.5", "99999999999"}) {
    SetDlgItemTextA(dialog, IDC_SIM_CLIENTS, bad);
    press(dialog, IDOK);
    Sleep(100);
    if (!IsWindow(dialog)) {
      report(__LINE__, std::string("dialog closed on clients [") + bad + "]");
      break;
    }
  }
  CHECK_EQ(slurp(state), initialised);
  Sleep(300);  // long enough for the caller's timer to tick
  SetDlgItemTextA(dialog, IDC_SIM_CLIENTS, " 5 ");
  press(dialog, IDOK);
  if (finish_dialog(call)) {
    CHECK_EQ(call.result, 0);
    CHECK(call.ticks >= 3);
  }
  CHECK(!IsWindow(dialog));
  const std::string saved = state_text(0, 1, 5, 0);
  CHECK_EQ(slurp(state), saved);

  // Cancel and the close box both discard the changes, and leave alone what
  // changed in the file while the dialog was open.
  for (bool close_box : {false, true}) {
    start_dialog(call, dll.set);
    dialog = wait_dialog(call);
    if (dialog == nullptr) return;
    CHECK_EQ(IsDlgButtonChecked(dialog, IDC_SIM_RUNNING), BST_UNCHECKED);
    CHECK_EQ(item_text(dialog, IDC_SIM_CLIENTS), close_box ? "8" : "5");
    CHECK_EQ(item_text(dialog, IDC_SIM_OFFLINE), "0");
    SendDlgItemMessageA(dialog, IDC_SIM_RUNNING, BM_SETCHECK, BST_CHECKED, 0);
    SetDlgItemTextA(dialog, IDC_SIM_CLIENTS, "9");
    const std::string current = state_text(0, 1, close_box ? 6 : 8, 0);
    put(state, current);
    if (close_box)
      SendMessageA(dialog, WM_CLOSE, 0, 0);
    else
      press(dialog, IDCANCEL);
    if (finish_dialog(call)) CHECK_EQ(call.result, 0);
    CHECK_EQ(slurp(state), current);
  }
  check_journal(log, {"set 11", "get 6 -> 2", "set 11", "set 10", "set 11", "set 11"});
  CHECK_EQ(unexpected_files(dir.path(), {"TALVIK.dll", "dialog.ini", "dialog.log"}), "");
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode;
  int arg = 1;
  if (arg < argc && argv[arg][0] == '-') mode = argv[arg++];
  if (mode == "--hammer" && argc == 4) return hammer(argv[2], std::atoi(argv[3]));
  const std::string dll_path = arg < argc ? argv[arg] : folder_of(exe_path()) + "\\TALVIK.dll";
  if (mode == "--show") {
    Dll dll;
    if (!load(dll_path, dll)) return 1;
    dll.set(11);
    std::printf("running=%d clients=%d offline=%d\n", dll.get(2), dll.get(6), dll.get(7));
    return 0;
  }
  if (!mode.empty() && mode != "--dialog") {
    std::fprintf(stderr, "usage: talvik_sim_check [--dialog|--show] [DLL]\n");
    return 2;
  }
  {
    Folder dir;
    Dll dll;
    if (load_copy(dll_path, dir, dll)) {
      if (mode == "--dialog") {
        check_dialog(dll, dir);
      } else {
        check_calls_and_files(dll, dir);
        check_default_paths(dll, dir);
        check_two_processes(dir);
      }
      FreeLibrary(dll.module);
    }
  }
  std::printf("talvik_sim_check%s: %s\n", mode.c_str(), g_failures == 0 ? "all checks passed" : "FAILED");
  return g_failures == 0 ? 0 : 1;
}
