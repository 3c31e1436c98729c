// Portable core of the simulated TALVIK unit library: the state file's text,
// the journal's lines and a few path helpers. No Windows calls here, so the
// host can test every rule the DLL applies.
#ifndef QELMNG_SIM_SIMCORE_H
#define QELMNG_SIM_SIMCORE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace talvik_sim {

// What the real library reports through TV_GetStatus.
struct State {
  int running = 0;
  int initialised = 0;
  int clients = 0;
  int offline = 0;
};

bool operator==(const State& a, const State& b);
inline bool operator!=(const State& a, const State& b) { return !(a == b); }

enum Query : int {
  kQueryRunning = 2,
  kQueryInitialised = 3,
  kQueryClients = 6,
  kQueryOffline = 7,
};

enum Command : int {
  kCommandToggle = 5,
  kCommandInitialise = 10,
  kCommandSettings = 11,
};

// A line longer than this (without its line end) is ignored whole: nobody
// writes such a line by hand, and cutting it could turn junk into a value.
constexpr std::size_t kMaxLineLength = 256;
// The DLL reads at most this much of the state file.
constexpr std::size_t kMaxFileSize = 64 * 1024;

// Decimal int with an optional sign, blanks (space, tab, CR) around it
// allowed; anything else, or a value outside int, is rejected.
bool parse_int(std::string_view text, int& out);

// A count typed into the settings dialog: parse_int, and not negative.
bool parse_count(std::string_view text, int& out);

// Reads key=value lines (LF or CRLF, a UTF-8 BOM at the start skipped).
// Blanks around key and value are trimmed, keys are case-sensitive, the
// last valid line for a key wins, anything else is ignored. With
// `truncated` set the text was cut short, so its last unterminated line is
// dropped rather than read as a shorter value.
State parse_state(std::string_view text, bool truncated = false);

// The canonical file: all four keys, one per line, LF line ends. Unknown
// keys of the file read before are not carried over.
std::string format_state(const State& state);

// TV_GetStatus's answer: the four known queries, 0 for every other.
int query_value(const State& state, int query);

// Applies a state command of TV_SetStatus (5 and 10). Returns whether the
// command is one of them; the settings command and unknown ones are not.
bool apply_command(State& state, int command);

// DLLEXIT: the client detaches, the unit stops.
void apply_exit(State& state);

// Journal lines, each ending in LF, written with a single call.
std::string journal_get(std::uint64_t ms, int query, int value);
std::string journal_set(std::uint64_t ms, int command);
std::string journal_exit(std::uint64_t ms);

// Whole milliseconds in `ticks` of a counter running at `frequency` per
// second, without overflowing for any tick count.
std::uint64_t ticks_to_ms(std::uint64_t ticks, std::uint64_t frequency);

// `name` in the folder of `file` (either slash); just `name` if `file` has
// no folder.
std::string sibling_path(std::string_view file, std::string_view name);

// Name of a mutex that serialises work on one file across processes (a
// state file's rewrites, a journal's appends; `purpose` tells them apart):
// the same for spellings of a path that differ only in letter case or slash
// direction, as Windows file names do.
std::string lock_name(std::string_view purpose, std::string_view path);

}  // namespace talvik_sim

#endif  // QELMNG_SIM_SIMCORE_H
