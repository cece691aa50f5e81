// Server registration routines of the static library: which class rows are
// visited and in what order, component categories through the platform's
// category manager, and the file-name rules of the type library.
#include "server/server_registration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/handles.h"
#include "server/class_table.h"
#include "server/server_module.h"
#include "tests/server/server_test_support.h"
#include "tests/support/registry_fixture.h"

namespace devlore {
namespace {

using test::KeyExists;

const CLSID kPlainClass = {0x7d2a4410, 0x1c3b, 0x4e7a, {0x8e, 0x11, 0x52, 0x60, 0x0a, 0x3c, 0x20, 0x01}};
const CLSID kDescribedClass = {0x7d2a4410, 0x1c3b, 0x4e7a, {0x8e, 0x11, 0x52, 0x60, 0x0a, 0x3c, 0x20, 0x02}};
const CLSID kCategorisedClass = {0x7d2a4410, 0x1c3b, 0x4e7a, {0x8e, 0x11, 0x52, 0x60, 0x0a, 0x3c, 0x20, 0x03}};
const GUID kImplementedCategory = {0x7d2a4411, 0x1c3b, 0x4e7a, {0x8e, 0x11, 0x52, 0x60, 0x0a, 0x3c, 0x21, 0x01}};
const GUID kRequiredCategory = {0x7d2a4411, 0x1c3b, 0x4e7a, {0x8e, 0x11, 0x52, 0x60, 0x0a, 0x3c, 0x21, 0x02}};

const char kCategorisedKey[] = "CLSID\\{7D2A4410-1C3B-4E7A-8E11-52600A3C2003}";
const char kImplementedKey[] =
    "CLSID\\{7D2A4410-1C3B-4E7A-8E11-52600A3C2003}\\Implemented Categories\\{7D2A4411-1C3B-4E7A-8E11-52600A3C2101}";
const char kRequiredKey[] =
    "CLSID\\{7D2A4410-1C3B-4E7A-8E11-52600A3C2003}\\Required Categories\\{7D2A4411-1C3B-4E7A-8E11-52600A3C2102}";

std::vector<std::string> g_calls;
HRESULT g_plainResult = S_OK;

HRESULT RegisterPlain(BOOL install) {
  g_calls.push_back(install ? "+plain" : "-plain");
  return g_plainResult;
}
HRESULT RegisterDescribed(BOOL install) {
  g_calls.push_back(install ? "+described" : "-described");
  return S_OK;
}
HRESULT RegisterCategorised(BOOL install) {
  g_calls.push_back(install ? "+categorised" : "-categorised");
  return S_OK;
}
const char* Described() { return "registers itself"; }
const char* NotDescribed() { return nullptr; }
const CategoryEntry* Categories() {
  static const CategoryEntry list[] = {{1, &kImplementedCategory}, {2, &kRequiredCategory}, {0, nullptr}};
  return list;
}

ClassEntry g_table[] = {
    {&kPlainClass, RegisterPlain, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {&kDescribedClass, RegisterDescribed, nullptr, nullptr, nullptr, Described, nullptr, nullptr},
    {&kCategorisedClass, RegisterCategorised, nullptr, nullptr, nullptr, NotDescribed, Categories, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

class RegistrationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    // The built library, for a module that carries the type library.
    library_.Reset(LoadLibraryA(test::BesideProgram("Devlore.DLL").c_str()));
    ASSERT_TRUE(library_.IsValid());
    InitializeModule(g_table, library_.Get());
    g_calls.clear();
    g_plainResult = S_OK;
    test::RemoveSysInfoRegistration();
    test::DeleteTree(HKEY_CLASSES_ROOT, kCategorisedKey);
  }
  void TearDown() override {
    test::DeleteTree(HKEY_CLASSES_ROOT, kCategorisedKey);
    test::RemoveSysInfoRegistration();
    TerminateModule();
    library_.Reset();
    CoUninitialize();
  }
  UniqueModule library_;
};

TEST_F(RegistrationTest, BulkRegistrationPassesOverDescribedRowsAndAddsCategories) {
  EXPECT_EQ(S_OK, RegisterServerClasses(FALSE, nullptr));
  EXPECT_EQ((std::vector<std::string>{"+plain", "+categorised"}), g_calls);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kImplementedKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kRequiredKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, test::kTypeLibKey));

  g_calls.clear();
  EXPECT_EQ(S_OK, UnregisterServerClasses(FALSE, nullptr));
  EXPECT_EQ((std::vector<std::string>{"-plain", "-categorised"}), g_calls);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kImplementedKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kRequiredKey));
}

TEST_F(RegistrationTest, ClassFilterVisitsOnlyThatRowEvenWhenDescribed) {
  EXPECT_EQ(S_OK, RegisterServerClasses(FALSE, &kDescribedClass));
  EXPECT_EQ(std::vector<std::string>{"+described"}, g_calls);
  g_calls.clear();
  EXPECT_EQ(S_OK, UnregisterServerClasses(FALSE, &kCategorisedClass));
  EXPECT_EQ(std::vector<std::string>{"-categorised"}, g_calls);
}

TEST_F(RegistrationTest, FailedRowStopsRegistrationBeforeLaterRowsAndTheTypeLibrary) {
  g_plainResult = DISP_E_EXCEPTION;
  EXPECT_EQ(DISP_E_EXCEPTION, RegisterServerClasses(TRUE, nullptr));
  EXPECT_EQ(std::vector<std::string>{"+plain"}, g_calls);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kImplementedKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, test::kTypeLibKey));

  // Removal reports success whatever its steps answer.
  g_calls.clear();
  EXPECT_EQ(S_OK, UnregisterServerClasses(TRUE, nullptr));
  EXPECT_EQ((std::vector<std::string>{"-plain", "-categorised"}), g_calls);
}

TEST_F(RegistrationTest, TypeLibraryRegistrationFollowsTheRows) {
  ASSERT_EQ(S_OK, RegisterServerClasses(TRUE, nullptr));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string(test::kTypeLibKey) + "\\1.0"));
  EXPECT_EQ(test::ProgramFolder(), test::ReadString(HKEY_CLASSES_ROOT, std::string(test::kTypeLibKey) + "\\1.0\\HELPDIR"));
  EXPECT_EQ(S_OK, UnregisterServerClasses(TRUE, nullptr));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(test::kTypeLibKey) + "\\1.0"));
}

TEST_F(RegistrationTest, NoCategoryListIsNothingToDo) {
  EXPECT_EQ(S_OK, UpdateClassCategories(kCategorisedClass, nullptr, TRUE));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kCategorisedKey));
}

TEST_F(RegistrationTest, LoadServerTypeLibGivesThePathThatLoaded) {
  UniqueBstr path;
  ComPtr<ITypeLib> typeLib;
  ASSERT_EQ(S_OK, LoadServerTypeLib(nullptr, path.Receive(), typeLib.Receive()));
  ASSERT_NE(nullptr, typeLib.Get());
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, typeLib->GetLibAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(attributes->guid, GUID({0x6F1B52C5, 0x3D07, 0x4E21, {0x9A, 0x58, 0x2C, 0x7D, 0x4E, 0x90, 0xB3, 0xA1}})));
  EXPECT_EQ(1, attributes->wMajorVerNum);
  EXPECT_EQ(0, attributes->wMinorVerNum);
  typeLib->ReleaseTLibAttr(attributes);
  typeLib.Reset();
  char narrow[MAX_PATH * 2] = {};
  WideCharToMultiByte(CP_ACP, 0, path.Get(), -1, narrow, sizeof narrow, nullptr, nullptr);
  EXPECT_STREQ(test::BesideProgram("Devlore.DLL").c_str(), narrow);

  ITypeLib* unwritten = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(E_POINTER, LoadServerTypeLib(nullptr, nullptr, &unwritten));
  EXPECT_EQ(nullptr, unwritten);
}

TEST_F(RegistrationTest, IndexTextIsAppendedToTheFileNameWithinBounds) {
  UniqueBstr loadedPath;
  ComPtr<ITypeLib> loaded;
  ASSERT_EQ(S_OK, LoadServerTypeLib(L"\\1", loadedPath.Receive(), loaded.Receive()));
  ASSERT_NE(nullptr, loaded.Get());
  loaded.Reset();
  char narrow[MAX_PATH * 2] = {};
  WideCharToMultiByte(CP_ACP, 0, loadedPath.Get(), -1, narrow, sizeof narrow, nullptr, nullptr);
  EXPECT_EQ(test::BesideProgram("Devlore.DLL") + "\\1", narrow);

  // An index text that cannot fit beside the file name is refused, not cut.
  const std::wstring tooLong(2 * MAX_PATH, L'9');
  BSTR path = reinterpret_cast<BSTR>(1);
  ITypeLib* typeLib = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(E_INVALIDARG, LoadServerTypeLib(tooLong.c_str(), &path, &typeLib));
  EXPECT_EQ(nullptr, path);
  EXPECT_EQ(nullptr, typeLib);
}

TEST_F(RegistrationTest, ModuleWithoutTypeLibraryOrTlbFileFailsWithNullOutputs) {
  // The test program carries no type library and has no .tlb beside it.
  Module().typeLibraryInstance = GetModuleHandleA(nullptr);
  BSTR path = reinterpret_cast<BSTR>(1);
  ITypeLib* typeLib = reinterpret_cast<ITypeLib*>(1);
  EXPECT_TRUE(FAILED(LoadServerTypeLib(nullptr, &path, &typeLib)));
  EXPECT_EQ(nullptr, path);
  EXPECT_EQ(nullptr, typeLib);
  EXPECT_TRUE(FAILED(UpdateServerTypeLib(nullptr, TRUE)));
  EXPECT_TRUE(FAILED(UpdateServerTypeLib(nullptr, FALSE)));
  Module().typeLibraryInstance = library_.Get();
}

std::string WithTlb(const std::string& path, size_t size = MAX_PATH) {
  std::vector<char> buffer(std::max(size, path.size() + 1), 'X');
  lstrcpyA(buffer.data(), path.c_str());
  if (!ReplaceWithTypeLibExtension(buffer.data(), size)) return "<no room>";
  return buffer.data();
}

TEST(TypeLibFileName, ExtensionIsReplacedAtTheLastDotOfTheWholeName) {
  EXPECT_EQ("C:\\windows\\Devlore.tlb", WithTlb("C:\\windows\\Devlore.DLL"));
  EXPECT_EQ("C:\\a.b\\Devlore.x.tlb", WithTlb("C:\\a.b\\Devlore.x.DLL"));
  // No dot in the file name: the folder's dot counts.
  EXPECT_EQ("C:\\tools.tlb", WithTlb("C:\\tools.v1\\Devlore"));
  EXPECT_EQ("C:\\tools\\Devlore.tlb", WithTlb("C:\\tools\\Devlore"));
  EXPECT_EQ(".tlb", WithTlb(""));
  // The result must fit: "ab.tlb" needs 7 bytes.
  EXPECT_EQ("ab.tlb", WithTlb("ab.DLL", 7));
  EXPECT_EQ("<no room>", WithTlb("abc", 7));
  char untouched[] = "abc";
  EXPECT_FALSE(ReplaceWithTypeLibExtension(untouched, sizeof untouched));
  EXPECT_STREQ("abc", untouched);
}

TEST(TypeLibFileName, HelpDirectoryEndsAfterTheLastSeparator) {
  EXPECT_EQ(11u, HelpDirectoryLength(L"C:\\windows\\Devlore.DLL"));
  EXPECT_EQ(7u, HelpDirectoryLength(L"C:\\a/b/x.tlb"));
  EXPECT_EQ(2u, HelpDirectoryLength(L"C:x.tlb"));
  EXPECT_EQ(0u, HelpDirectoryLength(L"x.tlb"));
  EXPECT_EQ(0u, HelpDirectoryLength(L""));
}

}  // namespace
}  // namespace devlore
