// The floor for the tick-cost benchmark: the least a tray program with a
// 500 ms poll can do. A hidden window owns one icon, added at start; a thread
// timer like the manager's refreshes it with one NIM_MODIFY per tick and does
// nothing else, so whatever the manager spends above this is its own work.
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr UINT kIconId = 1;
constexpr UINT kCallback = WM_USER + 1;

HWND g_hwnd;
HICON g_icon;

// The same first-form record the manager sends.
BOOL notify(DWORD message) {
  NOTIFYICONDATAA nid = {};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = g_hwnd;
  nid.uID = kIconId;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = kCallback;
  nid.hIcon = g_icon;
  lstrcpynA(nid.szTip, "mintray", sizeof nid.szTip);
  return Shell_NotifyIconA(message, &nid);
}

VOID CALLBACK on_timer(HWND, UINT, UINT_PTR, DWORD) { notify(NIM_MODIFY); }

LRESULT CALLBACK wndproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = wndproc;
  wc.hInstance = instance;
  wc.lpszClassName = "MinTrayClass";
  if (!RegisterClassA(&wc)) return 1;
  g_hwnd = CreateWindowExA(0, wc.lpszClassName, "mintray", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance, nullptr);
  if (!g_hwnd) return 1;
  // A shared system icon: loaded once, never destroyed, the shell copies it.
  g_icon = LoadIconA(nullptr, IDI_APPLICATION);
  SetTimer(nullptr, 1, 500, on_timer);
  notify(NIM_ADD);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  notify(NIM_DELETE);
  return 0;
}
