#include <windows.h>
#include <oleauto.h>

#include "model/same_text.h"
#include "tools/benchmark/report_workload.h"

#include "devices/bios_device.h"
#include "devices/display_adapter_device.h"
#include "devices/hardware_keys.h"
#include "devices/logical_disk_device.h"
#include "devices/memory_device.h"
#include "devices/monitor_device.h"
#include "devices/processor_device.h"
#include "model/device_list.h"
#include "model/platform.h"
#include "tests/support/vxd_loader.h"
#include "tools/benchmark/statistics.h"

namespace bench {
namespace {

using devlore::PlatformApi;

PlatformApi g_variantTable;  // the table of the variant in force
PlatformApi g_traceTable;    // counting wrappers around g_variantTable
ProbeTrace* g_trace = nullptr;

bool IsDevice(LPCSTR name, const char* device) { return name && lstrcmpiA(name, device) == 0; }

void WINAPI PentiumClassSystemInfo(LPSYSTEM_INFO info) {
  devlore::RealPlatform().getSystemInfo(info);
  // Windows 98 reports every processor from the Pentium on as 586.
  if (info->dwProcessorType != PROCESSOR_INTEL_386 && info->dwProcessorType != PROCESSOR_INTEL_486 &&
      info->dwProcessorType != PROCESSOR_INTEL_PENTIUM)
    info->dwProcessorType = PROCESSOR_INTEL_PENTIUM;
}

HANDLE WINAPI RefuseClockProbe(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (IsDevice(name, "\\\\.\\PROCID.VXD")) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return devlore::test::VxdLoaderCreateFileA(name, access, share, security, disposition, flags, templateFile);
}

// Counting wrappers for the traced pass: which driver each handle belongs to.
struct OpenDriver {
  HANDLE handle;
  bool procid;
};
OpenDriver g_open[16];

OpenDriver* FindOpen(HANDLE handle) {
  for (OpenDriver& d : g_open)
    if (d.handle && d.handle == handle) return &d;
  return nullptr;
}

void WINAPI TraceSystemInfo(LPSYSTEM_INFO info) {
  g_variantTable.getSystemInfo(info);
  g_trace->processorType = info->dwProcessorType;
}

HANDLE WINAPI TraceCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile) {
  const bool procid = IsDevice(name, "\\\\.\\PROCID.VXD");
  const bool volq = IsDevice(name, "\\\\.\\VOLQ.VXD");
  if (procid) ++g_trace->procidOpens;
  if (volq) ++g_trace->volqOpens;
  HANDLE handle = g_variantTable.createFileA(name, access, share, security, disposition, flags, templateFile);
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr && (procid || volq)) {
    if (procid) ++g_trace->procidOpened;
    if (volq) ++g_trace->volqOpened;
    for (OpenDriver& d : g_open) {
      if (!d.handle) {
        d = OpenDriver{handle, procid};
        break;
      }
    }
  }
  return handle;
}

BOOL WINAPI TraceDeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                 DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  const BOOL ok = g_variantTable.deviceIoControl(device, code, input, inputSize, output, outputSize, returned,
                                                 overlapped);
  if (OpenDriver* d = FindOpen(device)) {
    ++(d->procid ? g_trace->procidRequests : g_trace->volqRequests);
    if (ok) ++(d->procid ? g_trace->procidAnswers : g_trace->volqAnswers);
  }
  return ok;
}

BOOL WINAPI TraceCloseHandle(HANDLE handle) {
  if (OpenDriver* d = FindOpen(handle)) *d = OpenDriver{};
  return g_variantTable.closeHandle(handle);
}

DWORD WINAPI TraceDriveStrings(DWORD size, LPSTR buffer) {
  ++g_trace->driveListCalls;
  return g_variantTable.getLogicalDriveStringsA(size, buffer);
}

UINT WINAPI TraceDriveType(LPCSTR root) {
  ++g_trace->driveTypeCalls;
  return g_variantTable.getDriveTypeA(root);
}

BOOL WINAPI TraceFreeSpace(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                           LPDWORD totalClusters) {
  ++g_trace->freeSpaceCalls;
  return g_variantTable.getDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

using FreeSpaceExProc = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
FreeSpaceExProc g_freeSpaceEx = nullptr;

BOOL WINAPI TraceFreeSpaceEx(LPCSTR root, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER free) {
  ++g_trace->freeSpaceCalls;
  return g_freeSpaceEx(root, available, total, free);
}

FARPROC WINAPI TraceProcAddress(HMODULE module, LPCSTR name) {
  FARPROC proc = g_variantTable.getProcAddress(module, name);
  if (proc && reinterpret_cast<ULONG_PTR>(name) > 0xFFFF && devlore::SameText(name, "GetDiskFreeSpaceExA")) {
    g_freeSpaceEx = reinterpret_cast<FreeSpaceExProc>(proc);
    return reinterpret_cast<FARPROC>(&TraceFreeSpaceEx);
  }
  return proc;
}

uint32_t TraceThunk(FARPROC qtThunk, uint32_t procedure16, uint16_t argument) {
  ++g_trace->thunkCalls;
  return g_variantTable.callThunk16(qtThunk, procedure16, argument);
}

std::string Narrow(BSTR text) {
  if (!text) return std::string();
  char buffer[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer - 1, nullptr, nullptr);
  return buffer;
}

ReportOutcome ReadReport(ProbeTrace* trace, ReportPhases* phases) {
  ReportOutcome outcome;
  Stopwatch watch;
  watch.Start();
  outcome.built = devlore::InitializeDeviceList();
  if (phases) phases->buildMs = watch.ElapsedMs();
  int32_t count = 0;
  devlore::DeviceObject** devices = nullptr;
  GetNumberOfDeviceObjects(&count);
  GetPointerToDeviceObjectArray(&devices);
  outcome.devices = count;
  for (int32_t i = 0; devices && i < count; ++i) {
    devlore::DeviceObject* device = devices[i];
    const bool cpu = trace && device->typeName && lstrcmpW(device->typeName, L"CPU") == 0;
    if (phases) watch.Start();
    for (uint32_t category = 0; category < device->categoryCount; ++category) {
      BSTR* table = nullptr;
      // As a client does: the table is for use only when GetCategory succeeded.
      if (!device->GetCategory(category, &table) || !table) {
        ++outcome.categoriesFailed;
        if (cpu) trace->cpuStatus = "values not available (GetCategory reported failure)";
        continue;
      }
      ++outcome.categoriesOk;
      for (uint32_t element = 0; element < device->elementCounts[category]; ++element) {
        const BSTR text = table[element];
        const UINT length = text ? SysStringLen(text) : 0;
        for (UINT k = 0; k < length; ++k) outcome.checksum = outcome.checksum * 31u + text[k];
        outcome.characters += length;
        ++outcome.elementsRead;
      }
      if (cpu) {
        trace->cpuStatus = "values available";
        trace->clockLine = Narrow(device->elementCounts[category] > 1 ? table[1] : nullptr);
      }
    }
    if (phases) {
      phases->deviceMs.push_back(watch.ElapsedMs());
      phases->deviceNames.push_back(Narrow(device->typeName));
    }
  }
  if (phases) watch.Start();
  devlore::TerminateDeviceList();
  if (phases) phases->terminateMs = watch.ElapsedMs();
  return outcome;
}

}  // namespace

const char* VariantName(ReportVariant variant) {
  switch (variant) {
    case ReportVariant::kAsShipped: return "report, as shipped";
    case ReportVariant::kNoClockProbe: return "report, Win98 view, no clock probe";
    case ReportVariant::kWithClockProbe: return "report, Win98 view, with clock probe";
  }
  return "?";
}

const char* VariantDescription(ReportVariant variant) {
  switch (variant) {
    case ReportVariant::kAsShipped:
      return "the real entry point table, unchanged (what this Wine gives the shipped library)";
    case ReportVariant::kNoClockProbe:
      return "processor type presented as Pentium class (586); probe drivers through a driver loader "
             "(Wine's own if it has one, else the 64-bit stand-in); opening PROCID.VXD refused at once";
    case ReportVariant::kWithClockProbe:
      return "as above, but PROCID.VXD is opened and measures the clock (about 1 ms of busy waiting)";
  }
  return "?";
}

void InstallVariant(ReportVariant variant) {
  if (variant == ReportVariant::kAsShipped) {
    devlore::SetPlatform(nullptr);
    return;
  }
  g_variantTable = devlore::RealPlatform();
  g_variantTable.getSystemInfo = &PentiumClassSystemInfo;
  devlore::test::UseVxdLoader(g_variantTable);
  if (variant == ReportVariant::kNoClockProbe) g_variantTable.createFileA = &RefuseClockProbe;
  devlore::SetPlatform(&g_variantTable);
}

void RemoveVariant() { devlore::SetPlatform(nullptr); }

ReportOutcome RunReport() { return ReadReport(nullptr, nullptr); }

ReportOutcome RunReportInPhases(ReportPhases* phases) {
  *phases = ReportPhases{};
  // The key search on its own, as the build runs it.
  char systemBoard[260] = {}, monitor[260] = {}, display[260] = {};
  Stopwatch watch;
  CoInitialize(nullptr);
  watch.Start();
  const int enumerated = devlore::EnumerateHardwareKeys();
  phases->enumerateKeysMs = watch.ElapsedMs();
  if (enumerated) {
    watch.Start();
    if (devlore::FindSystemBoardKey(systemBoard) && devlore::FindMonitorKey(monitor))
      devlore::FindDisplayKey(display);
    phases->findKeysMs = watch.ElapsedMs();
  }
  devlore::ReleaseHardwareKeys();

  // The drive scan and each device's creation on their own, as the build does them.
  watch.Start();
  char drives[260] = {};
  int fixed[26];
  int fixedCount = 0;
  const DWORD length = devlore::Platform().getLogicalDriveStringsA(sizeof drives, drives);
  for (const char* root = drives; length < sizeof drives && *root; root += lstrlenA(root) + 1) {
    if (devlore::Platform().getDriveTypeA(root) != DRIVE_FIXED) continue;
    const char letter = static_cast<char>(root[0] & ~0x20);
    if (letter >= 'A' && letter <= 'Z' && fixedCount < 26) fixed[fixedCount++] = letter - 'A';
  }
  phases->driveScanMs = watch.ElapsedMs();
  const auto time = [&](const std::string& name, auto create) {
    watch.Start();
    devlore::DeviceObject* device = create();
    phases->constructionMs.push_back(watch.ElapsedMs());
    phases->constructionNames.push_back(name);
    delete device;
  };
  for (int i = 0; i < fixedCount; ++i)
    time(std::string("Drive ") + static_cast<char>('A' + fixed[i]) + ":",
         [&] { return devlore::LogicalDiskDevice::Create(fixed[i]); });
  time("BIOS", [&] { return devlore::BiosDevice::Create(systemBoard); });
  time("CPU", [] { return devlore::ProcessorDevice::Create(); });
  time("Memory", [] { return devlore::MemoryDevice::Create(); });
  time("Monitor", [&] { return devlore::MonitorDevice::Create(monitor); });
  time("Primary Video Card", [&] { return devlore::DisplayAdapterDevice::Create(display); });
  CoUninitialize();
  return ReadReport(nullptr, phases);
}

ReportOutcome TraceReport(ReportVariant variant, ProbeTrace* trace) {
  if (variant == ReportVariant::kAsShipped) g_variantTable = devlore::RealPlatform();
  else InstallVariant(variant);
  *trace = ProbeTrace{};
  g_trace = trace;
  g_traceTable = g_variantTable;
  g_traceTable.getSystemInfo = &TraceSystemInfo;
  g_traceTable.createFileA = &TraceCreateFile;
  g_traceTable.deviceIoControl = &TraceDeviceIoControl;
  g_traceTable.closeHandle = &TraceCloseHandle;
  g_traceTable.callThunk16 = &TraceThunk;
  g_traceTable.getLogicalDriveStringsA = &TraceDriveStrings;
  g_traceTable.getDriveTypeA = &TraceDriveType;
  g_traceTable.getDiskFreeSpaceA = &TraceFreeSpace;
  g_traceTable.getProcAddress = &TraceProcAddress;
  devlore::SetPlatform(&g_traceTable);
  trace->registryCounted = StartRegistryCount();
  const ReportOutcome outcome = ReadReport(trace, nullptr);
  trace->registry = StopRegistryCount();
  devlore::SetPlatform(nullptr);
  g_trace = nullptr;
  return outcome;
}

}  // namespace bench
