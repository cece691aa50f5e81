// Scripts run against the real (Wine) registry below a scratch key.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "server/script_interpreter.h"
#include "server/script_registrar.h"
#include "tests/registrar/registrar_test_util.h"

namespace devlore::regtest {
namespace {

using ScriptInstall = ScratchTest;

TEST_F(ScriptInstall, WritesKeysDefaultAndNamedValues) {
  ASSERT_EQ(S_OK, Install("   Top = s 'top value'\r\n   {\r\n    val Named = s 'it''s'\r\n"
                          "    Child\r\n    {\r\n     'Grand child' = s ''\r\n    }\r\n   }\r\n"
                          "   Second"));
  EXPECT_EQ((Tree{{"", {}},
                  {"Top", {{"", Text("top value")}, {"Named", Text("it's")}}},
                  {"Top\\Child", {}},
                  {"Top\\Child\\Grand child", {{"", Text("")}}},
                  {"Second", {}}}),
            Scratch());
}

TEST_F(ScriptInstall, AttachedBracesAndEqualsSignsArePartOfTheName) {
  ASSERT_EQ(S_OK, Install("A=B = s 'v' Brace{ = s 'w' {X} = s 'x'"));
  EXPECT_EQ((Tree{{"", {}},
                  {"A=B", {{"", Text("v")}}},
                  {"Brace{", {{"", Text("w")}}},
                  {"{X}", {{"", Text("x")}}}}),
            Scratch());
}

TEST_F(ScriptInstall, BinaryValuesAreReadAsHexPairs) {
  ASSERT_EQ(S_OK, Install("Bin { val Pair = b '0aFf' val Odd = B '0g' val Empty = b '' }"));
  Tree tree = Scratch();
  EXPECT_EQ((Value{REG_BINARY, std::string("\x0A\xFF", 2)}), tree["Bin"]["Pair"]);
  EXPECT_EQ((Value{REG_BINARY, std::string("\x00", 1)}), tree["Bin"]["Odd"]);  // "g" counts as 0
  EXPECT_EQ((Value{REG_BINARY, ""}), tree["Bin"]["Empty"]);
}

TEST_F(ScriptInstall, BinaryTextOfOddLengthFailsAndIsTakenBack) {
  EXPECT_EQ(E_FAIL, Install("Before = s 'x' Bin { val Three = b '0aF' }"));
  EXPECT_EQ((Tree{{"", {}}}), Scratch());
}

TEST_F(ScriptInstall, NumbersAreConvertedOrFailTheRun) {
  ASSERT_EQ(S_OK, Install("Num { val Big = d '305419896' val Max = D 4294967295 }"));
  Tree tree = Scratch();
  const DWORD big = 305419896, max = 0xFFFFFFFF;
  EXPECT_EQ((Value{REG_DWORD, std::string(reinterpret_cast<const char*>(&big), 4)}), tree["Num"]["Big"]);
  EXPECT_EQ((Value{REG_DWORD, std::string(reinterpret_cast<const char*>(&max), 4)}), tree["Num"]["Max"]);

  // Text that is no unsigned 32-bit number: the conversion's error, nothing written.
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Install("Num2 { val Bad = d '12x' }"));
  EXPECT_FALSE(KeyExistsAt(HKEY_CURRENT_USER, std::string(kScratchPath) + "\\Num2"));
  EXPECT_EQ(DISP_E_OVERFLOW, Install("Num3 = d 4294967296"));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Install("Num4 = d ''"));
  EXPECT_EQ(2u, Scratch().size());  // root and Num only
}

TEST_F(ScriptInstall, MalformedEntriesFailWithDispException) {
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Key = x 'unknown type'"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Key { val Name 'no equals sign' }"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Parent\\Child = s 'backslash'"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("'' = s 'empty key name'"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("ForceRemove ''"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Key { val V = s 'x' { Nested } }"));  // a value has no block
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Key { Sub = s 'never closed"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Key {"));
  EXPECT_EQ(DISP_E_EXCEPTION, Run("HKXX { }", true));
  EXPECT_EQ(DISP_E_EXCEPTION, Run("HKCU Key", true));
  EXPECT_EQ(DISP_E_EXCEPTION, Run("HKCU", true));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("val " + std::string(260, 'n') + " = s 'name too long'"));
  // A key name the registry refuses: neither opened nor created.
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Before " + std::string(300, 'k') + " = s 'x'"));
  EXPECT_EQ((Tree{{"", {}}}), Scratch());
  EXPECT_EQ(S_OK, Run("", true));
  EXPECT_EQ(S_OK, Run(" \r\n\t ", false));
}

TEST_F(ScriptInstall, TokensAtTheBufferLimits) {
  const std::string quoted(4094, 'q'), bare(4095, 'b');
  ASSERT_EQ(S_OK, Install("Long { val Quoted = s '" + quoted + "' val Bare = s " + bare + " }"));
  Tree tree = Scratch();
  EXPECT_EQ(Text(quoted), tree["Long"]["Quoted"]);
  EXPECT_EQ(Text(bare), tree["Long"]["Bare"]);
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Long2 = s '" + quoted + "q'"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Long3 = s " + bare + "b"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install(std::string(5000, 'k')));
  EXPECT_EQ(2u, Scratch().size());
}

TEST_F(ScriptInstall, VariablesAreExpandedBeforeAnyKeyIsTouched) {
  // Replacement text is not quoted for the script: a quote in it must come doubled.
  EXPECT_EQ(S_OK, Run(InScratch("Var = s '100%% %Name%' { val %Name% = s '%%' }"), true, {{L"NAME", L"it''s"}}));
  Tree tree = Scratch();
  EXPECT_EQ(Text("100% it's"), tree["Var"][""]);
  EXPECT_EQ(Text("%"), tree["Var"]["it''s"]);

  EXPECT_EQ(DISP_E_EXCEPTION, Run(InScratch("Before = s 'x' After = s '%Missing%'"), true));
  EXPECT_EQ(DISP_E_EXCEPTION, Run(InScratch("Before = s 'x' After = s '%Open"), true));
  EXPECT_EQ(E_FAIL, Run(InScratch("Before = s '%" + std::string(32, 'v') + "%'"), true));
  EXPECT_FALSE(KeyExistsAt(HKEY_CURRENT_USER, std::string(kScratchPath) + "\\Before"));
}

TEST_F(ScriptInstall, FailedRootBlockIsTakenBackAndEarlierBlocksStay) {
  const std::string good = InScratch("Kept = s 'first block'");
  const std::string bad = InScratch("Pre = s 'x' Parent = s 'p' { Child = s 'c' { val V = s 'v' } Bad = q 'z' }");
  EXPECT_EQ(DISP_E_EXCEPTION, Run(good + bad, true));
  EXPECT_EQ((Tree{{"", {}}, {"Kept", {{"", Text("first block")}}}}), Scratch());
  // The rollback leaves the keys that were there before the run.
  ASSERT_NO_FATAL_FAILURE(SetValueAt(HKEY_CURRENT_USER, std::string(kScratchPath) + "\\Parent\\Foreign", "F", "f"));
  EXPECT_EQ(DISP_E_EXCEPTION, Run(bad, true));
  Tree tree = Scratch();
  EXPECT_EQ(1u, tree.count("Parent\\Foreign"));
  EXPECT_EQ(0u, tree.count("Pre"));
  EXPECT_EQ(0u, tree.count("Parent\\Child"));
}

TEST_F(ScriptInstall, ForceRemoveAndDeleteSpareProtectedKeys) {
  const std::string scratch = kScratchPath;
  for (const char* name : {"CLSID", "TypeLib", "Other", "Gone"}) {
    ASSERT_NO_FATAL_FAILURE(SetValueAt(HKEY_CURRENT_USER, scratch + "\\" + name + "\\Keep", "V", "old"));
  }
  ASSERT_EQ(S_OK, Install("ForceRemove clsid = s 'c' ForceRemove TYPELIB ForceRemove Other = s 'o' Delete Gone "
                          "Delete CLSID Delete TypeLib = s 'ignored'"));
  Tree tree = Scratch();
  EXPECT_EQ(1u, tree.count("CLSID\\Keep"));
  EXPECT_EQ(1u, tree.count("TypeLib\\Keep"));
  EXPECT_EQ(Text("c"), tree["CLSID"][""]);
  EXPECT_EQ((Values{{"", Text("o")}}), tree["Other"]);
  EXPECT_EQ(0u, tree.count("Other\\Keep"));
  EXPECT_EQ(0u, tree.count("Gone"));
  EXPECT_EQ(0u, tree["TypeLib"].count(""));  // the value after a Delete entry is only read over
  // A block after a "Delete" entry has nothing to write to.
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Delete Gone { Sub }"));
  EXPECT_FALSE(KeyExistsAt(HKEY_CURRENT_USER, scratch + "\\Gone"));
}

using ScriptRemove = ScratchTest;

TEST_F(ScriptRemove, RemovesWhatInstallWrote) {
  const std::string body = "Top = s 't' { val Named = s 'n' Child { Grand = s 'g' } Empty { } 'Other' } Last";
  ASSERT_EQ(S_OK, Install(body));
  ASSERT_EQ(7u, Scratch().size());
  EXPECT_EQ(S_OK, Remove(body));
  EXPECT_EQ((Tree{{"", {}}}), Scratch());
  EXPECT_EQ(S_OK, Remove(body));  // nothing left to remove is no error
  EXPECT_EQ((Tree{{"", {}}}), Scratch());
}

TEST_F(ScriptRemove, NoRemoveSparesThatKeyAndEveryLaterKeyOfTheBlock) {
  const std::string body = "Parent { First NoRemove Second Third { Deep } } After";
  ASSERT_EQ(S_OK, Install(body));
  EXPECT_EQ(S_OK, Remove(body));
  EXPECT_EQ((Tree{{"", {}}, {"Parent", {}}, {"Parent\\Second", {}}, {"Parent\\Third", {}}}), Scratch());
}

TEST_F(ScriptRemove, ForeignSubkeyKeepsItsKeyAndOnlyTheSameNamedSubkeyGoes) {
  const std::string scratch = kScratchPath;
  const std::string body = "Owner = s 'o' { Listed = s 'l' } Box { Inner } CLSID { Inner }";
  ASSERT_EQ(S_OK, Install(body));
  ASSERT_NO_FATAL_FAILURE(SetValueAt(HKEY_CURRENT_USER, scratch + "\\Owner\\Foreign", "F", "f"));
  ASSERT_NO_FATAL_FAILURE(CreateKeyAt(HKEY_CURRENT_USER, scratch + "\\Box\\Box\\Deeper"));
  ASSERT_NO_FATAL_FAILURE(CreateKeyAt(HKEY_CURRENT_USER, scratch + "\\Box\\Stranger"));
  ASSERT_NO_FATAL_FAILURE(CreateKeyAt(HKEY_CURRENT_USER, scratch + "\\CLSID\\CLSID"));
  EXPECT_EQ(S_OK, Remove(body));
  EXPECT_EQ((Tree{{"", {}},
                  {"Owner", {{"", Text("o")}}},
                  {"Owner\\Foreign", {{"F", Text("f")}}},
                  {"Box", {}},
                  {"Box\\Stranger", {}},
                  {"CLSID", {}},
                  {"CLSID\\CLSID", {}}}),
            Scratch());
}

TEST_F(ScriptRemove, KeysThatAreAlreadyGoneDoNotStopTheirSiblings) {
  const std::string scratch = kScratchPath;
  const std::string body = "P { A B = s 'b' { val X = s 'x' } C { D } E }";
  ASSERT_EQ(S_OK, Install(body));
  DeleteTreeAt(HKEY_CURRENT_USER, scratch + "\\P\\A");
  DeleteTreeAt(HKEY_CURRENT_USER, scratch + "\\P\\C");
  // B keeps no named value: it is deleted at once and its block read over.
  HKEY b;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (scratch + "\\P\\B").c_str(), 0, KEY_ALL_ACCESS, &b));
  RegDeleteValueA(b, "X");
  RegCloseKey(b);
  EXPECT_EQ(S_OK, Remove(body));
  EXPECT_EQ((Tree{{"", {}}}), Scratch());
}

TEST_F(ScriptRemove, ValEntriesDeleteTheirValues) {
  const std::string scratch = kScratchPath;
  ASSERT_EQ(S_OK, Install("Host { val One = s '1' val Two = d 2 }"));
  ASSERT_NO_FATAL_FAILURE(CreateKeyAt(HKEY_CURRENT_USER, scratch + "\\Host\\Foreign"));
  EXPECT_EQ(S_OK, Remove("Host { val One = s '1' val Two = d 2 }"));
  EXPECT_EQ((Tree{{"", {}}, {"Host", {}}, {"Host\\Foreign", {}}}), Scratch());
}

TEST_F(ScriptRemove, DeepNestingIsBounded) {
  // The scratch wrapper uses three levels (root block, Software, DevloreScratch).
  auto nested = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "K { ";
    for (int i = 0; i < levels; ++i) text += "} ";
    return text;
  };
  const int allowed = kScriptMaxBlockDepth - 3;
  EXPECT_EQ(S_OK, Install(nested(allowed)));
  EXPECT_EQ(static_cast<size_t>(allowed + 1), Scratch().size());
  EXPECT_EQ(S_OK, Remove(nested(allowed)));
  EXPECT_EQ((Tree{{"", {}}}), Scratch());
  // One level more fails, and the rollback still takes back every level.
  EXPECT_EQ(DISP_E_EXCEPTION, Install(nested(allowed + 1)));
  EXPECT_EQ((Tree{{"", {}}}), Scratch());
  EXPECT_EQ(DISP_E_EXCEPTION, Remove(nested(allowed + 1)));
  std::string hostile;
  for (int i = 0; i < 200000; ++i) hostile += "K {\n";
  EXPECT_EQ(DISP_E_EXCEPTION, Install(hostile));
  EXPECT_EQ((Tree{{"", {}}}), Scratch());
}

TEST_F(ScriptRemove, RemoveModeParsesBlocksLikeInstallMode) {
  // A key named "{...}" after a key without a block is a sibling in both modes.
  const std::string body = "Plain {6F1B52C4-3D07-4E21-9A58-2C7D4E90B3A1} = s 'c' Last";
  ASSERT_EQ(S_OK, Install(body));
  EXPECT_EQ(4u, Scratch().size());
  EXPECT_EQ(S_OK, Remove(body));
  EXPECT_EQ((Tree{{"", {}}}), Scratch());
}

TEST(KeyHelpers, DeleteKeyTreeAndKeyQueries) {
  const std::string scratch = kScratchPath;
  DeleteTreeAt(HKEY_CURRENT_USER, scratch);
  ASSERT_NO_FATAL_FAILURE(SetValueAt(HKEY_CURRENT_USER, scratch + "\\T\\A\\B\\C", "v", "x"));
  ASSERT_NO_FATAL_FAILURE(CreateKeyAt(HKEY_CURRENT_USER, scratch + "\\T\\D"));
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, scratch.c_str(), 0, KEY_ALL_ACCESS, &key));
  EXPECT_TRUE(KeyHasSubkeys(key));
  EXPECT_FALSE(KeyHasNamedValues(key));
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("d"), 2);
  EXPECT_FALSE(KeyHasNamedValues(key));  // the default value alone does not count
  RegSetValueExA(key, "n", 0, REG_SZ, reinterpret_cast<const BYTE*>("n"), 2);
  EXPECT_TRUE(KeyHasNamedValues(key));
  RegDeleteValueA(key, nullptr);
  EXPECT_TRUE(KeyHasNamedValues(key));

  EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(key, "T"));
  EXPECT_FALSE(KeyHasSubkeys(key));
  EXPECT_NE(ERROR_SUCCESS, DeleteKeyTree(key, "T"));
  RegCloseKey(key);
  DeleteTreeAt(HKEY_CURRENT_USER, scratch);
}

}  // namespace
}  // namespace devlore::regtest
