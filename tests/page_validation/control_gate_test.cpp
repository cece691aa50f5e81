// The gate as the SysInfo control runs it: IOleObject SetClientSite and
// SetHostNames, IQuickActivate, and a gated scripting method.
#include <gtest/gtest.h>

#include <ocidl.h>

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
    ASSERT_EQ(S_OK, CreateSysInfoObject(nullptr, IID_IOleObject, reinterpret_cast<void**>(&object_)));
    ASSERT_EQ(S_OK, object_->QueryInterface(IID_ISysInfo1, reinterpret_cast<void**>(&script_)));
  }
  void TearDown() override {
    if (script_) script_->Release();
    if (object_) object_->Release();
  }

  // The answer of a gated method: S_OK with access, E_ACCESSDENIED without.
  HRESULT Gated() {
    VARIANT count;
    VariantInit(&count);
    const HRESULT hr = script_->GetObjectCount(&count);
    VariantClear(&count);
    return hr;
  }

  IOleObject* object_ = nullptr;
  ISysInfo1* script_ = nullptr;
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
  IOleClientSite* kept = nullptr;
  EXPECT_EQ(S_OK, object_->GetClientSite(&kept));
  EXPECT_EQ(static_cast<IOleClientSite*>(&page.site), kept);
  if (kept) kept->Release();
  EXPECT_EQ(E_ACCESSDENIED, object_->SetHostNames(L"App", kCode));
  EXPECT_EQ(E_ACCESSDENIED, Gated());
  // Destroying the object gives back every reference it took.
  object_->Release();
  object_ = nullptr;
  script_->Release();
  script_ = nullptr;
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
    IOleObject* object = nullptr;
    ISysInfo1* script = nullptr;
    ASSERT_EQ(S_OK, CreateSysInfoObject(nullptr, IID_IOleObject, reinterpret_cast<void**>(&object)));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_ISysInfo1, reinterpret_cast<void**>(&script)));
    BrowserPage page(c.url, kMsie4);
    EXPECT_EQ(S_OK, object->SetClientSite(&page.site));
    VARIANT count;
    VariantInit(&count);
    EXPECT_EQ(c.allowed ? S_OK : E_ACCESSDENIED, script->GetObjectCount(&count)) << testing::PrintToString(std::wstring(c.url));
    VariantClear(&count);
    EXPECT_EQ(S_OK, object->SetClientSite(nullptr));
    script->Release();
    object->Release();
    page.ExpectBalanced();
  }
}

TEST_F(ControlGate, QuickActivationRunsThePageCheck) {
  struct Case {
    const wchar_t* url;
    bool allowed;
  };
  for (const Case& c : {Case{L"http://devlore.io/", true}, Case{L"http://devlore.io.example.com/", false}}) {
    IOleObject* object = nullptr;
    ASSERT_EQ(S_OK, CreateSysInfoObject(nullptr, IID_IOleObject, reinterpret_cast<void**>(&object)));
    IQuickActivate* quick = nullptr;
    ISysInfo1* script = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IQuickActivate, reinterpret_cast<void**>(&quick)));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_ISysInfo1, reinterpret_cast<void**>(&script)));
    BrowserPage page(c.url, kMsie4);
    QACONTAINER container = {};
    container.cbSize = sizeof(container);
    container.pClientSite = &page.site;
    QACONTROL control = {};
    control.cbSize = sizeof(control);
    EXPECT_EQ(S_OK, quick->QuickActivate(&container, &control));
    VARIANT count;
    VariantInit(&count);
    EXPECT_EQ(c.allowed ? S_OK : E_ACCESSDENIED, script->GetObjectCount(&count)) << c.allowed;
    VariantClear(&count);
    quick->Release();
    script->Release();
    object->Release();
    page.ExpectBalanced();
  }
}

}  // namespace
}  // namespace devlore
