#pragma once
// The process-wide device list: one logical disk device per fixed drive, then
// the BIOS, processor, memory, monitor and display adapter devices.
#include <stdint.h>

#include "model/device_object.h"

namespace devlore {

// The fixed-drive table holds at most this many drives.
constexpr uint32_t kMaxFixedDrives = 64;

// Initialises COM for the thread, walks the hardware keys and builds the list.
// Returns 1 on success, 0 on failure (a scan failure still leaves a list).
int InitializeDeviceList();
// Destroys the list and uninitialises COM for the thread. Returns 1.
int TerminateDeviceList();

int BuildDeviceList();
int DestroyDeviceList();

// The live list (null while none exists) and its count (0 while none exists).
DeviceObject** DeviceListArray();
uint32_t DeviceListCount();

}  // namespace devlore

// Exported by name with the C calling convention for native callers. Each
// stores into the given pointer and returns 1; a null pointer returns 0.
extern "C" int __cdecl GetNumberOfDeviceObjects(int32_t* count);
extern "C" int __cdecl GetPointerToDeviceObjectArray(devlore::DeviceObject*** array);
