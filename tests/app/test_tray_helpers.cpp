/* The three notification-area helpers. */
#include "calls.h"
#include "program.h"

#include <cstring>

namespace {

HWND Hwnd() { return plat::MainWindow(); }
HICON Icon(int n) { return LoadIconA(plat::hInstProgram, MAKEINTRESOURCEA(n)); }

struct TipCase {
    size_t nLength;      /* of the tip passed; SIZE_MAX for a null tip */
    size_t nReaching;    /* characters that reach the shell */
};

const TipCase kTips[] = {
    {0, 0}, {14, 14}, {62, 62}, {63, 63}, {64, 63}, {65, 63}, {200, 63}, {SIZE_MAX, 0},
};

/* The tip is cut to what the record holds, never past it. */
TEST(TrayHelpers, TipIsCutToSixtyThreeCharacters)
{
    InRunningProgram([] {
        for (const auto &c : kTips) {
            SCOPED_TRACE(c.nLength);
            std::string tip;
            for (size_t i = 0; c.nLength != SIZE_MAX && i < c.nLength; ++i)
                tip += static_cast<char>('A' + i % 26);
            const char *pszTip = c.nLength == SIZE_MAX ? nullptr : tip.c_str();
            for (int op = 0; op < 2; ++op) {
                if (op == 0)
                    MyTaskBarModifyIcon(Hwnd(), 99, Icon(2), pszTip);
                else
                    MyTaskBarAddIcon(Hwnd(), 98, Icon(2), pszTip);
                const NOTIFYICONDATAA &d = plat::LastNotifyData();
                EXPECT_EQ(c.nReaching, strnlen(d.szTip, sizeof d.szTip));
                EXPECT_EQ(0, std::memcmp(d.szTip, tip.c_str(), c.nReaching));
                EXPECT_EQ('\0', d.szTip[c.nReaching]);
            }
            MyTaskBarDeleteIcon(Hwnd(), 98);
        }
    });
}

TEST(TrayHelpers, AddReleasesItsIconModifyKeepsIt)
{
    InRunningProgram([] {
        MyTaskBarDeleteIcon(Hwnd(), 99);
        plat::ClearJournal();
        EXPECT_TRUE(MyTaskBarAddIcon(Hwnd(), 99, Icon(3), "Talvik Manager"));
        EXPECT_TRUE(MyTaskBarModifyIcon(Hwnd(), 99, Icon(4), "Talvik Manager"));
        Calls expected = Calls{"LoadIconA(hInst, 3)"} + Calls{"lstrcpynA(\"Talvik Manager\", 64)",
                                                                TrayCall("NIM_ADD", 3), "DestroyIcon(icon3)"} +
                         Calls{"LoadIconA(hInst, 4)", "lstrcpynA(\"Talvik Manager\", 64)", TrayCall("NIM_MODIFY", 4)};
        EXPECT_TRUE(SameCalls(expected, plat::Journal()));
        EXPECT_EQ("icon4", plat::Tray().at({Hwnd(), 99}).strIcon);
    });
}

TEST(TrayHelpers, AddWithNullIconReleasesNothing)
{
    InRunningProgram([] {
        MyTaskBarAddIcon(Hwnd(), 98, nullptr, "Talvik Manager");
        EXPECT_TRUE(plat::JournalOnly({"DestroyIcon"}).empty());
        EXPECT_EQ(1u, plat::JournalOnly({"Shell_NotifyIconA"}).size());
    });
}

/* Delete names the icon and nothing else: every other byte stays zero. */
TEST(TrayHelpers, DeleteSetsOnlySizeWindowAndId)
{
    InRunningProgram([] {
        EXPECT_TRUE(MyTaskBarDeleteIcon(Hwnd(), 99));
        NOTIFYICONDATAA expected;
        std::memset(&expected, 0, sizeof expected);
        expected.cbSize = NOTIFYICONDATAA_V1_SIZE;
        expected.hWnd = Hwnd();
        expected.uID = 99;
        EXPECT_EQ(0, std::memcmp(&expected, &plat::LastNotifyData(), sizeof expected));
        EXPECT_TRUE(plat::Tray().empty());
        EXPECT_TRUE(SameCalls({"Shell_NotifyIconA(NIM_DELETE, cb=" + std::to_string(NOTIFYICONDATAA_V1_SIZE) +
                                   ", hwnd=hwnd1, id=99, flags=0x0, msg=0x0, icon=NULL, tip=\"\")"},
                              plat::Journal()));
    });
}

/* Results are the shell's: a second add, or a change of a missing icon, fails. */
TEST(TrayHelpers, ReturnTheShellsAnswer)
{
    InRunningProgram([] {
        EXPECT_FALSE(MyTaskBarAddIcon(Hwnd(), 99, Icon(1), "Talvik Manager"));
        EXPECT_FALSE(MyTaskBarModifyIcon(Hwnd(), 97, Icon(1), "Talvik Manager"));
        EXPECT_TRUE(MyTaskBarDeleteIcon(Hwnd(), 99));
        EXPECT_FALSE(MyTaskBarDeleteIcon(Hwnd(), 99));
    });
}

}  // namespace
