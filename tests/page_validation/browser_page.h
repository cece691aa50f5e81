#pragma once
// A whole page as the control sees it: the client site, the browser, the
// container moniker, the document and the page's windows. Windows are made with
// AddWindow (its navigator and its top window with a location); Link makes one
// window's top window opened by another.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/page_validation/browser_fakes.h"

namespace devlore::test {

constexpr wchar_t kMsie4[] = L"Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)";
constexpr wchar_t kMsie3[] = L"Mozilla/2.0 (compatible; MSIE 3.02; Update a; Windows 95)";
constexpr wchar_t kNetscape[] = L"Mozilla/4.7 [en] (Win98; I)";

struct Window {
  FakeDispatch* window;
  FakeDispatch* navigator;
  FakeDispatch* top;
  FakeDispatch* location;
};

class BrowserPage {
 public:
  // A page at url whose container moniker names the same address, shown by a
  // browser with the given user agent; the page's own top window is at url too.
  BrowserPage(const std::wstring& url, const std::wstring& userAgent) {
    site.browser = &browser;
    site.moniker = &moniker;
    browser.url = url;
    browser.document = &document;
    moniker.displayName = url;
    page = AddWindow(userAgent, url);
    document.SetObject(L"script", page.window);
  }

  // A window with its navigator, and its top window at topUrl.
  Window AddWindow(const std::wstring& userAgent, const std::wstring& topUrl) {
    Window w{New(), New(), New(), New()};
    w.window->SetObject(L"navigator", w.navigator);
    w.navigator->SetString(L"userAgent", userAgent);
    w.window->SetObject(L"top", w.top);
    w.top->SetObject(L"location", w.location);
    w.location->SetString(L"href", topUrl);
    return w;
  }

  // The top window of `opened` was opened by `opener`.
  static void Link(const Window& opened, const Window& opener) { opened.top->SetObject(L"opener", opener.window); }

  // A chain of `count` opener windows behind the page, each with its top at url.
  std::vector<Window> AddOpeners(size_t count, const std::wstring& userAgent, const std::wstring& url) {
    std::vector<Window> chain;
    Window previous = page;
    for (size_t i = 0; i < count; ++i) {
      Window next = AddWindow(userAgent, url);
      Link(previous, next);
      chain.push_back(next);
      previous = next;
    }
    return chain;
  }

  FakeDispatch* New() {
    objects_.push_back(std::make_unique<FakeDispatch>());
    return objects_.back().get();
  }

  // Every reference handed out on the way has been given back.
  void ExpectBalanced() const {
    EXPECT_EQ(1, site.refs) << "site";
    EXPECT_EQ(1, browser.refs) << "browser";
    EXPECT_EQ(1, moniker.refs) << "moniker";
    EXPECT_EQ(1, document.refs) << "document";
    for (size_t i = 0; i < objects_.size(); ++i) EXPECT_EQ(1, objects_[i]->refs) << "script object " << i;
  }

  FakeSite site;
  FakeBrowser browser;
  FakeMoniker moniker;
  FakeDispatch document;
  Window page{};

 private:
  std::vector<std::unique_ptr<FakeDispatch>> objects_;
};

}  // namespace devlore::test
