#include "control/property_persistence.h"

#include <ole2.h>
#include <stddef.h>

namespace devlore {
namespace {

const PropertyEntry kControlProperties[] = {
    {L"_cx", 0, &CLSID_NULL, nullptr, offsetof(ControlProperties, currentExtent.cx), 4, VT_UI4},
    {L"_cy", 0, &CLSID_NULL, nullptr, offsetof(ControlProperties, currentExtent.cy), 4, VT_UI4},
    {nullptr, 0, nullptr, &IID_NULL, 0, 0, 0},
};

// The member records of all named entries are staged in one buffer this big.
constexpr DWORD kStagingSize = 64;

bool MemberFits(const PropertyEntry& entry) {
  return entry.memberOffset <= sizeof(ControlProperties) &&
         entry.memberSize <= sizeof(ControlProperties) - entry.memberOffset;
}

bool IsDispatchEntry(const PropertyEntry& entry) { return entry.memberSize == 0; }

HRESULT WriteExactly(IStream* stream, const void* data, ULONG size) {
  ULONG written = 0;
  const HRESULT hr = stream->Write(data, size, &written);
  if (FAILED(hr)) return hr;
  return written == size ? hr : STG_E_WRITEFAULT;
}

HRESULT ReadExactly(IStream* stream, void* data, ULONG size) {
  ULONG read = 0;
  const HRESULT hr = stream->Read(data, size, &read);
  if (FAILED(hr)) return hr;
  // S_FALSE or fewer bytes than asked: the stream ended inside the field.
  if (hr != S_OK || read != size) return E_FAIL;
  return S_OK;
}

HRESULT SaveRecords(IStream* stream, const PropertyEntry* table, const ControlProperties& properties) {
  if (!stream || !table) return E_POINTER;
  const DWORD version = kPropertyStreamVersion;
  HRESULT hr = WriteExactly(stream, &version, sizeof version);
  if (FAILED(hr)) return hr;
  const BYTE* base = reinterpret_cast<const BYTE*>(&properties);
  for (const PropertyEntry* entry = table; entry->pageClass; ++entry) {
    if (!entry->name) continue;
    if (IsDispatchEntry(*entry)) {
      hr = E_NOTIMPL;
    } else if (MemberFits(*entry)) {
      hr = WriteExactly(stream, base + entry->memberOffset, entry->memberSize);
    } else {
      hr = E_UNEXPECTED;
    }
    if (FAILED(hr)) break;
  }
  return hr;
}

HRESULT LoadRecords(IStream* stream, const PropertyEntry* table, ControlProperties& properties) {
  if (!stream || !table) return E_POINTER;
  DWORD version = 0;
  HRESULT hr = ReadExactly(stream, &version, sizeof version);
  if (FAILED(hr)) return hr;
  if (version > kPropertyStreamVersion) return E_FAIL;

  // Read every record first, so that a damaged stream changes nothing.
  BYTE staged[kStagingSize];
  DWORD used = 0, entries = 0;
  for (const PropertyEntry* entry = table; entry->pageClass && SUCCEEDED(hr); ++entry) {
    if (!entry->name) continue;
    if (entries++ == kMaxPropertyEntries) {
      hr = E_UNEXPECTED;
    } else if (IsDispatchEntry(*entry)) {
      hr = E_NOTIMPL;
    } else if (MemberFits(*entry) && entry->memberSize <= kStagingSize - used) {
      hr = ReadExactly(stream, staged + used, entry->memberSize);
      used += entry->memberSize;
    } else {
      hr = E_UNEXPECTED;
    }
  }
  if (FAILED(hr)) return hr;

  // Then apply them in table order.
  BYTE* base = reinterpret_cast<BYTE*>(&properties);
  used = 0;
  for (const PropertyEntry* entry = table; entry->pageClass; ++entry) {
    if (!entry->name) continue;
    BYTE* member = base + entry->memberOffset;
    for (DWORD i = 0; i < entry->memberSize; ++i) member[i] = staged[used + i];
    used += entry->memberSize;
  }
  return hr;
}

}  // namespace

const PropertyEntry* ControlPropertySet() { return kControlProperties; }

HRESULT SaveMemberProperties(IStream* stream, const PropertyEntry* table, const ControlProperties& properties) {
  return SaveRecords(stream, table, properties);
}

HRESULT LoadMemberProperties(IStream* stream, const PropertyEntry* table, ControlProperties& properties) {
  return LoadRecords(stream, table, properties);
}

}  // namespace devlore
