#include "devices/processor_device.h"

#include <new>

#include "devices/probe_driver.h"
#include "model/platform.h"
#include "model/same_text.h"
#include "model/text.h"

namespace devlore {
namespace {

constexpr uint32_t kElementCount = 5;
constexpr DWORD kProcidClockRequest = 1;

// Copies the 12 vendor bytes of CPUID leaf 0 (EBX, EDX, ECX, each in the
// processor's little-endian byte order) and a NUL.
void StoreVendor(const CpuidResult& leaf0, char* vendor) {
  __builtin_memcpy(vendor, &leaf0.ebx, 4);
  __builtin_memcpy(vendor + 4, &leaf0.edx, 4);
  __builtin_memcpy(vendor + 8, &leaf0.ecx, 4);
  vendor[12] = '\0';
}

}  // namespace

ProcessorDevice* ProcessorDevice::Create() {
  static const uint32_t counts[] = {kElementCount};
  return static_cast<ProcessorDevice*>(Initialized(new (std::nothrow) ProcessorDevice(), "CPU", 1, counts, true));
}

void ProcessorDevice::QuerySpeed() {
  UniqueDriverHandle driver = OpenProbeDriver("\\\\.\\PROCID.VXD");
  if (!driver) return;
  speed_ = 0;
  DWORD returned = 0;
  if (Platform().deviceIoControl(driver.Get(), kProcidClockRequest, nullptr, 0, &speed_, sizeof speed_,
                                 &returned, nullptr))
    speedKnown_ = 1;
}

int ProcessorDevice::Collect() {
  SYSTEM_INFO info = {};
  Platform().getSystemInfo(&info);
  const bool pentium = info.dwProcessorType == PROCESSOR_INTEL_PENTIUM;
  if (!pentium && info.dwProcessorType != PROCESSOR_INTEL_486) return 0;

  QuerySpeed();
  pentiumClass_ = pentium;
  mmx_ = 0;
  if (!pentium) {
    vendorKnown_ = 0;
    return 1;
  }
  if (!Platform().hasCpuid()) return 1;
  CpuidResult leaf = {};
  Platform().cpuid(0, &leaf);
  const uint32_t highestLeaf = leaf.eax;
  StoreVendor(leaf, vendor_);
  vendorKnown_ = 1;
  if (highestLeaf != 0) {
    Platform().cpuid(1, &leaf);
    mmx_ = (leaf.edx >> 23) & 1;
  }
  return 1;
}

int ProcessorDevice::Format() {
  // At most 11 digits and sign plus 13 bytes of text: fits the 32 bytes.
  char speedText[32];
  const char* speedLine = nullptr;
  if (speedKnown_) {
    speedLine = "Unknown Speed";
    if (SameText(vendor_, "GenuineIntel", true)) {
      wsprintfA(speedText, "%d MHz (\xB1" " 3MHz)", static_cast<int>(speed_));
      speedLine = speedText;
    }
  }
  const char* const texts[kElementCount] = {
      "CPU Summary",
      speedLine,
      mmx_ ? "This CPU supports the MMX instruction set." : "This CPU does not support the MMX instruction set.",
      pentiumClass_ ? "Pentium Class CPU" : "80486 Class CPU",
      vendorKnown_ ? vendor_ : nullptr,
  };
  return FormatSingleCategory(*this, elementText_, texts);
}

}  // namespace devlore
