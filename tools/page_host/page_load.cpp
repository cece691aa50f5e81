#include "tools/page_host/page_load.h"

#include <activscp.h>
#include <ole2.h>
#include <urlmon.h>

#include <cstdio>

#include "base/com_object_ptr.h"
#include "base/com_ptr.h"
#include "base/handles.h"
#include "base/unique_variant.h"
#include "tools/page_host/browser_objects.h"
#include "tools/page_host/client_site.h"
#include "tools/page_host/script_site.h"

namespace devlore::page_host {
namespace {

const wchar_t kHostAccessCode[] = L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F}";

struct Embedded {
  ComPtr<IUnknown> object;
  ComPtr<IOleObject> ole;
  ComObjectPtr<ClientSite> site;
};

struct Engine {
  std::wstring progId;
  ComPtr<IActiveScript> script;
  ComPtr<IActiveScriptParse> parse;
};

void ReportFailure(const char* what, const std::wstring& name, HRESULT hr) {
  std::fprintf(stderr, "page_host: %s %ls: 0x%08lX\n", what, name.c_str(), static_cast<unsigned long>(hr));
}

// The class identifier of an OBJECT's CLASSID ("CLSID:6F1B...", braces optional).
HRESULT ClassIdOf(const std::wstring& attribute, CLSID& classId) {
  std::wstring text = attribute;
  if (text.size() > 6 && (text[0] == L'c' || text[0] == L'C') && text[5] == L':') text.erase(0, 6);
  if (text.empty() || text[0] != L'{') text = L"{" + text + L"}";
  return CLSIDFromString(text.c_str(), &classId);
}

// Creates the object, sites it as the browser does (the client site first when
// its misc status asks for it) and activates it in place.
HRESULT Embed(const ObjectTag& tag, const PageOptions& options, IMoniker* moniker, WebBrowserApp* browser,
              HWND window, Embedded& embedded) {
  CLSID classId;
  HRESULT hr = ClassIdOf(tag.classId, classId);
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, embedded.object.ReceiveVoid());
  if (FAILED(hr)) return hr;
  if (FAILED(embedded.object.QueryInto(IID_IOleObject, embedded.ole))) return S_OK;  // a plain automation object

  IOleObject* ole = embedded.ole.Get();
  DWORD misc = 0;
  if (FAILED(ole->GetMiscStatus(DVASPECT_CONTENT, &misc))) misc = 0;
  if (options.hostCode && FAILED(hr = ole->SetHostNames(L"Devlore page host", kHostAccessCode))) return hr;
  const RECT position = {0, 0, tag.width, tag.height};
  embedded.site = ComObjectPtr<ClientSite>::Adopt(new ClientSite(moniker, browser, window, position));
  const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
  if (siteFirst && FAILED(hr = ole->SetClientSite(embedded.site.Get()))) return hr;
  ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(embedded.object.QueryInto(IID_IPersistStreamInit, persist)) && FAILED(hr = persist->InitNew())) {
    return hr;
  }
  if (!siteFirst && FAILED(hr = ole->SetClientSite(embedded.site.Get()))) return hr;
  RECT activation = position;
  return ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, embedded.site.Get(), 0, window, &activation);
}

void Unembed(Embedded& embedded) {
  if (embedded.ole) {
    ComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(embedded.ole.QueryInto(IID_IOleInPlaceObject, inPlace))) inPlace->InPlaceDeactivate();
    embedded.ole->Close(OLECLOSE_NOSAVE);
    embedded.ole->SetClientSite(nullptr);
  }
  if (embedded.site) embedded.site->Disconnect();
  embedded.ole.Reset();
  embedded.object.Reset();
  embedded.site.Reset();
}

HRESULT StartEngine(const std::wstring& progId, ScriptSite* site,
                    const std::vector<std::pair<std::wstring, ComPtr<IUnknown>>>& items, Engine& engine) {
  engine.progId = progId;
  CLSID classId;
  HRESULT hr = CLSIDFromProgID(progId.c_str(), &classId);
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, engine.script.ReceiveVoid());
  if (FAILED(hr)) return hr;
  if (FAILED(hr = engine.script.QueryInto(IID_IActiveScriptParse, engine.parse))) return hr;
  if (FAILED(hr = engine.script->SetScriptSite(site))) return hr;
  if (FAILED(hr = engine.parse->InitNew())) return hr;
  for (size_t i = 0; i < items.size(); ++i) {
    // The window's members are the page's global names, as in the browser.
    const DWORD flags = SCRIPTITEM_ISVISIBLE | (i == 0 ? SCRIPTITEM_GLOBALMEMBERS : 0);
    if (FAILED(hr = engine.script->AddNamedItem(items[i].first.c_str(), flags))) return hr;
  }
  return engine.script->SetScriptState(SCRIPTSTATE_CONNECTED);
}

HRESULT CallWithoutArguments(IDispatch* target, DISPID member) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  UniqueVariant result;
  EXCEPINFO exception = {};
  const HRESULT hr = target->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result.Receive(),
                                    &exception, nullptr);
  const UniqueBstr source(exception.bstrSource), description(exception.bstrDescription),
      helpFile(exception.bstrHelpFile);
  return hr;
}

// VBScript's Window_OnLoad, as the browser binds it to the window's load event.
void FireVbscriptOnLoad(Engine& engine, ScriptSite& site) {
  ComPtr<IDispatch> global;
  if (FAILED(engine.script->GetScriptDispatch(nullptr, global.Receive())) || !global) return;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Window_OnLoad")};
  DISPID member = DISPID_UNKNOWN;
  if (FAILED(global->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member))) return;
  const unsigned before = site.Errors();
  const HRESULT hr = CallWithoutArguments(global.Get(), member);
  if (FAILED(hr) && site.Errors() == before) site.ReportHostError(L"Window_OnLoad", hr);
}

}  // namespace

PageResult LoadPage(const HtmlPage& page, const PageOptions& options, HWND window) {
  PageResult result;

  // The browser's objects.
  const ComPtr<Navigator> navigator = ComPtr<Navigator>::Adopt(new Navigator(options.userAgent));
  std::vector<ComPtr<Window>> windows;
  windows.push_back(ComPtr<Window>::Adopt(new Window(options.url, navigator.Get())));
  if (!options.topUrl.empty()) windows.push_back(ComPtr<Window>::Adopt(new Window(options.topUrl, navigator.Get())));
  for (const std::wstring& opener : options.openerUrls) {
    windows.push_back(ComPtr<Window>::Adopt(new Window(opener, navigator.Get())));
  }
  std::vector<ComPtr<Element>> elements;
  for (const IdElement& element : page.elements) {
    elements.push_back(ComPtr<Element>::Adopt(new Element(
        element.id, page.source.substr(element.contentBegin, element.contentEnd - element.contentBegin))));
  }
  Window* const pageWindow = windows[0].Get();
  const ComPtr<Document> document = ComPtr<Document>::Adopt(new Document(pageWindow, elements));
  // The page's top window (itself unless given), whose opener chain follows.
  Window* const top = options.topUrl.empty() ? pageWindow : windows[1].Get();
  const size_t firstOpener = options.topUrl.empty() ? 1 : 2;
  Window* const firstOpenerWindow = firstOpener < windows.size() ? windows[firstOpener].Get() : nullptr;
  top->Link(top == pageWindow ? document.Get() : nullptr, nullptr, firstOpenerWindow);
  if (top != pageWindow) pageWindow->Link(document.Get(), top, nullptr);
  for (size_t i = firstOpener; i < windows.size(); ++i) {
    windows[i]->Link(nullptr, nullptr, i + 1 < windows.size() ? windows[i + 1].Get() : nullptr);
  }
  const ComPtr<WebBrowserApp> browser = ComPtr<WebBrowserApp>::Adopt(new WebBrowserApp(options.url, document.Get()));
  ComPtr<IMoniker> moniker;
  HRESULT hr = CreateURLMoniker(nullptr, options.monikerUrl.c_str(), moniker.Receive());
  if (FAILED(hr)) {
    ReportFailure("cannot make a URL moniker of", options.monikerUrl, hr);
    ++result.errors;
  }

  // The page's objects, then the named items: the window first, then the
  // document, the objects and the elements by ID.
  std::vector<Embedded> embedded(page.objects.size());
  std::vector<std::pair<std::wstring, ComPtr<IUnknown>>> items;
  items.emplace_back(L"window", ComPtr<IUnknown>(pageWindow));
  items.emplace_back(L"document", ComPtr<IUnknown>(document.Get()));
  for (size_t i = 0; i < page.objects.size(); ++i) {
    hr = Embed(page.objects[i], options, moniker.Get(), browser.Get(), window, embedded[i]);
    if (FAILED(hr)) {
      ReportFailure("cannot embed the object", page.objects[i].id, hr);
      ++result.errors;
    }
    ComPtr<IDispatch> automation;
    if (!page.objects[i].id.empty() && SUCCEEDED(embedded[i].object.QueryInto(IID_IDispatch, automation))) {
      items.emplace_back(page.objects[i].id, ComPtr<IUnknown>(automation.Get()));
    }
  }
  for (const ComPtr<Element>& element : elements) {
    items.emplace_back(element->Id(), ComPtr<IUnknown>(element.Get()));
  }

  // The scripts, in the page's order, one engine per language.
  const ComObjectPtr<ScriptSite> site = ComObjectPtr<ScriptSite>::Adopt(new ScriptSite(items, window));
  std::vector<Engine> engines;
  for (const ScriptBlock& block : page.scripts) {
    const std::wstring progId = EngineProgIdFor(block.language);
    if (progId.empty()) continue;  // a language no engine here runs: the browser skips it too
    Engine* engine = nullptr;
    for (Engine& candidate : engines) {
      if (candidate.progId == progId) engine = &candidate;
    }
    if (!engine) {
      engines.emplace_back();
      engine = &engines.back();
      if (FAILED(hr = StartEngine(progId, site.Get(), items, *engine))) {
        site->ReportHostError(progId.c_str(), hr);
        engines.pop_back();
        continue;
      }
    }
    const unsigned before = site->Errors();
    EXCEPINFO exception = {};
    hr = engine->parse->ParseScriptText(block.text.c_str(), nullptr, nullptr, nullptr, 0, block.line,
                                        SCRIPTTEXT_ISVISIBLE, nullptr, &exception);
    const UniqueBstr source(exception.bstrSource), description(exception.bstrDescription),
        helpFile(exception.bstrHelpFile);
    if (FAILED(hr) && site->Errors() == before) site->ReportHostError(L"a script block", hr);
  }

  // The load event.
  for (Engine& engine : engines) {
    if (engine.progId == L"VBScript") FireVbscriptOnLoad(engine, *site.Get());
  }
  if (IDispatch* onLoad = pageWindow->OnLoad()) {
    const ComPtr<IDispatch> handler(onLoad);
    const unsigned before = site->Errors();
    hr = CallWithoutArguments(handler.Get(), DISPID_VALUE);
    if (FAILED(hr) && site->Errors() == before) site->ReportHostError(L"window.onload", hr);
  }

  // What the page shows now.
  std::vector<std::wstring> contents;
  for (const ComPtr<Element>& element : elements) contents.push_back(element->Html());
  result.html = ComposeHtml(page, contents);
  result.text = VisibleText(result.html);

  // Teardown: the page's handlers first (a script function kept past its
  // engine's Close keeps the whole engine alive), then the engines (they hold
  // the named items), then the objects.
  for (const ComPtr<Window>& each : windows) each->Disconnect();
  for (Engine& engine : engines) {
    engine.script->Close();
    engine.parse.Reset();
    engine.script.Reset();
  }
  result.errors += site->Errors();
  for (Embedded& object : embedded) Unembed(object);
  items.clear();
  browser->Disconnect();
  document->Disconnect();
  return result;
}

}  // namespace devlore::page_host
