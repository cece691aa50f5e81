// The library's attach and detach notifications, reached after the runtime's
// own start-up.
#include <windows.h>

#include "server/class_table.h"
#include "server/server_module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      devlore::InitializeModule(devlore::ServerClassTable(), instance);
      // The library keeps no per-thread state.
      DisableThreadLibraryCalls(instance);
      break;
    case DLL_PROCESS_DETACH:
      devlore::TerminateModule();
      break;
    default:
      break;
  }
  return TRUE;
}
