// The text side of the script language: tokens, variables, name tables.
#include "server/script_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devlore {
namespace {

// Reads one token; the result, the token and what the cursor stands on after.
// Checks that nothing is written past the buffer.
std::vector<std::string> ReadOne(const std::string& text, DWORD size = kScriptTokenSize) {
  std::vector<char> buffer(size + 16, '\x7F');
  const char* cursor = text.c_str();
  HRESULT hr = ReadToken(cursor, buffer.data(), size);
  for (DWORD i = size; i < buffer.size(); ++i) EXPECT_EQ('\x7F', buffer[i]) << "overrun at " << i;
  if (FAILED(hr)) return {hr == DISP_E_EXCEPTION ? "DISP_E_EXCEPTION" : "other failure"};
  return {buffer.data(), cursor};
}

const std::vector<std::string> kFailed = {"DISP_E_EXCEPTION"};

TEST(ReadToken, QuotedTokens) {
  EXPECT_EQ((std::vector<std::string>{"Tolvane PC", " rest"}), ReadOne("  'Tolvane PC' rest"));
  EXPECT_EQ((std::vector<std::string>{"it's 'quoted'", "x"}), ReadOne("'it''s ''quoted'''x"));
  EXPECT_EQ((std::vector<std::string>{"", " next"}), ReadOne("'' next"));
  EXPECT_EQ((std::vector<std::string>{"'", ""}), ReadOne("''''"));
  EXPECT_EQ(kFailed, ReadOne("'never closed"));
  EXPECT_EQ(kFailed, ReadOne("'ends in a doubled quote''"));
  EXPECT_EQ(kFailed, ReadOne(" \t\r\n "));
  EXPECT_EQ(kFailed, ReadOne(""));
}

TEST(ReadToken, BareTokensRunToABlank) {
  EXPECT_EQ((std::vector<std::string>{"Key=", " s"}), ReadOne("Key= s"));
  EXPECT_EQ((std::vector<std::string>{"{6F1B52C4}", "\t="}), ReadOne("{6F1B52C4}\t="));
  EXPECT_EQ((std::vector<std::string>{"a{b}'c'", "\r\n"}), ReadOne("a{b}'c'\r\n"));
  EXPECT_EQ((std::vector<std::string>{"a\vb\fc", ""}), ReadOne("a\vb\fc"));  // only 4 blanks
}

TEST(ReadToken, TokensMustFitTheirBuffers) {
  // Quoted: at most size - 2 bytes of content; a doubled quote counts once.
  EXPECT_EQ(4094u, ReadOne("'" + std::string(4094, 'q') + "'")[0].size());
  EXPECT_EQ(kFailed, ReadOne("'" + std::string(4095, 'q') + "'"));
  EXPECT_EQ(4094u, ReadOne("'" + std::string(4093, 'q') + "''' ")[0].size());
  EXPECT_EQ(kFailed, ReadOne("'" + std::string(4094, 'q') + "'''"));
  // Bare: must fit with the terminating zero.
  EXPECT_EQ(4095u, ReadOne(std::string(4095, 'b') + " x")[0].size());
  EXPECT_EQ(kFailed, ReadOne(std::string(4096, 'b')));
  EXPECT_EQ(kFailed, ReadOne(std::string(100000, 'b')));
  // The value name buffer of a "Val" entry.
  EXPECT_EQ(259u, ReadOne(std::string(259, 'n'), kScriptNameSize)[0].size());
  EXPECT_EQ(kFailed, ReadOne(std::string(260, 'n'), kScriptNameSize));
  EXPECT_EQ(kFailed, ReadOne("'" + std::string(259, 'n') + "'", kScriptNameSize));
}

TEST(ReadToken, WalkStopsAtTheTerminatingZero) {
  const char text[] = {'a', '\x81', '\0', 'X', '\0'};  // a lead byte value just before the end
  const char* cursor = text;
  char buffer[16];
  EXPECT_EQ(S_OK, ReadToken(cursor, buffer, sizeof buffer));
  EXPECT_EQ(text + 2, cursor);
  EXPECT_EQ(1, ScriptCharLength(text + 1));
  EXPECT_EQ(0, ScriptCharLength(text + 2));
}

class Expansion : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, table_.Add(L"Module", L"C:\\It''s\\Devlore.DLL"));
    ASSERT_EQ(S_OK, table_.Add(L"Percent", L"100%%"));
    ASSERT_EQ(S_OK, table_.Add(std::wstring(31, L'V').c_str(), L"31"));
  }
  std::string Expand(const std::string& text) {
    UniqueArray<char> out;
    HRESULT hr = ExpandVariables(text.c_str(), table_, &out);
    EXPECT_EQ(SUCCEEDED(hr), static_cast<bool>(out));
    if (hr == DISP_E_EXCEPTION) return "DISP_E_EXCEPTION";
    if (hr == E_FAIL) return "E_FAIL";
    return FAILED(hr) ? "other failure" : out.Get();
  }
  ReplacementTable table_;
};

TEST_F(Expansion, ReplacesVariablesOnce) {
  EXPECT_EQ("s 'C:\\It''s\\Devlore.DLL, 101'", Expand("s '%MODULE%, 101'"));
  EXPECT_EQ("100%%", Expand("%percent%"));  // replacement text is not expanded again
  EXPECT_EQ("50% of 100%", Expand("50%% of 100%%"));
  EXPECT_EQ("<31>", Expand("<%" + std::string(31, 'v') + "%>"));
  EXPECT_EQ("", Expand(""));
  const std::wstring big(20000, L'x');
  ASSERT_EQ(S_OK, table_.Add(L"Big", big.c_str()));
  EXPECT_EQ(std::string(40000, 'x') + ".", Expand("%Big%%Big%."));
}

TEST_F(Expansion, FailuresGiveNoText) {
  EXPECT_EQ("DISP_E_EXCEPTION", Expand("'%Unknown%'"));
  EXPECT_EQ("DISP_E_EXCEPTION", Expand("open %Module"));
  EXPECT_EQ("DISP_E_EXCEPTION", Expand("trailing %"));
  EXPECT_EQ("E_FAIL", Expand("%" + std::string(32, 'v') + "%"));
  EXPECT_EQ("E_FAIL", Expand("%" + std::string(40, 'v')));  // too long before the end is seen
}

TEST(ScriptTables, LookupsIgnoreCase) {
  ReplacementTable table;
  for (int i = 0; i < 25; ++i) {
    ASSERT_EQ(S_OK, table.Add((L"Name" + std::to_wstring(i)).c_str(), (L"Text" + std::to_wstring(i)).c_str()));
  }
  ASSERT_EQ(S_OK, table.Add(L"NAME3", L"later"));
  EXPECT_STREQ("Text3", table.Find("name3"));  // first match wins
  EXPECT_STREQ("Text24", table.Find("NAME24"));
  EXPECT_EQ(nullptr, table.Find("Name25"));
  table.Clear();
  EXPECT_EQ(nullptr, table.Find("Name0"));

  const struct {
    const char* shortName;
    const char* longName;
    HKEY key;
  } roots[] = {
      {"hkcr", "hkey_classes_root", HKEY_CLASSES_ROOT},
      {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"HkLm", "Hkey_Local_Machine", HKEY_LOCAL_MACHINE},
      {"HKU", "HKEY_USERS", HKEY_USERS},
      {"HKPD", "HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
      {"HKDD", "HKEY_DYN_DATA", HKEY_DYN_DATA},
      {"hkcc", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
  };
  for (const auto& root : roots) {
    EXPECT_EQ(root.key, FindRootKey(root.shortName)) << root.shortName;
    EXPECT_EQ(root.key, FindRootKey(root.longName)) << root.longName;
  }
  for (const char* notRoot : {"HKCR{", "HK", "", "HKEY_", "HKEY_CLASSES_ROOTS", "CLSID"}) {
    EXPECT_EQ(nullptr, FindRootKey(notRoot)) << notRoot;
  }
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), FindValueType("d"));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), FindValueType("s"));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), FindValueType("B"));
  EXPECT_EQ(static_cast<DWORD>(REG_NONE), FindValueType("sz"));
  EXPECT_TRUE(IsProtectedKey("TypeLib"));
  EXPECT_TRUE(IsProtectedKey("clsid"));
  EXPECT_FALSE(IsProtectedKey("CLSID2"));
  EXPECT_FALSE(IsProtectedKey(""));
}

}  // namespace
}  // namespace devlore
