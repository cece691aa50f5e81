// The built library as a client sees it: loaded with LoadLibrary, entered only
// through its exports, with the platform's COM, registry and type library code.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>

#include "Devlore_h.h"
#include "base/com_ptr.h"
#include "base/handles.h"
#include "base/unique_variant.h"
#include "tests/server/server_test_support.h"
#include "tests/support/registry_fixture.h"

namespace devlore {
namespace {

using test::KeyExists;
using test::ReadString;

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFunction)(REFCLSID, REFIID, void**);
typedef HRESULT(STDAPICALLTYPE* PlainFunction)();

const char kTypeLibVersionKey[] = "TypeLib\\{6F1B52C5-3D07-4E21-9A58-2C7D4E90B3A1}\\1.0";
const char* const kTarget = sizeof(void*) == 8 ? "win64" : "win32";

// One loaded copy of a library and its four COM entry points.
class Library {
 public:
  explicit Library(const std::string& path) : path_(path), module_(LoadLibraryA(path.c_str())) {
    if (!module_) return;
    getClassObject = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(module_.Get(), "DllGetClassObject")));
    canUnloadNow =
        reinterpret_cast<PlainFunction>(reinterpret_cast<void*>(GetProcAddress(module_.Get(), "DllCanUnloadNow")));
    registerServer =
        reinterpret_cast<PlainFunction>(reinterpret_cast<void*>(GetProcAddress(module_.Get(), "DllRegisterServer")));
    unregisterServer =
        reinterpret_cast<PlainFunction>(reinterpret_cast<void*>(GetProcAddress(module_.Get(), "DllUnregisterServer")));
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Loaded() const { return module_ && getClassObject && canUnloadNow && registerServer && unregisterServer; }
  HMODULE Module() const { return module_.Get(); }
  const std::string& Path() const { return path_; }

  ComPtr<IClassFactory> Factory() const {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(S_OK, getClassObject(CLSID_SysInfo, IID_IClassFactory, factory.ReceiveVoid()));
    return factory;
  }

  GetClassObjectFunction getClassObject = nullptr;
  PlainFunction canUnloadNow = nullptr;
  PlainFunction registerServer = nullptr;
  PlainFunction unregisterServer = nullptr;

 private:
  std::string path_;
  UniqueModule module_;
};

class LibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_TRUE(library_.Loaded()) << library_.Path();
  }
  void TearDown() override { CoUninitialize(); }

  Library library_{test::BesideProgram("Devlore.DLL")};
};

TEST_F(LibraryTest, ExportsItsSixFunctionsByName) {
  for (const char* name : {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
                           "GetNumberOfDeviceObjects", "GetPointerToDeviceObjectArray"}) {
    EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(library_.Module(), name))) << name;
  }
}

TEST_F(LibraryTest, ClassObjectIsCachedAndHoldsTheLibraryOnce) {
  EXPECT_EQ(S_OK, library_.canUnloadNow());
  ComPtr<IClassFactory> first = library_.Factory();
  ComPtr<IClassFactory> second = library_.Factory();
  ASSERT_TRUE(first);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(S_FALSE, library_.canUnloadNow());
  second.Reset();
  EXPECT_EQ(S_FALSE, library_.canUnloadNow());
  IClassFactory* address = first.Get();
  first.Reset();
  EXPECT_EQ(S_OK, library_.canUnloadNow());
  // Still cached by the library after every client let go.
  EXPECT_EQ(address, library_.Factory().Get());
  EXPECT_EQ(S_OK, library_.canUnloadNow());
}

TEST_F(LibraryTest, UnknownClassAndOtherInterfacesAreRefused) {
  const CLSID other = {0x6F1B52C4, 0x3D07, 0x4E21, {0x9A, 0x58, 0x2C, 0x7D, 0x4E, 0x90, 0xB3, 0xA2}};
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, library_.getClassObject(other, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, library_.getClassObject(CLSID_SysInfo, IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, library_.getClassObject(CLSID_SysInfo, IID_IClassFactory, nullptr));
  EXPECT_EQ(S_OK, library_.canUnloadNow());
  EXPECT_TRUE(library_.Factory());
}

TEST_F(LibraryTest, ControlObjectsAndLockServerKeepTheLibraryLoaded) {
  ComPtr<IClassFactory> factory = library_.Factory();
  ASSERT_TRUE(factory);
  ComPtr<ISysInfo1> control;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ISysInfo1, control.ReceiveVoid()));
  ASSERT_TRUE(control);
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory.Reset();
  // The platform question needs no access: Windows 98 mode answers 1.
  long platform = -1;
  EXPECT_EQ(S_OK, control->ValidateSession(&platform));
  EXPECT_EQ(1, platform);
  control.Reset();
  EXPECT_EQ(S_FALSE, library_.canUnloadNow());  // the LockServer(TRUE)
  factory = library_.Factory();
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  EXPECT_EQ(S_FALSE, library_.canUnloadNow());  // our reference to the class object
  factory.Reset();
  EXPECT_EQ(S_OK, library_.canUnloadNow());
}

// An outer object that counts the references its inner object forwards to it.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    ++queries;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  IUnknown* inner = nullptr;
  ULONG references = 1;
  int queries = 0;
};

TEST_F(LibraryTest, AggregationOnlyThroughIUnknown) {
  ComPtr<IClassFactory> factory = library_.Factory();
  ASSERT_TRUE(factory);
  Outer outer;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_ISysInfo1, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IDispatch, &object));

  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
  ASSERT_NE(nullptr, outer.inner);
  EXPECT_EQ(S_FALSE, library_.canUnloadNow());
  ComPtr<ISysInfo1> info;
  ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_ISysInfo1, info.ReceiveVoid()));
  // Interfaces of the aggregated object count their references on the outer object.
  EXPECT_EQ(2u, outer.references);
  const int queriesBefore = outer.queries;
  ComPtr<IUnknown> identity;
  ASSERT_EQ(S_OK, info.QueryInto(IID_IUnknown, identity));
  EXPECT_EQ(&outer, identity.Get());
  EXPECT_EQ(queriesBefore + 1, outer.queries);
  identity.Reset();
  info.Reset();
  EXPECT_EQ(1u, outer.references);
  EXPECT_EQ(0u, outer.inner->Release());
  outer.inner = nullptr;
  factory.Reset();
  EXPECT_EQ(S_OK, library_.canUnloadNow());
}

class RegistrationOfLibraryTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    test::RemoveSysInfoRegistration();
  }
  void TearDown() override {
    test::RemoveSysInfoRegistration();
    LibraryTest::TearDown();
  }

  // Everything the registration can write, as one text map.
  test::RegistryTree Snapshot() {
    test::RegistryTree all;
    for (const char* key : {test::kClassKey, "Devlore.SysInfo", "Devlore.SysInfo.1", test::kTypeLibKey,
                            test::kInterfaceKey, test::kEventsKey}) {
      for (const auto& [name, value] : test::ReadTree(HKEY_CLASSES_ROOT, key)) all[std::string(key) + name] = value;
    }
    return all;
  }
};

TEST_F(RegistrationOfLibraryTest, RegisterWritesTheClassProgIdsAndTypeLibrary) {
  ASSERT_EQ(S_OK, library_.registerServer());
  const std::string path = library_.Path();
  const std::string description = "sz:Tolvane PC Meadow System Information Class";
  const test::RegistryTree expectedClass = {
      {"\\", "key"},
      {"\\@", description},
      {"\\ProgID\\", "key"},
      {"\\ProgID\\@", "sz:Devlore.SysInfo.1"},
      {"\\VersionIndependentProgID\\", "key"},
      {"\\VersionIndependentProgID\\@", "sz:Devlore.SysInfo"},
      {"\\Programmable\\", "key"},
      {"\\InprocServer32\\", "key"},
      {"\\InprocServer32\\@", "sz:" + path},
      {"\\InprocServer32\\ThreadingModel", "sz:Apartment"},
      {"\\Control\\", "key"},
      {"\\Insertable\\", "key"},
      {"\\ToolboxBitmap32\\", "key"},
      {"\\ToolboxBitmap32\\@", "sz:" + path + ", 101"},
      {"\\MiscStatus\\", "key"},
      {"\\MiscStatus\\@", "sz:0"},
      {"\\MiscStatus\\1\\", "key"},
      {"\\MiscStatus\\1\\@", "sz:131473"},
      {"\\TypeLib\\", "key"},
      {"\\TypeLib\\@", "sz:{6F1B52C5-3D07-4E21-9A58-2C7D4E90B3A1}"},
      {"\\Version\\", "key"},
      {"\\Version\\@", "sz:1.0"},
  };
  EXPECT_EQ(expectedClass, test::ReadTree(HKEY_CLASSES_ROOT, test::kClassKey));
  const test::RegistryTree expectedProgId = {
      {"\\", "key"},
      {"\\@", description},
      {"\\CLSID\\", "key"},
      {"\\CLSID\\@", "sz:{6F1B52C4-3D07-4E21-9A58-2C7D4E90B3A1}"},
  };
  EXPECT_EQ(expectedProgId, test::ReadTree(HKEY_CLASSES_ROOT, "Devlore.SysInfo.1"));
  test::RegistryTree expectedIndependent = expectedProgId;
  expectedIndependent["\\CurVer\\"] = "key";
  expectedIndependent["\\CurVer\\@"] = "sz:Devlore.SysInfo.1";
  EXPECT_EQ(expectedIndependent, test::ReadTree(HKEY_CLASSES_ROOT, "Devlore.SysInfo"));

  // The type library, with the library's folder as help directory.
  const std::string version = kTypeLibVersionKey;
  EXPECT_EQ("Devlore 1.0 Type Library", ReadString(HKEY_CLASSES_ROOT, version));
  EXPECT_EQ(path, ReadString(HKEY_CLASSES_ROOT, version + "\\409\\" + kTarget));
  EXPECT_EQ(test::ProgramFolder(), ReadString(HKEY_CLASSES_ROOT, version + "\\HELPDIR"));
  // The dual interface, marshalled by the automation library through the type library.
  const std::string interfaceKey = test::kInterfaceKey;
  EXPECT_EQ("ISysInfo1", ReadString(HKEY_CLASSES_ROOT, interfaceKey));
  EXPECT_EQ("{6F1B52C5-3D07-4E21-9A58-2C7D4E90B3A1}", ReadString(HKEY_CLASSES_ROOT, interfaceKey + "\\TypeLib"));
  EXPECT_EQ("1.0", ReadString(HKEY_CLASSES_ROOT, interfaceKey + "\\TypeLib", "Version"));
  EXPECT_EQ("{00020424-0000-0000-C000-000000000046}",
            ReadString(HKEY_CLASSES_ROOT, interfaceKey + "\\ProxyStubClsid32"));

  // What a script host does with the registration: ProgID to class to object.
  CLSID fromProgId = {};
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"Devlore.SysInfo", &fromProgId));
  EXPECT_TRUE(IsEqualCLSID(CLSID_SysInfo, fromProgId));
  ComPtr<ISysInfo1> control;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SysInfo, nullptr, CLSCTX_INPROC_SERVER, IID_ISysInfo1,
                                   control.ReceiveVoid()));
  long platform = 0;
  EXPECT_EQ(S_OK, control->ValidateSession(&platform));
  EXPECT_EQ(1, platform);
  // And by name through the registered type library.
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, control.QueryInto(IID_IDispatch, dispatch));
  LPOLESTR name = const_cast<LPOLESTR>(L"ValidateSession");
  DISPID id = 0;
  ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
  EXPECT_EQ(9, id);
}

TEST_F(RegistrationOfLibraryTest, RegisteringTwiceLeavesWhatRegisteringOnceDoes) {
  ASSERT_EQ(S_OK, library_.registerServer());
  const test::RegistryTree once = Snapshot();
  ASSERT_FALSE(once.empty());
  // A stale value and subkey from an earlier version go with the class key.
  // "Stale\xAD" is a key of its own, which a linguistic name comparison takes
  // for "Stale" still listed after its deletion.
  for (const char* stale : {"\\Stale", "\\Stale\xAD"}) {
    test::SetString(HKEY_CLASSES_ROOT, std::string(test::kClassKey) + stale, "", "old");
  }
  test::SetString(HKEY_CLASSES_ROOT, test::kClassKey, "OldValue", "old");
  ASSERT_EQ(S_OK, library_.registerServer());
  EXPECT_EQ(once, Snapshot());
}

TEST_F(RegistrationOfLibraryTest, UnregisterRemovesEverythingAndSucceedsAgain) {
  ASSERT_EQ(S_OK, library_.registerServer());
  ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibVersionKey));
  EXPECT_EQ(S_OK, library_.unregisterServer());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, test::kClassKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Devlore.SysInfo"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Devlore.SysInfo.1"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibVersionKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, test::kInterfaceKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
  EXPECT_EQ(S_OK, library_.unregisterServer());
  EXPECT_TRUE(Snapshot().empty());
}

TEST_F(RegistrationOfLibraryTest, ClassKeyThatOthersExtendedSurvivesUnregistration) {
  ASSERT_EQ(S_OK, library_.registerServer());
  const std::string foreign = std::string(test::kClassKey) + "\\AddedByAnotherProgram";
  test::SetString(HKEY_CLASSES_ROOT, foreign, "", "kept");
  EXPECT_EQ(S_OK, library_.unregisterServer());
  EXPECT_EQ("kept", ReadString(HKEY_CLASSES_ROOT, foreign));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(test::kClassKey) + "\\InprocServer32"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Devlore.SysInfo"));
}

// The GUID of the type that implemented type `index` of `info` refers to.
GUID BaseGuid(ITypeInfo* info, int index) {
  GUID guid = GUID_NULL;
  HREFTYPE reference = 0xdeadbeef;
  ComPtr<ITypeInfo> base;
  TYPEATTR* attributes = nullptr;
  if (SUCCEEDED(info->GetRefTypeOfImplType(index, &reference)) &&
      SUCCEEDED(info->GetRefTypeInfo(reference, base.Receive())) && SUCCEEDED(base->GetTypeAttr(&attributes))) {
    guid = attributes->guid;
    base->ReleaseTypeAttr(attributes);
  }
  return guid;
}

TEST_F(RegistrationOfLibraryTest, RegisteredInterfacesDeriveFromIDispatch) {
  ASSERT_EQ(S_OK, library_.registerServer());
  ComPtr<ITypeLib> typeLibrary;
  ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_DEVLORELib, 1, 0, 0x0409, typeLibrary.Receive()));
  ComPtr<ITypeInfo> dispatchSide, interfaceSide, events;
  ASSERT_EQ(S_OK, typeLibrary->GetTypeInfoOfGuid(IID_ISysInfo1, dispatchSide.Receive()));
  ASSERT_EQ(S_OK, typeLibrary->GetTypeInfoOfGuid(DIID__ISysInfo1Events, events.Receive()));
  HREFTYPE dual = 0xdeadbeef;
  ASSERT_EQ(S_OK, dispatchSide->GetRefTypeOfImplType(-1, &dual));
  ASSERT_EQ(S_OK, dispatchSide->GetRefTypeInfo(dual, interfaceSide.Receive()));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, interfaceSide->GetTypeAttr(&attributes));
  EXPECT_EQ(TKIND_INTERFACE, attributes->typekind);
  EXPECT_TRUE(IsEqualGUID(IID_ISysInfo1, attributes->guid));
  interfaceSide->ReleaseTypeAttr(attributes);
  for (ITypeInfo* info : {dispatchSide.Get(), interfaceSide.Get(), events.Get()}) {
    EXPECT_TRUE(IsEqualGUID(IID_IDispatch, BaseGuid(info, 0))) << "type " << (info == events.Get() ? "events" : "ISysInfo1");
  }
}

// Type descriptions and parameter flags as text, for the read-back below.
std::string TypeText(const TYPEDESC& type) {
  switch (type.vt) {
    case VT_PTR: return TypeText(*type.lptdesc) + "*";
    case VT_VARIANT: return "VARIANT";
    case VT_I2: return "short";
    case VT_I4: return "long";
    case VT_BOOL: return "VARIANT_BOOL";
    case VT_HRESULT: return "HRESULT";
    default: return "vt" + std::to_string(type.vt);
  }
}

std::string FlagText(USHORT flags) {
  std::string text;
  const std::pair<USHORT, const char*> names[] = {{PARAMFLAG_FIN, "in "},      {PARAMFLAG_FOUT, "out "},
                                                  {PARAMFLAG_FRETVAL, "retval "}, {PARAMFLAG_FLCID, "lcid "},
                                                  {PARAMFLAG_FOPT, "opt "},     {PARAMFLAG_FHASDEFAULT, "default "}};
  for (const auto& [flag, name] : names) {
    if (flags & flag) text += name;
  }
  return text;
}

std::string Text(BSTR text) {
  std::string narrow;
  for (UINT i = 0; text && i < SysStringLen(text); ++i) narrow += static_cast<char>(text[i]);
  return narrow;
}

// One function of a type as text: dispatch identifier, kind, slot, calling
// convention, function flags, result, name with parameters, help string.
std::string FunctionText(ITypeInfo* info, UINT index) {
  FUNCDESC* function = nullptr;
  if (FAILED(info->GetFuncDesc(index, &function))) return "<no function>";
  BSTR received[8] = {};
  UINT count = 0;
  info->GetNames(function->memid, received, 8, &count);
  UniqueBstr names[8];
  for (UINT i = 0; i < count; ++i) names[i].Reset(received[i]);
  UniqueBstr name, help;
  info->GetDocumentation(function->memid, name.Receive(), help.Receive(), nullptr, nullptr);
  std::string text = std::to_string(function->memid) + " kind " + std::to_string(function->funckind) + " invoke " +
                     std::to_string(function->invkind) + " slot " +
                     std::to_string(function->oVft / static_cast<int>(sizeof(void*))) + " call " +
                     std::to_string(function->callconv) + " flags " + std::to_string(function->wFuncFlags) +
                     " optional " + std::to_string(function->cParamsOpt) + " " +
                     TypeText(function->elemdescFunc.tdesc) + " " + Text(names[0].Get()) + "(";
  for (SHORT i = 0; i < function->cParams; ++i) {
    const ELEMDESC& parameter = function->lprgelemdescParam[i];
    text += (i ? ", " : "") + FlagText(parameter.paramdesc.wParamFlags) + TypeText(parameter.tdesc) + " " +
            (i + 1u < count ? Text(names[i + 1].Get()) : "<unnamed>");
  }
  text += ") \"" + Text(help.Get()) + "\"" + (Text(name.Get()) == Text(names[0].Get()) ? "" : " named " + Text(name.Get()));
  info->ReleaseFuncDesc(function);
  return text;
}

struct TypeSummary {
  TYPEKIND kind;
  GUID guid;
  WORD flags, functions, variables, implemented;
};

TypeSummary Summary(ITypeInfo* info) {
  TYPEATTR* attributes = nullptr;
  if (FAILED(info->GetTypeAttr(&attributes))) return {};
  const TypeSummary summary = {attributes->typekind, attributes->guid, attributes->wTypeFlags, attributes->cFuncs,
                               attributes->cVars, attributes->cImplTypes};
  info->ReleaseTypeAttr(attributes);
  return summary;
}

TEST_F(LibraryTest, CarriedTypeLibraryReadsBackAsDeclared) {
  ComPtr<ITypeLib> library;
  const std::wstring path(library_.Path().begin(), library_.Path().end());
  ASSERT_EQ(S_OK, LoadTypeLib(path.c_str(), library.Receive()));
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(LIBID_DEVLORELib, attributes->guid));
  EXPECT_EQ(0x0409u, attributes->lcid);
  EXPECT_EQ(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, attributes->syskind);
  EXPECT_EQ(1, attributes->wMajorVerNum);
  EXPECT_EQ(0, attributes->wMinorVerNum);
  library->ReleaseTLibAttr(attributes);

  // The library and its types in order: name, help string, kind, identifier.
  struct Type {
    const char* name;
    const char* help;
    TYPEKIND kind;
    GUID guid;
    WORD flags, functions, implemented;
  } const types[] = {
      {"_ISysInfo1Events", "_ISysInfo1Events Interface", TKIND_DISPATCH, DIID__ISysInfo1Events, TYPEFLAG_FDISPATCHABLE, 0, 1},
      {"SysInfo", "Tolvane PC Meadow System Information Class", TKIND_COCLASS, CLSID_SysInfo, TYPEFLAG_FCANCREATE, 0, 2},
      {"ISysInfo1", "ISysInfo1 Interface", TKIND_DISPATCH, IID_ISysInfo1, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, 16, 1},
  };
  UniqueBstr name, help;
  ASSERT_EQ(S_OK, library->GetDocumentation(-1, name.Receive(), help.Receive(), nullptr, nullptr));
  EXPECT_EQ("DEVLORELib", Text(name.Get()));
  EXPECT_EQ("Devlore 1.0 Type Library", Text(help.Get()));
  ASSERT_EQ(3u, library->GetTypeInfoCount());
  for (UINT i = 0; i < 3; ++i) {
    const Type& expected = types[i];
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, library->GetTypeInfo(i, info.Receive()));
    ASSERT_EQ(S_OK, library->GetDocumentation(i, name.Receive(), help.Receive(), nullptr, nullptr));
    EXPECT_EQ(expected.name, Text(name.Get()));
    EXPECT_EQ(expected.help, Text(help.Get()));
    const TypeSummary summary = Summary(info.Get());
    EXPECT_EQ(expected.kind, summary.kind) << expected.name;
    EXPECT_TRUE(IsEqualGUID(expected.guid, summary.guid)) << expected.name;
    EXPECT_EQ(expected.flags, summary.flags) << expected.name;
    EXPECT_EQ(expected.functions, summary.functions) << expected.name;
    EXPECT_EQ(0, summary.variables) << expected.name;
    EXPECT_EQ(expected.implemented, summary.implemented) << expected.name;
  }

  // The class: ISysInfo1 by default, the events as its default source.
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(CLSID_SysInfo, coclass.Receive()));
  const std::pair<GUID, INT> implemented[] = {{IID_ISysInfo1, IMPLTYPEFLAG_FDEFAULT},
                                              {DIID__ISysInfo1Events, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
  for (UINT i = 0; i < 2; ++i) {
    INT flags = -1;
    EXPECT_EQ(S_OK, coclass->GetImplTypeFlags(i, &flags));
    EXPECT_EQ(implemented[i].second, flags) << i;
    EXPECT_TRUE(IsEqualGUID(implemented[i].first, BaseGuid(coclass.Get(), i))) << i;
  }

  // Every method of ISysInfo1 from its table side (slots after IDispatch's
  // seven; kind 1 = pure virtual, invoke 1 = method, call 4 = stdcall) and
  // from its dispatch side (kind 4 = dispatch), where the dispatch identifiers
  // 1 to 9 follow IDispatch's own seven members.
  const std::string methods[] = {
      "1 GetCatCountByIndex(in VARIANT* pvarIndex, out VARIANT* pvarCount, out retval VARIANT* pvarResult) "
      "\"method GetCatCountByIndex\"",
      "2 GetDeviceTypeByIndex(in VARIANT* pvarIndex, out VARIANT* pvarDeviceType, out retval VARIANT* pvarResult) "
      "\"method GetDeviceTypeByIndex\"",
      "3 GetElementsInCatByIndices(in VARIANT* pvarDeviceIndex, in VARIANT* pvarCatIndex, out VARIANT* "
      "pvarElementCount, out retval VARIANT* pvarResult) \"method GetElementsInCatByIndices\"",
      "4 InitializeDeviceObjects(out retval VARIANT* pvarResult) \"method InitializeDeviceObjects\"",
      "5 DeInitializeDeviceObjects(out retval VARIANT* pvarResult) \"method DeInitializeDeviceObjects\"",
      "6 GetObjectCount(out retval VARIANT* pvarCount) \"method GetObjectCount\"",
      "7 GetSingleString(in VARIANT* pvarObjectIndex, in VARIANT* pvarCatIndex, in VARIANT* pvarElementIndex, out "
      "VARIANT* pvarString, out retval VARIANT* pvarResult) \"method GetSingleString\"",
      "8 IsVersionCompatible(in short nMajorVersion, in short nMinorVersion, in short nBuildNumber, VARIANT_BOOL* "
      "pbResult) \"method IsVersionCompatible\"",
      "9 ValidateSession(out retval long* pVal) \"method ValidateSession\"",
  };
  ComPtr<ITypeInfo> dispatchSide, tableSide;
  ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(IID_ISysInfo1, dispatchSide.Receive()));
  HREFTYPE dual = 0;
  ASSERT_EQ(S_OK, dispatchSide->GetRefTypeOfImplType(-1, &dual));
  ASSERT_EQ(S_OK, dispatchSide->GetRefTypeInfo(dual, tableSide.Receive()));
  const TypeSummary table = Summary(tableSide.Get());
  EXPECT_EQ(TKIND_INTERFACE, table.kind);
  EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE, table.flags);
  ASSERT_EQ(9, table.functions);
  for (UINT i = 0; i < 9; ++i) {
    const std::string& method = methods[i];
    const size_t id = method.find(' ');
    EXPECT_EQ(method.substr(0, id) + " kind 1 invoke 1 slot " + std::to_string(7 + i) +
                  " call 4 flags 0 optional 0 HRESULT" + method.substr(id),
              FunctionText(tableSide.Get(), i));
    // The dispatch side returns what the table side's return-value parameter
    // receives, and lists that parameter no more.
    std::string dispatched = method, result = "vt24";  // VT_VOID
    const size_t retval = dispatched.find("out retval ");
    if (retval != std::string::npos) {
      const size_t end = dispatched.find(')', retval);
      result = dispatched.substr(retval + 11, dispatched.find('*', retval) - retval - 11);
      const size_t start = dispatched[retval - 1] == '(' ? retval : retval - 2;
      dispatched.erase(start, end - start);
    }
    EXPECT_EQ(dispatched.substr(0, id) + " kind 4 invoke 1 slot " + std::to_string(7 + i) +
                  " call 4 flags 0 optional 0 " + result + dispatched.substr(id),
              FunctionText(dispatchSide.Get(), 7 + i));
  }
}

// A client in the multithreaded apartment gets the apartment-model control in
// an apartment of its own, reached through the type library marshaler.
struct MultithreadedClient {
  HRESULT created = 0xdeadbeef, session = 0xdeadbeef, gated = 0xdeadbeef, byName = 0xdeadbeef;
  HRESULT granted = 0xdeadbeef, counted = 0xdeadbeef;
  long platform = -1;
  DISPID id = -1;
  VARTYPE countType = VT_ILLEGAL;

  static DWORD WINAPI Run(void* context) {
    auto* client = static_cast<MultithreadedClient*>(context);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    {
      ComPtr<ISysInfo1> control;
      client->created = CoCreateInstance(CLSID_SysInfo, nullptr, CLSCTX_INPROC_SERVER, IID_ISysInfo1,
                                         control.ReceiveVoid());
      if (SUCCEEDED(client->created)) {
        client->session = control->ValidateSession(&client->platform);
        UniqueVariant count;
        client->gated = control->GetObjectCount(count.Receive());
        count.Reset();
        OLECHAR* name = const_cast<OLECHAR*>(L"GetSingleString");
        client->byName = control->GetIDsOfNames(IID_NULL, &name, 1, 0, &client->id);
        // The host access code, presented through the object's own proxy,
        // opens the gated methods for this client too.
        ComPtr<IOleObject> object;
        if (SUCCEEDED(control.QueryInto(IID_IOleObject, object))) {
          client->granted = object->SetHostNames(L"Client", L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F}");
          UniqueVariant answer;
          client->counted = control->GetObjectCount(answer.Receive());
          const UniqueVariant& received = answer;
          client->countType = V_VT(&received.Get());
        }
      }
    }
    CoUninitialize();
    return 0;
  }
};

TEST_F(RegistrationOfLibraryTest, MultithreadedClientCallsThroughTheMarshaler) {
  ASSERT_EQ(S_OK, library_.registerServer());
  // Wine's type library marshaler looks the library up under locale 0 only, and
  // the library registers under its own locale, 0x0409: give Wine that entry.
  test::SetString(HKEY_CLASSES_ROOT, std::string(kTypeLibVersionKey) + "\\0\\" + kTarget, "", library_.Path());
  MultithreadedClient client;
  HANDLE thread = CreateThread(nullptr, 0, MultithreadedClient::Run, &client, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 60000));
  CloseHandle(thread);
  ASSERT_EQ(S_OK, client.created);
  EXPECT_EQ(S_OK, client.session);
  OSVERSIONINFOA version = {sizeof version};
  ASSERT_TRUE(GetVersionExA(&version));
  EXPECT_EQ(version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? 1 : 0, client.platform);
  EXPECT_EQ(E_ACCESSDENIED, client.gated);
  EXPECT_EQ(S_OK, client.byName);
  EXPECT_EQ(7, client.id);
  EXPECT_EQ(S_OK, client.granted);
  EXPECT_EQ(S_OK, client.counted);
  EXPECT_EQ(VT_I4, client.countType);
}

// A copy of the library built without its type library resource, in a folder
// of its own, with or without "NoTypeLib.tlb" beside it.
class TlbFallbackTest : public RegistrationOfLibraryTest {
 protected:
  void SetUp() override {
    RegistrationOfLibraryTest::SetUp();
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    folder_ = std::string(temp) + "devlore.server test\\";
    CreateDirectoryA(folder_.c_str(), nullptr);
    copy_ = folder_ + "NoTypeLib.DLL";
    tlb_ = folder_ + "NoTypeLib.tlb";
    DeleteFileA(tlb_.c_str());
    ASSERT_TRUE(CopyFileA(test::BesideProgram("DevloreNoTypeLib.DLL").c_str(), copy_.c_str(), FALSE));
  }
  void TearDown() override {
    RegistrationOfLibraryTest::TearDown();
    DeleteFileA(copy_.c_str());
    DeleteFileA(tlb_.c_str());
    RemoveDirectoryA(folder_.c_str());
  }
  std::string folder_, copy_, tlb_;
};

TEST_F(TlbFallbackTest, TypeLibraryFileBesideTheLibraryIsRegistered) {
  ASSERT_TRUE(CopyFileA(test::BesideProgram("..\\generated\\Devlore.tlb").c_str(), tlb_.c_str(), FALSE));
  {
    Library copy(copy_);
    ASSERT_TRUE(copy.Loaded());
    ASSERT_EQ(S_OK, copy.registerServer());
    EXPECT_EQ(copy_, ReadString(HKEY_CLASSES_ROOT, std::string(test::kClassKey) + "\\InprocServer32"));
    const std::string version = kTypeLibVersionKey;
    EXPECT_EQ(tlb_, ReadString(HKEY_CLASSES_ROOT, version + "\\409\\" + kTarget));
    EXPECT_EQ(folder_, ReadString(HKEY_CLASSES_ROOT, version + "\\HELPDIR"));
    EXPECT_EQ(S_OK, copy.unregisterServer());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, version));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, test::kClassKey));
  }
}

TEST_F(TlbFallbackTest, WithoutAnyTypeLibraryRegistrationFailsAfterTheScript) {
  Library copy(copy_);
  ASSERT_TRUE(copy.Loaded());
  const HRESULT result = copy.registerServer();
  EXPECT_TRUE(FAILED(result)) << std::hex << result;
  // The class entries of the script stay; no type library is registered.
  EXPECT_EQ(copy_, ReadString(HKEY_CLASSES_ROOT, std::string(test::kClassKey) + "\\InprocServer32"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibVersionKey));
  // Removal still succeeds and takes the class entries away.
  EXPECT_EQ(S_OK, copy.unregisterServer());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, test::kClassKey));
}

TEST(LibraryResources, VersionInformation) {
  const std::string path = test::BesideProgram("Devlore.DLL");
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_NE(0u, size);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
  EXPECT_EQ(0x00000004u, fixed->dwFileVersionLS);
  EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
  EXPECT_EQ(0x00000004u, fixed->dwProductVersionLS);
  EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(4u, length);
  EXPECT_EQ(0x0409, translation[0]);
  EXPECT_EQ(1200, translation[1]);
  auto text = [&](const char* name) {
    char* value = nullptr;
    UINT chars = 0;
    const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) || !value) {
      return std::string("<missing>");
    }
    return std::string(value);
  };
  EXPECT_EQ("Tolvane Meadow System Information", text("FileDescription"));
  EXPECT_EQ("Devlore", text("InternalName"));
  EXPECT_EQ("Devlore.DLL", text("OriginalFilename"));
  EXPECT_EQ("Tolvane Meadow", text("ProductName"));
  EXPECT_EQ("1.0.0.4", text("FileVersion"));
  EXPECT_EQ("1.0.0.4", text("ProductVersion"));
  EXPECT_NE("<missing>", text("CompanyName"));
  EXPECT_NE("<missing>", text("LegalCopyright"));
}

TEST(LibraryResources, ScriptTypeLibraryAndToolboxBitmap) {
  const UniqueModule data(LoadLibraryExA(test::BesideProgram("Devlore.DLL").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  const HMODULE file = data.Get();
  ASSERT_NE(nullptr, file);
  HRSRC script = FindResourceA(file, MAKEINTRESOURCEA(102), "REGISTRY");
  ASSERT_NE(nullptr, script);
  EXPECT_EQ(907u, SizeofResource(file, script));
  EXPECT_NE(nullptr, FindResourceA(file, MAKEINTRESOURCEA(1), "TYPELIB"));
  HRSRC bitmap = FindResourceA(file, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
  ASSERT_NE(nullptr, bitmap);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(file, bitmap)));
  ASSERT_NE(nullptr, header);
  EXPECT_EQ(40u, header->biSize);
  EXPECT_EQ(16, header->biWidth);
  EXPECT_EQ(16, header->biHeight);
  EXPECT_EQ(4, header->biBitCount);
  EXPECT_EQ(static_cast<DWORD>(BI_RGB), header->biCompression);
  // Header, 16 palette entries and 16 rows of 8 bytes.
  EXPECT_EQ(40u + 16 * 4 + 16 * 8, SizeofResource(file, bitmap));
}

}  // namespace
}  // namespace devlore
