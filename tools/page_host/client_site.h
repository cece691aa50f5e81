#pragma once
// The site the page host gives each embedded object: the browser's client site
// (the container moniker is a URL moniker of the page's address), its service
// provider (SID_SWebBrowserApp answers the browser application) and a plain
// in-place site on the page's window.
#include <windows.h>
#include <ole2.h>
#include <servprov.h>

#include "base/com_ptr.h"
#include "tools/page_host/browser_objects.h"

namespace devlore::page_host {

class ClientSite : public IOleClientSite, public IServiceProvider, public IOleInPlaceSite {
 public:
  ClientSite(IMoniker* containerMoniker, WebBrowserApp* browser, HWND window, RECT position)
      : moniker_(containerMoniker), browser_(browser), window_(window), position_(position) {}
  ClientSite(const ClientSite&) = delete;
  ClientSite& operator=(const ClientSite&) = delete;

  // IUnknown
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override { return InterlockedIncrement(&references_); }
  STDMETHOD_(ULONG, Release)() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  STDMETHOD(SaveObject)() override { return S_OK; }
  STDMETHOD(GetMoniker)(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHOD(GetContainer)(IOleContainer** container) override {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD(ShowObject)() override { return S_OK; }
  STDMETHOD(OnShowWindow)(BOOL) override { return S_OK; }
  STDMETHOD(RequestNewObjectLayout)() override { return E_NOTIMPL; }

  // IServiceProvider
  STDMETHOD(QueryService)(REFGUID service, REFIID iid, void** object) override;

  // IOleWindow
  STDMETHOD(GetWindow)(HWND* window) override;
  STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHOD(CanInPlaceActivate)() override { return S_OK; }
  STDMETHOD(OnInPlaceActivate)() override { return S_OK; }
  STDMETHOD(OnUIActivate)() override { return S_OK; }
  STDMETHOD(GetWindowContext)(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                              LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  STDMETHOD(Scroll)(SIZE) override { return E_NOTIMPL; }
  STDMETHOD(OnUIDeactivate)(BOOL) override { return S_OK; }
  STDMETHOD(OnInPlaceDeactivate)() override { return S_OK; }
  STDMETHOD(DiscardUndoState)() override { return S_OK; }
  STDMETHOD(DeactivateAndUndo)() override { return S_OK; }
  STDMETHOD(OnPosRectChange)(LPCRECT) override { return S_OK; }

  // The page is going: the site stops answering for the browser.
  void Disconnect() { browser_.Reset(); }

 private:
  virtual ~ClientSite() = default;

  LONG references_ = 1;
  ComPtr<IMoniker> moniker_;
  ComPtr<WebBrowserApp> browser_;
  HWND window_;
  RECT position_;
};

}  // namespace devlore::page_host
