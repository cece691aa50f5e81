// The process set-up of the control tests: the module record as the library's
// attach would make it, COM on the test thread, the type library registered
// from the compiled Devlore.tlb, the class's registry entries that OLE reads
// (user type, misc status), and a class object registered with COM so
// that OleCreate and OleLoad create real controls. All of it is taken back at
// the end.
#include <string>

#include "base/handles.h"
#include "server/server_module.h"
#include "tests/control/control_support.h"
#include "tests/support/registry_fixture.h"

namespace devlore::test {
namespace {

const char kClassKey[] = "CLSID\\{6F1B52C4-3D07-4E21-9A58-2C7D4E90B3A1}";

class TestClassFactory : public IClassFactory {
 public:
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 2; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) override {
    return CreateSysInfoObject(outer, iid, object);
  }
  STDMETHOD(LockServer)(BOOL) override { return S_OK; }
};

TestClassFactory g_factory;

class ControlEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The tests run without a display: windows need Wine's null graphics
    // driver, chosen before the first window of the session is made.
    UniqueRegistryKey drivers;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        drivers.Receive(), nullptr) == ERROR_SUCCESS) {
      if (RegQueryValueExA(drivers.Get(), "Graphics", nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        RegSetValueExA(drivers.Get(), "Graphics", 0, REG_SZ, reinterpret_cast<const BYTE*>("null"), 5);
      }
      drivers.Reset();
    }
    InitializeModule(nullptr, GetModuleHandleW(nullptr));
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));

    // The type library the build compiled, beside the test program's folder.
    // Registrations left by others in this prefix are used as they are and
    // left in place.
    const std::wstring library = ProgramFolder() + L"..\\generated\\Devlore.tlb";
    ComPtr<ITypeLib> typeLibrary;
    ASSERT_EQ(S_OK, LoadTypeLibEx(library.c_str(), REGKIND_NONE, typeLibrary.Receive()))
        << "cannot load the compiled type library";
    ComPtr<ITypeLib> registered;
    if (FAILED(LoadRegTypeLib(LIBID_DEVLORELib, 1, 0, 0x0409, registered.Receive()))) {
      ASSERT_EQ(S_OK, RegisterTypeLib(typeLibrary.Get(), const_cast<wchar_t*>(library.c_str()), nullptr));
      registeredTypeLibrary_ = true;
    }
    registered.Reset();

    if (KeyExists(HKEY_CLASSES_ROOT, kClassKey)) return RegisterClassObject();
    wroteClassKey_ = true;
    // What the library's registration writes for the class that OLE reads back.
    SetString(HKEY_CLASSES_ROOT, kClassKey, "", "Tolvane PC Meadow System Information Class");
    SetString(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\MiscStatus", "", "0");
    SetString(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\MiscStatus\\1", "", "131473");
    RegisterClassObject();
  }

  // COM finds this process's class object before any registered server.
  void RegisterClassObject() {
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_SysInfo, &g_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &cookie_));
  }

  void TearDown() override {
    CoRevokeClassObject(cookie_);
    if (wroteClassKey_) DeleteTree(HKEY_CLASSES_ROOT, kClassKey);
    if (registeredTypeLibrary_) {
      UnRegisterTypeLib(LIBID_DEVLORELib, 1, 0, 0x0409, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    }
    // Releases the cached type information among the termination callbacks.
    TerminateModule();
    OleUninitialize();
  }

 private:
  DWORD cookie_ = 0;
  bool wroteClassKey_ = false;
  bool registeredTypeLibrary_ = false;
};

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new ControlEnvironment);

LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

ContainerWindow::ContainerWindow() {
  static ATOM atom = 0;
  if (!atom) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ContainerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"DevloreTestContainer";
    atom = RegisterClassW(&wc);
  }
  window_ = CreateWindowExW(0, L"DevloreTestContainer", L"container", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                            400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

ContainerWindow::~ContainerWindow() {
  if (window_) DestroyWindow(window_);
}

}  // namespace devlore::test
