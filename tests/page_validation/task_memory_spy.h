#pragma once
// Watches the task allocator (IMallocSpy) while it is registered: which blocks
// were handed out and are not yet freed. BSTRs and the moniker's display name
// both come from this allocator, so a string the gate forgets to free stays
// listed here.
#include <windows.h>
#include <objidl.h>

#include <set>

namespace devlore::test {

class TaskMemorySpy : public IMallocSpy {
 public:
  // Registers the spy; Live() is meaningful only while Registered().
  TaskMemorySpy() { registered_ = SUCCEEDED(CoRegisterMallocSpy(this)); }
  ~TaskMemorySpy() {
    if (registered_) CoRevokeMallocSpy();
  }
  TaskMemorySpy(const TaskMemorySpy&) = delete;
  TaskMemorySpy& operator=(const TaskMemorySpy&) = delete;

  bool Registered() const { return registered_; }
  // Blocks allocated since registration and not freed.
  size_t Live() const { return live_.size(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
      *out = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
  void* STDMETHODCALLTYPE PostAlloc(void* block) override {
    if (block) live_.insert(block);
    return block;
  }
  void* STDMETHODCALLTYPE PreFree(void* block, BOOL spyed) override {
    if (block) live_.erase(block);
    return block;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL) override {
    if (block) live_.erase(block);
    *newBlock = block;
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override {
    if (block) live_.insert(block);
    return block;
  }
  void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int result) override { return result; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  bool registered_ = false;
  std::set<void*> live_;
};

}  // namespace devlore::test
