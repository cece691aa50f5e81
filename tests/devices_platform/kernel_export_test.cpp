#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "devices/memory_device.h"
#include "devices/thunk16.h"

namespace devlore {
namespace {

bool IsExecutable(const void* address) {
  MEMORY_BASIC_INFORMATION info = {};
  if (!VirtualQuery(address, &info, sizeof info)) return false;
  return info.State == MEM_COMMIT && (info.Protect & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                                                      PAGE_EXECUTE_WRITECOPY)) != 0;
}

const void* AllocationBase(const void* address) {
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(address, &info, sizeof info);
  return info.AllocationBase;
}

// The walk over the real kernel agrees with the loader wherever it gives an
// address, resolves forwarded exports into their target modules, and gives
// only code.
TEST(KernelExportByOrdinal, AgreesWithTheLoaderOnTheRealKernel) {
  const HMODULE kernel = GetModuleHandleA("KERNEL32");
  ASSERT_NE(nullptr, kernel);
  int found = 0, forwarded = 0;
  for (uint32_t ordinal = 1; ordinal <= 2000; ++ordinal) {
    const FARPROC ours = GetKernelExportByOrdinal(ordinal);
    if (!ours) continue;
    ++found;
    EXPECT_EQ(GetProcAddress(kernel, MAKEINTRESOURCEA(ordinal)), ours) << ordinal;
    EXPECT_TRUE(IsExecutable(reinterpret_cast<const void*>(ours))) << ordinal;
    if (AllocationBase(reinterpret_cast<const void*>(ours)) != kernel) ++forwarded;
  }
  EXPECT_GT(found, 500);
  EXPECT_GT(forwarded, 0);
  // The 16-bit loader ordinals: whatever this kernel has there, never data.
  for (uint32_t ordinal = 35; ordinal <= 37; ++ordinal) {
    const FARPROC entry = GetKernelExportByOrdinal(ordinal);
    if (entry) EXPECT_TRUE(IsExecutable(reinterpret_cast<const void*>(entry))) << ordinal;
  }
  EXPECT_EQ(nullptr, GetKernelExportByOrdinal(0));
  EXPECT_EQ(nullptr, GetKernelExportByOrdinal(0x10000));
  EXPECT_EQ(nullptr, GetKernelExportByOrdinal(0xFFFFFFFFu));
}

#if defined(__i386__)
// Where the kernel has QT_Thunk (Windows 9x, 32-bit Wine), the real chain runs:
// the loader exports (forwarded to the 16-bit kernel on Wine), USER.EXE and
// GetFreeSystemResources through the thunk frame.
TEST(KernelExportByOrdinal, The16BitSideAnswersThroughTheThunk) {
  if (!GetProcAddress(GetModuleHandleA("KERNEL32"), "QT_Thunk")) GTEST_SKIP() << "no QT_Thunk here";
  ThunkEntryPoints entry;
  ASSERT_EQ(1, ResolveThunkEntryPoints(&entry));
  uint32_t system = 1000, gdi = 1000, user = 1000;
  ASSERT_EQ(1, GetFreeResourcePercentages(&system, &gdi, &user));
  EXPECT_LE(system, 100u);
  EXPECT_LE(gdi, 100u);
  EXPECT_LE(user, 100u);
}
#else
TEST(KernelExportByOrdinal, A64BitProcessHasNo16BitSide) {
  ThunkEntryPoints entry;
  EXPECT_EQ(0, ResolveThunkEntryPoints(&entry));
  EXPECT_EQ(nullptr, entry.qtThunk);
  uint32_t system = 7, gdi = 7, user = 7;
  EXPECT_EQ(0, GetFreeResourcePercentages(&system, &gdi, &user));
  EXPECT_EQ(7u, system);
}
#endif

// A small image built in memory: headers, a code section at 0x1000 and a data
// section at 0x2000 holding the export directory.
class ImageBuilder {
 public:
  static constexpr uint32_t kSize = 0x3000;
  static constexpr uint32_t kNewHeader = 0x80;
  static constexpr uint32_t kExports = 0x2000;
  static constexpr uint32_t kExportSize = 0x200;
  static constexpr uint32_t kFunctions = 0x2040;

  explicit ImageBuilder(bool plus) : plus_(plus) {
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    std::memset(base_ + 0x1000, 0xCC, 0x1000);
    Put16(0, 0x5A4D);
    Put32(0x3C, kNewHeader);
    Put32(kNewHeader, 0x4550);
    Put16(kNewHeader + 4, plus ? 0x8664 : 0x14C);
    Put16(kNewHeader + 6, 2);
    const uint32_t optionalSize = plus ? 0xF0 : 0xE0;
    Put16(kNewHeader + 20, static_cast<uint16_t>(optionalSize));
    Put16(Optional(), plus ? 0x20B : 0x10B);
    Put32(Optional() + 56, kSize);
    Put32(Optional() + (plus ? 108 : 92), 16);
    SetExportEntry(kExports, kExportSize);
    if (plus) Put32(Optional() + 96, 0x1000);  // SizeOfHeapCommit, where a PE32 export entry would be
    const uint32_t sections = Optional() + optionalSize;
    Section(sections, 0x1000, IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_READ);
    Section(sections + 40, 0x2000, IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ);
    Put32(kExports + 0x10, 1);  // ordinal base
    Put32(kExports + 0x1C, kFunctions);
  }
  ~ImageBuilder() { VirtualFree(base_, 0, MEM_RELEASE); }

  uint32_t Optional() const { return kNewHeader + 24; }
  void SetExportEntry(uint32_t rva, uint32_t size) {
    Put32(Optional() + (plus_ ? 112 : 96), rva);
    Put32(Optional() + (plus_ ? 116 : 100), size);
  }
  void SetFunctions(const std::vector<uint32_t>& rvas) {
    Put32(kExports + 0x14, static_cast<uint32_t>(rvas.size()));
    for (size_t i = 0; i < rvas.size(); ++i) Put32(kFunctions + 4 * static_cast<uint32_t>(i), rvas[i]);
  }
  void PutText(uint32_t rva, const char* text) { std::memcpy(base_ + rva, text, std::strlen(text) + 1); }
  void Put16(uint32_t at, uint16_t v) { std::memcpy(base_ + at, &v, 2); }
  void Put32(uint32_t at, uint32_t v) { std::memcpy(base_ + at, &v, 4); }
  HMODULE Module() const { return reinterpret_cast<HMODULE>(base_); }
  FARPROC At(uint32_t rva) const { return reinterpret_cast<FARPROC>(base_ + rva); }
  FARPROC Export(uint32_t ordinal) const { return GetImageExportByOrdinal(Module(), ordinal); }

 private:
  void Section(uint32_t at, uint32_t address, uint32_t characteristics) {
    Put32(at + 8, 0x1000);
    Put32(at + 12, address);
    Put32(at + 16, 0x1000);
    Put32(at + 36, characteristics);
  }
  bool plus_;
  uint8_t* base_;
};

TEST(ImageExportByOrdinal, FindsCodeResolvesForwardersAndRefusesTheRest) {
  const HMODULE kernel = GetModuleHandleA("KERNEL32");
  for (bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    ImageBuilder image(plus);
    image.PutText(0x2100, "KERNEL32.GetTickCount");
    image.PutText(0x2120, "devlore_no_such_module.Anything");
    image.PutText(0x2160, "KERNEL32.#1");
    image.PutText(0x2170, "KERNEL32.");
    image.SetFunctions({0x1010, 0x2100, 0x2120, 0x2300, 0, 0x5000, 0x2160, 0x2170});
    EXPECT_EQ(image.At(0x1010), image.Export(1));
    EXPECT_EQ(GetProcAddress(kernel, "GetTickCount"), image.Export(2));
    EXPECT_EQ(nullptr, image.Export(3));  // forwarded to a module that does not exist
    EXPECT_EQ(nullptr, image.Export(4));  // data, not code
    EXPECT_EQ(nullptr, image.Export(5));  // unused slot
    EXPECT_EQ(nullptr, image.Export(6));  // outside the image
    EXPECT_EQ(GetProcAddress(kernel, MAKEINTRESOURCEA(1)), image.Export(7));
    EXPECT_EQ(nullptr, image.Export(8));  // forwarder without a name
    EXPECT_EQ(nullptr, image.Export(9));  // beyond the function count
    EXPECT_EQ(nullptr, image.Export(0));
  }
}

TEST(ImageExportByOrdinal, HostileHeadersNeverLeadOutsideTheImage) {
  ImageBuilder image(true);
  image.SetFunctions({0x1010});
  ASSERT_EQ(image.At(0x1010), image.Export(1));

  // A function count whose table runs far past the image.
  image.Put32(ImageBuilder::kExports + 0x14, 0x40000000);
  EXPECT_EQ(nullptr, image.Export(0x3FFFFFFF));
  EXPECT_EQ(image.At(0x1010), image.Export(1));
  image.Put32(ImageBuilder::kExports + 0x14, 1);

  // A forwarder text that runs to the end of the export directory unterminated.
  image.SetFunctions({ImageBuilder::kExports + ImageBuilder::kExportSize - 8});
  std::memcpy(reinterpret_cast<uint8_t*>(image.Module()) + ImageBuilder::kExports + ImageBuilder::kExportSize - 8,
              "KERNEL32.GetTickCount", 21);
  EXPECT_EQ(nullptr, image.Export(1));

  // An export directory placed at the very end of the image or beyond it.
  image.SetExportEntry(ImageBuilder::kSize - 8, 0x40);
  EXPECT_EQ(nullptr, image.Export(1));
  image.SetExportEntry(0x7FFFFFF0, 0x40);
  EXPECT_EQ(nullptr, image.Export(1));

  // Not an image at all.
  image.Put16(0, 0x1234);
  EXPECT_EQ(nullptr, image.Export(1));
  EXPECT_EQ(nullptr, GetImageExportByOrdinal(nullptr, 1));
}

}  // namespace
}  // namespace devlore
