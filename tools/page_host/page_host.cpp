// The page host: a small container that loads an HTML page the way the
// browser does, towards the page's objects and its scripts (see README.md).
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/handles.h"
#include "tools/page_host/html_page.h"
#include "tools/page_host/page_load.h"
#include "tools/page_host/process_heap.h"

namespace {

using devlore::UniqueFileHandle;
using devlore::UniqueWindow;
using namespace devlore::page_host;

const char kUsage[] =
    "Usage: page_host --html FILE [--url URL] [--moniker-url URL] [--user-agent TEXT]\n"
    "                 [--top-url URL] [--opener-url URL]... [--host-code] [--out-html FILE]\n"
    "                 [--repeat N [--live TEXT]...]\n"
    "  --url          the page's address (default http://www.devlore.io/sysinfo.html)\n"
    "  --moniker-url  the container moniker's address (default: the page's)\n"
    "  --user-agent   navigator.userAgent (default: an MSIE 5.01 on Windows 98)\n"
    "  --top-url      the top window's address (default: the page is its own top)\n"
    "  --opener-url   the next opener's address in the top window's opener chain (repeatable)\n"
    "  --host-code    present the host access code through IOleObject::SetHostNames\n"
    "  --out-html     write the page as it is after its scripts ran\n"
    "  --repeat N     load the page N times in this process: the output must stay the same\n"
    "                 and (N >= 4) the process heap must not grow from load N/2 to load N\n"
    "                 (the figures go to stderr)\n"
    "  --live TEXT    lines holding TEXT show live figures: their figures are not compared\n"
    "Prints what the page shows. Exit status: 0 shown, 1 script errors or a host failure,\n"
    "2 usage or file error, 3 loads differed, 4 the heap grew.\n";

std::wstring Wide(const char* text, UINT codePage = CP_ACP) {
  const int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (size <= 1) return std::wstring();
  std::wstring out(size - 1, L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, &out[0], size);
  return out;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  }
  return out;
}

bool ReadFileText(const char* path, std::wstring& text) {
  UniqueFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  const DWORD size = GetFileSize(file.Get(), nullptr);
  if (size == INVALID_FILE_SIZE) return false;
  std::string bytes(size, '\0');
  DWORD read = 0;
  if (size && (!ReadFile(file.Get(), &bytes[0], size, &read, nullptr) || read != size)) return false;
  text = Wide(bytes.c_str());
  return true;
}

bool WriteFileText(const char* path, const std::string& bytes) {
  UniqueFileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

struct Arguments {
  const char* html = nullptr;
  const char* outHtml = nullptr;
  long repeat = 1;
  std::vector<std::wstring> live;
  PageOptions page;
};

bool ParseArguments(int argc, char** argv, Arguments& arguments) {
  arguments.page.url = L"http://www.devlore.io/sysinfo.html";
  arguments.page.userAgent = L"Mozilla/4.0 (compatible; MSIE 5.01; Windows 98)";
  bool monikerGiven = false;
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    if (!std::strcmp(option, "--host-code")) {
      arguments.page.hostCode = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (!std::strcmp(option, "--html")) arguments.html = value;
    else if (!std::strcmp(option, "--out-html")) arguments.outHtml = value;
    else if (!std::strcmp(option, "--url")) arguments.page.url = Wide(value);
    else if (!std::strcmp(option, "--moniker-url")) monikerGiven = true, arguments.page.monikerUrl = Wide(value);
    else if (!std::strcmp(option, "--user-agent")) arguments.page.userAgent = Wide(value);
    else if (!std::strcmp(option, "--top-url")) arguments.page.topUrl = Wide(value);
    else if (!std::strcmp(option, "--opener-url")) arguments.page.openerUrls.push_back(Wide(value));
    else if (!std::strcmp(option, "--repeat")) arguments.repeat = std::strtol(value, nullptr, 10);
    else if (!std::strcmp(option, "--live")) arguments.live.push_back(Wide(value));
    else return false;
  }
  if (!monikerGiven) arguments.page.monikerUrl = arguments.page.url;
  return arguments.html && arguments.repeat >= 1;
}

// The text with the figures of every line that contains one of the live texts
// masked: figures that change from one moment to the next.
std::wstring Masked(const std::wstring& text, const std::vector<std::wstring>& live) {
  std::wstring out;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find(L'\n', begin);
    end = end == std::wstring::npos ? text.size() : end + 1;
    std::wstring line = text.substr(begin, end - begin);
    bool isLive = false;
    for (const std::wstring& marker : live) isLive = isLive || line.find(marker) != std::wstring::npos;
    if (!isLive) {
      out += line;
    } else {
      // Each figure (digits with their separators) as one mark: "7%" and "12%" alike.
      for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] < L'0' || line[i] > L'9') {
          out += line[i];
          continue;
        }
        out += L'#';
        while (i + 1 < line.size() && ((line[i + 1] >= L'0' && line[i + 1] <= L'9') || line[i + 1] == L',' ||
                                       line[i + 1] == L'.')) {
          ++i;
        }
      }
    }
    begin = end;
  }
  return out;
}

// Two loads showed the same: the same text (live figures masked) and, when no
// figure is live, the same resulting page.
bool SameShown(const PageResult& a, const PageResult& b, const std::vector<std::wstring>& live) {
  if (live.empty()) return a.text == b.text && a.html == b.html;
  return Masked(a.text, live) == Masked(b.text, live);
}

// Lets the page's window and the objects' windows handle what was posted to them.
void DispatchPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// The browser window's page area, where the objects are activated (never shown).
HWND CreatePageWindow() {
  static const char kClass[] = "DevlorePageHost";
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClass;
  if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  return CreateWindowExA(0, kClass, "Devlore page host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800, 600,
                         nullptr, nullptr, windowClass.hInstance, nullptr);
}

int Run(const Arguments& arguments) {
  std::wstring source;
  if (!ReadFileText(arguments.html, source)) {
    std::fprintf(stderr, "page_host: cannot read %s\n", arguments.html);
    return 2;
  }
  const HtmlPage page = ParseHtmlPage(source);
  UniqueWindow window(CreatePageWindow());
  if (!window) {
    std::fprintf(stderr, "page_host: cannot create the page's window (%lu)\n", GetLastError());
    return 2;
  }

  PageResult first;
  const long middle = (arguments.repeat + 1) / 2;
  unsigned long long heapAfterWarmUp = 0, heapAtMiddle = 0, heapAfterLast = 0;
  bool heapKnown = true;
  int status = 0;
  for (long load = 1; load <= arguments.repeat; ++load) {
    {
      PageResult result = LoadPage(page, arguments.page, window.Get());
      DispatchPendingMessages();
      if (result.errors) status = 1;
      if (load == 1) {
        first = std::move(result);
      } else if (!SameShown(first, result, arguments.live)) {
        std::fprintf(stderr, "page_host: load %ld shows other text than load 1\n", load);
        return 3;
      }
    }
    // The first loads fill the platform's caches (libraries, type information,
    // the automation string cache) and some fill once later: the heap must not
    // grow over the second half of the loads, with nothing of a load kept.
    unsigned long long bytes = 0;
    if (load == 2 || load == middle || load == arguments.repeat) {
      heapKnown = HeapBytesInUse(bytes) && heapKnown;
      (load == 2 ? heapAfterWarmUp : load == middle ? heapAtMiddle : heapAfterLast) = bytes;
    }
  }

  const std::string text = Utf8(first.text);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  if (arguments.outHtml && !WriteFileText(arguments.outHtml, Utf8(first.html))) {
    std::fprintf(stderr, "page_host: cannot write %s\n", arguments.outHtml);
    return 2;
  }
  if (arguments.repeat >= 4) {
    if (!heapKnown) {
      std::fprintf(stderr, "page_host: cannot walk the process heaps\n");
      return 4;
    }
    const long long growth = static_cast<long long>(heapAfterLast) - static_cast<long long>(heapAtMiddle);
    std::fprintf(stderr,
                 "page_host: %ld loads, identical; heap in use after load 2: %llu bytes, after load %ld: %llu, "
                 "after load %ld: %llu (growth over the second half: %lld)\n",
                 arguments.repeat, heapAfterWarmUp, middle, heapAtMiddle, arguments.repeat, heapAfterLast, growth);
    if (growth > 0) return 4;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (!ParseArguments(argc, argv, arguments)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (FAILED(OleInitialize(nullptr))) {
    std::fprintf(stderr, "page_host: OleInitialize failed\n");
    return 2;
  }
  const int status = Run(arguments);
  OleUninitialize();
  return status;
}
