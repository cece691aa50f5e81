// Prints the device list of the machine it runs on: every device's type text,
// its categories with their element counts, and every element's text as the
// device gathers and formats it. A device that cannot gather its values says so.
#include <windows.h>

#include <cstdio>
#include <string>

#include "model/device_list.h"

namespace {

std::string Narrow(const wchar_t* text) {
  if (!text) return std::string();
  char buffer[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer - 1, nullptr, nullptr);
  return buffer;
}

void PrintDevice(uint32_t index, devlore::DeviceObject* device) {
  std::printf("[%u] %s\n", index, Narrow(device->typeName).c_str());
  for (uint32_t category = 0; category < device->categoryCount; ++category) {
    BSTR* table = nullptr;
    const int ok = device->GetCategory(category, &table);
    std::printf("    category %u: %u elements\n", category, device->elementCounts[category]);
    if (!ok || !table) {
      std::printf("        (not available: the device could not gather its values)\n");
      continue;
    }
    for (uint32_t element = 0; element < device->elementCounts[category]; ++element)
      std::printf("        %s\n", Narrow(table[element]).c_str());
  }
}

}  // namespace

int main() {
  const int built = devlore::InitializeDeviceList();
  int32_t count = 0;
  devlore::DeviceObject** devices = nullptr;
  GetNumberOfDeviceObjects(&count);
  GetPointerToDeviceObjectArray(&devices);
  std::printf("Device list: %s, %d devices\n", built ? "built" : "build reported failure", count);
  for (int32_t i = 0; i < count; ++i) PrintDevice(static_cast<uint32_t>(i), devices[i]);
  devlore::TerminateDeviceList();
  return count > 0 ? 0 : 1;
}
