#include "model/device_object.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace devlore {
namespace {

// A device whose Collect and Format outcomes the test chooses, counting calls.
class ScriptedDevice final : public DeviceObject {
 public:
  static ScriptedDevice* Make(int collectResult, bool setsCollectedItself) {
    ScriptedDevice* device = new ScriptedDevice();
    const uint32_t counts[] = {2};
    EXPECT_EQ(1, device->InitializeBase("Test", 1, counts, true));
    device->collectResult_ = collectResult;
    device->setsCollectedItself_ = setsCollectedItself;
    return device;
  }

  int Format() override {
    ++formatCalls;
    ElementLines lines;
    if (!lines.Allocate(2)) return 0;
    lstrcpyA(lines[0], "Test Summary");
    wsprintfA(lines[1], "collected %d times", collectCalls);
    return ConvertSingleCategory(*this, lines);
  }

  int Collect() override {
    ++collectCalls;
    if (setsCollectedItself_) collected = 1;
    return collectResult_;
  }

  int collectCalls = 0;
  int formatCalls = 0;

 private:
  ScriptedDevice() = default;
  int collectResult_ = 1;
  bool setsCollectedItself_ = false;
};

TEST(DeviceObject, CollectsAndFormatsOnceOnSuccess) {
  ScriptedDevice* device = ScriptedDevice::Make(1, false);
  BSTR* table = nullptr;
  EXPECT_EQ(1, device->GetCategory(0, &table));
  ASSERT_NE(nullptr, table);
  EXPECT_STREQ(L"Test Summary", table[0]);
  EXPECT_STREQ(L"collected 1 times", table[1]);
  EXPECT_EQ(1, device->GetCategory(0, &table));
  EXPECT_EQ(1, device->collectCalls);
  EXPECT_EQ(1, device->formatCalls);
  delete device;
}

TEST(DeviceObject, AFailingCollectIsRetriedButFormatRunsOnce) {
  ScriptedDevice* device = ScriptedDevice::Make(0, false);
  BSTR* table = nullptr;
  for (int call = 1; call <= 3; ++call) {
    EXPECT_EQ(0, device->GetCategory(0, &table));
    EXPECT_EQ(call, device->collectCalls);
  }
  EXPECT_EQ(1, device->formatCalls);
  EXPECT_EQ(0, device->collected);
  // The lines built on the first call are final.
  EXPECT_STREQ(L"collected 1 times", table[1]);
  delete device;
}

TEST(DeviceObject, AKindThatMarksItselfCollectedFailsOnlyOnce) {
  ScriptedDevice* device = ScriptedDevice::Make(0, true);
  BSTR* table = nullptr;
  EXPECT_EQ(0, device->GetCategory(0, &table));
  EXPECT_EQ(1, device->GetCategory(0, &table));
  EXPECT_EQ(1, device->GetCategory(0, &table));
  EXPECT_EQ(1, device->collectCalls);
  EXPECT_EQ(1, device->formatCalls);
  delete device;
}

// The layout native callers rely on: the table pointer, then the fields in order.
struct NativeDeviceView {
  void** table;
  BSTR** categoryStrings;
  int32_t collected;
  int32_t formatted;
  uint32_t categoryCount;
  uint32_t* elementCounts;
  BSTR typeName;
};

TEST(DeviceObject, FieldsSitWhereNativeCallersExpectThem) {
  ScriptedDevice* device = ScriptedDevice::Make(1, false);
  const auto* view = reinterpret_cast<const NativeDeviceView*>(device);
  EXPECT_EQ(&device->categoryStrings, &view->categoryStrings);
  EXPECT_EQ(&device->collected, &view->collected);
  EXPECT_EQ(&device->formatted, &view->formatted);
  EXPECT_EQ(&device->categoryCount, &view->categoryCount);
  EXPECT_EQ(&device->elementCounts, &view->elementCounts);
  EXPECT_EQ(&device->typeName, &view->typeName);

  // Slot 0 is Format and slot 1 is Collect: call them through the raw table,
  // as member functions (thiscall on i686).
#if defined(__i386__)
  typedef int(__attribute__((thiscall)) * Slot)(void*);
#else
  typedef int (*Slot)(void*);
#endif
  const int formatsBefore = device->formatCalls;
  reinterpret_cast<Slot>(view->table[1])(device);
  EXPECT_EQ(1, device->collectCalls);
  reinterpret_cast<Slot>(view->table[0])(device);
  EXPECT_EQ(formatsBefore + 1, device->formatCalls);
  delete device;
}

TEST(DriveTypeText, UsesTheCapitalLetter) {
  char text[16];
  FormatDriveTypeText(2, text);
  EXPECT_STREQ("Drive C:", text);
  FormatDriveTypeText(25, text);
  EXPECT_STREQ("Drive Z:", text);
}

}  // namespace
}  // namespace devlore
