// The DLL's real entry point. The library links without the C runtime's start-up
// code, so this runs the static constructors on attach, hands the notification to
// DllMain, and runs the exit list and static destructors on detach.
#include <windows.h>

#include "runtime/exit_list.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

typedef void (*StaticFunction)();

// Laid out by the linker: a -1 (or count) word, the entries, then a null entry.
extern "C" StaticFunction __CTOR_LIST__[];
extern "C" StaticFunction __DTOR_LIST__[];

void RunStaticConstructors() {
  size_t count = 0;
  while (__CTOR_LIST__[count + 1] != nullptr) ++count;
  // The compiler's own start-up runs them from the last entry to the first.
  for (size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

void RunStaticDestructors() {
  for (size_t i = 1; __DTOR_LIST__[i] != nullptr; ++i) __DTOR_LIST__[i]();
}

}  // namespace

extern "C" BOOL WINAPI DevloreDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    RunStaticConstructors();
    if (!DllMain(instance, reason, reserved)) {
      devlore::runtime::RunExitList();
      RunStaticDestructors();
      return FALSE;
    }
    return TRUE;
  }
  BOOL result = DllMain(instance, reason, reserved);
  if (reason == DLL_PROCESS_DETACH) {
    devlore::runtime::RunExitList();
    RunStaticDestructors();
  }
  return result;
}
