// Win32 types and constants for the Windows build: the system's own headers.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
