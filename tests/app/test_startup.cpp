/* Start-up, single instance, the command-line tail and the message loop. */
#include "calls.h"
#include "program.h"

namespace {

const Calls kCreateMarker = {"CreateEventA(NULL, 1, 0, \"QelMng Active\")"};

const Calls kWindowMenuTimerIcon = {
    "RegisterClassA(style=0x0, proc=set, cls=0, wnd=0, inst=hInst, icon=NULL, cursor=NULL, brush=0x6, "
    "menu=NULL, class=\"QelMngClass\")",
    "RegisterWindowMessageA(\"TaskbarCreated\")",
    "CreateWindowExA(0x0, \"QelMngClass\", \"Qel Manager\", 0x4cf0000, CW_USEDEFAULT, CW_USEDEFAULT, 1000, "
    "1000, NULL, NULL, hInst, NULL)",
    "ShowWindow(hwnd1, 0)",
    "CreatePopupMenu()",
    "AppendMenuA(hmenu1, 0, 10, \"&Run\")",
    "AppendMenuA(hmenu1, 0, 20, \"&Exit\")",
    "AppendMenuA(hmenu1, 0, 30, \"&Config\")",
    "SetTimer(NULL, 1, 500, proc)",
};

const Calls kLoopAndTidyUp = {
    "GetMessageA(NULL, 0, 0)",
    "UnregisterClassA(\"QelMngClass\", hInst)",
    "CloseHandle(hEvent1)",
};

TEST(StartUp, FirstInstanceOnUninitialisedLibrary)
{
    plat::SetLibraryAnswer(3, 0);
    EXPECT_EQ(0, plat::RunProgram("qelmng.exe"));

    Calls expected = kCreateMarker + Calls{"GetLastError() -> 0", "TV_GetStatus(3) -> 0", "TV_SetStatus(10)"} +
                     kWindowMenuTimerIcon + ShowIcon("NIM_ADD", 1) + kLoopAndTidyUp;
    EXPECT_TRUE(SameCalls(expected, plat::Journal()));

    EXPECT_EQ(&WndProc, plat::RegisteredProc());
    EXPECT_EQ(&OnTimer, plat::TimerProc());
    EXPECT_EQ(plat::MainWindow(), hwndMain);
    EXPECT_EQ(plat::hInstProgram, hInstMain);
    ASSERT_EQ(1u, plat::Tray().size());
    const plat::TrayIcon &icon = plat::Tray().begin()->second;
    EXPECT_EQ("icon1", icon.strIcon);
    EXPECT_EQ("Talvik Manager", icon.strTip);
    EXPECT_EQ(0x463u, icon.uCallbackMessage);
}

TEST(StartUp, InitialisedLibraryGetsNoCommand)
{
    for (int nAnswer : {1, -1, 7}) {
        SCOPED_TRACE(nAnswer);
        plat::ClearJournal();
        plat::SetLibraryAnswer(3, nAnswer);
        EXPECT_EQ(0, plat::RunProgram("qelmng.exe"));
        Calls calls = plat::JournalOnly({"TV_GetStatus", "TV_SetStatus", "DLLEXIT"});
        EXPECT_TRUE(SameCalls({"TV_GetStatus(3) -> " + std::to_string(nAnswer)}, calls));
    }
}

/* Until the first tick the display says nothing of the library's state. */
TEST(StartUp, BeforeTheFirstTickIconOneExitEnabledRunUnchecked)
{
    plat::SetLibraryAnswer(2, 1);
    plat::SetLibraryAnswer(6, 5);
    plat::SetLibraryAnswer(7, 1);
    InRunningProgram([] {
        EXPECT_EQ("icon1", plat::Tray().begin()->second.strIcon);
        const auto &items = plat::MenuItems();
        ASSERT_EQ(3u, items.size());
        for (const auto &item : items)
            EXPECT_EQ(0u, item.uFlags) << item.strText;
        EXPECT_TRUE(plat::JournalOnly({"TV_GetStatus"}).empty());
    });
}

struct SecondInstanceCase {
    const char *pszCommandLine;
    bool bMessage;
};

const SecondInstanceCase kSecondInstance[] = {
    {"qelmng.exe N", false},
    {"qelmng.exe NOWARN", false},
    {"qelmng.exe Nx y", false},
    {"\"C:\\Program Files\\Qel\\qelmng.exe\" N", false},
    {"qelmng.exe n", true},
    {"qelmng.exe -N", true},
    {"qelmng.exe", true},
    {"qelmng.exe  x N", true},
};

TEST(StartUp, SecondInstanceExitsWithMessageUnlessTailStartsWithN)
{
    for (const auto &c : kSecondInstance) {
        SCOPED_TRACE(c.pszCommandLine);
        plat::ClearJournal();
        plat::Set().dwLastErrorAfterCreateEvent = ERROR_ALREADY_EXISTS;
        EXPECT_EQ(0, plat::RunProgram(c.pszCommandLine));
        Calls expected = kCreateMarker + Calls{"GetLastError() -> 183"};
        if (c.bMessage)
            expected.push_back("MessageBoxA(NULL, \"Can only run once\", \"Qel Manager\", MB_OK) -> 1");
        /* No library call, no window, and the marker is left to process end. */
        EXPECT_TRUE(SameCalls(expected, plat::Journal()));
    }
}

TEST(StartUp, OtherCreateEventErrorsRunAsFirstInstance)
{
    plat::Set().dwLastErrorAfterCreateEvent = 5;   /* access denied */
    plat::SetLibraryAnswer(3, 1);
    EXPECT_EQ(0, plat::RunProgram("qelmng.exe"));
    EXPECT_EQ(1u, plat::Tray().size());
}

TEST(StartUp, FailedRegistrationReturnsSilentlyAfterCommandTen)
{
    plat::Set().bRegisterClassFails = true;
    plat::SetLibraryAnswer(3, 0);
    EXPECT_EQ(0, plat::RunProgram("qelmng.exe"));
    Calls expected = kCreateMarker + Calls{"GetLastError() -> 0", "TV_GetStatus(3) -> 0", "TV_SetStatus(10)"} +
                     Calls{kWindowMenuTimerIcon.front()};
    EXPECT_TRUE(SameCalls(expected, plat::Journal()));
    EXPECT_TRUE(plat::Tray().empty());
}

struct TailCase {
    const char *pszCommandLine;
    const char *pszTail;
};

const TailCase kTails[] = {
    {"qelmng.exe", ""},
    {"", ""},
    {"qelmng.exe N", "N"},
    {"qelmng.exe   N", "N"},
    {"qelmng.exe\tN", "N"},
    {"qelmng.exe \t N x", "N x"},
    {"  \tqelmng.exe N", "N"},
    {"qelmng.exe N ", "N "},
    {"\"C:\\Program Files\\Qel\\qelmng.exe\" N", "N"},
    {"\"C:\\Program Files\\Qel\\qelmng.exe\"N", "N"},
    {"\"C:\\Program Files\\Qel\\qelmng.exe\"", ""},
    {"\"C:\\Program Files\\qelmng.exe", ""},
    {"\"C:\\Odd\tName\\qelmng.exe\" N", "Name\\qelmng.exe\" N"},
    {"C:\\Qel\\qelmng.exe \"N\"", "\"N\""},
    {"qelmng.exe -N", "-N"},
};

TEST(StartUp, CommandLineTail)
{
    for (const auto &c : kTails)
        EXPECT_STREQ(c.pszTail, plat::CommandLineTail(c.pszCommandLine)) << "command line [" << c.pszCommandLine << "]";
}

TEST(StartUp, TailReachesWinMainWithoutTheProgramName)
{
    /* "N" only counts as the first character of the tail. */
    plat::Set().dwLastErrorAfterCreateEvent = ERROR_ALREADY_EXISTS;
    plat::RunProgram("\"C:\\N dir\\qelmng.exe\" N");
    EXPECT_TRUE(plat::JournalOnly({"MessageBoxA"}).empty());
    plat::RunProgram("Nqelmng.exe");
    EXPECT_EQ(1u, plat::JournalOnly({"MessageBoxA"}).size());
}

/* The loop hands every message to the program until the quit code comes. */
TEST(StartUp, LoopDispatchesUntilQuitAndReturnsItsCode)
{
    plat::SetLibraryAnswer(3, 1);
    plat::PostTick();
    plat::PostTick();
    EXPECT_EQ(0, plat::RunProgram("qelmng.exe"));
    Calls expected = {TrayCall("NIM_ADD", 1), TrayCall("NIM_MODIFY", 3), TrayCall("NIM_MODIFY", 3)};
    EXPECT_TRUE(SameCalls(expected, plat::JournalOnly({"Shell_NotifyIconA"})));
    EXPECT_TRUE(SameCalls({"TranslateMessage(WM_TIMER)", "TranslateMessage(WM_TIMER)"},
                          plat::JournalOnly({"TranslateMessage"})));
    /* The messages ran out; nothing asked the program to quit. */
    EXPECT_FALSE(plat::QuitPosted());
}

}  // namespace
