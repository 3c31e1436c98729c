// Resource identifiers of the simulated unit library's settings dialog,
// shared with the Windows check program that drives the dialog.
#ifndef QELMNG_SIM_TALVIK_SIM_RES_H
#define QELMNG_SIM_TALVIK_SIM_RES_H

#define IDD_SIM_SETTINGS 100
#define IDC_SIM_RUNNING 1001
#define IDC_SIM_CLIENTS 1002
#define IDC_SIM_OFFLINE 1003
#define IDC_SIM_PATH 1004

#endif
