#pragma once
// Reads a device's strings the way clients do, through GetCategory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/device_object.h"

namespace devlore::test {

struct CategoryRead {
  int ok = 0;
  BSTR* table = nullptr;
  std::vector<std::string> lines;  // "<null>" for a null BSTR
};

inline std::string Narrow(BSTR text) {
  if (!text) return "<null>";
  char buffer[1024] = {};
  WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

inline CategoryRead ReadCategory(DeviceObject& device, uint32_t category) {
  CategoryRead read;
  read.ok = device.GetCategory(category, &read.table);
  if (read.table) {
    for (uint32_t i = 0; i < device.elementCounts[category]; ++i) read.lines.push_back(Narrow(read.table[i]));
  }
  return read;
}

}  // namespace devlore::test
