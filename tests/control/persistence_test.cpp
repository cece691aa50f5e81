// The control's persistent extent: the 12-byte stream, the version rule,
// damaged streams, and the "Contents" stream of a real structured storage
// through OleSave and OleLoad.
#include <stddef.h>

#include <vector>

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

// A table with a dispatch entry between member entries: the control's loader
// carries no code for such entries, refuses them and changes nothing.
TEST(PropertyStream, ADispatchEntryIsRefusedAndChangesNothing) {
  const PropertyEntry table[] = {
      {L"_cx", 0, &CLSID_NULL, nullptr, offsetof(ControlProperties, currentExtent.cx), 4, VT_UI4},
      {L"Caption", 1, &CLSID_NULL, &IID_IDispatch, 0, 0, VT_BSTR},
      {L"_cy", 0, &CLSID_NULL, nullptr, offsetof(ControlProperties, currentExtent.cy), 4, VT_UI4},
      {nullptr, 0, nullptr, &IID_NULL, 0, 0, 0},
  };
  ControlProperties properties = {{7, 8}};
  EXPECT_EQ(E_NOTIMPL, LoadMemberProperties(MemoryStream(Record(0x300, 1, 2)).Get(), table, properties));
  EXPECT_EQ(7, properties.currentExtent.cx);
  EXPECT_EQ(8, properties.currentExtent.cy);
  ComPtr<IStream> stream = MemoryStream({});
  EXPECT_EQ(E_NOTIMPL, SaveMemberProperties(stream.Get(), table, properties));
}

}  // namespace
}  // namespace devlore::test
