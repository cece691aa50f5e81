#include "tools/benchmark/wmi_workload.h"

#include <oleauto.h>

#include "base/com_ptr.h"
#include "tools/benchmark/statistics.h"

namespace bench {
namespace {

using devlore::ComPtr;

void Touch(const wchar_t* text, UINT length, WmiPassOutcome* pass) {
  for (UINT k = 0; k < length; ++k) pass->checksum = pass->checksum * 31u + text[k];
  pass->characters += length;
}

std::string ValueText(VARIANT& value) {
  if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY) return "null";
  VARIANT text;
  VariantInit(&text);
  std::string result = "?";
  if (SUCCEEDED(VariantChangeType(&text, &value, 0, VT_BSTR))) {
    char buffer[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, V_BSTR(&text), -1, buffer, sizeof buffer - 1, nullptr, nullptr);
    result = buffer;
  }
  VariantClear(&text);
  return result;
}

std::string PropertyName(const wchar_t* property) {
  char name[64] = {};
  WideCharToMultiByte(CP_UTF8, 0, property, -1, name, sizeof name - 1, nullptr, nullptr);
  return name;
}

}  // namespace

const std::vector<WmiQuery>& WmiQueries() {
  static const std::vector<WmiQuery> queries = {
      {L"Win32_LogicalDisk",
       L"SELECT DeviceID, Size, FreeSpace, FileSystem FROM Win32_LogicalDisk WHERE DriveType = 3",
       {L"DeviceID", L"Size", L"FreeSpace", L"FileSystem"}},
      {L"Win32_BIOS", L"SELECT Name, Version, ReleaseDate FROM Win32_BIOS", {L"Name", L"Version", L"ReleaseDate"}},
      {L"Win32_Processor", L"SELECT Name, Manufacturer, MaxClockSpeed, CurrentClockSpeed FROM Win32_Processor",
       {L"Name", L"Manufacturer", L"MaxClockSpeed", L"CurrentClockSpeed"}},
      {L"Win32_OperatingSystem",
       L"SELECT TotalVisibleMemorySize, FreePhysicalMemory, TotalVirtualMemorySize, FreeVirtualMemory "
       L"FROM Win32_OperatingSystem",
       {L"TotalVisibleMemorySize", L"FreePhysicalMemory", L"TotalVirtualMemorySize", L"FreeVirtualMemory"}},
      {L"Win32_DesktopMonitor", L"SELECT Name, PixelsPerXLogicalInch FROM Win32_DesktopMonitor",
       {L"Name", L"PixelsPerXLogicalInch"}},
      {L"Win32_VideoController",
       L"SELECT Name, CurrentHorizontalResolution, CurrentVerticalResolution, CurrentBitsPerPixel "
       L"FROM Win32_VideoController",
       {L"Name", L"CurrentHorizontalResolution", L"CurrentVerticalResolution", L"CurrentBitsPerPixel"}},
  };
  return queries;
}

HRESULT ConnectWmi(IWbemServices** services) {
  *services = nullptr;
  ComPtr<IWbemLocator> locator;
  HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.ReceiveVoid());
  if (FAILED(hr)) return hr;
  BSTR path = SysAllocString(L"ROOT\\CIMV2");
  if (!path) return E_OUTOFMEMORY;
  hr = locator->ConnectServer(path, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services);
  SysFreeString(path);
  return hr;
}

void RunWmiQueries(IWbemServices* services, WmiPassOutcome* pass, std::vector<double>* queryMs, bool keepText) {
  const std::vector<WmiQuery>& queries = WmiQueries();
  pass->queries.assign(queries.size(), WmiQueryOutcome{});
  BSTR language = SysAllocString(L"WQL");
  Stopwatch watch;
  for (size_t q = 0; q < queries.size(); ++q) {
    WmiQueryOutcome& out = pass->queries[q];
    watch.Start();
    BSTR text = SysAllocString(queries[q].wql);
    ComPtr<IEnumWbemClassObject> rows;
    out.result = services->ExecQuery(language, text, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                     nullptr, rows.Receive());
    SysFreeString(text);
    while (SUCCEEDED(out.result) && rows) {
      ComPtr<IWbemClassObject> row;
      ULONG returned = 0;
      const HRESULT next = rows->Next(WBEM_INFINITE, 1, row.Receive(), &returned);
      if (FAILED(next)) {
        out.result = next;
        break;
      }
      if (returned == 0) break;
      ++out.rows;
      for (const wchar_t* property : queries[q].properties) {
        VARIANT value;
        VariantInit(&value);
        if (FAILED(row->Get(property, 0, &value, nullptr, nullptr))) {
          ++out.missing;
          if (keepText && out.rows == 1) out.firstRow += PropertyName(property) + "=(missing) ";
          continue;
        }
        if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY) {
          ++out.nullValues;
        } else {
          ++out.values;
          if (V_VT(&value) == VT_BSTR) Touch(V_BSTR(&value), SysStringLen(V_BSTR(&value)), pass);
          else pass->checksum = pass->checksum * 31u + V_UI4(&value);
        }
        if (keepText && out.rows == 1) out.firstRow += PropertyName(property) + "=" + ValueText(value) + " ";
        VariantClear(&value);
      }
    }
    if (queryMs) queryMs->push_back(watch.ElapsedMs());
  }
  SysFreeString(language);
}

WmiPassOutcome RunWmiWithConnect(bool keepText, double* connectMs) {
  WmiPassOutcome pass;
  ComPtr<IWbemServices> services;
  Stopwatch watch;
  watch.Start();
  pass.connectResult = ConnectWmi(services.Receive());
  if (connectMs) *connectMs = watch.ElapsedMs();
  if (FAILED(pass.connectResult)) return pass;
  RunWmiQueries(services.Get(), &pass, nullptr, keepText);
  return pass;
}

}  // namespace bench
