#include "devices/thunk16.h"
#include "devices/thunk16_internal.h"

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
// fields are 16-bit, the export directory lies inside the image). Reads copy
// the bytes whatever their alignment.
class ImageView {
 public:
  ImageView(const uint8_t* base, uint32_t size) : base_(base), size_(size) {}

  bool Contains(uint32_t offset, uint32_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  // Copies length bytes at offset into the value, or nothing when any of them
  // lies outside the view. One copy serves every read of the walk.
  __attribute__((noinline)) bool Read(uint32_t offset, uint32_t length, void* value) const {
    if (!Contains(offset, length)) return false;
    __builtin_memcpy(value, base_ + offset, length);
    return true;
  }
  bool Read32(uint32_t offset, uint32_t* value) const { return Read(offset, 4, value); }
  const uint8_t* At(uint32_t offset) const { return base_ + offset; }
  void SetSize(uint32_t size) { size_ = size; }

 private:
  const uint8_t* base_;
  uint32_t size_;
};

// The leading fields of the new header: the signature, the file header and the
// magic of the optional header that follows it.
struct NewHeaderStart {
  uint32_t signature;
  IMAGE_FILE_HEADER file;
  uint16_t magic;
};
// The optional header follows the signature and the file header, at the same
// offset in both layouts; the image size lies at the same offset in both too.
constexpr uint32_t kOptionalHeaderOffset = __builtin_offsetof(IMAGE_NT_HEADERS32, OptionalHeader);
constexpr uint32_t kImageSizeOffset = __builtin_offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage);
static_assert(__builtin_offsetof(NewHeaderStart, magic) == kOptionalHeaderOffset &&
                  __builtin_offsetof(IMAGE_NT_HEADERS64, OptionalHeader) == kOptionalHeaderOffset &&
                  __builtin_offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfImage) == kImageSizeOffset,
              "the optional header's magic follows the file header in both layouts");
// The count of data directory entries, which the entries themselves follow.
constexpr uint32_t kPe32CountOffset = __builtin_offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes);
constexpr uint32_t kPe32PlusCountOffset = __builtin_offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes);
static_assert(__builtin_offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) == kPe32CountOffset + 4 &&
                  __builtin_offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) == kPe32PlusCountOffset + 4,
              "the data directory follows its count");

// Whether the image's section table (sectionCount headers after the optional
// header) places this address inside a section that holds code or may be
// executed.
bool IsInCodeSection(const ImageView& image, uint32_t newHeader, const IMAGE_FILE_HEADER& file, uint32_t rva) {
  const uint32_t table = newHeader + kOptionalHeaderOffset + file.SizeOfOptionalHeader;
  for (uint32_t i = 0; i < file.NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER section;
    if (!image.Read(table + sizeof section * i, sizeof section, &section)) return false;
    const uint32_t extent = section.Misc.VirtualSize ? section.Misc.VirtualSize : section.SizeOfRawData;
    if (rva >= section.VirtualAddress && rva - section.VirtualAddress < extent)
      return (section.Characteristics & (IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE)) != 0;
  }
  return false;
}

// An export whose address lies inside the export directory is a text
// "MODULE.Name" or "MODULE.#ordinal" naming the real export elsewhere.
FARPROC ResolveForwarder(const ImageView& image, uint32_t textOffset, uint32_t directoryEnd) {
  char text[kLineSize];
  uint32_t length = 0;
  // The module name runs up to the last dot.
  int32_t dot = -1;
  for (;; ++length) {
    const uint32_t offset = textOffset + length;
    if (offset >= directoryEnd || length >= sizeof text) return nullptr;  // unterminated or too long
    const char c = static_cast<char>(*image.At(offset));
    text[length] = c;
    if (c == '\0') break;
    if (c == '.') dot = static_cast<int32_t>(length);
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

  IMAGE_DOS_HEADER dos;
  if (!image.Read(0, sizeof dos, &dos) || dos.e_magic != kDosSignature) return nullptr;
  // The new header lies in the header page (the reads below must fit there),
  // which keeps every header offset derived from it far from wrapping.
  const uint32_t newHeader = static_cast<uint32_t>(dos.e_lfanew);
  if (newHeader >= kHeaderPage) return nullptr;
  NewHeaderStart start;
  if (!image.Read(newHeader, kOptionalHeaderOffset + sizeof start.magic, &start) || start.signature != kPeSignature)
    return nullptr;

  // The optional header's magic tells the layout: the export entry is the
  // first entry of the data directory, which follows the count of entries.
  const uint32_t optionalHeader = newHeader + kOptionalHeaderOffset;
  uint32_t countOffset;
  if (start.magic == kPe32Magic) {
    countOffset = kPe32CountOffset;
  } else if (start.magic == kPe32PlusMagic) {
    countOffset = kPe32PlusCountOffset;
  } else {
    return nullptr;
  }
  const uint32_t directoryOffset = countOffset + 4;
  if (start.file.SizeOfOptionalHeader < directoryOffset + 8) return nullptr;
  uint32_t imageSize = 0, directoryCount = 0;
  if (!image.Read32(optionalHeader + kImageSizeOffset, &imageSize) || !image.Read32(optionalHeader + countOffset, &directoryCount))
    return nullptr;
  if (directoryCount < 1) return nullptr;
  // From here on every read is bounded by the image as the loader mapped it
  // (SizeOfImage bytes); the headers read so far must lie inside it too.
  if (optionalHeader + directoryOffset + 8 > imageSize) return nullptr;
  image.SetSize(imageSize);

  IMAGE_DATA_DIRECTORY exports;
  if (!image.Read(optionalHeader + directoryOffset, sizeof exports, &exports)) return nullptr;
  const uint32_t exportRva = exports.VirtualAddress;
  IMAGE_EXPORT_DIRECTORY directory;
  if (exportRva == 0 || !image.Read(exportRva, sizeof directory, &directory)) return nullptr;

  // Ordinals count from the directory's base (1 in the Windows 9x kernel).
  if (ordinal < directory.Base) return nullptr;
  const uint32_t index = ordinal - directory.Base;
  if (index >= directory.NumberOfFunctions) return nullptr;
  // The slot's offset may lie beyond 32 bits: such a slot is outside the image.
  const uint64_t slot = directory.AddressOfFunctions + 4ull * index;
  uint32_t functionRva = 0;
  if (slot > 0xFFFFFFFFu || !image.Read32(static_cast<uint32_t>(slot), &functionRva)) return nullptr;
  if (functionRva == 0 || !image.Contains(functionRva, 1)) return nullptr;

  // The directory's end, cut at the image's end (the function lies inside the
  // image, so the cut does not change whether it lies inside the directory).
  const uint32_t end = exports.Size > imageSize - exportRva ? imageSize : exportRva + exports.Size;
  if (functionRva >= exportRva && functionRva < end) return ResolveForwarder(image, functionRva, end);
  // Never hand out data as code.
  if (!IsInCodeSection(image, newHeader, start.file, functionRva)) return nullptr;
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
