#pragma once
// The steps of the hosting page check, apart from it so that tests can drive
// each one. Every step answers true or false. Nothing but the check and its
// tests uses them.
#include <windows.h>
#include <ole2.h>
#include <oaidl.h>
#include <exdisp.h>

namespace devlore {

// The platform's longest URL (INTERNET_MAX_URL_LENGTH): the size of every buffer
// a host name is taken into.
constexpr DWORD kHostNameCapacity = 2084;

// The browser's current URL and the container moniker name the same non-empty
// host, and that host lies in an allowed domain.
[[nodiscard]] bool PageHostsAgree(IOleClientSite* site, IWebBrowserApp* browser);

// The walk over the page's top and opener windows ends in acceptance.
[[nodiscard]] bool WindowChainAllowed(IWebBrowserApp* browser);

// The window's navigator.userAgent can be read and does not name "; MSIE "
// followed by a major version of 3 or less.
[[nodiscard]] bool IsModernBrowser(IDispatch* window);

// The window's location.href can be read, has a host name, and that host lies
// in an allowed domain.
[[nodiscard]] bool TopWindowAllowed(IDispatch* window);

// Takes the host name out of url into host (capacity bytes) with
// InternetCrackUrlA of "<system directory>\WININET.DLL", loaded for this call
// and unloaded again. On failure host holds an empty text; a host name that
// does not fit with its terminator is a failure.
[[nodiscard]] bool HostNameOf(const char* url, char* host, DWORD capacity);

// Reads the property name of object into result. Succeeds only when the call
// succeeds and result holds a non-null value of the given type (VT_DISPATCH or
// VT_BSTR); the caller then owns that value. On failure result is empty.
[[nodiscard]] bool GetPropertyByName(IDispatch* object, LPCOLESTR name, VARTYPE type, VARIANT* result);

}  // namespace devlore
