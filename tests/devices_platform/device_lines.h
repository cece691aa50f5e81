#pragma once
// Reads a device's first category the way a client does: one GetCategory, then
// each element string (a null BSTR reads as empty).
#include <string>
#include <vector>

#include "model/device_object.h"

namespace devlore::test {

inline std::vector<std::wstring> CategoryLines(DeviceObject& device, int* ok = nullptr) {
  BSTR* table = nullptr;
  const int result = device.GetCategory(0, &table);
  if (ok) *ok = result;
  std::vector<std::wstring> lines;
  for (uint32_t i = 0; i < device.elementCounts[0]; ++i) lines.push_back(table && table[i] ? table[i] : L"");
  return lines;
}

}  // namespace devlore::test
