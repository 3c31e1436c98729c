#include "simcore.h"

#include <climits>

namespace talvik_sim {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

int* field(State& state, std::string_view key) {
  if (key == "running") return &state.running;
  if (key == "initialised") return &state.initialised;
  if (key == "clients") return &state.clients;
  if (key == "offline") return &state.offline;
  return nullptr;
}

void read_line(State& state, std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // CRLF line end
  if (line.size() > kMaxLineLength) return;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return;
  int* target = field(state, trim(line.substr(0, eq)));
  int value = 0;
  if (target != nullptr && parse_int(line.substr(eq + 1), value)) *target = value;
}

}  // namespace

bool operator==(const State& a, const State& b) {
  return a.running == b.running && a.initialised == b.initialised && a.clients == b.clients &&
         a.offline == b.offline;
}

bool parse_int(std::string_view text, int& out) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  // Magnitude limit of the sign, so INT_MIN is accepted and INT_MAX+1 not.
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) return false;
  }
  out = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

bool parse_count(std::string_view text, int& out) {
  int value = 0;
  if (!parse_int(text, value) || value < 0) return false;
  out = value;
  return true;
}

State parse_state(std::string_view text, bool truncated) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
  State state;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    if (nl == std::string_view::npos) {
      if (!truncated) read_line(state, text);
      break;
    }
    read_line(state, text.substr(0, nl));
    text.remove_prefix(nl + 1);
  }
  return state;
}

std::string format_state(const State& state) {
  return "running=" + std::to_string(state.running) + "\ninitialised=" +
         std::to_string(state.initialised) + "\nclients=" + std::to_string(state.clients) +
         "\noffline=" + std::to_string(state.offline) + "\n";
}

int query_value(const State& state, int query) {
  switch (query) {
    case kQueryRunning: return state.running;
    case kQueryInitialised: return state.initialised;
    case kQueryClients: return state.clients;
    case kQueryOffline: return state.offline;
    default: return 0;
  }
}

bool apply_command(State& state, int command) {
  switch (command) {
    case kCommandToggle:
      state.running = state.running != 0 ? 0 : 1;
      return true;
    case kCommandInitialise:
      state.initialised = 1;
      state.running = 1;
      return true;
    default:
      return false;
  }
}

void apply_exit(State& state) { state.running = 0; }

std::string journal_get(std::uint64_t ms, int query, int value) {
  return std::to_string(ms) + " get " + std::to_string(query) + " -> " + std::to_string(value) +
         "\n";
}

std::string journal_set(std::uint64_t ms, int command) {
  return std::to_string(ms) + " set " + std::to_string(command) + "\n";
}

std::string journal_exit(std::uint64_t ms) { return std::to_string(ms) + " exit\n"; }

std::uint64_t ticks_to_ms(std::uint64_t ticks, std::uint64_t frequency) {
  if (frequency == 0) return 0;
  // Whole seconds and the remainder apart, so ticks * 1000 never overflows.
  return ticks / frequency * 1000 + ticks % frequency * 1000 / frequency;
}

std::string sibling_path(std::string_view file, std::string_view name) {
  const std::size_t sep = file.find_last_of("\\/");
  if (sep == std::string_view::npos) return std::string(name);
  return std::string(file.substr(0, sep + 1)) + std::string(name);
}

std::string lock_name(std::string_view purpose, std::string_view path) {
  // FNV-1a over the path as Windows compares it: a mutex name may not hold
  // backslashes, and a hash keeps it short.
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : path) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string name = "Local\\talvik-sim-" + std::string(purpose) + "-";
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(hash >> shift) & 0xF];
  return name;
}

}  // namespace talvik_sim
