// The control scripted by the platform's own VBScript engine, as a page's script
// reaches it: the engine gets the control (access granted with the host access
// code) as the named item "SysInfo" and calls it by name.
#include <activscp.h>

#include <map>
#include <string>

#include "base/handles.h"
#include "base/unique_variant.h"
#include "model/device_list.h"
#include "tests/control/control_support.h"
#include "tests/support/fake_platform.h"
#include "tests/support/registry_fixture.h"

namespace devlore::test {
namespace {

std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; text && *text; ++text) narrow += *text < 128 ? static_cast<char>(*text) : '?';
  return narrow;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The script site of a page: named items, and the script errors it was told of.
class PageSite final : public IActiveScriptSite {
 public:
  std::map<std::wstring, IUnknown*> items;
  std::string errors;

  STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
    *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IActiveScriptSite) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 2; }  // lives on the test's stack
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(GetLCID)(LCID*) override { return E_NOTIMPL; }
  STDMETHOD(GetItemInfo)(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** typeInfo) override {
    if (typeInfo) *typeInfo = nullptr;
    if (item) *item = nullptr;
    const auto found = items.find(name);
    if (found == items.end()) return TYPE_E_ELEMENTNOTFOUND;
    if ((mask & SCRIPTINFO_IUNKNOWN) && item) {
      *item = found->second;
      (*item)->AddRef();
    }
    return S_OK;
  }
  STDMETHOD(GetDocVersionString)(BSTR*) override { return E_NOTIMPL; }
  STDMETHOD(OnScriptTerminate)(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  STDMETHOD(OnStateChange)(SCRIPTSTATE) override { return S_OK; }
  STDMETHOD(OnScriptError)(IActiveScriptError* error) override {
    EXCEPINFO info = {};
    error->GetExceptionInfo(&info);
    UniqueBstr source(info.bstrSource), description(info.bstrDescription), help(info.bstrHelpFile);
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    error->GetSourcePosition(&context, &line, &column);
    char code[16];
    wsprintfA(code, "%08lX", static_cast<unsigned long>(info.scode ? info.scode : info.wCode));
    errors += "line " + std::to_string(line + 1) + ": " + code + " " + Narrow(description.get()) + "\n";
    return S_OK;
  }
  STDMETHOD(OnEnterScript)() override { return S_OK; }
  STDMETHOD(OnLeaveScript)() override { return S_OK; }
};

// One engine of the platform, started with the site's items, running code.
class Engine {
 public:
  Engine(const wchar_t* language, PageSite& site) {
    CLSID engine = {};
    EXPECT_EQ(S_OK, CLSIDFromProgID(language, &engine));
    EXPECT_EQ(S_OK, CoCreateInstance(engine, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, script_.ReceiveVoid()));
    if (!script_ || FAILED(script_.QueryInto(__uuidof(IActiveScriptParse), parse_))) return;
    EXPECT_EQ(S_OK, script_->SetScriptSite(&site));
    EXPECT_EQ(S_OK, parse_->InitNew());
    for (const auto& item : site.items) EXPECT_EQ(S_OK, script_->AddNamedItem(item.first.c_str(), SCRIPTITEM_ISVISIBLE));
    EXPECT_EQ(S_OK, script_->SetScriptState(SCRIPTSTATE_CONNECTED));
  }
  ~Engine() {
    if (script_) script_->Close();
  }

  // Runs statements, as a page's SCRIPT block (delimited as a browser does).
  HRESULT Run(const std::wstring& code) {
    if (!parse_) return E_FAIL;
    return parse_->ParseScriptText(code.c_str(), nullptr, nullptr, L"</SCRIPT>", 0, 0, 0, nullptr, nullptr);
  }

  // The value of an expression as text, or "<error>".
  std::string Value(const std::wstring& expression) {
    UniqueVariant value, text;
    if (!parse_ || FAILED(parse_->ParseScriptText(expression.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                                  SCRIPTTEXT_ISEXPRESSION, value.receive(), nullptr))) {
      return "<error>";
    }
    const UniqueVariant& result = value;
    if (FAILED(VariantChangeType(text.receive(), const_cast<VARIANT*>(&result.get()), 0, VT_BSTR))) return "<error>";
    const UniqueVariant& converted = text;
    return Narrow(V_BSTR(&converted.get()));
  }

 private:
  ComPtr<IActiveScript> script_;
  ComPtr<IActiveScriptParse> parse_;
};

// The typical machine with fixed drives C: and E:, and a page site holding a
// control whose access was granted.
class ScriptEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.AddTypicalDevices();
    platform_.SetDrives({{"C:\\", DRIVE_FIXED}, {"D:\\", DRIVE_CDROM}, {"E:\\", DRIVE_FIXED}});
    site_.items[L"SysInfo"] = control_.Get();
  }
  void TearDown() override {
    if (DeviceListArray()) TerminateDeviceList();
    SetCurrentDirectoryW(ProgramFolder().c_str());
  }

  FakeMachine machine_;
  FakePlatform platform_;
  ComPtr<ISysInfo1> control_ = NewGrantedControl();
  PageSite site_;
};

// The SCRIPT block of the sample page, as the build copied it beside the tests.
std::wstring SamplePageScript() {
  const std::wstring path = ProgramFolder() + L"..\\generated\\sysinfo.html";
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  char buffer[16384];
  DWORD size = 0;
  if (!file || !ReadFile(file.get(), buffer, sizeof buffer, &size, nullptr) || size == sizeof buffer) return L"";
  const std::string page(buffer, size);
  const std::string open = "<SCRIPT LANGUAGE=\"VBScript\">";
  const size_t start = page.find(open), end = page.find("</SCRIPT>");
  if (start == std::string::npos || end == std::string::npos) return L"";
  return Widen(page.substr(start + open.size(), end - start - open.size()));
}

TEST_F(ScriptEngineTest, SamplePageShowsEveryDevice) {
  const std::wstring script = SamplePageScript();
  ASSERT_FALSE(script.empty());
  Engine page(L"VBScript", site_);
  // The page's DIV, with the one property the script sets.
  ASSERT_EQ(S_OK, page.Run(L"Class Element\nPublic innerHTML\nEnd Class\nDim Report\nSet Report = New Element\n"));
  ASSERT_EQ(S_OK, page.Run(script));
  ASSERT_EQ(S_OK, page.Run(L"Window_OnLoad"));
  EXPECT_EQ("", site_.errors);
  const std::string html = page.Value(L"Report.innerHTML");
  std::string headings;
  for (size_t at = html.find("<H2>"); at != std::string::npos; at = html.find("<H2>", at + 1)) {
    headings += html.substr(at + 4, html.find("</H2>", at) - at - 4) + ";";
  }
  EXPECT_EQ("Drive C:;Drive E:;BIOS;CPU;Memory;Monitor;Primary Video Card;", headings) << html;
  EXPECT_NE(std::string::npos, html.find("<B>")) << html;
  EXPECT_EQ(nullptr, DeviceListArray());  // the page tore the list down
}

TEST_F(ScriptEngineTest, VersionFlagReachesTheVariable) {
  ComPtr<ISysInfo1> refused = NewControl<ISysInfo1>(IID_ISysInfo1);
  site_.items[L"Refused"] = refused.Get();
  Engine page(L"VBScript", site_);
  ASSERT_EQ(S_OK, page.Run(L"Function Ask(control, major, minor, build)\n"
                           L"  Dim ok\n"
                           L"  ok = \"untouched\"\n"
                           L"  On Error Resume Next\n"
                           L"  control.IsVersionCompatible major, minor, build, ok\n"
                           L"  Ask = Err.Number & \" \" & TypeName(ok) & \" \" & ok\n"
                           L"End Function\n"));
  EXPECT_EQ("0 Boolean True", page.Value(L"Ask(SysInfo, 1, 1, 2)"));
  EXPECT_EQ("0 Boolean False", page.Value(L"Ask(SysInfo, 1, 1, 3)"));
  EXPECT_EQ("0 Boolean True", page.Value(L"Ask(SysInfo, -1, -1, -1)"));
  EXPECT_EQ("0 Boolean False", page.Value(L"Ask(SysInfo, 0, 9, 0)"));
  // Refused: the variable keeps what it held.
  EXPECT_EQ("70 String untouched", page.Value(L"Ask(Refused, 1, 1, 2)"));
  EXPECT_EQ("", site_.errors);
}

TEST_F(ScriptEngineTest, DeviceTypeKeptAcrossTheListStaysReadable) {
  Engine page(L"VBScript", site_);
  ASSERT_EQ(S_OK, page.Run(L"Dim drive, bios, video, now\n"
                           L"SysInfo.InitializeDeviceObjects\n"
                           L"SysInfo.GetDeviceTypeByIndex 1, drive\n"
                           L"SysInfo.GetDeviceTypeByIndex 2, bios\n"
                           L"SysInfo.GetDeviceTypeByIndex 6, video\n"
                           L"SysInfo.DeInitializeDeviceObjects\n"));
  const std::wstring kept = L"CStr(drive) & \"|\" & CStr(bios) & \"|\" & CStr(video)";
  EXPECT_EQ("Drive E:|BIOS|Primary Video Card", page.Value(kept));
  // A new list of another shape: one drive less, so every device moves.
  platform_.SetDrives({{"C:\\", DRIVE_FIXED}});
  ASSERT_EQ(S_OK, page.Run(L"SysInfo.InitializeDeviceObjects\nSysInfo.GetDeviceTypeByIndex 1, now\n"));
  EXPECT_EQ("Drive E:|BIOS|Primary Video Card", page.Value(kept));
  EXPECT_EQ("BIOS", page.Value(L"CStr(now)"));
  ASSERT_EQ(S_OK, page.Run(L"SysInfo.DeInitializeDeviceObjects\n"));
  EXPECT_EQ("Drive E:|BIOS|Primary Video Card|BIOS", page.Value(kept + L" & \"|\" & CStr(now)"));
  EXPECT_EQ("", site_.errors);
}

}  // namespace
}  // namespace devlore::test
