// Simulated TALVIK.dll: answers the manager from a small state file and
// journals every call, so the manager can be run and tested without units.
// The rules live in simcore; this file does the file, mutex and dialog work.
#include <windows.h>

#include <string>

#include "TALVIK.h"
#include "simcore.h"
#include "talvik_sim_res.h"

namespace {

using talvik_sim::State;

HINSTANCE g_module;
LARGE_INTEGER g_loaded;
LARGE_INTEGER g_frequency;
// One settings dialog at a time: the caller's message loop keeps running
// while it is open, so its menu can ask for it again.
volatile LONG g_dialog_open;
HWND volatile g_dialog;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Another program (an editor, a virus scanner) may hold a file for a moment.
constexpr int kRetries = 50;
constexpr DWORD kRetryDelayMs = 10;

bool transient(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

std::uint64_t elapsed_ms() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return talvik_sim::ticks_to_ms(static_cast<std::uint64_t>(now.QuadPart - g_loaded.QuadPart),
                                 static_cast<std::uint64_t>(g_frequency.QuadPart));
}

std::string module_path() {
  std::string buf(MAX_PATH, '\0');
  while (buf.size() <= 32768) {
    const DWORD n = GetModuleFileNameA(g_module, &buf[0], static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return buf.substr(0, n);
    buf.resize(buf.size() * 2);
  }
  return std::string();
}

// The variable's value, or `name` beside this DLL when it is unset or empty.
std::string file_path(const char* variable, const char* name) {
  std::string buf(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetEnvironmentVariableA(variable, &buf[0], static_cast<DWORD>(buf.size()));
    if (n == 0) break;
    if (n < buf.size()) return buf.substr(0, n);
    buf.resize(n);  // n is the size needed, with the terminator
  }
  return talvik_sim::sibling_path(module_path(), name);
}

std::string state_path() { return file_path("TALVIK_SIM_STATE", "talvik-sim.ini"); }
std::string journal_path() { return file_path("TALVIK_SIM_LOG", "talvik-sim.log"); }

HANDLE open_retrying(const std::string& path, DWORD access, DWORD disposition) {
  for (int attempt = 0;; ++attempt) {
    HANDLE h = CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE || attempt == kRetries || !transient(GetLastError())) return h;
    Sleep(kRetryDelayMs);
  }
}

State read_state(const std::string& path) {
  HANDLE h = open_retrying(path, GENERIC_READ, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return State();  // missing (or unreadable): all zero
  // One byte past the limit tells a file that is exactly the limit from a
  // longer one.
  std::string text(talvik_sim::kMaxFileSize + 1, '\0');
  DWORD total = 0;
  while (total < text.size()) {
    DWORD got = 0;
    if (!ReadFile(h, &text[total], static_cast<DWORD>(text.size() - total), &got, nullptr) ||
        got == 0)
      break;
    total += got;
  }
  CloseHandle(h);
  const bool truncated = total > talvik_sim::kMaxFileSize;
  text.resize(truncated ? talvik_sim::kMaxFileSize : total);
  return talvik_sim::parse_state(text, truncated);
}

bool write_all(HANDLE h, const std::string& text) {
  DWORD written = 0;
  return WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// Replaces the file whole: a reader sees the old text or the new, never a
// part.
void write_state(const std::string& path, const State& state) {
  const std::string text = talvik_sim::format_state(state);
  const std::string stem = path + ".~" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(GetCurrentThreadId()) + "-";
  std::string tmp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (unsigned n = 0; n < 100 && h == INVALID_HANDLE_VALUE; ++n) {
    tmp = stem + std::to_string(n) + ".tmp";
    h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return;
  }
  if (h == INVALID_HANDLE_VALUE) return;
  const bool ok = write_all(h, text);
  CloseHandle(h);
  if (ok) {
    for (int attempt = 0;; ++attempt) {
      if (MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
      if (attempt == kRetries || !transient(GetLastError())) break;
      Sleep(kRetryDelayMs);
    }
  }
  DeleteFileA(tmp.c_str());
}

// Clients in other folders may name the same file by a relative path.
std::string full_path(const std::string& path) {
  char buf[MAX_PATH * 4];
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : path;
}

// Serialises work on one file across threads and processes: read-change-
// write of the state, so two clients toggling at once lose neither toggle,
// and appends to the journal.
class FileLock {
 public:
  FileLock(const char* purpose, const std::string& path)
      : mutex_(CreateMutexA(nullptr, FALSE, talvik_sim::lock_name(purpose, full_path(path)).c_str())) {
    // A simulator must never hang its caller: after a while go on unlocked.
    if (mutex_ != nullptr) {
      const DWORD r = WaitForSingleObject(mutex_, 5000);
      owned_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
    }
  }
  ~FileLock() {
    if (owned_) ReleaseMutex(mutex_);
    if (mutex_ != nullptr) CloseHandle(mutex_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  HANDLE mutex_;
  bool owned_ = false;
};

template <typename Change>
void change_state(Change change) {
  const std::string path = state_path();
  FileLock lock("state", path);
  const State before = read_state(path);
  State after = before;
  change(after);
  if (after != before) write_state(path, after);
}

// One line, one WriteFile on an append handle: lines of several processes
// interleave but never mix. Windows appends such a write atomically; Wine
// does not (it writes at the size it last saw), hence the lock as well.
void journal(const std::string& line) {
  const std::string path = journal_path();
  FileLock lock("log", path);
  HANDLE h = open_retrying(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) return;
  write_all(h, line);
  CloseHandle(h);
}

struct DialogData {
  State state;
  std::string path;
};

bool read_count(HWND dialog, int id, int& out) {
  char text[64] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  if (talvik_sim::parse_count(text, out)) return true;
  MessageBeep(MB_ICONWARNING);
  HWND edit = GetDlgItem(dialog, id);
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  return false;
}

INT_PTR CALLBACK settings_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* data = reinterpret_cast<DialogData*>(lparam);
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      g_dialog = dialog;
      CheckDlgButton(dialog, IDC_SIM_RUNNING, data->state.running != 0 ? BST_CHECKED : BST_UNCHECKED);
      SetDlgItemInt(dialog, IDC_SIM_CLIENTS, static_cast<UINT>(data->state.clients), TRUE);
      SetDlgItemInt(dialog, IDC_SIM_OFFLINE, static_cast<UINT>(data->state.offline), TRUE);
      SendDlgItemMessageA(dialog, IDC_SIM_CLIENTS, EM_SETLIMITTEXT, 11, 0);
      SendDlgItemMessageA(dialog, IDC_SIM_OFFLINE, EM_SETLIMITTEXT, 11, 0);
      SetDlgItemTextA(dialog, IDC_SIM_PATH, data->path.c_str());
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK: {
          auto* data = reinterpret_cast<DialogData*>(GetWindowLongPtrA(dialog, DWLP_USER));
          int clients = 0;
          int offline = 0;
          if (!read_count(dialog, IDC_SIM_CLIENTS, clients) ||
              !read_count(dialog, IDC_SIM_OFFLINE, offline))
            return TRUE;
          data->state.running = IsDlgButtonChecked(dialog, IDC_SIM_RUNNING) == BST_CHECKED ? 1 : 0;
          data->state.clients = clients;
          data->state.offline = offline;
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

struct DialogOpen {
  DialogOpen() = default;
  ~DialogOpen() {
    g_dialog = nullptr;
    InterlockedExchange(&g_dialog_open, 0);
  }
  DialogOpen(const DialogOpen&) = delete;
  DialogOpen& operator=(const DialogOpen&) = delete;
};

void settings_dialog() {
  if (InterlockedCompareExchange(&g_dialog_open, 1, 0) != 0) {
    if (HWND open = g_dialog) SetForegroundWindow(open);
    return;
  }
  const DialogOpen open;
  DialogData data;
  data.path = state_path();
  data.state = read_state(data.path);
  // No owner and a modal loop of its own: the caller's windows and timers
  // keep working while a person edits.
  const INT_PTR result = DialogBoxParamA(g_module, MAKEINTRESOURCEA(IDD_SIM_SETTINGS), nullptr,
                                         settings_proc, reinterpret_cast<LPARAM>(&data));
  if (result == IDOK) {
    // Merge into the file as it is now: it may have changed while the
    // dialog was open, and the dialog does not show `initialised`.
    FileLock lock("state", data.path);
    const State before = read_state(data.path);
    State after = before;
    after.running = data.state.running;
    after.clients = data.state.clients;
    after.offline = data.state.offline;
    if (after != before) write_state(data.path, after);
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    QueryPerformanceFrequency(&g_frequency);
    QueryPerformanceCounter(&g_loaded);
  }
  return TRUE;
}

// Exceptions (only std::bad_alloc can arise) must not cross into the caller.

extern "C" int WINAPI TV_GetStatus(int query) {
  try {
    const int value = talvik_sim::query_value(read_state(state_path()), query);
    journal(talvik_sim::journal_get(elapsed_ms(), query, value));
    return value;
  } catch (...) {
    return 0;
  }
}

extern "C" int WINAPI TV_SetStatus(int command) {
  try {
    journal(talvik_sim::journal_set(elapsed_ms(), command));
    if (command == talvik_sim::kCommandSettings) {
      settings_dialog();
    } else {
      // Unknown commands leave the state as it is, so nothing is written.
      change_state([command](State& s) { talvik_sim::apply_command(s, command); });
    }
  } catch (...) {
  }
  return 0;
}

extern "C" int WINAPI DLLEXIT(void) {
  try {
    journal(talvik_sim::journal_exit(elapsed_ms()));
    change_state(talvik_sim::apply_exit);
  } catch (...) {
  }
  return 0;
}
