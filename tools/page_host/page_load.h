#pragma once
// One load of a page, the way the browser makes it: the page's objects are
// created and sited, its scripts run with the objects, the window, the
// document and the elements as named items, Window_OnLoad (VBScript) and
// window.onload are fired, and everything is torn down again.
#include <windows.h>

#include <string>
#include <vector>

#include "tools/page_host/html_page.h"

namespace devlore::page_host {

struct PageOptions {
  std::wstring url;         // the page's address: LocationURL and location.href
  std::wstring monikerUrl;  // the container moniker's address
  std::wstring userAgent;
  std::wstring topUrl;      // the top window's address; empty: the page is its own top
  std::vector<std::wstring> openerUrls;  // the top window's opener, that one's opener, ...
  bool hostCode = false;    // present the host access code instead of being a browser
};

struct PageResult {
  std::wstring html;  // the page with the elements' contents after the scripts ran
  std::wstring text;  // what the page shows
  unsigned errors = 0;  // script errors and failures of the host
};

PageResult LoadPage(const HtmlPage& page, const PageOptions& options, HWND window);

}  // namespace devlore::page_host
