// The SysInfo class script, run from a module's "REGISTRY" resource through
// UpdateRegistryFromScript. HKEY_CLASSES_ROOT is redirected for this process to
// a scratch key, so the script runs unchanged without touching the prefix's
// real classes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "server/script_registrar.h"
#include "tests/registrar/registrar_test_util.h"

namespace devlore::regtest {
namespace {

constexpr UINT kSysInfoId = 102;
constexpr UINT kProbeId = 103;
const char kClassesPath[] = "Software\\DevloreScratch\\Classes";
const char kProbeScript[] = "HKCR\r\n{\r\n\tProbe = s '%MODULE%|%Extra%|%second%'\r\n}\r\n";

std::string ModuleName(HMODULE module) {
  char name[MAX_PATH] = {};
  GetModuleFileNameA(module, name, MAX_PATH);
  return name;
}

// A copy of this test program, in a folder whose name holds a quote, carrying
// the SysInfo script as "REGISTRY" 102 and a probe script as 103.
class ScriptModule {
 public:
  ScriptModule() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "Devlore's registrar " + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder_.c_str(), nullptr);
    path_ = folder_ + "\\registrar copy.exe";
    if (!CopyFileA(ModuleName(nullptr).c_str(), path_.c_str(), FALSE)) return;
    HANDLE update = BeginUpdateResourceA(path_.c_str(), FALSE);
    if (!update) return;
    const std::string script = SysInfoScript();
    const WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    bool ok = !script.empty() &&
              UpdateResourceA(update, "REGISTRY", MAKEINTRESOURCEA(kSysInfoId), language,
                              const_cast<char*>(script.data()), static_cast<DWORD>(script.size())) &&
              UpdateResourceA(update, "REGISTRY", MAKEINTRESOURCEA(kProbeId), language,
                              const_cast<char*>(kProbeScript), sizeof(kProbeScript) - 1);
    if (!EndUpdateResourceA(update, !ok) || !ok) return;
    module_ = LoadLibraryExA(path_.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  }
  ~ScriptModule() {
    if (module_) FreeLibrary(module_);
    DeleteFileA(path_.c_str());
    RemoveDirectoryA(folder_.c_str());
  }
  HMODULE module() const { return module_; }
  const std::string& path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
  HMODULE module_ = nullptr;
};

class SysInfoScriptTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { copy_ = new ScriptModule; }
  static void TearDownTestSuite() {
    delete copy_;
    copy_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(nullptr, copy_->module()) << "no resource copy at " << copy_->path();
    DeleteTreeAt(HKEY_CURRENT_USER, kScratchPath);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kClassesPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &classes_, nullptr));
    redirect_ = new RootRedirect(HKEY_CLASSES_ROOT, classes_);
    ASSERT_TRUE(redirect_->ok());
  }
  void TearDown() override {
    delete redirect_;
    redirect_ = nullptr;
    if (classes_) RegCloseKey(classes_);
    DeleteTreeAt(HKEY_CURRENT_USER, kScratchPath);
    // Nothing reached the real classes root.
    EXPECT_FALSE(KeyExistsAt(HKEY_CLASSES_ROOT, "Devlore.SysInfo.1"));
    EXPECT_FALSE(KeyExistsAt(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClassId));
  }

  static HRESULT Update(BOOL install, HMODULE module = copy_->module(), UINT id = kSysInfoId,
                        const ScriptReplacement* extra = nullptr) {
    return UpdateRegistryFromScript(module, id, install, extra);
  }
  Tree Classes() const { return Snapshot(HKEY_CURRENT_USER, kClassesPath); }

  static ScriptModule* copy_;
  HKEY classes_ = nullptr;
  RootRedirect* redirect_ = nullptr;
};
ScriptModule* SysInfoScriptTest::copy_ = nullptr;

TEST(SysInfoScriptFile, LayoutIs907BytesOfCrLfLines) {
  const std::string script = SysInfoScript();
  ASSERT_EQ(907u, script.size());
  EXPECT_EQ(0u, script.find("HKCR\r\n{\r\n"));
  EXPECT_EQ(std::string::npos, script.find('\0'));
  size_t lines = 0;
  for (size_t i = 0; i < script.size(); ++i) {
    if (script[i] == '\n') {
      ++lines;
      EXPECT_TRUE(i > 0 && script[i - 1] == '\r') << "bare line feed at " << i;
    }
  }
  EXPECT_EQ(34u, lines);
  EXPECT_EQ("\r\n", script.substr(script.size() - 2));
  EXPECT_NE(std::string::npos, script.find("\t\t\t    '1' = s '131473'\r\n"));
  EXPECT_NE(std::string::npos, script.find("\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"));
}

TEST_F(SysInfoScriptTest, InstallWritesExactlyTheTableWithTheModuleName) {
  ASSERT_NE(std::string::npos, copy_->path().find('\''));
  ASSERT_EQ(S_OK, Update(TRUE));
  EXPECT_EQ(SysInfoTable(copy_->path()), Classes());
}

TEST_F(SysInfoScriptTest, RemoveLeavesOnlyClsidAndCanRunTwice) {
  ASSERT_EQ(S_OK, Update(TRUE));
  EXPECT_EQ(S_OK, Update(FALSE));
  const Tree empty = {{"", {}}, {"CLSID", {}}};
  EXPECT_EQ(empty, Classes());
  EXPECT_EQ(S_OK, Update(FALSE));
  EXPECT_EQ(empty, Classes());
}

TEST_F(SysInfoScriptTest, ForeignSubkeyKeepsTheClassKey) {
  ASSERT_EQ(S_OK, Update(TRUE));
  const std::string cls = std::string("CLSID\\") + kClassId;
  const std::string foreign = cls + "\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
  ASSERT_NO_FATAL_FAILURE(CreateKeyAt(HKEY_CURRENT_USER, std::string(kClassesPath) + "\\" + foreign));
  EXPECT_EQ(S_OK, Update(FALSE));
  EXPECT_EQ((Tree{{"", {}},
                  {"CLSID", {}},
                  {cls, {{"", Text(kDescription)}}},
                  {cls + "\\Implemented Categories", {}},
                  {foreign, {}}}),
            Classes());
}

TEST_F(SysInfoScriptTest, ReinstallRemovesStaleEntriesOfTheClassKey) {
  ASSERT_EQ(S_OK, Update(TRUE));
  const std::string cls = std::string(kClassesPath) + "\\CLSID\\" + kClassId;
  ASSERT_NO_FATAL_FAILURE(SetValueAt(HKEY_CURRENT_USER, cls, "Stale", "old"));
  ASSERT_NO_FATAL_FAILURE(SetValueAt(HKEY_CURRENT_USER, cls + "\\InprocServer32", "Old", "x"));
  ASSERT_NO_FATAL_FAILURE(SetValueAt(HKEY_CURRENT_USER, cls + "\\LocalServer32\\Deep", "", "y"));
  ASSERT_EQ(S_OK, Update(TRUE));
  EXPECT_EQ(SysInfoTable(copy_->path()), Classes());
}

TEST_F(SysInfoScriptTest, ExtraReplacementsFollowTheModuleName) {
  const ScriptReplacement extra[] = {{L"Extra", L"one"}, {L"SECOND", L"two"}, {nullptr, nullptr}};
  ASSERT_EQ(S_OK, Update(TRUE, copy_->module(), kProbeId, extra));
  EXPECT_EQ((Tree{{"", {}}, {"Probe", {{"", Text(copy_->path() + "|one|two")}}}}), Classes());
  // Without them the script names an unknown variable.
  EXPECT_EQ(DISP_E_EXCEPTION, Update(TRUE, copy_->module(), kProbeId, nullptr));
}

TEST_F(SysInfoScriptTest, MissingResourcesGiveThePlatformError) {
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND), Update(TRUE, copy_->module(), 999));
  // This program itself carries no resources at all.
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND), Update(TRUE, nullptr));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND), Update(FALSE, GetModuleHandleA(nullptr)));
  ScriptRegistrar registrar;
  const HRESULT missing = registrar.RunScriptResource("Z:\\nonexistent folder\\none.dll", kSysInfoId,
                                                     "REGISTRY", TRUE);
  EXPECT_TRUE(missing == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
              missing == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) || missing == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND))
      << std::hex << missing;
  const HRESULT bogus = Update(TRUE, reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x10000)));
  EXPECT_TRUE(FAILED(bogus));
  EXPECT_EQ(FACILITY_WIN32, HRESULT_FACILITY(bogus));
  EXPECT_EQ((Tree{{"", {}}}), Classes());
}

// The main executable is named by its short path. Run in a child process
// started from the resource copy, which is then the main executable.
TEST_F(SysInfoScriptTest, MainExecutableIsNamedByItsShortPath) {
  std::string command = "\"" + copy_->path() + "\" --gtest_filter=SysInfoChild.*";
  SetEnvironmentVariableA("DEVLORE_REGISTRAR_CHILD", "1");
  STARTUPINFOA startup = {sizeof startup};
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessA(copy_->path().c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &process);
  SetEnvironmentVariableA("DEVLORE_REGISTRAR_CHILD", nullptr);
  ASSERT_TRUE(started) << GetLastError();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 60000));
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(0u, exitCode);

  char shortName[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameA(copy_->path().c_str(), shortName, MAX_PATH));
  ASSERT_NE(copy_->path(), std::string(shortName));
  EXPECT_EQ((Tree{{"", {}}, {"Probe", {{"", Text(std::string(shortName) + "|1|2")}}}}), Classes());
}

TEST(SysInfoChild, WritesShortModuleName) {
  char flag[8];
  if (!GetEnvironmentVariableA("DEVLORE_REGISTRAR_CHILD", flag, sizeof flag)) {
    GTEST_SKIP() << "runs only in the child process of MainExecutableIsNamedByItsShortPath";
  }
  HKEY classes;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kClassesPath, 0, KEY_ALL_ACCESS, &classes));
  RootRedirect redirect(HKEY_CLASSES_ROOT, classes);
  ASSERT_TRUE(redirect.ok());
  const ScriptReplacement extra[] = {{L"extra", L"1"}, {L"second", L"2"}, {nullptr, nullptr}};
  EXPECT_EQ(S_OK, UpdateRegistryFromScript(nullptr, kProbeId, TRUE, extra));
  RegCloseKey(classes);
}

}  // namespace
}  // namespace devlore::regtest
