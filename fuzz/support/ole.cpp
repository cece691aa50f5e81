// Automation and OLE stand-ins: VARIANT initialisation and clearing (strings
// freed through the counted BSTRs) and the interface identifiers the library
// names. Conversions and object persistence are reached only by dispatch
// entries of a property set, which no target drives: they abort.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>

extern "C" {
const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersistStream = {0x00000109, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ISequentialStream = {0x0c733a30, 0x2a1c, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
const IID IID_IStream = {0x0000000c, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

void WINAPI VariantInit(VARIANTARG* value) { V_VT(value) = VT_EMPTY; }

HRESULT WINAPI VariantClear(VARIANTARG* value) {
  if (V_VT(value) == VT_BSTR) SysFreeString(V_BSTR(value));
  if ((V_VT(value) == VT_UNKNOWN || V_VT(value) == VT_DISPATCH) && V_UNKNOWN(value)) V_UNKNOWN(value)->Release();
  V_VT(value) = VT_EMPTY;
  return S_OK;
}

static void Unreached(const char* name) {
  fprintf(stderr, "stand-in: %s is not available to the fuzz targets\n", name);
  abort();
}
HRESULT WINAPI VariantChangeType(VARIANTARG*, const VARIANTARG*, USHORT, VARTYPE) {
  Unreached("VariantChangeType");
  return E_NOTIMPL;
}
HRESULT WINAPI WriteClassStm(IStream*, REFCLSID) {
  Unreached("WriteClassStm");
  return E_NOTIMPL;
}
HRESULT WINAPI OleSaveToStream(IPersistStream*, IStream*) {
  Unreached("OleSaveToStream");
  return E_NOTIMPL;
}
HRESULT WINAPI OleLoadFromStream(IStream*, REFIID, void**) {
  Unreached("OleLoadFromStream");
  return E_NOTIMPL;
}
}  // extern "C"
