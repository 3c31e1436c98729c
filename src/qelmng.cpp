/* qelmng: Qel Manager, the tray utility that watches and drives the unit
 * library TALVIK.dll. One hidden window, one popup menu, one 500 ms poll timer
 * and one notification-area icon, all on a single thread. */

#include <windows.h>
#include <shellapi.h>

#include "TALVIK.h"

#define IDM_RUN     10   /* menu position 0 */
#define IDM_EXIT    20   /* menu position 1 */
#define IDM_CONFIG  30   /* menu position 2 */

#define TRAY_ICON_ID     99
#define MYWM_NOTIFYICON  (WM_USER + 0x63)

/* Library query and command numbers. */
#define TVQ_RUNNING      2
#define TVQ_INITIALISED  3
#define TVQ_CLIENTS      6
#define TVQ_OFFLINE      7
#define TVC_RUN          5
#define TVC_INIT         10
#define TVC_CONFIG       11

/* The shell reads only the first form of the record, the same on every
 * shell version; on 32-bit Windows that form is 88 bytes. */
#if defined(_WIN32) && !defined(_WIN64)
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "first-form NOTIFYICONDATAA must be 88 bytes");
#endif

static const char szTip[] = "Talvik Manager";

HMENU hmenu = NULL;           /* popup menu: Run, Exit, Config by position */
HWND hwndMain = NULL;         /* hidden main window; owns the tray icon */
HINSTANCE hInstMain = NULL;   /* module holding the icon resources */
int ic = 0;                   /* clients attached (query 6) at the last tick */
UINT uTaskbarCreated = 0;     /* broadcast by the shell when it (re)starts */
int nIconShown = 1;           /* icon resource on show, for putting it back */

LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
VOID CALLBACK OnTimer(HWND hwnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);

/* ---- Notification-area icon helpers ---------------------------------- */

/* One record for all three shell operations; delete carries only the icon's
 * identity. */
static BOOL MyTaskBarNotify(DWORD dwMessage, HWND hwnd, UINT uID, HICON hicon, LPCSTR lpszTip)
{
    NOTIFYICONDATAA tnid = {};

    tnid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    tnid.hWnd = hwnd;
    tnid.uID = uID;
    if (dwMessage != NIM_DELETE) {
        tnid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        tnid.uCallbackMessage = MYWM_NOTIFYICON;
        tnid.hIcon = hicon;
        if (lpszTip)
            lstrcpynA(tnid.szTip, lpszTip, sizeof(tnid.szTip));
        else
            tnid.szTip[0] = '\0';
    }
    return Shell_NotifyIconA(dwMessage, &tnid);
}

/* Adds the icon; the shell keeps its own copy, so the handle is released. */
BOOL MyTaskBarAddIcon(HWND hwnd, UINT uID, HICON hicon, LPCSTR lpszTip)
{
    BOOL res = MyTaskBarNotify(NIM_ADD, hwnd, uID, hicon, lpszTip);

    if (hicon)
        DestroyIcon(hicon);
    return res;
}

BOOL MyTaskBarModifyIcon(HWND hwnd, UINT uID, HICON hicon, LPCSTR lpszTip)
{
    return MyTaskBarNotify(NIM_MODIFY, hwnd, uID, hicon, lpszTip);
}

BOOL MyTaskBarDeleteIcon(HWND hwnd, UINT uID)
{
    return MyTaskBarNotify(NIM_DELETE, hwnd, uID, NULL, NULL);
}

/* ---- Status poll and icon animation ---------------------------------- */

/* Check mark on Run while the library runs. */
void ChangeMenuA(BOOL IsRunning)
{
    ModifyMenuA(hmenu, 0, MF_BYPOSITION | MF_STRING | (IsRunning ? MF_CHECKED : MF_UNCHECKED),
                IDM_RUN, "&Run");
}

/* Every 500 ms: follow the library's state on the menu and the tray icon. */
VOID CALLBACK OnTimer(HWND hwnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime)
{
    static int IsRunning = 0;   /* running state seen at the last tick */
    static int IconState = 0;   /* blink phase */
    int noffline;
    int nIcon;
    HICON hicon;

    (void)hwnd;
    (void)uMsg;
    (void)idEvent;
    (void)dwTime;

    /* Leaving while other clients use the library would cut them off. */
    ic = TV_GetStatus(TVQ_CLIENTS);
    ModifyMenuA(hmenu, 1, MF_BYPOSITION | MF_STRING | (ic > 1 ? MF_GRAYED : MF_ENABLED),
                IDM_EXIT, "&Exit");

    if (TV_GetStatus(TVQ_RUNNING) != 0) {
        if (IsRunning == 0)
            ChangeMenuA(TRUE);
        IsRunning = 1;
        IconState = (IconState + 1) % 2;
        noffline = TV_GetStatus(TVQ_OFFLINE);
        if (noffline == 0) {
            nIcon = IconState == 0 ? 1 : 2;
        } else if (IconState == 0) {
            MessageBeep(MB_ICONHAND);   /* once a second while units are offline */
            nIcon = 4;
        } else {
            nIcon = 5;
        }
    } else {
        if (IsRunning == 1)
            ChangeMenuA(FALSE);
        IsRunning = 0;
        nIcon = 3;
    }

    nIconShown = nIcon;
    hicon = LoadIconA(hInstMain, MAKEINTRESOURCEA(nIcon));
    if (!MyTaskBarModifyIcon(hwndMain, TRAY_ICON_ID, hicon, szTip)) {
        /* The shell has lost the icon (it restarted, or was not ready when
         * we started): without it there is no alarm and no way to Exit. */
        MyTaskBarAddIcon(hwndMain, TRAY_ICON_ID, hicon, szTip);
    }
}

/* ---- Window procedure and menu commands ------------------------------ */

/* A press on the tray icon opens the menu at the cursor. */
void On_MYWM_NOTIFYICON(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    UINT uMouseMsg = (UINT)lParam;
    POINT pt = {0, 0};

    (void)wParam;
    GetCursorPos(&pt);
    if (uMouseMsg == WM_LBUTTONDOWN || uMouseMsg == WM_RBUTTONDOWN) {
        /* The menu belongs to the hidden window: it must be active and on top,
         * or the menu would open behind other windows and not close. */
        SetActiveWindow(hwndMain);
        SetFocus(hwndMain);
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 1, 1, SWP_NOSIZE);
        TrackPopupMenu(hmenu, 0, pt.x, pt.y, 0, hwnd, NULL);
        SetActiveWindow(hwnd);
    }
}

/* Run and Config are the library's own business; Exit leaves only when no
 * other client still depends on the library. */
static void OnCommand(HWND hwnd, UINT uId)
{
    switch (uId) {
    case IDM_RUN:
        TV_SetStatus(TVC_RUN);
        break;
    case IDM_EXIT: {
        int ic = TV_GetStatus(TVQ_CLIENTS);   /* read now: the tick's value may be old */

        DLLEXIT();
        if (ic <= 1) {
            MyTaskBarDeleteIcon(hwnd, TRAY_ICON_ID);
            CloseWindow(hwnd);
            DestroyWindow(hwnd);
            PostQuitMessage(0);
        }
        break;
    }
    case IDM_CONFIG:
        TV_SetStatus(TVC_CONFIG);
        break;
    default:
        break;
    }
}

/* The session may end only if the user agrees. */
static LRESULT OnQueryEndSession(void)
{
    if (MessageBoxA(NULL, "Qel Manager", "Close Qel Manager?", MB_YESNO) == IDYES) {
        PostQuitMessage(0);
        return 1;
    }
    return 0;
}

/* The shell has restarted, so the icon is gone: put back the one on show. */
static void OnTaskbarCreated(void)
{
    MyTaskBarAddIcon(hwndMain, TRAY_ICON_ID, LoadIconA(hInstMain, MAKEINTRESOURCEA(nIconShown)), szTip);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case MYWM_NOTIFYICON:
        On_MYWM_NOTIFYICON(hwnd, wParam, lParam);
        return 0;
    case WM_COMMAND:
        OnCommand(hwnd, LOWORD(wParam));
        return 0;
    case WM_ACTIVATE:
    case WM_SETFOCUS:
        return 0;
    case WM_QUERYENDSESSION:
        return OnQueryEndSession();
    case WM_CLOSE:
        return 0;   /* only Exit or the session end closes the manager */
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        if (uTaskbarCreated != 0 && uMsg == uTaskbarCreated) {
            OnTaskbarCreated();
            return 0;
        }
        return DefWindowProcA(hwnd, uMsg, wParam, lParam);
    }
}

/* ---- Start-up, single instance and message loop ---------------------- */

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nCmdShow)
{
    bool DispWarning = true;
    HANDLE hEvent;
    char szMyClass[12] = "QelMngClass";
    WNDCLASSA wc;
    MSG msg = {};

    (void)hPrevInstance;
    (void)nCmdShow;

    /* 'N' is for starts at logon, where nobody should have to click a box. */
    if (lpszCmdLine != NULL && lpszCmdLine[0] == 'N')
        DispWarning = false;

    /* The event is never signalled: its name alone marks the running copy. */
    hEvent = CreateEventA(NULL, TRUE, FALSE, "QelMng Active");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (DispWarning)
            MessageBoxA(NULL, "Can only run once", "Qel Manager", MB_OK);
        return 0;
    }

    if (TV_GetStatus(TVQ_INITIALISED) == 0)
        TV_SetStatus(TVC_INIT);

    wc.style = 0;
    wc.lpfnWndProc = WndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = NULL;
    wc.hCursor = NULL;
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = szMyClass;
    if (!RegisterClassA(&wc))
        return 0;

    /* Known before the window exists, so no restart of the shell is missed. */
    uTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");

    hwndMain = CreateWindowExA(0, szMyClass, "Qel Manager", WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS,
                               CW_USEDEFAULT, CW_USEDEFAULT, 1000, 1000, NULL, NULL, hInstance, NULL);
    ShowWindow(hwndMain, SW_HIDE);

    hmenu = CreatePopupMenu();
    AppendMenuA(hmenu, MF_STRING, IDM_RUN, "&Run");
    AppendMenuA(hmenu, MF_STRING, IDM_EXIT, "&Exit");
    AppendMenuA(hmenu, MF_STRING, IDM_CONFIG, "&Config");

    hInstMain = hInstance;

    /* A thread timer: it ticks on inside the menu's and the message box's
     * modal loops too. */
    SetTimer(NULL, 1, 500, OnTimer);

    MyTaskBarAddIcon(hwndMain, TRAY_ICON_ID, LoadIconA(hInstance, MAKEINTRESOURCEA(1)), szTip);

    while (GetMessageA(&msg, NULL, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    UnregisterClassA(szMyClass, hInstance);
    CloseHandle(hEvent);
    return (int)msg.wParam;
}
