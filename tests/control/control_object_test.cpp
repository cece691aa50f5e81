// The control object: its interfaces, creation forms and module lock, safety
// options, class information, OLE embedding through the platform's own OLE
// (OleCreate, advise holders, verbs), extents and view queries.
#include "base/handles.h"
#include "server/server_module.h"
#include "tests/control/control_support.h"

namespace devlore::test {
namespace {

TEST(ControlInterfaces, AnswersExactlyItsTwentyInterfaces) {
  ComPtr<IUnknown> control = NewControl<IUnknown>(IID_IUnknown);
  ComPtr<ISysInfo1> scripting;
  ASSERT_EQ(S_OK, control.QueryInto(IID_ISysInfo1, scripting));
  // IUnknown and IDispatch are the ISysInfo1 pointer.
  EXPECT_EQ(static_cast<IUnknown*>(scripting.Get()), control.Get());
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, control.QueryInto(IID_IDispatch, dispatch));
  EXPECT_EQ(static_cast<IDispatch*>(scripting.Get()), dispatch.Get());

  const IID* answered[] = {&IID_ISysInfo1,          &IID_IDispatch,
                           &IID_IViewObjectEx,       &IID_IViewObject2,
                           &IID_IViewObject,         &IID_IOleInPlaceObjectWindowless,
                           &IID_IOleInPlaceObject,   &IID_IOleWindow,
                           &IID_IOleInPlaceActiveObject, &IID_IOleControl,
                           &IID_IOleObject,          &IID_IPersistStreamInit,
                           &IID_IPersist,            &IID_ISpecifyPropertyPages,
                           &IID_IQuickActivate,      &IID_IPersistStorage,
                           &IID_IDataObject,         &IID_IProvideClassInfo,
                           &IID_IProvideClassInfo2,  &IID_IObjectSafety};
  for (const IID* iid : answered) {
    ComPtr<IUnknown> found;
    EXPECT_EQ(S_OK, control.QueryInto(*iid, found));
    ASSERT_TRUE(found);
    // Every interface leads back to the same identity.
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, found.QueryInto(IID_IUnknown, identity));
    EXPECT_EQ(control.Get(), identity.Get());
  }
  const IID* refused[] = {&IID_IConnectionPointContainer, &IID_IPersistPropertyBag, &IID_IPersistStream,
                          &IID_IRunnableObject,           &IID_IOleCache,          &IID_IPointerInactive,
                          &IID_IClassFactory,             &IID_IOleInPlaceSite};
  for (const IID* iid : refused) {
    void* found = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, control->QueryInterface(*iid, &found));
    EXPECT_EQ(nullptr, found);
  }
  EXPECT_EQ(E_POINTER, control->QueryInterface(IID_IUnknown, nullptr));
}

// Every interface pointer the query hands out must run that interface's own
// methods: one call per interface whose answer only that interface gives.
TEST(ControlInterfaces, EachAnsweredPointerRunsItsOwnInterface) {
  ComPtr<IUnknown> control = NewControl<IUnknown>(IID_IUnknown);
  auto query = [&](REFIID iid) {
    ComPtr<IUnknown> found;
    EXPECT_EQ(S_OK, control.QueryInto(iid, found));
    return found;
  };
  UINT count = 0;
  EXPECT_EQ(S_OK, static_cast<ISysInfo1*>(query(IID_ISysInfo1).Get())->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  count = 0;
  EXPECT_EQ(S_OK, static_cast<IDispatch*>(query(IID_IDispatch).Get())->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);

  DWORD status = 0;
  EXPECT_EQ(S_OK, static_cast<IViewObjectEx*>(query(IID_IViewObjectEx).Get())->GetViewStatus(&status));
  EXPECT_EQ(static_cast<DWORD>(VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND), status);
  SIZEL extent = {};
  EXPECT_EQ(S_OK, static_cast<IViewObject2*>(query(IID_IViewObject2).Get())
                      ->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent));
  EXPECT_EQ(5080, extent.cx);
  EXPECT_EQ(E_NOTIMPL, static_cast<IViewObject*>(query(IID_IViewObject).Get())->Unfreeze(0));

  for (REFIID iid : {IID_IOleInPlaceObjectWindowless, IID_IOleInPlaceObject, IID_IOleWindow,
                     IID_IOleInPlaceActiveObject}) {
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(E_UNEXPECTED, static_cast<IOleWindow*>(query(iid).Get())->GetWindow(&window));
    EXPECT_EQ(nullptr, window);
  }
  EXPECT_EQ(E_NOTIMPL,
            static_cast<IOleInPlaceObjectWindowless*>(query(IID_IOleInPlaceObjectWindowless).Get())
                ->GetDropTarget(nullptr));
  EXPECT_EQ(E_NOTIMPL, static_cast<IOleInPlaceObject*>(query(IID_IOleInPlaceObject).Get())->ReactivateAndUndo());
  EXPECT_EQ(E_POINTER, static_cast<IOleInPlaceActiveObject*>(query(IID_IOleInPlaceActiveObject).Get())
                          ->TranslateAccelerator(nullptr));

  EXPECT_EQ(E_NOTIMPL, static_cast<IOleControl*>(query(IID_IOleControl).Get())->GetControlInfo(nullptr));
  CLSID user = {};
  EXPECT_EQ(S_OK, static_cast<IOleObject*>(query(IID_IOleObject).Get())->GetUserClassID(&user));
  EXPECT_TRUE(IsEqualCLSID(CLSID_SysInfo, user));
  EXPECT_EQ(E_NOTIMPL, static_cast<IPersistStreamInit*>(query(IID_IPersistStreamInit).Get())->GetSizeMax(nullptr));
  for (REFIID iid : {IID_IPersist, IID_IPersistStorage}) {
    CLSID persisted = {};
    EXPECT_EQ(S_OK, static_cast<IPersist*>(query(iid).Get())->GetClassID(&persisted));
    EXPECT_TRUE(IsEqualCLSID(CLSID_SysInfo, persisted));
  }
  EXPECT_EQ(S_OK, static_cast<IPersistStorage*>(query(IID_IPersistStorage).Get())->HandsOffStorage());
  CAUUID pages = {5, nullptr};
  EXPECT_EQ(S_OK, static_cast<ISpecifyPropertyPages*>(query(IID_ISpecifyPropertyPages).Get())->GetPages(&pages));
  EXPECT_EQ(0u, pages.cElems);
  SIZEL content = {};
  EXPECT_EQ(S_OK, static_cast<IQuickActivate*>(query(IID_IQuickActivate).Get())->GetContentExtent(&content));
  EXPECT_EQ(5080, content.cy);
  EXPECT_EQ(OLE_E_NOCONNECTION, static_cast<IDataObject*>(query(IID_IDataObject).Get())->DUnadvise(1));
  ComPtr<ITypeInfo> classInfo;
  EXPECT_EQ(S_OK, static_cast<IProvideClassInfo*>(query(IID_IProvideClassInfo).Get())
                      ->GetClassInfo(classInfo.Receive()));
  EXPECT_TRUE(classInfo);
  GUID source = IID_IDispatch;
  EXPECT_EQ(E_FAIL, static_cast<IProvideClassInfo2*>(query(IID_IProvideClassInfo2).Get())
                        ->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, source));
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(S_OK, static_cast<IObjectSafety*>(query(IID_IObjectSafety).Get())
                      ->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
  EXPECT_EQ(static_cast<DWORD>(INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA), supported);
}

TEST(ControlCreation, EachObjectHoldsOneModuleLock) {
  const LONG before = ModuleLockCount();
  ComPtr<IUnknown> first;
  ComPtr<IOleObject> second;
  ASSERT_EQ(S_OK, CreateSysInfoObject(nullptr, IID_IUnknown, first.ReceiveVoid()));
  EXPECT_EQ(before + 1, ModuleLockCount());
  ASSERT_EQ(S_OK, CreateSysInfoObject(nullptr, IID_IOleObject, second.ReceiveVoid()));
  EXPECT_EQ(before + 2, ModuleLockCount());
  EXPECT_EQ(1u, RefCount(first.Get()));
  first.Reset();
  EXPECT_EQ(before + 1, ModuleLockCount());
  second.Reset();
  EXPECT_EQ(before, ModuleLockCount());

  // A refused interface destroys the new object again.
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, CreateSysInfoObject(nullptr, IID_IPersistPropertyBag, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(before, ModuleLockCount());
  EXPECT_EQ(E_POINTER, CreateSysInfoObject(nullptr, IID_IUnknown, nullptr));
}

// An outer object that aggregates the control and counts its own references.
class Outer : public IUnknown {
 public:
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    if (IsEqualIID(iid, IID_IPersistPropertyBag)) {  // the outer object's own
      *object = nullptr;
      return E_NOINTERFACE;
    }
    return inner ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
  STDMETHOD_(ULONG, Release)() override { return --refs; }
  IUnknown* inner = nullptr;
  ULONG refs = 1;
};

TEST(ControlCreation, AggregatedObjectDelegatesToItsOuterObject) {
  Outer outer;
  const LONG before = ModuleLockCount();
  void* refused = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, CreateSysInfoObject(&outer, IID_IDispatch, &refused));
  EXPECT_EQ(nullptr, refused);
  ASSERT_EQ(S_OK, CreateSysInfoObject(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
  EXPECT_EQ(before + 1, ModuleLockCount());
  EXPECT_EQ(1u, outer.refs);  // the inner unknown was counted on its own

  ComPtr<IOleObject> object;
  ASSERT_EQ(S_OK, outer.QueryInterface(IID_IOleObject, object.ReceiveVoid()));
  EXPECT_EQ(2u, outer.refs);  // counted on the outer object
  // The inner interfaces lead back to the outer identity.
  ComPtr<IUnknown> identity;
  ASSERT_EQ(S_OK, object.QueryInto(IID_IUnknown, identity));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.Get());
  identity.Reset();
  object.Reset();
  EXPECT_EQ(1u, outer.refs);
  EXPECT_EQ(0u, outer.inner->Release());
  EXPECT_EQ(before, ModuleLockCount());
}

TEST(ControlSafety, OptionsAreKeptAndReportedPerInterface) {
  ComPtr<IObjectSafety> safety = NewControl<IObjectSafety>(IID_IObjectSafety);
  DWORD supported = 9, enabled = 9;
  ASSERT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
  EXPECT_EQ(3u, supported);
  EXPECT_EQ(0u, enabled);
  EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1));
  ASSERT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
  EXPECT_EQ(1u, enabled);
  EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IPersistStreamInit, 2, 3));
  ASSERT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
  EXPECT_EQ(3u, enabled);  // one set of options for every interface
  EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 0));
  ASSERT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
  EXPECT_EQ(2u, enabled);
  EXPECT_EQ(E_FAIL, safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4));
  EXPECT_EQ(E_NOINTERFACE, safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, 1, 1));
  EXPECT_EQ(E_NOINTERFACE, safety->GetInterfaceSafetyOptions(IID_IConnectionPointContainer, &supported, &enabled));
  EXPECT_EQ(0u, supported);
  EXPECT_EQ(0u, enabled);
  EXPECT_EQ(E_POINTER, safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled));
  EXPECT_EQ(E_POINTER, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, nullptr));
}

TEST(ControlClassInfo, ClassInformationAndNoSourceInterface) {
  ComPtr<IProvideClassInfo2> info = NewControl<IProvideClassInfo2>(IID_IProvideClassInfo2);
  ComPtr<ITypeInfo> type;
  ASSERT_EQ(S_OK, info->GetClassInfo(type.Receive()));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, type->GetTypeAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(CLSID_SysInfo, attributes->guid));
  EXPECT_EQ(TKIND_COCLASS, attributes->typekind);
  type->ReleaseTypeAttr(attributes);
  GUID guid = IID_IDispatch;
  EXPECT_EQ(E_FAIL, info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid));
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, guid));
  EXPECT_EQ(E_POINTER, info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr));

  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(S_OK, info.QueryInto(IID_ISpecifyPropertyPages, pages));
  CAUUID list = {7, reinterpret_cast<GUID*>(1)};
  EXPECT_EQ(S_OK, pages->GetPages(&list));
  EXPECT_EQ(0u, list.cElems);
  EXPECT_EQ(nullptr, list.pElems);
}

TEST(ControlOleObject, RegistryAnswersAndFixedAnswers) {
  ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
  DWORD misc = 0;
  ASSERT_EQ(S_OK, object->GetMiscStatus(DVASPECT_CONTENT, &misc));
  EXPECT_EQ(0x20191u, misc);
  LPOLESTR name = nullptr;
  const HRESULT typed = object->GetUserType(USERCLASSTYPE_FULL, &name);
  const UniqueTaskMemory nameBlock(name);
  ASSERT_EQ(S_OK, typed);
  EXPECT_STREQ(L"Tolvane PC Meadow System Information Class", name);
  // The class registers no verbs (the platform answers OLEOBJ_E_NOVERBS or,
  // under Wine, REGDB_E_KEYMISSING).
  ComPtr<IEnumOLEVERB> verbs;
  EXPECT_TRUE(FAILED(object->EnumVerbs(verbs.Receive())));
  EXPECT_FALSE(verbs);
  CLSID classId = {};
  EXPECT_EQ(S_OK, object->GetUserClassID(&classId));
  EXPECT_TRUE(IsEqualGUID(CLSID_SysInfo, classId));

  IMoniker* moniker = reinterpret_cast<IMoniker*>(1);
  EXPECT_EQ(E_NOTIMPL, object->GetMoniker(0, OLEWHICHMK_CONTAINER, &moniker));
  EXPECT_EQ(nullptr, moniker);
  EXPECT_EQ(E_NOTIMPL, object->DoVerb(1, nullptr, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_OPEN, nullptr, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_DISCARDUNDOSTATE, nullptr, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_HIDE, nullptr, nullptr, 0, nullptr, nullptr));
}

TEST(ControlOleObject, ExtentsOnlyForTheContentAspect) {
  ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
  SIZEL size = {};
  ASSERT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &size));
  EXPECT_EQ(5080, size.cx);
  EXPECT_EQ(5080, size.cy);
  EXPECT_EQ(E_FAIL, object->GetExtent(DVASPECT_ICON, &size));
  SIZEL wanted = {1234, 567};
  EXPECT_EQ(DV_E_DVASPECT, object->SetExtent(DVASPECT_ICON, &wanted));
  EXPECT_EQ(E_POINTER, object->SetExtent(DVASPECT_CONTENT, nullptr));
  ASSERT_EQ(S_OK, object->SetExtent(DVASPECT_CONTENT, &wanted));
  ASSERT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &size));
  EXPECT_EQ(1234, size.cx);
  EXPECT_EQ(567, size.cy);

  ComPtr<IViewObjectEx> view;
  ASSERT_EQ(S_OK, object.QueryInto(IID_IViewObjectEx, view));
  SIZEL viewSize = {};
  EXPECT_EQ(S_OK, view->GetExtent(DVASPECT_ICON, -1, nullptr, &viewSize));  // whatever the aspect
  EXPECT_EQ(1234, viewSize.cx);
  DVEXTENTINFO extentInfo = {sizeof extentInfo, DVEXTENT_CONTENT, {0, 0}};
  ASSERT_EQ(S_OK, view->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, &extentInfo, &viewSize));
  EXPECT_EQ(5080, viewSize.cx);  // the natural extent did not change
  extentInfo.dwExtentMode = DVEXTENT_INTEGRAL;
  EXPECT_EQ(E_FAIL, view->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, &extentInfo, &viewSize));
  EXPECT_EQ(E_POINTER, view->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &viewSize));

  ComPtr<IQuickActivate> quick;
  ASSERT_EQ(S_OK, object.QueryInto(IID_IQuickActivate, quick));
  SIZEL content = {42, 43};
  EXPECT_EQ(S_OK, quick->SetContentExtent(&content));
  ASSERT_EQ(S_OK, quick->GetContentExtent(&viewSize));
  EXPECT_EQ(42, viewSize.cx);
  EXPECT_EQ(43, viewSize.cy);
}

TEST(ControlView, StatusAndHits) {
  ComPtr<IViewObjectEx> view = NewControl<IViewObjectEx>(IID_IViewObjectEx);
  DWORD status = 0;
  ASSERT_EQ(S_OK, view->GetViewStatus(&status));
  EXPECT_EQ(3u, status);
  const RECT bounds = {10, 10, 50, 50};
  DWORD hit = 99;
  ASSERT_EQ(S_OK, view->QueryHitPoint(DVASPECT_CONTENT, &bounds, POINT{20, 20}, 0, &hit));
  EXPECT_EQ(static_cast<DWORD>(HITRESULT_HIT), hit);
  ASSERT_EQ(S_OK, view->QueryHitPoint(DVASPECT_CONTENT, &bounds, POINT{60, 20}, 0, &hit));
  EXPECT_EQ(static_cast<DWORD>(HITRESULT_OUTSIDE), hit);
  EXPECT_EQ(E_FAIL, view->QueryHitPoint(DVASPECT_ICON, &bounds, POINT{20, 20}, 0, &hit));
  const RECT outside = {60, 60, 70, 70}, overlapping = {40, 40, 70, 70};
  ASSERT_EQ(S_OK, view->QueryHitRect(DVASPECT_CONTENT, &bounds, &outside, 0, &hit));
  EXPECT_EQ(static_cast<DWORD>(HITRESULT_OUTSIDE), hit);
  ASSERT_EQ(S_OK, view->QueryHitRect(DVASPECT_CONTENT, &bounds, &overlapping, 0, &hit));
  EXPECT_EQ(static_cast<DWORD>(HITRESULT_HIT), hit);
  EXPECT_EQ(E_FAIL, view->QueryHitRect(DVASPECT_THUMBNAIL, &bounds, &overlapping, 0, &hit));
}

TEST(ControlAdvise, OleAndDataAdvisesGoThroughThePlatformsHolders) {
  TestSite sink(nullptr);
  {
    ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
    EXPECT_EQ(E_FAIL, object->Unadvise(1));
    IEnumSTATDATA* advises = reinterpret_cast<IEnumSTATDATA*>(1);
    EXPECT_EQ(E_FAIL, object->EnumAdvise(&advises));
    EXPECT_EQ(nullptr, advises);
    DWORD connection = 0;
    ASSERT_EQ(S_OK, object->Advise(&sink, &connection));
    EXPECT_NE(0u, connection);
    ComPtr<IEnumSTATDATA> list;
    ASSERT_EQ(S_OK, object->EnumAdvise(list.Receive()));
    STATDATA data = {};
    ULONG fetched = 0;
    ASSERT_EQ(S_OK, list->Next(1, &data, &fetched));
    ComPtr<IAdviseSink> fetchedSink = ComPtr<IAdviseSink>::Adopt(data.pAdvSink);
    EXPECT_EQ(connection, data.dwConnection);
    fetchedSink.Reset();
    list.Reset();
    // Close tells the advise sinks.
    EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(1, sink.closes);
    EXPECT_EQ(S_OK, object->Unadvise(connection));
    EXPECT_EQ(OLE_E_NOCONNECTION, object->Unadvise(connection));

    ComPtr<IDataObject> data2;
    ASSERT_EQ(S_OK, object.QueryInto(IID_IDataObject, data2));
    EXPECT_EQ(OLE_E_NOCONNECTION, data2->DUnadvise(1));
    EXPECT_EQ(E_FAIL, data2->EnumDAdvise(&advises));
    FORMATETC format = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
    DWORD dataConnection = 0;
    ASSERT_EQ(S_OK, data2->DAdvise(&format, ADVF_NODATA, &sink, &dataConnection));
    EXPECT_NE(0u, dataConnection);
    ASSERT_EQ(S_OK, data2->EnumDAdvise(list.Receive()));
    EXPECT_EQ(S_OK, data2->DUnadvise(dataConnection));
    EXPECT_EQ(OLE_E_NOCONNECTION, data2->DUnadvise(dataConnection));
  }
  // Every reference the control took on the sink is given back.
  EXPECT_EQ(0u, sink.References());
}

TEST(ControlOleObject, GateAndStandardSiteHandling) {
  TestSite site(nullptr);
  {
    ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
    EXPECT_EQ(S_OK, object->SetHostNames(L"app", HostAccessCode()));
    // A page site given later does not take access away (no page check can pass
    // for a site without a browser).
    ASSERT_EQ(S_OK, object->SetClientSite(&site));
    ComPtr<IOleClientSite> kept;
    ASSERT_EQ(S_OK, object->GetClientSite(kept.Receive()));
    EXPECT_EQ(static_cast<IOleClientSite*>(&site), kept.Get());
    kept.Reset();
    EXPECT_EQ(E_POINTER, object->GetClientSite(nullptr));
    ComPtr<ISysInfo1> scripting;
    ASSERT_EQ(S_OK, object.QueryInto(IID_ISysInfo1, scripting));
    VARIANT count;
    EXPECT_EQ(S_OK, scripting->GetObjectCount(&count));
    EXPECT_EQ(S_OK, object->SetHostNames(L"app", L"anything"));
    ASSERT_EQ(S_OK, object->SetClientSite(nullptr));
    ASSERT_EQ(S_OK, object->GetClientSite(kept.Receive()));
    EXPECT_FALSE(kept);
    EXPECT_EQ(0u, site.References());
    ASSERT_EQ(S_OK, object->SetClientSite(&site));
  }
  // Destruction gives back the gate's and the standard handling's references.
  EXPECT_EQ(0u, site.References());
}

TEST(ControlOleObject, SiteWithoutBrowserIsRefusedForGood) {
  TestSite site(nullptr);
  ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
  ASSERT_EQ(S_OK, object->SetClientSite(&site));
  EXPECT_EQ(E_ACCESSDENIED, object->SetHostNames(L"app", HostAccessCode()));
  ComPtr<ISysInfo1> scripting;
  ASSERT_EQ(S_OK, object.QueryInto(IID_ISysInfo1, scripting));
  VARIANT count;
  EXPECT_EQ(E_ACCESSDENIED, scripting->GetObjectCount(&count));
  object->SetClientSite(nullptr);
}

TEST(ControlOleObject, OleCreateMakesAControlThatTakesItsSiteFirst) {
  TestSite site(nullptr);
  {
    ComPtr<IStorage> storage;
    ASSERT_EQ(S_OK, StgCreateDocfile(nullptr,
                                     STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE, 0,
                                     storage.Receive()));
    ComPtr<IOleObject> object;
    ASSERT_EQ(S_OK, OleCreate(CLSID_SysInfo, IID_IOleObject, OLERENDER_NONE, nullptr, &site, storage.Get(),
                              object.ReceiveVoid()));
    ComPtr<IOleClientSite> kept;
    ASSERT_EQ(S_OK, object->GetClientSite(kept.Receive()));
    EXPECT_EQ(static_cast<IOleClientSite*>(&site), kept.Get());
    kept.Reset();
    EXPECT_EQ(S_OK, OleRun(object.Get()));
    EXPECT_TRUE(OleIsRunning(object.Get()));
    CLSID classId = {};
    EXPECT_EQ(S_OK, ReadClassStg(storage.Get(), &classId));
    EXPECT_TRUE(IsEqualGUID(CLSID_SysInfo, classId));
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
  }
  EXPECT_EQ(0u, site.References());
}

TEST(ControlQuickActivate, HandsTheSiteToTheGateAndReportsStatus) {
  TestSite site(nullptr);
  {
    ComPtr<IQuickActivate> quick = NewControl<IQuickActivate>(IID_IQuickActivate);
    QACONTAINER container = {};
    container.cbSize = sizeof container;
    container.pClientSite = &site;
    container.pAdviseSink = &site;
    QACONTROL control;
    memset(&control, 0xCC, sizeof control);
    control.cbSize = sizeof control;
    ASSERT_EQ(S_OK, quick->QuickActivate(&container, &control));
    EXPECT_EQ(sizeof control, control.cbSize);
    EXPECT_EQ(0x20191u, control.dwMiscStatus);
    EXPECT_EQ(3u, control.dwViewStatus);
    EXPECT_EQ(0u, control.dwEventCookie);
    EXPECT_EQ(0u, control.dwPropNotifyCookie);
    EXPECT_EQ(0u, control.dwPointerActivationPolicy);
    EXPECT_EQ(E_POINTER, quick->QuickActivate(nullptr, &control));
    EXPECT_EQ(E_POINTER, quick->QuickActivate(&container, nullptr));
    control.cbSize = 4;
    EXPECT_EQ(E_INVALIDARG, quick->QuickActivate(&container, &control));

    // The site went through the gate: a site without a browser is refused.
    ComPtr<IOleObject> object;
    ASSERT_EQ(S_OK, quick.QueryInto(IID_IOleObject, object));
    EXPECT_EQ(E_ACCESSDENIED, object->SetHostNames(L"app", HostAccessCode()));
    // And the sink became the view advise sink.
    ComPtr<IViewObject> view;
    ASSERT_EQ(S_OK, quick.QueryInto(IID_IViewObject, view));
    ComPtr<IAdviseSink> sink;
    DWORD aspects = 9, flags = 9;
    ASSERT_EQ(S_OK, view->GetAdvise(&aspects, &flags, sink.Receive()));
    EXPECT_EQ(static_cast<IAdviseSink*>(static_cast<IAdviseSinkEx*>(&site)), sink.Get());
    sink.Reset();
    view->SetAdvise(DVASPECT_CONTENT, 0, nullptr);
    object->SetClientSite(nullptr);
  }
  EXPECT_EQ(0u, site.References());
}

}  // namespace
}  // namespace devlore::test
