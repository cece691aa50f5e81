#include "control/site_lock.h"

#include "control/page_validation.h"

namespace devlore {
namespace {

// The container object name that opens the control to a non-browser host.
// Compared exactly: its letter case is part of the value.
const wchar_t kHostAccessCode[] = L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F}";
static_assert(sizeof(kHostAccessCode) / sizeof(kHostAccessCode[0]) == 39, "38 characters");

// Exact comparison of the wide code units. lstrcmpW compares linguistically
// (and is little more than a stub on Windows 95), so it is not used here.
bool SameWideText(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return false;
    if (*a == 0) return true;
  }
}

}  // namespace

void SiteLockSetClientSite(SiteLock& lock, IOleClientSite* site) {
  // The new reference is taken before the old one goes, so that handing in the
  // site already held never drops it to zero on the way.
  lock.site = site;
  if (site) CheckHostingPage(lock);
}

HRESULT SiteLockSetHostNames(SiteLock& lock, LPCOLESTR containerApp, LPCOLESTR containerObject) {
  (void)containerApp;
  if (!lock.decided) {
    lock.accessGranted = (containerObject && SameWideText(containerObject, kHostAccessCode)) ? 1 : 0;
    lock.decided = 1;
  }
  return lock.accessGranted ? S_OK : E_ACCESSDENIED;
}

void SiteLockRelease(SiteLock& lock) { lock.site.Reset(); }

}  // namespace devlore
