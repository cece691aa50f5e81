// The library's exported COM entry points.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "server/class_object.h"
#include "server/server_module.h"
#include "server/server_registration.h"

// S_OK once nothing holds the library: no control object, no outside
// reference to a class object, no unmatched LockServer(TRUE).
STDAPI DllCanUnloadNow() { return devlore::ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
  return devlore::FindClassObject(classId, iid, object);
}

STDAPI DllRegisterServer() { return devlore::RegisterServerClasses(TRUE, nullptr); }

STDAPI DllUnregisterServer() { return devlore::UnregisterServerClasses(TRUE, nullptr); }
