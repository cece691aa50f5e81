#include "server/class_object.h"

#include <new>

#include "server/server_module.h"

namespace devlore {
namespace {

// The class factory. The class table holds one reference for the module's life;
// a count of 1 is that reference alone and keeps no module lock, so the step
// from 1 to 2 (the first outside reference) takes one and the step from 2 to 1
// gives it back.
class ClassObject final : public IClassFactory {
 public:
  explicit ClassObject(InstanceCreator instanceCreator) : instanceCreator_(instanceCreator) {
    InitializeCriticalSection(&cacheLock_);
  }
  ~ClassObject() { DeleteCriticalSection(&cacheLock_); }
  ClassObject(const ClassObject&) = delete;
  ClassObject& operator=(const ClassObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }

  ULONG STDMETHODCALLTYPE AddRef() override {
    CriticalSectionLock lock(cacheLock_);
    const LONG count = InterlockedIncrement(&referenceCount_);
    if (count == 2) AddModuleLock();
    return static_cast<ULONG>(count);
  }

  ULONG STDMETHODCALLTYPE Release() override {
    LONG count;
    {
      CriticalSectionLock lock(cacheLock_);
      count = InterlockedDecrement(&referenceCount_);
    }
    if (count == 0) {
      delete this;
    } else if (count == 1) {
      ReleaseModuleLock();
    }
    return static_cast<ULONG>(count);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    // An aggregated object can only be handed to its outer object as its
    // non-delegating IUnknown.
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    if (!instanceCreator_) return E_FAIL;
    return instanceCreator_(outer, iid, object);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      AddModuleLock();
    } else {
      ReleaseModuleLock();
    }
    return S_OK;
  }

 private:
  volatile LONG referenceCount_ = 0;
  InstanceCreator instanceCreator_;
  CRITICAL_SECTION cacheLock_;
};


// The cached class object is read without the lock by other threads: read and
// publish it as one whole pointer, never from a register copy.
IUnknown* CachedClassObject(const ClassEntry& row) {
  return *static_cast<IUnknown* const volatile*>(&row.classObject);
}

void PublishClassObject(ClassEntry& row, IUnknown* classObject) {
  // Everything the constructor wrote is visible before the pointer is.
  MemoryBarrier();
  *static_cast<IUnknown* volatile*>(&row.classObject) = classObject;
}

}  // namespace

HRESULT CreateClassObject(InstanceCreator instanceCreator, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  ClassObject* classObject = new (std::nothrow) ClassObject(instanceCreator);
  if (!classObject) return E_OUTOFMEMORY;
  // The new object starts at count 0, and a failed query leaves no reference
  // and a null *object: it is destroyed here directly.
  const HRESULT result = classObject->QueryInterface(iid, object);
  if (result != S_OK) delete classObject;
  return result;
}

HRESULT FindClassObject(REFCLSID classId, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  HRESULT result = S_OK;
  ServerModule& module = Module();
  for (ClassEntry* row = module.classTable; row && row->classId; ++row) {
    if (!row->createClassObject || !IsEqualCLSID(*row->classId, classId)) continue;
    if (!CachedClassObject(*row)) {
      CriticalSectionLock lock(module.classTableLock);
      if (!CachedClassObject(*row)) {
        // Made whole before it is published, so that a thread testing the
        // field without the lock never sees a half-built object.
        void* created = nullptr;
        result = row->createClassObject(row->createInstance, IID_IUnknown, &created);
        if (SUCCEEDED(result) && created) {
          PublishClassObject(*row, static_cast<IUnknown*>(created));
        } else if (created) {
          static_cast<IUnknown*>(created)->Release();
        }
      }
    }
    if (IUnknown* classObject = CachedClassObject(*row)) result = classObject->QueryInterface(iid, object);
    break;
  }
  if (!*object && result == S_OK) result = CLASS_E_CLASSNOTAVAILABLE;
  return result;
}

}  // namespace devlore
