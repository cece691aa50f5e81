#include "devices/thunk16.h"

#include "model/text.h"

namespace devlore {
namespace {

HMODULE g_kernelBase = nullptr;  // cached after the first look-up

constexpr uint16_t kDosSignature = 0x5A4D;     // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
// The DOS header and the first part of the new header always lie in the first
// page of a mapped image; nothing is read from the header beyond it before the
// image size is known.
constexpr uint32_t kHeaderPage = 0x1000;

// A read-only view of a mapped image that refuses every access outside
// [base, base + size). Offsets are 32-bit: every offset handed to it is either
// read from the image and checked here, or a checked offset plus a bounded
// amount that cannot wrap (the new header lies in the first page, header
// fields are 16-bit, the export directory lies inside the image).
class ImageView {
 public:
  ImageView(const uint8_t* base, uint32_t size) : base_(base), size_(size) {}

  bool Contains(uint32_t offset, uint32_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  bool Read16(uint32_t offset, uint16_t* value) const {
    if (!Contains(offset, 2)) return false;
    *value = static_cast<uint16_t>(base_[offset] | (base_[offset + 1] << 8));
    return true;
  }
  bool Read32(uint32_t offset, uint32_t* value) const {
    if (!Contains(offset, 4)) return false;
    *value = static_cast<uint32_t>(base_[offset]) | (static_cast<uint32_t>(base_[offset + 1]) << 8) |
             (static_cast<uint32_t>(base_[offset + 2]) << 16) | (static_cast<uint32_t>(base_[offset + 3]) << 24);
    return true;
  }
  const uint8_t* At(uint32_t offset) const { return base_ + offset; }
  void SetSize(uint32_t size) { size_ = size; }

 private:
  const uint8_t* base_;
  uint32_t size_;
};

// Whether the image's section table places this address inside a section that
// holds code or may be executed.
bool IsInCodeSection(const ImageView& image, uint32_t newHeader, uint32_t rva) {
  uint16_t sectionCount = 0, optionalHeaderSize = 0;
  if (!image.Read16(newHeader + 6, &sectionCount) || !image.Read16(newHeader + 20, &optionalHeaderSize))
    return false;
  const uint32_t table = newHeader + 24 + optionalHeaderSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint32_t header = table + 40 * i;
    uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, characteristics = 0;
    if (!image.Read32(header + 8, &virtualSize) || !image.Read32(header + 12, &virtualAddress) ||
        !image.Read32(header + 16, &rawSize) || !image.Read32(header + 36, &characteristics))
      return false;
    const uint32_t extent = virtualSize ? virtualSize : rawSize;
    if (rva >= virtualAddress && rva - virtualAddress < extent)
      return (characteristics & (IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE)) != 0;
  }
  return false;
}

// An export whose address lies inside the export directory is a text
// "MODULE.Name" or "MODULE.#ordinal" naming the real export elsewhere.
FARPROC ResolveForwarder(const ImageView& image, uint32_t textOffset, uint32_t directoryEnd) {
  char text[kLineSize];
  uint32_t length = 0;
  for (;; ++length) {
    const uint32_t offset = textOffset + length;
    if (offset >= directoryEnd || length >= sizeof text) return nullptr;  // unterminated or too long
    text[length] = static_cast<char>(*image.At(offset));
    if (text[length] == '\0') break;
  }
  // The module name runs up to the last dot.
  int32_t dot = -1;
  for (uint32_t i = 0; i < length; ++i) {
    if (text[i] == '.') dot = static_cast<int32_t>(i);
  }
  if (dot <= 0 || static_cast<uint32_t>(dot) + 1 >= length) return nullptr;
  text[dot] = '\0';
  const char* moduleName = text;
  const char* exportName = text + dot + 1;

  LPCSTR procedure = exportName;
  if (exportName[0] == '#') {
    uint32_t number = 0;
    const char* p = exportName + 1;
    if (!*p) return nullptr;
    for (; *p; ++p) {
      if (*p < '0' || *p > '9' || number > 0xFFFF) return nullptr;
      number = number * 10 + static_cast<uint32_t>(*p - '0');
    }
    if (number == 0 || number > 0xFFFF) return nullptr;
    procedure = reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(number));
  }

  HMODULE target = GetModuleHandleA(moduleName);
  if (target) return GetProcAddress(target, procedure);
  // The target is loaded the way the loader binds a forwarded import: the
  // reference stays for the life of the process (later look-ups find the module
  // already loaded), unless the export is not there after all.
  target = LoadLibraryA(moduleName);
  if (!target) return nullptr;
  FARPROC found = GetProcAddress(target, procedure);
  if (!found) FreeLibrary(target);
  return found;
}

}  // namespace

FARPROC GetImageExportByOrdinal(HMODULE module, uint32_t ordinal) {
  if (!module) return nullptr;
  ImageView image(reinterpret_cast<const uint8_t*>(module), kHeaderPage);

  uint16_t dosSignature = 0;
  if (!image.Read16(0, &dosSignature) || dosSignature != kDosSignature) return nullptr;
  uint32_t newHeader = 0;
  // The new header lies in the header page (the read below must fit there),
  // which keeps every header offset derived from it far from wrapping.
  if (!image.Read32(0x3C, &newHeader) || newHeader >= kHeaderPage) return nullptr;
  uint32_t peSignature = 0;
  if (!image.Read32(newHeader, &peSignature) || peSignature != kPeSignature) return nullptr;

  // The optional header follows the 4-byte signature and the 20-byte file
  // header. Its magic tells the layout: the export entry of the data directory
  // lies at offset 96 (PE32) or 112 (PE32+) of the optional header, after the
  // count of directory entries at 92 or 108. The image size is at 56 in both.
  const uint32_t optionalHeader = newHeader + 24;
  uint16_t optionalHeaderSize = 0, magic = 0;
  if (!image.Read16(newHeader + 20, &optionalHeaderSize) || !image.Read16(optionalHeader, &magic)) return nullptr;
  uint32_t countOffset, directoryOffset;
  if (magic == kPe32Magic) {
    countOffset = 92;
    directoryOffset = 96;
  } else if (magic == kPe32PlusMagic) {
    countOffset = 108;
    directoryOffset = 112;
  } else {
    return nullptr;
  }
  if (optionalHeaderSize < directoryOffset + 8) return nullptr;
  uint32_t imageSize = 0, directoryCount = 0;
  if (!image.Read32(optionalHeader + 56, &imageSize) || !image.Read32(optionalHeader + countOffset, &directoryCount))
    return nullptr;
  if (directoryCount < 1) return nullptr;
  // From here on every read is bounded by the image as the loader mapped it
  // (SizeOfImage bytes); the headers read so far must lie inside it too.
  if (optionalHeader + directoryOffset + 8 > imageSize) return nullptr;
  image.SetSize(imageSize);

  uint32_t exportRva = 0, exportSize = 0;
  if (!image.Read32(optionalHeader + directoryOffset, &exportRva) ||
      !image.Read32(optionalHeader + directoryOffset + 4, &exportSize))
    return nullptr;
  if (exportRva == 0 || !image.Contains(exportRva, 40)) return nullptr;

  uint32_t ordinalBase = 0, functionCount = 0, functionTable = 0;
  if (!image.Read32(exportRva + 0x10, &ordinalBase) || !image.Read32(exportRva + 0x14, &functionCount) ||
      !image.Read32(exportRva + 0x1C, &functionTable))
    return nullptr;
  // Ordinals count from the directory's base (1 in the Windows 9x kernel).
  if (ordinal < ordinalBase) return nullptr;
  const uint32_t index = ordinal - ordinalBase;
  if (index >= functionCount) return nullptr;
  // The slot's offset may lie beyond 32 bits: such a slot is outside the image.
  const uint64_t slot = functionTable + 4ull * index;
  uint32_t functionRva = 0;
  if (slot > 0xFFFFFFFFu || !image.Read32(static_cast<uint32_t>(slot), &functionRva)) return nullptr;
  if (functionRva == 0 || !image.Contains(functionRva, 1)) return nullptr;

  // The directory's end, cut at the image's end (the function lies inside the
  // image, so the cut does not change whether it lies inside the directory).
  const uint32_t end = exportSize > imageSize - exportRva ? imageSize : exportRva + exportSize;
  if (functionRva >= exportRva && functionRva < end) return ResolveForwarder(image, functionRva, end);
  // Never hand out data as code.
  if (!IsInCodeSection(image, newHeader, functionRva)) return nullptr;
  return reinterpret_cast<FARPROC>(const_cast<uint8_t*>(image.At(functionRva)));
}

FARPROC GetKernelExportByOrdinal(uint32_t ordinal) {
  if (!g_kernelBase) g_kernelBase = GetModuleHandleA("KERNEL32");
  if (!g_kernelBase) return nullptr;
  return GetImageExportByOrdinal(g_kernelBase, ordinal);
}

#if defined(__i386__)

// QT_Thunk takes the 16:16 target in EDX and the 16-bit arguments on the stack,
// and uses a 64-byte scratch area between the arguments and the caller's frame
// pointer: the number of argument bytes it copies to the 16-bit stack is
// EBP - ESP - 0x40. The frame below gives it one frame slot plus 0x3C reserved
// bytes, then the argument as one 32-bit stack word (the 16-bit procedure reads
// its WORD from the low half). The 16-bit side may pop its arguments and leave
// ESP anywhere; the frame pointer restores it. EBX, ESI and EDI are saved
// outside the scratch area.
// Arguments (cdecl): [ebp+20] QT_Thunk, [ebp+24] 16:16 target, [ebp+28] argument.
// External linkage keeps the plain cdecl convention (a local function could be
// given register arguments by the optimiser).
uint32_t CallQtThunkFrame(FARPROC, uint32_t, uint32_t);
__attribute__((naked, noinline, cdecl)) uint32_t CallQtThunkFrame(FARPROC, uint32_t, uint32_t) {
  __asm__ volatile(
      "pushl %ebx\n\t"
      "pushl %esi\n\t"
      "pushl %edi\n\t"
      "pushl %ebp\n\t"
      "movl %esp, %ebp\n\t"
      "pushl %ecx\n\t"
      "subl $0x3C, %esp\n\t"
      "pushl 28(%ebp)\n\t"
      "movl 24(%ebp), %edx\n\t"
      "call *20(%ebp)\n\t"
      "movzwl %ax, %eax\n\t"
      "movl %ebp, %esp\n\t"
      "popl %ebp\n\t"
      "popl %edi\n\t"
      "popl %esi\n\t"
      "popl %ebx\n\t"
      "ret\n\t");
}

uint32_t CallThunk16(FARPROC qtThunk, uint32_t procedure16, uint16_t argument) {
  if (!qtThunk || !procedure16) return 0;
  return CallQtThunkFrame(qtThunk, procedure16, argument);
}

#else

// No 16-bit side exists for a 64-bit process.
uint32_t CallThunk16(FARPROC, uint32_t, uint16_t) { return 0; }

#endif

}  // namespace devlore
