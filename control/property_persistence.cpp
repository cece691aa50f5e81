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

// The payload size of the numeric types; 0 for objects and text.
ULONG FixedPayloadSize(VARTYPE type) {
  switch (type) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_BOOL:
    case VT_UI2:
      return 2;
    case VT_I4:
    case VT_R4:
    case VT_ERROR:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    default:
      return 0;
  }
}

bool IsObjectType(VARTYPE type) { return type == VT_UNKNOWN || type == VT_DISPATCH; }

// The dispatch interface of an entry, asked again only when it differs from
// the one held.
HRESULT EntryDispatch(IUnknown* control, const PropertyEntry& entry, const IID*& heldIid, IDispatch*& held) {
  const IID& iid = entry.dispatchInterface ? *entry.dispatchInterface : IID_IDispatch;
  if (held && heldIid && IsEqualIID(*heldIid, iid)) return S_OK;
  if (held) held->Release();
  held = nullptr;
  heldIid = nullptr;
  if (!control || FAILED(control->QueryInterface(iid, reinterpret_cast<void**>(&held))) || !held) {
    held = nullptr;
    return E_FAIL;
  }
  heldIid = &iid;
  return S_OK;
}

HRESULT WriteTaggedValue(IStream* stream, VARIANT& value) {
  const VARTYPE type = V_VT(&value);
  HRESULT hr = WriteExactly(stream, &type, sizeof type);
  if (FAILED(hr)) return hr;
  if (const ULONG size = FixedPayloadSize(type)) return WriteExactly(stream, &V_UI1(&value), size);
  if (IsObjectType(type)) {
    IUnknown* object = V_UNKNOWN(&value);
    if (!object) return WriteClassStm(stream, CLSID_NULL);
    IPersistStream* persist = nullptr;
    hr = object->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
    if (FAILED(hr)) return hr;
    hr = OleSaveToStream(persist, stream);
    persist->Release();
    return hr;
  }
  VARIANT text;
  VariantInit(&text);
  const VARIANT* source = &value;
  if (type != VT_BSTR) {
    hr = VariantChangeType(&text, &value, VARIANT_NOVALUEPROP, VT_BSTR);
    if (FAILED(hr)) return hr;
    source = &text;
  }
  const BSTR string = V_BSTR(source);
  const DWORD bytes = string ? (SysStringLen(string) + 1) * sizeof(OLECHAR) : 0;
  hr = WriteExactly(stream, &bytes, sizeof bytes);
  if (SUCCEEDED(hr) && bytes) hr = WriteExactly(stream, string, bytes);
  VariantClear(&text);
  return hr;
}

// Reads one tagged value into value (which the caller clears).
HRESULT ReadTaggedValue(IStream* stream, VARIANT& value) {
  VARTYPE type = VT_EMPTY;
  HRESULT hr = ReadExactly(stream, &type, sizeof type);
  if (FAILED(hr)) return hr;
  if (const ULONG size = FixedPayloadSize(type)) {
    hr = ReadExactly(stream, &V_UI1(&value), size);
    if (SUCCEEDED(hr)) V_VT(&value) = type;
    return hr;
  }
  if (IsObjectType(type)) {
    // A failure to bring the object back is not reported: the value is null.
    IUnknown* object = nullptr;
    if (FAILED(OleLoadFromStream(stream, type == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                 reinterpret_cast<void**>(&object)))) {
      object = nullptr;
    }
    V_VT(&value) = type;
    V_UNKNOWN(&value) = object;
    return S_OK;
  }
  DWORD bytes = 0;
  hr = ReadExactly(stream, &bytes, sizeof bytes);
  if (FAILED(hr)) return hr;
  BSTR string = nullptr;
  if (bytes != 0) {
    if (bytes % sizeof(OLECHAR) != 0 || bytes < sizeof(OLECHAR) || bytes > kMaxTextPayload) return E_FAIL;
    const UINT length = bytes / sizeof(OLECHAR) - 1;
    string = SysAllocStringLen(nullptr, length);  // room for length characters and a terminator
    if (!string) return E_OUTOFMEMORY;
    hr = ReadExactly(stream, string, bytes);
    if (FAILED(hr) || string[length] != 0) {
      SysFreeString(string);
      return FAILED(hr) ? hr : E_FAIL;
    }
  }
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = string;
  if (type == VT_BSTR) return S_OK;
  VARIANT converted;
  VariantInit(&converted);
  hr = VariantChangeType(&converted, &value, 0, type);
  VariantClear(&value);
  if (FAILED(hr)) return hr;
  value = converted;
  return S_OK;
}

HRESULT PutProperty(IDispatch* dispatch, DISPID id, VARIANT& value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&value, &named, 1, 1};
  const VARTYPE type = V_VT(&value);
  if (IsObjectType(type & VT_TYPEMASK) || (type & (VT_ARRAY | VT_BYREF))) {
    if (SUCCEEDED(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF, &params, nullptr,
                                   nullptr, nullptr))) {
      return S_OK;
    }
  }
  return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                          nullptr);
}

// Reads a dispatch entry's property and writes it as a tagged value.
HRESULT SaveDispatchRecord(IStream* stream, const PropertyEntry& entry, IUnknown* control, const IID*& dispatchIid,
                           IDispatch*& dispatch) {
  if (FAILED(EntryDispatch(control, entry, dispatchIid, dispatch))) return E_FAIL;
  VARIANT value;
  VariantInit(&value);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  if (FAILED(dispatch->Invoke(entry.dispatchId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                              nullptr, nullptr))) {
    return E_FAIL;
  }
  const HRESULT hr = WriteTaggedValue(stream, value);
  VariantClear(&value);
  return hr;
}

// One walk for both forms; without dispatch entries the tagged-value code is
// not referenced, and the linker leaves it out of a library that needs none.
template <bool kDispatchEntries>
HRESULT SaveRecords(IStream* stream, const PropertyEntry* table, const ControlProperties& properties,
                    IUnknown* control) {
  if (!stream || !table) return E_POINTER;
  const DWORD version = kPropertyStreamVersion;
  HRESULT hr = WriteExactly(stream, &version, sizeof version);
  if (FAILED(hr)) return hr;
  const BYTE* base = reinterpret_cast<const BYTE*>(&properties);
  IDispatch* dispatch = nullptr;
  const IID* dispatchIid = nullptr;
  for (const PropertyEntry* entry = table; entry->pageClass; ++entry) {
    if (!entry->name) continue;
    if (IsDispatchEntry(*entry)) {
      if constexpr (kDispatchEntries) {
        hr = SaveDispatchRecord(stream, *entry, control, dispatchIid, dispatch);
      } else {
        hr = E_NOTIMPL;
      }
    } else if (MemberFits(*entry)) {
      hr = WriteExactly(stream, base + entry->memberOffset, entry->memberSize);
    } else {
      hr = E_UNEXPECTED;
    }
    if (FAILED(hr)) break;
  }
  if (dispatch) dispatch->Release();
  return hr;
}

template <bool kDispatchEntries>
HRESULT LoadRecords(IStream* stream, const PropertyEntry* table, ControlProperties& properties,
                    IUnknown* control) {
  if (!stream || !table) return E_POINTER;
  DWORD version = 0;
  HRESULT hr = ReadExactly(stream, &version, sizeof version);
  if (FAILED(hr)) return hr;
  if (version > kPropertyStreamVersion) return E_FAIL;

  // Read every record first. Only dispatch entries stage a value: a table of
  // member entries keeps no variants at all.
  BYTE staged[kStagingSize];
  VARIANT values[kMaxPropertyEntries];
  if constexpr (kDispatchEntries) {
    for (VARIANT& value : values) VariantInit(&value);
  }
  DWORD used = 0, entries = 0;
  for (const PropertyEntry* entry = table; entry->pageClass && SUCCEEDED(hr); ++entry) {
    if (!entry->name) continue;
    if (entries == kMaxPropertyEntries) {
      hr = E_UNEXPECTED;
      break;
    }
    VARIANT& value = values[entries++];
    if (IsDispatchEntry(*entry)) {
      if constexpr (kDispatchEntries) {
        hr = ReadTaggedValue(stream, value);
      } else {
        hr = E_NOTIMPL;
      }
    } else if (MemberFits(*entry) && entry->memberSize <= kStagingSize - used) {
      hr = ReadExactly(stream, staged + used, entry->memberSize);
      used += entry->memberSize;
    } else {
      hr = E_UNEXPECTED;
    }
  }

  // Then apply them in table order.
  if (SUCCEEDED(hr)) {
    BYTE* base = reinterpret_cast<BYTE*>(&properties);
    IDispatch* dispatch = nullptr;
    const IID* dispatchIid = nullptr;
    DWORD index = 0;
    used = 0;
    for (const PropertyEntry* entry = table; entry->pageClass; ++entry) {
      if (!entry->name) continue;
      VARIANT& value = values[index++];
      if (IsDispatchEntry(*entry)) {
        if constexpr (kDispatchEntries) {
          if (FAILED(EntryDispatch(control, *entry, dispatchIid, dispatch)) ||
              FAILED(PutProperty(dispatch, entry->dispatchId, value))) {
            hr = E_FAIL;
            break;
          }
        }
      } else {
        BYTE* member = base + entry->memberOffset;
        for (DWORD i = 0; i < entry->memberSize; ++i) member[i] = staged[used + i];
        used += entry->memberSize;
      }
    }
    if (dispatch) dispatch->Release();
  }
  if constexpr (kDispatchEntries) {
    for (DWORD i = 0; i < entries; ++i) VariantClear(&values[i]);
  }
  return hr;
}

}  // namespace

const PropertyEntry* ControlPropertySet() { return kControlProperties; }

HRESULT SaveProperties(IStream* stream, const PropertyEntry* table, const ControlProperties& properties,
                       IUnknown* control) {
  return SaveRecords<true>(stream, table, properties, control);
}

HRESULT SaveMemberProperties(IStream* stream, const PropertyEntry* table, const ControlProperties& properties) {
  return SaveRecords<false>(stream, table, properties, nullptr);
}

HRESULT LoadProperties(IStream* stream, const PropertyEntry* table, ControlProperties& properties,
                       IUnknown* control) {
  return LoadRecords<true>(stream, table, properties, control);
}

HRESULT LoadMemberProperties(IStream* stream, const PropertyEntry* table, ControlProperties& properties) {
  return LoadRecords<false>(stream, table, properties, nullptr);
}

}  // namespace devlore
