#include "devices/processor_identification.h"

namespace devlore {

int ProcessorHasCpuid() {
#if defined(__i386__)
  uint32_t before, after;
  // Flip the ID bit, read the flags back and restore them.
  __asm__ volatile(
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "pushl %0\n\t"
      "popfl\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000u) != 0;
#else
  return 1;
#endif
}

void ExecuteCpuid(uint32_t leaf, CpuidResult* result) {
  uint32_t a, b, c, d;
  __asm__ volatile("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(leaf), "c"(0));
  result->eax = a;
  result->ebx = b;
  result->ecx = c;
  result->edx = d;
}

}  // namespace devlore
