/* Test-side control of the recording platform layer: what the platform and
 * the unit library answer, the messages the loop hands out, and the journal
 * of every call the program made, in order, with its arguments. */
#ifndef QELMNG_HOST_PLATFORM_H
#define QELMNG_HOST_PLATFORM_H

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace plat {

/* Handles the layer gives out; the journal names them "hwnd1", "hmenu1",
 * "icon3" (icon 3 of the program's resources), "hInst", "hEvent1". */
extern const HINSTANCE hInstProgram;

/* ---- journal ---- */
const std::vector<std::string> &Journal();
void ClearJournal();
/* The journal with only, or without, the calls of the functions named. */
std::vector<std::string> JournalOnly(const std::vector<std::string> &names);
std::vector<std::string> JournalWithout(const std::vector<std::string> &names);

/* ---- what the platform answers ---- */
struct Settings {
    DWORD dwLastErrorAfterCreateEvent = 0;  /* 183: another copy runs */
    bool bRegisterClassFails = false;
    int nMessageBoxAnswer = IDOK;
    POINT ptCursor = {0, 0};
    UINT_PTR uMenuChoice = 0;               /* menu item picked, 0 for none */
    bool bShellUp = true;                   /* false: every shell call fails */
};
Settings &Set();

/* Query values of the unit library: one value for every call, or a run of
 * values, one per call, whose last value stays. Unset queries answer 0. */
void SetLibraryAnswer(int nQuery, int nValue);
void SetLibraryAnswers(int nQuery, const std::vector<int> &values);

/* Runs inside the popup menu's or the message box's modal loop, where the
 * program's timer and tray callbacks keep being dispatched. */
void OnMenuOpen(std::function<void()> fn);
void OnMessageBox(std::function<void()> fn);
/* Runs once, inside the program's message loop, when the messages the test
 * queued have run out: the test's own view from within the running program.
 * The loop ends after it unless it queued more. */
void WhenIdle(std::function<void()> fn);

/* ---- messages ---- */
void PostMsg(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
/* One tick of the program's thread timer, as the loop would hand it out. */
void PostTick();
/* Dispatches as a modal loop would, while a menu or message box is open. */
void DispatchNow(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
void TickNow();
/* True once GetMessageA ended the loop because the program posted a quit,
 * false when it ended only because the test's messages ran out. */
bool QuitPosted();
int QuitCode();

/* ---- the shell's notification area ---- */
struct TrayIcon {
    std::string strIcon;   /* "icon1" ... */
    std::string strTip;
    UINT uCallbackMessage;
};
const std::map<std::pair<HWND, UINT>, TrayIcon> &Tray();
/* The shell restarted: every icon is gone. */
void ShellRestart();
/* The record of the last Shell_NotifyIconA call, byte for byte. */
const NOTIFYICONDATAA &LastNotifyData();

/* ---- windows, classes, menus, timers ---- */
HWND MainWindow();            /* the first window created, or NULL */
bool WindowAlive(HWND hwnd);
WNDPROC RegisteredProc();     /* of the last class registered */
TIMERPROC TimerProc();
UINT RegisteredMessage(const char *pszName);   /* 0 if never registered */
struct MenuItem {
    UINT uFlags;
    UINT_PTR uId;
    std::string strText;
};
const std::vector<MenuItem> &MenuItems();
int Beeps();

/* ---- start-up ---- */
/* The command-line tail the run-time start-up hands to WinMain. */
const char *CommandLineTail(const char *pszCommandLine);
/* Starts the program as the run-time start-up would: computes the tail of
 * the command line and calls WinMain; returns the exit code. */
int RunProgram(const char *pszCommandLine);

}  // namespace plat

#endif /* QELMNG_HOST_PLATFORM_H */
