#pragma once
// The request entry point every probe driver module exports as "DeviceIoControl".
// The Windows 9x driver loader of the platform hands each control request with
// a zero high word that is sent on the driver's handle to this function, with
// the arguments of DeviceIoControl after the handle. Requests complete before
// the function returns; the overlapped argument is not used.
#include <windows.h>

extern "C" BOOL WINAPI ProbeDeviceIoControl(DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                            DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped);

// Records a failure the way DeviceIoControl reports one.
inline BOOL FailRequest(DWORD error, LPDWORD returned) {
  if (returned) *returned = 0;
  SetLastError(error);
  return FALSE;
}
