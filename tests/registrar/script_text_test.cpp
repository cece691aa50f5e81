// The text side of the script language: tokens, variables, name tables.
#include "server/script_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devlore {
namespace {

struct Read {
  HRESULT hr;
  std::string token;
  std::string rest;  // what the cursor stands on afterwards
  bool operator==(const Read& other) const {
    return hr == other.hr && token == other.token && rest == other.rest;
  }
};
std::ostream& operator<<(std::ostream& out, const Read& read) {
  return out << "{0x" << std::hex << static_cast<unsigned long>(read.hr) << std::dec << ", \"" << read.token
             << "\", \"" << read.rest << "\"}";
}

Read ReadOne(const std::string& text, DWORD size = kScriptTokenSize) {
  std::vector<char> buffer(size + 16, '\x7F');
  const char* cursor = text.c_str();
  HRESULT hr = ReadToken(cursor, buffer.data(), size);
  // Nothing may be written past the buffer.
  for (DWORD i = size; i < buffer.size(); ++i) EXPECT_EQ('\x7F', buffer[i]) << "overrun at " << i;
  return {hr, SUCCEEDED(hr) ? std::string(buffer.data()) : std::string(), cursor};
}

std::vector<std::string> AllTokens(const std::string& text) {
  std::vector<std::string> tokens;
  std::vector<char> buffer(kScriptTokenSize);
  const char* cursor = text.c_str();
  for (;;) {
    SkipBlanks(cursor);
    if (!*cursor) break;
    if (FAILED(ReadToken(cursor, buffer.data(), kScriptTokenSize))) {
      tokens.push_back("<error>");
      break;
    }
    tokens.push_back(buffer.data());
  }
  return tokens;
}

TEST(ReadToken, QuotedTokensAndDoubledQuotes) {
  EXPECT_EQ((Read{S_OK, "Tolvane PC", " rest"}), ReadOne("  'Tolvane PC' rest"));
  Read doubled = ReadOne("'it''s ''quoted'''x");
  EXPECT_EQ(S_OK, doubled.hr);
  EXPECT_EQ("it's 'quoted'", doubled.token);
  EXPECT_EQ("x", doubled.rest);  // the closing quote ends the token even without a blank
  Read empty = ReadOne("'' next");
  EXPECT_EQ(S_OK, empty.hr);
  EXPECT_EQ("", empty.token);
  EXPECT_EQ(" next", empty.rest);
  EXPECT_EQ("'", ReadOne("''''").token);
}

TEST(ReadToken, UnclosedQuoteAndEndOfTextFail) {
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne("'never closed").hr);
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne("'ends in a doubled quote''").hr);
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne("'").hr);
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne("").hr);
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne(" \t\r\n ").hr);
}

TEST(ReadToken, BareTokensKeepBracesAndEqualsSigns) {
  EXPECT_EQ((std::vector<std::string>{"Key=", "s", "'v'", "{6F1B52C4-3D07}", "=", "a{b}", "}"}),
            AllTokens("Key= s '''v''' {6F1B52C4-3D07}\t=\r\na{b} }"));
  // Only space, tab, CR and LF separate tokens.
  EXPECT_EQ((std::vector<std::string>{"a\vb\fc"}), AllTokens("a\vb\fc"));
  Read bare = ReadOne("name'with'quotes next");
  EXPECT_EQ("name'with'quotes", bare.token);
  EXPECT_EQ(" next", bare.rest);
}

TEST(ReadToken, QuotedTokenLimitIs4094Bytes) {
  const std::string fits(4094, 'q');
  Read read = ReadOne("'" + fits + "'");
  EXPECT_EQ(S_OK, read.hr);
  EXPECT_EQ(fits, read.token);
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne("'" + std::string(4095, 'q') + "'").hr);
  // A doubled quote counts as one byte of content.
  EXPECT_EQ(S_OK, ReadOne("'" + std::string(4093, 'q') + "''' ").hr);
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne("'" + std::string(4094, 'q') + "'''").hr);
}

TEST(ReadToken, BareTokenMustFitTheBuffer) {
  EXPECT_EQ(S_OK, ReadOne(std::string(4095, 'b')).hr);
  EXPECT_EQ(4095u, ReadOne(std::string(4095, 'b') + " x").token.size());
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne(std::string(4096, 'b')).hr);
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne(std::string(100000, 'b')).hr);
  // The smaller buffer of a value name.
  EXPECT_EQ(S_OK, ReadOne(std::string(259, 'n'), kScriptNameSize).hr);
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne(std::string(260, 'n'), kScriptNameSize).hr);
  EXPECT_EQ(S_OK, ReadOne("'" + std::string(258, 'n') + "'", kScriptNameSize).hr);
  EXPECT_EQ(DISP_E_EXCEPTION, ReadOne("'" + std::string(259, 'n') + "'", kScriptNameSize).hr);
}

TEST(ReadToken, TextEndsAtItsZeroEvenAfterALeadByteValue) {
  // In a single-byte code page 0x81 is an ordinary character; in either case
  // the walk stops at the terminating zero.
  const char text[] = {'a', '\x81', '\0', 'X', 'Y', '\0'};
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
    ASSERT_EQ(S_OK, table_.Add(L"Module", L"C:\\Program Files\\It''s\\Devlore.DLL"));
    ASSERT_EQ(S_OK, table_.Add(L"Empty", L""));
    ASSERT_EQ(S_OK, table_.Add(L"Percent", L"100%%"));
  }
  std::pair<HRESULT, std::string> Expand(const std::string& text) {
    UniqueArray<char> out;
    HRESULT hr = ExpandVariables(text.c_str(), table_, &out);
    EXPECT_EQ(SUCCEEDED(hr), static_cast<bool>(out));
    return {hr, out ? std::string(out.get()) : std::string()};
  }
  ReplacementTable table_;
};

TEST_F(Expansion, ReplacesVariablesWithoutRegardToCase) {
  EXPECT_EQ(std::make_pair(S_OK, std::string("s 'C:\\Program Files\\It''s\\Devlore.DLL, 101'")),
            Expand("s '%MODULE%, 101'"));
  EXPECT_EQ(std::make_pair(S_OK, std::string("[]")), Expand("[%empty%]"));
  // A replacement is not expanded again.
  EXPECT_EQ(std::make_pair(S_OK, std::string("100%%")), Expand("%Percent%"));
  EXPECT_EQ(std::make_pair(S_OK, std::string("50% of 100%")), Expand("50%% of 100%%"));
  EXPECT_EQ(std::make_pair(S_OK, std::string("")), Expand(""));
}

TEST_F(Expansion, FailuresGiveNoText) {
  EXPECT_EQ(DISP_E_EXCEPTION, Expand("'%Unknown%'").first);
  EXPECT_EQ(DISP_E_EXCEPTION, Expand("open %Module").first);
  EXPECT_EQ(DISP_E_EXCEPTION, Expand("trailing %").first);
  const std::string name31(31, 'v');
  const std::string name32(32, 'v');
  EXPECT_EQ(DISP_E_EXCEPTION, Expand("%" + name31 + "%").first);  // not in the table
  EXPECT_EQ(E_FAIL, Expand("%" + name32 + "%").first);
  EXPECT_EQ(E_FAIL, Expand("%" + name32).first);  // too long before the end is seen
  ASSERT_EQ(S_OK, table_.Add(std::wstring(31, L'V').c_str(), L"thirty-one"));
  EXPECT_EQ(std::make_pair(S_OK, std::string("<thirty-one>")), Expand("<%" + name31 + "%>"));
}

TEST_F(Expansion, GrowsForLongReplacements) {
  const std::wstring big(20000, L'x');
  ASSERT_EQ(S_OK, table_.Add(L"Big", big.c_str()));
  auto result = Expand("%Big%%Big%.");
  EXPECT_EQ(S_OK, result.first);
  EXPECT_EQ(std::string(40000, 'x') + ".", result.second);
}

TEST(ReplacementTable, FirstMatchWinsAndTableGrows) {
  ReplacementTable table;
  for (int i = 0; i < 25; ++i) {
    std::wstring name = L"Name" + std::to_wstring(i);
    std::wstring text = L"Text" + std::to_wstring(i);
    ASSERT_EQ(S_OK, table.Add(name.c_str(), text.c_str()));
  }
  ASSERT_EQ(S_OK, table.Add(L"NAME3", L"later"));
  EXPECT_EQ(26u, table.Count());
  ASSERT_NE(nullptr, table.Find("name3"));
  EXPECT_EQ(std::wstring(L"Text3"), table.Find("name3"));
  EXPECT_EQ(std::wstring(L"Text24"), table.Find("NAME24"));
  EXPECT_EQ(nullptr, table.Find("Name25"));
  EXPECT_EQ(E_INVALIDARG, table.Add(nullptr, L"x"));
  table.Clear();
  EXPECT_EQ(0u, table.Count());
  EXPECT_EQ(nullptr, table.Find("Name0"));
}

TEST(ScriptTables, RootKeysValueTypesAndProtectedNames) {
  EXPECT_EQ(HKEY_CLASSES_ROOT, FindRootKey("hkcr"));
  EXPECT_EQ(HKEY_CLASSES_ROOT, FindRootKey("HKEY_CLASSES_ROOT"));
  EXPECT_EQ(HKEY_CURRENT_USER, FindRootKey("HKCU"));
  EXPECT_EQ(HKEY_LOCAL_MACHINE, FindRootKey("hkey_local_machine"));
  EXPECT_EQ(HKEY_USERS, FindRootKey("HKU"));
  EXPECT_EQ(HKEY_PERFORMANCE_DATA, FindRootKey("HKPD"));
  EXPECT_EQ(HKEY_DYN_DATA, FindRootKey("HKEY_DYN_DATA"));
  EXPECT_EQ(HKEY_CURRENT_CONFIG, FindRootKey("HKCC"));
  EXPECT_EQ(nullptr, FindRootKey("HKCR{"));
  EXPECT_EQ(nullptr, FindRootKey(""));

  EXPECT_EQ(static_cast<DWORD>(REG_SZ), FindValueType("s"));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), FindValueType("D"));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), FindValueType("b"));
  EXPECT_EQ(static_cast<DWORD>(REG_NONE), FindValueType("sz"));
  EXPECT_EQ(static_cast<DWORD>(REG_NONE), FindValueType(""));

  EXPECT_TRUE(IsProtectedKey("clsid"));
  EXPECT_TRUE(IsProtectedKey("TypeLib"));
  EXPECT_FALSE(IsProtectedKey("CLSID2"));
  EXPECT_TRUE(ContainsBackslash("a\\b"));
  EXPECT_FALSE(ContainsBackslash("a/b"));
  EXPECT_TRUE(IsKeyword("forceremove", "ForceRemove"));
  EXPECT_FALSE(IsKeyword("ForceRemoveX", "ForceRemove"));
}

}  // namespace
}  // namespace devlore
