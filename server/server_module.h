#pragma once
// The one ServerModule record of the library: instance handle, lock count,
// the module's critical sections, the list of windows being created and the
// termination callbacks. Set up at process attach, torn down at detach.
#include <windows.h>
#include <unknwn.h>

#include "base/critical_section_lock.h"

namespace devlore {

struct ClassEntry;

// Memory owned by the caller (normally a member of the object creating a window).
struct WindowCreatorRecord {
  void* object;
  DWORD threadId;
  WindowCreatorRecord* next;
};

typedef void(__stdcall* TerminationCallback)(DWORD_PTR argument);

struct TerminationNode {
  TerminationCallback callback;
  DWORD_PTR argument;
  TerminationNode* next;
};

struct ServerModule {
  HINSTANCE instance;
  HINSTANCE typeLibraryInstance;
  ClassEntry* classTable;
  volatile LONG lockCount;
  CRITICAL_SECTION typeInfoLock;        // one-time loading of type information, termination callbacks
  CRITICAL_SECTION windowCreationLock;  // window creators; held while the window class is registered
  CRITICAL_SECTION classTableLock;      // the class objects' cache
  WindowCreatorRecord* windowCreators;
  TerminationNode* terminationCallbacks;
};

// The process's module record.
ServerModule& Module();

// Attach and detach.
void InitializeModule(ClassEntry* classTable, HINSTANCE instance);
void TerminateModule();

// Interlocked lock count changes; each returns the new value.
LONG AddModuleLock();
LONG ReleaseModuleLock();
LONG ModuleLockCount();

HINSTANCE ModuleInstance();

// Pushes a callback that TerminateModule runs (newest first). E_OUTOFMEMORY
// when the node cannot be allocated.
[[nodiscard]] HRESULT AddTerminationCallback(TerminationCallback callback, DWORD_PTR argument);

// Records the object about to create a window on this thread.
void RecordWindowCreator(WindowCreatorRecord* record, void* object);
// Unlinks and returns the newest object recorded by this thread, or null.
void* TakeWindowCreator();


}  // namespace devlore
