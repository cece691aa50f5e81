#include "model/device_object.h"

#include <new>

#include "base/handles.h"
#include "model/text.h"

namespace devlore {

DeviceObject::~DeviceObject() {
  if (categoryStrings) {
    for (uint32_t category = 0; category < categoryCount; ++category) ReleaseCategoryStrings(category);
    delete[] categoryStrings;
  }
  delete[] elementCounts;
  SysFreeString(typeName);
}

bool DeviceObject::InitializeBase(const char* typeText, uint32_t categories, const uint32_t* counts,
                                 bool allocateStrings) {
  collected = 0;
  formatted = 0;

  wchar_t* wide = nullptr;
  if (FAILED(AnsiToWide(typeText, &wide)) || !wide) return false;
  UniqueTaskMemory wideOwner(wide);
  typeName = SysAllocString(wide);
  if (!typeName) return false;

  categoryCount = categories;
  elementCounts = new (std::nothrow) uint32_t[categories]();
  if (!elementCounts) return false;
  for (uint32_t i = 0; i < categories; ++i) elementCounts[i] = counts[i];

  return allocateStrings ? AllocateCategorySlots() : 1;
}

DeviceObject* DeviceObject::Initialized(DeviceObject* device, const char* typeText, uint32_t categories,
                                        const uint32_t* counts, bool allocateStrings) {
  if (device && !device->InitializeBase(typeText, categories, counts, allocateStrings)) {
    delete device;
    return nullptr;
  }
  return device;
}

bool DeviceObject::AllocateCategorySlots() {
  if (categoryStrings) return true;
  categoryStrings = new (std::nothrow) BSTR*[categoryCount]();
  return categoryStrings != nullptr;
}

void DeviceObject::ReleaseCategoryStrings(uint32_t category) {
  BSTR* strings = categoryStrings[category];
  if (!strings) return;
  for (uint32_t i = 0; i < elementCounts[category]; ++i) SysFreeString(strings[i]);
  delete[] strings;
  categoryStrings[category] = nullptr;
}

bool DeviceObject::GetCategory(uint32_t categoryIndex, BSTR** table) {
  int ok = 1;
  if (!collected) {
    if (Collect()) {
      collected = 1;
    } else {
      ok = 0;
    }
  }
  if (!formatted) {
    if (!Format()) ok = 0;
  }
  *table = categoryStrings ? categoryStrings[categoryIndex] : nullptr;
  return ok;
}

bool ElementLines::Allocate(uint32_t count) {
  Reset();
  // No count may wrap the size of the block.
  if (count > 0x7FFFFFFFu / kLineSize) return false;
  lines_ = new (std::nothrow) char*[count];
  text_ = new (std::nothrow) char[count * kLineSize]();
  if (!lines_ || !text_) {
    Reset();
    return false;
  }
  count_ = count;
  for (uint32_t i = 0; i < count; ++i) lines_[i] = text_ + i * kLineSize;
  return true;
}

void ElementLines::Reset() {
  delete[] text_;
  delete[] lines_;
  text_ = nullptr;
  lines_ = nullptr;
  count_ = 0;
}

bool ConvertSingleCategory(DeviceObject& device, const ElementLines& lines) {
  device.formatted = 1;
  if (!device.categoryStrings) return false;
  const uint32_t count = device.elementCounts[0];
  if (lines.Count() < count) return false;
  // Formatting again (a native caller may call Format itself) reuses the table.
  BSTR* strings = device.categoryStrings[0];
  if (!strings) strings = device.categoryStrings[0] = new (std::nothrow) BSTR[count]();
  if (!strings) return false;
  return ConvertElementStrings(lines.Lines(), strings, count);
}

bool StartSingleCategory(DeviceObject& device, ElementLines& lines) {
  if (lines.Allocate(device.elementCounts[0])) return true;
  device.formatted = 1;
  return false;
}

bool FormatSingleCategory(DeviceObject& device, ElementLines& lines, const char* const* texts) {
  if (!StartSingleCategory(device, lines)) return false;
  for (uint32_t i = 0; i < lines.Count(); ++i) {
    if (texts[i]) CopyText(lines[i], kLineSize, texts[i]);
  }
  return ConvertSingleCategory(device, lines);
}

void FormatDriveTypeText(int32_t driveIndex, char* out) {
  wsprintfA(out, "Drive %C:", 'A' + driveIndex);
}

}  // namespace devlore
