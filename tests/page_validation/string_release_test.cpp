// Strings taken on the way (URLs, the container's display name, user agents,
// addresses) are freed on every path. Automation strings reach the task
// allocator only with the string cache of OLE Automation switched off, which
// the platform reads at start-up: the parent run starts this program again with
// OANOCACHE set and the child runs the checks under a malloc spy.
#include <gtest/gtest.h>

#include <string>

#include "control/page_validation.h"
#include "control/page_validation_internal.h"
#include "control/site_lock.h"
#include "tests/page_validation/browser_page.h"
#include "tests/page_validation/task_memory_spy.h"

namespace devlore {
namespace {

using test::BrowserPage;
using test::FakeDispatch;
using test::kMsie3;
using test::kMsie4;

constexpr char kMarkVariable[] = "DEVLORE_STRING_RELEASE_MARK";

bool IsChild() { return GetEnvironmentVariableA("OANOCACHE", nullptr, 0) != 0; }

TEST(StringRelease, ChildRunWithoutTheStringCachePasses) {
  if (IsChild()) GTEST_SKIP() << "this is the child run";
  char self[MAX_PATH];
  ASSERT_NE(0u, GetModuleFileNameA(nullptr, self, MAX_PATH));
  char directory[MAX_PATH], mark[MAX_PATH];
  ASSERT_NE(0u, GetTempPathA(MAX_PATH, directory));
  ASSERT_NE(0u, GetTempFileNameA(directory, "pvs", 0, mark));
  std::string command = std::string("\"") + self + "\" --gtest_filter=StringReleaseChild.*";
  SetEnvironmentVariableA("OANOCACHE", "1");
  SetEnvironmentVariableA(kMarkVariable, mark);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const BOOL started =
      CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableA("OANOCACHE", nullptr);
  SetEnvironmentVariableA(kMarkVariable, nullptr);
  ASSERT_TRUE(started);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(0u, code);
  // The child leaves its mark once its checks have run, so an empty run cannot pass.
  char text[16] = {};
  GetPrivateProfileStringA("run", "done", "", text, sizeof(text), mark);
  EXPECT_STREQ("1", text);
  DeleteFileA(mark);
}

class StringReleaseChild : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!IsChild()) GTEST_SKIP() << "runs in the child";
    CoInitialize(nullptr);
  }
  void TearDown() override {
    if (IsChild()) CoUninitialize();
  }

  // Runs the gate for the page under the spy; every block handed out while it
  // ran has been freed when it returns.
  bool GrantedWithoutLeaks(BrowserPage& page) {
    test::TaskMemorySpy spy;
    EXPECT_TRUE(spy.Registered());
    SiteLock lock{};
    SiteLockSetClientSite(lock, &page.site);
    const bool granted = lock.accessGranted == 1;
    SiteLockRelease(lock);
    EXPECT_EQ(0u, spy.Live());
    page.ExpectBalanced();
    return granted;
  }
};

TEST_F(StringReleaseChild, EveryPathFreesItsStrings) {
  {
    BrowserPage page(L"http://www.devlore.io/", kMsie4);
    EXPECT_TRUE(GrantedWithoutLeaks(page));
  }
  {
    BrowserPage page(L"http://www.devlore.io/", kMsie3);
    page.AddOpeners(3, kMsie3, L"http://meadow.io/");
    EXPECT_TRUE(GrantedWithoutLeaks(page));
  }
  {
    BrowserPage page(L"http://www.devlore.io/", kMsie3);
    page.AddOpeners(2, kMsie3, L"http://www.example.com/");
    EXPECT_FALSE(GrantedWithoutLeaks(page));
  }
  for (int variant = 0; variant < 8; ++variant) {
    BrowserPage page(L"http://www.devlore.io/", kMsie3);
    switch (variant) {
      case 0: page.moniker.displayName = L"http://www.example.com/"; break;
      case 1: page.browser.url = L"http://www.example.com/"; break;
      case 2: page.moniker.displayName = L"not a url"; break;
      case 3: page.document.SetString(L"script", L"a string where a window belongs"); break;
      case 4: page.page.window->SetString(L"navigator", L"a string"); break;
      case 5: page.page.navigator->SetObject(L"userAgent", page.page.top); break;
      case 6: page.page.location->SetObject(L"href", page.page.top); break;
      case 7: page.page.top->SetString(L"opener", L"a string where a window belongs"); break;
    }
    const bool granted = GrantedWithoutLeaks(page);
    // A broken navigator only makes the browser count as old; a broken opener ends the walk.
    EXPECT_EQ(variant == 4 || variant == 5 || variant == 7, granted) << variant;
  }
  char mark[MAX_PATH];
  ASSERT_NE(0u, GetEnvironmentVariableA(kMarkVariable, mark, MAX_PATH));
  WritePrivateProfileStringA("run", "done", HasFailure() ? "0" : "1", mark);
}

}  // namespace
}  // namespace devlore
