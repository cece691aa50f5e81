#pragma once
// The processor identification instruction and the test for it.
#include <stdint.h>

#include "model/platform.h"

namespace devlore {

// 1 when the ID bit (bit 21) of the flags register can be changed, that is
// when the processor has CPUID; always 1 on x86-64.
int ProcessorHasCpuid();

// Runs CPUID for one leaf (sub-leaf 0).
void ExecuteCpuid(uint32_t leaf, CpuidResult* result);

}  // namespace devlore
