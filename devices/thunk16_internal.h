#pragma once
// The kernel export walk over any mapped image, for the tests and the fuzz
// target that hand it images of their own.
#include <windows.h>
#include <stdint.h>

namespace devlore {

FARPROC GetImageExportByOrdinal(HMODULE image, uint32_t ordinal);

}  // namespace devlore
