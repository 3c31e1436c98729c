/* The window procedure: messages, menu commands, the tray callback, the
 * session-end question, and putting back an icon the shell lost. */
#include "calls.h"
#include "program.h"

namespace {

HWND Hwnd() { return plat::MainWindow(); }

const char *const kQuestion = "MessageBoxA(NULL, \"Qel Manager\", \"Close Qel Manager?\", MB_YESNO)";

struct MessageCase {
    const char *pszName;
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
    int nClients;            /* query 6 when Exit reads it */
    int nAnswer;             /* of the message box */
    LRESULT lResult;
    Calls expected;          /* the program's calls while handling it */
    bool bEnds;              /* the loop ends with the quit code */
};

std::string Del() { return "Shell_NotifyIconA(NIM_DELETE, cb=" + std::to_string(NOTIFYICONDATAA_V1_SIZE) +
                           ", hwnd=hwnd1, id=99, flags=0x0, msg=0x0, icon=NULL, tip=\"\")"; }

Calls ExitCalls(int nClients)
{
    Calls c = {"TV_GetStatus(6) -> " + std::to_string(nClients), "DLLEXIT()"};
    if (nClients <= 1)
        c = c + Calls{Del(), "CloseWindow(hwnd1)", "DestroyWindow(hwnd1)", "PostQuitMessage(0)", "PostQuitMessage(0)"};
    return c;
}

std::vector<MessageCase> Cases()
{
    return {
        {"Run", WM_COMMAND, 10, 0, 0, IDOK, 0, {"TV_SetStatus(5)"}, false},
        {"RunFromAccelerator", WM_COMMAND, 0x10000 | 10, 1234, 0, IDOK, 0, {"TV_SetStatus(5)"}, false},
        {"Config", WM_COMMAND, 30, 0, 0, IDOK, 0, {"TV_SetStatus(11)"}, false},
        {"UnknownCommand", WM_COMMAND, 40, 0, 0, IDOK, 0, {}, false},
        {"ExitNoClients", WM_COMMAND, 20, 0, 0, IDOK, 0, ExitCalls(0), true},
        {"ExitOneClient", WM_COMMAND, 20, 0, 1, IDOK, 0, ExitCalls(1), true},
        {"ExitNegativeClients", WM_COMMAND, 20, 0, -3, IDOK, 0, ExitCalls(-3), true},
        {"ExitTwoClients", WM_COMMAND, 20, 0, 2, IDOK, 0, ExitCalls(2), false},
        {"Activate", WM_ACTIVATE, 1, 0, 0, IDOK, 0, {}, false},
        {"SetFocus", WM_SETFOCUS, 0, 0, 0, IDOK, 0, {}, false},
        {"Close", WM_CLOSE, 0, 0, 0, IDOK, 0, {}, false},
        {"SessionEndYes", WM_QUERYENDSESSION, 0, 0, 0, IDYES, 1, {std::string(kQuestion) + " -> 6", "PostQuitMessage(0)"}, true},
        {"SessionEndNo", WM_QUERYENDSESSION, 0, 0, 0, IDNO, 0, {std::string(kQuestion) + " -> 7"}, false},
        {"SessionEndClosedBox", WM_QUERYENDSESSION, 0, 0, 0, 0, 0, {std::string(kQuestion) + " -> 0"}, false},
        {"Destroy", WM_DESTROY, 0, 0, 0, IDOK, 0, {"PostQuitMessage(0)"}, true},
        {"Other", 0x0300, 5, 6, 0, IDOK, 0, {"DefWindowProcA(hwnd1, 0x300, 0x5, 0x6)"}, false},
    };
}

void PrintTo(const MessageCase &c, std::ostream *os) { *os << c.pszName; }

class Message : public ::testing::TestWithParam<MessageCase> {};

/* Sent straight to the procedure, as the platform sends it, with the loop
 * still running: the result, the calls, and whether the loop then ends. */
TEST_P(Message, ResultCallsAndWhetherTheProgramEnds)
{
    const MessageCase &c = GetParam();
    plat::SetLibraryAnswer(3, 1);
    plat::SetLibraryAnswer(6, c.nClients);
    plat::Set().nMessageBoxAnswer = c.nAnswer;
    LRESULT lResult = -99;
    plat::WhenIdle([&] {
        plat::ClearJournal();
        lResult = WndProc(Hwnd(), c.uMsg, c.wParam, c.lParam);
        EXPECT_TRUE(SameCalls(c.expected, plat::Journal()));
        plat::ClearJournal();
        plat::PostTick();   /* the loop carries on unless a quit was posted */
    });
    EXPECT_EQ(0, plat::RunProgram("qelmng.exe"));
    EXPECT_EQ(c.lResult, lResult);
    EXPECT_EQ(c.bEnds, plat::QuitPosted());
    EXPECT_EQ(c.bEnds, plat::JournalOnly({"TV_GetStatus"}).empty()) << "a tick ran after the message";
    EXPECT_EQ(c.bEnds && c.uMsg == WM_COMMAND, !plat::WindowAlive(Hwnd()));
    EXPECT_EQ(c.bEnds && c.uMsg == WM_COMMAND, plat::Tray().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, Message, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<MessageCase> &i) { return std::string(i.param.pszName); });

/* Exit picked from the menu, through the loop, as a person does it. */
TEST(Menu, ExitPickedFromTheMenuEndsTheProgramWithCodeZero)
{
    plat::SetLibraryAnswer(3, 1);
    plat::SetLibraryAnswer(6, 1);
    plat::Set().uMenuChoice = 20;
    plat::WhenIdle([] { plat::PostMsg(Hwnd(), 0x463, 99, WM_RBUTTONDOWN); });
    EXPECT_EQ(0, plat::RunProgram("qelmng.exe"));
    EXPECT_TRUE(plat::QuitPosted());
    EXPECT_EQ(0, plat::QuitCode());
    EXPECT_EQ(1u, plat::JournalOnly({"DLLEXIT"}).size());
    EXPECT_TRUE(plat::Tray().empty());
}

struct MouseCase {
    UINT uMouseMsg;
    bool bOpens;
};

const MouseCase kMouse[] = {
    {WM_LBUTTONDOWN, true}, {WM_RBUTTONDOWN, true}, {WM_MOUSEMOVE, false}, {WM_LBUTTONUP, false},
    {WM_RBUTTONUP, false},  {WM_LBUTTONDBLCLK, false}, {WM_RBUTTONDBLCLK, false}, {0x0207, false},
};

TEST(TrayCallback, OnlyButtonPressesOpenTheMenuAtTheCursor)
{
    plat::SetLibraryAnswer(3, 1);
    plat::Set().ptCursor = {612, 745};
    InRunningProgram([] {
        for (const auto &c : kMouse) {
            SCOPED_TRACE(c.uMouseMsg);
            plat::ClearJournal();
            EXPECT_EQ(0, WndProc(Hwnd(), 0x463, 99, c.uMouseMsg));
            Calls expected = {"GetCursorPos()"};
            if (c.bOpens)
                expected = expected + Calls{"SetActiveWindow(hwnd1)", "SetFocus(hwnd1)",
                                            "SetWindowPos(hwnd1, HWND_TOPMOST, 0, 0, 1, 1, SWP_NOSIZE)",
                                            "TrackPopupMenu(hmenu1, 0x0, 612, 745, 0, hwnd1, NULL)",
                                            "SetActiveWindow(hwnd1)"};
            EXPECT_TRUE(SameCalls(expected, plat::Journal()));
        }
    });
}

/* The menu shows the three items, in order, with their ids. */
TEST(TrayCallback, MenuHoldsRunExitConfig)
{
    plat::SetLibraryAnswer(3, 1);
    InRunningProgram([] {
        const auto &items = plat::MenuItems();
        ASSERT_EQ(3u, items.size());
        EXPECT_EQ("&Run", items[0].strText);
        EXPECT_EQ(10u, items[0].uId);
        EXPECT_EQ("&Exit", items[1].strText);
        EXPECT_EQ(20u, items[1].uId);
        EXPECT_EQ("&Config", items[2].strText);
        EXPECT_EQ(30u, items[2].uId);
    });
}

/* The pick arrives after the menu closes, through the loop, and goes to
 * the library. */
TEST(TrayCallback, PickedItemReachesTheLibrary)
{
    const struct { UINT_PTR uItem; const char *pszCall; } picks[] = {{10, "TV_SetStatus(5)"}, {30, "TV_SetStatus(11)"}};
    plat::SetLibraryAnswer(3, 1);
    for (const auto &p : picks) {
        plat::Set().uMenuChoice = p.uItem;
        plat::WhenIdle([] {
            plat::ClearJournal();
            plat::PostMsg(Hwnd(), 0x463, 99, WM_LBUTTONDOWN);
        });
        plat::RunProgram("qelmng.exe");
        EXPECT_TRUE(SameCalls({p.pszCall}, plat::JournalOnly({"TV_SetStatus", "DLLEXIT"})));
    }
}

/* Ticks go on inside the menu's modal loop, like any other tick. */
TEST(Nested, TickWhileTheMenuIsOpen)
{
    plat::SetLibraryAnswer(3, 1);
    plat::SetLibraryAnswer(2, 1);
    plat::SetLibraryAnswer(7, 1);
    plat::OnMenuOpen([] {
        plat::TickNow();
        plat::TickNow();
    });
    InRunningProgram([] {
        WndProc(Hwnd(), 0x463, 99, WM_RBUTTONDOWN);
        Calls calls = plat::JournalOnly({"TrackPopupMenu", "MessageBeep", "Shell_NotifyIconA", "SetActiveWindow"});
        Calls expected = {"SetActiveWindow(hwnd1)", "TrackPopupMenu(hmenu1, 0x0, 0, 0, 0, hwnd1, NULL)",
                          TrayCall("NIM_MODIFY", 5), "MessageBeep(0x10)", TrayCall("NIM_MODIFY", 4),
                          "SetActiveWindow(hwnd1)"};
        EXPECT_TRUE(SameCalls(expected, calls));
    });
}

/* And inside the session-end question, where a press on the icon still
 * opens the menu. */
TEST(Nested, TickAndMenuWhileTheQuestionIsOpen)
{
    plat::SetLibraryAnswer(3, 1);
    plat::SetLibraryAnswer(6, 2);
    plat::Set().nMessageBoxAnswer = IDNO;
    plat::OnMessageBox([] {
        plat::TickNow();
        plat::DispatchNow(Hwnd(), 0x463, 99, WM_LBUTTONDOWN);
    });
    InRunningProgram([] {
        EXPECT_EQ(0, WndProc(Hwnd(), WM_QUERYENDSESSION, 0, 0));
        Calls calls = plat::JournalOnly({"MessageBoxA", "TV_GetStatus", "ModifyMenuA", "Shell_NotifyIconA", "TrackPopupMenu"});
        Calls expected = {std::string(kQuestion) + " -> 7", "TV_GetStatus(6) -> 2",
                          "ModifyMenuA(hmenu1, 1, MF_BYPOSITION|MF_GRAYED, 20, \"&Exit\")", "TV_GetStatus(2) -> 0",
                          TrayCall("NIM_MODIFY", 3), "TrackPopupMenu(hmenu1, 0x0, 0, 0, 0, hwnd1, NULL)"};
        EXPECT_TRUE(SameCalls(expected, calls));
    });
    EXPECT_FALSE(plat::QuitPosted());
}

/* The shell restarted: its broadcast brings back the picture on show. */
TEST(ShellRestart, TaskbarCreatedPutsTheCurrentIconBack)
{
    plat::SetLibraryAnswer(3, 1);
    plat::SetLibraryAnswer(2, 0);
    InRunningProgram([] {
        plat::TickNow();
        plat::ShellRestart();
        UINT uTaskbarCreated = plat::RegisteredMessage("TaskbarCreated");
        ASSERT_NE(0u, uTaskbarCreated);
        plat::ClearJournal();
        plat::DispatchNow(Hwnd(), uTaskbarCreated, 0, 0);
        EXPECT_TRUE(SameCalls(ShowIcon("NIM_ADD", 3), ProgramCalls()));
        ASSERT_EQ(1u, plat::Tray().size());
        EXPECT_EQ("icon3", plat::Tray().begin()->second.strIcon);
        EXPECT_EQ("Talvik Manager", plat::Tray().begin()->second.strTip);
    });
}

/* Or, without a broadcast, the next tick finds its change refused and adds
 * the icon again; the tick after that changes it as usual. */
TEST(ShellRestart, NextTickAddsTheLostIconAgain)
{
    plat::SetLibraryAnswer(3, 1);
    plat::SetLibraryAnswer(2, 1);
    InRunningProgram([] {
        plat::ShellRestart();
        plat::TickNow();
        plat::TickNow();
        Calls expected = ShowIcon("NIM_MODIFY", 2) + Calls{"lstrcpynA(\"Talvik Manager\", 64)", TrayCall("NIM_ADD", 2),
                                                           "DestroyIcon(icon2)"} +
                         ShowIcon("NIM_MODIFY", 1);
        EXPECT_TRUE(SameCalls(expected, plat::JournalOnly({"LoadIconA", "lstrcpynA", "Shell_NotifyIconA", "DestroyIcon"})));
        EXPECT_EQ("icon1", plat::Tray().begin()->second.strIcon);
    });
}

/* A shell that was not up when the program started at logon: the icon
 * appears with the first tick after it comes up. */
TEST(ShellRestart, ShellNotReadyAtStartUp)
{
    plat::SetLibraryAnswer(3, 1);
    plat::Set().bShellUp = false;
    InRunningProgram([] {
        EXPECT_TRUE(plat::Tray().empty());
        plat::TickNow();
        EXPECT_TRUE(plat::Tray().empty());
        plat::Set().bShellUp = true;
        plat::TickNow();
        ASSERT_EQ(1u, plat::Tray().size());
        EXPECT_EQ("icon3", plat::Tray().begin()->second.strIcon);
    });
}

}  // namespace
