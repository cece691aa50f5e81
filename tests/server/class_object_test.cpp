// The class factory and the class-object cache, driven through a class table of
// test rows so that every path can be watched.
#include "server/class_object.h"

#include <gtest/gtest.h>

#include <process.h>

#include <vector>

#include "base/com_ptr.h"
#include "server/class_table.h"
#include "server/server_module.h"

namespace devlore {
namespace {

const CLSID kTestClass = {0x3b0c1e10, 0x5a4e, 0x4d11, {0x9c, 0x31, 0x70, 0x21, 0x6e, 0x55, 0x10, 0x01}};
const CLSID kCreatorlessClass = {0x3b0c1e10, 0x5a4e, 0x4d11, {0x9c, 0x31, 0x70, 0x21, 0x6e, 0x55, 0x10, 0x02}};
const CLSID kFlakyClass = {0x3b0c1e10, 0x5a4e, 0x4d11, {0x9c, 0x31, 0x70, 0x21, 0x6e, 0x55, 0x10, 0x03}};
const CLSID kTrackedClass = {0x3b0c1e10, 0x5a4e, 0x4d11, {0x9c, 0x31, 0x70, 0x21, 0x6e, 0x55, 0x10, 0x04}};
const CLSID kUnknownClass = {0x3b0c1e10, 0x5a4e, 0x4d11, {0x9c, 0x31, 0x70, 0x21, 0x6e, 0x55, 0x10, 0xFF}};

// What the test instance creator saw.
struct CreatorLog {
  int calls = 0;
  IUnknown* outer = nullptr;
  IID iid = {};
} g_creatorLog;

// A small object standing in for the control: it holds a module lock for its
// life and, when aggregated, hands its non-delegating unknown to the outer one.
class TestObject final : public IUnknown {
 public:
  explicit TestObject(IUnknown* outer) : outer_(outer) { AddModuleLock(); }
  ~TestObject() { ReleaseModuleLock(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IUnknown*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&count_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = InterlockedDecrement(&count_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }
  IUnknown* Outer() const { return outer_; }

 private:
  LONG count_ = 0;
  IUnknown* outer_;
};

HRESULT CreateTestObject(IUnknown* outer, REFIID iid, void** object) {
  ++g_creatorLog.calls;
  g_creatorLog.outer = outer;
  g_creatorLog.iid = iid;
  *object = nullptr;
  TestObject* created = new TestObject(outer);
  const HRESULT result = created->QueryInterface(iid, object);
  if (result != S_OK) delete created;
  return result;
}

// A class-object creator that fails on its first call only.
int g_flakyCalls = 0;
HRESULT CreateFlakyClassObject(InstanceCreator creator, REFIID iid, void** object) {
  if (++g_flakyCalls == 1) {
    *object = nullptr;
    return E_OUTOFMEMORY;
  }
  return CreateClassObject(creator, iid, object);
}

// A class object whose destruction can be seen, made slowly so that racing
// threads all find the cache empty.
LONG g_trackedCreations = 0;
LONG g_trackedDestructions = 0;
class TrackedClassObject final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
    AddRef();
    *object = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&count_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = InterlockedDecrement(&count_);
    if (count == 0) {
      InterlockedIncrement(&g_trackedDestructions);
      delete this;
    }
    return static_cast<ULONG>(count);
  }

 private:
  LONG count_ = 0;
};
HRESULT CreateTrackedClassObject(InstanceCreator, REFIID iid, void** object) {
  InterlockedIncrement(&g_trackedCreations);
  Sleep(50);
  TrackedClassObject* created = new TrackedClassObject;
  const HRESULT result = created->QueryInterface(iid, object);
  if (result != S_OK) delete created;
  return result;
}

int g_startCalls = 0;
int g_stopCalls = 0;
void CountStartStop(BOOL starting) { ++(starting ? g_startCalls : g_stopCalls); }

ClassEntry g_table[5];

void ResetTable() {
  g_table[0] = {&kCreatorlessClass, nullptr, nullptr, CreateTestObject, nullptr, nullptr, nullptr, CountStartStop};
  g_table[1] = {&kTestClass, nullptr, CreateClassObject, CreateTestObject, nullptr, nullptr, nullptr, CountStartStop};
  g_table[2] = {&kFlakyClass, nullptr, CreateFlakyClassObject, CreateTestObject, nullptr, nullptr, nullptr, nullptr};
  g_table[3] = {&kTrackedClass, nullptr, CreateTrackedClassObject, nullptr, nullptr, nullptr, nullptr, nullptr};
  g_table[4] = {};
}

class ClassObjectTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetTable();
    g_creatorLog = CreatorLog();
    g_flakyCalls = 0;
    g_trackedCreations = g_trackedDestructions = 0;
    g_startCalls = g_stopCalls = 0;
    InitializeModule(g_table, GetModuleHandleA(nullptr));
    initialized_ = true;
  }
  void TearDown() override {
    if (initialized_) TerminateModule();
  }

  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(S_OK, FindClassObject(kTestClass, IID_IClassFactory, factory.ReceiveVoid()));
    return factory;
  }

  bool initialized_ = false;
};

TEST_F(ClassObjectTest, StartHooksRunAtInitializeAndStopHooksAtTerminate) {
  EXPECT_EQ(2, g_startCalls);
  EXPECT_EQ(0, g_stopCalls);
  TerminateModule();
  initialized_ = false;
  EXPECT_EQ(2, g_stopCalls);
}

TEST_F(ClassObjectTest, SecondRequestGetsTheCachedObjectAndTakesNoSecondModuleLock) {
  const LONG before = ModuleLockCount();
  ComPtr<IClassFactory> first;
  ASSERT_EQ(S_OK, FindClassObject(kTestClass, IID_IClassFactory, first.ReceiveVoid()));
  EXPECT_EQ(before + 1, ModuleLockCount());
  EXPECT_EQ(static_cast<IUnknown*>(first.Get()), g_table[1].classObject);

  ComPtr<IClassFactory> second;
  ASSERT_EQ(S_OK, FindClassObject(kTestClass, IID_IClassFactory, second.ReceiveVoid()));
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(before + 1, ModuleLockCount());

  ComPtr<IUnknown> asUnknown;
  ASSERT_EQ(S_OK, FindClassObject(kTestClass, IID_IUnknown, asUnknown.ReceiveVoid()));
  EXPECT_EQ(static_cast<IUnknown*>(first.Get()), asUnknown.Get());

  asUnknown.Reset();
  second.Reset();
  EXPECT_EQ(before + 1, ModuleLockCount());
  first.Reset();
  EXPECT_EQ(before, ModuleLockCount());
  // The table's own reference keeps the object alive for the next client.
  ASSERT_NE(nullptr, g_table[1].classObject);
  EXPECT_EQ(2u, g_table[1].classObject->AddRef());
  EXPECT_EQ(before + 1, ModuleLockCount());
  EXPECT_EQ(1u, g_table[1].classObject->Release());
  EXPECT_EQ(before, ModuleLockCount());
}

TEST_F(ClassObjectTest, UnknownClassOrRowWithoutCreatorIsNotAvailable) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, FindClassObject(kUnknownClass, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, FindClassObject(kCreatorlessClass, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(nullptr, g_table[0].classObject);
  EXPECT_EQ(E_POINTER, FindClassObject(kTestClass, IID_IClassFactory, nullptr));
  EXPECT_EQ(0, ModuleLockCount());
}

TEST_F(ClassObjectTest, OtherInterfaceIsRefusedButTheObjectStaysCached) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, FindClassObject(kTestClass, IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
  IUnknown* cached = g_table[1].classObject;
  ASSERT_NE(nullptr, cached);
  EXPECT_EQ(0, ModuleLockCount());
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_EQ(static_cast<IUnknown*>(factory.Get()), cached);
}

TEST_F(ClassObjectTest, FailedCreationLeavesTheCacheEmptyAndIsRetried) {
  void* object = nullptr;
  EXPECT_EQ(E_OUTOFMEMORY, FindClassObject(kFlakyClass, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(nullptr, g_table[2].classObject);
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(S_OK, FindClassObject(kFlakyClass, IID_IClassFactory, factory.ReceiveVoid()));
  EXPECT_TRUE(factory);
  EXPECT_EQ(2, g_flakyCalls);
}

TEST_F(ClassObjectTest, CreateClassObjectRefusesOtherInterfaces) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, CreateClassObject(CreateTestObject, IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, CreateClassObject(CreateTestObject, IID_IClassFactory, nullptr));
  ComPtr<IClassFactory> own;
  ASSERT_EQ(S_OK, CreateClassObject(CreateTestObject, IID_IClassFactory, own.ReceiveVoid()));
  // A lone reference counts 1 and holds no module lock; a second one does.
  EXPECT_EQ(0, ModuleLockCount());
  EXPECT_EQ(2u, own->AddRef());
  EXPECT_EQ(1, ModuleLockCount());
  EXPECT_EQ(1u, own->Release());
  EXPECT_EQ(0, ModuleLockCount());
}

TEST_F(ClassObjectTest, CreateInstanceRefusesAggregationExceptForIUnknown) {
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  TestObject outer(nullptr);
  outer.AddRef();

  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(0, g_creatorLog.calls);

  ComPtr<IUnknown> inner;
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, inner.ReceiveVoid()));
  EXPECT_EQ(1, g_creatorLog.calls);
  EXPECT_EQ(&outer, g_creatorLog.outer);
  EXPECT_EQ(&outer, static_cast<TestObject*>(inner.Get())->Outer());

  ComPtr<IUnknown> alone;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, alone.ReceiveVoid()));
  EXPECT_EQ(nullptr, g_creatorLog.outer);
  EXPECT_EQ(nullptr, static_cast<TestObject*>(alone.Get())->Outer());

  // The creator's own refusal reaches the caller unchanged.
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_TRUE(IsEqualIID(IID_IDispatch, g_creatorLog.iid));
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
}

TEST_F(ClassObjectTest, ModuleLockFollowsObjectsClientsAndLockServer) {
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(1, ModuleLockCount());  // the client's reference to the class object
  ComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()));
  EXPECT_EQ(2, ModuleLockCount());
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(3, ModuleLockCount());
  factory.Reset();
  object.Reset();
  EXPECT_EQ(1, ModuleLockCount());
  ComPtr<IClassFactory> again = Factory();
  EXPECT_EQ(S_OK, again->LockServer(FALSE));
  again.Reset();
  EXPECT_EQ(0, ModuleLockCount());
  // No floor: an unmatched unlock goes below zero.
  again = Factory();
  EXPECT_EQ(S_OK, again->LockServer(FALSE));
  again.Reset();
  EXPECT_EQ(-1, ModuleLockCount());
  AddModuleLock();
}

TEST_F(ClassObjectTest, TerminateReleasesTheTablesReference) {
  ComPtr<IClassFactory> held = Factory();
  ASSERT_TRUE(held);
  EXPECT_EQ(1, ModuleLockCount());
  TerminateModule();
  initialized_ = false;
  EXPECT_EQ(nullptr, g_table[1].classObject);
  // The table's reference went 2 -> 1 and gave the module lock back; ours is now the last.
  EXPECT_EQ(0, ModuleLockCount());
  EXPECT_EQ(0u, held.Detach()->Release());
}

TEST_F(ClassObjectTest, TerminateDestroysAnUnheldClassObject) {
  ComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, FindClassObject(kTrackedClass, IID_IUnknown, object.ReceiveVoid()));
  object.Reset();
  EXPECT_EQ(0, g_trackedDestructions);
  TerminateModule();
  initialized_ = false;
  EXPECT_EQ(1, g_trackedDestructions);
  EXPECT_EQ(nullptr, g_table[3].classObject);
}

unsigned __stdcall RequestTracked(void* slot) {
  return static_cast<unsigned>(FindClassObject(kTrackedClass, IID_IUnknown, static_cast<void**>(slot)));
}

TEST_F(ClassObjectTest, RacingRequestsCreateTheClassObjectOnce) {
  constexpr int kThreads = 6;
  void* results[kThreads] = {};
  std::vector<HANDLE> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.push_back(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RequestTracked, &results[i], 0, nullptr)));
    ASSERT_NE(nullptr, threads.back());
  }
  WaitForMultipleObjects(kThreads, threads.data(), TRUE, INFINITE);
  for (HANDLE thread : threads) CloseHandle(thread);
  EXPECT_EQ(1, g_trackedCreations);
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(results[0], results[i]);
    const ComPtr<IUnknown> result = ComPtr<IUnknown>::Adopt(static_cast<IUnknown*>(results[i]));
  }
  EXPECT_NE(nullptr, results[0]);
}

}  // namespace
}  // namespace devlore
