#pragma once
#include "devices/display_modes.h"
#include "model/device_object.h"
#include "model/text.h"

namespace devlore {

// The display adapter's current mode, name and the largest colour depth of every
// resolution its driver lists. Collects once when made; the number of listed
// resolutions fixes the size of the last category.
class DisplayAdapterDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static DisplayAdapterDevice* Create(const char* displayKeyPath);
  ~DisplayAdapterDevice() override;

  int Format() override;
  int Collect() override;

  static constexpr uint32_t kCategoryCount = 4;

 private:
  // Made only by Create, whose value-initialisation zero-fills every field.
  DisplayAdapterDevice() = default;

  void EnumerateModes();
  bool PrepareCategories();
  bool MakeCategoryTables(uint32_t category);
  bool ReadCurrentSettings();
  void FormatListedResolutions();

  uint32_t modeCount_;
  uint32_t distinctResolutionCount_;
  ModeEntry modeTable_[kMaxModeRows];
  // The second line of the first three categories, in category order: the
  // "Resolution" of the current settings, "BitsPerPixel" + " Bit Color", and
  // the adapter's "DeviceDesc".
  enum Setting : uint32_t { kCurrentResolution, kColorDepth, kCardName, kSettingCount };
  char settingTexts_[kSettingCount][kLineSize];
  char displayKeyPath_[kLineSize];         // the bare key below HKEY_LOCAL_MACHINE "Enum"
  ElementLines elementText_[kCategoryCount];
};

}  // namespace devlore
