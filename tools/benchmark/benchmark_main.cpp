// Measures, on the Wine it runs on, how long the whole device report takes in
// process through the library's own objects, and how long the same kinds of
// information take through WMI's in-process queries. Every measurement runs
// N times, interleaved (one run of each per round), after a few warm-up rounds
// that are not counted; the table gives the percentiles of each.
// Usage: devlore_benchmark [--runs N] [--warmup W] [--blocks] [--driver-folder DIR]
//   --blocks         all runs of one measurement before the next, instead of
//                    one run of each per round
//   --wine-pids      Unix process ids of the Wine server and the prefix's system
//                    processes, whose processor time is counted with this
//                    process's (tools/benchmark.sh passes them)
//   --host-mhz       the host's clock from /proc/cpuinfo (tools/benchmark.sh
//                    passes it): the clock requests' answers are compared with it
//   --driver-folder  the folder made current before the runs, where a driver
//                    loader finds PROCID.VXD and VOLQ.VXD (default: "\Qarbin\Si"
//                    below the Windows directory, as the control uses it)
#include <windows.h>
#include <wbemcli.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "model/platform.h"
#include "tools/benchmark/cpu_meter.h"
#include "tools/benchmark/report_workload.h"
#include "tools/benchmark/statistics.h"
#include "tools/benchmark/wmi_workload.h"

namespace {

using bench::ReportVariant;

// The measurements in the order they are made and printed: the three report
// variants, then WMI connecting in every run, then WMI connected once.
constexpr size_t kReportVariants = 3;
constexpr size_t kWmiConnectEachRun = 3;
constexpr size_t kWmiConnectedOnce = 4;

struct Measurement {
  std::string name;
  std::function<bool()> run;  // one run; false when its work failed
  std::vector<double> samples;
  double coldMs = 0;
  int failedRuns = 0;
  double cpuOwnMs = 0;   // processor time over the counted runs: this process
  double cpuWineMs = 0;  // and the Wine processes named by --wine-pids
};

const char* WineVersion() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  using Proc = const char*(CDECL*)();
  Proc proc = ntdll ? reinterpret_cast<Proc>(GetProcAddress(ntdll, "wine_get_version")) : nullptr;
  return proc ? proc() : "not Wine";
}

std::string DefaultDriverFolder() {
  char folder[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
  if (length == 0 || length + 12 >= MAX_PATH) return std::string();
  return std::string(folder) + "\\Qarbin\\Si";
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void PrintRow(const char* name, const bench::Summary& s, double cold) {
  std::printf("%-40s %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %11.3f\n", name, s.median, s.minimum, s.p10, s.p90,
              s.p99, s.maximum, s.mean, cold);
}

std::string HexResult(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

void PrintReportDetail(ReportVariant variant, int runs) {
  std::vector<double> enumerate, find, scan, build, terminate;
  std::vector<std::vector<double>> devices, constructions;
  std::vector<std::string> names, constructionNames;
  bench::InstallVariant(variant);
  for (int round = 0; round < runs; ++round) {
    bench::ReportPhases phases;
    bench::RunReportInPhases(&phases);
    enumerate.push_back(phases.enumerateKeysMs);
    find.push_back(phases.findKeysMs);
    scan.push_back(phases.driveScanMs);
    build.push_back(phases.buildMs);
    terminate.push_back(phases.terminateMs);
    if (devices.size() < phases.deviceMs.size()) devices.resize(phases.deviceMs.size());
    for (size_t d = 0; d < phases.deviceMs.size(); ++d) devices[d].push_back(phases.deviceMs[d]);
    names = phases.deviceNames;
    if (constructions.size() < phases.constructionMs.size()) constructions.resize(phases.constructionMs.size());
    for (size_t d = 0; d < phases.constructionMs.size(); ++d) constructions[d].push_back(phases.constructionMs[d]);
    constructionNames = phases.constructionNames;
  }
  bench::RemoveVariant();
  const auto list = [](const std::vector<std::string>& labels, const std::vector<std::vector<double>>& times) {
    for (size_t d = 0; d < times.size(); ++d)
      std::printf("%s %s %.3f", d ? ";" : "", d < labels.size() ? labels[d].c_str() : "?",
                  bench::Summarize(times[d]).median);
    std::printf("\n");
  };
  std::printf("\nReport detail, %s (medians of %d runs, ms):\n", bench::VariantName(variant), runs);
  std::printf("  InitializeDeviceList %.3f, TerminateDeviceList %.3f\n", bench::Summarize(build).median,
              bench::Summarize(terminate).median);
  std::printf("  pieces of the build, timed apart: hardware key enumeration %.3f; key searches %.3f; drive scan %.3f\n",
              bench::Summarize(enumerate).median, bench::Summarize(find).median, bench::Summarize(scan).median);
  std::printf("  creation per device, timed apart:");
  list(constructionNames, constructions);
  std::printf("  GetCategory of every category and reading its strings, per device:");
  list(names, devices);
}

// The clock request on its own: PROCID.VXD opened through the driver loader of
// the Win98 view, asked `runs` times; each answer is compared with the host's
// clock as Linux states it.
void PrintClockRequests(int runs, double hostMhz) {
  bench::InstallVariant(ReportVariant::kWithClockProbe);
  const devlore::PlatformApi& api = devlore::Platform();
  HANDLE driver = api.createFileA("\\\\.\\PROCID.VXD", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (driver == INVALID_HANDLE_VALUE || !driver) {
    std::printf("\nClock request: PROCID.VXD could not be opened (error %lu)\n", GetLastError());
    bench::RemoveVariant();
    return;
  }
  std::vector<double> times;
  double worst = 0;
  DWORD lowest = 0xFFFFFFFFu, highest = 0;
  int failed = 0;
  bench::Stopwatch watch;
  for (int i = 0; i < runs; ++i) {
    DWORD megahertz = 0, returned = 0;
    watch.Start();
    const BOOL ok = api.deviceIoControl(driver, 1, nullptr, 0, &megahertz, sizeof megahertz, &returned, nullptr);
    times.push_back(watch.ElapsedMs());
    if (!ok) {
      ++failed;
      continue;
    }
    if (megahertz < lowest) lowest = megahertz;
    if (megahertz > highest) highest = megahertz;
    if (hostMhz > 0) {
      const double error = megahertz > hostMhz ? megahertz - hostMhz : hostMhz - megahertz;
      if (error > worst) worst = error;
    }
  }
  api.closeHandle(driver);
  bench::RemoveVariant();
  const bench::Summary s = bench::Summarize(times);
  std::printf("\nClock request (PROCID.VXD code 1, %d requests, %d failed): median %.3f ms (p10 %.3f, p90 %.3f, "
              "max %.3f); answers %lu .. %lu MHz",
              runs, failed, s.median, s.p10, s.p90, s.maximum, static_cast<unsigned long>(lowest),
              static_cast<unsigned long>(highest));
  if (hostMhz > 0) std::printf("; /proc/cpuinfo %.3f MHz, largest error %.3f MHz", hostMhz, worst);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 200, warmup = 3;
  bool blocks = false;
  double hostMhz = 0;
  std::vector<unsigned> winePids;
  std::string driverFolder = DefaultDriverFolder();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
    else if (arg == "--warmup" && i + 1 < argc) warmup = std::atoi(argv[++i]);
    else if (arg == "--driver-folder" && i + 1 < argc) driverFolder = argv[++i];
    else if (arg == "--blocks") blocks = true;
    else if (arg == "--host-mhz" && i + 1 < argc) hostMhz = std::atof(argv[++i]);
    else if (arg == "--wine-pids" && i + 1 < argc) {
      for (const char* p = argv[++i]; *p;) {
        char* end = nullptr;
        const unsigned long pid = std::strtoul(p, &end, 10);
        if (end == p) break;
        if (pid) winePids.push_back(static_cast<unsigned>(pid));
        p = *end ? end + 1 : end;
      }
    }
    else {
      std::fprintf(stderr, "usage: devlore_benchmark [--runs N] [--warmup W] [--blocks] [--wine-pids P,P,...]\n"
                           "                         [--host-mhz MHZ] [--driver-folder DIR]\n");
      return 2;
    }
  }
  if (runs < 1 || warmup < 0) {
    std::fprintf(stderr, "devlore_benchmark: --runs must be at least 1 and --warmup at least 0\n");
    return 2;
  }

  // The page's thread has COM initialised long before the control runs; the
  // list's own CoInitialize and CoUninitialize then only nest inside this one.
  CoInitialize(nullptr);

  SYSTEM_INFO system = {};
  GetNativeSystemInfo(&system);
  SYSTEMTIME now = {};
  GetSystemTime(&now);
  std::printf("Devlore benchmark, %04u-%02u-%02u %02u:%02u UTC\n", now.wYear, now.wMonth, now.wDay, now.wHour,
              now.wMinute);
  std::printf("build: %s; Wine: %s; processors: %lu; runs per measurement: %d (after %d warm-up runs), %s\n",
              sizeof(void*) == 8 ? "x86_64" : "i686", WineVersion(),
              static_cast<unsigned long>(system.dwNumberOfProcessors), runs, warmup,
              blocks ? "in blocks (all runs of one measurement, then the next)"
                     : "interleaved (one run of each measurement per round)");
  const bool driversPresent =
      FileExists(driverFolder + "\\PROCID.VXD") && FileExists(driverFolder + "\\VOLQ.VXD");
  if (!driverFolder.empty() && SetCurrentDirectoryA(driverFolder.c_str()))
    std::printf("current directory: %s (probe drivers %s)\n", driverFolder.c_str(),
                driversPresent ? "present" : "NOT present");
  else
    std::printf("current directory: could not change to %s; probe drivers will not be found\n",
                driverFolder.c_str());

  const ReportVariant variants[kReportVariants] = {ReportVariant::kAsShipped, ReportVariant::kNoClockProbe,
                                    ReportVariant::kWithClockProbe};
  std::vector<bench::ReportOutcome> expected;
  std::vector<Measurement> measurements;
  for (ReportVariant variant : variants) {
    const size_t index = expected.size();
    expected.push_back(bench::ReportOutcome{});
    measurements.push_back(Measurement{bench::VariantName(variant), [variant, index, &expected]() {
                                         bench::InstallVariant(variant);
                                         const bench::ReportOutcome o = bench::RunReport();
                                         bench::RemoveVariant();
                                         const bench::ReportOutcome& e = expected[index];
                                         return o.devices == e.devices && o.elementsRead == e.elementsRead &&
                                                o.devices > 0;
                                       }});
  }
  std::vector<double> connectMs;
  measurements.push_back(Measurement{"WMI, connect in every run", [&connectMs]() {
                                       double ms = 0;
                                       const bench::WmiPassOutcome o = bench::RunWmiWithConnect(false, &ms);
                                       connectMs.push_back(ms);
                                       if (FAILED(o.connectResult)) return false;
                                       for (const auto& q : o.queries)
                                         if (FAILED(q.result)) return false;
                                       return true;
                                     }});
  devlore::ComPtr<IWbemServices> services;
  std::vector<std::vector<double>> queryMs(bench::WmiQueries().size());
  measurements.push_back(Measurement{"WMI, connected once", [&services, &queryMs]() {
                                       if (!services) return false;
                                       bench::WmiPassOutcome o;
                                       std::vector<double> times;
                                       bench::RunWmiQueries(services.Get(), &o, &times, false);
                                       for (size_t q = 0; q < times.size() && q < queryMs.size(); ++q)
                                         queryMs[q].push_back(times[q]);
                                       for (const auto& q : o.queries)
                                         if (FAILED(q.result)) return false;
                                       return true;
                                     }});

  // The first run of each, timed on its own: it pays for first use (modules
  // loaded, registry and caches warmed). The connection for "connected once"
  // is made just before its first run, outside the timing.
  bench::Stopwatch watch;
  for (size_t m = 0; m < measurements.size(); ++m) {
    if (m == kWmiConnectedOnce) {
      const HRESULT hr = bench::ConnectWmi(services.Receive());
      if (FAILED(hr)) std::printf("WMI connection failed: %s\n", HexResult(hr).c_str());
    }
    // The report's expectations come from the traced runs below, so the
    // result of a cold run is not judged.
    watch.Start();
    measurements[m].run();
    measurements[m].coldMs = watch.ElapsedMs();
  }
  connectMs.clear();
  for (auto& q : queryMs) q.clear();

  std::printf("\nWhat each report variant did (one traced run, not timed):\n");
  bool reportBuilt = true;
  bool clockProbeMade[kReportVariants] = {};
  for (size_t v = 0; v < kReportVariants; ++v) {
    bench::ProbeTrace trace;
    expected[v] = bench::TraceReport(variants[v], &trace);
    clockProbeMade[v] = trace.procidRequests > 0;
    const bench::ReportOutcome& o = expected[v];
    reportBuilt = reportBuilt && o.devices > 0;
    std::printf("  %s: %s\n", bench::VariantName(variants[v]), bench::VariantDescription(variants[v]));
    std::printf("    list %s, %d devices, GetCategory ok %u / failed %u, %u elements read (%llu characters)\n",
                o.built ? "built" : "build reported failure", o.devices, o.categoriesOk, o.categoriesFailed,
                o.elementsRead, static_cast<unsigned long long>(o.characters));
    std::printf("    processor type seen %lu; CPU %s; clock line \"%s\"\n",
                static_cast<unsigned long>(trace.processorType), trace.cpuStatus.c_str(),
                trace.clockLine.c_str());
    std::printf("    PROCID.VXD: %d opens, %d opened, %d requests, %d answered; VOLQ.VXD: %d opens, %d opened, "
                "%d requests, %d answered; 16-bit calls: %d\n",
                trace.procidOpens, trace.procidOpened, trace.procidRequests, trace.procidAnswers, trace.volqOpens,
                trace.volqOpened, trace.volqRequests, trace.volqAnswers, trace.thunkCalls);
    const bench::RegistryCounts& r = trace.registry;
    const int driverCalls = trace.procidOpens + trace.procidRequests + trace.volqOpens + trace.volqRequests;
    if (trace.registryCounted)
      std::printf("    calls per report: registry %d (open %d, query %d, enumerate %d, close %d)%s%s; drive %d "
                  "(list %d, type %d, free space %d); driver %d (opens and requests); 16-bit %d\n",
                  r.total, r.open, r.query, r.enumerate, r.close, r.uncounted.empty() ? "" : ", not counted: ",
                  r.uncounted.c_str(), trace.driveListCalls + trace.driveTypeCalls + trace.freeSpaceCalls,
                  trace.driveListCalls, trace.driveTypeCalls, trace.freeSpaceCalls, driverCalls, trace.thunkCalls);
    else
      std::printf("    registry calls NOT counted (import table not found)\n");
  }

  std::printf("\nWhat WMI answered (one run, not timed):\n");
  {
    double ms = 0;
    const bench::WmiPassOutcome o = bench::RunWmiWithConnect(true, &ms);
    if (FAILED(o.connectResult)) std::printf("  connection failed: %s\n", HexResult(o.connectResult).c_str());
    for (size_t q = 0; q < o.queries.size(); ++q) {
      const bench::WmiQueryOutcome& r = o.queries[q];
      char name[64] = {};
      WideCharToMultiByte(CP_UTF8, 0, bench::WmiQueries()[q].wmiClass, -1, name, sizeof name - 1, nullptr, nullptr);
      std::printf("  %-22s %s, %d rows, %d values, %d null, %d missing; first row: %s\n", name,
                  SUCCEEDED(r.result) ? "ok" : ("FAILED " + HexResult(r.result)).c_str(), r.rows, r.values,
                  r.nullValues, r.missing, r.firstRow.c_str());
    }
  }

  // The timed rounds. Interleaved (the default): one run of each measurement
  // per round, so that any slowdown of the shared machine falls on all of them
  // alike. In blocks: all runs of one measurement, then the next.
  const bench::CpuMeter meter(winePids);
  const auto timeOnce = [&watch, &meter](Measurement& m, bool counted) {
    const bench::CpuMeter::Reading before = meter.Read();
    watch.Start();
    const bool ok = m.run();
    const double ms = watch.ElapsedMs();
    const bench::CpuMeter::Reading after = meter.Read();
    if (!counted) return;
    m.samples.push_back(ms);
    m.cpuOwnMs += after.ownMs - before.ownMs;
    m.cpuWineMs += after.wineMs - before.wineMs;
    if (!ok) ++m.failedRuns;
  };
  const auto forgetWarmUp = [&]() {
    connectMs.clear();
    for (auto& q : queryMs) q.clear();
  };
  if (blocks) {
    for (auto& m : measurements) {
      for (int round = 0; round < warmup + runs; ++round) {
        timeOnce(m, round >= warmup);
        if (round + 1 == warmup) forgetWarmUp();
      }
    }
  } else {
    for (int round = 0; round < warmup + runs; ++round) {
      for (auto& m : measurements) timeOnce(m, round >= warmup);
      if (round + 1 == warmup) forgetWarmUp();
    }
  }

  std::printf("\nTimed part of each run:\n"
              "  report: InitializeDeviceList, GetCategory of every category of every device, reading every\n"
              "          element string, TerminateDeviceList (COM is initialised once by this program; the\n"
              "          list's CoInitialize/CoUninitialize nest inside)\n"
              "  WMI, connect in every run: CoCreateInstance(WbemLocator), ConnectServer(\"ROOT\\CIMV2\"), six\n"
              "          ExecQuery (WQL, WBEM_FLAG_FORWARD_ONLY|WBEM_FLAG_RETURN_IMMEDIATELY), Next over every\n"
              "          row, Get of every selected property, release of everything\n"
              "  WMI, connected once: the same six queries and reads on one connection made before the runs\n");
  std::printf("\n%-40s %9s %9s %9s %9s %9s %9s %9s %11s\n", "milliseconds per run", "median", "min", "p10", "p90",
              "p99", "max", "mean", "first(cold)");
  std::vector<bench::Summary> summaries;
  for (auto& m : measurements) {
    summaries.push_back(bench::Summarize(m.samples));
    PrintRow(m.name.c_str(), summaries.back(), m.coldMs);
  }
  for (auto& m : measurements)
    if (m.failedRuns) std::printf("NOTE: %s: %d of %d runs did not do their whole work\n", m.name.c_str(),
                                  m.failedRuns, runs);

  std::printf("\nProcessor time per run (mean over the runs, ms; Linux counts it in 10 ms ticks):\n"
              "%-40s %12s %14s %9s\n", "", "this process", "Wine processes", "total");
  const int readable = meter.ReadableProcesses();
  std::vector<double> cpuTotal;
  for (auto& m : measurements) {
    const double n = m.samples.empty() ? 1.0 : static_cast<double>(m.samples.size());
    cpuTotal.push_back((m.cpuOwnMs + m.cpuWineMs) / n);
    std::printf("%-40s %12.3f %14.3f %9.3f\n", m.name.c_str(), m.cpuOwnMs / n, m.cpuWineMs / n, cpuTotal.back());
  }
  std::printf("(Wine processes: %d of %zu given could be read%s)\n", readable, winePids.size(),
              winePids.empty() ? "; pass --wine-pids to include the server's share" : "");

  std::printf("\nWMI detail (medians, ms): connect %.3f", bench::Summarize(connectMs).median);
  for (size_t q = 0; q < queryMs.size(); ++q) {
    char name[64] = {};
    WideCharToMultiByte(CP_UTF8, 0, bench::WmiQueries()[q].wmiClass, -1, name, sizeof name - 1, nullptr, nullptr);
    std::printf("; %s %.3f", name + 6, bench::Summarize(queryMs[q]).median);
  }
  std::printf("\n");

  // Where the report's time goes: separate runs after the timed ones, so that
  // the extra clock reads do not touch the figures above.
  for (ReportVariant variant : variants) PrintReportDetail(variant, runs);
  PrintClockRequests(runs, hostMhz);

  // The medians are what counts; the ratio of the 10th percentiles shows the
  // same comparison for the quieter moments of a shared machine.
  const auto ratio = [](double wmi, double report) { return report > 0 ? wmi / report : 0.0; };
  std::printf("\nRatio WMI / report:%21s %22s %22s\n", "", "WMI connect every run", "WMI connected once");
  const bench::Summary& wmiEach = summaries[kWmiConnectEachRun];
  const bench::Summary& wmiOnce = summaries[kWmiConnectedOnce];
  for (size_t v = 0; v < kReportVariants; ++v) {
    const bench::Summary& report = summaries[v];
    std::printf("%-40s %14.1fx median %14.1fx median\n", measurements[v].name.c_str(),
                ratio(wmiEach.median, report.median), ratio(wmiOnce.median, report.median));
    std::printf("%-40s %14.1fx p10    %14.1fx p10\n", "", ratio(wmiEach.p10, report.p10),
                ratio(wmiOnce.p10, report.p10));
    std::printf("%-40s %14.1fx cpu    %14.1fx cpu\n", "", ratio(cpuTotal[kWmiConnectEachRun], cpuTotal[v]),
                ratio(cpuTotal[kWmiConnectedOnce], cpuTotal[v]));
  }

  std::printf("\nTargets (checked, not tuned for):\n");
  for (size_t v = 0; v < kReportVariants; ++v) {
    const double times = ratio(wmiEach.median, summaries[v].median);
    std::printf("  %-38s at least 20x faster than WMI (connect every run): %.1fx, %s\n",
                measurements[v].name.c_str(), times, times >= 20 ? "met" : "NOT met");
  }
  // Without the clock probe: every variant whose traced run made none (on
  // 64-bit Wine also the shipped binding, which finds no driver loader).
  for (size_t v = 0; v < kReportVariants; ++v) {
    if (clockProbeMade[v]) continue;
    const double median = summaries[v].median;
    std::printf("  %-38s under 5 ms%s: %.3f ms, %s\n", measurements[v].name.c_str(),
                sizeof(void*) == 8 ? "" : " (a 64-bit Wine target; shown for comparison)", median,
                median < 5 ? "met" : "NOT met");
  }

  services.Reset();
  CoUninitialize();
  bool anyFailed = !reportBuilt;
  for (auto& m : measurements) anyFailed = anyFailed || m.failedRuns == static_cast<int>(m.samples.size());
  return anyFailed ? 1 : 0;
}
