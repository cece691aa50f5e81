// ISysInfo1: the access gate, the version and platform questions, the index
// rules, the road of a page through IDispatch, and a mutation run over the
// arguments that Invoke can carry.
#include <cstdio>
#include <string>
#include <vector>

#include "base/handles.h"
#include "base/unique_variant.h"
#include "model/device_list.h"
#include "tests/control/control_support.h"
#include "tests/support/fake_platform.h"
#include "tests/support/registry_fixture.h"

namespace devlore::test {
namespace {

VARIANT I4(LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

std::string Narrow(const wchar_t* text) {
  if (!text) return std::string();
  char buffer[512] = {};
  WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

// A machine with drives A: (removable), C: (fixed), D: (CD-ROM), E: (fixed)
// and the usual system board, monitor and display adapter.
class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.AddTypicalDevices();
    platform_.SetDrives({{"A:\\", DRIVE_REMOVABLE}, {"C:\\", DRIVE_FIXED}, {"D:\\", DRIVE_CDROM}, {"E:\\", DRIVE_FIXED}});
  }
  void TearDown() override {
    // Each tear-down uninitialises COM once: only one that matches a build.
    if (DeviceListArray()) TerminateDeviceList();
    SetCurrentDirectoryW(ProgramFolder().c_str());
  }

  FakeMachine machine_;
  FakePlatform platform_;
};

TEST(ScriptingAccess, EveryMethodButValidateSessionIsRefusedUntilAccessIsGranted) {
  ComPtr<ISysInfo1> control = NewControl<ISysInfo1>(IID_ISysInfo1);
  VARIANT index = I4(0), out1, out2;
  V_VT(&out1) = VT_I2;
  V_I2(&out1) = 77;
  out2 = out1;
  EXPECT_EQ(E_ACCESSDENIED, control->GetCatCountByIndex(&index, &out1, &out2));
  EXPECT_EQ(E_ACCESSDENIED, control->GetDeviceTypeByIndex(&index, &out1, &out2));
  EXPECT_EQ(E_ACCESSDENIED, control->GetElementsInCatByIndices(&index, &index, &out1, &out2));
  EXPECT_EQ(E_ACCESSDENIED, control->InitializeDeviceObjects(&out1));
  EXPECT_EQ(E_ACCESSDENIED, control->DeInitializeDeviceObjects(&out1));
  EXPECT_EQ(E_ACCESSDENIED, control->GetObjectCount(&out1));
  EXPECT_EQ(E_ACCESSDENIED, control->GetSingleString(&index, &index, &index, &out1, &out2));
  VARIANT_BOOL compatible = 5;
  EXPECT_EQ(E_ACCESSDENIED, control->IsVersionCompatible(1, 0, 0, &compatible));
  // Nothing was touched.
  EXPECT_EQ(VT_I2, V_VT(&out1));
  EXPECT_EQ(77, V_I2(&out1));
  EXPECT_EQ(VT_I2, V_VT(&out2));
  EXPECT_EQ(5, compatible);
  LONG session = -1;
  EXPECT_EQ(S_OK, control->ValidateSession(&session));
  EXPECT_EQ(1, session);  // the test prefix runs in Windows 98 mode
}

TEST(ScriptingAccess, AWrongContainerNameRefusesForGood) {
  ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
  EXPECT_EQ(E_ACCESSDENIED, object->SetHostNames(L"app", L"{7C3E5A91-B46D-42E8-A1F7-5D09C2E84B3F}"));
  EXPECT_EQ(E_ACCESSDENIED, object->SetHostNames(L"app", HostAccessCode()));
  ComPtr<ISysInfo1> control;
  ASSERT_EQ(S_OK, object.QueryInto(IID_ISysInfo1, control));
  VARIANT count;
  EXPECT_EQ(E_ACCESSDENIED, control->GetObjectCount(&count));
}

TEST(ScriptingVersions, CompatibilityFollowsTheVersionRule) {
  ComPtr<ISysInfo1> control = NewGrantedControl();
  struct Case {
    short major, minor, build;
    VARIANT_BOOL expected;
  } cases[] = {{1, 1, 2, VARIANT_TRUE},   {1, 0, 99, VARIANT_TRUE}, {0, 0, 0, VARIANT_TRUE},
               {-1, -1, -1, VARIANT_TRUE}, {1, 1, 3, VARIANT_FALSE}, {1, 2, 0, VARIANT_FALSE},
               {2, 0, 0, VARIANT_FALSE},   {0, 9, 0, VARIANT_FALSE}, {0, 1, 32767, VARIANT_TRUE}};
  for (const Case& c : cases) {
    VARIANT_BOOL result = 7;
    EXPECT_EQ(S_OK, control->IsVersionCompatible(c.major, c.minor, c.build, &result));
    EXPECT_EQ(c.expected, result) << c.major << "." << c.minor << "." << c.build;
  }
  EXPECT_EQ(E_POINTER, control->IsVersionCompatible(1, 0, 0, nullptr));
  EXPECT_EQ(E_POINTER, control->ValidateSession(nullptr));
}

TEST(ScriptingNoList, IndicesAreRefusedWhileNoListExists) {
  ComPtr<ISysInfo1> control = NewGrantedControl();
  VARIANT count;
  V_VT(&count) = VT_BSTR;  // not cleared: the type is simply overwritten
  EXPECT_EQ(S_OK, control->GetObjectCount(&count));
  EXPECT_EQ(VT_I4, V_VT(&count));
  EXPECT_EQ(0, V_I4(&count));
  VARIANT index = I4(0), out, result;
  EXPECT_EQ(DISP_E_BADINDEX, control->GetCatCountByIndex(&index, &out, &result));
  EXPECT_EQ(VT_EMPTY, V_VT(&out));
  EXPECT_EQ(VT_EMPTY, V_VT(&result));
  EXPECT_EQ(DISP_E_BADINDEX, control->GetDeviceTypeByIndex(&index, &out, &result));
  EXPECT_EQ(DISP_E_BADINDEX, control->GetElementsInCatByIndices(&index, &index, &out, &result));
  EXPECT_EQ(DISP_E_BADINDEX, control->GetSingleString(&index, &index, &index, &out, &result));
  EXPECT_EQ(VT_EMPTY, V_VT(&out));
  // A tear-down without a list still reports 1. It also uninitialises COM
  // once, so the test initialises it once more to keep the thread's count.
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  EXPECT_EQ(S_OK, control->DeInitializeDeviceObjects(&result));
  EXPECT_EQ(VT_I4, V_VT(&result));
  EXPECT_EQ(1, V_I4(&result));
}

TEST_F(MachineTest, DirectCallsReadTheListAndCheckEveryIndex) {
  ComPtr<ISysInfo1> control = NewGrantedControl();
  VARIANT result, count;
  ASSERT_EQ(S_OK, control->InitializeDeviceObjects(&result));
  ASSERT_EQ(VT_I4, V_VT(&result));
  ASSERT_EQ(1, V_I4(&result));
  // The driver folder became the current directory.
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof current, current);
  EXPECT_EQ(0, lstrcmpiA(current, "C:\\windows\\Qarbin\\Si")) << current;

  ASSERT_EQ(S_OK, control->GetObjectCount(&count));
  ASSERT_EQ(7, V_I4(&count));

  // Text holding a number, and text that does not (the mutation run below
  // goes through the other types).
  UniqueVariant text;
  VARIANT* number = text.Receive();
  V_VT(number) = VT_BSTR;
  V_BSTR(number) = SysAllocString(L"3");
  VARIANT out, res;
  EXPECT_EQ(S_OK, control->GetDeviceTypeByIndex(number, &out, &res));
  EXPECT_EQ(VT_BYREF | VT_BSTR, V_VT(&out));
  EXPECT_EQ("CPU", Narrow(*V_BSTRREF(&out)));
  VARIANT* word = text.Receive();
  V_VT(word) = VT_BSTR;
  V_BSTR(word) = SysAllocString(L"three");
  EXPECT_EQ(DISP_E_TYPEMISMATCH, control->GetDeviceTypeByIndex(word, &out, &res));
  text.Reset();

  // Category and element ranges.
  VARIANT display = I4(6), bios = I4(2), category = I4(3), element = I4(0);
  EXPECT_EQ(S_OK, control->GetElementsInCatByIndices(&display, &category, &out, &res));
  const LONG resolutions = V_I4(&out);
  EXPECT_GE(resolutions, 1);
  EXPECT_EQ(DISP_E_BADINDEX, control->GetElementsInCatByIndices(&bios, &category, &out, &res));
  VARIANT negative = I4(-1);
  EXPECT_EQ(DISP_E_BADINDEX, control->GetElementsInCatByIndices(&display, &negative, &out, &res));
  VARIANT zero = I4(0), four = I4(4);
  EXPECT_EQ(DISP_E_BADINDEX, control->GetSingleString(&bios, &zero, &four, &out, &res));
  EXPECT_EQ(VT_EMPTY, V_VT(&out));
  EXPECT_EQ(DISP_E_BADINDEX, control->GetSingleString(&bios, &zero, &negative, &out, &res));
  VARIANT last = I4(resolutions);
  EXPECT_EQ(DISP_E_BADINDEX, control->GetSingleString(&display, &category, &last, &out, &res));
  UniqueVariant line;
  EXPECT_EQ(S_OK, control->GetSingleString(&display, &category, &element, line.Receive(), &res));
  EXPECT_EQ(VT_BSTR, line.Type());

  // Null outputs.
  EXPECT_EQ(E_POINTER, control->GetCatCountByIndex(&zero, nullptr, &res));
  EXPECT_EQ(E_POINTER, control->GetCatCountByIndex(&zero, &out, nullptr));
  EXPECT_EQ(E_POINTER, control->GetDeviceTypeByIndex(&zero, nullptr, &res));
  EXPECT_EQ(E_POINTER, control->GetElementsInCatByIndices(&zero, &zero, &out, nullptr));
  EXPECT_EQ(E_POINTER, control->GetSingleString(&zero, &zero, &zero, nullptr, &res));
  EXPECT_EQ(E_POINTER, control->GetSingleString(&zero, &zero, &zero, &out, nullptr));
  EXPECT_EQ(E_POINTER, control->GetObjectCount(nullptr));
  EXPECT_EQ(E_POINTER, control->InitializeDeviceObjects(nullptr));
  EXPECT_EQ(E_POINTER, control->DeInitializeDeviceObjects(nullptr));
  // A null index variant is refused too.
  EXPECT_EQ(E_POINTER, control->GetCatCountByIndex(nullptr, &out, &res));

  // Two reads of one element are two independent copies of the same text.
  UniqueVariant first, second;
  ASSERT_EQ(S_OK, control->GetSingleString(&bios, &zero, &zero, first.Receive(), &res));
  ASSERT_EQ(S_OK, control->GetSingleString(&bios, &zero, &zero, second.Receive(), &res));
  ASSERT_EQ(VT_BSTR, first.Type());
  ASSERT_EQ(VT_BSTR, second.Type());
  EXPECT_NE(V_BSTR(&first.Get()), V_BSTR(&second.Get()));
  EXPECT_EQ(Narrow(V_BSTR(&first.Get())), Narrow(V_BSTR(&second.Get())));

  ASSERT_EQ(S_OK, control->DeInitializeDeviceObjects(&res));
  EXPECT_EQ(1, V_I4(&res));
  EXPECT_EQ(DISP_E_BADINDEX, control->GetCatCountByIndex(&zero, &out, &res));
}

// ---- Through IDispatch, by name -------------------------------------------

class Script {
 public:
  explicit Script(IDispatch* object) : object_(object) {}

  DISPID Id(const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    EXPECT_EQ(S_OK, object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) << Narrow(name);
    return id;
  }

  // Calls a method with arguments in source order; out arguments are passed by
  // reference to the caller's variants. Returns Invoke's result; on
  // DISP_E_EXCEPTION the method's own HRESULT is in scode.
  HRESULT Call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    VariantInit(result);
    HRESULT hr = object_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                                 &exception, &argumentError);
    scode = exception.scode;
    const UniqueBstr source(exception.bstrSource), description(exception.bstrDescription),
        helpFile(exception.bstrHelpFile);
    return hr;
  }

  static VARIANT Ref(VARIANT* target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = target;
    return v;
  }

  HRESULT scode = S_OK;

 private:
  IDispatch* object_;
};

TEST(ScriptingDispatch, TypeInformationComesFromTheRegisteredLibrary) {
  ComPtr<IDispatch> control = NewControl<IDispatch>(IID_IDispatch);
  UINT count = 0;
  EXPECT_EQ(S_OK, control->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, control->GetTypeInfo(0, 0, info.Receive()));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(IID_ISysInfo1, attributes->guid));
  info->ReleaseTypeAttr(attributes);
  EXPECT_EQ(DISP_E_BADINDEX, control->GetTypeInfo(1, 0, info.Receive()));
  Script script(control.Get());
  const wchar_t* names[] = {L"GetCatCountByIndex", L"GetDeviceTypeByIndex", L"GetElementsInCatByIndices",
                            L"InitializeDeviceObjects", L"DeInitializeDeviceObjects", L"GetObjectCount",
                            L"GetSingleString", L"IsVersionCompatible", L"ValidateSession"};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(i + 1, script.Id(names[i])) << Narrow(names[i]);
}

TEST_F(MachineTest, APageReadsEverythingThroughInvoke) {
  ComPtr<ISysInfo1> granted = NewGrantedControl();
  ComPtr<IDispatch> control;
  ASSERT_EQ(S_OK, granted.QueryInto(IID_IDispatch, control));
  Script script(control.Get());
  VARIANT result;

  ASSERT_EQ(S_OK, script.Call(L"ValidateSession", {}, &result));
  EXPECT_EQ(VT_I4, V_VT(&result));
  EXPECT_EQ(1, V_I4(&result));

  VARIANT_BOOL compatible = VARIANT_FALSE;
  VARIANT major, minor, build, flag;
  V_VT(&major) = V_VT(&minor) = V_VT(&build) = VT_I2;
  V_I2(&major) = 1;
  V_I2(&minor) = 1;
  V_I2(&build) = 2;
  V_VT(&flag) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&flag) = &compatible;
  ASSERT_EQ(S_OK, script.Call(L"IsVersionCompatible", {major, minor, build, flag}, &result));
  EXPECT_EQ(VARIANT_TRUE, compatible);

  ASSERT_EQ(S_OK, script.Call(L"InitializeDeviceObjects", {}, &result));
  EXPECT_EQ(VT_I4, V_VT(&result));
  EXPECT_EQ(1, V_I4(&result));
  ASSERT_EQ(S_OK, script.Call(L"GetObjectCount", {}, &result));
  ASSERT_EQ(7, V_I4(&result));

  const std::vector<std::string> types = {"Drive C:", "Drive E:", "BIOS", "CPU", "Memory", "Monitor",
                                          "Primary Video Card"};
  int strings = 0;
  for (LONG device = 0; device < 7; ++device) {
    VARIANT type, categories;
    VariantInit(&type);
    VariantInit(&categories);
    ASSERT_EQ(S_OK, script.Call(L"GetDeviceTypeByIndex", {I4(device), Script::Ref(&type)}, &result));
    EXPECT_EQ(1, V_I4(&result));
    ASSERT_EQ(VT_BYREF | VT_BSTR, V_VT(&type));
    // The reference outlives the list: neither it nor its string belongs to
    // the device, which the tear-down frees.
    EXPECT_NE(&DeviceListArray()[device]->typeName, V_BSTRREF(&type));
    EXPECT_NE(DeviceListArray()[device]->typeName, *V_BSTRREF(&type));
    EXPECT_EQ(types[device], Narrow(*V_BSTRREF(&type)));
    ASSERT_EQ(S_OK, script.Call(L"GetCatCountByIndex", {I4(device), Script::Ref(&categories)}, &result));
    for (LONG category = 0; category < V_I4(&categories); ++category) {
      VARIANT elements;
      VariantInit(&elements);
      ASSERT_EQ(S_OK, script.Call(L"GetElementsInCatByIndices", {I4(device), I4(category), Script::Ref(&elements)},
                                  &result));
      ASSERT_EQ(VT_I4, V_VT(&elements));
      for (LONG element = 0; element < V_I4(&elements); ++element) {
        UniqueVariant text;
        ASSERT_EQ(S_OK, script.Call(L"GetSingleString",
                                    {I4(device), I4(category), I4(element), Script::Ref(text.Receive())}, &result));
        EXPECT_EQ(1, V_I4(&result));
        EXPECT_EQ(VT_BSTR, text.Type());
        ++strings;
      }
    }
  }
  EXPECT_GE(strings, 5 + 5 + 4 + 5 + 11 + 6 + 7);

  // The BIOS line as the device itself formatted it.
  UniqueVariant text;
  ASSERT_EQ(S_OK, script.Call(L"GetSingleString", {I4(2), I4(0), I4(0), Script::Ref(text.Receive())}, &result));
  BSTR* table = nullptr;
  ASSERT_EQ(1, DeviceListArray()[2]->GetCategory(0, &table));
  EXPECT_EQ(Narrow(table[0]), Narrow(V_BSTR(&text.Get())));

  // A bad index reaches the script as an exception carrying DISP_E_BADINDEX.
  EXPECT_EQ(DISP_E_EXCEPTION, script.Call(L"GetCatCountByIndex", {I4(7), Script::Ref(text.Receive())}, &result));
  EXPECT_EQ(DISP_E_BADINDEX, script.scode);

  ASSERT_EQ(S_OK, script.Call(L"DeInitializeDeviceObjects", {}, &result));
  EXPECT_EQ(1, V_I4(&result));
  ASSERT_EQ(S_OK, script.Call(L"GetObjectCount", {}, &result));
  EXPECT_EQ(0, V_I4(&result));
}

// Every variant type and a set of hostile values for each index argument of
// methods 1, 2, 3 and 7, through Invoke: nothing may crash, and every argument
// that names no element must give an error.
TEST_F(MachineTest, MutationRunOverInvokeArguments) {
  ComPtr<ISysInfo1> granted = NewGrantedControl();
  ComPtr<IDispatch> control;
  ASSERT_EQ(S_OK, granted.QueryInto(IID_IDispatch, control));
  Script script(control.Get());
  VARIANT result;
  ASSERT_EQ(S_OK, script.Call(L"InitializeDeviceObjects", {}, &result));

  // Each value with the index it stands for, or kRefused when it names none.
  const LONG kRefused = -100000;
  LONG byRefGood = 1, byRefBad = 99;
  VARIANT nested = I4(1);
  std::vector<std::pair<VARIANT, LONG>> values;
  auto add = [&](VARTYPE type, LONGLONG bits, LONG index) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    V_I8(&v) = bits;
    values.push_back({v, index});
  };
  add(VT_EMPTY, 0, kRefused);
  add(VT_NULL, 0, kRefused);
  add(VT_I2, 1, 1);
  add(VT_I2, -1, -1);
  add(VT_I4, 0, 0);
  add(VT_I4, 2, 2);
  add(VT_I4, -2147483647 - 1, kRefused);
  add(VT_I4, 1000, 1000);
  add(VT_UI1, 1, 1);
  add(VT_I1, -5, -5);
  add(VT_UI2, 65535, 65535);
  add(VT_UI4, 0xFFFFFFFF, kRefused);
  add(VT_I8, 0x100000000LL, kRefused);
  add(VT_UI8, 1, 1);
  add(VT_INT, 0, 0);
  add(VT_UINT, 0x80000000u, kRefused);
  add(VT_BOOL, static_cast<USHORT>(VARIANT_TRUE), -1);
  add(VT_BOOL, VARIANT_FALSE, 0);
  add(VT_ERROR, DISP_E_PARAMNOTFOUND, kRefused);  // a missing optional argument
  add(VT_DISPATCH, 0, kRefused);
  add(VT_UNKNOWN, 0, kRefused);
  add(0x7FFF, 0, kRefused);  // no such type
  add(VT_ARRAY | VT_I4, 0, kRefused);
  {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_R8;
    V_R8(&v) = 1.4;
    values.push_back({v, 1});
    V_R8(&v) = -0.6;
    values.push_back({v, -1});
    V_R8(&v) = 1e300;
    values.push_back({v, kRefused});
    V_VT(&v) = VT_R4;
    V_R4(&v) = 0.0f;
    values.push_back({v, 0});
    V_VT(&v) = VT_CY;
    V_CY(&v).int64 = 10000;  // 1.0000
    values.push_back({v, 1});
    V_VT(&v) = VT_DATE;
    V_DATE(&v) = 1.0;
    values.push_back({v, 1});
    V_VT(&v) = VT_BYREF | VT_I4;
    V_I4REF(&v) = &byRefGood;
    values.push_back({v, 1});
    V_I4REF(&v) = &byRefBad;
    values.push_back({v, 99});
    V_I4REF(&v) = nullptr;
    values.push_back({v, kRefused});
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = &nested;
    values.push_back({v, 1});
  }
  const UniqueBstr one(SysAllocString(L"1")), junk(SysAllocString(L"1x")), empty(SysAllocString(L""));
  for (BSTR text : {one.Get(), junk.Get(), empty.Get(), static_cast<BSTR>(nullptr)}) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = text;
    values.push_back({v, text == one.Get() ? 1 : kRefused});
  }

  struct Method {
    const wchar_t* name;
    int indices;
  } methods[] = {{L"GetCatCountByIndex", 1},
                 {L"GetDeviceTypeByIndex", 1},
                 {L"GetElementsInCatByIndices", 2},
                 {L"GetSingleString", 3}};
  // Device 0 is a logical disk: 7 devices, 1 category, 5 elements.
  const LONG limits[] = {7, 1, 5};
  int calls = 0, errors = 0, successes = 0, wrong = 0;
  for (const Method& method : methods) {
    for (int position = 0; position < method.indices; ++position) {
      for (const auto& value : values) {
        std::vector<VARIANT> args;
        for (int i = 0; i < method.indices; ++i) args.push_back(i == position ? value.first : I4(0));
        UniqueVariant out;
        args.push_back(Script::Ref(out.Receive()));
        const HRESULT hr = script.Call(method.name, args, &result);
        ++calls;
        const bool valid = value.second >= 0 && value.second < limits[position];
        if (SUCCEEDED(hr)) {
          ++successes;
          if (!valid) ++wrong;
        } else {
          ++errors;
          if (valid) ++wrong;
        }
        EXPECT_EQ(valid, SUCCEEDED(hr)) << "method " << Narrow(method.name) << " argument " << position
                                        << " type " << V_VT(&value.first) << " index " << value.second;
      }
    }
  }
  EXPECT_EQ(0, wrong);
  std::printf("[ mutation ] %d calls: %d answered, %d refused with an error\n", calls, successes, errors);

  // Null output pointers through the interface itself.
  VARIANT zero = I4(0);
  EXPECT_EQ(E_POINTER, granted->GetSingleString(&zero, &zero, &zero, nullptr, nullptr));
}

}  // namespace
}  // namespace devlore::test
