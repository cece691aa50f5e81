#pragma once
// What the lifetime tests share: the shipped library loaded as a client loads
// it, counts of the live blocks of the process heap and of the task allocator,
// and a caller that drives a control by name through IDispatch as a page's
// script does.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "Devlore_h.h"
#include "base/com_ptr.h"
#include "base/handles.h"
#include "base/unique_variant.h"
#include "model/device_object.h"
#include "tests/lifetime/driver_opens.h"
#include "tests/lifetime/heap_census.h"

namespace devlore::test {

inline const wchar_t* HostAccessCode() { return L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F}"; }

// The folder of the test program, with a trailing backslash.
inline std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path);
  return text.substr(0, text.rfind(L'\\') + 1);
}

inline std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

// Devlore.DLL beside the test program, loaded once and entered only through
// its exports: its own runtime, heap operators and device code.
class ShippedLibrary {
 public:
  ShippedLibrary() : module_(LoadLibraryW((ProgramFolder() + L"Devlore.DLL").c_str())) {
    if (!module_) return;
    // Before the library's first call into the platform.
    watched_ = DriverOpens::Watch(module_.Get());
    getClassObject_ = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module_.Get(), "DllGetClassObject")));
    getDeviceArray_ = reinterpret_cast<GetDeviceArray>(
        reinterpret_cast<void*>(GetProcAddress(module_.Get(), "GetPointerToDeviceObjectArray")));
  }
  bool Loaded() const { return watched_ && getClassObject_ && getDeviceArray_; }

  // The library's live device list, as it hands it to native callers.
  DeviceObject** Devices() const {
    DeviceObject** devices = nullptr;
    getDeviceArray_(&devices);
    return devices;
  }

  // A new control whose access was granted with the host access code.
  ComPtr<IOleObject> NewGrantedControl() const {
    ComPtr<IClassFactory> factory;
    ComPtr<IOleObject> control;
    EXPECT_EQ(S_OK, getClassObject_(CLSID_SysInfo, IID_IClassFactory, factory.ReceiveVoid()));
    if (!factory) return control;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IOleObject, control.ReceiveVoid()));
    if (control) EXPECT_EQ(S_OK, control->SetHostNames(L"Lifetime Test", HostAccessCode()));
    return control;
  }

 private:
  typedef HRESULT(STDAPICALLTYPE* GetClassObject)(REFCLSID, REFIID, void**);
  UniqueModule module_;
  typedef int(__cdecl* GetDeviceArray)(DeviceObject***);
  GetClassObject getClassObject_ = nullptr;
  GetDeviceArray getDeviceArray_ = nullptr;
  bool watched_ = false;
};

// The one loaded copy of the program.
inline const ShippedLibrary& Library() {
  static ShippedLibrary library;
  return library;
}

// Watches the task allocator: the blocks handed out while it is registered and
// not yet freed. Lives in static storage; COM holds it only while registered.
class TaskMemorySpy : public IMallocSpy {
 public:
  size_t LiveBlocks() const { return live_.size(); }

  STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
      *object = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 2; }
  STDMETHOD_(ULONG, Release)() override { return 1; }

  STDMETHOD_(SIZE_T, PreAlloc)(SIZE_T size) override { return size; }
  STDMETHOD_(void*, PostAlloc)(void* block) override {
    if (block) live_.insert(block);
    return block;
  }
  STDMETHOD_(void*, PreFree)(void* block, BOOL) override {
    live_.erase(block);
    return block;
  }
  STDMETHOD_(void, PostFree)(BOOL) override {}
  STDMETHOD_(SIZE_T, PreRealloc)(void* block, SIZE_T size, void** request, BOOL) override {
    reallocFrom_ = block;
    reallocSize_ = size;
    *request = block;
    return size;
  }
  STDMETHOD_(void*, PostRealloc)(void* block, BOOL) override {
    // A failed resize keeps the old block; a resize to nothing frees it.
    if (block || reallocSize_ == 0) live_.erase(reallocFrom_);
    if (block) live_.insert(block);
    return block;
  }
  STDMETHOD_(void*, PreGetSize)(void* block, BOOL) override { return block; }
  STDMETHOD_(SIZE_T, PostGetSize)(SIZE_T size, BOOL) override { return size; }
  STDMETHOD_(void*, PreDidAlloc)(void* block, BOOL) override { return block; }
  STDMETHOD_(int, PostDidAlloc)(void*, BOOL, int result) override { return result; }
  STDMETHOD_(void, PreHeapMinimize)() override {}
  STDMETHOD_(void, PostHeapMinimize)() override {}

 private:
  std::set<void*> live_;
  void* reallocFrom_ = nullptr;
  SIZE_T reallocSize_ = 0;
};

// Calls methods of a control by name through IDispatch, arguments in source
// order; outputs are passed by reference to variants the caller owns.
class Script {
 public:
  explicit Script(IDispatch* object) : object_(object) {}

  // Invoke's result; on DISP_E_EXCEPTION the method's HRESULT is in scode.
  HRESULT Call(const wchar_t* name, std::vector<VARIANT> args, UniqueVariant& result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT found = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found)) return found;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    const HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.Receive(),
                                       &exception, &argumentError);
    UniqueBstr source(exception.bstrSource), description(exception.bstrDescription), help(exception.bstrHelpFile);
    scode = exception.scode;
    return hr;
  }

  // The method's own value, or -1 when the call failed or gave no number.
  LONG Status(const wchar_t* name, std::vector<VARIANT> args = {}) {
    UniqueVariant result;
    if (Call(name, std::move(args), result) != S_OK || V_VT(&result.Get()) != VT_I4) return -1;
    return V_I4(&result.Get());
  }

  static VARIANT I4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
  }
  static VARIANT Ref(UniqueVariant& target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = target.Receive();
    return v;
  }

  // Every device's type text and every element's line, as a page lists them
  // ("type|category|line"). A call that fails adds a line naming it.
  std::vector<std::string> ReadEverything() {
    std::vector<std::string> lines;
    const LONG devices = Status(L"GetObjectCount");
    for (LONG device = 0; device < devices; ++device) {
      UniqueVariant type, categories;
      if (Status(L"GetDeviceTypeByIndex", {I4(device), Ref(type)}) != 1 ||
          V_VT(&type.Get()) != (VT_BYREF | VT_BSTR) ||
          Status(L"GetCatCountByIndex", {I4(device), Ref(categories)}) != 1) {
        lines.push_back("<device " + std::to_string(device) + " failed>");
        continue;
      }
      const std::string typeText = Narrow(*V_BSTRREF(&type.Get()));
      for (LONG category = 0; category < V_I4(&categories.Get()); ++category) {
        UniqueVariant elements;
        if (Status(L"GetElementsInCatByIndices", {I4(device), I4(category), Ref(elements)}) != 1) {
          lines.push_back("<category failed>");
          continue;
        }
        for (LONG element = 0; element < V_I4(&elements.Get()); ++element) {
          UniqueVariant text;
          Status(L"GetSingleString", {I4(device), I4(category), I4(element), Ref(text)});
          const bool isText = V_VT(&text.Get()) == VT_BSTR;
          lines.push_back(typeText + "|" + std::to_string(category) + "|" +
                          (isText ? Narrow(V_BSTR(&text.Get())) : "<no text>"));
        }
      }
    }
    return lines;
  }

  HRESULT scode = S_OK;

 private:
  IDispatch* object_;
};

}  // namespace devlore::test
