#pragma once
// The flat-to-16-bit side of the memory device: the kernel's exports by ordinal
// (16-bit module load, release and procedure look-up) and the QT_Thunk call.
#include <windows.h>
#include <stdint.h>

namespace devlore {

// The address of the kernel module's export with this ordinal, or null. The
// kernel image is walked in memory (the kernel refuses GetProcAddress by ordinal
// on Windows 9x); every offset read from its headers is checked against the
// image size, and an export that forwards to another module is resolved through
// that module, or reported as absent.
FARPROC GetKernelExportByOrdinal(uint32_t ordinal);

// Calls the 16:16 procedure through QT_Thunk with one 16-bit argument and
// returns its 16-bit result, zero-extended. Only the 32-bit x86 build has a
// 16-bit side; elsewhere the result is 0.
uint32_t CallThunk16(FARPROC qtThunk, uint32_t procedure16, uint16_t argument);

}  // namespace devlore
