#pragma once
// The control's side of the benchmark: the whole device report in this
// process, through the library's own objects (devlore_core), as a page's
// script drives it: build the device list, ask every device for every category
// through GetCategory, read every element string, tear the list down.
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/benchmark/registry_counter.h"

namespace bench {

// How the machine-dependent entry points (model/platform.h) are bound for a run.
enum class ReportVariant {
  // The real table, exactly as the shipped library binds it.
  kAsShipped,
  // The machine as Windows 98 would present it on this processor: the processor
  // type reads as Pentium class (64-bit Wine reports an x64 type, which the
  // processor device does not serve), and the probe drivers are reached through
  // a driver loader (the platform's own; on 64-bit Wine, which has none, the
  // 64-bit stand-in from tests/support/vxd_loader.h). The clock probe is refused
  // at once: opening PROCID.VXD fails without calling the platform.
  kNoClockProbe,
  // As kNoClockProbe, but PROCID.VXD is opened and asked for the clock.
  kWithClockProbe,
};

const char* VariantName(ReportVariant variant);
const char* VariantDescription(ReportVariant variant);

// What one pass read.
struct ReportOutcome {
  int built = 0;                 // InitializeDeviceList's result
  int32_t devices = 0;
  uint32_t categoriesOk = 0;     // GetCategory reported success
  uint32_t categoriesFailed = 0;  // GetCategory reported failure (table not read)
  uint32_t elementsRead = 0;
  uint64_t characters = 0;       // characters of all element strings read
  uint32_t checksum = 0;         // over every character read, so no read is skipped
};

// What the platform entry points saw during one traced pass.
struct ProbeTrace {
  DWORD processorType = 0;   // as presented to the processor device (0: not asked)
  int procidOpens = 0, procidOpened = 0, procidRequests = 0, procidAnswers = 0;
  int volqOpens = 0, volqOpened = 0, volqRequests = 0, volqAnswers = 0;
  int thunkCalls = 0;        // 16-bit calls (free system resources)
  // Drive calls through the entry point table: the drive list, drive types,
  // free space (GetDiskFreeSpaceA and the GetDiskFreeSpaceExA found at run time).
  int driveListCalls = 0, driveTypeCalls = 0, freeSpaceCalls = 0;
  RegistryCounts registry;   // counted at this program's import table
  bool registryCounted = false;
  std::string clockLine;     // the processor device's clock element, as shown
  std::string cpuStatus;     // whether the processor device's values were available
};

// Binds the entry points for a variant (process-wide) or back to the real table.
void InstallVariant(ReportVariant variant);
void RemoveVariant();

// One timed pass: build, read everything, tear down.
ReportOutcome RunReport();

// Where the time of one pass goes, for finding what is slow.
struct ReportPhases {
  double buildMs = 0;                  // InitializeDeviceList
  std::vector<std::string> deviceNames;
  std::vector<double> deviceMs;        // every GetCategory of one device and its reads
  double terminateMs = 0;              // TerminateDeviceList
  // Pieces of the build, timed in a separate pass of their own:
  double enumerateKeysMs = 0;          // EnumerateHardwareKeys (present device nodes)
  double findKeysMs = 0;               // FindSystemBoardKey, FindMonitorKey, FindDisplayKey
  double driveScanMs = 0;              // GetLogicalDriveStringsA and GetDriveTypeA of each drive
  std::vector<std::string> constructionNames;
  std::vector<double> constructionMs;  // each device's creation (the monitor and adapter collect in it)
};
ReportOutcome RunReportInPhases(ReportPhases* phases);

// One untimed pass of a variant with counting wrappers around the entry points.
ReportOutcome TraceReport(ReportVariant variant, ProbeTrace* trace);

}  // namespace bench
