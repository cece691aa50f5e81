#pragma once
// A stand-in for the Windows 9x driver loader of 32-bit Wine, for 64-bit test
// programs and tools (64-bit Wine loads no dynamic drivers). It behaves as Wine
// does in Windows 9x mode:
//   - CreateFileA("\\.\NAME.VXD") (or "\\.\NAME", which means NAME.VXD) first
//     tries the platform's own open; when that fails, the driver module is
//     loaded from the current directory and a handle to it is returned;
//   - DeviceIoControl on that handle, for a code whose high word is zero, calls
//     the module's export "DeviceIoControl" with the remaining arguments
//     unchanged; other codes, or a module without the export, fail with
//     ERROR_INVALID_FUNCTION;
//   - CloseHandle on that handle unloads the module.
// Everything else goes to the real CreateFileA, DeviceIoControl and CloseHandle.
// Never part of the shipped library.
#include <windows.h>

#include "model/platform.h"

namespace devlore::test {

HANDLE WINAPI VxdLoaderCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WINAPI VxdLoaderDeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                     DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped);
BOOL WINAPI VxdLoaderCloseHandle(HANDLE handle);

// Points the three probe-driver entries of a seam table at the stand-in.
void UseVxdLoader(PlatformApi& api);

// For tools: installs, process-wide, the real platform table with the stand-in's
// three entries (through SetPlatform). RemoveVxdLoader puts the real table back.
void InstallVxdLoader();
void RemoveVxdLoader();

// Driver handles the stand-in holds open (each one holds its module loaded).
int OpenVxdHandleCount();

}  // namespace devlore::test
