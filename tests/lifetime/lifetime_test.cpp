// The shipped library over many lifetimes of its controls and device lists:
// built, read as a page reads them and torn down, nothing may stay behind on
// the process heap (where the library's own heap operators allocate) or in the
// task allocator (where the automation strings live).
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/lifetime/lifetime_support.h"
#include "tests/support/registry_fixture.h"

namespace devlore::test {
namespace {

const char kModesPath[] = "System\\CurrentControlSet\\Services\\Class\\Display\\0000\\MODES";

TaskMemorySpy g_spy;

// COM, the type library that IDispatch reads, and the task allocator's spy,
// for the whole program.
class LifetimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const std::wstring file = ProgramFolder() + L"..\\generated\\Devlore.tlb";
    ComPtr<ITypeLib> registered;
    if (FAILED(LoadRegTypeLib(LIBID_DEVLORELib, 1, 0, 0x0409, registered.Receive()))) {
      ComPtr<ITypeLib> library;
      ASSERT_EQ(S_OK, LoadTypeLibEx(file.c_str(), REGKIND_NONE, library.Receive()));
      ASSERT_EQ(S_OK, RegisterTypeLib(library.Get(), const_cast<wchar_t*>(file.c_str()), nullptr));
      registeredTypeLibrary_ = true;
    }
    ASSERT_EQ(S_OK, CoRegisterMallocSpy(&g_spy));
    // Wine's allocator crashes on a free that comes before the spy's first
    // allocation (its list of watched blocks does not exist yet): one watched
    // block is made at once and kept until the spy is revoked.
    spiedBlock_.Reset(CoTaskMemAlloc(1));
    ASSERT_TRUE(spiedBlock_);
  }
  void TearDown() override {
    spiedBlock_.Reset();
    CoRevokeMallocSpy();
    if (registeredTypeLibrary_) UnRegisterTypeLib(LIBID_DEVLORELib, 1, 0, 0x0409, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    CoUninitialize();
  }

 private:
  bool registeredTypeLibrary_ = false;
  UniqueTaskMemory spiedBlock_;
};

const ::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new LifetimeEnvironment);

// The counts at one moment, with what the platform's driver loader had kept
// by then.
struct Footprint {
  HeapCensus heap;
  size_t taskBlocks;
  HeapCensus driverLoader;
};

Footprint TakeFootprint() { return {TakeCensus(GetProcessHeap()), g_spy.LiveBlocks(), DriverOpens::LoaderCost()}; }

// Task memory must come back exactly. Wine's heap was seen to add a few
// blocks of its own now and then (five blocks, 400 bytes, once in a hundred
// visits, with or without the library's work), so the heap may grow by that
// much, and by what the driver loader kept for the opens in between; one
// block leaked per visit grows it by the number of visits.
constexpr size_t kHeapSlackBlocks = 8;
constexpr size_t kHeapSlackBytes = 1024;

void ExpectFlat(const Footprint& before, const Footprint& after) {
  const size_t loaderBlocks = after.driverLoader.blocks - before.driverLoader.blocks;
  const size_t loaderBytes = after.driverLoader.bytes - before.driverLoader.bytes;
  const auto heapMessage = [&] {
    std::ostringstream text;
    text << "process heap: " << before.heap << " before, " << after.heap << " after; the driver loader's share "
         << loaderBlocks << " blocks, " << loaderBytes << " bytes (" << DriverOpens::Opens() << " opens in all)";
    return text.str();
  };
  EXPECT_LE(after.heap.blocks, before.heap.blocks + loaderBlocks + kHeapSlackBlocks) << heapMessage();
  EXPECT_LE(after.heap.bytes, before.heap.bytes + loaderBytes + kHeapSlackBytes) << heapMessage();
  EXPECT_EQ(before.taskBlocks, after.taskBlocks) << "task memory blocks";
  EXPECT_EQ(0u, DriverOpens::OpenHandles()) << "probe driver handles left open";
}

// A machine with the usual system board, monitor and display adapter, the
// adapter listing two resolutions.
class ShippedLifetime : public ::testing::Test {
 protected:
  void SetUp() override {
    // Freed strings must go back to the allocator, not to a cache of oleaut32
    // (read once when oleaut32 loads, so it comes from the test's environment).
    ASSERT_NE(0u, GetEnvironmentVariableA("OANOCACHE", nullptr, 0)) << "run with OANOCACHE=1";
    ASSERT_TRUE(Library().Loaded());
    machine_.AddTypicalDevices();
    machine_.SetDisplaySettings("16", "800,600");
    machine_.AddDisplayModes("Display\\0000", {{"8", {"640,480", "800,600"}}});
  }

  // One page's visit: a new control, the list built and read, torn down and
  // the control released. Returns what the page read.
  std::vector<std::string> Visit(bool buildTwice = false) {
    ComPtr<IOleObject> object = Library().NewGrantedControl();
    ComPtr<IDispatch> control;
    if (!object || FAILED(object.QueryInto(IID_IDispatch, control))) return {"<no control>"};
    Script script(control.Get());
    EXPECT_EQ(1, script.Status(L"InitializeDeviceObjects"));
    std::vector<std::string> lines = script.ReadEverything();
    if (buildTwice) {
      // Built again over the live list: the new list reads the same.
      EXPECT_EQ(1, script.Status(L"InitializeDeviceObjects"));
      EXPECT_EQ(Shape(lines), Shape(script.ReadEverything()));
    }
    EXPECT_EQ(1, script.Status(L"DeInitializeDeviceObjects"));
    EXPECT_EQ(0, script.Status(L"GetObjectCount"));
    return lines;
  }

  // The lines without their digits: memory figures and free space change
  // between visits.
  static std::vector<std::string> Shape(std::vector<std::string> lines) {
    for (std::string& line : lines)
      line.erase(std::remove_if(line.begin(), line.end(), [](char c) { return c >= '0' && c <= '9'; }), line.end());
    return lines;
  }

  // Visits until first-time caches (type information, registry roots, COM)
  // are filled, then takes the footprint, visits `cycles` times and compares.
  // Every visit must read what the first did.
  void ExpectFlatOver(int cycles, bool buildTwice) {
    const std::vector<std::string> lines = Visit(buildTwice);
    ASSERT_GE(lines.size(), 20u);
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "Primary Video Card|2|S3 Trio64V2"));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "BIOS|0|BIOS Name : XYZ BIOS"));
    const std::vector<std::string> first = Shape(lines);
    for (int i = 0; i < 3; ++i) Visit(buildTwice);
    const Footprint before = TakeFootprint();
    for (int i = 0; i < cycles; ++i) {
      if (Shape(Visit(buildTwice)) != first) {
        ADD_FAILURE() << "visit " << i << " read other lines";
        break;
      }
    }
    ExpectFlat(before, TakeFootprint());
  }

  FakeMachine machine_;
};

TEST_F(ShippedLifetime, HundredVisitsLeaveHeapAndTaskMemoryFlat) { ExpectFlatOver(100, false); }

TEST_F(ShippedLifetime, RebuildOverALiveListLeavesNothingBehind) { ExpectFlatOver(25, true); }

// The adapter's first Collect fails (no current settings yet), so reading a
// line collects it again, after the driver's mode list has grown or shrunk: the
// listed category takes the new count and its lines, and the tables made for
// the old count are released with that count.
TEST_F(ShippedLifetime, CollectRetriedAfterTheModeCountChanged) {
  const std::string modes = kModesPath;
  auto listedLines = [&](const std::vector<std::pair<std::string, std::vector<std::string>>>& before,
                         const std::vector<std::pair<std::string, std::vector<std::string>>>& after) {
    DeleteTree(HKEY_CURRENT_CONFIG, "Display\\Settings");
    DeleteTree(HKEY_LOCAL_MACHINE, modes);
    machine_.AddDisplayModes("Display\\0000", before);
    ComPtr<IOleObject> object = Library().NewGrantedControl();
    ComPtr<IDispatch> control;
    EXPECT_EQ(S_OK, object.QueryInto(IID_IDispatch, control));
    if (!control) return std::vector<std::string>{"<no control>"};
    Script script(control.Get());
    EXPECT_EQ(1, script.Status(L"InitializeDeviceObjects"));
    const LONG adapter = script.Status(L"GetObjectCount") - 1;
    UniqueVariant count;
    EXPECT_EQ(1, script.Status(L"GetElementsInCatByIndices", {Script::I4(adapter), Script::I4(3), Script::Ref(count)}));
    EXPECT_EQ(static_cast<LONG>(before[0].second.size() + 1), V_I4(&count.Get()));

    DeleteTree(HKEY_LOCAL_MACHINE, modes);
    machine_.AddDisplayModes("Display\\0000", after);
    machine_.SetDisplaySettings("16", "800,600");
    std::vector<std::string> lines;
    for (LONG element = 0;; ++element) {
      UniqueVariant text;
      if (script.Status(L"GetSingleString", {Script::I4(adapter), Script::I4(3), Script::I4(element), Script::Ref(text)}) != 1)
        break;  // past the last element
      lines.push_back(V_VT(&text.Get()) == VT_BSTR ? Narrow(V_BSTR(&text.Get())) : "<no text>");
    }
    EXPECT_EQ(1, script.Status(L"GetElementsInCatByIndices", {Script::I4(adapter), Script::I4(3), Script::Ref(count)}));
    EXPECT_EQ(static_cast<LONG>(lines.size()), V_I4(&count.Get()));
    // The listed category's string table has a slot for every element.
    const DeviceObject* device = Library().Devices()[adapter];
    EXPECT_GE(HeapSize(GetProcessHeap(), 0, device->categoryStrings[3]), device->elementCounts[3] * sizeof(BSTR));
    EXPECT_EQ(1, script.Status(L"DeInitializeDeviceObjects"));
    return lines;
  };
  const std::vector<std::pair<std::string, std::vector<std::string>>> one = {{"8", {"640,480"}}},
                                                                       three = {{"16", {"640,480", "800,600", "1024,768"}}};
  listedLines(one, three);  // warm-up
  const Footprint before = TakeFootprint();
  EXPECT_EQ((std::vector<std::string>{"Max Listed Color Depth", "640x480: 16-Bit", "800x600: 16-Bit", "1024x768: 16-Bit"}),
            listedLines(one, three));
  EXPECT_EQ((std::vector<std::string>{"Max Listed Color Depth", "640x480: 8-Bit"}), listedLines(three, one));
  ExpectFlat(before, TakeFootprint());
}

// A client site with a true reference count. Its memory outlives its last
// release, so a call after that is recorded rather than crashing.
class CountedSite : public IOleClientSite {
 public:
  ULONG references = 1;
  int callsAfterRelease = 0;

  STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
    Touch();
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IOleClientSite)) return E_NOINTERFACE;
    *object = static_cast<IOleClientSite*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override {
    Touch();
    return ++references;
  }
  STDMETHOD_(ULONG, Release)() override {
    Touch();
    return references ? --references : 0;
  }
  STDMETHOD(SaveObject)() override { return Touch(), S_OK; }
  STDMETHOD(GetMoniker)(DWORD, DWORD, IMoniker** moniker) override {
    Touch();
    *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHOD(GetContainer)(IOleContainer** container) override {
    Touch();
    *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD(ShowObject)() override { return Touch(), S_OK; }
  STDMETHOD(OnShowWindow)(BOOL) override { return Touch(), S_OK; }
  STDMETHOD(RequestNewObjectLayout)() override { return Touch(), E_NOTIMPL; }

 private:
  void Touch() {
    if (references == 0) ++callsAfterRelease;
  }
};

// The container hands the same site in again after dropping its own
// reference: the control's reference is all that keeps the site alive then.
TEST_F(ShippedLifetime, SiteHandedInAgainAfterItsCallerReleasedIt) {
  CountedSite site;
  {
    ComPtr<IOleObject> control = Library().NewGrantedControl();
    ASSERT_TRUE(control);
    ASSERT_EQ(S_OK, control->SetClientSite(&site));
    site.Release();  // the container's own reference
    ASSERT_GE(site.references, 1u);
    ASSERT_EQ(S_OK, control->SetClientSite(&site));
    EXPECT_GE(site.references, 1u);
    EXPECT_EQ(0, site.callsAfterRelease);
    ComPtr<IOleClientSite> held;
    ASSERT_EQ(S_OK, control->GetClientSite(held.Receive()));
    EXPECT_EQ(static_cast<IOleClientSite*>(&site), held.Get());
  }
  // Every reference the control took it gave back, and none more.
  EXPECT_EQ(0u, site.references);
  EXPECT_EQ(0, site.callsAfterRelease);
}

}  // namespace
}  // namespace devlore::test
