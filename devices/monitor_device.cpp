#include "devices/monitor_device.h"

#include <new>

#include "devices/display_modes.h"
#include "model/same_text.h"

namespace devlore {
namespace {

constexpr uint32_t kElementCount = 6;

// Composed lines are cut at their buffer's end when a value is too long to fit
// with its label and unit: the line keeps its label and never overruns.
void Compose(char* line, const char* label, const char* value, const char* unit) {
  CopyText(line, kLineSize, label);
  AppendText(line, kLineSize, value);
  AppendText(line, kLineSize, unit);
}

// Ends the text at its first comma and returns what followed it, or null when
// the text holds no comma.
char* SplitAtComma(char* text) {
  for (char* p = text; *p; ++p) {
    if (*p == ',') {
      *p = '\0';
      return p + 1;
    }
  }
  return nullptr;
}

}  // namespace

MonitorDevice* MonitorDevice::Create(const char* monitorKeyPath) {
  static const uint32_t counts[] = {kElementCount};
  auto* device =
      static_cast<MonitorDevice*>(Initialized(new (std::nothrow) MonitorDevice(), "Monitor", 1, counts, true));
  if (!device) return nullptr;
  CopyText(device->monitorKeyPath_, kLineSize, monitorKeyPath);
  device->Collect();
  return device;
}

bool MonitorDevice::ReadValue(const char* name, char* work) const {
  return ReadRegistryValue(HKEY_LOCAL_MACHINE, monitorKeyPath_, name, work, kLineSize, REG_SZ) != 0;
}

int MonitorDevice::Collect() {
  char work[kLineSize];
  // Without a description there is no monitor to report; the next request tries again.
  if (!ReadValue("DeviceDesc", work)) {
    collected = 0;
    return 0;
  }
  Compose(nameText_, "Monitor Name : ", work, "");
  CollectManufacturer(work);
  CollectResolution(work);
  CollectRanges(work);
  collected = 1;
  return 1;
}

void MonitorDevice::CollectManufacturer(char* work) {
  manufacturerKnown_ = ReadValue("Mfg", work);
  if (!manufacturerKnown_) return;
  const char* shown = SameText(work, "(Standard monitor types)") ? "(not listed)" : work;
  Compose(manufacturerText_, "Manufacturer : ", shown, "");
}

void MonitorDevice::CollectResolution(char* work) {
  resolutionKnown_ = ReadValue("MaxResolution", work);
  if (!resolutionKnown_) return;
  // The label holds no comma, so the first comma of the line is the value's.
  Compose(resolutionText_, "Max Resolution : ", work, "");
  CommaToX(resolutionText_);
}

// "MonitorRanges" holds the horizontal range, a comma, the vertical range, a
// comma and further parts that are not shown. Both ranges are known only when
// both commas are there.
void MonitorDevice::CollectRanges(char* work) {
  rangesKnown_ = false;
  if (!ReadValue("MonitorRanges", work)) return;
  char* vertical = SplitAtComma(work);
  if (!vertical) return;
  Compose(horizontalRangeText_, "Horizontal Refresh Range : ", work, " kHz");
  if (!SplitAtComma(vertical)) return;
  Compose(verticalRangeText_, "Vertical Refresh Range : ", vertical, " Hz");
  rangesKnown_ = true;
}

int MonitorDevice::Format() {
  const char* const texts[kElementCount] = {
      "Monitor Summary",
      nameText_,
      resolutionKnown_ ? resolutionText_ : "Max Resolution Unavailable",
      manufacturerKnown_ ? manufacturerText_ : "Manufacturer Name Unavailable",
      rangesKnown_ ? horizontalRangeText_ : "Horz. Refresh Range Unavailable",
      rangesKnown_ ? verticalRangeText_ : "Vert. Refresh Range Unavailable",
  };
  return FormatSingleCategory(*this, elementText_, texts);
}

}  // namespace devlore
