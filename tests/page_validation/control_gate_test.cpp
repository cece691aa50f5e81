// The gate as the SysInfo control runs it: IOleObject SetClientSite and
// SetHostNames, IQuickActivate, and a gated scripting method.
#include <gtest/gtest.h>

#include <ocidl.h>

#include "base/com_ptr.h"
#include "base/unique_variant.h"
#include "Devlore_h.h"
#include "control/sysinfo_factory.h"
#include "tests/page_validation/browser_page.h"

namespace devlore {
namespace {

using test::BrowserPage;
using test::kMsie4;

constexpr wchar_t kCode[] = L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F}";

class ControlGate : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CreateSysInfoObject(nullptr, IID_IOleObject, object_.ReceiveVoid()));
    ASSERT_EQ(S_OK, object_.QueryInto(IID_ISysInfo1, script_));
  }
  void TearDown() override {
    script_.Reset();
    object_.Reset();
  }

  // The answer of a gated method: S_OK with access, E_ACCESSDENIED without.
  HRESULT Gated() {
    UniqueVariant count;
    return script_->GetObjectCount(count.Receive());
  }

  ComPtr<IOleObject> object_;
  ComPtr<ISysInfo1> script_;
};

TEST_F(ControlGate, ClosedUntilDecided) {
  EXPECT_EQ(E_ACCESSDENIED, Gated());
  EXPECT_EQ(S_OK, object_->SetClientSite(nullptr));
  EXPECT_EQ(E_ACCESSDENIED, Gated());
}

TEST_F(ControlGate, AnAllowedPageOpensItThroughSetClientSite) {
  BrowserPage page(L"http://www.meadow.io/machine.html", kMsie4);
  EXPECT_EQ(S_OK, object_->SetClientSite(&page.site));
  EXPECT_EQ(S_OK, Gated());
  EXPECT_EQ(S_OK, object_->SetHostNames(L"App", L"not the code"));
  EXPECT_EQ(S_OK, object_->SetClientSite(nullptr));
  EXPECT_EQ(S_OK, Gated());
  page.ExpectBalanced();
}

TEST_F(ControlGate, AForeignPageIsRefusedButTheSiteIsStillKept) {
  BrowserPage page(L"http://www.example.com/", kMsie4);
  EXPECT_EQ(S_OK, object_->SetClientSite(&page.site));
  EXPECT_EQ(E_ACCESSDENIED, Gated());
  ComPtr<IOleClientSite> kept;
  EXPECT_EQ(S_OK, object_->GetClientSite(kept.Receive()));
  EXPECT_EQ(static_cast<IOleClientSite*>(&page.site), kept.Get());
  kept.Reset();
  EXPECT_EQ(E_ACCESSDENIED, object_->SetHostNames(L"App", kCode));
  EXPECT_EQ(E_ACCESSDENIED, Gated());
  // Destroying the object gives back every reference it took.
  object_.Reset();
  script_.Reset();
  page.ExpectBalanced();
}

TEST_F(ControlGate, TheHostAccessCodeOpensItBeforeAnySite) {
  EXPECT_EQ(S_OK, object_->SetHostNames(L"App", kCode));
  EXPECT_EQ(S_OK, Gated());
  BrowserPage page(L"http://www.example.com/", kMsie4);
  EXPECT_EQ(S_OK, object_->SetClientSite(&page.site));
  EXPECT_EQ(S_OK, Gated());
  EXPECT_EQ(0, page.site.pageChecks);
  EXPECT_EQ(S_OK, object_->SetClientSite(nullptr));
  page.ExpectBalanced();
}

// Hosts that the code page's best-fit mapping folds onto an allowed domain, and
// a backslash that the URL parser reads as part of the user information, are
// refused; the same addresses spelled plainly pass.
TEST_F(ControlGate, LookAlikeHostsAreRefused) {
  struct Case {
    const wchar_t* url;
    bool allowed;
  };
  for (const Case& c : {Case{L"http://d\x0113vlore.io/", false}, Case{L"http://\xFF44" L"evlore.io/", false},
                        Case{L"http://devlore\xFF0Eio/", false}, Case{L"http://m\x03B5" L"adow.io/", false},
                        Case{L"http://devlore.\x0131o/", false}, Case{L"http://evil.com\\@devlore.io/", false},
                        Case{L"http://evil.com\\.devlore.io/", false}, Case{L"http://devlore.io/a\\b", true},
                        Case{L"http://www.devlore.io/", true}}) {
    ComPtr<IOleObject> object;
    ComPtr<ISysInfo1> script;
    ASSERT_EQ(S_OK, CreateSysInfoObject(nullptr, IID_IOleObject, object.ReceiveVoid()));
    ASSERT_EQ(S_OK, object.QueryInto(IID_ISysInfo1, script));
    BrowserPage page(c.url, kMsie4);
    EXPECT_EQ(S_OK, object->SetClientSite(&page.site));
    UniqueVariant count;
    EXPECT_EQ(c.allowed ? S_OK : E_ACCESSDENIED, script->GetObjectCount(count.Receive()))
        << testing::PrintToString(std::wstring(c.url));
    count.Reset();
    EXPECT_EQ(S_OK, object->SetClientSite(nullptr));
    script.Reset();
    object.Reset();
    page.ExpectBalanced();
  }
}

TEST_F(ControlGate, QuickActivationRunsThePageCheck) {
  struct Case {
    const wchar_t* url;
    bool allowed;
  };
  for (const Case& c : {Case{L"http://devlore.io/", true}, Case{L"http://devlore.io.example.com/", false}}) {
    ComPtr<IOleObject> object;
    ASSERT_EQ(S_OK, CreateSysInfoObject(nullptr, IID_IOleObject, object.ReceiveVoid()));
    ComPtr<IQuickActivate> quick;
    ComPtr<ISysInfo1> script;
    ASSERT_EQ(S_OK, object.QueryInto(IID_IQuickActivate, quick));
    ASSERT_EQ(S_OK, object.QueryInto(IID_ISysInfo1, script));
    BrowserPage page(c.url, kMsie4);
    QACONTAINER container = {};
    container.cbSize = sizeof(container);
    container.pClientSite = &page.site;
    QACONTROL control = {};
    control.cbSize = sizeof(control);
    EXPECT_EQ(S_OK, quick->QuickActivate(&container, &control));
    UniqueVariant count;
    EXPECT_EQ(c.allowed ? S_OK : E_ACCESSDENIED, script->GetObjectCount(count.Receive())) << c.allowed;
    count.Reset();
    quick.Reset();
    script.Reset();
    object.Reset();
    page.ExpectBalanced();
  }
}

}  // namespace
}  // namespace devlore
