// The few C and C++ runtime entry points that compiled code may reference:
// atexit (static destructors), the pure-virtual trap and the heap operators.
#include <windows.h>

#include <new>

#include "runtime/exit_list.h"

namespace {

typedef void (*ExitFunction)();

struct ExitNode {
  ExitFunction function;
  ExitNode* next;
};

ExitNode* g_exitList = nullptr;

void* HeapBlock(size_t size) {
  // A zero-byte request still yields a distinct block.
  return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
}

void FreeHeapBlock(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace

namespace devlore::runtime {

void RunExitList() {
  while (g_exitList) {
    ExitNode* node = g_exitList;
    g_exitList = node->next;
    node->function();
    FreeHeapBlock(node);
  }
}

}  // namespace devlore::runtime

extern "C" int atexit(ExitFunction function) {
  ExitNode* node = static_cast<ExitNode*>(HeapBlock(sizeof(ExitNode)));
  if (!node) return -1;
  node->function = function;
  node->next = g_exitList;
  g_exitList = node;
  return 0;
}

extern "C" void __cxa_pure_virtual() {
  // A pure call means a destroyed or half-built object was used; stop here
  // rather than run on with a broken table.
  RaiseException(0xC0000025 /* STATUS_NONCONTINUABLE_EXCEPTION */, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

// The tag object that `new (std::nothrow)` passes; the C++ library is not linked.
namespace std {
const nothrow_t nothrow{};
}  // namespace std

// Every allocation in the library reports failure by a null result; nothing throws.
void* operator new(size_t size) { return HeapBlock(size); }
void* operator new[](size_t size) { return HeapBlock(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return HeapBlock(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return HeapBlock(size); }
void operator delete(void* block) noexcept { FreeHeapBlock(block); }
void operator delete[](void* block) noexcept { FreeHeapBlock(block); }
void operator delete(void* block, size_t) noexcept { FreeHeapBlock(block); }
void operator delete[](void* block, size_t) noexcept { FreeHeapBlock(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { FreeHeapBlock(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { FreeHeapBlock(block); }
