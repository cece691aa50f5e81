// The control's persistent extent: the 12-byte stream, the version rule,
// damaged streams, and the "Contents" stream of a real structured storage
// through OleSave and OleLoad.
#include <vector>

#include "base/handles.h"
#include "control/property_persistence.h"
#include "tests/control/control_support.h"

namespace devlore::test {
namespace {

ComPtr<IStream> MemoryStream(const std::vector<BYTE>& bytes) {
  ComPtr<IStream> stream;
  EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive()));
  if (!bytes.empty()) {
    ULONG written = 0;
    EXPECT_EQ(S_OK, stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written));
  }
  LARGE_INTEGER zero = {};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  return stream;
}

std::vector<BYTE> StreamBytes(IStream* stream) {
  STATSTG stat = {};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::vector<BYTE> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
  LARGE_INTEGER zero = {};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  if (!bytes.empty()) stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  return bytes;
}

std::vector<BYTE> Record(DWORD version, LONG cx, LONG cy) {
  std::vector<BYTE> bytes(12);
  memcpy(&bytes[0], &version, 4);
  memcpy(&bytes[4], &cx, 4);
  memcpy(&bytes[8], &cy, 4);
  return bytes;
}

SIZEL ExtentOf(IUnknown* control) {
  ComPtr<IOleObject> object;
  SIZEL size = {-1, -1};
  EXPECT_EQ(S_OK, control->QueryInterface(IID_IOleObject, object.ReceiveVoid()));
  object->GetExtent(DVASPECT_CONTENT, &size);
  return size;
}

TEST(PropertyStream, ANewControlWritesTwelveBytes) {
  ComPtr<IPersistStreamInit> persist = NewControl<IPersistStreamInit>(IID_IPersistStreamInit);
  CLSID classId = {};
  ASSERT_EQ(S_OK, persist->GetClassID(&classId));
  EXPECT_TRUE(IsEqualGUID(CLSID_SysInfo, classId));
  EXPECT_EQ(S_FALSE, persist->IsDirty());
  EXPECT_EQ(S_OK, persist->InitNew());
  ULARGE_INTEGER size;
  EXPECT_EQ(E_NOTIMPL, persist->GetSizeMax(&size));
  ComPtr<IStream> stream = MemoryStream({});
  ASSERT_EQ(S_OK, persist->Save(stream.Get(), TRUE));
  // 5080 is 0x13D8.
  const std::vector<BYTE> expected = {0x00, 0x03, 0x00, 0x00, 0xD8, 0x13, 0x00, 0x00, 0xD8, 0x13, 0x00, 0x00};
  EXPECT_EQ(expected, StreamBytes(stream.Get()));
  EXPECT_EQ(S_FALSE, persist->IsDirty());
  EXPECT_EQ(E_POINTER, persist->Save(nullptr, TRUE));
  EXPECT_EQ(E_POINTER, persist->Load(nullptr));
}

TEST(PropertyStream, VersionRuleAndValuesTakenAsTheyAre) {
  ComPtr<IPersistStreamInit> persist = NewControl<IPersistStreamInit>(IID_IPersistStreamInit);
  EXPECT_EQ(E_FAIL, persist->Load(MemoryStream(Record(0x301, 1, 2)).Get()));
  EXPECT_EQ(E_FAIL, persist->Load(MemoryStream(Record(0xFFFFFFFF, 1, 2)).Get()));
  SIZEL size = ExtentOf(persist.Get());
  EXPECT_EQ(5080, size.cx);
  EXPECT_EQ(5080, size.cy);
  ASSERT_EQ(S_OK, persist->Load(MemoryStream(Record(0, 100, 200)).Get()));
  size = ExtentOf(persist.Get());
  EXPECT_EQ(100, size.cx);
  EXPECT_EQ(200, size.cy);
  ASSERT_EQ(S_OK, persist->Load(MemoryStream(Record(0x300, -7, 0)).Get()));
  size = ExtentOf(persist.Get());
  EXPECT_EQ(-7, size.cx);
  EXPECT_EQ(0, size.cy);
  EXPECT_EQ(S_FALSE, persist->IsDirty());
  // What was loaded is saved back unchanged.
  ComPtr<IStream> stream = MemoryStream({});
  ASSERT_EQ(S_OK, persist->Save(stream.Get(), FALSE));
  EXPECT_EQ(Record(0x300, -7, 0), StreamBytes(stream.Get()));
}

TEST(PropertyStream, AStreamThatEndsInsideAFieldChangesNothing) {
  ComPtr<IPersistStreamInit> persist = NewControl<IPersistStreamInit>(IID_IPersistStreamInit);
  const std::vector<BYTE> whole = Record(0x300, 1111, 2222);
  for (size_t length = 0; length < whole.size(); ++length) {
    std::vector<BYTE> cut(whole.begin(), whole.begin() + length);
    EXPECT_EQ(E_FAIL, persist->Load(MemoryStream(cut).Get())) << length;
    const SIZEL size = ExtentOf(persist.Get());
    EXPECT_EQ(5080, size.cx) << length;
    EXPECT_EQ(5080, size.cy) << length;
  }
  // Bytes after the record are not read.
  std::vector<BYTE> longer = whole;
  longer.push_back(0xAB);
  ASSERT_EQ(S_OK, persist->Load(MemoryStream(longer).Get()));
  EXPECT_EQ(1111, ExtentOf(persist.Get()).cx);
}

// A stream that fails its reads or writes after a number of bytes.
class FailingStream : public IStream {
 public:
  FailingStream(ULONG allowed, HRESULT failure) : allowed_(allowed), failure_(failure) {}
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IStream) || IsEqualIID(iid, IID_ISequentialStream)) {
      *object = static_cast<IStream*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 2; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(Read)(void* data, ULONG size, ULONG* read) override {
    if (read) *read = 0;
    if (size > allowed_ || offset_ + size > sizeof(kSaved)) return failure_;
    memcpy(data, reinterpret_cast<const char*>(kSaved) + offset_, size);
    offset_ += size;
    allowed_ -= size;
    if (read) *read = size;
    return S_OK;
  }
  STDMETHOD(Write)(const void*, ULONG size, ULONG* written) override {
    if (written) *written = 0;
    if (size > allowed_) return failure_;
    allowed_ -= size;
    if (written) *written = size;
    return S_OK;
  }
  STDMETHOD(Seek)(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHOD(SetSize)(ULARGE_INTEGER) override { return E_NOTIMPL; }
  STDMETHOD(CopyTo)(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHOD(Commit)(DWORD) override { return E_NOTIMPL; }
  STDMETHOD(Revert)() override { return E_NOTIMPL; }
  STDMETHOD(LockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(UnlockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(Stat)(STATSTG*, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(Clone)(IStream**) override { return E_NOTIMPL; }

 private:
  // What reads give: a well-formed stream of a 1000 x 2000 extent.
  static constexpr DWORD kSaved[3] = {0x300, 1000, 2000};
  ULONG allowed_;
  ULONG offset_ = 0;
  HRESULT failure_;
};

TEST(PropertyStream, ReadAndWriteFailuresArePassedOn) {
  ComPtr<IPersistStreamInit> persist = NewControl<IPersistStreamInit>(IID_IPersistStreamInit);
  for (ULONG allowed : {0u, 4u, 8u}) {
    FailingStream reads(allowed, STG_E_READFAULT);
    EXPECT_EQ(STG_E_READFAULT, persist->Load(&reads)) << allowed;
    // All or nothing: a width read before the failure is not applied either.
    EXPECT_EQ(5080, ExtentOf(persist.Get()).cx) << allowed;
    EXPECT_EQ(5080, ExtentOf(persist.Get()).cy) << allowed;
    FailingStream writes(allowed, STG_E_MEDIUMFULL);
    EXPECT_EQ(STG_E_MEDIUMFULL, persist->Save(&writes, TRUE)) << allowed;
  }
  FailingStream enough(12, STG_E_MEDIUMFULL);
  EXPECT_EQ(S_OK, persist->Save(&enough, TRUE));
  // A stream that ends after the width changes nothing either.
  ComPtr<IStream> shortStream;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, shortStream.Receive()));
  const DWORD head[2] = {0x300, 1000};
  ASSERT_EQ(S_OK, shortStream->Write(head, sizeof(head), nullptr));
  const LARGE_INTEGER start = {};
  ASSERT_EQ(S_OK, shortStream->Seek(start, STREAM_SEEK_SET, nullptr));
  EXPECT_TRUE(FAILED(persist->Load(shortStream.Get())));
  EXPECT_EQ(5080, ExtentOf(persist.Get()).cx);
  // The whole stream is taken.
  FailingStream whole(12, STG_E_READFAULT);
  EXPECT_EQ(S_OK, persist->Load(&whole));
  EXPECT_EQ(1000, ExtentOf(persist.Get()).cx);
  EXPECT_EQ(2000, ExtentOf(persist.Get()).cy);
}

TEST(PropertyStorage, OleSaveAndOleLoadUseTheContentsStream) {
  ComPtr<IStorage> storage;
  ASSERT_EQ(S_OK, StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE,
                                   0, storage.Receive()));
  {
    ComPtr<IPersistStorage> persist = NewControl<IPersistStorage>(IID_IPersistStorage);
    EXPECT_EQ(S_OK, persist->InitNew(storage.Get()));
    EXPECT_EQ(S_FALSE, persist->IsDirty());
    ComPtr<IOleObject> object;
    ASSERT_EQ(S_OK, persist.QueryInto(IID_IOleObject, object));
    SIZEL size = {3000, 4000};
    ASSERT_EQ(S_OK, object->SetExtent(DVASPECT_CONTENT, &size));
    ASSERT_EQ(S_OK, OleSave(persist.Get(), storage.Get(), TRUE));
    EXPECT_EQ(S_OK, persist->SaveCompleted(nullptr));
    EXPECT_EQ(S_OK, persist->HandsOffStorage());
  }
  ComPtr<IStream> contents;
  ASSERT_EQ(S_OK, storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, contents.Receive()));
  EXPECT_EQ(Record(0x300, 3000, 4000), StreamBytes(contents.Get()));
  contents.Reset();

  // OleLoad reads the class from the storage and creates a control through COM.
  TestSite site(nullptr);
  {
    ComPtr<IOleObject> loaded;
    ASSERT_EQ(S_OK, OleLoad(storage.Get(), IID_IOleObject, &site, loaded.ReceiveVoid()));
    const SIZEL size = ExtentOf(loaded.Get());
    EXPECT_EQ(3000, size.cx);
    EXPECT_EQ(4000, size.cy);
    loaded->SetClientSite(nullptr);
  }
  EXPECT_EQ(0u, site.References());

  // Saving again replaces the stream; a storage without it cannot be loaded.
  ComPtr<IPersistStorage> second = NewControl<IPersistStorage>(IID_IPersistStorage);
  ASSERT_EQ(S_OK, second->Save(storage.Get(), FALSE));
  ASSERT_EQ(S_OK, storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, contents.Receive()));
  EXPECT_EQ(Record(0x300, 5080, 5080), StreamBytes(contents.Get()));
  contents.Reset();
  ASSERT_EQ(S_OK, storage->DestroyElement(L"Contents"));
  EXPECT_EQ(STG_E_FILENOTFOUND, second->Load(storage.Get()));
  EXPECT_EQ(E_POINTER, second->Load(static_cast<IStorage*>(nullptr)));
  EXPECT_EQ(E_POINTER, second->Save(static_cast<IStorage*>(nullptr), TRUE));
}

}  // namespace
}  // namespace devlore::test

namespace devlore::test {
namespace {

// An object whose properties are read and written through IDispatch, for
// property sets with dispatch entries.
class PropertyObject : public IDispatch {
 public:
  PropertyObject() {
    for (VARIANT& v : values) VariantInit(&v);
  }
  ~PropertyObject() {
    for (VARIANT& v : values) VariantClear(&v);
  }
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      ++queries;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
  STDMETHOD_(ULONG, Release)() override { return --refs; }
  STDMETHOD(GetTypeInfoCount)(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                    UINT*) override {
    if (id < 1 || id > 8) return DISP_E_MEMBERNOTFOUND;
    VARIANT& slot = values[id - 1];
    if (flags == DISPATCH_PROPERTYGET) return CopyValue(result, &slot);
    if (params->cArgs != 1 || params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
      return DISP_E_BADPARAMCOUNT;
    }
    if (failPuts) return E_FAIL;
    lastPutFlags = flags;
    ++puts;
    VariantClear(&slot);
    return CopyValue(&slot, &params->rgvarg[0]);
  }

  // VariantCopy, but a null string stays null.
  static HRESULT CopyValue(VARIANT* to, const VARIANT* from) {
    if (V_VT(from) == VT_BSTR && !V_BSTR(from)) {
      VariantInit(to);
      V_VT(to) = VT_BSTR;
      V_BSTR(to) = nullptr;
      return S_OK;
    }
    return VariantCopy(to, const_cast<VARIANT*>(from));
  }

  VARIANT values[8];
  ULONG refs = 0;
  int queries = 0, puts = 0;
  WORD lastPutFlags = 0;
  bool failPuts = false;
};

// A member entry between dispatch entries of 8 types.
const PropertyEntry kMixedTable[] = {
    {L"i4", 1, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_I4},
    {L"text", 2, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_BSTR},
    {L"_cx", 0, &CLSID_NULL, nullptr, offsetof(ControlProperties, currentExtent.cx), 4, VT_UI4},
    {nullptr, 9, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_I4},  // no name: skipped
    {L"r8", 3, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_R8},
    {L"flag", 4, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_BOOL},
    {L"object", 5, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_DISPATCH},
    {L"short", 6, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_I2},
    {L"null", 7, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_BSTR},
    {L"decimal", 8, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_DECIMAL},
    {nullptr, 0, nullptr, &IID_NULL, 0, 0, 0},
};

void Fill(PropertyObject& object) {
  V_VT(&object.values[0]) = VT_I4;
  V_I4(&object.values[0]) = -123456;
  V_VT(&object.values[1]) = VT_BSTR;
  V_BSTR(&object.values[1]) = SysAllocString(L"Hello");
  V_VT(&object.values[2]) = VT_R8;
  V_R8(&object.values[2]) = 2.5;
  V_VT(&object.values[3]) = VT_BOOL;
  V_BOOL(&object.values[3]) = VARIANT_TRUE;
  V_VT(&object.values[4]) = VT_DISPATCH;
  V_DISPATCH(&object.values[4]) = nullptr;
  V_VT(&object.values[5]) = VT_I2;
  V_I2(&object.values[5]) = 77;
  V_VT(&object.values[6]) = VT_BSTR;
  V_BSTR(&object.values[6]) = nullptr;
  V_VT(&object.values[7]) = VT_DECIMAL;
  VarDecFromI4(42, &V_DECIMAL(&object.values[7]));
  V_VT(&object.values[7]) = VT_DECIMAL;
}

std::vector<BYTE> Bytes(std::initializer_list<int> list) {
  std::vector<BYTE> bytes;
  for (int b : list) bytes.push_back(static_cast<BYTE>(b));
  return bytes;
}

void Append(std::vector<BYTE>& bytes, const void* data, size_t size) {
  const BYTE* p = static_cast<const BYTE*>(data);
  bytes.insert(bytes.end(), p, p + size);
}

TEST(PropertyStreamDispatch, TaggedValuesRoundTrip) {
  PropertyObject source;
  Fill(source);
  ControlProperties properties = {{31, 32}};
  ComPtr<IStream> stream = MemoryStream({});
  ASSERT_EQ(S_OK, SaveProperties(stream.Get(), kMixedTable, properties, &source));
  EXPECT_EQ(1, source.queries);  // the dispatch interface is asked for once
  EXPECT_EQ(0u, source.refs);

  // The layout: version, tagged I4, tagged text, member, R8, BOOL, null object,
  // I2, null text, and the decimal as text with its own tag.
  std::vector<BYTE> expected;
  const DWORD version = 0x300;
  Append(expected, &version, 4);
  Append(expected, "\x03\x00", 2);
  const LONG i4 = -123456;
  Append(expected, &i4, 4);
  Append(expected, "\x08\x00\x0C\x00\x00\x00", 6);
  Append(expected, L"Hello", 12);
  const LONG cx = 31;
  Append(expected, &cx, 4);
  Append(expected, "\x05\x00", 2);
  const double r8 = 2.5;
  Append(expected, &r8, 8);
  Append(expected, "\x0B\x00\xFF\xFF", 4);
  Append(expected, "\x09\x00", 2);
  const BYTE nullClass[16] = {};
  Append(expected, nullClass, 16);
  Append(expected, "\x02\x00\x4D\x00", 4);
  Append(expected, "\x08\x00\x00\x00\x00\x00", 6);
  Append(expected, "\x0E\x00\x06\x00\x00\x00", 6);
  Append(expected, L"42", 6);
  const std::vector<BYTE> written = StreamBytes(stream.Get());
  EXPECT_EQ(expected.size(), written.size());
  for (size_t i = 0; i < expected.size() && i < written.size(); ++i) {
    ASSERT_EQ(expected[i], written[i]) << "byte " << i;
  }

  PropertyObject target;
  ControlProperties loaded = {{0, 0}};
  LARGE_INTEGER zero = {};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(S_OK, LoadProperties(stream.Get(), kMixedTable, loaded, &target));
  EXPECT_EQ(31, loaded.currentExtent.cx);
  EXPECT_EQ(0, loaded.currentExtent.cy);  // not in this table
  EXPECT_EQ(8, target.puts);
  EXPECT_EQ(VT_I4, V_VT(&target.values[0]));
  EXPECT_EQ(-123456, V_I4(&target.values[0]));
  EXPECT_STREQ(L"Hello", V_BSTR(&target.values[1]));
  EXPECT_EQ(2.5, V_R8(&target.values[2]));
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&target.values[3]));
  EXPECT_EQ(VT_DISPATCH, V_VT(&target.values[4]));
  EXPECT_EQ(nullptr, V_DISPATCH(&target.values[4]));
  EXPECT_EQ(77, V_I2(&target.values[5]));
  EXPECT_EQ(VT_BSTR, V_VT(&target.values[6]));
  EXPECT_EQ(nullptr, V_BSTR(&target.values[6]));
  ASSERT_EQ(VT_DECIMAL, V_VT(&target.values[7]));
  LONG decimal = 0;
  VarI4FromDec(&V_DECIMAL(&target.values[7]), &decimal);
  EXPECT_EQ(42, decimal);
  EXPECT_EQ(0u, target.refs);
}

// A stream with only a version and one text record of the given byte count and bytes.
std::vector<BYTE> TextStream(VARTYPE tag, DWORD count, const std::vector<BYTE>& payload) {
  std::vector<BYTE> bytes;
  const DWORD version = 0x300;
  Append(bytes, &version, 4);
  Append(bytes, &tag, 2);
  Append(bytes, &count, 4);
  Append(bytes, payload.data(), payload.size());
  return bytes;
}

const PropertyEntry kTextTable[] = {
    {L"text", 2, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_BSTR},
    {L"_cy", 0, &CLSID_NULL, nullptr, offsetof(ControlProperties, currentExtent.cy), 4, VT_UI4},
    {nullptr, 0, nullptr, &IID_NULL, 0, 0, 0},
};

TEST(PropertyStreamDispatch, HostileTextLengthsAndDamageChangeNothing) {
  const std::vector<BYTE> hi = Bytes({'h', 0, 'i', 0, 0, 0});
  const std::vector<BYTE> member = Bytes({9, 0, 0, 0});
  struct Case {
    std::vector<BYTE> stream;
    HRESULT expected;
  };
  auto withMember = [&](std::vector<BYTE> bytes) {
    bytes.insert(bytes.end(), member.begin(), member.end());
    return bytes;
  };
  const std::vector<Case> cases = {
      {withMember(TextStream(VT_BSTR, 6, hi)), S_OK},
      {withMember(TextStream(VT_BSTR, 5, hi)), E_FAIL},                             // odd
      {withMember(TextStream(VT_BSTR, 1, {})), E_FAIL},                             // shorter than a terminator
      {withMember(TextStream(VT_BSTR, 0xFFFFFFFF, hi)), E_FAIL},                    // absurd
      {withMember(TextStream(VT_BSTR, kMaxTextPayload + 2, hi)), E_FAIL},          // too long
      {withMember(TextStream(VT_BSTR, 4, Bytes({'h', 0, 'i', 0}))), E_FAIL},        // no terminator
      {TextStream(VT_BSTR, 6, Bytes({'h', 0, 'i'})), E_FAIL},                       // ends inside the text
      {TextStream(VT_BSTR, 6, hi), E_FAIL},                                         // ends before the member
      {withMember(TextStream(VT_I8, 6, hi)), DISP_E_TYPEMISMATCH},                  // "hi" is no number
      {withMember(TextStream(0x7FFF, 6, hi)), DISP_E_BADVARTYPE},                   // no such type
      {withMember(TextStream(VT_I8, 6, Bytes({'1', 0, '2', 0, 0, 0}))), S_OK},      // "12" as a 64-bit number
      {Bytes({0, 3, 0, 0, 8}), E_FAIL},                                             // ends inside the tag
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    PropertyObject target;
    ControlProperties properties = {{5, 5}};
    EXPECT_EQ(cases[i].expected, LoadProperties(MemoryStream(cases[i].stream).Get(), kTextTable, properties, &target))
        << i;
    if (cases[i].expected == S_OK) {
      EXPECT_EQ(1, target.puts) << i;
      EXPECT_EQ(9, properties.currentExtent.cy) << i;
    } else {
      EXPECT_EQ(0, target.puts) << i;
      EXPECT_EQ(5, properties.currentExtent.cy) << i;
    }
  }
  PropertyObject converted;
  ControlProperties properties = {};
  ASSERT_EQ(S_OK, LoadProperties(MemoryStream(withMember(TextStream(VT_I8, 6, Bytes({'1', 0, '2', 0, 0, 0})))).Get(),
                                 kTextTable, properties, &converted));
  EXPECT_EQ(VT_I8, V_VT(&converted.values[1]));
  EXPECT_EQ(12, V_I8(&converted.values[1]));
}

TEST(PropertyStreamDispatch, ObjectsTravelThroughOleSaveToStream) {
  const PropertyEntry table[] = {{L"font", 5, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_DISPATCH},
                                 {nullptr, 0, nullptr, &IID_NULL, 0, 0, 0}};
  FONTDESC description = {sizeof description, const_cast<LPOLESTR>(L"Arial"), {120000, 0}, FW_BOLD, 0, FALSE, FALSE,
                          FALSE};
  ComPtr<IDispatch> font;
  ASSERT_EQ(S_OK, OleCreateFontIndirect(&description, IID_IDispatch, font.ReceiveVoid()));
  PropertyObject source;
  V_VT(&source.values[4]) = VT_DISPATCH;
  V_DISPATCH(&source.values[4]) = font.Get();
  font->AddRef();
  ControlProperties properties = {};
  ComPtr<IStream> stream = MemoryStream({});
  ASSERT_EQ(S_OK, SaveProperties(stream.Get(), table, properties, &source));
  LARGE_INTEGER zero = {};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  PropertyObject target;
  ASSERT_EQ(S_OK, LoadProperties(stream.Get(), table, properties, &target));
  EXPECT_EQ(DISPATCH_PROPERTYPUTREF, target.lastPutFlags);  // objects are put by reference first
  ASSERT_EQ(VT_DISPATCH, V_VT(&target.values[4]));
  ComPtr<IFont> loaded;
  ASSERT_TRUE(V_DISPATCH(&target.values[4]));
  ASSERT_EQ(S_OK, V_DISPATCH(&target.values[4])->QueryInterface(IID_IFont, loaded.ReceiveVoid()));
  // The same font as the one saved (whose name the platform may have substituted).
  ComPtr<IFont> original;
  ASSERT_EQ(S_OK, font.QueryInto(IID_IFont, original));
  UniqueBstr name, originalName;
  ASSERT_EQ(S_OK, loaded->get_Name(name.Receive()));
  ASSERT_EQ(S_OK, original->get_Name(originalName.Receive()));
  EXPECT_STREQ(originalName.Get(), name.Get());
  BOOL bold = FALSE;
  ASSERT_EQ(S_OK, loaded->get_Bold(&bold));
  EXPECT_TRUE(bold);
  CY size = {};
  ASSERT_EQ(S_OK, loaded->get_Size(&size));
  EXPECT_EQ(120000, size.int64);

  // An object that cannot persist itself fails the save with that query's failure.
  PropertyObject plain;
  V_VT(&plain.values[4]) = VT_DISPATCH;
  V_DISPATCH(&plain.values[4]) = &target;
  target.AddRef();
  EXPECT_EQ(E_NOINTERFACE, SaveProperties(MemoryStream({}).Get(), table, properties, &plain));
}

TEST(PropertyStreamDispatch, FailuresOfTheDispatchSide) {
  // No dispatch interface: E_FAIL for save and load.
  ControlProperties properties = {};
  ComPtr<IStream> stream = MemoryStream({});
  EXPECT_EQ(E_FAIL, SaveProperties(stream.Get(), kTextTable, properties, nullptr));
  const std::vector<BYTE> good = [] {
    std::vector<BYTE> bytes = TextStream(VT_BSTR, 6, Bytes({'h', 0, 'i', 0, 0, 0}));
    Append(bytes, "\x09\x00\x00\x00", 4);
    return bytes;
  }();
  EXPECT_EQ(E_FAIL, LoadProperties(MemoryStream(good).Get(), kTextTable, properties, nullptr));
  // A property that cannot be read, or a put that fails.
  PropertyObject object;
  const PropertyEntry missing[] = {{L"gone", 42, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_I4},
                                   {nullptr, 0, nullptr, &IID_NULL, 0, 0, 0}};
  EXPECT_EQ(E_FAIL, SaveProperties(MemoryStream({}).Get(), missing, properties, &object));
  object.failPuts = true;
  EXPECT_EQ(E_FAIL, LoadProperties(MemoryStream(good).Get(), kTextTable, properties, &object));
  // The member-only form, which the control uses, refuses dispatch entries.
  EXPECT_EQ(E_NOTIMPL, SaveMemberProperties(MemoryStream({}).Get(), kTextTable, properties));
  EXPECT_EQ(E_NOTIMPL, LoadMemberProperties(MemoryStream(good).Get(), kTextTable, properties));
  EXPECT_EQ(0u, object.refs);
}

}  // namespace
}  // namespace devlore::test
