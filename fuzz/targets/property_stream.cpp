// The property stream loader and writer over a stream in memory. Loading is
// all or nothing: on any failure the properties are as they were, and on
// success they hold the stream's records in table order. Saving after a load
// gives back the bytes that were loaded (the control's 12-byte extent stream
// exactly; any table, its records as the reference lays them out), and a
// failed or short write is reported. Read and write faults are injected at a
// byte chosen by the input.
// Input: a mode byte (control's table, or a table from the next bytes), the
// fault positions, then the stream.
#include <windows.h>
#include <objidl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "control/property_persistence.h"
#include "support/stand_ins.h"

namespace {

class MemoryStream : public IStream {
 public:
  MemoryStream(std::vector<BYTE> bytes, size_t readFault, size_t writeLimit, bool writeFails)
      : bytes_(std::move(bytes)), readFault_(readFault), writeLimit_(writeLimit), writeFails_(writeFails) {}
  const std::vector<BYTE>& Bytes() const { return bytes_; }
  size_t Position() const { return position_; }
  ULONG References() const { return references_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }
  HRESULT STDMETHODCALLTYPE Read(void* out, ULONG size, ULONG* done) override {
    // A fault at a position inside the request fails the whole read.
    if (readFault_ >= position_ && readFault_ - position_ < size) return STG_E_READFAULT;
    const size_t count = position_ < bytes_.size() ? (std::min<size_t>)(size, bytes_.size() - position_) : 0;
    if (count) memcpy(out, bytes_.data() + position_, count);
    position_ += count;
    if (done) *done = static_cast<ULONG>(count);
    return count == size ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* done) override {
    if (writeFails_ && position_ + size > writeLimit_) return STG_E_MEDIUMFULL;
    // Past the limit a write is cut short, as on a full medium that reports it only by the count.
    const size_t count = position_ + size > writeLimit_ ? writeLimit_ - position_ : size;
    if (bytes_.size() < position_ + count) bytes_.resize(position_ + count);
    if (count) memcpy(bytes_.data() + position_, data, count);
    position_ += count;
    if (done) *done = static_cast<ULONG>(count);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return Unexpected(); }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return Unexpected(); }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return Unexpected();
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return Unexpected(); }
  HRESULT STDMETHODCALLTYPE Revert() override { return Unexpected(); }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return Unexpected(); }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return Unexpected(); }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return Unexpected(); }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return Unexpected(); }

 private:
  static HRESULT Unexpected() {
    FUZZ_CHECK(!"the property code uses only Read and Write");
    return E_UNEXPECTED;
  }
  std::vector<BYTE> bytes_;
  size_t position_ = 0;
  size_t readFault_, writeLimit_;
  bool writeFails_;
  ULONG references_ = 1;
};

constexpr size_t kNoFault = static_cast<size_t>(-1);

// What a load of the stream must give, computed from the table alone.
struct Expected {
  HRESULT result;
  size_t consumed;
  devlore::ControlProperties properties;
};

Expected LoadReference(const devlore::PropertyEntry* table, const std::vector<BYTE>& bytes, size_t readFault,
                       const devlore::ControlProperties& before) {
  Expected e{S_OK, 0, before};
  auto take = [&](size_t size, BYTE* out) -> HRESULT {
    if (readFault >= e.consumed && readFault - e.consumed < size) return STG_E_READFAULT;
    if (e.consumed + size > bytes.size()) return E_FAIL;
    if (out) memcpy(out, bytes.data() + e.consumed, size);
    e.consumed += size;
    return S_OK;
  };
  DWORD version = 0;
  if (FAILED(e.result = take(4, reinterpret_cast<BYTE*>(&version)))) return e;
  if (version > devlore::kPropertyStreamVersion) {
    e.result = E_FAIL;
    return e;
  }
  devlore::ControlProperties after = before;
  DWORD named = 0, staged = 0;
  for (const devlore::PropertyEntry* entry = table; entry->pageClass; ++entry) {
    if (!entry->name) continue;
    if (named++ == devlore::kMaxPropertyEntries) e.result = E_UNEXPECTED;
    else if (entry->memberSize == 0) e.result = E_NOTIMPL;
    else if (entry->memberOffset + entry->memberSize > sizeof after || staged + entry->memberSize > 64)
      e.result = E_UNEXPECTED;
    else e.result = take(entry->memberSize, reinterpret_cast<BYTE*>(&after) + entry->memberOffset);
    staged += entry->memberSize;
    if (FAILED(e.result)) return e;
  }
  e.properties = after;
  return e;
}

// What a save must write and report, with the medium's limit.
struct Saved {
  HRESULT result;
  std::vector<BYTE> bytes;
};

Saved SaveReference(const devlore::PropertyEntry* table, const devlore::ControlProperties& p, size_t limit,
                    bool writeFails) {
  Saved s{S_OK, {}};
  auto put = [&](const BYTE* data, size_t size) {
    if (writeFails && s.bytes.size() + size > limit) return s.result = STG_E_MEDIUMFULL;
    const size_t count = (std::min)(size, limit - s.bytes.size());
    s.bytes.insert(s.bytes.end(), data, data + count);
    return s.result = count == size ? S_OK : STG_E_WRITEFAULT;
  };
  const BYTE version[] = {0x00, 0x03, 0x00, 0x00};
  if (FAILED(put(version, 4))) return s;
  for (const devlore::PropertyEntry* entry = table; entry->pageClass; ++entry) {
    if (!entry->name) continue;
    if (entry->memberSize == 0) s.result = E_NOTIMPL;
    else if (entry->memberOffset + entry->memberSize > sizeof p) s.result = E_UNEXPECTED;
    else put(reinterpret_cast<const BYTE*>(&p) + entry->memberOffset, entry->memberSize);
    if (FAILED(s.result)) return s;
  }
  return s;
}

bool SameProperties(const devlore::ControlProperties& a, const devlore::ControlProperties& b) {
  return memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t mode = data[0];
  const size_t readFault = data[1] < 32 ? data[1] : kNoFault;
  const size_t writeLimit = data[2] < 32 ? data[2] : kNoFault;
  const bool writeFails = (mode & 2) != 0;
  data += 3;
  size -= 3;

  // The control's table, or member entries of the input's choosing (offsets
  // and sizes up to 9 bytes, so some lie outside the 8-byte record).
  static const wchar_t kName[] = L"p";
  std::vector<devlore::PropertyEntry> table;
  const devlore::PropertyEntry* entries = devlore::ControlPropertySet();
  if (mode & 1) {
    const size_t count = size ? data[0] % 20 : 0;
    if (size < 1 + 2 * count) return 0;
    for (size_t i = 0; i < count; ++i) {
      const uint8_t a = data[1 + 2 * i], b = data[2 + 2 * i];
      table.push_back({(a & 0x80) ? nullptr : kName, 0, &CLSID_NULL, nullptr, static_cast<DWORD>(a % 10),
                       static_cast<DWORD>(b % 10), VT_UI4});
    }
    table.push_back({nullptr, 0, nullptr, &IID_NULL, 0, 0, 0});
    entries = table.data();
    data += 1 + 2 * count;
    size -= 1 + 2 * count;
  }
  const std::vector<BYTE> bytes(data, data + size);

  const devlore::ControlProperties before = {{0x11111111, 0x22222222}};
  devlore::ControlProperties properties = before;
  MemoryStream in(bytes, readFault, kNoFault, false);
  const HRESULT loaded = devlore::LoadMemberProperties(&in, entries, properties);
  const Expected expected = LoadReference(entries, bytes, readFault, before);
  FUZZ_CHECK(loaded == expected.result);
  FUZZ_CHECK(SameProperties(properties, expected.properties));
  if (SUCCEEDED(loaded)) FUZZ_CHECK(in.Position() == expected.consumed);
  FUZZ_CHECK(in.Bytes() == bytes && in.References() == 1);

  MemoryStream out({}, kNoFault, writeLimit, writeFails);
  const HRESULT saved = devlore::SaveMemberProperties(&out, entries, properties);
  const Saved image = SaveReference(entries, properties, writeLimit, writeFails);
  FUZZ_CHECK(saved == image.result && out.Bytes() == image.bytes && out.References() == 1);
  // The control's stream comes back byte for byte when it was current.
  if (!(mode & 1) && saved == S_OK && bytes.size() >= 12 && bytes[0] == 0x00 && bytes[1] == 0x03 && bytes[2] == 0 &&
      bytes[3] == 0 && SUCCEEDED(loaded)) {
    FUZZ_CHECK(std::vector<BYTE>(bytes.begin(), bytes.begin() + 12) == out.Bytes());
  }
  // What was written loads back to the same properties.
  if (saved == S_OK) {
    // Started from other bytes, so that a record read into the wrong place shows.
    devlore::ControlProperties again = {{~properties.currentExtent.cx, ~properties.currentExtent.cy}};
    const Expected reference = LoadReference(entries, out.Bytes(), kNoFault, again);
    MemoryStream back(out.Bytes(), kNoFault, kNoFault, false);
    FUZZ_CHECK(devlore::LoadMemberProperties(&back, entries, again) == reference.result);
    FUZZ_CHECK(SameProperties(again, reference.properties));
    if (SUCCEEDED(loaded)) FUZZ_CHECK(back.Position() == out.Bytes().size());
    // The control's two records cover the whole record.
    if (!(mode & 1)) FUZZ_CHECK(SameProperties(again, properties));
  }
  return 0;
}
