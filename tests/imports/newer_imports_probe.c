/* A 32-bit DLL that imports what Windows 95 lacks: a Vista kernel function, and
   (through the C runtime start-up MinGW links in) MSVCRT.DLL. The import check
   must reject it; see CMakeLists.txt. */
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <stdlib.h>

__declspec(dllexport) ULONGLONG ProbeUptime(void) {
  return GetTickCount64();
}

__declspec(dllexport) int ProbeParse(const char* text) {
  return atoi(text);
}
