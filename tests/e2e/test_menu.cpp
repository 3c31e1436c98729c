// The popup menu on the tray icon: Run, Exit, Config at the pointer, for a
// press of either button; what each item does.
#include <cstdlib>
#include <set>

#include "fixture.h"

namespace e2e {
namespace {

constexpr std::size_t kRun = 0, kExit = 1, kConfig = 2;

int count(const std::vector<Entry>& entries, Entry::Kind kind, int code = -1) {
  int n = 0;
  for (const Entry& e : entries) n += e.kind == kind && (code < 0 || e.code == code);
  return n;
}

std::string describe(const MenuLook& look) {
  std::string s;
  for (const auto& item : look.items)
    s += "[rows " + std::to_string(item.top) + "-" + std::to_string(item.bottom) + " check " +
         std::to_string(item.check_ink) + " dark " + std::to_string(item.dark_ink) + " grey " +
         std::to_string(item.grey_ink) + "] ";
  return s;
}

struct OpenCase {
  const char* name;
  int button;
  int running;  // Run carries a check mark while the library runs
};

class MenuOpens : public ManagerTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(MenuOpens, AtThePointerWithRunExitConfig) {
  const OpenCase& c = GetParam();
  start_manager(SimState{c.running, 1, 1, 0});
  wait_for_icon();
  ASSERT_TRUE(wait_ticks(2));  // the check mark follows the first tick
  const auto t = tray();
  ASSERT_TRUE(t.has_value());
  const auto menu = open_menu(c.button);
  ASSERT_TRUE(menu.has_value()) << "no menu after a press of button " << c.button;
  const auto [px, py] = x_.pointer();
  EXPECT_EQ(px, t->x + 10);
  EXPECT_LE(std::abs(menu->x - px), 2) << "menu left edge vs pointer";
  EXPECT_LE(std::abs(menu->y - py), 2) << "menu top edge vs pointer";
  // Items are 15 to 22 pixels high on Wine's default font, plus the frame.
  EXPECT_GE(menu->height, 3 * 15);
  EXPECT_LE(menu->height, 3 * 22 + 10);

  const MenuLook look = read_menu(x_.grab(menu->x, menu->y, menu->width, menu->height));
  const std::string what = describe(look);
  std::printf("menu %dx%d+%d+%d: %s\n", menu->width, menu->height, menu->x, menu->y, what.c_str());
  ASSERT_EQ(look.items.size(), 3u) << what;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_GT(look.items[i].dark_ink, 10) << "item " << i << " should be enabled: " << what;
    if (i != kRun) {
      EXPECT_EQ(look.items[i].check_ink, 0) << "item " << i << ": " << what;
    }
  }
  if (c.running) {
    EXPECT_GE(look.items[kRun].check_ink, 5) << "Run should be checked: " << what;
  } else {
    EXPECT_EQ(look.items[kRun].check_ink, 0) << "Run should not be checked: " << what;
  }

  close_menu();
  EXPECT_FALSE(x_.find_menu("qelmng.exe").has_value()) << "Escape should close the menu";
  ASSERT_TRUE(wait_ticks(1));
  const auto entries = journal();
  EXPECT_EQ(count(entries, Entry::kSet), 0);
  EXPECT_EQ(count(entries, Entry::kExit), 0);
  expect_manager_running("after the menu closed");
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, MenuOpens,
    ::testing::Values(OpenCase{"RightPressRunning", 3, 1}, OpenCase{"LeftPressStopped", 1, 0}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return info.param.name; });

class Menu : public ManagerTest {
 protected:
  // Opens the menu with `button` and clicks item `index`.
  void pick(int button, std::size_t index) {
    const auto menu = open_menu(button);
    ASSERT_TRUE(menu.has_value()) << "no menu";
    const MenuLook look = read_menu(x_.grab(menu->x, menu->y, menu->width, menu->height));
    ASSERT_EQ(look.items.size(), 3u) << describe(look);
    click_menu_item(*menu, look, index);
  }
};

TEST_F(Menu, RunTogglesTheLibrary) {
  start_manager(SimState{0, 1, 1, 0});
  wait_for_icon();
  ASSERT_TRUE(wait_picture([](Picture p) { return p == Picture::kRed; }, kReactTimeoutMs));
  // Twice, once with each button: on, then off again.
  const struct {
    int button;
    int running_after;
    std::set<Picture> shows;
  } rounds[] = {{1, 1, {Picture::kLight, Picture::kDark}}, {3, 0, {Picture::kRed}}};
  int sets = 0;
  for (const auto& r : rounds) {
    pick(r.button, kRun);
    ++sets;
    ASSERT_TRUE(wait_journal([&](const std::vector<Entry>& e) {
      return count(e, Entry::kSet, 5) == sets;
    }, kReactTimeoutMs)) << "no 'set 5' after Run";
    EXPECT_FALSE(x_.find_menu("qelmng.exe").has_value()) << "the menu should close";
    EXPECT_EQ(state().running, r.running_after);
    EXPECT_TRUE(wait_picture([&](Picture p) { return r.shows.count(p) != 0; }, kDisplayBoundMs));
  }
  const auto entries = journal();
  EXPECT_EQ(count(entries, Entry::kSet), 2) << "only the two Run commands";
  EXPECT_EQ(count(entries, Entry::kExit), 0);
  expect_manager_running("after Run");
}

TEST_F(Menu, ConfigOpensSettingsWhichCancelCloses) {
  const SimState initial{1, 1, 1, 0};
  start_manager(initial);
  wait_for_icon();
  ASSERT_FALSE(HasFailure());
  pick(3, kConfig);
  ASSERT_TRUE(wait_journal([](const std::vector<Entry>& e) {
    return count(e, Entry::kSet, 11) == 1;
  }, kReactTimeoutMs)) << "no 'set 11' after Config";
  const auto dialog = wait_dialog("Simulated unit library");
  ASSERT_TRUE(dialog.has_value()) << "no settings dialog";
  const Control* cancel = dialog->find("Button", "Cancel");
  ASSERT_NE(cancel, nullptr);
  EXPECT_NE(dialog->find("Button", "OK"), nullptr);
  // The poll goes on while the library's dialog is open.
  EXPECT_TRUE(wait_ticks(2)) << "no ticks while the settings dialog is open";
  click_until_gone("Simulated unit library", *cancel);
  ASSERT_TRUE(wait_ticks(1));
  const SimState after = state();
  EXPECT_EQ(after.running, initial.running);
  EXPECT_EQ(after.clients, initial.clients);
  EXPECT_EQ(after.offline, initial.offline);
  const auto entries = journal();
  EXPECT_EQ(count(entries, Entry::kSet), 1);
  EXPECT_EQ(count(entries, Entry::kExit), 0);
  expect_manager_running("after Config");
  EXPECT_TRUE(icon_shown());
}

// With another client attached the tick grays Exit: clicking it does
// nothing and the menu stays open.
TEST_F(Menu, ExitIsGrayedWhileOtherClientsAttach) {
  start_manager(SimState{1, 1, 2, 0});
  wait_for_icon();
  ASSERT_TRUE(wait_ticks(2));
  const auto menu = open_menu(3);
  ASSERT_TRUE(menu.has_value());
  const MenuLook look = read_menu(x_.grab(menu->x, menu->y, menu->width, menu->height));
  ASSERT_EQ(look.items.size(), 3u) << describe(look);
  EXPECT_LT(look.items[kExit].dark_ink, 3) << describe(look);
  EXPECT_GT(look.items[kExit].grey_ink, 10) << describe(look);
  EXPECT_GT(look.items[kConfig].dark_ink, 10) << describe(look);
  click_menu_item(*menu, look, kExit);
  ASSERT_TRUE(wait_ticks(2));
  EXPECT_TRUE(x_.find_menu("qelmng.exe").has_value()) << "a grayed item does not close the menu";
  EXPECT_EQ(count(journal(), Entry::kExit), 0);
  close_menu();
  expect_manager_running("after a click on grayed Exit");
}

// Exit reads the clients afresh: a client that attached since the last
// tick keeps the manager running, though the library is told to exit.
TEST_F(Menu, ExitWithAnotherClientKeepsRunning) {
  start_manager(SimState{1, 1, 1, 0});
  wait_for_icon();
  ASSERT_FALSE(HasFailure());
  bool done = false;
  int attempt = 0;
  for (; attempt < 5 && !done; ++attempt) {
    set_state(SimState{1, 1, 1, 0});
    ASSERT_TRUE(wait_ticks(2));  // Exit enabled again
    const auto menu = open_menu(3);
    ASSERT_TRUE(menu.has_value());
    const MenuLook look = read_menu(x_.grab(menu->x, menu->y, menu->width, menu->height));
    ASSERT_EQ(look.items.size(), 3u) << describe(look);
    // Right after a tick, so the click lands well before the next one.
    ASSERT_TRUE(wait_ticks(1));
    set_state(SimState{1, 1, 2, 0});
    click_menu_item(*menu, look, kExit);
    done = wait_journal([](const std::vector<Entry>& e) { return count(e, Entry::kExit) > 0; },
                        2000);
    if (!done) {
      // A tick saw the second client first and grayed Exit: again.
      std::printf("attempt %d: a tick came between; trying again\n", attempt + 1);
      close_menu();
    }
  }
  ASSERT_TRUE(done) << "Exit never reached the manager in " << attempt << " attempts";
  const auto entries = journal();
  std::size_t exit_at = 0;
  while (entries[exit_at].kind != Entry::kExit) ++exit_at;
  ASSERT_GT(exit_at, 0u);
  EXPECT_EQ(entries[exit_at - 1].text.substr(entries[exit_at - 1].text.find(' ') + 1),
            "get 6 -> 2")
      << "Exit asks for the clients just before it tells the library";
  EXPECT_EQ(count(entries, Entry::kExit), 1);
  EXPECT_EQ(state().running, 0) << "DLLEXIT stops the library";
  ASSERT_TRUE(wait_ticks(2));
  expect_manager_running("after Exit with two clients");
  EXPECT_TRUE(wait_picture([](Picture p) { return p == Picture::kRed; }, kDisplayBoundMs))
      << "the icon stays, now red";
}

TEST_F(Menu, ExitAsLastClientRemovesIconAndEnds) {
  start_manager(SimState{1, 1, 1, 0});
  wait_for_icon();
  ASSERT_TRUE(wait_ticks(1));
  pick(1, kExit);
  ASSERT_TRUE(wait_journal([](const std::vector<Entry>& e) {
    return count(e, Entry::kExit) == 1;
  }, kReactTimeoutMs)) << "no 'exit' after Exit";
  expect_manager_exits_with_0("after Exit");
  const auto entries = journal();
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(entries.back().kind, Entry::kExit) << "nothing after DLLEXIT";
  const Entry& before = entries[entries.size() - 2];
  EXPECT_EQ(before.text.substr(before.text.find(' ') + 1), "get 6 -> 1");
  EXPECT_EQ(state().running, 0);
  EXPECT_TRUE(wait_until([this] { return !icon_shown(); }, kReactTimeoutMs))
      << "the icon should leave the tray";
}

}  // namespace
}  // namespace e2e
