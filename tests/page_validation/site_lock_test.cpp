#include "control/site_lock.h"

#include <gtest/gtest.h>

#include "tests/page_validation/browser_page.h"

namespace devlore {
namespace {

using test::BrowserPage;
using test::kMsie4;

constexpr wchar_t kCode[] = L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F}";
constexpr wchar_t kGoodPage[] = L"http://www.devlore.io/";
constexpr wchar_t kForeignPage[] = L"http://www.example.com/";

TEST(SiteLock, StartsUndecidedAndANullSiteDecidesNothing) {
  SiteLock lock{};
  EXPECT_FALSE(SiteLockAccessGranted(lock));
  SiteLockSetClientSite(lock, nullptr);
  EXPECT_EQ(0, lock.decided);
  EXPECT_EQ(nullptr, lock.site.Get());

  BrowserPage page(kGoodPage, kMsie4);
  SiteLockSetClientSite(lock, &page.site);
  EXPECT_EQ(1, lock.decided);
  EXPECT_TRUE(SiteLockAccessGranted(lock));
  SiteLockRelease(lock);
  page.ExpectBalanced();
}

TEST(SiteLock, KeepsOneCountedReferenceToTheLastSite) {
  BrowserPage first(kGoodPage, kMsie4), second(kForeignPage, kMsie4);
  SiteLock lock{};
  SiteLockSetClientSite(lock, &first.site);
  EXPECT_EQ(&first.site, lock.site.Get());
  EXPECT_EQ(2, first.site.refs);
  SiteLockSetClientSite(lock, &second.site);
  EXPECT_EQ(1, first.site.refs);
  EXPECT_EQ(2, second.site.refs);
  SiteLockSetClientSite(lock, &second.site);  // the same site again
  EXPECT_EQ(2, second.site.refs);
  SiteLockSetClientSite(lock, nullptr);
  EXPECT_EQ(1, second.site.refs);
  EXPECT_EQ(nullptr, lock.site.Get());
  SiteLockSetClientSite(lock, &first.site);
  SiteLockRelease(lock);
  SiteLockRelease(lock);  // nothing left to release
  EXPECT_EQ(nullptr, lock.site.Get());
  first.ExpectBalanced();
  second.ExpectBalanced();
}

TEST(SiteLock, TheFirstPageCheckIsFinal) {
  BrowserPage good(kGoodPage, kMsie4), foreign(kForeignPage, kMsie4);
  {
    SiteLock lock{};
    SiteLockSetClientSite(lock, &foreign.site);
    EXPECT_FALSE(SiteLockAccessGranted(lock));
    SiteLockSetClientSite(lock, &good.site);
    EXPECT_FALSE(SiteLockAccessGranted(lock));
    EXPECT_EQ(0, good.site.pageChecks);  // the check did not run again
    SiteLockRelease(lock);
  }
  {
    SiteLock lock{};
    SiteLockSetClientSite(lock, &good.site);
    EXPECT_TRUE(SiteLockAccessGranted(lock));
    const int checks = foreign.site.pageChecks;
    SiteLockSetClientSite(lock, &foreign.site);
    EXPECT_TRUE(SiteLockAccessGranted(lock));
    EXPECT_EQ(checks, foreign.site.pageChecks);
    SiteLockRelease(lock);
  }
  good.ExpectBalanced();
  foreign.ExpectBalanced();
}

// The browser takes the site away from the control while the check runs: the
// check keeps the site alive with a reference of its own and still decides.
TEST(SiteLock, ASiteReplacedDuringTheCheckStaysAliveUntilTheCheckEnds) {
  BrowserPage page(kGoodPage, kMsie4);
  SiteLock lock{};
  static LONG refsAfterReplacement;
  refsAfterReplacement = 0;
  page.site.callbackContext = &lock;
  page.site.onQueryService = [](test::FakeSite* site, void* context) {
    SiteLockSetClientSite(*static_cast<SiteLock*>(context), nullptr);
    refsAfterReplacement = site->refs;
  };
  SiteLockSetClientSite(lock, &page.site);
  EXPECT_GE(refsAfterReplacement, 3);  // the test's, the check's, and the service provider's
  EXPECT_EQ(nullptr, lock.site.Get());
  EXPECT_TRUE(SiteLockAccessGranted(lock));
  page.ExpectBalanced();
}

TEST(SiteLock, TheHostAccessCodeFirstGrantsForGood) {
  BrowserPage foreign(kForeignPage, kMsie4);
  SiteLock lock{};
  EXPECT_EQ(S_OK, SiteLockSetHostNames(lock, L"Container", kCode));
  EXPECT_EQ(1, lock.decided);
  EXPECT_TRUE(SiteLockAccessGranted(lock));
  SiteLockSetClientSite(lock, &foreign.site);
  EXPECT_TRUE(SiteLockAccessGranted(lock));
  EXPECT_EQ(0, foreign.site.pageChecks);
  EXPECT_EQ(S_OK, SiteLockSetHostNames(lock, nullptr, L"anything"));
  SiteLockRelease(lock);
  foreign.ExpectBalanced();
}

TEST(SiteLock, AnyOtherNameFirstRefusesForGood) {
  const wchar_t* others[] = {
      nullptr,
      L"",
      L"Container",
      L"{7c3e5a91-b46d-42e8-a1f7-5d09c2e84b3f}",   // letter case differs
      L"{7C3E5A91-B46D-42E8-A1F7-5D09C2E84B3F}",   // third group upper case
      L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F",    // a character short
      L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F}x",  // a character more
      L"7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F",
  };
  for (const wchar_t* name : others) {
    SiteLock lock{};
    EXPECT_EQ(E_ACCESSDENIED, SiteLockSetHostNames(lock, kCode, name));
    EXPECT_EQ(1, lock.decided);
    EXPECT_EQ(E_ACCESSDENIED, SiteLockSetHostNames(lock, nullptr, kCode));
    BrowserPage good(kGoodPage, kMsie4);
    SiteLockSetClientSite(lock, &good.site);
    EXPECT_FALSE(SiteLockAccessGranted(lock));
    SiteLockRelease(lock);
    good.ExpectBalanced();
  }
}

TEST(SiteLock, SetHostNamesAfterASiteReportsThePageCheck) {
  BrowserPage good(kGoodPage, kMsie4), foreign(kForeignPage, kMsie4);
  SiteLock granted{}, refused{};
  SiteLockSetClientSite(granted, &good.site);
  SiteLockSetClientSite(refused, &foreign.site);
  EXPECT_EQ(S_OK, SiteLockSetHostNames(granted, nullptr, nullptr));
  EXPECT_EQ(S_OK, SiteLockSetHostNames(granted, L"App", L"not the code"));
  EXPECT_EQ(E_ACCESSDENIED, SiteLockSetHostNames(refused, L"App", kCode));
  EXPECT_FALSE(SiteLockAccessGranted(refused));
  SiteLockRelease(granted);
  SiteLockRelease(refused);
  good.ExpectBalanced();
  foreign.ExpectBalanced();
}

}  // namespace
}  // namespace devlore
