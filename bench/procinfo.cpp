// Leak counters of other Windows processes of the same prefix, read from
// outside so the measured program runs unchanged: the open-handle count the
// system keeps for each process, and the live entries of the process's GDI
// handle table (found through its PEB; Wine's GetGuiResources is a stub).
//   procinfo NAME.exe...   one line per matching process
//   procinfo --self-test   shows whether the handle count follows real handles
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr ULONG kGdiEntries = 65536;
constexpr SIZE_T kGdiEntrySize = 24;
constexpr SIZE_T kGdiTypeOffset = 14;
// Offset of GdiSharedHandleTable in the PEB of a process of our own
// bitness (the table's entries are 24 bytes in Wine either way).
#ifdef _WIN64
constexpr SIZE_T kPebGdiTable = 0xF8;
#else
constexpr SIZE_T kPebGdiTable = 0x94;
#endif

// The system-wide handle list (information class 16): one entry per open
// handle with its owner, so a process's handles can be counted exactly.
// Wine's per-process HandleCount is the size of the handle table, which only
// grows in powers of two.
constexpr SYSTEM_INFORMATION_CLASS kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
struct HandleEntry {
  ULONG owner_pid;
  BYTE object_type;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};
struct HandleList {
  ULONG count;
  HandleEntry entry[1];
};

std::vector<unsigned char> query(SYSTEM_INFORMATION_CLASS what) {
  std::vector<unsigned char> buf(1 << 20);
  for (;;) {
    ULONG need = 0;
    NTSTATUS s = NtQuerySystemInformation(what, buf.data(), static_cast<ULONG>(buf.size()), &need);
    if (s >= 0) return buf;
    if (buf.size() > (64u << 20)) return {};
    buf.resize(need > buf.size() ? need + 4096 : buf.size() * 2);
  }
}

// Open handles of a process, or -1 when the list is not available.
long open_handles(DWORD pid) {
  std::vector<unsigned char> buf = query(kSystemHandleInformation);
  if (buf.empty()) return -1;
  const auto* list = reinterpret_cast<const HandleList*>(buf.data());
  long n = 0;
  for (ULONG i = 0; i < list->count; ++i)
    if (list->entry[i].owner_pid == pid) ++n;
  return n;
}

std::vector<unsigned char> process_snapshot() { return query(SystemProcessInformation); }

// Live GDI objects of a process, or -1 when its table cannot be read.
long gdi_objects(HANDLE process) {
  PROCESS_BASIC_INFORMATION pbi = {};
  ULONG got = 0;
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &pbi, sizeof pbi, &got) < 0 ||
      !pbi.PebBaseAddress)
    return -1;
  ULONG_PTR table = 0;
  SIZE_T n = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<const char*>(pbi.PebBaseAddress) + kPebGdiTable,
                         &table, sizeof table, &n) ||
      n != sizeof table || table == 0)
    return -1;
  // Page by page: a part of the table may not be committed; such pages read
  // as empty.
  const SIZE_T total = kGdiEntries * kGdiEntrySize;
  const SIZE_T page = 4096;
  std::vector<unsigned char> copy(total, 0);
  bool any = false;
  for (SIZE_T off = 0; off < total; off += page) {
    SIZE_T want = total - off < page ? total - off : page;
    if (ReadProcessMemory(process, reinterpret_cast<const void*>(table + off), &copy[off], want, &n))
      any = true;
  }
  long live = 0;
  for (SIZE_T e = 0; e < total; e += kGdiEntrySize)
    if (copy[e + kGdiTypeOffset] != 0) ++live;
  return any ? live : -1;
}

bool name_matches(const UNICODE_STRING& image, const char* want) {
  if (!image.Buffer) return false;
  std::wstring name(image.Buffer, image.Length / sizeof(wchar_t));
  size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name = name.substr(slash + 1);
  std::string narrow;
  for (wchar_t c : name) narrow += static_cast<char>(c < 128 ? c : '?');
  return lstrcmpiA(narrow.c_str(), want) == 0;
}

void report(const char* want) {
  std::vector<unsigned char> snap = process_snapshot();
  bool found = false;
  for (size_t off = 0; !snap.empty();) {
    const auto* p = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(snap.data() + off);
    if (name_matches(p->ImageName, want)) {
      const DWORD pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(p->UniqueProcessId));
      long api = -1, gdi = -1;
      HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
      if (h) {
        DWORD count = 0;
        if (GetProcessHandleCount(h, &count)) api = static_cast<long>(count);
        gdi = gdi_objects(h);
        CloseHandle(h);
      }
      std::printf("%s winpid=%lu handles=%ld table=%lu handles_api=%ld gdi=%ld\n", want,
                  static_cast<unsigned long>(pid), open_handles(pid),
                  static_cast<unsigned long>(p->HandleCount), api, gdi);
      found = true;
    }
    if (p->NextEntryOffset == 0) break;
    off += p->NextEntryOffset;
  }
  if (!found) std::printf("%s absent\n", want);
}

unsigned long own_handles() {
  std::vector<unsigned char> snap = process_snapshot();
  const DWORD self = GetCurrentProcessId();
  for (size_t off = 0; !snap.empty();) {
    const auto* p = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(snap.data() + off);
    if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(p->UniqueProcessId)) == self)
      return p->HandleCount;
    if (p->NextEntryOffset == 0) break;
    off += p->NextEntryOffset;
  }
  return 0;
}

void self_test() {
  DWORD api0 = 0, api1 = 0;
  GetProcessHandleCount(GetCurrentProcess(), &api0);
  unsigned long before = own_handles();
  long exact0 = open_handles(GetCurrentProcessId());
  std::vector<HANDLE> events;
  for (int i = 0; i < 100; ++i) events.push_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  unsigned long after = own_handles();
  long exact1 = open_handles(GetCurrentProcessId());
  GetProcessHandleCount(GetCurrentProcess(), &api1);
  long gdi0 = gdi_objects(GetCurrentProcess());
  HDC dc = CreateCompatibleDC(nullptr);
  std::vector<HBRUSH> brushes;
  for (int i = 0; i < 10; ++i) brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
  long gdi1 = gdi_objects(GetCurrentProcess());
  for (int i = 0; i < 10; ++i) brushes.push_back(CreateSolidBrush(RGB(0, i, 0)));
  long gdi2 = gdi_objects(GetCurrentProcess());
  std::printf("handles: %ld -> %ld after 100 events (table: %lu -> %lu, api: %lu -> %lu)\n",
              exact0, exact1, before, after, static_cast<unsigned long>(api0),
              static_cast<unsigned long>(api1));
  std::printf("gdi: %ld -> %ld after a DC and 10 brushes, %ld after 10 more\n", gdi0, gdi1, gdi2);
  for (HBRUSH b : brushes) DeleteObject(b);
  DeleteDC(dc);
  for (HANDLE e : events) CloseHandle(e);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--self-test") == 0) {
    self_test();
    return 0;
  }
  for (int i = 1; i < argc; ++i) report(argv[i]);
  std::fflush(stdout);
  return 0;
}
