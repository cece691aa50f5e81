// The SysInfo class script run from a module's "REGISTRY" resource through
// UpdateRegistryFromScript. HKEY_CLASSES_ROOT is redirected for this process to
// a scratch key, so the script runs unchanged without touching real classes.
#include <gtest/gtest.h>

#include "tests/registrar/registrar_test_util.h"

namespace devlore::regtest {
namespace {

constexpr UINT kSysInfoId = 102, kProbeId = 103;
const char kClasses[] = "Software\\DevloreScratch\\Classes";
const char kProbeScript[] = "HKCR\r\n{\r\n\tProbe = s '%MODULE%|%Extra%|%second%'\r\n}\r\n";
const char kDescription[] = "Tolvane PC Meadow System Information Class";

// The keys and values the script installs into an empty classes root.
Tree SysInfoTable(const std::string& module) {
  const std::string cls = std::string("CLSID\\") + kClassId;
  return {{"", {}},
          {"Devlore.SysInfo.1", {{"", Text(kDescription)}}},
          {"Devlore.SysInfo.1\\CLSID", {{"", Text(kClassId)}}},
          {"Devlore.SysInfo", {{"", Text(kDescription)}}},
          {"Devlore.SysInfo\\CLSID", {{"", Text(kClassId)}}},
          {"Devlore.SysInfo\\CurVer", {{"", Text("Devlore.SysInfo.1")}}},
          {"CLSID", {}},
          {cls, {{"", Text(kDescription)}}},
          {cls + "\\ProgID", {{"", Text("Devlore.SysInfo.1")}}},
          {cls + "\\VersionIndependentProgID", {{"", Text("Devlore.SysInfo")}}},
          {cls + "\\Programmable", {}},
          {cls + "\\InprocServer32", {{"", Text(module)}, {"ThreadingModel", Text("Apartment")}}},
          {cls + "\\Control", {}},
          {cls + "\\Insertable", {}},
          {cls + "\\ToolboxBitmap32", {{"", Text(module + ", 101")}}},
          {cls + "\\MiscStatus", {{"", Text("0")}}},
          {cls + "\\MiscStatus\\1", {{"", Text("131473")}}},
          {cls + "\\TypeLib", {{"", Text("{6F1B52C5-3D07-4E21-9A58-2C7D4E90B3A1}")}}},
          {cls + "\\Version", {{"", Text("1.0")}}}};
}

class SysInfoScriptTest : public ::testing::Test {
 protected:
  // A copy of this test program, in a folder whose name holds a quote, that
  // carries the SysInfo script as "REGISTRY" 102 and a probe script as 103.
  static void SetUpTestSuite() {
    char temp[MAX_PATH], self[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    folder_ = std::string(temp) + "Devlore's registrar " + std::to_string(GetCurrentProcessId());
    path_ = folder_ + "\\registrar copy.exe";
    CreateDirectoryA(folder_.c_str(), nullptr);
    const std::string script = SysInfoScript();
    HANDLE update = CopyFileA(self, path_.c_str(), FALSE) ? BeginUpdateResourceA(path_.c_str(), FALSE) : nullptr;
    if (!update || script.empty()) return;
    const WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    UpdateResourceA(update, "REGISTRY", MAKEINTRESOURCEA(kSysInfoId), language, const_cast<char*>(script.data()),
                    static_cast<DWORD>(script.size()));
    UpdateResourceA(update, "REGISTRY", MAKEINTRESOURCEA(kProbeId), language, const_cast<char*>(kProbeScript),
                    sizeof(kProbeScript) - 1);
    if (EndUpdateResourceA(update, FALSE)) module_ = LoadLibraryExA(path_.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  }
  static void TearDownTestSuite() {
    if (module_) FreeLibrary(module_);
    DeleteFileA(path_.c_str());
    RemoveDirectoryA(folder_.c_str());
  }

  void SetUp() override {
    ASSERT_NE(nullptr, module_) << "no resource copy at " << path_;
    DeleteTree(HKEY_CURRENT_USER, kScratchPath);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kClasses, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &classes_, nullptr));
    redirect_ = new RootRedirect(HKEY_CLASSES_ROOT, classes_);
    ASSERT_TRUE(redirect_->ok());
  }
  void TearDown() override {
    delete redirect_;
    RegCloseKey(classes_);
    DeleteTree(HKEY_CURRENT_USER, kScratchPath);
    // Nothing reached the real classes root.
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Devlore.SysInfo.1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClassId));
  }

  static HRESULT Update(BOOL install, HMODULE module = module_, UINT id = kSysInfoId,
                        const ScriptReplacement* extra = nullptr) {
    return UpdateRegistryFromScript(module, id, install, extra);
  }
  static Tree Classes() { return Snapshot(HKEY_CURRENT_USER, kClasses); }

  static inline std::string folder_, path_;
  static inline HMODULE module_ = nullptr;
  HKEY classes_ = nullptr;
  RootRedirect* redirect_ = nullptr;
};

TEST(SysInfoScriptFile, Is907BytesOfCrLfLines) {
  const std::string script = SysInfoScript();
  ASSERT_EQ(907u, script.size());
  EXPECT_EQ(0u, script.find("HKCR\r\n{\r\n    Devlore.SysInfo.1 = s '"));
  size_t lines = 0;
  for (size_t i = 0; i < script.size(); ++i) {
    if (script[i] == '\n' && ++lines) EXPECT_EQ('\r', script[i - 1]) << "bare line feed at " << i;
  }
  EXPECT_EQ(34u, lines);
  EXPECT_EQ("\t}\r\n}\r\n", script.substr(script.size() - 7));
  EXPECT_NE(std::string::npos, script.find("\r\n\t\t\t    '1' = s '131473'\r\n"));
}

TEST_F(SysInfoScriptTest, InstallWritesExactlyTheTable) {
  ASSERT_NE(std::string::npos, path_.find('\''));
  ASSERT_EQ(S_OK, Update(TRUE));
  EXPECT_EQ(SysInfoTable(path_), Classes());
}

TEST_F(SysInfoScriptTest, RemoveLeavesOnlyClsidAndCanRunTwice) {
  ASSERT_EQ(S_OK, Update(TRUE));
  const Tree left = {{"", {}}, {"CLSID", {}}};
  EXPECT_EQ(S_OK, Update(FALSE));
  EXPECT_EQ(left, Classes());
  EXPECT_EQ(S_OK, Update(FALSE));
  EXPECT_EQ(left, Classes());
}

TEST_F(SysInfoScriptTest, ForeignSubkeyKeepsTheClassKey) {
  ASSERT_EQ(S_OK, Update(TRUE));
  const std::string cls = std::string("CLSID\\") + kClassId, foreign = cls + "\\Implemented Categories\\{7DD9}";
  CreateKey(HKEY_CURRENT_USER, std::string(kClasses) + "\\" + foreign);
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
  const std::string cls = std::string(kClasses) + "\\CLSID\\" + kClassId;
  SetString(HKEY_CURRENT_USER, cls, "Stale", "old");
  SetString(HKEY_CURRENT_USER, cls + "\\InprocServer32", "Old", "x");
  SetString(HKEY_CURRENT_USER, cls + "\\LocalServer32\\Deep", "", "y");
  ASSERT_EQ(S_OK, Update(TRUE));
  EXPECT_EQ(SysInfoTable(path_), Classes());
}

TEST_F(SysInfoScriptTest, ExtraReplacementsAndMissingResources) {
  const ScriptReplacement extra[] = {{L"Extra", L"one"}, {L"SECOND", L"two"}, {nullptr, nullptr}};
  ASSERT_EQ(S_OK, Update(TRUE, module_, kProbeId, extra));
  EXPECT_EQ((Tree{{"", {}}, {"Probe", {{"", Text(path_ + "|one|two")}}}}), Classes());
  EXPECT_EQ(DISP_E_EXCEPTION, Update(TRUE, module_, kProbeId, nullptr));

  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND), Update(TRUE, module_, 999));
  // This program itself carries no resources at all.
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND), Update(TRUE, nullptr));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND), Update(FALSE, GetModuleHandleA(nullptr)));
  ScriptRegistrar registrar;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
            registrar.RunScriptResource("Z:\\nonexistent folder\\none.dll", kSysInfoId, "REGISTRY", TRUE));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), Update(TRUE, reinterpret_cast<HMODULE>(0x10000)));
}

// The main executable is named by its short path: a child process started
// from the resource copy runs the probe script with a null instance.
TEST_F(SysInfoScriptTest, MainExecutableIsNamedByItsShortPath) {
  std::string command = "\"" + path_ + "\" --gtest_filter=SysInfoChild.*";
  SetEnvironmentVariableA("DEVLORE_REGISTRAR_CHILD", "1");
  STARTUPINFOA startup = {sizeof startup};
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessA(path_.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &process);
  SetEnvironmentVariableA("DEVLORE_REGISTRAR_CHILD", nullptr);
  ASSERT_TRUE(started) << GetLastError();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 60000));
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(0u, exitCode);
  char shortName[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameA(path_.c_str(), shortName, MAX_PATH));
  ASSERT_NE(path_, shortName);
  EXPECT_EQ((Tree{{"", {}}, {"Probe", {{"", Text(std::string(shortName) + "|1|2")}}}}), Classes());
}

TEST(SysInfoChild, WritesShortModuleName) {
  if (!GetEnvironmentVariableA("DEVLORE_REGISTRAR_CHILD", nullptr, 0)) GTEST_SKIP() << "child process only";
  HKEY classes;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kClasses, 0, KEY_ALL_ACCESS, &classes));
  RootRedirect redirect(HKEY_CLASSES_ROOT, classes);
  ASSERT_TRUE(redirect.ok());
  const ScriptReplacement extra[] = {{L"extra", L"1"}, {L"second", L"2"}, {nullptr, nullptr}};
  EXPECT_EQ(S_OK, UpdateRegistryFromScript(nullptr, kProbeId, TRUE, extra));
  RegCloseKey(classes);
}

}  // namespace
}  // namespace devlore::regtest
