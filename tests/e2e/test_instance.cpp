// A second copy ends at once with code 0 and leaves the first running; it
// says so in a message box unless its command-line tail starts with 'N'.
#include "fixture.h"

namespace e2e {
namespace {

struct SecondStart {
  const char* name;
  std::vector<std::string> args;
  bool box;
};

class SingleInstance : public ManagerTest, public ::testing::WithParamInterface<SecondStart> {};

TEST_P(SingleInstance, SecondCopyFromFolderWithBlanksEndsWith0) {
  const SecondStart& c = GetParam();
  start_manager(SimState{0, 1, 1, 0});
  wait_for_icon();
  ASSERT_FALSE(HasFailure());

  // A folder with blanks: the copy's own path reaches it quoted on the
  // command line, so the tail after it is exactly our arguments. Unquoted,
  // the tail would start with "Manager" and the box would show for "N" too.
  const std::string folder = run_dir_ + "/Qel Manager Copy";
  make_dirs(folder);
  copy_file(win64_dir() + "/qelmng.exe", folder + "/qelmng.exe");
  copy_file(win64_dir() + "/TALVIK.dll", folder + "/TALVIK.dll");
  std::vector<std::string> args = {folder + "/qelmng.exe"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const auto started = Clock::now();
  Process second = start_wine(args, "second.out");

  if (c.box) {
    const auto box = wait_dialog("Qel Manager");
    ASSERT_TRUE(box.has_value()) << "no message box 'Qel Manager'";
    EXPECT_NE(box->find("Static", "Can only run once"), nullptr);
    const Control* ok = box->find("Button", "OK");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(second.running()) << "the box belongs to the second copy, which waits on it";
    click_until_gone("Qel Manager", *ok);
  } else {
    // No box may show while it ends.
    bool box_seen = false;
    wait_until(
        [&] {
          box_seen = box_seen || x_.find_viewable("Qel Manager").has_value();
          return box_seen || !second.running();
        },
        30000);
    EXPECT_FALSE(box_seen) << "a window 'Qel Manager' showed";
  }
  const auto code = second.wait(20000);
  ASSERT_TRUE(code.has_value()) << "the second copy still runs";
  EXPECT_EQ(*code, 0);
  std::printf("second copy ended after %lld ms\n", ms_since(started));

  // The first copy goes on ticking and showing its icon; the second never
  // called the library (it shares the journal).
  ASSERT_TRUE(wait_ticks(2));
  expect_manager_running("after the second start");
  EXPECT_TRUE(icon_shown());
  int asked_initialised = 0, commands = 0;
  for (const Entry& e : journal()) {
    asked_initialised += e.kind == Entry::kGet && e.code == 3;
    commands += e.kind != Entry::kGet;
  }
  EXPECT_EQ(asked_initialised, 1);
  EXPECT_EQ(commands, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SingleInstance,
    ::testing::Values(SecondStart{"NoTail", {}, true}, SecondStart{"N", {"N"}, false},
                      SecondStart{"NWord", {"Nolog"}, false},
                      SecondStart{"OtherFirst", {"-x", "N"}, true}),
    [](const ::testing::TestParamInfo<SecondStart>& info) { return info.param.name; });

}  // namespace
}  // namespace e2e
