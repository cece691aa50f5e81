// The entry point of the probe driver modules. They link without the C runtime:
// there is nothing to construct or tear down, so attaching only asks the loader
// to spare the module the per-thread notifications.
#include <windows.h>

extern "C" BOOL WINAPI ProbeDriverEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
