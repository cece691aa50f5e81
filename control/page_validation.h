#pragma once
// The hosting page check behind the SysInfo access gate: it asks the browser
// that holds the control where the page comes from, compares that with the
// container's moniker, and, for browsers of the MSIE 3 generation, walks the
// page's top-level and opener windows. Every operation answers true or false;
// nothing is reported to the container.
#include <windows.h>
#include <ole2.h>
#include <oaidl.h>
#include <exdisp.h>

#include "control/host_names.h"

namespace devlore {

struct SiteLock;

// The platform's longest URL (INTERNET_MAX_URL_LENGTH): the size of every buffer
// a host name is taken into.
constexpr DWORD kHostNameCapacity = 2084;

// Decides the access flag from lock.site, unless it has been decided already.
// Marks the decision taken first; every failure leaves access refused.
void CheckHostingPage(SiteLock& lock);

// The browser's current URL and the container moniker name the same non-empty
// host, and that host lies in an allowed domain.
bool PageHostsAgree(IOleClientSite* site, IWebBrowserApp* browser);

// The walk over the page's top and opener windows ends in acceptance.
bool WindowChainAllowed(IWebBrowserApp* browser);

// The window's navigator.userAgent can be read and does not name "; MSIE "
// followed by a major version of 3 or less.
bool IsModernBrowser(IDispatch* window);

// The window's location.href can be read, has a host name, and that host lies
// in an allowed domain.
bool TopWindowAllowed(IDispatch* window);

// Takes the host name out of url into host (capacity bytes) with
// InternetCrackUrlA of "<system directory>\WININET.DLL", loaded for this call
// and unloaded again. On failure host holds an empty text; a host name that
// does not fit with its terminator is a failure.
bool HostNameOf(const char* url, char* host, DWORD capacity);

// Reads the property name of object into result. Succeeds only when the call
// succeeds and result holds a non-null value of the given type (VT_DISPATCH or
// VT_BSTR); the caller then owns that value. On failure result is empty.
bool GetPropertyByName(IDispatch* object, LPCOLESTR name, VARTYPE type, VARIANT* result);

}  // namespace devlore
