// Keeps the prefix's desktop process, and so the tray, alive between runs of
// the start-up benchmark without adding an icon of its own: Wine ends the
// desktop about a second after its last GUI client. A hidden window is
// enough to be one. Ends by itself after the given seconds (default 600).
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdline, int) {
  int seconds = cmdline && *cmdline ? std::atoi(cmdline) : 600;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.lpszClassName = "HoldDeskClass";
  if (!RegisterClassA(&wc)) return 1;
  if (!CreateWindowExA(0, wc.lpszClassName, "holddesk", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                       nullptr, instance, nullptr))
    return 1;
  SetTimer(nullptr, 1, static_cast<UINT>(seconds) * 1000u, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) break;
    DispatchMessageA(&msg);
  }
  return 0;
}
