// The module instance handle, shared by every part that reaches the program's resources.
#ifndef DA12_COMMON_INSTANCE_H
#define DA12_COMMON_INSTANCE_H

#include <windows.h>

// Stored once by WinMain before the main dialog is created.
extern HINSTANCE moduleInstance;

#endif
