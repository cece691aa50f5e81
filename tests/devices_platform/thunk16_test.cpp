#include "devices/thunk16.h"
#include "devices/thunk16_internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "devices/memory_device.h"
#include "devices/memory_device_internal.h"

namespace devlore {
namespace {

bool IsCode(FARPROC address) {
  MEMORY_BASIC_INFORMATION info = {};
  return VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info) && info.State == MEM_COMMIT &&
         (info.Protect & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY));
}

// On the real kernel the walk agrees with the loader wherever it gives an
// address, follows forwarded exports into their target modules (on 32-bit Wine
// ordinals 35 to 37 forward to krnl386.exe16), and gives only code.
TEST(KernelExportByOrdinal, AgreesWithTheLoaderOnTheRealKernel) {
  const HMODULE kernel = GetModuleHandleA("KERNEL32");
  int found = 0, forwarded = 0;
  for (uint32_t ordinal = 1; ordinal <= 2000; ++ordinal) {
    const FARPROC ours = GetKernelExportByOrdinal(ordinal);
    if (!ours) continue;
    ++found;
    EXPECT_EQ(GetProcAddress(kernel, MAKEINTRESOURCEA(ordinal)), ours) << ordinal;
    EXPECT_TRUE(IsCode(ours)) << ordinal;
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(reinterpret_cast<void*>(ours), &info, sizeof info);
    if (info.AllocationBase != kernel) ++forwarded;
  }
  EXPECT_GT(found, 500);
  EXPECT_GT(forwarded, 0);
  for (uint32_t ordinal : {0u, 0x10000u, 0xFFFFFFFFu}) EXPECT_EQ(nullptr, GetKernelExportByOrdinal(ordinal));
}

#if defined(__i386__)
// Where the kernel has QT_Thunk (Windows 9x, 32-bit Wine) the whole chain runs:
// the loader exports, USER.EXE and GetFreeSystemResources through the thunk.
TEST(KernelExportByOrdinal, The16BitSideAnswersThroughTheThunk) {
  if (!GetProcAddress(GetModuleHandleA("KERNEL32"), "QT_Thunk")) GTEST_SKIP() << "no QT_Thunk here";
  uint32_t system = 1000, gdi = 1000, user = 1000;
  ASSERT_EQ(1, GetFreeResourcePercentages(&system, &gdi, &user));
  EXPECT_TRUE(system <= 100 && gdi <= 100 && user <= 100);
}

extern "C" uint32_t seenGap __asm__("devlore_test_seen_gap");
extern "C" uint32_t seenTarget __asm__("devlore_test_seen_target");
extern "C" uint32_t seenArgument __asm__("devlore_test_seen_argument");
uint32_t seenGap, seenTarget, seenArgument;

// A stand-in for QT_Thunk: records EBP - ESP at entry (return address
// included), EDX and the stack word above the return address, then clobbers
// EBX, pops its argument as the 16-bit side may, and answers with noise in
// the high half.
__attribute__((naked)) void RecordingQtThunk() {
  __asm__ volatile(
      "movl %ebp, %eax\n\t"
      "subl %esp, %eax\n\t"
      "movl %eax, devlore_test_seen_gap\n\t"
      "movl %edx, devlore_test_seen_target\n\t"
      "movl 4(%esp), %eax\n\t"
      "movl %eax, devlore_test_seen_argument\n\t"
      "movl $0xABCD0057, %eax\n\t"
      "movl $0x5A5A5A5A, %ebx\n\t"
      "ret $4\n\t");
}

TEST(CallThunk16, GivesQtThunkItsFrameAndReturnsTheLow16Bits) {
  EXPECT_EQ(0x57u, CallThunk16(reinterpret_cast<FARPROC>(&RecordingQtThunk), 0x011F0042, 2));
  EXPECT_EQ(0x011F0042u, seenTarget);
  EXPECT_EQ(2u, seenArgument);
  EXPECT_EQ(0x48u, seenGap);  // 0x40 scratch bytes, the argument and the return address
}
#else
TEST(KernelExportByOrdinal, A64BitProcessHasNo16BitSide) {
  ThunkEntryPoints entry;
  EXPECT_EQ(0, ResolveThunkEntryPoints(&entry));
  uint32_t system = 7, gdi = 7, user = 7;
  EXPECT_EQ(0, GetFreeResourcePercentages(&system, &gdi, &user));
  EXPECT_EQ(7u, system);
}
#endif

// A small image in memory: headers, a code section at 0x1000, and a data
// section at 0x2000 that holds the export directory (0x200 bytes) with its
// address table at 0x2040.
class Image {
 public:
  static constexpr uint32_t kSize = 0x3000, kExports = 0x2000, kExportSize = 0x200, kTable = 0x2040;
  explicit Image(bool plus) : plus_(plus) {
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    std::memset(base_ + 0x1000, 0xCC, 0x1000);
    Put(0, 0x5A4D, 2);
    Put(0x3C, 0x80);
    Put(0x80, 0x4550);
    Put(0x86, 2, 2);                          // sections
    Put(0x94, plus ? 0xF0 : 0xE0, 2);         // optional header size
    Put(0x98, plus ? 0x20B : 0x10B, 2);       // magic
    Put(0x98 + 56, kSize);                    // SizeOfImage
    Put(0x98 + (plus ? 108 : 92), 16);        // directory entries
    if (plus) Put(0x98 + 96, 0x1000);         // SizeOfHeapCommit, where PE32 keeps the export entry
    SetExportEntry(kExports, kExportSize);
    const uint32_t sections = 0x98 + (plus ? 0xF0 : 0xE0);
    Section(sections, 0x1000, IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_READ);
    Section(sections + 40, 0x2000, IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ);
    Put(kExports + 0x10, 1);  // ordinal base
    Put(kExports + 0x1C, kTable);
  }
  ~Image() { VirtualFree(base_, 0, MEM_RELEASE); }
  void Put(uint32_t at, uint32_t value, size_t size = 4) { std::memcpy(base_ + at, &value, size); }
  void Text(uint32_t at, const char* text, size_t size = 0) {
    std::memcpy(base_ + at, text, size ? size : std::strlen(text) + 1);
  }
  void SetExportEntry(uint32_t rva, uint32_t size) {
    Put(0x98 + (plus_ ? 112 : 96), rva);
    Put(0x98 + (plus_ ? 116 : 100), size);
  }
  void SetFunctions(const std::vector<uint32_t>& rvas) {
    Put(kExports + 0x14, static_cast<uint32_t>(rvas.size()));
    for (size_t i = 0; i < rvas.size(); ++i) Put(kTable + 4 * static_cast<uint32_t>(i), rvas[i]);
  }
  FARPROC At(uint32_t rva) const { return reinterpret_cast<FARPROC>(base_ + rva); }
  FARPROC Export(uint32_t ordinal) const {
    return GetImageExportByOrdinal(reinterpret_cast<HMODULE>(base_), ordinal);
  }

 private:
  void Section(uint32_t at, uint32_t address, uint32_t characteristics) {
    Put(at + 8, 0x1000);
    Put(at + 12, address);
    Put(at + 36, characteristics);
  }
  bool plus_;
  uint8_t* base_;
};

TEST(ImageExportByOrdinal, FindsCodeResolvesForwardersAndRefusesTheRest) {
  const HMODULE kernel = GetModuleHandleA("KERNEL32");
  for (bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    Image image(plus);
    image.Text(0x2100, "KERNEL32.GetTickCount");
    image.Text(0x2120, "devlore_no_such_module.Anything");
    image.Text(0x2160, "KERNEL32.#1");
    image.Text(0x2170, "KERNEL32.");
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
  Image image(true);
  image.SetFunctions({0x1010});
  image.Put(Image::kExports + 0x14, 0x40000000);  // an address table far past the image
  EXPECT_EQ(nullptr, image.Export(0x3FFFFFFF));
  EXPECT_EQ(image.At(0x1010), image.Export(1));

  // A forwarder text running unterminated to the end of the export directory.
  const uint32_t tail = Image::kExports + Image::kExportSize - 8;
  image.SetFunctions({tail});
  image.Text(tail, "KERNEL32.GetTickCount", 21);
  EXPECT_EQ(nullptr, image.Export(1));

  // An export directory at the very end of the image, or beyond it.
  image.SetExportEntry(Image::kSize - 8, 0x40);
  EXPECT_EQ(nullptr, image.Export(1));
  image.SetExportEntry(0x7FFFFFF0, 0x40);
  EXPECT_EQ(nullptr, image.Export(1));

  image.Put(0, 0x1234, 2);  // not an image at all
  EXPECT_EQ(nullptr, image.Export(1));
  EXPECT_EQ(nullptr, GetImageExportByOrdinal(nullptr, 1));
}

}  // namespace
}  // namespace devlore
