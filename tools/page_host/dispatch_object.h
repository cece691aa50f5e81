#pragma once
// The base of the page host's script-visible objects: reference counting and an
// IDispatch whose members are found by name with ASCII case folded (VBScript
// writes names in any case; the browser's objects accept that). A subclass
// names its members and answers reads, writes and calls by member index.
#include <windows.h>
#include <oleauto.h>

#include <initializer_list>
#include <string>

namespace devlore::page_host {

// Names equal with ASCII letters folded; other code units compared exactly.
bool SameNameAsciiFolded(const wchar_t* a, const wchar_t* b);

// Result helpers: each fills result (which may be null) and reports S_OK.
HRESULT ReturnText(VARIANT* result, const std::wstring& text);
HRESULT ReturnObject(VARIANT* result, IDispatch* object);  // VT_NULL for a null object
HRESULT ReturnNull(VARIANT* result);

// The text of an argument as VBScript's CStr would give it; false when it has none.
bool ArgumentText(const VARIANT& value, std::wstring& text);

template <typename Interface>
class DispatchObject : public Interface {
 public:
  DispatchObject() = default;
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || Answers(iid)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return InterlockedIncrement(&references_); }
  STDMETHOD_(ULONG, Release)() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }

  STDMETHOD(GetTypeInfoCount)(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const DISPID member = MemberOf(names[0]);
    if (member == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
    ids[0] = member;
    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
  }
  STDMETHOD(Invoke)(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                    EXCEPINFO*, UINT* badArgument) override {
    if (badArgument) *badArgument = 0;
    if (result) VariantInit(result);
    if (!params) return E_INVALIDARG;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      const VARIANT* value = &params->rgvarg[0];
      while (value->vt == (VT_BYREF | VT_VARIANT) && value->pvarVal) value = value->pvarVal;
      return Put(member, *value);
    }
    if ((flags & DISPATCH_PROPERTYGET) && params->cArgs == 0) {
      const HRESULT hr = Get(member, result);
      if (hr != DISP_E_MEMBERNOTFOUND || !(flags & DISPATCH_METHOD)) return hr;
    }
    if (flags & DISPATCH_METHOD) return Call(member, *params, result);
    return DISP_E_MEMBERNOTFOUND;
  }

 protected:
  virtual ~DispatchObject() = default;

  // Interfaces beyond IUnknown and IDispatch that Interface stands for.
  virtual bool Answers(REFIID) { return false; }
  // The member's identifier (its index in the list from 1), or DISPID_UNKNOWN.
  virtual DISPID MemberOf(const wchar_t* name) = 0;
  virtual HRESULT Get(DISPID, VARIANT*) { return DISP_E_MEMBERNOTFOUND; }
  virtual HRESULT Put(DISPID, const VARIANT&) { return DISP_E_MEMBERNOTFOUND; }
  // Arguments in DISPPARAMS order (the last one first).
  virtual HRESULT Call(DISPID, const DISPPARAMS&, VARIANT*) { return DISP_E_MEMBERNOTFOUND; }

  static DISPID Find(const wchar_t* name, std::initializer_list<const wchar_t*> members) {
    if (!name) return DISPID_UNKNOWN;
    DISPID id = 1;
    for (const wchar_t* candidate : members) {
      if (SameNameAsciiFolded(name, candidate)) return id;
      ++id;
    }
    return DISPID_UNKNOWN;
  }

 private:
  LONG references_ = 1;
};

}  // namespace devlore::page_host
