#pragma once
// The browser's object model as far as the page and the control use it: the
// window (location, navigator, top, opener, document, onload), the document
// (script, getElementById), elements by ID (innerHTML, innerText) and
// the browser application (LocationURL, Document).
//
// Objects link to one another without references (the page owns them all), so
// that no cycle keeps them alive; Disconnect drops the links when the page
// goes.
#include <windows.h>
#include <exdisp.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "tools/page_host/dispatch_object.h"

namespace devlore::page_host {

class Document;

class Location : public DispatchObject<IDispatch> {
 public:
  explicit Location(std::wstring href) : href_(std::move(href)) {}

 protected:
  DISPID MemberOf(const wchar_t* name) override;
  HRESULT Get(DISPID member, VARIANT* result) override;

 private:
  std::wstring href_;
};

class Navigator : public DispatchObject<IDispatch> {
 public:
  explicit Navigator(std::wstring userAgent) : userAgent_(std::move(userAgent)) {}

 protected:
  DISPID MemberOf(const wchar_t* name) override;
  HRESULT Get(DISPID member, VARIANT* result) override;

 private:
  std::wstring userAgent_;
};

class Element : public DispatchObject<IDispatch> {
 public:
  Element(std::wstring id, std::wstring html) : id_(std::move(id)), html_(std::move(html)) {}
  const std::wstring& Id() const { return id_; }
  const std::wstring& Html() const { return html_; }

 protected:
  DISPID MemberOf(const wchar_t* name) override;
  HRESULT Get(DISPID member, VARIANT* result) override;
  HRESULT Put(DISPID member, const VARIANT& value) override;

 private:
  std::wstring id_;
  std::wstring html_;
};

class Window : public DispatchObject<IDispatch> {
 public:
  Window(const std::wstring& href, Navigator* navigator);

  void Link(Document* document, Window* top, Window* opener) {
    document_ = document;
    top_ = top ? top : this;
    opener_ = opener;
  }
  // The function a JScript page left in window.onload, if any.
  IDispatch* OnLoad() const { return onLoad_.Get(); }
  void Disconnect();

 protected:
  DISPID MemberOf(const wchar_t* name) override;
  HRESULT Get(DISPID member, VARIANT* result) override;
  HRESULT Put(DISPID member, const VARIANT& value) override;
  HRESULT Call(DISPID member, const DISPPARAMS& params, VARIANT* result) override;

 private:
  ComPtr<Location> location_;
  ComPtr<Navigator> navigator_;
  Document* document_ = nullptr;
  Window* top_ = nullptr;
  Window* opener_ = nullptr;
  ComPtr<IDispatch> onLoad_;
};

class Document : public DispatchObject<IDispatch> {
 public:
  Document(Window* window, std::vector<ComPtr<Element>> elements)
      : window_(window), elements_(std::move(elements)) {}
  const std::vector<ComPtr<Element>>& Elements() const { return elements_; }
  void Disconnect() { window_ = nullptr; }

 protected:
  DISPID MemberOf(const wchar_t* name) override;
  HRESULT Get(DISPID member, VARIANT* result) override;
  HRESULT Call(DISPID member, const DISPPARAMS& params, VARIANT* result) override;

 private:
  Window* window_;
  std::vector<ComPtr<Element>> elements_;
};

class WebBrowserApp : public DispatchObject<IWebBrowserApp> {
 public:
  WebBrowserApp(std::wstring locationUrl, Document* document)
      : locationUrl_(std::move(locationUrl)), document_(document) {}
  void Disconnect() { document_ = nullptr; }

  // IWebBrowser: the two properties the control reads; the rest is refused.
  STDMETHOD(get_Document)(IDispatch** document) override;
  STDMETHOD(get_LocationURL)(BSTR* url) override;

  STDMETHOD(GoBack)() override { return E_NOTIMPL; }
  STDMETHOD(GoForward)() override { return E_NOTIMPL; }
  STDMETHOD(GoHome)() override { return E_NOTIMPL; }
  STDMETHOD(GoSearch)() override { return E_NOTIMPL; }
  STDMETHOD(Navigate)(BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHOD(Refresh)() override { return E_NOTIMPL; }
  STDMETHOD(Refresh2)(VARIANT*) override { return E_NOTIMPL; }
  STDMETHOD(Stop)() override { return E_NOTIMPL; }
  STDMETHOD(get_Application)(IDispatch** out) override { return Refuse(out); }
  STDMETHOD(get_Parent)(IDispatch** out) override { return Refuse(out); }
  STDMETHOD(get_Container)(IDispatch** out) override { return Refuse(out); }
  STDMETHOD(get_TopLevelContainer)(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHOD(get_Type)(BSTR* out) override { return Refuse(out); }
  STDMETHOD(get_Left)(LONG*) override { return E_NOTIMPL; }
  STDMETHOD(put_Left)(LONG) override { return E_NOTIMPL; }
  STDMETHOD(get_Top)(LONG*) override { return E_NOTIMPL; }
  STDMETHOD(put_Top)(LONG) override { return E_NOTIMPL; }
  STDMETHOD(get_Width)(LONG*) override { return E_NOTIMPL; }
  STDMETHOD(put_Width)(LONG) override { return E_NOTIMPL; }
  STDMETHOD(get_Height)(LONG*) override { return E_NOTIMPL; }
  STDMETHOD(put_Height)(LONG) override { return E_NOTIMPL; }
  STDMETHOD(get_LocationName)(BSTR* out) override { return Refuse(out); }
  STDMETHOD(get_Busy)(VARIANT_BOOL*) override { return E_NOTIMPL; }
  // IWebBrowserApp
  STDMETHOD(Quit)() override { return E_NOTIMPL; }
  STDMETHOD(ClientToWindow)(int*, int*) override { return E_NOTIMPL; }
  STDMETHOD(PutProperty)(BSTR, VARIANT) override { return E_NOTIMPL; }
  STDMETHOD(GetProperty)(BSTR, VARIANT*) override { return E_NOTIMPL; }
  STDMETHOD(get_Name)(BSTR* out) override { return Refuse(out); }
  STDMETHOD(get_HWND)(SHANDLE_PTR*) override { return E_NOTIMPL; }
  STDMETHOD(get_FullName)(BSTR* out) override { return Refuse(out); }
  STDMETHOD(get_Path)(BSTR* out) override { return Refuse(out); }
  STDMETHOD(get_Visible)(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHOD(put_Visible)(VARIANT_BOOL) override { return E_NOTIMPL; }
  STDMETHOD(get_StatusBar)(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHOD(put_StatusBar)(VARIANT_BOOL) override { return E_NOTIMPL; }
  STDMETHOD(get_StatusText)(BSTR* out) override { return Refuse(out); }
  STDMETHOD(put_StatusText)(BSTR) override { return E_NOTIMPL; }
  STDMETHOD(get_ToolBar)(int*) override { return E_NOTIMPL; }
  STDMETHOD(put_ToolBar)(int) override { return E_NOTIMPL; }
  STDMETHOD(get_MenuBar)(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHOD(put_MenuBar)(VARIANT_BOOL) override { return E_NOTIMPL; }
  STDMETHOD(get_FullScreen)(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHOD(put_FullScreen)(VARIANT_BOOL) override { return E_NOTIMPL; }

 protected:
  bool Answers(REFIID iid) override;
  DISPID MemberOf(const wchar_t* name) override;
  HRESULT Get(DISPID member, VARIANT* result) override;

 private:
  template <typename T>
  static HRESULT Refuse(T* out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

  std::wstring locationUrl_;
  Document* document_;
};

}  // namespace devlore::page_host
