/* The recording platform layer: a Win32 of the tests' own for running qelmng
 * natively. Every platform call and every unit library call is appended to
 * one journal, in order, with its arguments; what the calls answer is set by
 * the test through platform.h. */
#include "platform.h"

#include "TALVIK.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <time.h>

namespace plat {

const HINSTANCE hInstProgram = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));

namespace {

/* Handle values: a tag in the upper bits, a serial number below. */
constexpr uintptr_t kWindowTag = 0x10000;
constexpr uintptr_t kMenuTag = 0x20000;
constexpr uintptr_t kIconTag = 0x30000;
constexpr uintptr_t kEventTag = 0x40000;
constexpr UINT_PTR kTimerId = 0x7FF1;        /* thread timers get ids of their own */
constexpr UINT kFirstRegisteredMessage = 0xC100;

struct Window {
    std::string strClass;
    WNDPROC proc = nullptr;
    bool bAlive = true;
};

struct State {
    std::vector<std::string> journal;
    Settings settings;
    std::map<int, std::deque<int>> answers;
    std::function<void()> onMenuOpen, onMessageBox, whenIdle;
    std::deque<MSG> queue;
    bool bQuit = false;
    int nQuitCode = 0;
    bool bQuitSeen = false;
    std::map<std::pair<HWND, UINT>, TrayIcon> tray;
    NOTIFYICONDATAA lastNotify = {};
    std::map<std::string, std::pair<WNDPROC, HINSTANCE>> classes;
    std::vector<Window> windows;
    std::map<std::string, UINT> registeredMessages;
    std::vector<HMENU> menus;
    std::vector<MenuItem> menuItems;   /* of the first menu */
    TIMERPROC timerProc = nullptr;
    WNDPROC registeredProc = nullptr;   /* of the last class registered */
    int nEvents = 0;
    int nBeeps = 0;
    DWORD dwLastError = 0;
};

State &S()
{
    static State s;
    return s;
}

std::string Hex(uintptr_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lx", static_cast<unsigned long>(v));
    return buf;
}

std::string Str(LPCSTR psz)
{
    if (psz == nullptr)
        return "NULL";
    std::string out = "\"";
    for (const char *p = psz; *p; ++p) {
        if (*p == '"' || *p == '\\')
            out += '\\';
        if (*p == '\t') {
            out += "\\t";
            continue;
        }
        out += *p;
    }
    return out + "\"";
}

/* Names a handle the layer gave out; anything else in hex. */
std::string H(const void *h)
{
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if (v == 0)
        return "NULL";
    if (h == hInstProgram)
        return "hInst";
    if (h == HWND_TOPMOST)
        return "HWND_TOPMOST";
    const char *tag = nullptr;
    switch (v & ~static_cast<uintptr_t>(0xFFFF)) {
    case kWindowTag: tag = "hwnd"; break;
    case kMenuTag: tag = "hmenu"; break;
    case kIconTag: tag = "icon"; break;
    case kEventTag: tag = "hEvent"; break;
    default: return Hex(v);
    }
    return tag + std::to_string(v & 0xFFFF);
}

std::string MenuFlags(UINT uFlags)
{
    static const struct { UINT bit; const char *name; } names[] = {
        {MF_BYPOSITION, "MF_BYPOSITION"}, {MF_GRAYED, "MF_GRAYED"}, {MF_CHECKED, "MF_CHECKED"},
    };
    std::string out;
    for (const auto &n : names) {
        if (uFlags & n.bit) {
            out += (out.empty() ? "" : "|");
            out += n.name;
            uFlags &= ~n.bit;
        }
    }
    if (uFlags != 0)
        out += (out.empty() ? "" : "|") + Hex(uFlags);
    return out.empty() ? "0" : out;
}

std::string MsgName(UINT uMsg)
{
    switch (uMsg) {
    case WM_DESTROY: return "WM_DESTROY";
    case WM_ACTIVATE: return "WM_ACTIVATE";
    case WM_SETFOCUS: return "WM_SETFOCUS";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_QUERYENDSESSION: return "WM_QUERYENDSESSION";
    case WM_ENDSESSION: return "WM_ENDSESSION";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_TIMER: return "WM_TIMER";
    default: return Hex(uMsg);
    }
}

void Record(const std::string &s)
{
    S().journal.push_back(s);
}

template <typename... T>
std::string Args(const T &...parts)
{
    std::string out;
    ((out += (out.empty() ? "" : ", ") + std::string(parts)), ...);
    return out;
}

std::string N(long long v)
{
    return std::to_string(v);
}

Window *FindWindow(HWND hwnd)
{
    uintptr_t v = reinterpret_cast<uintptr_t>(hwnd);
    if ((v & ~static_cast<uintptr_t>(0xFFFF)) != kWindowTag)
        return nullptr;
    size_t i = (v & 0xFFFF) - 1;
    return i < S().windows.size() ? &S().windows[i] : nullptr;
}

std::string IconName(HICON hicon)
{
    return H(hicon);
}

std::string FunctionName(const std::string &entry)
{
    return entry.substr(0, entry.find('('));
}

std::vector<std::string> Filter(const std::vector<std::string> &names, bool bKeep)
{
    std::vector<std::string> out;
    for (const auto &e : S().journal) {
        bool bNamed = false;
        for (const auto &n : names)
            bNamed = bNamed || FunctionName(e) == n;
        if (bNamed == bKeep)
            out.push_back(e);
    }
    return out;
}

}  // namespace

/* ---- control ---- */

const std::vector<std::string> &Journal() { return S().journal; }
void ClearJournal() { S().journal.clear(); }
std::vector<std::string> JournalOnly(const std::vector<std::string> &names) { return Filter(names, true); }
std::vector<std::string> JournalWithout(const std::vector<std::string> &names) { return Filter(names, false); }
Settings &Set() { return S().settings; }

void SetLibraryAnswer(int nQuery, int nValue) { S().answers[nQuery] = {nValue}; }
void SetLibraryAnswers(int nQuery, const std::vector<int> &values)
{
    S().answers[nQuery] = std::deque<int>(values.begin(), values.end());
}

void OnMenuOpen(std::function<void()> fn) { S().onMenuOpen = std::move(fn); }
void OnMessageBox(std::function<void()> fn) { S().onMessageBox = std::move(fn); }
void WhenIdle(std::function<void()> fn) { S().whenIdle = std::move(fn); }

static MSG Msg(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    MSG msg = {};
    msg.hwnd = hwnd;
    msg.message = uMsg;
    msg.wParam = wParam;
    msg.lParam = lParam;
    return msg;
}

void PostMsg(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    S().queue.push_back(Msg(hwnd, uMsg, wParam, lParam));
}

void PostTick()
{
    /* The callback is filled in when the loop hands the tick out, as the
     * platform does, so a tick may be queued before the timer exists. */
    PostMsg(nullptr, WM_TIMER, kTimerId, 0);
}

void DispatchNow(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    MSG msg = Msg(hwnd, uMsg, wParam, lParam);
    ::DispatchMessageA(&msg);
}

void TickNow()
{
    DispatchNow(nullptr, WM_TIMER, kTimerId, reinterpret_cast<LPARAM>(S().timerProc));
}

bool QuitPosted() { return S().bQuitSeen; }
int QuitCode() { return S().nQuitCode; }

const std::map<std::pair<HWND, UINT>, TrayIcon> &Tray() { return S().tray; }
void ShellRestart() { S().tray.clear(); }
const NOTIFYICONDATAA &LastNotifyData() { return S().lastNotify; }

HWND MainWindow()
{
    return S().windows.empty() ? nullptr : reinterpret_cast<HWND>(kWindowTag + 1);
}

bool WindowAlive(HWND hwnd)
{
    Window *w = FindWindow(hwnd);
    return w != nullptr && w->bAlive;
}

WNDPROC RegisteredProc() { return S().registeredProc; }

TIMERPROC TimerProc() { return S().timerProc; }

UINT RegisteredMessage(const char *pszName)
{
    auto it = S().registeredMessages.find(pszName);
    return it == S().registeredMessages.end() ? 0 : it->second;
}

const std::vector<MenuItem> &MenuItems() { return S().menuItems; }
int Beeps() { return S().nBeeps; }

}  // namespace plat

using namespace plat;

/* ---- the unit library ---- */

extern "C" int WINAPI TV_GetStatus(int nQuery)
{
    int v = 0;
    auto it = S().answers.find(nQuery);
    if (it != S().answers.end() && !it->second.empty()) {
        v = it->second.front();
        if (it->second.size() > 1)
            it->second.pop_front();
    }
    Record("TV_GetStatus(" + N(nQuery) + ") -> " + N(v));
    return v;
}

extern "C" int WINAPI TV_SetStatus(int nCommand)
{
    Record("TV_SetStatus(" + N(nCommand) + ")");
    return 0;
}

extern "C" int WINAPI DLLEXIT(void)
{
    Record("DLLEXIT()");
    return 0;
}

/* ---- kernel ---- */

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName)
{
    Record("CreateEventA(" + Args(H(lpEventAttributes), N(bManualReset), N(bInitialState), Str(lpName)) + ")");
    S().dwLastError = S().settings.dwLastErrorAfterCreateEvent;
    return reinterpret_cast<HANDLE>(kEventTag + ++S().nEvents);
}

DWORD WINAPI GetLastError(void)
{
    Record("GetLastError() -> " + N(S().dwLastError));
    return S().dwLastError;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    Record("CloseHandle(" + H(hObject) + ")");
    return TRUE;
}

LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength)
{
    Record("lstrcpynA(" + Args(Str(lpString2), N(iMaxLength)) + ")");
    if (iMaxLength <= 0)
        return lpString1;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i] != '\0'; ++i)
        lpString1[i] = lpString2[i];
    lpString1[i] = '\0';
    return lpString1;
}

VOID WINAPI GetSystemTimeAsFileTime(FILETIME *lpSystemTimeAsFileTime)
{
    /* 100 ns intervals since 1601-01-01, from the real clock. */
    constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t t = kUnixEpochAsFileTime + static_cast<uint64_t>(ts.tv_sec) * 10000000ULL +
                 static_cast<uint64_t>(ts.tv_nsec) / 100;
    lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(t);
    lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(t >> 32);
}

/* ---- windows and classes ---- */

ATOM WINAPI RegisterClassA(const WNDCLASSA *wc)
{
    Record("RegisterClassA(" +
           Args("style=" + Hex(wc->style), std::string("proc=") + (wc->lpfnWndProc ? "set" : "NULL"),
                "cls=" + N(wc->cbClsExtra), "wnd=" + N(wc->cbWndExtra), "inst=" + H(wc->hInstance),
                "icon=" + H(wc->hIcon), "cursor=" + H(wc->hCursor), "brush=" + H(wc->hbrBackground),
                "menu=" + Str(wc->lpszMenuName), "class=" + Str(wc->lpszClassName)) +
           ")");
    if (S().settings.bRegisterClassFails || S().classes.count(wc->lpszClassName))
        return 0;
    S().classes[wc->lpszClassName] = {wc->lpfnWndProc, wc->hInstance};
    S().registeredProc = wc->lpfnWndProc;
    return static_cast<ATOM>(0xC000 + S().classes.size());
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance)
{
    Record("UnregisterClassA(" + Args(Str(lpClassName), H(hInstance)) + ")");
    return S().classes.erase(lpClassName) ? TRUE : FALSE;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam)
{
    Record("CreateWindowExA(" +
           Args(Hex(dwExStyle), Str(lpClassName), Str(lpWindowName), Hex(dwStyle),
                X == CW_USEDEFAULT ? "CW_USEDEFAULT" : N(X), Y == CW_USEDEFAULT ? "CW_USEDEFAULT" : N(Y),
                N(nWidth), N(nHeight), H(hWndParent), H(hMenu), H(hInstance), H(lpParam)) +
           ")");
    auto it = S().classes.find(lpClassName);
    if (it == S().classes.end())
        return nullptr;
    Window w;
    w.strClass = lpClassName;
    w.proc = it->second.first;
    S().windows.push_back(w);
    return reinterpret_cast<HWND>(kWindowTag + S().windows.size());
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    Record("ShowWindow(" + Args(H(hWnd), N(nCmdShow)) + ")");
    return FALSE;
}

BOOL WINAPI CloseWindow(HWND hWnd)
{
    Record("CloseWindow(" + H(hWnd) + ")");
    return WindowAlive(hWnd);
}

BOOL WINAPI DestroyWindow(HWND hWnd)
{
    Record("DestroyWindow(" + H(hWnd) + ")");
    Window *w = FindWindow(hWnd);
    if (w == nullptr || !w->bAlive)
        return FALSE;
    WNDPROC proc = w->proc;
    proc(hWnd, WM_DESTROY, 0, 0);
    FindWindow(hWnd)->bAlive = false;
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Record("DefWindowProcA(" + Args(H(hWnd), MsgName(Msg), Hex(wParam), Hex(static_cast<uintptr_t>(lParam))) +
           ")");
    return 0;
}

UINT WINAPI RegisterWindowMessageA(LPCSTR lpString)
{
    Record("RegisterWindowMessageA(" + Str(lpString) + ")");
    auto &m = S().registeredMessages;
    auto it = m.find(lpString);
    if (it != m.end())
        return it->second;
    UINT u = kFirstRegisteredMessage + static_cast<UINT>(m.size());
    m[lpString] = u;
    return u;
}

/* ---- message loop ---- */

BOOL WINAPI GetMessageA(MSG *lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    Record("GetMessageA(" + Args(H(hWnd), N(wMsgFilterMin), N(wMsgFilterMax)) + ")");
    State &s = S();
    if (!s.bQuit && s.queue.empty() && s.whenIdle) {
        auto fn = std::move(s.whenIdle);
        s.whenIdle = nullptr;
        fn();
    }
    /* A posted quit ends the loop before anything the test queued after it. */
    if (!s.bQuit && !s.queue.empty()) {
        *lpMsg = s.queue.front();
        s.queue.pop_front();
        if (lpMsg->message == WM_TIMER && lpMsg->hwnd == nullptr && lpMsg->wParam == kTimerId)
            lpMsg->lParam = reinterpret_cast<LPARAM>(s.timerProc);
        return TRUE;
    }
    *lpMsg = MSG{};
    lpMsg->message = WM_QUIT;
    lpMsg->wParam = static_cast<WPARAM>(s.nQuitCode);
    s.bQuitSeen = s.bQuit;
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG *lpMsg)
{
    Record("TranslateMessage(" + MsgName(lpMsg->message) + ")");
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG *lpMsg)
{
    Record("DispatchMessageA(" + Args(H(lpMsg->hwnd), MsgName(lpMsg->message)) + ")");
    if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        reinterpret_cast<TIMERPROC>(lpMsg->lParam)(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, 0);
        return 0;
    }
    Window *w = FindWindow(lpMsg->hwnd);
    if (w == nullptr || !w->bAlive)
        return 0;
    return w->proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

VOID WINAPI PostQuitMessage(int nExitCode)
{
    Record("PostQuitMessage(" + N(nExitCode) + ")");
    S().bQuit = true;
    S().nQuitCode = nExitCode;
}

/* ---- activation and placement ---- */

HWND WINAPI SetActiveWindow(HWND hWnd)
{
    Record("SetActiveWindow(" + H(hWnd) + ")");
    return nullptr;
}

HWND WINAPI SetFocus(HWND hWnd)
{
    Record("SetFocus(" + H(hWnd) + ")");
    return nullptr;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
    Record("SetWindowPos(" +
           Args(H(hWnd), H(hWndInsertAfter), N(X), N(Y), N(cx), N(cy),
                uFlags == SWP_NOSIZE ? std::string("SWP_NOSIZE") : Hex(uFlags)) +
           ")");
    return TRUE;
}

BOOL WINAPI GetCursorPos(POINT *lpPoint)
{
    Record("GetCursorPos()");
    *lpPoint = S().settings.ptCursor;
    return TRUE;
}

/* ---- timer ---- */

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc)
{
    Record("SetTimer(" + Args(H(hWnd), N(static_cast<long long>(nIDEvent)), N(uElapse),
                              std::string(lpTimerFunc ? "proc" : "NULL")) +
           ")");
    S().timerProc = lpTimerFunc;
    return kTimerId;
}

/* ---- menus ---- */

HMENU WINAPI CreatePopupMenu(void)
{
    Record("CreatePopupMenu()");
    S().menus.push_back(reinterpret_cast<HMENU>(kMenuTag + S().menus.size() + 1));
    return S().menus.back();
}

BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem)
{
    Record("AppendMenuA(" + Args(H(hMenu), MenuFlags(uFlags), N(static_cast<long long>(uIDNewItem)), Str(lpNewItem)) +
           ")");
    if (S().menus.empty() || hMenu != S().menus.front())
        return FALSE;
    S().menuItems.push_back({uFlags, uIDNewItem, lpNewItem});
    return TRUE;
}

BOOL WINAPI ModifyMenuA(HMENU hMnu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem)
{
    Record("ModifyMenuA(" +
           Args(H(hMnu), N(uPosition), MenuFlags(uFlags), N(static_cast<long long>(uIDNewItem)), Str(lpNewItem)) +
           ")");
    if (S().menus.empty() || hMnu != S().menus.front() || !(uFlags & MF_BYPOSITION) ||
        uPosition >= S().menuItems.size())
        return FALSE;
    S().menuItems[uPosition] = {uFlags & ~static_cast<UINT>(MF_BYPOSITION), uIDNewItem, lpNewItem};
    return TRUE;
}

BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd, const void *prcRect)
{
    Record("TrackPopupMenu(" + Args(H(hMenu), Hex(uFlags), N(x), N(y), N(nReserved), H(hWnd), H(prcRect)) + ")");
    if (S().onMenuOpen) {
        auto fn = S().onMenuOpen;
        fn();
    }
    /* Without TPM_RETURNCMD the pick arrives later, posted to the owner. */
    if (S().settings.uMenuChoice != 0)
        S().queue.push_front(Msg(hWnd, WM_COMMAND, S().settings.uMenuChoice, 0));
    return TRUE;
}

/* ---- icons and user feedback ---- */

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    uintptr_t id = reinterpret_cast<uintptr_t>(lpIconName);
    Record("LoadIconA(" + Args(H(hInstance), id < 0x10000 ? N(static_cast<long long>(id)) : Str(lpIconName)) + ")");
    if (hInstance != hInstProgram || id < 1 || id > 5)
        return nullptr;
    return reinterpret_cast<HICON>(kIconTag + id);
}

BOOL WINAPI DestroyIcon(HICON hIcon)
{
    Record("DestroyIcon(" + H(hIcon) + ")");
    /* Icons from LoadIconA are shared: releasing one leaves it usable. */
    return hIcon != nullptr;
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    Record("MessageBoxA(" +
           Args(H(hWnd), Str(lpText), Str(lpCaption),
                uType == MB_OK ? std::string("MB_OK") : uType == MB_YESNO ? std::string("MB_YESNO") : Hex(uType)) +
           ") -> " + N(S().settings.nMessageBoxAnswer));
    if (S().onMessageBox) {
        auto fn = S().onMessageBox;
        fn();
    }
    return S().settings.nMessageBoxAnswer;
}

BOOL WINAPI MessageBeep(UINT uType)
{
    Record("MessageBeep(" + Hex(uType) + ")");
    ++S().nBeeps;
    return TRUE;
}

/* ---- the shell ---- */

BOOL WINAPI Shell_NotifyIconA(DWORD dwMessage, NOTIFYICONDATAA *d)
{
    static const char *const ops[] = {"NIM_ADD", "NIM_MODIFY", "NIM_DELETE"};
    std::string op = dwMessage < 3 ? ops[dwMessage] : Hex(dwMessage);
    State &s = S();
    /* The shell reads only as much of the record as its size says. */
    DWORD cb = d->cbSize < sizeof(NOTIFYICONDATAA) ? d->cbSize : static_cast<DWORD>(sizeof(NOTIFYICONDATAA));
    std::memset(&s.lastNotify, 0, sizeof s.lastNotify);
    std::memcpy(&s.lastNotify, d, cb);

    std::string tip(d->szTip, strnlen(d->szTip, sizeof d->szTip));
    Record("Shell_NotifyIconA(" +
           Args(op, "cb=" + N(d->cbSize), "hwnd=" + H(d->hWnd), "id=" + N(d->uID), "flags=" + Hex(d->uFlags),
                "msg=" + Hex(d->uCallbackMessage), "icon=" + IconName(d->hIcon), "tip=" + Str(tip.c_str())) +
           ")");

    if (!s.settings.bShellUp || d->cbSize != NOTIFYICONDATAA_V1_SIZE)
        return FALSE;
    auto key = std::make_pair(d->hWnd, d->uID);
    bool bPresent = s.tray.count(key) != 0;
    switch (dwMessage) {
    case NIM_ADD:
        if (bPresent || !WindowAlive(d->hWnd))
            return FALSE;
        s.tray[key] = {IconName(d->hIcon), tip, d->uCallbackMessage};
        return TRUE;
    case NIM_MODIFY:
        if (!bPresent)
            return FALSE;
        s.tray[key] = {IconName(d->hIcon), tip, d->uCallbackMessage};
        return TRUE;
    case NIM_DELETE:
        return s.tray.erase(key) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}
