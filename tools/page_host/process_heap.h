#pragma once
// The bytes in use in all heaps of the process (the busy blocks HeapWalk finds),
// for telling whether repeated work leaves memory behind.
#include <windows.h>

namespace devlore::page_host {

// False when a heap could not be walked.
bool HeapBytesInUse(unsigned long long& bytes);

}  // namespace devlore::page_host
