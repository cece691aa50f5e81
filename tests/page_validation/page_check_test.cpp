#include <gtest/gtest.h>

#include <string>

#include "base/unique_variant.h"
#include "control/page_validation.h"
#include "control/page_validation_internal.h"
#include "control/site_lock.h"
#include "tests/page_validation/browser_page.h"
#include "tests/support/fake_platform.h"

namespace devlore {
namespace {

using test::BrowserPage;
using test::FakeDispatch;
using test::kMsie3;
using test::kMsie4;
using test::kNetscape;

constexpr wchar_t kPage[] = L"http://www.devlore.io/status/index.html";

// Runs the gate on a fresh lock with the page's site and tells whether access
// was granted; the decision is taken either way and every reference comes back.
bool Granted(BrowserPage& page) {
  SiteLock lock{};
  SiteLockSetClientSite(lock, &page.site);
  EXPECT_EQ(1, lock.decided);
  const bool granted = lock.accessGranted == 1;
  EXPECT_TRUE(lock.accessGranted == 0 || lock.accessGranted == 1);
  SiteLockRelease(lock);
  page.ExpectBalanced();
  return granted;
}

TEST(GetPropertyByName, HandsOutObjectsAndStringsOnly) {
  FakeDispatch object, child;
  object.SetObject(L"child", &child);
  object.SetString(L"text", L"hello");
  object.SetOdd(L"nullObject", FakeDispatch::Kind::NullObject);
  object.SetOdd(L"nullText", FakeDispatch::Kind::NullString);
  object.SetOdd(L"number", FakeDispatch::Kind::Number);
  object.SetOdd(L"broken", FakeDispatch::Kind::InvokeFails);

  UniqueVariant value;
  ASSERT_TRUE(GetPropertyByName(&object, L"child", VT_DISPATCH, value.Receive()));
  EXPECT_EQ(VT_DISPATCH, value.Type());
  EXPECT_EQ(static_cast<IDispatch*>(&child), value.Get().pdispVal);
  EXPECT_EQ(2, child.refs);
  value.Reset();

  ASSERT_TRUE(GetPropertyByName(&object, L"text", VT_BSTR, value.Receive()));
  EXPECT_STREQ(L"hello", value.Get().bstrVal);
  value.Reset();

  // Failures leave an empty variant and take no reference.
  struct Case {
    const wchar_t* name;
    VARTYPE type;
  };
  for (const Case& c : {Case{L"missing", VT_DISPATCH}, Case{L"nullObject", VT_DISPATCH},
                        Case{L"nullText", VT_BSTR}, Case{L"number", VT_DISPATCH}, Case{L"number", VT_BSTR},
                        Case{L"broken", VT_DISPATCH}, Case{L"text", VT_DISPATCH}, Case{L"child", VT_BSTR}}) {
    VARIANT* slot = value.Receive();
    slot->vt = VT_I2;
    EXPECT_FALSE(GetPropertyByName(&object, c.name, c.type, slot)) << c.name;
    EXPECT_EQ(VT_EMPTY, value.Type()) << c.name;
  }
  EXPECT_FALSE(GetPropertyByName(nullptr, L"child", VT_DISPATCH, value.Receive()));
  EXPECT_EQ(1, object.refs);
  EXPECT_EQ(1, child.refs);
}

TEST(IsModernBrowser, JudgesTheMsieMajorVersion) {
  struct Case {
    const wchar_t* agent;
    bool modern;
  };
  for (const Case& c : {
           Case{kMsie4, true},
           Case{L"Mozilla/4.0 (compatible; MSIE 5.5; Windows 98; Win 9x 4.90)", true},
           Case{L"Mozilla/4.0 (compatible; MSIE 9.0)", true},
           Case{kNetscape, true},                                   // no MSIE at all
           Case{L"", true},
           Case{L"Mozilla/2.0 (compatible;MSIE 3.0)", true},        // not the "; MSIE " form
           Case{kMsie3, false},
           Case{L"Mozilla/2.0 (compatible; MSIE 2.0; Windows 95)", false},
           Case{L"Mozilla/1.22 (compatible; MSIE 1.5)", false},
           Case{L"Mozilla/4.0 (compatible; MSIE 10.0)", false},     // only the first digit is read
           Case{L"Mozilla/2.0 (compatible; MSIE ", false},          // the text ends after the pattern
           Case{L"Mozilla/2.0 (compatible; MSIE \u00e9", false},    // a byte of 0x80 or above
           Case{L"Mozilla/4.0 (compatible; MSIE 4.01); MSIE 3.0", true},  // the first match counts
       }) {
    BrowserPage page(kPage, c.agent);
    EXPECT_EQ(c.modern, IsModernBrowser(page.page.window)) << std::wstring(c.agent).size();
    page.ExpectBalanced();
  }
}

TEST(IsModernBrowser, AnUnreadableUserAgentIsNotModern) {
  for (int variant = 0; variant < 5; ++variant) {
    BrowserPage page(kPage, kMsie4);
    switch (variant) {
      case 0: page.page.window->Remove(L"navigator"); break;
      case 1: page.page.window->SetOdd(L"navigator", FakeDispatch::Kind::NullObject); break;
      case 2: page.page.navigator->Remove(L"userAgent"); break;
      case 3: page.page.navigator->SetOdd(L"userAgent", FakeDispatch::Kind::Number); break;
      case 4: page.page.navigator->SetOdd(L"userAgent", FakeDispatch::Kind::InvokeFails); break;
    }
    EXPECT_FALSE(IsModernBrowser(page.page.window)) << variant;
    page.ExpectBalanced();
  }
}

TEST(TopWindowAllowed, NeedsALocationOnAnAllowedHost) {
  struct Case {
    const wchar_t* href;
    bool allowed;
  };
  for (const Case& c : {Case{L"http://www.devlore.io/", true}, Case{L"https://meadow.io:443/a", true},
                        Case{L"http://guest@shop.meadow.io/", true}, Case{L"http://www.example.com/", false},
                        Case{L"http://WWW.DEVLORE.IO/", false}, Case{L"http://devlore.io.example.com/", false},
                        Case{L"http://notdevlore.io/", false}, Case{L"file:///C:/devlore.io/index.html", false},
                        Case{L"about:blank", false}}) {
    BrowserPage page(kPage, kMsie3);
    page.page.location->SetString(L"href", c.href);
    EXPECT_EQ(c.allowed, TopWindowAllowed(page.page.top)) << std::wstring(c.href).size();
    page.ExpectBalanced();
  }
  for (int variant = 0; variant < 3; ++variant) {
    BrowserPage page(kPage, kMsie3);
    if (variant == 0) page.page.top->Remove(L"location");
    if (variant == 1) page.page.location->Remove(L"href");
    if (variant == 2) page.page.location->SetOdd(L"href", FakeDispatch::Kind::NullString);
    EXPECT_FALSE(TopWindowAllowed(page.page.top)) << variant;
    page.ExpectBalanced();
  }
}

TEST(PageHostsAgree, TheUrlAndTheContainerMonikerMustNameTheSameAllowedHost) {
  struct Case {
    const wchar_t* url;
    const wchar_t* moniker;
    bool agree;
  };
  for (const Case& c : {
           Case{kPage, kPage, true},
           Case{L"http://meadow.io/", L"http://meadow.io/other.html", true},
           Case{L"http://guest:pw@www.devlore.io:8080/", L"http://www.devlore.io/", true},
           Case{kPage, L"http://WWW.devlore.io/status/index.html", false},  // letter case
           Case{kPage, L"http://www.meadow.io/", false},
           Case{kPage, L"http://devlore.io/", false},                       // a label less
           Case{L"http://www.example.com/", L"http://www.example.com/", false},
           Case{L"http://www.devlore.io.example.com/", L"http://www.devlore.io.example.com/", false},
           Case{L"file:///C:/page.html", L"file:///C:/page.html", false},  // no host name
           Case{L"http://intranet/", L"http://intranet/", false},           // no dot
           Case{kPage, L"", false},
           Case{kPage, L"http://www.devl\u00adore.io/status/index.html", false},  // a soft hyphen more
       }) {
    BrowserPage page(c.url, kMsie4);
    page.moniker.displayName = c.moniker;
    EXPECT_EQ(c.agree, PageHostsAgree(&page.site, &page.browser))
        << std::wstring(c.url).size() << "/" << std::wstring(c.moniker).size();
    EXPECT_EQ(static_cast<DWORD>(OLEGETMONIKER_TEMPFORUSER), page.site.monikerAssign);
    EXPECT_EQ(static_cast<DWORD>(OLEWHICHMK_CONTAINER), page.site.monikerWhich);
    page.ExpectBalanced();
  }
}

TEST(PageHostsAgree, FailsWhenTheBrowserOrTheSiteCannotAnswer) {
  for (int variant = 0; variant < 6; ++variant) {
    BrowserPage page(kPage, kMsie4);
    switch (variant) {
      case 0: page.browser.urlFails = true; break;
      case 1: page.browser.nullUrl = true; break;
      case 2: page.site.moniker = nullptr; break;
      case 3: page.site.nullMonikerSucceeds = true; break;
      case 4: page.moniker.displayNameResult = E_FAIL; break;
      case 5: page.moniker.nullDisplayName = true; break;
    }
    EXPECT_FALSE(PageHostsAgree(&page.site, &page.browser)) << variant;
    page.ExpectBalanced();
  }
}

TEST(CheckHostingPage, AModernBrowserOnAnAllowedPageIsGrantedOnTheHostsAlone) {
  for (const wchar_t* agent : {kMsie4, kNetscape}) {
    BrowserPage page(kPage, agent);
    page.page.location->SetString(L"href", L"http://www.example.com/");  // not looked at
    EXPECT_TRUE(Granted(page));
    EXPECT_EQ(0, page.page.top->gets);
  }
  BrowserPage foreign(L"http://www.example.com/", kMsie4);
  EXPECT_FALSE(Granted(foreign));
}

TEST(CheckHostingPage, AnOldBrowserNeedsTheTopWindowsOfTheOpenerChainOnAllowedHosts) {
  {
    BrowserPage page(kPage, kMsie3);
    EXPECT_TRUE(Granted(page));  // top window allowed, no opener
  }
  {
    BrowserPage page(kPage, kMsie3);
    page.page.location->SetString(L"href", L"http://www.example.com/frames.html");
    EXPECT_FALSE(Granted(page));  // the page sits in a foreign frame set
  }
  {
    BrowserPage page(kPage, kMsie3);
    page.AddOpeners(3, kMsie3, L"http://meadow.io/launch.html");
    EXPECT_TRUE(Granted(page));
  }
  {
    BrowserPage page(kPage, kMsie3);
    auto chain = page.AddOpeners(3, kMsie3, L"http://www.devlore.io/");
    chain[1].location->SetString(L"href", L"http://www.example.com/");
    EXPECT_FALSE(Granted(page));
  }
  {
    // An opener shown by a newer browser ends the walk with acceptance.
    BrowserPage page(kPage, kMsie3);
    auto chain = page.AddOpeners(2, kMsie3, L"http://www.example.com/");
    chain[0].location->SetString(L"href", L"http://www.devlore.io/");
    chain[1].navigator->SetString(L"userAgent", kMsie4);
    EXPECT_TRUE(Granted(page));
  }
  {
    // A null opener ends the walk as no opener does.
    BrowserPage page(kPage, kMsie3);
    page.page.top->SetOdd(L"opener", FakeDispatch::Kind::NullObject);
    EXPECT_TRUE(Granted(page));
  }
}

TEST(CheckHostingPage, TheOpenerWalkStopsAt255Steps) {
  {
    BrowserPage page(kPage, kMsie3);
    page.AddOpeners(254, kMsie3, L"http://www.devlore.io/");
    EXPECT_TRUE(Granted(page));
  }
  {
    BrowserPage page(kPage, kMsie3);
    page.AddOpeners(255, kMsie3, L"http://www.devlore.io/");
    EXPECT_FALSE(Granted(page));
  }
  {
    // Two windows that opened each other.
    BrowserPage page(kPage, kMsie3);
    auto chain = page.AddOpeners(1, kMsie3, L"http://www.devlore.io/");
    BrowserPage::Link(chain[0], page.page);
    EXPECT_FALSE(Granted(page));
    EXPECT_EQ(128, page.page.top->gets / 2);  // location and opener read on each visit
  }
}

TEST(CheckHostingPage, AMissingPieceAnywhereRefuses) {
  for (int variant = 0; variant < 10; ++variant) {
    BrowserPage page(kPage, kMsie3);
    switch (variant) {
      case 0: page.site.offersServices = false; break;
      case 1: page.site.browser = nullptr; break;
      case 2: page.browser.documentFails = true; break;
      case 3: page.browser.document = nullptr; break;
      case 4: page.document.Remove(L"script"); break;
      case 5: page.document.SetOdd(L"script", FakeDispatch::Kind::Number); break;
      case 6: page.page.window->Remove(L"top"); break;
      case 7: page.page.top->Remove(L"location"); break;
      case 8: page.page.location->Remove(L"href"); break;
      case 9: page.moniker.displayNameResult = E_OUTOFMEMORY; break;
    }
    EXPECT_FALSE(Granted(page)) << variant;
  }
}

// The loader, through the platform table, finds no WININET.DLL.
HMODULE WINAPI NoLibrary(LPCSTR) {
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

TEST(CheckHostingPage, WithoutWininetEveryPageIsRefused) {
  test::FakePlatform platform;
  platform.Api().loadLibraryA = &NoLibrary;
  for (const wchar_t* agent : {kMsie4, kMsie3}) {
    BrowserPage page(kPage, agent);
    EXPECT_FALSE(Granted(page));
  }
}

}  // namespace
}  // namespace devlore
