#include "tools/page_host/browser_objects.h"

#include "tools/page_host/html_page.h"

namespace devlore::page_host {

// ---- location, navigator ----------------------------------------------------

DISPID Location::MemberOf(const wchar_t* name) { return Find(name, {L"href", L"toString"}); }

HRESULT Location::Get(DISPID member, VARIANT* result) {
  if (member == 1) return ReturnText(result, href_);
  return DISP_E_MEMBERNOTFOUND;
}

DISPID Navigator::MemberOf(const wchar_t* name) { return Find(name, {L"userAgent", L"appName"}); }

HRESULT Navigator::Get(DISPID member, VARIANT* result) {
  if (member == 1) return ReturnText(result, userAgent_);
  if (member == 2) return ReturnText(result, L"Microsoft Internet Explorer");
  return DISP_E_MEMBERNOTFOUND;
}

// ---- elements ---------------------------------------------------------------

namespace {
enum ElementMember : DISPID { kInnerHtml = 1, kInnerText, kElementId };
}

DISPID Element::MemberOf(const wchar_t* name) { return Find(name, {L"innerHTML", L"innerText", L"id"}); }

HRESULT Element::Get(DISPID member, VARIANT* result) {
  switch (member) {
    case kInnerHtml:
      return ReturnText(result, html_);
    case kInnerText: {
      std::wstring text = VisibleText(html_);
      if (!text.empty() && text.back() == L'\n') text.pop_back();
      return ReturnText(result, text);
    }
    case kElementId:
      return ReturnText(result, id_);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT Element::Put(DISPID member, const VARIANT& value) {
  if (member != kInnerHtml && member != kInnerText) return DISP_E_MEMBERNOTFOUND;
  std::wstring text;
  if (!ArgumentText(value, text)) return DISP_E_TYPEMISMATCH;
  html_ = member == kInnerHtml ? text : EscapeHtml(text);
  return S_OK;
}

// ---- window -----------------------------------------------------------------

namespace {
enum WindowMember : DISPID { kLocation = 1, kNavigator, kTop, kOpener, kDocument, kOnLoad, kSelf, kWindow, kParent };
}

Window::Window(const std::wstring& href, Navigator* navigator)
    : location_(ComPtr<Location>::Adopt(new Location(href))), navigator_(navigator) {
  top_ = this;
}

void Window::Disconnect() {
  document_ = nullptr;
  top_ = nullptr;
  opener_ = nullptr;
  onLoad_.Reset();
}

DISPID Window::MemberOf(const wchar_t* name) {
  return Find(name, {L"location", L"navigator", L"top", L"opener", L"document", L"onload", L"self", L"window",
                     L"parent"});
}

HRESULT Window::Get(DISPID member, VARIANT* result) {
  switch (member) {
    case kLocation:
      return ReturnObject(result, location_.Get());
    case kNavigator:
      return ReturnObject(result, navigator_.Get());
    case kTop:
    case kParent:
      return ReturnObject(result, top_);
    case kOpener:
      return ReturnObject(result, opener_);
    case kDocument:
      return ReturnObject(result, document_);
    case kOnLoad:
      return ReturnObject(result, onLoad_.Get());
    case kSelf:
    case kWindow:
      return ReturnObject(result, this);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT Window::Put(DISPID member, const VARIANT& value) {
  if (member != kOnLoad) return DISP_E_MEMBERNOTFOUND;
  if (value.vt == VT_DISPATCH) {
    onLoad_ = ComPtr<IDispatch>(value.pdispVal);
  } else if (value.vt == VT_NULL || value.vt == VT_EMPTY) {
    onLoad_.Reset();
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT Window::Call(DISPID member, const DISPPARAMS& params, VARIANT* result) {
  // Reading a property with an empty argument list, the way VBScript may ask.
  if (params.cArgs == 0) return Get(member, result);
  return DISP_E_MEMBERNOTFOUND;
}

// ---- document ---------------------------------------------------------------

namespace {
enum DocumentMember : DISPID { kScript = 1, kGetElementById, kParentWindow };
}

DISPID Document::MemberOf(const wchar_t* name) {
  return Find(name, {L"script", L"getElementById", L"parentWindow"});
}

HRESULT Document::Get(DISPID member, VARIANT* result) {
  if (member == kScript || member == kParentWindow) return ReturnObject(result, window_);
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT Document::Call(DISPID member, const DISPPARAMS& params, VARIANT* result) {
  if (member == kGetElementById) {
    if (params.cArgs != 1) return DISP_E_BADPARAMCOUNT;
    std::wstring id;
    if (!ArgumentText(params.rgvarg[0], id)) return DISP_E_TYPEMISMATCH;
    for (const ComPtr<Element>& element : elements_) {
      if (element->Id() == id) return ReturnObject(result, element.Get());
    }
    return ReturnNull(result);
  }
  if (params.cArgs == 0) return Get(member, result);
  return DISP_E_MEMBERNOTFOUND;
}

// ---- browser application ------------------------------------------------------

bool WebBrowserApp::Answers(REFIID iid) {
  return IsEqualIID(iid, IID_IWebBrowser) || IsEqualIID(iid, IID_IWebBrowserApp);
}

HRESULT WebBrowserApp::get_Document(IDispatch** document) {
  if (!document) return E_POINTER;
  *document = document_;
  if (!document_) return E_FAIL;
  document_->AddRef();
  return S_OK;
}

HRESULT WebBrowserApp::get_LocationURL(BSTR* url) {
  if (!url) return E_POINTER;
  *url = SysAllocStringLen(locationUrl_.data(), static_cast<UINT>(locationUrl_.size()));
  return *url ? S_OK : E_OUTOFMEMORY;
}

DISPID WebBrowserApp::MemberOf(const wchar_t* name) { return Find(name, {L"LocationURL", L"Document"}); }

HRESULT WebBrowserApp::Get(DISPID member, VARIANT* result) {
  if (member == 1) return ReturnText(result, locationUrl_);
  if (member == 2) return ReturnObject(result, document_);
  return DISP_E_MEMBERNOTFOUND;
}

}  // namespace devlore::page_host
