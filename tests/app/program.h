/* What the tests reach of the program: its handlers and process-wide state. */
#ifndef QELMNG_TESTS_PROGRAM_H
#define QELMNG_TESTS_PROGRAM_H

#include <windows.h>

extern HMENU hmenu;
extern HWND hwndMain;
extern HINSTANCE hInstMain;
extern int ic;

LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
VOID CALLBACK OnTimer(HWND hwnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);
void On_MYWM_NOTIFYICON(HWND hwnd, WPARAM wParam, LPARAM lParam);
void ChangeMenuA(BOOL IsRunning);
BOOL MyTaskBarAddIcon(HWND hwnd, UINT uID, HICON hicon, LPCSTR lpszTip);
BOOL MyTaskBarModifyIcon(HWND hwnd, UINT uID, HICON hicon, LPCSTR lpszTip);
BOOL MyTaskBarDeleteIcon(HWND hwnd, UINT uID);

#endif
