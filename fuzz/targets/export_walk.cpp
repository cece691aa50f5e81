// The export walk by ordinal over an image laid out by the input and mapped so
// that it ends at a page that cannot be read (and starts after one): a read
// past the image faults. The address returned must be the one a plain
// reference walk of the same headers gives: the export's code inside a code
// section, the forwarded procedure of a module the stand-ins know, or null;
// never an address inside the export directory or outside code. A forwarder
// that loads its module keeps the reference only when the procedure is there.
// Input: the ordinal (2 bytes, little-endian), then the image's first bytes
// (the rest of the image, up to its SizeOfImage, is zero).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devices/thunk16.h"
#include "devices/thunk16_internal.h"
#include "support/stand_ins.h"

namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kLargestImage = 1 << 20;

// A region of kLargestImage bytes between two pages without access.
uint8_t* RegionEnd() {
  static uint8_t* end = [] {
    const size_t length = kLargestImage + 2 * kPage;
    auto* start = static_cast<uint8_t*>(mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    FUZZ_CHECK(start != MAP_FAILED);
    FUZZ_CHECK(mprotect(start, kPage, PROT_NONE) == 0);
    FUZZ_CHECK(mprotect(start + kPage + kLargestImage, kPage, PROT_NONE) == 0);
    return start + kPage + kLargestImage;
  }();
  return end;
}

// Reads of the reference walk: within the bound, else nothing.
struct Bytes {
  const uint8_t* data;
  uint64_t bound;
  bool Get(uint64_t offset, uint32_t length, void* out) const {
    if (offset + length > bound) return false;
    memcpy(out, data + offset, length);
    return true;
  }
  uint32_t U32(uint64_t offset, bool* ok) const {
    uint32_t v = 0;
    *ok = *ok && Get(offset, 4, &v);
    return v;
  }
  uint16_t U16(uint64_t offset, bool* ok) const {
    uint16_t v = 0;
    *ok = *ok && Get(offset, 2, &v);
    return v;
  }
};

// What a forwarder text names, resolved the way the loader binds it.
FARPROC ForwarderReference(const Bytes& image, uint32_t text, uint32_t end, long* referencesTaken) {
  std::string name;
  for (uint32_t offset = text;; ++offset) {
    if (offset >= end || name.size() >= 260) return nullptr;
    if (image.data[offset] == 0) break;
    name += static_cast<char>(image.data[offset]);
  }
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 >= name.size()) return nullptr;
  const std::string module = name.substr(0, dot), procedure = name.substr(dot + 1);
  FARPROC found;
  if (procedure[0] == '#') {
    if (procedure.size() == 1 || procedure.find_first_not_of("0123456789", 1) != std::string::npos) return nullptr;
    uint64_t number = 0;
    for (size_t i = 1; i < procedure.size() && number <= 0xFFFF; ++i) number = number * 10 + (procedure[i] - '0');
    if (number == 0 || number > 0xFFFF) return nullptr;
    found = standin::ForwardedProcedure(module.c_str(), nullptr, static_cast<unsigned>(number));
  } else {
    found = standin::ForwardedProcedure(module.c_str(), procedure.c_str(), 0);
  }
  // The already loaded module is found without a reference; the other one is
  // loaded, and keeps its reference only for a procedure it has.
  std::string folded = module;
  for (char& c : folded) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  if (found && folded == "LOADABLE") *referencesTaken = 1;
  return found;
}

FARPROC WalkReference(const Bytes& image, uint32_t ordinal, long* referencesTaken) {
  Bytes header{image.data, kPage};
  bool ok = true;
  if (header.U16(0, &ok) != 0x5A4D) return nullptr;
  const uint32_t lfanew = header.U32(0x3C, &ok);
  if (lfanew >= kPage || lfanew + 26 > kPage) return nullptr;
  if (header.U32(lfanew, &ok) != 0x00004550 || !ok) return nullptr;
  const uint16_t sections = header.U16(lfanew + 6, &ok);
  const uint16_t optionalSize = header.U16(lfanew + 20, &ok);
  const uint16_t magic = header.U16(lfanew + 24, &ok);
  const uint32_t countOffset = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
  if (!countOffset || optionalSize < countOffset + 12) return nullptr;
  const uint32_t optional = lfanew + 24;
  const uint32_t imageSize = header.U32(optional + 56, &ok);
  const uint32_t count = header.U32(optional + countOffset, &ok);
  if (!ok || count < 1) return nullptr;
  if (optional + countOffset + 12 > imageSize) return nullptr;
  const Bytes all{image.data, imageSize};
  const uint32_t exportRva = all.U32(optional + countOffset + 4, &ok);
  const uint32_t exportSize = all.U32(optional + countOffset + 8, &ok);
  if (!ok || exportRva == 0 || uint64_t{exportRva} + 40 > imageSize) return nullptr;
  const uint32_t base = all.U32(exportRva + 16, &ok);
  const uint32_t functions = all.U32(exportRva + 20, &ok);
  const uint32_t table = all.U32(exportRva + 28, &ok);
  if (ordinal < base || ordinal - base >= functions) return nullptr;
  const uint32_t function = all.U32(uint64_t{table} + 4ull * (ordinal - base), &ok);
  if (!ok || function == 0 || function >= imageSize) return nullptr;
  const uint32_t end = exportSize > imageSize - exportRva ? imageSize : exportRva + exportSize;
  if (function >= exportRva && function < end) return ForwarderReference(all, function, end, referencesTaken);
  const uint64_t sectionTable = uint64_t{optional} + optionalSize;
  for (uint32_t i = 0; i < sections; ++i) {
    const uint64_t at = sectionTable + 40ull * i;
    if (at + 40 > imageSize) return nullptr;
    const uint32_t virtualSize = all.U32(at + 8, &ok), address = all.U32(at + 12, &ok);
    const uint32_t rawSize = all.U32(at + 16, &ok), flags = all.U32(at + 36, &ok);
    const uint32_t extent = virtualSize ? virtualSize : rawSize;
    if (function >= address && function - address < extent) {
      if (!(flags & 0x20000020u)) return nullptr;  // code, or executable
      return reinterpret_cast<FARPROC>(const_cast<uint8_t*>(image.data + function));
    }
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size - 2 > kLargestImage) return 0;
  const uint32_t ordinal = data[0] | data[1] << 8;
  data += 2;
  size -= 2;

  // The image is as large as its header says (at least a page, the least the
  // loader maps), so that the walk's bound is the mapping's end.
  std::vector<uint8_t> first(kPage, 0);
  memcpy(first.data(), data, size < kPage ? size : kPage);
  uint32_t lfanew;
  memcpy(&lfanew, first.data() + 0x3C, 4);
  uint64_t length = size > kPage ? size : kPage;
  if (lfanew < kPage - 84) {
    uint32_t claimed;
    memcpy(&claimed, first.data() + lfanew + 80, 4);
    if (claimed > length) length = claimed;
  }
  if (length > kLargestImage) return 0;

  uint8_t* image = RegionEnd() - length;
  memset(image, 0, length);
  memcpy(image, data, size);

  long referencesTaken = 0;
  const long before = standin::LoadableReferences();
  const FARPROC expected = WalkReference(Bytes{image, length}, ordinal, &referencesTaken);
  FUZZ_CHECK(standin::LoadableReferences() == before);
  const FARPROC found = devlore::GetImageExportByOrdinal(reinterpret_cast<HMODULE>(image), ordinal);
  if (found != expected) fprintf(stderr, "walk gave %p, reference %p (image at %p)\n", (void*)found, (void*)expected, (void*)image);
  FUZZ_CHECK(found == expected);
  FUZZ_CHECK(standin::LoadableReferences() == before + referencesTaken);
  return 0;
}
