#pragma once
// The same information through WMI's in-process query interface, the way a
// client of this Wine would gather it: a locator, a connection to ROOT\CIMV2,
// one forward-only, return-immediately WQL query per class, and every selected
// property of every row read into a VARIANT.
#include <windows.h>
#include <wbemcli.h>

#include <string>
#include <vector>

namespace bench {

struct WmiQuery {
  const wchar_t* wmiClass;
  const wchar_t* wql;
  std::vector<const wchar_t*> properties;
};

// The six queries, one per kind of device the control reports.
const std::vector<WmiQuery>& WmiQueries();

struct WmiQueryOutcome {
  HRESULT result = S_OK;   // first failure of ExecQuery or Next, else S_OK
  int rows = 0;
  int values = 0;          // properties read with a non-null value
  int nullValues = 0;      // properties read as VT_NULL / VT_EMPTY
  int missing = 0;         // properties Get could not read
  std::string firstRow;    // the first row's values as text (only when asked)
};

struct WmiPassOutcome {
  HRESULT connectResult = S_OK;
  std::vector<WmiQueryOutcome> queries;
  uint64_t characters = 0;
  uint32_t checksum = 0;
};

// CoCreateInstance of the locator and ConnectServer("ROOT\CIMV2").
HRESULT ConnectWmi(IWbemServices** services);

// Runs every query on a connection and reads every property. queryMs, when not
// null, receives each query's time (ExecQuery to the last row read).
void RunWmiQueries(IWbemServices* services, WmiPassOutcome* outcome, std::vector<double>* queryMs,
                   bool keepText);

// One full pass: connect, run the queries, release everything. connectMs, when
// not null, receives the time of the locator's creation and ConnectServer.
WmiPassOutcome RunWmiWithConnect(bool keepText, double* connectMs);

}  // namespace bench
