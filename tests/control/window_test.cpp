// In-place activation in a real container window, the control window and its
// message table, windowless activation, verbs and drawing.
#include "server/server_module.h"
#include "tests/control/control_support.h"

namespace devlore::test {
namespace {

std::string ClassNameOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!container_.Get()) {
      GTEST_SKIP() << "no window can be created here: the Wine prefix needs the null graphics driver "
                      "(HKCU\\Software\\Wine\\Drivers Graphics=null) when no display is set";
    }
  }
  ContainerWindow container_;
};

TEST_F(WindowTest, InPlaceActivationMakesAChildWindowAndDeactivationDestroysIt) {
  TestSite site(container_.Get(), TestSite::kPlain);
  {
    ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(S_OK, object->SetClientSite(&site));
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(S_OK, object.QueryInto(IID_IOleInPlaceObject, inPlace));
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(E_UNEXPECTED, inPlace->GetWindow(&window));
    EXPECT_EQ(E_POINTER, inPlace->GetWindow(nullptr));

    ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, container_.Get(), &site.position));
    EXPECT_EQ(1, site.inPlaceActivations);
    EXPECT_EQ(0, site.inPlaceActivationsEx);
    ASSERT_EQ(S_OK, inPlace->GetWindow(&window));
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(container_.Get(), GetParent(window));

    // The class: "ATL:" and eight hex digits, with its styles and cursor.
    const std::string name = ClassNameOf(window);
    ASSERT_EQ(12u, name.size()) << name;
    EXPECT_EQ("ATL:", name.substr(0, 4));
    EXPECT_EQ(std::string::npos, name.find_first_not_of("0123456789ABCDEF", 4)) << name;
    WNDCLASSEXA wc = {sizeof wc};
    ASSERT_TRUE(GetClassInfoExA(ModuleInstance(), name.c_str(), &wc));
    EXPECT_EQ(static_cast<UINT>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS), wc.style);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), wc.hbrBackground);
    EXPECT_EQ(nullptr, wc.hIcon);
    EXPECT_EQ(nullptr, wc.lpszMenuName);
    EXPECT_EQ(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)), wc.hCursor);

    // The window: child, visible, clipping; no extended style and no title; the
    // control's address as its identifier; placed at the site's position.
    EXPECT_EQ(0x56000000u, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & 0xFFFF0000u);
    EXPECT_EQ(0u, static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)) & ~WS_EX_NOPARENTNOTIFY);
    EXPECT_EQ(0, GetWindowTextLengthA(window));
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, object.QueryInto(IID_IUnknown, identity));
    EXPECT_NE(0, GetWindowLongPtrA(window, GWLP_ID));
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, container_.Get(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(site.position.left, rect.left);
    EXPECT_EQ(site.position.top, rect.top);
    EXPECT_EQ(site.position.right, rect.right);
    EXPECT_EQ(site.position.bottom, rect.bottom);

    // Reflected notifications are answered as the message they stand for.
    EXPECT_EQ(DefWindowProcA(window, WM_CTLCOLORSTATIC, 0, 0), SendMessageA(window, 0x2000 + WM_CTLCOLORSTATIC, 0, 0));
    // A second activation reuses the window.
    ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, container_.Get(), &site.position));
    HWND again = nullptr;
    ASSERT_EQ(S_OK, inPlace->GetWindow(&again));
    EXPECT_EQ(window, again);

    ASSERT_EQ(S_OK, inPlace->InPlaceDeactivate());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(1, site.inPlaceDeactivations);
    EXPECT_EQ(E_UNEXPECTED, inPlace->GetWindow(&window));
    object->SetClientSite(nullptr);
  }
  EXPECT_EQ(0u, site.References());
}

TEST_F(WindowTest, UiActivationAndFocus) {
  TestSite site(container_.Get(), TestSite::kExtended);
  {
    ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(S_OK, object->SetClientSite(&site));
    ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, container_.Get(), &site.position));
    EXPECT_EQ(1, site.inPlaceActivationsEx);
    EXPECT_EQ(0u, site.activateFlags);  // with a window
    EXPECT_EQ(1, site.uiActivations);
    // Already UI active: nothing more happens.
    EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, container_.Get(), &site.position));
    EXPECT_EQ(1, site.uiActivations);
    ComPtr<IOleInPlaceActiveObject> active;
    ASSERT_EQ(S_OK, object.QueryInto(IID_IOleInPlaceActiveObject, active));
    HWND window = nullptr;
    ASSERT_EQ(S_OK, active->GetWindow(&window));
    // Focus to the container's window: the control site hears it lost the focus.
    SendMessageA(window, WM_KILLFOCUS, reinterpret_cast<WPARAM>(container_.Get()), 0);
    EXPECT_EQ(1, site.focusLost);
    SendMessageA(window, WM_SETFOCUS, 0, 0);
    EXPECT_GE(site.focusGained, 1);

    // Accelerators go to the control site.
    MSG message = {window, WM_KEYDOWN, 'A', 0};
    site.translateResult = S_OK;
    EXPECT_EQ(S_OK, active->TranslateAccelerator(&message));
    site.translateResult = S_FALSE;
    EXPECT_EQ(S_FALSE, active->TranslateAccelerator(&message));
    EXPECT_EQ(2, site.translations);
    EXPECT_EQ(0u, site.lastModifiers);

    // Document deactivation UI-deactivates; hide does as well and hides the window.
    EXPECT_EQ(S_OK, active->OnDocWindowActivate(FALSE));
    EXPECT_EQ(1, site.uiDeactivations);
    // A click UI-activates again (the site has no user mode to say otherwise).
    SendMessageA(window, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(container_.Get()), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    EXPECT_EQ(2, site.uiActivations);
    EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_HIDE, nullptr, &site, 0, container_.Get(), &site.position));
    EXPECT_EQ(2, site.uiDeactivations);
    EXPECT_FALSE(IsWindowVisible(window));
    // Close deactivates and destroys the window.
    EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(1, site.inPlaceDeactivations);
    object->SetClientSite(nullptr);
  }
  EXPECT_EQ(0u, site.References());
}

TEST_F(WindowTest, SetObjectRectsClipsWithARegionOnlyWhenNeeded) {
  TestSite site(container_.Get(), TestSite::kPlain);
  ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
  ASSERT_EQ(S_OK, object->SetClientSite(&site));
  ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, container_.Get(), &site.position));
  ComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(S_OK, object.QueryInto(IID_IOleInPlaceObject, inPlace));
  HWND window = nullptr;
  ASSERT_EQ(S_OK, inPlace->GetWindow(&window));
  HRGN region = CreateRectRgn(0, 0, 0, 0);

  const RECT position = {50, 40, 150, 100};
  const RECT partial = {0, 0, 120, 90};
  ASSERT_EQ(S_OK, inPlace->SetObjectRects(&position, &partial));
  ASSERT_EQ(SIMPLEREGION, GetWindowRgn(window, region));
  RECT box;
  GetRgnBox(region, &box);
  EXPECT_EQ(0, box.left);
  EXPECT_EQ(0, box.top);
  EXPECT_EQ(70, box.right);   // 120 - 50, in window coordinates
  EXPECT_EQ(50, box.bottom);  // 90 - 40
  RECT rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, container_.Get(), reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(50, rect.left);
  EXPECT_EQ(40, rect.top);
  EXPECT_EQ(150, rect.right);
  EXPECT_EQ(100, rect.bottom);

  // A clip that holds the whole position, or none of it, removes the region.
  const RECT whole = {0, 0, 500, 500};
  ASSERT_EQ(S_OK, inPlace->SetObjectRects(&position, &whole));
  EXPECT_EQ(ERROR, GetWindowRgn(window, region));
  ASSERT_EQ(S_OK, inPlace->SetObjectRects(&position, &partial));
  const RECT apart = {300, 300, 400, 400};
  ASSERT_EQ(S_OK, inPlace->SetObjectRects(&position, &apart));
  EXPECT_EQ(ERROR, GetWindowRgn(window, region));
  EXPECT_EQ(E_POINTER, inPlace->SetObjectRects(nullptr, &whole));
  EXPECT_EQ(E_POINTER, inPlace->SetObjectRects(&position, nullptr));
  DeleteObject(region);
  inPlace->InPlaceDeactivate();
  object->SetClientSite(nullptr);
}

TEST_F(WindowTest, WindowlessActivationCreatesNoWindow) {
  TestSite site(container_.Get(), TestSite::kWindowless);
  {
    ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(S_OK, object->SetClientSite(&site));
    ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, container_.Get(), &site.position));
    EXPECT_EQ(static_cast<DWORD>(ACTIVATE_WINDOWLESS), site.activateFlags);
    EXPECT_EQ(1, site.invalidations);  // the view was redrawn through the site
    ComPtr<IOleInPlaceObjectWindowless> windowless;
    ASSERT_EQ(S_OK, object.QueryInto(IID_IOleInPlaceObjectWindowless, windowless));
    HWND window = nullptr;
    EXPECT_EQ(E_FAIL, windowless->GetWindow(&window));
    LRESULT result = 99;
    EXPECT_EQ(S_FALSE, windowless->OnWindowMessage(WM_LBUTTONDOWN, 0, 0, &result));
    EXPECT_EQ(S_OK, windowless->OnWindowMessage(0x2000 + WM_COMMAND, 0, 0, &result));
    // A windowless draw without bounds uses the position.
    ComPtr<IViewObject> view;
    ASSERT_EQ(S_OK, object.QueryInto(IID_IViewObject, view));
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, nullptr, nullptr, nullptr, 0));
    DeleteDC(dc);
    ASSERT_EQ(S_OK, windowless->InPlaceDeactivate());
    EXPECT_EQ(1, site.inPlaceDeactivations);
    object->SetClientSite(nullptr);
  }
  EXPECT_EQ(0u, site.References());
}

TEST_F(WindowTest, AWindowlessSiteThatRefusesGetsAWindow) {
  TestSite site(container_.Get(), TestSite::kWindowless);
  site.allowWindowless = false;
  ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
  ASSERT_EQ(S_OK, object->SetClientSite(&site));
  ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, container_.Get(), &site.position));
  EXPECT_EQ(0u, site.activateFlags);
  ComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(S_OK, object.QueryInto(IID_IOleInPlaceObject, inPlace));
  HWND window = nullptr;
  EXPECT_EQ(S_OK, inPlace->GetWindow(&window));
  EXPECT_TRUE(IsWindow(window));
  object->Close(OLECLOSE_NOSAVE);
  object->SetClientSite(nullptr);
}

TEST_F(WindowTest, PrimaryVerbFollowsTheAmbientUserMode) {
  // Design mode: the properties verb asks the control site for a frame.
  TestSite design(container_.Get(), TestSite::kPlain);
  design.SetUserMode(false);
  {
    ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(S_OK, object->SetClientSite(&design));
    EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_PRIMARY, nullptr, &design, 0, container_.Get(), &design.position));
    EXPECT_EQ(1, design.propertyFrames);
    EXPECT_EQ(0, design.inPlaceActivations);
    object->SetClientSite(nullptr);
  }
  // No ambient dispatch: in-place activation.
  TestSite plain(container_.Get(), TestSite::kPlain);
  plain.answerDispatch = false;
  {
    ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(S_OK, object->SetClientSite(&plain));
    EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_PRIMARY, nullptr, &plain, 0, container_.Get(), &plain.position));
    EXPECT_EQ(0, plain.propertyFrames);
    EXPECT_EQ(1, plain.inPlaceActivations);
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
  }
  // User mode true, or of another type: in-place activation too.
  TestSite user(container_.Get(), TestSite::kPlain);
  V_VT(&user.userMode) = VT_I4;
  V_I4(&user.userMode) = 0;
  {
    ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(S_OK, object->SetClientSite(&user));
    EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_PRIMARY, nullptr, &user, 0, container_.Get(), &user.position));
    EXPECT_EQ(1, user.inPlaceActivations);
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
  }
  EXPECT_EQ(0u, design.References());
  EXPECT_EQ(0u, plain.References());
  EXPECT_EQ(0u, user.References());
}

TEST_F(WindowTest, InPlaceActivateVerbWithoutInPlaceSiteTellsTheViewSink) {
  TestSite site(container_.Get(), TestSite::kNoInPlace);
  {
    ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(S_OK, object->SetClientSite(&site));
    ComPtr<IViewObject> view;
    ASSERT_EQ(S_OK, object.QueryInto(IID_IViewObject, view));
    ASSERT_EQ(S_OK, view->SetAdvise(DVASPECT_CONTENT, 0, &site));
    EXPECT_TRUE(FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, container_.Get(), &site.position)));
    EXPECT_EQ(1, site.viewChanges);
    EXPECT_TRUE(FAILED(object->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, container_.Get(), &site.position)));
    object->SetClientSite(nullptr);
  }
  EXPECT_EQ(0u, site.References());
}

TEST_F(WindowTest, DestroyingAnActiveControlDestroysItsWindow) {
  TestSite site(container_.Get(), TestSite::kPlain);
  HWND window = nullptr;
  const LONG before = ModuleLockCount();
  {
    ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(S_OK, object->SetClientSite(&site));
    ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, container_.Get(), &site.position));
    ComPtr<IOleWindow> oleWindow;
    ASSERT_EQ(S_OK, object.QueryInto(IID_IOleWindow, oleWindow));
    ASSERT_EQ(S_OK, oleWindow->GetWindow(&window));
    // Painting draws nothing and validates the window.
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(window, &update, FALSE));
  }
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(before, ModuleLockCount());
  // The in-place site, the client site and the gate's reference are all given back.
  EXPECT_EQ(0u, site.References());
}

WNDPROC g_subclassed = nullptr;
int g_subclassMessages = 0;

LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ++g_subclassMessages;
  return CallWindowProcA(g_subclassed, window, message, wParam, lParam);
}

TEST_F(WindowTest, AWindowDestroyedFromOutsideIsForgotten) {
  TestSite site(container_.Get(), TestSite::kPlain);
  ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
  ASSERT_EQ(S_OK, object->SetClientSite(&site));
  ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, container_.Get(), &site.position));
  ComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(S_OK, object.QueryInto(IID_IOleInPlaceObject, inPlace));
  HWND window = nullptr;
  ASSERT_EQ(S_OK, inPlace->GetWindow(&window));
  // Someone subclasses the control's window; the control's procedure stays in the chain.
  g_subclassMessages = 0;
  g_subclassed = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
  EXPECT_EQ(DefWindowProcA(window, WM_CTLCOLORBTN, 0, 0), SendMessageA(window, 0x2000 + WM_CTLCOLORBTN, 0, 0));
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_GE(g_subclassMessages, 2);
  HWND after = reinterpret_cast<HWND>(1);
  EXPECT_EQ(E_UNEXPECTED, inPlace->GetWindow(&after));
  EXPECT_EQ(S_OK, inPlace->InPlaceDeactivate());
  // A new activation makes a new window.
  ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, container_.Get(), &site.position));
  ASSERT_EQ(S_OK, inPlace->GetWindow(&after));
  EXPECT_TRUE(IsWindow(after));
  inPlace->InPlaceDeactivate();
  object->SetClientSite(nullptr);
}

// ---- Drawing -------------------------------------------------------------

TEST(ControlDrawing, OleDrawPaintsNothing) {
  ComPtr<IUnknown> control = NewControl<IUnknown>(IID_IUnknown);
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 32;
  info.bmiHeader.biHeight = 32;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_TRUE(bitmap);
  HGDIOBJ old = SelectObject(dc, bitmap);
  DWORD* pixels = static_cast<DWORD*>(bits);
  for (int i = 0; i < 32 * 32; ++i) pixels[i] = 0x00123456;
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowOrgEx(dc, 5, 5, nullptr);
  const RECT bounds = {0, 0, 32, 32};
  ASSERT_EQ(S_OK, OleDraw(control.Get(), DVASPECT_CONTENT, dc, &bounds));
  GdiFlush();
  int changed = 0;
  for (int i = 0; i < 32 * 32; ++i) changed += pixels[i] != 0x00123456;
  EXPECT_EQ(0, changed);
  // The caller's device context is as it was.
  EXPECT_EQ(MM_ANISOTROPIC, GetMapMode(dc));
  POINT origin;
  GetWindowOrgEx(dc, &origin);
  EXPECT_EQ(5, origin.x);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);

  ComPtr<IViewObject> view;
  ASSERT_EQ(S_OK, control.QueryInto(IID_IViewObject, view));
  EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr,
                                     reinterpret_cast<LPCRECTL>(&bounds), nullptr, nullptr, 0));
  EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, GetDC(nullptr), nullptr,
                                     nullptr, nullptr, 0));
}

struct MetafileCounter {
  int records = 0, drawing = 0;
};

int CALLBACK CountMetafileRecord(HDC, HANDLETABLE*, METARECORD* record, int, LPARAM param) {
  MetafileCounter* counter = reinterpret_cast<MetafileCounter*>(param);
  ++counter->records;
  if (record->rdFunction != META_SETWINDOWORG && record->rdFunction != META_SETWINDOWEXT &&
      record->rdFunction != META_SAVEDC && record->rdFunction != META_RESTOREDC) {
    ++counter->drawing;
  }
  return 1;
}

TEST(ControlDrawing, GetDataRendersAnEmptyMetafileOfTheExtent) {
  ComPtr<IDataObject> data = NewControl<IDataObject>(IID_IDataObject);
  FORMATETC bitmapFormat = {CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI};
  STGMEDIUM medium;
  EXPECT_EQ(DV_E_TYMED, data->GetData(&bitmapFormat, &medium));
  EXPECT_EQ(static_cast<DWORD>(TYMED_NULL), medium.tymed);
  EXPECT_EQ(E_POINTER, data->GetData(&bitmapFormat, nullptr));

  FORMATETC format = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
  ASSERT_EQ(S_OK, data->GetData(&format, &medium));
  ASSERT_EQ(static_cast<DWORD>(TYMED_MFPICT), medium.tymed);
  EXPECT_EQ(nullptr, medium.pUnkForRelease);
  METAFILEPICT* picture = static_cast<METAFILEPICT*>(GlobalLock(medium.hMetaFilePict));
  ASSERT_TRUE(picture);
  EXPECT_EQ(MM_ANISOTROPIC, picture->mm);
  EXPECT_EQ(5080, picture->xExt);
  EXPECT_EQ(5080, picture->yExt);
  // Only the window origin and extent are recorded: nothing is drawn.
  MetafileCounter counter;
  HDC dc = CreateCompatibleDC(nullptr);
  EnumMetaFile(dc, picture->hMF, CountMetafileRecord, reinterpret_cast<LPARAM>(&counter));
  DeleteDC(dc);
  EXPECT_EQ(0, counter.drawing);
  GlobalUnlock(medium.hMetaFilePict);
  ReleaseStgMedium(&medium);

}

}  // namespace
}  // namespace devlore::test
