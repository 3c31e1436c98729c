// Host tests of the simulated unit library's portable core.
#include "simcore.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace talvik_sim {

// Found by gtest through the argument's namespace, so failures show values.
void PrintTo(const State& s, std::ostream* os) {
  *os << "{running=" << s.running << " initialised=" << s.initialised << " clients=" << s.clients
      << " offline=" << s.offline << "}";
}

namespace {

using namespace std::string_literals;

State make(int running, int initialised, int clients, int offline) {
  State s;
  s.running = running;
  s.initialised = initialised;
  s.clients = clients;
  s.offline = offline;
  return s;
}

struct ParseCase {
  const char* name;
  std::string text;
  State expected;
};

std::vector<ParseCase> parse_cases() {
  const std::string overlong_value = "clients=" + std::string(kMaxLineLength, '0') + "5";
  return {
      {"empty", "", make(0, 0, 0, 0)},
      {"all four", "running=1\ninitialised=1\nclients=3\noffline=2\n", make(1, 1, 3, 2)},
      {"any order, no final newline", "offline=4\nclients=9\nrunning=1", make(1, 0, 9, 4)},
      {"crlf", "running=1\r\ninitialised=1\r\nclients=12\r\noffline=0\r\n", make(1, 1, 12, 0)},
      {"lone cr kept as blank", "clients=5\r\r\n", make(0, 0, 5, 0)},
      {"blanks trimmed", "  running = 1 \n\tclients\t=\t7\t\n", make(1, 0, 7, 0)},
      {"bom at start", "\xEF\xBB\xBFrunning=1\n", make(1, 0, 0, 0)},
      {"bom not at start is junk", "clients=2\n\xEF\xBB\xBFrunning=1\n", make(0, 0, 2, 0)},
      {"signs", "clients=+8\noffline=-3\n", make(0, 0, 8, -3)},
      {"leading zeros", "clients=007\n", make(0, 0, 7, 0)},
      {"int range ends", "clients=2147483647\noffline=-2147483648\n",
       make(0, 0, INT_MAX, INT_MIN)},
      {"overflow ignored", "clients=2147483648\noffline=-2147483649\nrunning=99999999999999999999\n",
       make(0, 0, 0, 0)},
      {"overflow keeps earlier value", "clients=4\nclients=4294967296\n", make(0, 0, 4, 0)},
      {"last valid duplicate wins", "clients=1\nclients=2\nclients=x\n", make(0, 0, 2, 0)},
      {"no equals sign", "running\nclients 5\nclients=6\n", make(0, 0, 6, 0)},
      {"empty value or key", "running=\n=1\nclients= \n", make(0, 0, 0, 0)},
      {"non-numeric", "running=yes\nclients=5x\noffline=1 2\ninitialised=0x1\n",
       make(0, 0, 0, 0)},
      {"bare sign", "clients=-\noffline=+\n", make(0, 0, 0, 0)},
      {"second equals sign", "clients=5=6\n", make(0, 0, 0, 0)},
      {"keys are case-sensitive", "Running=1\nCLIENTS=4\n", make(0, 0, 0, 0)},
      {"unknown keys and comments", "[unit]\n; note\n# running=1\nspeed=3\nrunning=1\n",
       make(1, 0, 0, 0)},
      {"nul byte in line", "clients=5\0\nrunning=1\n"s, make(1, 0, 0, 0)},
      {"overlong line ignored whole", overlong_value + "\nrunning=1\n", make(1, 0, 0, 0)},
      {"blank lines", "\n\n  \r\nrunning=1\n\n", make(1, 0, 0, 0)},
  };
}

TEST(SimStateParse, Table) {
  for (const ParseCase& c : parse_cases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parse_state(c.text), c.expected);
  }
}

TEST(SimStateParse, LongestLineBoundary) {
  // The cases above rely on these being exactly at and one past the limit.
  const std::string at = "clients=" + std::string(kMaxLineLength - 9, ' ') + "5";
  ASSERT_EQ(at.size(), kMaxLineLength);
  EXPECT_EQ(parse_state(at).clients, 5);
  EXPECT_EQ(parse_state(" " + at).clients, 0);
  // The CR of a CRLF line end is not part of the line.
  EXPECT_EQ(parse_state(at + "\r\n").clients, 5);
  EXPECT_EQ(parse_state(at + "\r\r\n").clients, 0);
}

TEST(SimStateParse, TruncatedTextDropsItsLastLine) {
  // Cut mid-value, "clients=12" must not read as 1.
  EXPECT_EQ(parse_state("running=1\nclients=1", true), make(1, 0, 0, 0));
  EXPECT_EQ(parse_state("running=1\nclients=1", false), make(1, 0, 1, 0));
  EXPECT_EQ(parse_state("running=1\n", true), make(1, 0, 0, 0));
}

TEST(SimStateParse, HugeInputWithoutNewlines) {
  const std::string junk(kMaxFileSize, 'x');
  EXPECT_EQ(parse_state(junk + "\nrunning=1"), make(1, 0, 0, 0));
  EXPECT_EQ(parse_state("running=1" + junk), make(0, 0, 0, 0));
}

TEST(SimInt, Table) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  };
  const Case cases[] = {
      {"0", true, 0},           {"42", true, 42},          {" 42\t", true, 42},
      {"-0", true, 0},          {"+1", true, 1},           {"-2147483648", true, INT_MIN},
      {"2147483647", true, INT_MAX},
      {"2147483648", false, 0}, {"-2147483649", false, 0}, {"", false, 0},
      {"  ", false, 0},         {"-", false, 0},           {"1.5", false, 0},
      {"1e3", false, 0},        {"--1", false, 0},         {"- 1", false, 0},
      {"0x10", false, 0},       {"12a", false, 0},
      {"000000000000000000000000000001", true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int value = -12345;
    EXPECT_EQ(parse_int(c.text, value), c.ok);
    EXPECT_EQ(value, c.ok ? c.value : -12345) << "a rejected text must leave the output alone";
  }
}

TEST(SimInt, CountRejectsNegative) {
  int value = 9;
  EXPECT_TRUE(parse_count(" 3 ", value));
  EXPECT_EQ(value, 3);
  EXPECT_FALSE(parse_count("-1", value));
  EXPECT_FALSE(parse_count("abc", value));
  EXPECT_EQ(value, 3);
}

TEST(SimStateFormat, CanonicalText) {
  EXPECT_EQ(format_state(make(1, 0, 12, -3)), "running=1\ninitialised=0\nclients=12\noffline=-3\n");
}

TEST(SimStateFormat, RoundTrip) {
  const State states[] = {make(0, 0, 0, 0), make(1, 1, 3, 2), make(0, 1, INT_MAX, INT_MIN),
                          make(-1, 7, 100, 0)};
  for (const State& s : states) {
    SCOPED_TRACE(format_state(s));
    EXPECT_EQ(parse_state(format_state(s)), s);
    // A rewrite of a rewrite is byte-identical.
    EXPECT_EQ(format_state(parse_state(format_state(s))), format_state(s));
  }
}

TEST(SimStateFormat, RewriteDropsUnknownKeys) {
  const State s = parse_state("speed=3\nclients=2\n[x]\n");
  EXPECT_EQ(format_state(s), "running=0\ninitialised=0\nclients=2\noffline=0\n");
}

TEST(SimQuery, KnownQueriesAndZeroElsewhere) {
  const State s = make(11, 13, 17, 19);
  EXPECT_EQ(query_value(s, 2), 11);
  EXPECT_EQ(query_value(s, 3), 13);
  EXPECT_EQ(query_value(s, 6), 17);
  EXPECT_EQ(query_value(s, 7), 19);
  for (int q : {INT_MIN, -1, 0, 1, 4, 5, 8, 10, 11, 1000, INT_MAX}) {
    SCOPED_TRACE(q);
    EXPECT_EQ(query_value(s, q), 0);
  }
}

TEST(SimCommand, Table) {
  struct Case {
    const char* name;
    State before;
    int command;
    bool known;
    State after;
  };
  const Case cases[] = {
      {"initialise from nothing", make(0, 0, 4, 1), 10, true, make(1, 1, 4, 1)},
      {"initialise when running", make(1, 1, 0, 0), 10, true, make(1, 1, 0, 0)},
      {"toggle starts", make(0, 1, 2, 3), 5, true, make(1, 1, 2, 3)},
      {"toggle stops", make(1, 1, 2, 3), 5, true, make(0, 1, 2, 3)},
      {"toggle treats any non-zero as running", make(7, 0, 0, 0), 5, true, make(0, 0, 0, 0)},
      {"settings is not a state command", make(1, 0, 5, 6), 11, false, make(1, 0, 5, 6)},
      {"unknown command", make(1, 1, 5, 6), 99, false, make(1, 1, 5, 6)},
      {"zero command", make(0, 1, 5, 6), 0, false, make(0, 1, 5, 6)},
      {"negative command", make(1, 1, 5, 6), -5, false, make(1, 1, 5, 6)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    State s = c.before;
    EXPECT_EQ(apply_command(s, c.command), c.known);
    EXPECT_EQ(s, c.after);
  }
}

TEST(SimCommand, ExitStopsAndKeepsTheRest) {
  State s = make(1, 1, 4, 2);
  apply_exit(s);
  EXPECT_EQ(s, make(0, 1, 4, 2));
}

TEST(SimJournal, LineFormats) {
  struct Case {
    std::string line;
    const char* expected;
  };
  const Case cases[] = {
      {journal_get(1503, 6, 0), "1503 get 6 -> 0\n"},
      {journal_get(0, 2, 1), "0 get 2 -> 1\n"},
      {journal_get(7, -1, -2147483647 - 1), "7 get -1 -> -2147483648\n"},
      {journal_set(42, 10), "42 set 10\n"},
      {journal_set(18446744073709551615ull, -3), "18446744073709551615 set -3\n"},
      {journal_exit(99), "99 exit\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.line, c.expected);
}

TEST(SimClock, TicksToMilliseconds) {
  struct Case {
    std::uint64_t ticks, frequency, ms;
  };
  const Case cases[] = {
      {0, 10000000, 0},
      {9999, 10000000, 0},
      {10000, 10000000, 1},
      {15030000, 10000000, 1503},
      {1, 1000, 1},
      {2999, 3000, 999},
      // A counter of 10 MHz after 58,000 years still fits.
      {18446744073709551615ull, 10000000, 1844674407370955ull},
      {18446744073709551ull, 1, 18446744073709551000ull},
      {3, 3, 1000},
      {5, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ticks);
    SCOPED_TRACE(c.frequency);
    EXPECT_EQ(ticks_to_ms(c.ticks, c.frequency), c.ms);
  }
}

TEST(SimPath, Sibling) {
  struct Case {
    const char* file;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\Program Files\\qelmng\\TALVIK.dll", "C:\\Program Files\\qelmng\\talvik-sim.ini"},
      {"Z:/tmp/build/TALVIK.dll", "Z:/tmp/build/talvik-sim.ini"},
      {"C:\\a/b\\TALVIK.dll", "C:\\a/b\\talvik-sim.ini"},
      {"\\\\server\\share\\TALVIK.dll", "\\\\server\\share\\talvik-sim.ini"},
      {"TALVIK.dll", "talvik-sim.ini"},
      {"C:\\dir\\", "C:\\dir\\talvik-sim.ini"},
  };
  for (const Case& c : cases) EXPECT_EQ(sibling_path(c.file, "talvik-sim.ini"), c.expected);
}

TEST(SimLock, NameFollowsWindowsPathEquality) {
  const std::string a = lock_name("state", "C:\\Temp\\State.ini");
  EXPECT_EQ(a.rfind("Local\\talvik-sim-state-", 0), 0u);
  EXPECT_EQ(a.find('\\', 6), std::string::npos) << "only the namespace may hold a backslash";
  EXPECT_EQ(lock_name("state", "c:/temp/state.ini"), a);
  EXPECT_NE(lock_name("state", "C:\\Temp\\State2.ini"), a);
  EXPECT_NE(lock_name("state", "C:\\Temp\\Stat.ini"), a);
  EXPECT_NE(lock_name("state", ""), a);
  EXPECT_NE(lock_name("log", "C:\\Temp\\State.ini"), a);
}

}  // namespace
}  // namespace talvik_sim
