#include "devices/thunk16.h"

namespace devlore {

// Not yet wired to the kernel: without the entry points the memory device
// reports the 16-bit resources as unavailable.
FARPROC GetKernelExportByOrdinal(uint32_t) { return nullptr; }

uint32_t CallThunk16(FARPROC, uint32_t, uint16_t) { return 0; }

}  // namespace devlore
