#pragma once
// The class objects of the library: one IClassFactory per class table row,
// created on first demand and cached in the row until the module terminates.
#include <windows.h>
#include <unknwn.h>

#include "server/class_table.h"

namespace devlore {

// Makes a new class factory around instanceCreator and asks it for iid. On
// anything but S_OK the new object is destroyed again and *object is null.
[[nodiscard]] HRESULT CreateClassObject(InstanceCreator instanceCreator, REFIID iid, void** object);

// The work of DllGetClassObject: finds the first row of the module's class table
// that has a class-object creator and makes classId, creates its class object
// once (under the class-table lock) and queries it for iid.
// CLASS_E_CLASSNOTAVAILABLE when no row makes the class.
[[nodiscard]] HRESULT FindClassObject(REFCLSID classId, REFIID iid, void** object);

}  // namespace devlore
