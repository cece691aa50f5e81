#pragma once
// The access gate of the SysInfo control. The control object holds one
// SiteLock in its state and routes IOleObject::SetClientSite and
// IOleObject::SetHostNames through the functions below. The access decision
// is taken once, at the first non-null client site (the hosting page check) or
// at the first SetHostNames (the host access code), and never changes again.
#include <windows.h>
#include <ole2.h>

#include "base/com_ptr.h"

namespace devlore {

// All zero when the control is constructed (value-initialise it). The control calls SiteLockRelease when it is destroyed.
struct SiteLock {
  ComPtr<IOleClientSite> site;  // the last site given
  LONG accessGranted;    // 1 = the scripting methods may run
  LONG decided;          // 1 once the decision has been taken; never reset
};

// IOleObject::SetClientSite, first half: releases the previous site, keeps the
// new one (with a reference added) and, for a non-null site, runs the hosting
// page check if nothing has been decided yet. The control then runs its standard
// SetClientSite handling with the same pointer and returns that result; the
// outcome of the check is never reported here.
void SiteLockSetClientSite(SiteLock& lock, IOleClientSite* site);

// IOleObject::SetHostNames, the whole method: the first decision compares
// containerObject with the host access code (exact, case-sensitive; null does
// not match); containerApp is not looked at. Returns S_OK while access is
// granted, else E_ACCESSDENIED. The standard SetHostNames handling is not run.
[[nodiscard]] HRESULT SiteLockSetHostNames(SiteLock& lock, LPCOLESTR containerApp, LPCOLESTR containerObject);

// Releases the kept site (at the control's destruction). The decision stays.
void SiteLockRelease(SiteLock& lock);

// Non-zero while access is granted (what the scripting methods test).
[[nodiscard]] inline bool SiteLockAccessGranted(const SiteLock& lock) { return lock.accessGranted != 0; }

}  // namespace devlore
