#pragma once
// The class table: one row per creatable class, ended by a row whose class
// identifier is null.
#include <windows.h>
#include <unknwn.h>

namespace devlore {

typedef HRESULT (*InstanceCreator)(IUnknown* outer, REFIID iid, void** object);
typedef HRESULT (*ClassObjectCreator)(InstanceCreator instanceCreator, REFIID iid, void** object);

// One category of a class: kind 1 implemented, 2 required; a kind of 0 ends a list.
struct CategoryEntry {
  DWORD kind;
  const GUID* category;
};

struct ClassEntry {
  const CLSID* classId;
  HRESULT (*updateRegistry)(BOOL install);
  ClassObjectCreator createClassObject;
  InstanceCreator createInstance;
  IUnknown* classObject;  // cached on first demand; the row holds one reference
  const char* (*description)();
  const CategoryEntry* (*categories)();
  void (*startStop)(BOOL starting);
};

// The library's table (one row, SysInfo).
ClassEntry* ServerClassTable();

// Calls every row's start/stop hook, in table order.
void RunStartStopHooks(ClassEntry* table, bool starting);
// Releases and clears every row's cached class object and calls its hook with false.
void ReleaseCachedClassObjects(ClassEntry* table);

}  // namespace devlore
