// The report host: a small container that uses the SysInfo control the way a
// page's container and script do. It creates the control by its program
// identifier (the library must be registered), presents the host access code
// through IOleObject::SetHostNames, then drives ISysInfo1 by name through
// IDispatch and prints every device, category and element. It can also write
// the report as JSON and as a self-contained HTML page.
//
// Usage: report_host [--json FILE] [--html FILE] [--progid NAME]
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const wchar_t kHostAccessCode[] = L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F}";

struct Category {
  std::vector<std::string> elements;
};

struct Device {
  std::string type;
  std::vector<Category> categories;
};

struct Report {
  bool platformIs9x = false;
  bool versionCompatible = false;
  bool built = false;
  std::vector<Device> devices;
};

std::string Utf8(const wchar_t* text) {
  if (!text) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  return out;
}

// Calls one method of the control by name, the way a script engine does.
class ScriptCaller {
 public:
  explicit ScriptCaller(IDispatch* control) : control_(control) {}

  // Arguments in the method's declared order; [out] ones are passed by reference.
  HRESULT Call(const wchar_t* name, std::vector<VARIANT> arguments, VARIANT* result) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = control_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception = {};
    UINT badArgument = 0;
    VariantInit(result);
    return control_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &exception,
                            &badArgument);
  }

 private:
  IDispatch* control_;
};

VARIANT Int(long value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT Short(short value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I2;
  v.iVal = value;
  return v;
}

VARIANT OutRef(VARIANT* target) {
  VariantInit(target);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = target;
  return v;
}

long AsLong(const VARIANT& v) {
  VARIANT converted;
  VariantInit(&converted);
  long value = 0;
  if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&v), 0, VT_I4))) value = converted.lVal;
  VariantClear(&converted);
  return value;
}

std::string AsText(const VARIANT& v) {
  if (v.vt == VT_BSTR) return Utf8(v.bstrVal);
  if (v.vt == (VT_BYREF | VT_BSTR) && v.pbstrVal) return Utf8(*v.pbstrVal);
  return std::string();
}

HRESULT CollectReport(IDispatch* control, Report& report) {
  ScriptCaller caller(control);
  VARIANT result, out;
  HRESULT hr = caller.Call(L"ValidateSession", {}, &result);
  if (FAILED(hr)) return hr;
  report.platformIs9x = AsLong(result) == 1;

  VARIANT_BOOL compatible = VARIANT_FALSE;
  VARIANT compatibleRef;
  VariantInit(&compatibleRef);
  compatibleRef.vt = VT_BYREF | VT_BOOL;
  compatibleRef.pboolVal = &compatible;
  hr = caller.Call(L"IsVersionCompatible", {Short(1), Short(1), Short(2), compatibleRef}, &result);
  if (FAILED(hr)) return hr;
  report.versionCompatible = compatible == VARIANT_TRUE;

  hr = caller.Call(L"InitializeDeviceObjects", {}, &result);
  if (FAILED(hr)) return hr;
  report.built = AsLong(result) == 1;

  hr = caller.Call(L"GetObjectCount", {}, &result);
  if (FAILED(hr)) return hr;
  const long devices = AsLong(result);
  for (long d = 0; d < devices; ++d) {
    Device device;
    if (FAILED(hr = caller.Call(L"GetDeviceTypeByIndex", {Int(d), OutRef(&out)}, &result))) return hr;
    device.type = AsText(out);  // refers to the device's own text: copied here
    if (FAILED(hr = caller.Call(L"GetCatCountByIndex", {Int(d), OutRef(&out)}, &result))) return hr;
    const long categories = AsLong(out);
    for (long c = 0; c < categories; ++c) {
      Category category;
      if (FAILED(hr = caller.Call(L"GetElementsInCatByIndices", {Int(d), Int(c), OutRef(&out)}, &result)))
        return hr;
      const long elements = AsLong(out);
      for (long e = 0; e < elements; ++e) {
        if (FAILED(hr = caller.Call(L"GetSingleString", {Int(d), Int(c), Int(e), OutRef(&out)}, &result)))
          return hr;
        category.elements.push_back(AsText(out));
        VariantClear(&out);
      }
      device.categories.push_back(category);
    }
    report.devices.push_back(device);
  }
  caller.Call(L"DeInitializeDeviceObjects", {}, &result);
  return S_OK;
}

void PrintText(const Report& report) {
  std::printf("Windows 9x platform: %s\n", report.platformIs9x ? "yes" : "no");
  std::printf("Control serves version 1.1.2: %s\n", report.versionCompatible ? "yes" : "no");
  std::printf("Device list: %s, %u devices\n", report.built ? "built" : "build reported failure",
              static_cast<unsigned>(report.devices.size()));
  for (size_t d = 0; d < report.devices.size(); ++d) {
    const Device& device = report.devices[d];
    std::printf("\n%s\n", device.type.c_str());
    for (size_t c = 0; c < device.categories.size(); ++c) {
      const Category& category = device.categories[c];
      bool any = false;
      for (const std::string& element : category.elements) any = any || !element.empty();
      if (!any) {
        std::printf("    (no text: the device could not gather its values)\n");
        continue;
      }
      for (const std::string& element : category.elements) std::printf("    %s\n", element.c_str());
    }
  }
}

std::string Escaped(const std::string& text, bool html) {
  std::string out;
  for (unsigned char ch : text) {
    if (html) {
      if (ch == '<') out += "&lt;";
      else if (ch == '>') out += "&gt;";
      else if (ch == '&') out += "&amp;";
      else out += static_cast<char>(ch);
    } else {
      if (ch == '"' || ch == '\\') { out += '\\'; out += static_cast<char>(ch); }
      else if (ch < 0x20) { char buf[8]; std::snprintf(buf, sizeof buf, "\\u%04x", ch); out += buf; }
      else out += static_cast<char>(ch);
    }
  }
  return out;
}

bool WriteJson(const Report& report, const char* path) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  std::fprintf(file, "{\n  \"platformIs9x\": %s,\n  \"versionCompatible\": %s,\n  \"built\": %s,\n  \"devices\": [",
               report.platformIs9x ? "true" : "false", report.versionCompatible ? "true" : "false",
               report.built ? "true" : "false");
  for (size_t d = 0; d < report.devices.size(); ++d) {
    const Device& device = report.devices[d];
    std::fprintf(file, "%s\n    {\"type\": \"%s\", \"categories\": [", d ? "," : "", Escaped(device.type, false).c_str());
    for (size_t c = 0; c < device.categories.size(); ++c) {
      std::fprintf(file, "%s[", c ? ", " : "");
      const auto& elements = device.categories[c].elements;
      for (size_t e = 0; e < elements.size(); ++e)
        std::fprintf(file, "%s\"%s\"", e ? ", " : "", Escaped(elements[e], false).c_str());
      std::fprintf(file, "]");
    }
    std::fprintf(file, "]}");
  }
  std::fprintf(file, "\n  ]\n}\n");
  return std::fclose(file) == 0;
}

bool WriteHtml(const Report& report, const char* path) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  std::fprintf(file,
               "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>System Information</title>\n"
               "<style>body{font-family:Verdana,Arial,sans-serif;margin:2em}h2{font-size:1.1em;"
               "border-bottom:1px solid #888;margin-top:1.5em}li{list-style:none;margin:.2em 0}"
               ".missing{color:#a00}</style></head><body>\n<h1>System Information</h1>\n");
  for (const Device& device : report.devices) {
    std::fprintf(file, "<h2>%s</h2>\n<ul>\n", Escaped(device.type, true).c_str());
    for (const Category& category : device.categories) {
      bool any = false;
      for (const std::string& element : category.elements) any = any || !element.empty();
      if (!any) {
        std::fprintf(file, "<li class=\"missing\">The device could not gather its values.</li>\n");
        continue;
      }
      for (const std::string& element : category.elements)
        std::fprintf(file, "<li>%s</li>\n", Escaped(element, true).c_str());
    }
    std::fprintf(file, "</ul>\n");
  }
  std::fprintf(file, "</body></html>\n");
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* jsonPath = nullptr;
  const char* htmlPath = nullptr;
  std::wstring progId = L"Devlore.SysInfo";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--json")) jsonPath = argv[i + 1];
    else if (!std::strcmp(argv[i], "--html")) htmlPath = argv[i + 1];
    else if (!std::strcmp(argv[i], "--progid")) progId.assign(argv[i + 1], argv[i + 1] + std::strlen(argv[i + 1]));
  }

  OleInitialize(nullptr);
  CLSID classId;
  HRESULT hr = CLSIDFromProgID(progId.c_str(), &classId);
  if (FAILED(hr)) {
    std::fprintf(stderr, "report_host: %ls is not registered (0x%08lX)\n", progId.c_str(), static_cast<unsigned long>(hr));
    return 2;
  }
  IDispatch* control = nullptr;
  hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&control));
  if (FAILED(hr)) {
    std::fprintf(stderr, "report_host: cannot create the control (0x%08lX)\n", static_cast<unsigned long>(hr));
    return 2;
  }
  IOleObject* ole = nullptr;
  hr = control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
  if (SUCCEEDED(hr)) {
    hr = ole->SetHostNames(L"Devlore report host", kHostAccessCode);
    ole->Release();
  }
  if (FAILED(hr)) {
    std::fprintf(stderr, "report_host: the control refused the host (0x%08lX)\n", static_cast<unsigned long>(hr));
    control->Release();
    return 2;
  }

  Report report;
  hr = CollectReport(control, report);
  control->Release();
  if (FAILED(hr)) {
    std::fprintf(stderr, "report_host: a scripting call failed (0x%08lX)\n", static_cast<unsigned long>(hr));
    return 1;
  }
  PrintText(report);
  if (jsonPath && !WriteJson(report, jsonPath)) std::fprintf(stderr, "report_host: cannot write %s\n", jsonPath);
  if (htmlPath && !WriteHtml(report, htmlPath)) std::fprintf(stderr, "report_host: cannot write %s\n", htmlPath);
  OleUninitialize();
  return report.devices.empty() ? 1 : 0;
}
