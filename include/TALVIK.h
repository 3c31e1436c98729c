/* TALVIK.dll: interface of the unit library through which an installation
 * reaches its network-attached acquisition units. */
#ifndef TALVIK_H
#define TALVIK_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Status query: 2 running, 3 initialised, 6 clients attached, 7 units offline. */
int WINAPI TV_GetStatus(int nQuery);
/* Command: 5 start or stop, 10 initialise, 11 open the library's settings. */
int WINAPI TV_SetStatus(int nCommand);
/* Detach this client from the library. */
int WINAPI DLLEXIT(void);

#ifdef __cplusplus
}
#endif

#endif /* TALVIK_H */
