// ISysInfo1: the scripting methods over the process-wide device list.
//
// Indices: every index argument is read with ReadIndexArgument (VT_I4 and
// anything that converts to it). A device, category or element index outside
// the current tables (a negative one, or any index while no list exists) gives
// DISP_E_BADINDEX; an index variant that gives no number gives its conversion
// error (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, DISP_E_BADVARTYPE). In both cases
// the output variants are left empty. A null output variant gives E_POINTER and
// nothing is written.
#include "control/lent_type_name.h"
#include "control/script_index.h"
#include "control/sysinfo_object.h"
#include "model/device_list.h"

namespace devlore {
namespace {

void SetI4(VARIANT* variant, LONG value) {
  V_VT(variant) = VT_I4;
  V_I4(variant) = value;
}

// The device at index, or null when the index lies outside the current list.
DeviceObject* DeviceAt(LONG index) {
  DeviceObject** devices = DeviceListArray();
  if (!devices || index < 0 || static_cast<uint32_t>(index) >= DeviceListCount()) return nullptr;
  return devices[index];
}

// The element count of a category, or false when the category does not exist.
bool CategoryElementCount(const DeviceObject& device, LONG category, uint32_t* count) {
  if (category < 0 || static_cast<uint32_t>(category) >= device.categoryCount || !device.elementCounts) return false;
  *count = device.elementCounts[category];
  return true;
}

// The start the indexed methods share: the access gate, the two output
// variants, then the index arguments in order, reading up to the first that
// fails. Both outputs are emptied once the arguments have been read.
HRESULT StartIndexedCall(bool granted, VARIANT* output, VARIANT* result, VARIANT* const* arguments, unsigned count,
                         LONG* indices) {
  if (!granted) return E_ACCESSDENIED;
  if (!output || !result) return E_POINTER;
  HRESULT read = S_OK;
  for (unsigned i = 0; i < count && SUCCEEDED(read); ++i) read = ReadIndexArgument(arguments[i], &indices[i]);
  VariantInit(output);
  VariantInit(result);
  return read;
}

}  // namespace

HRESULT ScriptingFacet::GetCatCountByIndex(VARIANT* pvarIndex, VARIANT* pvarCount, VARIANT* pvarResult) {
  LONG index;
  const HRESULT read = StartIndexedCall(Self()->AccessGranted(), pvarCount, pvarResult, &pvarIndex, 1, &index);
  if (FAILED(read)) return read;
  DeviceObject* device = DeviceAt(index);
  if (!device) return DISP_E_BADINDEX;
  SetI4(pvarCount, static_cast<LONG>(device->categoryCount));
  SetI4(pvarResult, 1);
  return S_OK;
}

HRESULT ScriptingFacet::GetDeviceTypeByIndex(VARIANT* pvarIndex, VARIANT* pvarDeviceType, VARIANT* pvarResult) {
  LONG index;
  const HRESULT read = StartIndexedCall(Self()->AccessGranted(), pvarDeviceType, pvarResult, &pvarIndex, 1, &index);
  if (FAILED(read)) return read;
  DeviceObject* device = DeviceAt(index);
  if (!device) return DISP_E_BADINDEX;
  // The client borrows the text, from a slot that outlives the list.
  BSTR* const lent = LendTypeName(device->typeName);
  if (!lent) return E_OUTOFMEMORY;
  V_VT(pvarDeviceType) = VT_BYREF | VT_BSTR;
  V_BSTRREF(pvarDeviceType) = lent;
  SetI4(pvarResult, 1);
  return S_OK;
}

HRESULT ScriptingFacet::GetElementsInCatByIndices(VARIANT* pvarDeviceIndex, VARIANT* pvarCatIndex,
                                                 VARIANT* pvarElementCount, VARIANT* pvarResult) {
  VARIANT* const arguments[] = {pvarDeviceIndex, pvarCatIndex};
  LONG indices[2];
  const HRESULT read = StartIndexedCall(Self()->AccessGranted(), pvarElementCount, pvarResult, arguments, 2, indices);
  if (FAILED(read)) return read;
  DeviceObject* device = DeviceAt(indices[0]);
  uint32_t count;
  if (!device || !CategoryElementCount(*device, indices[1], &count)) return DISP_E_BADINDEX;
  SetI4(pvarElementCount, static_cast<LONG>(count));
  SetI4(pvarResult, 1);
  return S_OK;
}

HRESULT ScriptingFacet::InitializeDeviceObjects(VARIANT* pvarResult) {
  if (!Self()->AccessGranted()) return E_ACCESSDENIED;
  if (!pvarResult) return E_POINTER;
  VariantInit(pvarResult);
  // The probe drivers are opened by file name alone: make their folder current.
  static const char kDriverFolder[] = "\\Qarbin\\Si";
  char folder[260];
  const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  if (length > 0 && length < sizeof folder - sizeof kDriverFolder) {
    lstrcatA(folder, kDriverFolder);
    SetCurrentDirectoryA(folder);
  }
  SetI4(pvarResult, InitializeDeviceList());
  return S_OK;
}

HRESULT ScriptingFacet::DeInitializeDeviceObjects(VARIANT* pvarResult) {
  if (!Self()->AccessGranted()) return E_ACCESSDENIED;
  if (!pvarResult) return E_POINTER;
  VariantInit(pvarResult);
  SetI4(pvarResult, TerminateDeviceList());
  return S_OK;
}

HRESULT ScriptingFacet::GetObjectCount(VARIANT* pvarCount) {
  if (!Self()->AccessGranted()) return E_ACCESSDENIED;
  if (!pvarCount) return E_POINTER;
  int32_t count = 0;
  GetNumberOfDeviceObjects(&count);
  SetI4(pvarCount, count);
  return S_OK;
}

HRESULT ScriptingFacet::GetSingleString(VARIANT* pvarObjectIndex, VARIANT* pvarCatIndex, VARIANT* pvarElementIndex,
                                       VARIANT* pvarString, VARIANT* pvarResult) {
  VARIANT* const arguments[] = {pvarObjectIndex, pvarCatIndex, pvarElementIndex};
  LONG indices[3];
  const HRESULT read = StartIndexedCall(Self()->AccessGranted(), pvarString, pvarResult, arguments, 3, indices);
  if (FAILED(read)) return read;
  const LONG deviceIndex = indices[0], categoryIndex = indices[1], elementIndex = indices[2];
  DeviceObject* device = DeviceAt(deviceIndex);
  uint32_t count;
  if (!device || !CategoryElementCount(*device, categoryIndex, &count) || elementIndex < 0 ||
      static_cast<uint32_t>(elementIndex) >= count) {
    return DISP_E_BADINDEX;
  }
  V_VT(pvarResult) = VT_I4;
  V_VT(pvarString) = VT_BSTR;
  V_BSTR(pvarString) = nullptr;
  BSTR* table = nullptr;
  if (device->GetCategory(static_cast<uint32_t>(categoryIndex), &table) && table) {
    // The element count may have been set by the device's own Collect: test again.
    if (static_cast<uint32_t>(elementIndex) < device->elementCounts[categoryIndex]) {
      const BSTR element = table[elementIndex];
      if (element) {
        BSTR copy = SysAllocStringLen(element, SysStringLen(element));
        if (!copy) {
          VariantInit(pvarString);
          VariantInit(pvarResult);
          return E_OUTOFMEMORY;
        }
        V_BSTR(pvarString) = copy;
      }
    }
  }
  V_I4(pvarResult) = 1;
  return S_OK;
}

HRESULT ScriptingFacet::IsVersionCompatible(short nMajorVersion, short nMinorVersion, short nBuildNumber,
                                           VARIANT_BOOL* pbResult) {
  if (!Self()->AccessGranted()) return E_ACCESSDENIED;
  if (!pbResult) return E_POINTER;
  *pbResult = VARIANT_FALSE;
  bool compatible = nMajorVersion <= 1 && nMinorVersion <= 1;
  if (compatible && nMajorVersion == 1 && nMinorVersion == 1) compatible = nBuildNumber <= 2;
  if (compatible) *pbResult = VARIANT_TRUE;
  return S_OK;
}

HRESULT ScriptingFacet::ValidateSession(LONG* pVal) {
  if (!pVal) return E_POINTER;
  OSVERSIONINFOA info;
  BYTE* bytes = reinterpret_cast<BYTE*>(&info);
  for (unsigned i = 0; i < sizeof info; ++i) bytes[i] = 0;
  info.dwOSVersionInfoSize = sizeof info;  // 148
  *pVal = (GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) ? 1 : 0;
  return S_OK;
}

}  // namespace devlore
