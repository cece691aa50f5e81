#pragma once
// The hosting page check behind the SysInfo access gate: it asks the browser
// that holds the control where the page comes from, compares that with the
// container's moniker, and, for browsers of the MSIE 3 generation, walks the
// page's top-level and opener windows. Nothing is reported to the container.
#include <windows.h>

namespace devlore {

struct SiteLock;

// Decides the access flag from lock.site, unless it has been decided already.
// Marks the decision taken first; every failure leaves access refused.
void CheckHostingPage(SiteLock& lock);

}  // namespace devlore
