/* The Win32 API as this program uses it, served on POSIX systems by the layer in posix/core. */
#ifndef POSIX_WINDOWS_H
#define POSIX_WINDOWS_H

#include "win32/wintypes.h"
#include "win32/winerror.h"
#include "win32/objects.h"
#include "win32/registry.h"
#include "win32/files.h"
#include "win32/processes.h"
#include "win32/security.h"
#include "win32/resources.h"
#include "win32/system.h"
#include "win32/winuser.h"
#include "win32/wingdi.h"

WIN32_EXTERN_C_BEGIN
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);
WIN32_EXTERN_C_END

#endif
