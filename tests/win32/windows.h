/* The slice of the Win32 API that qelmng uses, for building it natively on
 * Linux against the recording platform layer (platform.cpp). Declares only
 * what the program and the unit library's header need; values are those of
 * the Windows ABI so that recorded arguments read as they would on Windows. */
#ifndef QELMNG_HOST_WINDOWS_H
#define QELMNG_HOST_WINDOWS_H

#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define VOID void

#ifndef NULL
#define NULL 0
#endif
#define TRUE 1
#define FALSE 0

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned char BOOLEAN;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef unsigned int UINT;
typedef char CHAR;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;

/* Distinct handle types, so that the compiler catches a handle passed where
 * another kind belongs, as the Windows headers do. */
typedef void *HANDLE;
typedef struct HWND__ *HWND;
typedef struct HMENU__ *HMENU;
typedef struct HINSTANCE__ *HINSTANCE;
typedef struct HICON__ *HICON;
typedef struct HBRUSH__ *HBRUSH;
typedef HICON HCURSOR;

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG;

typedef struct _SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;

typedef LRESULT (CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef VOID (CALLBACK *TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;

#define LOWORD(l) ((WORD)(((UINT_PTR)(l)) & 0xffff))
#define MAKEINTRESOURCEA(i) ((LPSTR)((UINT_PTR)((WORD)(i))))

#define ERROR_ALREADY_EXISTS 183L

#define WM_NULL             0x0000
#define WM_DESTROY          0x0002
#define WM_ACTIVATE         0x0006
#define WM_SETFOCUS         0x0007
#define WM_CLOSE            0x0010
#define WM_QUERYENDSESSION  0x0011
#define WM_QUIT             0x0012
#define WM_ENDSESSION       0x0016
#define WM_COMMAND          0x0111
#define WM_TIMER            0x0113
#define WM_MOUSEMOVE        0x0200
#define WM_LBUTTONDOWN      0x0201
#define WM_LBUTTONUP        0x0202
#define WM_LBUTTONDBLCLK    0x0203
#define WM_RBUTTONDOWN      0x0204
#define WM_RBUTTONUP        0x0205
#define WM_RBUTTONDBLCLK    0x0206
#define WM_USER             0x0400

#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define WS_CLIPSIBLINGS     0x04000000L
#define CW_USEDEFAULT       ((int)0x80000000)
#define COLOR_WINDOW        5
#define SW_HIDE             0
#define SW_SHOWDEFAULT      10

#define HWND_TOPMOST        ((HWND)(LONG_PTR)-1)
#define SWP_NOSIZE          0x0001

#define MF_STRING           0x0000
#define MF_ENABLED          0x0000
#define MF_GRAYED           0x0001
#define MF_UNCHECKED        0x0000
#define MF_CHECKED          0x0008
#define MF_BYPOSITION       0x0400

#define MB_OK               0x0000
#define MB_YESNO            0x0004
#define MB_ICONHAND         0x0010
#define IDOK                1
#define IDYES               6
#define IDNO                7

/* kernel */
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName);
DWORD WINAPI GetLastError(void);
BOOL WINAPI CloseHandle(HANDLE hObject);
LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
VOID WINAPI GetSystemTimeAsFileTime(FILETIME *lpSystemTimeAsFileTime);

/* windows and classes */
ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass);
BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam);
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
BOOL WINAPI CloseWindow(HWND hWnd);
BOOL WINAPI DestroyWindow(HWND hWnd);
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
UINT WINAPI RegisterWindowMessageA(LPCSTR lpString);

/* message loop */
BOOL WINAPI GetMessageA(MSG *lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL WINAPI TranslateMessage(const MSG *lpMsg);
LRESULT WINAPI DispatchMessageA(const MSG *lpMsg);
VOID WINAPI PostQuitMessage(int nExitCode);

/* activation and placement */
HWND WINAPI SetActiveWindow(HWND hWnd);
HWND WINAPI SetFocus(HWND hWnd);
BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);
BOOL WINAPI GetCursorPos(POINT *lpPoint);

/* timer */
UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);

/* menus */
HMENU WINAPI CreatePopupMenu(void);
BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem);
BOOL WINAPI ModifyMenuA(HMENU hMnu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem);
BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd,
                           const void *prcRect);

/* icons and user feedback */
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
BOOL WINAPI DestroyIcon(HICON hIcon);
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
BOOL WINAPI MessageBeep(UINT uType);

/* the program's entry, called by the layer's start-up */
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);

#endif /* QELMNG_HOST_WINDOWS_H */
