/* A native client written in C: it loads Devlore.DLL, builds the device list
   the way a page does (class object, host access code, InitializeDeviceObjects),
   then walks the list through the two exported functions and the documented
   object layout, calling the first two slots of a device's table directly.
   Prints each check and exits non-zero if any failed. */
#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <stdio.h>
#include <string.h>

#include "Devlore_h.h"

#if defined(__i386__)
#define DEVICE_SLOT_CALL __attribute__((thiscall))
#else
#define DEVICE_SLOT_CALL
#endif

/* What a native caller sees of a device. */
typedef struct DeviceView {
  void** table; /* slot 0: Format, slot 1: Collect */
  BSTR** categoryStrings;
  int collected;
  int formatted;
  unsigned int categoryCount;
  unsigned int* elementCounts;
  BSTR typeName;
} DeviceView;

typedef int(DEVICE_SLOT_CALL* DeviceSlot)(DeviceView* device);
typedef int(__cdecl* GetNumberOfDeviceObjectsFn)(int* count);
typedef int(__cdecl* GetPointerToDeviceObjectArrayFn)(DeviceView*** array);
typedef HRESULT(WINAPI* DllGetClassObjectFn)(REFCLSID, REFIID, void**);

static int g_failures = 0;

static void Check(int condition, const char* what) {
  printf("%s: %s\n", condition ? "ok  " : "FAIL", what);
  if (!condition) ++g_failures;
}

static int CountFixedDrives(void) {
  char drives[260];
  DWORD length = GetLogicalDriveStringsA(sizeof drives, drives);
  int fixed = 0;
  const char* root;
  if (length == 0 || length >= sizeof drives) return -1;
  for (root = drives; *root; root += strlen(root) + 1)
    if (GetDriveTypeA(root) == DRIVE_FIXED) ++fixed;
  return fixed;
}

/* Bytes in use in every heap of the process. */
static SIZE_T HeapBytesInUse(void) {
  HANDLE heaps[64];
  DWORD count = GetProcessHeaps(64, heaps), h;
  SIZE_T total = 0;
  if (count > 64) count = 64;
  for (h = 0; h < count; ++h) {
    PROCESS_HEAP_ENTRY entry;
    entry.lpData = NULL;
    if (!HeapLock(heaps[h])) continue;
    while (HeapWalk(heaps[h], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heaps[h]);
  }
  return total;
}

/* A native caller may call Format again: each call must give back the strings
   of the one before. 2,000 calls of a leaking Format would hold some 500 KB. */
static void CheckRepeatedFormatKeepsTheHeapFlat(DeviceView* device, const char* what) {
  DeviceSlot format = (DeviceSlot)device->table[0];
  SIZE_T before, after;
  int i, ok = 1;
  format(device);
  before = HeapBytesInUse();
  for (i = 0; i < 2000; ++i) ok &= format(device) == 1;
  after = HeapBytesInUse();
  if (after >= before + 16384) printf("      heap in use: %lu bytes before, %lu after\n", (unsigned long)before, (unsigned long)after);
  Check(ok && after < before + 16384, what);
}

static int TypeIs(DeviceView* device, const wchar_t* text) {
  return device->typeName && wcscmp(device->typeName, text) == 0;
}

static void CheckShape(DeviceView* device, const wchar_t* type, unsigned int categories, const unsigned int* counts,
                       const char* what) {
  unsigned int i;
  int ok = TypeIs(device, type) && device->categoryCount == categories && device->elementCounts != NULL;
  for (i = 0; ok && i < categories; ++i)
    if (counts[i] != 0 && device->elementCounts[i] != counts[i]) ok = 0;
  Check(ok, what);
}

int main(void) {
  static const wchar_t kHostAccessCode[] = L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F}";
  HMODULE dll;
  GetNumberOfDeviceObjectsFn getCount;
  GetPointerToDeviceObjectArrayFn getArray;
  DllGetClassObjectFn getClassObject;
  IClassFactory* factory = NULL;
  ISysInfo1* sysInfo = NULL;
  IOleObject* oleObject = NULL;
  VARIANT result;
  DeviceView** devices = (DeviceView**)1;
  int count = -1;
  int fixed;
  int i;

  dll = LoadLibraryA("Devlore.DLL");
  Check(dll != NULL, "Devlore.DLL loads");
  if (!dll) return 1;
  getCount = (GetNumberOfDeviceObjectsFn)GetProcAddress(dll, "GetNumberOfDeviceObjects");
  getArray = (GetPointerToDeviceObjectArrayFn)GetProcAddress(dll, "GetPointerToDeviceObjectArray");
  getClassObject = (DllGetClassObjectFn)GetProcAddress(dll, "DllGetClassObject");
  Check(getCount && getArray && getClassObject, "the exports are found by their undecorated names");
  if (!getCount || !getArray || !getClassObject) return 1;

  Check(getCount(&count) == 1 && count == 0, "before a build the count is 0");
  Check(getArray(&devices) == 1 && devices == NULL, "before a build the array is null");

  CoInitialize(NULL);
  Check(SUCCEEDED(getClassObject(&CLSID_SysInfo, &IID_IClassFactory, (void**)&factory)), "class object");
  if (!factory) return 1;
  Check(SUCCEEDED(IClassFactory_CreateInstance(factory, NULL, &IID_ISysInfo1, (void**)&sysInfo)), "SysInfo object");
  IClassFactory_Release(factory);
  if (!sysInfo) return 1;
  Check(SUCCEEDED(ISysInfo1_QueryInterface(sysInfo, &IID_IOleObject, (void**)&oleObject)), "IOleObject");
  if (!oleObject) return 1;
  Check(IOleObject_SetHostNames(oleObject, L"Devlore C client", kHostAccessCode) == S_OK,
        "the host access code opens the control");

  VariantInit(&result);
  Check(ISysInfo1_InitializeDeviceObjects(sysInfo, &result) == S_OK && result.vt == VT_I4 && result.lVal == 1,
        "InitializeDeviceObjects builds the list");

  fixed = CountFixedDrives();
  Check(getCount(&count) == 1 && fixed >= 0 && count == fixed + 5, "count = fixed drives + 5");
  Check(getArray(&devices) == 1 && devices != NULL, "the array is handed out");
  if (devices && count == fixed + 5) {
    static const unsigned int one4[] = {4}, one5[] = {5}, one6[] = {6}, one11[] = {11};
    static const unsigned int display[] = {2, 2, 2, 0};
    for (i = 0; i < fixed; ++i) {
      int ok = devices[i]->typeName && wcsncmp(devices[i]->typeName, L"Drive ", 6) == 0 &&
               devices[i]->categoryCount == 1 && devices[i]->elementCounts[0] == 5;
      Check(ok, "a logical disk device: \"Drive X:\", 1 category of 5");
    }
    CheckShape(devices[fixed], L"BIOS", 1, one4, "BIOS: 1 category of 4");
    CheckShape(devices[fixed + 1], L"CPU", 1, one5, "CPU: 1 category of 5");
    CheckShape(devices[fixed + 2], L"Memory", 1, one11, "Memory: 1 category of 11");
    CheckShape(devices[fixed + 3], L"Monitor", 1, one6, "Monitor: 1 category of 6");
    CheckShape(devices[fixed + 4], L"Primary Video Card", 4, display, "Primary Video Card: 4 categories of 2, 2, 2, n");
    Check(devices[fixed + 4]->elementCounts[3] >= 1, "the resolution category holds at least its header");

    /* Slot 1 is Collect, slot 0 is Format: call them as a native caller would. */
    {
      DeviceView* bios = devices[fixed];
      DeviceSlot collect = (DeviceSlot)bios->table[1];
      DeviceSlot format = (DeviceSlot)bios->table[0];
      Check(collect(bios) == 1, "the BIOS device's slot 1 (Collect) succeeds");
      Check(format(bios) == 1 && bios->formatted == 1, "its slot 0 (Format) succeeds and marks it formatted");
      Check(bios->categoryStrings && bios->categoryStrings[0] && bios->categoryStrings[0][0] &&
                wcscmp(bios->categoryStrings[0][0], L"BIOS Summary") == 0,
            "its first element reads \"BIOS Summary\"");
    }
    CheckRepeatedFormatKeepsTheHeapFlat(devices[fixed], "BIOS: Format again and again keeps the heap flat");
    CheckRepeatedFormatKeepsTheHeapFlat(devices[fixed + 4], "display adapter: Format again keeps the heap flat");
    if (fixed > 0) CheckRepeatedFormatKeepsTheHeapFlat(devices[0], "disk: Format again keeps the heap flat");
  }

  VariantInit(&result);
  Check(ISysInfo1_DeInitializeDeviceObjects(sysInfo, &result) == S_OK && result.lVal == 1, "tear-down reports 1");
  devices = (DeviceView**)1;
  Check(getCount(&count) == 1 && count == 0 && getArray(&devices) == 1 && devices == NULL,
        "after the tear-down the count is 0 and the array null");

  IOleObject_Release(oleObject);
  ISysInfo1_Release(sysInfo);
  CoUninitialize();
  printf("%d failed\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
