#include "tools/page_host/dispatch_object.h"

#include "base/unique_variant.h"

namespace devlore::page_host {
namespace {

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

bool SameNameAsciiFolded(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
    if (*a == 0) return true;
  }
}

HRESULT ReturnText(VARIANT* result, const std::wstring& text) {
  if (!result) return S_OK;
  BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!copy) return E_OUTOFMEMORY;
  result->vt = VT_BSTR;
  result->bstrVal = copy;
  return S_OK;
}

HRESULT ReturnObject(VARIANT* result, IDispatch* object) {
  if (!object) return ReturnNull(result);
  if (!result) return S_OK;
  object->AddRef();
  result->vt = VT_DISPATCH;
  result->pdispVal = object;
  return S_OK;
}

HRESULT ReturnNull(VARIANT* result) {
  if (result) result->vt = VT_NULL;
  return S_OK;
}

bool ArgumentText(const VARIANT& value, std::wstring& text) {
  UniqueVariant converted;
  if (FAILED(VariantChangeType(converted.Receive(), const_cast<VARIANT*>(&value), 0, VT_BSTR))) return false;
  const BSTR bstr = converted.Get().bstrVal;
  text.assign(bstr ? bstr : L"", bstr ? SysStringLen(bstr) : 0);
  return true;
}

}  // namespace devlore::page_host
