#include "control/property_persistence.h"

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

}  // namespace

const PropertyEntry* ControlPropertySet() { return kControlProperties; }

HRESULT SaveProperties(IStream* stream, const PropertyEntry* table, const ControlProperties& properties) {
  if (!stream || !table) return E_POINTER;
  const DWORD version = kPropertyStreamVersion;
  HRESULT hr = WriteExactly(stream, &version, sizeof version);
  if (FAILED(hr)) return hr;
  const BYTE* base = reinterpret_cast<const BYTE*>(&properties);
  for (const PropertyEntry* entry = table; entry->pageClass; ++entry) {
    if (!entry->name) continue;
    // Only member entries are persisted by this control; a table with a
    // dispatch entry is not supported.
    if (entry->memberSize == 0) return E_NOTIMPL;
    if (!MemberFits(*entry)) return E_UNEXPECTED;
    hr = WriteExactly(stream, base + entry->memberOffset, entry->memberSize);
    if (FAILED(hr)) return hr;
  }
  return hr;
}

HRESULT LoadProperties(IStream* stream, const PropertyEntry* table, ControlProperties& properties) {
  if (!stream || !table) return E_POINTER;
  DWORD version = 0;
  HRESULT hr = ReadExactly(stream, &version, sizeof version);
  if (FAILED(hr)) return hr;
  if (version > kPropertyStreamVersion) return E_FAIL;

  BYTE staged[kStagingSize];
  DWORD used = 0;
  for (const PropertyEntry* entry = table; entry->pageClass; ++entry) {
    if (!entry->name) continue;
    if (entry->memberSize == 0) return E_NOTIMPL;
    if (!MemberFits(*entry) || entry->memberSize > kStagingSize - used) return E_UNEXPECTED;
    hr = ReadExactly(stream, staged + used, entry->memberSize);
    if (FAILED(hr)) return hr;
    used += entry->memberSize;
  }
  // Every record is complete: apply them in table order.
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

}  // namespace devlore
