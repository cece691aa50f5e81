#include "control/page_validation.h"
#include "control/page_validation_internal.h"

#include <wininet.h>
#include <shlguid.h>

#include "base/com_ptr.h"
#include "base/handles.h"
#include "base/unique_array.h"
#include "control/allowed_domains.h"
#include "control/host_names.h"
#include "control/site_lock.h"
#include "model/platform.h"
#include "model/text.h"

namespace devlore {
namespace {

// The 32-bit layout of URL_COMPONENTSA is 60 bytes, the size the shipped library
// announces; other builds announce their own layout's size.
#if !defined(_WIN64)
static_assert(sizeof(URL_COMPONENTSA) == 60, "URL_COMPONENTSA must be 60 bytes");
#endif

using CrackUrlFunction = BOOL(WINAPI*)(LPCSTR url, DWORD urlLength, DWORD flags,
                                       LPURL_COMPONENTSA components);

// The opener walk gives up at this many steps.
constexpr unsigned kMaxOpenerSteps = 255;

// An ANSI copy (system code page) of a wide text; empty on a null text, a failed
// conversion or a failed allocation.
UniqueArray<char> ToAnsi(const wchar_t* text) {
  if (!text) return UniqueArray<char>();
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return UniqueArray<char>();
  UniqueArray<char> copy(new (std::nothrow) char[size]);
  if (!copy) return copy;
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, copy.Get(), size, nullptr, nullptr) != size) {
    return UniqueArray<char>();
  }
  copy[size - 1] = 0;
  return copy;
}

// An ANSI copy of an address that stands for exactly the same text. The
// conversion maps characters the code page lacks onto look-alikes ("d" with a
// macron, a fullwidth "d" or full stop become "d" and "."), which would put a
// foreign host into an allowed domain. Windows 95 has no flag to forbid that,
// so the copy is converted back and must give the original text again, and the
// default character must not have been used.
UniqueArray<char> ToExactAnsi(const wchar_t* text) {
  if (!text) return UniqueArray<char>();
  const int length = lstrlenW(text) + 1;
  BOOL usedDefault = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, &usedDefault);
  UniqueArray<char> copy(size > 0 && !usedDefault ? new (std::nothrow) char[size] : nullptr);
  UniqueArray<wchar_t> back(copy ? new (std::nothrow) wchar_t[length] : nullptr);
  if (!back || WideCharToMultiByte(CP_ACP, 0, text, length, copy.Get(), size, nullptr, &usedDefault) != size ||
      usedDefault || MultiByteToWideChar(CP_ACP, 0, copy.Get(), size, back.Get(), length) != length ||
      memcmp(back.Get(), text, length * sizeof(wchar_t)) != 0) {
    return UniqueArray<char>();
  }
  return copy;
}

// A host-name buffer of the platform's maximum URL length, holding an empty text.
UniqueArray<char> NewHostBuffer() {
  UniqueArray<char> buffer(new (std::nothrow) char[kHostNameCapacity]);
  if (buffer) buffer[0] = 0;
  return buffer;
}

// The host name of a wide URL into host (kHostNameCapacity bytes).
bool HostNameOfWide(const wchar_t* url, char* host) {
  UniqueArray<char> ansi = ToExactAnsi(url);
  if (!ansi || BackslashInAuthority(ansi.Get())) return false;
  return HostNameOf(ansi.Get(), host, kHostNameCapacity);
}

// Takes ownership of the object a successful GetPropertyByName left in value.
ComPtr<IDispatch> AdoptDispatch(VARIANT& value) {
  IDispatch* object = value.pdispVal;
  value.vt = VT_EMPTY;
  value.pdispVal = nullptr;
  return ComPtr<IDispatch>::Adopt(object);
}


// Reads the text property textName of the object held in objectName of owner
// (such as window.location.href); empty when either step fails.
UniqueBstr GetNestedText(IDispatch* owner, LPCOLESTR objectName, LPCOLESTR textName) {
  VARIANT value;
  if (!GetPropertyByName(owner, objectName, VT_DISPATCH, &value)) return UniqueBstr();
  const ComPtr<IDispatch> object = AdoptDispatch(value);
  if (!GetPropertyByName(object.Get(), textName, VT_BSTR, &value)) return UniqueBstr();
  // A successful read leaves the caller owning the string.
  return UniqueBstr(value.bstrVal);
}

}  // namespace

bool GetPropertyByName(IDispatch* object, LPCOLESTR name, VARTYPE type, VARIANT* result) {
  if (!result) return false;
  ZeroMemory(result, sizeof(*result));
  VariantInit(result);
  if (!object || !name) return false;

  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  DISPID member = DISPID_UNKNOWN;
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &member))) return false;

  DISPPARAMS noArguments = {nullptr, nullptr, 0, 0};
  const HRESULT hr = object->Invoke(member, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET,
                                    &noArguments, result, nullptr, nullptr);
  if (FAILED(hr)) {
    // A failed call owns nothing to hand back.
    VariantInit(result);
    return false;
  }
  // Only an object or a string of the kind the caller works with is a value:
  // anything else (a number, an empty or null variant) would otherwise be taken
  // for a pointer.
  bool present = false;
  if (result->vt == type) {
    if (type == VT_DISPATCH) present = result->pdispVal != nullptr;
    if (type == VT_BSTR) present = result->bstrVal != nullptr;
  }
  if (!present) {
    VariantClear(result);
    VariantInit(result);
  }
  return present;
}

bool HostNameOf(const char* url, char* host, DWORD capacity) {
  if (!host || capacity == 0) return false;
  host[0] = 0;
  if (!url) return false;

  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  if (!AppendText(path, MAX_PATH, "\\WININET.DLL")) return false;

  UniquePlatformModule wininet(Platform().loadLibraryA(path));
  if (!wininet.Get()) return false;
  const auto crack =
      reinterpret_cast<CrackUrlFunction>(Platform().getProcAddress(wininet.Get(), "InternetCrackUrlA"));
  if (!crack) return false;

  URL_COMPONENTSA components;
  ZeroMemory(&components, sizeof(components));
  components.dwStructSize = sizeof(components);
  components.lpszHostName = host;
  components.dwHostNameLength = capacity;
  if (!crack(url, 0, 0, &components)) {
    host[0] = 0;
    return false;
  }
  // The host name must lie within the buffer with its terminator; a name that
  // did not fit is refused rather than taken cut short.
  if (components.dwHostNameLength >= capacity || host[components.dwHostNameLength] != 0) {
    host[0] = 0;
    return false;
  }
  return true;
}

bool TopWindowAllowed(IDispatch* window) {
  const UniqueBstr address = GetNestedText(window, L"location", L"href");
  if (!address) return false;

  UniqueArray<char> host = NewHostBuffer();
  if (!host) return false;
  if (!HostNameOfWide(address.Get(), host.Get())) return false;
  return IsAllowedDomain(host.Get());
}

bool IsModernBrowser(IDispatch* window) {
  const UniqueBstr userAgent = GetNestedText(window, L"navigator", L"userAgent");
  if (!userAgent) return false;

  UniqueArray<char> ansi = ToAnsi(userAgent.Get());
  if (!ansi) return false;
  static const char kMsie[] = "; MSIE ";
  const char* found = FindText(ansi.Get(), kMsie);
  if (!found) return true;
  // The match is complete, so the byte after it is at most the terminator
  // (which, being 0, counts as an old version).
  const signed char major = static_cast<signed char>(found[sizeof(kMsie) - 1]);
  return major > '3';
}

bool WindowChainAllowed(IWebBrowserApp* browser) {
  if (!browser) return false;
  ComPtr<IDispatch> document;
  if (FAILED(browser->get_Document(document.Receive())) || !document) return false;
  VARIANT value;
  const bool read = GetPropertyByName(document.Get(), L"script", VT_DISPATCH, &value);
  document.Reset();
  if (!read) return false;
  ComPtr<IDispatch> window = AdoptDispatch(value);

  unsigned steps = 0;
  for (;;) {
    if (IsModernBrowser(window.Get())) return true;
    if (!GetPropertyByName(window.Get(), L"top", VT_DISPATCH, &value)) return false;
    window = AdoptDispatch(value);
    if (!TopWindowAllowed(window.Get())) return false;
    if (!GetPropertyByName(window.Get(), L"opener", VT_DISPATCH, &value)) return true;
    window = AdoptDispatch(value);
    if (++steps >= kMaxOpenerSteps) return false;
  }
}

bool PageHostsAgree(IOleClientSite* site, IWebBrowserApp* browser) {
  if (!site || !browser) return false;
  UniqueArray<char> pageHost = NewHostBuffer();
  UniqueArray<char> containerHost = NewHostBuffer();
  if (!pageHost || !containerHost) return false;

  {
    BSTR raw = nullptr;
    const HRESULT hr = browser->get_LocationURL(&raw);
    UniqueBstr url(SUCCEEDED(hr) ? raw : nullptr);
    if (!url) return false;
    if (!HostNameOfWide(url.Get(), pageHost.Get())) return false;
  }
  {
    ComPtr<IMoniker> moniker;
    if (FAILED(site->GetMoniker(OLEGETMONIKER_TEMPFORUSER, OLEWHICHMK_CONTAINER, moniker.Receive())) ||
        !moniker) {
      return false;
    }
    LPOLESTR raw = nullptr;
    const HRESULT hr = moniker->GetDisplayName(nullptr, nullptr, &raw);
    moniker.Reset();
    const UniqueTaskMemory displayName(SUCCEEDED(hr) ? raw : nullptr);
    if (!displayName) return false;
    if (!HostNameOfWide(static_cast<const wchar_t*>(displayName.Get()), containerHost.Get())) return false;
  }

  if (pageHost[0] == 0) return false;
  if (!SameText(pageHost.Get(), containerHost.Get())) return false;
  return IsAllowedDomain(pageHost.Get());
}

void CheckHostingPage(SiteLock& lock) {
  if (lock.decided) return;
  lock.decided = 1;
  lock.accessGranted = 0;
  // The check holds a reference of its own: the browser may call back into the
  // control and replace its site while the check is still using it.
  const ComPtr<IOleClientSite> site(lock.site);
  if (!site) return;

  ComPtr<IServiceProvider> services;
  if (FAILED(site->QueryInterface(IID_IServiceProvider, services.ReceiveVoid())) || !services) return;
  ComPtr<IWebBrowserApp> browser;
  const HRESULT hr = services->QueryService(SID_SWebBrowserApp, IID_IWebBrowserApp, browser.ReceiveVoid());
  services.Reset();
  if (FAILED(hr) || !browser) return;

  if (PageHostsAgree(site.Get(), browser.Get())) {
    lock.accessGranted = WindowChainAllowed(browser.Get()) ? 1 : 0;
  }
}

}  // namespace devlore
