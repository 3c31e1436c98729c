// Session end asks the user; a plain close request is ignored.
#include "fixture.h"

namespace e2e {
namespace {

struct Reply {
  const char* name;
  const char* button;
  long long answer;
  bool ends;
};

class SessionEnd : public ManagerTest, public ::testing::WithParamInterface<Reply> {};

TEST_P(SessionEnd, AsksWhetherToClose) {
  const Reply& r = GetParam();
  start_manager(SimState{0, 1, 1, 0});
  wait_for_icon();
  ASSERT_FALSE(HasFailure());
  // The answer comes only once the question is answered.
  Process asker = start_wine({poke_exe(), "--timeout=120000", "query-end-session"},
                             "query-end-session.err", true);
  const auto box = wait_dialog("Close Qel Manager?");
  ASSERT_TRUE(box.has_value()) << "no question 'Close Qel Manager?'";
  EXPECT_NE(box->find("Static", "Qel Manager"), nullptr);
  const Control* yes = box->find("Button", "Yes");
  const Control* no = box->find("Button", "No");
  ASSERT_NE(yes, nullptr);
  ASSERT_NE(no, nullptr);
  EXPECT_TRUE(asker.running()) << "the session-end message returned before the reply";
  // The poll goes on while the question waits.
  EXPECT_TRUE(wait_ticks(2));
  click_until_gone("Close Qel Manager?", std::string(r.button) == "Yes" ? *yes : *no);

  const auto line = asker.read_line(30000);
  ASSERT_TRUE(line.has_value()) << "no answer from the helper";
  EXPECT_EQ(*line, "answer\tWM_QUERYENDSESSION\t" + std::to_string(r.answer));
  EXPECT_EQ(asker.wait(10000), 0);
  if (r.ends) {
    expect_manager_exits_with_0("after Yes");
  } else {
    ASSERT_TRUE(wait_ticks(2));
    expect_manager_running("after No");
    EXPECT_TRUE(icon_shown());
  }
}

INSTANTIATE_TEST_SUITE_P(Replies, SessionEnd,
                         ::testing::Values(Reply{"No", "No", 0, false},
                                           Reply{"Yes", "Yes", 1, true}),
                         [](const ::testing::TestParamInfo<Reply>& info) {
                           return info.param.name;
                         });

class Close : public ManagerTest {};

TEST_F(Close, RequestChangesNothing) {
  start_manager(SimState{0, 1, 1, 0});
  wait_for_icon();
  ASSERT_FALSE(HasFailure());
  const PokeResult r = poke({"--timeout=20000", "close", "icon-present"});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(r.answer("WM_CLOSE"), 0) << r.output;
  EXPECT_EQ(r.answer("icon-present"), 1) << r.output;
  ASSERT_TRUE(wait_ticks(2));
  expect_manager_running("after WM_CLOSE");
  EXPECT_TRUE(wait_picture([](Picture p) { return p == Picture::kRed; }, kDisplayBoundMs));
  EXPECT_FALSE(x_.find_viewable("Close Qel Manager?").has_value()) << "no question on a close";
  // Still there for a second look by the helper, after more ticks.
  const PokeResult again = poke({"--timeout=20000", "icon-present"});
  EXPECT_EQ(again.answer("icon-present"), 1) << again.output;
}

}  // namespace
}  // namespace e2e
