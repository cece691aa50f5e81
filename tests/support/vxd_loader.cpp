#include "tests/support/vxd_loader.h"

#include "base/handles.h"

namespace devlore::test {
namespace {

typedef BOOL(WINAPI* DriverEntry)(DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                                  LPDWORD returned, LPOVERLAPPED overlapped);

struct DriverSlot {
  HANDLE handle;  // an unnamed event: a real, unique handle value of this process
  HMODULE module;
  DriverEntry entry;
};

constexpr int kMaxDrivers = 32;

struct LoaderState {
  LoaderState() { InitializeCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  DriverSlot slots[kMaxDrivers] = {};
};

LoaderState& State() {
  static LoaderState state;
  return state;
}

class Locked {
 public:
  Locked() { EnterCriticalSection(&State().lock); }
  ~Locked() { LeaveCriticalSection(&State().lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

bool EqualsIgnoringCase(const char* a, const char* b) { return lstrcmpiA(a, b) == 0; }

// The driver file name for a device name, as Wine forms it: a name without
// folders, either up to 8 characters without an extension (".VXD" is added) or
// up to 12 characters ending in ".vxd" in any case. False for anything else.
bool DriverFileName(LPCSTR name, char* file, size_t fileSize) {
  if (!name || name[0] != '\\' || name[1] != '\\' || name[2] != '.' || name[3] != '\\') return false;
  const char* device = name + 4;
  size_t length = 0;
  const char* dot = nullptr;
  for (const char* p = device; *p; ++p, ++length) {
    if (*p == '\\' || *p == '/') return false;
    if (*p == '.' && !dot) dot = p;
  }
  if (length == 0) return false;
  if (!dot) {
    if (length > 8 || length + 5 > fileSize) return false;
    lstrcpynA(file, device, static_cast<int>(fileSize));
    lstrcatA(file, ".VXD");
    return true;
  }
  if (length > 12 || length + 1 > fileSize || !EqualsIgnoringCase(dot, ".vxd")) return false;
  lstrcpynA(file, device, static_cast<int>(fileSize));
  return true;
}

// Loads the driver module from the current directory; null on failure.
HMODULE LoadFromCurrentDirectory(const char* file) {
  char path[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, path);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const size_t fileLength = lstrlenA(file);
  const bool separator = path[length - 1] != '\\';
  if (length + (separator ? 1 : 0) + fileLength + 1 > MAX_PATH) return nullptr;
  if (separator) lstrcatA(path, "\\");
  lstrcatA(path, file);
  return LoadLibraryA(path);
}

DriverSlot* FindSlot(HANDLE handle) {
  if (!handle || handle == INVALID_HANDLE_VALUE) return nullptr;
  for (DriverSlot& slot : State().slots) {
    if (slot.module && slot.handle == handle) return &slot;
  }
  return nullptr;
}

}  // namespace

HANDLE WINAPI VxdLoaderCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  HANDLE handle = CreateFileA(name, access, share, security, disposition, flags, templateFile);
  if (handle != INVALID_HANDLE_VALUE) return handle;
  const DWORD openError = GetLastError();
  char file[16];
  if (!DriverFileName(name, file, sizeof(file))) {
    SetLastError(openError);
    return INVALID_HANDLE_VALUE;
  }
  UniqueModule module(LoadFromCurrentDirectory(file));
  if (!module) {
    SetLastError(openError);
    return INVALID_HANDLE_VALUE;
  }
  Locked locked;
  for (DriverSlot& slot : State().slots) {
    if (slot.module) continue;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!event) return INVALID_HANDLE_VALUE;
    slot.handle = event;
    slot.entry = reinterpret_cast<DriverEntry>(GetProcAddress(module.Get(), "DeviceIoControl"));
    slot.module = module.Detach();
    SetLastError(ERROR_SUCCESS);
    return event;
  }
  SetLastError(ERROR_TOO_MANY_OPEN_FILES);
  return INVALID_HANDLE_VALUE;
}

BOOL WINAPI VxdLoaderDeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                     DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  // Held through the driver's answer, so that no other thread can unload the
  // module under it.
  Locked locked;
  DriverSlot* slot = FindSlot(device);
  if (!slot) return DeviceIoControl(device, code, input, inputSize, output, outputSize, returned, overlapped);
  if (HIWORD(code) != 0 || !slot->entry) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  return slot->entry(code, input, inputSize, output, outputSize, returned, overlapped);
}

BOOL WINAPI VxdLoaderCloseHandle(HANDLE handle) {
  Locked locked;
  DriverSlot* slot = FindSlot(handle);
  if (!slot) return CloseHandle(handle);
  CloseHandle(slot->handle);
  FreeLibrary(slot->module);
  *slot = DriverSlot{};
  return TRUE;
}

void UseVxdLoader(PlatformApi& api) {
  api.createFileA = &VxdLoaderCreateFileA;
  api.deviceIoControl = &VxdLoaderDeviceIoControl;
  api.closeHandle = &VxdLoaderCloseHandle;
}

namespace {
PlatformApi g_toolTable;
}  // namespace

void InstallVxdLoader() {
  g_toolTable = RealPlatform();
  UseVxdLoader(g_toolTable);
  SetPlatform(&g_toolTable);
}

void RemoveVxdLoader() { SetPlatform(nullptr); }

int OpenVxdHandleCount() {
  Locked locked;
  int count = 0;
  for (const DriverSlot& slot : State().slots) {
    if (slot.module) ++count;
  }
  return count;
}

}  // namespace devlore::test
