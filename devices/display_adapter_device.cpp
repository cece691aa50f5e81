#include "devices/display_adapter_device.h"

#include <new>

#include "base/handles.h"

namespace devlore {
namespace {

constexpr uint32_t kListedCategory = 3;
const char kClassPath[] = "System\\CurrentControlSet\\Services\\Class\\";
const char kSettingsPath[] = "Display\\Settings";
// The first line of each category, in category order, each ended by its NUL.
const char kHeaders[] = "Current Resolution\0Current Color Depth\0Name of Card\0Max Listed Color Depth";

// Reads one text value into the field. The field is written only when the value
// was read, so it never holds a partial or unterminated text.
bool ReadText(HKEY root, const char* subkey, const char* name, char* field) {
  char value[kLineSize];
  if (!ReadRegistryValue(root, subkey, name, value, kLineSize, REG_SZ)) return false;
  CopyText(field, kLineSize, value);
  return true;
}

}  // namespace

DisplayAdapterDevice* DisplayAdapterDevice::Create(const char* displayKeyPath) {
  // The last count becomes the number of listed resolutions + 1 in Collect.
  static const uint32_t counts[] = {2, 2, 2, 1};
  auto* device = static_cast<DisplayAdapterDevice*>(
      Initialized(new (std::nothrow) DisplayAdapterDevice(), "Primary Video Card", kCategoryCount, counts, false));
  if (!device) return nullptr;
  CopyText(device->displayKeyPath_, kLineSize, displayKeyPath);
  device->Collect();
  return device;
}

DisplayAdapterDevice::~DisplayAdapterDevice() { ClearModeTable(modeTable_, modeCount_); }

int DisplayAdapterDevice::Collect() {
  ClearModeTable(modeTable_, modeCount_);
  EnumerateModes();
  // Once formatted, the category tables hold the final strings and their counts
  // must stay as they are; a later Collect only decides whether the device is
  // collected.
  if (!formatted && !PrepareCategories()) return 0;
  if (!ReadCurrentSettings()) return 0;
  collected = 1;
  return 1;
}

// Reads the driver's "MODES" key into the mode table: one row per colour-depth
// subkey, each with the names of the resolution subkeys below it. Whatever
// fails leaves the rows made so far.
void DisplayAdapterDevice::EnumerateModes() {
  UniqueRegistryKey enumKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum", 0, KEY_READ, enumKey.Receive()) != ERROR_SUCCESS) return;
  char driver[kLineSize];
  if (!ReadRegistryValue(enumKey.Get(), displayKeyPath_, "Driver", driver, kLineSize, REG_SZ)) return;

  // A "Driver" text too long for the path is refused rather than cut: a cut
  // path could name some other key.
  char path[kLineSize];
  if (!CopyText(path, kLineSize, kClassPath) || !AppendText(path, kLineSize, driver) ||
      !AppendText(path, kLineSize, "\\MODES"))
    return;
  UniqueRegistryKey modes;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, modes.Receive()) != ERROR_SUCCESS) return;

  // The depth keys are opened below the opened "MODES" key, so no composed path
  // can outgrow its buffer. Depths beyond the table's rows and resolutions
  // beyond a row's room are not listed.
  char depthName[kLineSize];
  for (DWORD index = 0; RegEnumKeyA(modes.Get(), index, depthName, kLineSize) == ERROR_SUCCESS; ++index) {
    ModeEntry* row = AddModeRow(modeTable_, modeCount_, depthName);
    if (!row) break;
    UniqueRegistryKey depthKey;
    if (RegOpenKeyExA(modes.Get(), depthName, 0, KEY_READ, depthKey.Receive()) != ERROR_SUCCESS) continue;
    char resolution[kLineSize];
    for (DWORD r = 0; RegEnumKeyA(depthKey.Get(), r, resolution, kLineSize) == ERROR_SUCCESS; ++r) {
      if (!AddResolution(*row, resolution)) break;
    }
  }
}

// Makes the category tables for the current mode table: the BSTR slots and the
// line buffers of every category, the last one sized by the distinct listed
// resolutions. The tables of an earlier run are released first, with the
// element counts they were made for.
bool DisplayAdapterDevice::PrepareCategories() {
  for (uint32_t category = 0; category < kCategoryCount; ++category) {
    if (categoryStrings) ReleaseCategoryStrings(category);
    elementText_[category].Reset();
  }
  if (!AllocateCategorySlots()) return false;

  distinctResolutionCount_ = CountDistinctResolutions(modeTable_, modeCount_);
  elementCounts[kListedCategory] = distinctResolutionCount_ + 1;

  for (uint32_t category = 0; category < kCategoryCount; ++category) {
    if (!MakeCategoryTables(category)) return false;
  }
  return true;
}

// The BSTR slots and line buffers of one category, for its element count.
bool DisplayAdapterDevice::MakeCategoryTables(uint32_t category) {
  const uint32_t count = elementCounts[category];
  if (!categoryStrings[category]) categoryStrings[category] = new (std::nothrow) BSTR[count]();
  if (!categoryStrings[category]) return false;
  if (elementText_[category].Count() != count && !elementText_[category].Allocate(count)) return false;
  return true;
}

// The adapter's name, then the current colour depth and resolution; the first
// value that cannot be read ends the chain. Texts not read stay empty.
bool DisplayAdapterDevice::ReadCurrentSettings() {
  for (char* text : settingTexts_) text[0] = '\0';

  UniqueRegistryKey enumKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum", 0, KEY_READ, enumKey.Receive()) != ERROR_SUCCESS) return false;
  if (!ReadText(enumKey.Get(), displayKeyPath_, "DeviceDesc", settingTexts_[kCardName])) return false;
  if (!ReadText(HKEY_CURRENT_CONFIG, kSettingsPath, "BitsPerPixel", settingTexts_[kColorDepth])) return false;
  AppendText(settingTexts_[kColorDepth], kLineSize, " Bit Color");
  return ReadText(HKEY_CURRENT_CONFIG, kSettingsPath, "Resolution", settingTexts_[kCurrentResolution]) ? 1 : 0;
}

int DisplayAdapterDevice::Format() {
  formatted = 1;
  // The tables are normally made by Collect; one whose allocation failed there
  // is tried once more, since these strings are final. A category that still
  // has no tables gets no strings.
  if (!AllocateCategorySlots()) return 0;
  static_assert(kListedCategory == kSettingCount, "the settings fill the categories before the listed one");
  CommaToX(settingTexts_[kCurrentResolution]);
  int result = 1;
  const char* header = kHeaders;
  for (uint32_t category = 0; category < kCategoryCount; ++category, header += lstrlenA(header) + 1) {
    if (!MakeCategoryTables(category)) {
      result = 0;
      continue;
    }
    ElementLines& lines = elementText_[category];
    CopyText(lines[0], kLineSize, header);
    if (category == kListedCategory) {
      FormatListedResolutions();
    } else {
      CopyText(lines[1], kLineSize, settingTexts_[category]);
    }
    if (!ConvertElementStrings(lines.Lines(), categoryStrings[category], elementCounts[category])) result = 0;
  }
  return result;
}

// One line per distinct listed resolution, in ascending order: the name with its
// comma shown as x, ": ", the largest depth listed for it and "-Bit". A line too
// long for its buffer is cut at the buffer's end.
void DisplayAdapterDevice::FormatListedResolutions() {
  ElementLines& lines = elementText_[kListedCategory];
  const uint32_t capacity = elementCounts[kListedCategory] - 1;
  const uint32_t listed = ListDistinctResolutions(modeTable_, modeCount_, lines.Lines() + 1, capacity);
  for (uint32_t i = 0; i < listed; ++i) {
    char* line = lines[i + 1];
    char name[kLineSize];
    CopyText(name, kLineSize, line);
    const uint32_t depth = LargestListedDepth(modeTable_, modeCount_, name);
    CommaToX(name);
    char composed[1025];  // wsprintfA writes at most 1024 characters
    wsprintfA(composed, "%s%s%lu%s", name, ": ", static_cast<unsigned long>(depth), "-Bit");
    CopyText(line, kLineSize, composed);
  }
}

}  // namespace devlore
