#pragma once
// The one ServerModule record of the library: instance handle, lock count,
// the module's critical sections, the list of windows being created and the
// termination callbacks. Set up at process attach, torn down at detach.
#include <windows.h>
#include <unknwn.h>

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
  CRITICAL_SECTION typeInfoLock;
  CRITICAL_SECTION windowCreationLock;
  CRITICAL_SECTION classTableLock;
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
HRESULT AddTerminationCallback(TerminationCallback callback, DWORD_PTR argument);

// Records the object about to create a window on this thread.
void RecordWindowCreator(WindowCreatorRecord* record, void* object);
// Unlinks and returns the newest object recorded by this thread, or null.
void* TakeWindowCreator();

// The type-information lock, for the one-time loading of type information.
class TypeInfoLockGuard {
 public:
  TypeInfoLockGuard() { EnterCriticalSection(&Module().typeInfoLock); }
  ~TypeInfoLockGuard() { LeaveCriticalSection(&Module().typeInfoLock); }
  TypeInfoLockGuard(const TypeInfoLockGuard&) = delete;
  TypeInfoLockGuard& operator=(const TypeInfoLockGuard&) = delete;
};

// The window-creation lock, also held while the window class is registered.
class WindowCreationLockGuard {
 public:
  WindowCreationLockGuard() { EnterCriticalSection(&Module().windowCreationLock); }
  ~WindowCreationLockGuard() { LeaveCriticalSection(&Module().windowCreationLock); }
  WindowCreationLockGuard(const WindowCreationLockGuard&) = delete;
  WindowCreationLockGuard& operator=(const WindowCreationLockGuard&) = delete;
};

}  // namespace devlore
