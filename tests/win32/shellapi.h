/* The notification-area call of the shell, as qelmng uses it, for the host
 * build against the recording platform layer. */
#ifndef QELMNG_HOST_SHELLAPI_H
#define QELMNG_HOST_SHELLAPI_H

#include <windows.h>

#define NIM_ADD     0x00000000
#define NIM_MODIFY  0x00000001
#define NIM_DELETE  0x00000002

#define NIF_MESSAGE 0x00000001
#define NIF_ICON    0x00000002
#define NIF_TIP     0x00000004

/* Only the first form's fields and what follows them in memory matter here;
 * the record as a whole is larger, like the platform's. */
typedef struct _NOTIFYICONDATAA {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[64];
    DWORD dwState;
    DWORD dwStateMask;
    CHAR szInfo[256];
} NOTIFYICONDATAA;

#define NOTIFYICONDATAA_V1_SIZE ((DWORD)offsetof(NOTIFYICONDATAA, szTip[64]))

BOOL WINAPI Shell_NotifyIconA(DWORD dwMessage, NOTIFYICONDATAA *lpData);

#endif /* QELMNG_HOST_SHELLAPI_H */
