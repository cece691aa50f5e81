#pragma once
// Creation of SysInfo control objects, the class table's instance creator.
#include <windows.h>
#include <unknwn.h>

namespace devlore {

// outer null: a stand-alone object; otherwise an aggregatable object that
// delegates to outer and whose own non-delegating unknown answers the query.
// The new object is asked for iid; on anything but S_OK it is destroyed again.
[[nodiscard]] HRESULT CreateSysInfoObject(IUnknown* outer, REFIID iid, void** object);

}  // namespace devlore
