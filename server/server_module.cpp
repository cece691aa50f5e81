#include "server/server_module.h"

#include <new>

#include "server/class_table.h"

namespace devlore {
namespace {

ServerModule g_module = {};

}  // namespace

ServerModule& Module() { return g_module; }

void InitializeModule(ClassEntry* classTable, HINSTANCE instance) {
  g_module.classTable = classTable;
  g_module.instance = instance;
  g_module.typeLibraryInstance = instance;
  g_module.lockCount = 0;
  InitializeCriticalSection(&g_module.typeInfoLock);
  InitializeCriticalSection(&g_module.windowCreationLock);
  InitializeCriticalSection(&g_module.classTableLock);
  g_module.windowCreators = nullptr;
  g_module.terminationCallbacks = nullptr;
  RunStartStopHooks(classTable, true);
}

void TerminateModule() {
  ReleaseCachedClassObjects(g_module.classTable);
  DeleteCriticalSection(&g_module.typeInfoLock);
  DeleteCriticalSection(&g_module.windowCreationLock);
  DeleteCriticalSection(&g_module.classTableLock);
  while (TerminationNode* node = g_module.terminationCallbacks) {
    g_module.terminationCallbacks = node->next;
    node->callback(node->argument);
    delete node;
  }
}

LONG AddModuleLock() { return InterlockedIncrement(&g_module.lockCount); }
LONG ReleaseModuleLock() { return InterlockedDecrement(&g_module.lockCount); }
LONG ModuleLockCount() { return g_module.lockCount; }

HINSTANCE ModuleInstance() { return g_module.instance; }

HRESULT AddTerminationCallback(TerminationCallback callback, DWORD_PTR argument) {
  TerminationNode* node = new (std::nothrow) TerminationNode;
  if (!node) return E_OUTOFMEMORY;
  node->callback = callback;
  node->argument = argument;
  CriticalSectionLock lock(g_module.typeInfoLock);
  node->next = g_module.terminationCallbacks;
  g_module.terminationCallbacks = node;
  return S_OK;
}

void RecordWindowCreator(WindowCreatorRecord* record, void* object) {
  record->object = object;
  record->threadId = GetCurrentThreadId();
  CriticalSectionLock lock(g_module.windowCreationLock);
  record->next = g_module.windowCreators;
  g_module.windowCreators = record;
}

void* TakeWindowCreator() {
  const DWORD thread = GetCurrentThreadId();
  CriticalSectionLock lock(g_module.windowCreationLock);
  WindowCreatorRecord** link = &g_module.windowCreators;
  while (WindowCreatorRecord* record = *link) {
    if (record->threadId == thread) {
      *link = record->next;
      return record->object;
    }
    link = &record->next;
  }
  return nullptr;
}

}  // namespace devlore
