// Scripts run against the real (Wine) registry below a scratch key.
#include <gtest/gtest.h>

#include "server/script_interpreter.h"  // kScriptMaxBlockDepth
#include "tests/registrar/registrar_test_util.h"

namespace devlore::regtest {
namespace {

const Tree kEmpty = {{"", {}}};
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

using ScriptInstall = ScratchTest;

TEST_F(ScriptInstall, WritesKeysAndValuesOfEveryType) {
  ASSERT_EQ(S_OK, Install("Top = s 'top value'\r\n{\r\n val Named = s 'it''s'\r\n Child\r\n {\r\n"
                          "  'Grand child' = s ''\r\n }\r\n val Num = d '305419896' val Max = D 4294967295\r\n"
                          " val Bin = b '0aFf' val Odd = B '0g' val None = b ''\r\n}\r\n"
                          "A=B = s 'v' Brace{ = s 'w' {X} = s 'x'"));
  EXPECT_EQ((Tree{{"", {}},
                  {"Top",
                   {{"", Text("top value")},
                    {"Named", Text("it's")},
                    {"Num", {REG_DWORD, Dword(305419896)}},
                    {"Max", {REG_DWORD, Dword(0xFFFFFFFF)}},
                    {"Bin", {REG_BINARY, "\x0A\xFF"}},
                    {"Odd", {REG_BINARY, std::string(1, '\0')}},  // "g" counts as 0
                    {"None", {REG_BINARY, ""}}}},
                  {"Top\\Child", {}},
                  {"Top\\Child\\Grand child", {{"", Text("")}}},
                  {"A=B", {{"", Text("v")}}},  // "=" and braces attached to a name belong to it
                  {"Brace{", {{"", Text("w")}}},
                  {"{X}", {{"", Text("x")}}}}),
            Scratch());
}

TEST_F(ScriptInstall, BinaryDigitsAreHexOfEitherCaseAndOtherCharactersCountAsZero) {
  ASSERT_EQ(S_OK, Install("Bin { val Digits = b '09AFaf' val Others = b '/:@G`g' }"));
  EXPECT_EQ((Tree{{"", {}},
                  {"Bin",
                   {{"Digits", {REG_BINARY, "\x09\xAF\xAF"}},
                    {"Others", {REG_BINARY, std::string(3, '\0')}}}}}),
            Scratch());
}

TEST_F(ScriptInstall, BadValuesFailTheRunAndAreTakenBack) {
  EXPECT_EQ(E_FAIL, Install("Before = s 'x' Bin { val Three = b '0aF' }"));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Install("Num { val Bad = d '12x' }"));
  EXPECT_EQ(DISP_E_OVERFLOW, Install("Num = d 4294967296"));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Install("Num = d ''"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Key = x 'unknown type'"));
  EXPECT_EQ(kEmpty, Scratch());
}

TEST_F(ScriptInstall, MalformedScriptsFailWithDispException) {
  for (const char* body : {"Key { val Name 'no equals sign' }", "Parent\\Child = s 'backslash'",
                           "'' = s 'empty name'", "ForceRemove ''", "Key { val V = s 'x' { Nested } }",
                           "Delete Gone { Sub }", "Key { Sub = s 'never closed", "Key {"}) {
    EXPECT_EQ(DISP_E_EXCEPTION, Install(body)) << body;
  }
  EXPECT_EQ(DISP_E_EXCEPTION, Install("val " + std::string(260, 'n') + " = s 'name too long'"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Before " + std::string(300, 'k') + " = s 'refused by the registry'"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Long = s '" + std::string(4095, 'q') + "'"));
  EXPECT_EQ(DISP_E_EXCEPTION, Install("Long = s " + std::string(4096, 'b')));
  for (const char* script : {"HKXX { }", "HKCU Key", "HKCU"}) EXPECT_EQ(DISP_E_EXCEPTION, Run(script, true));
  EXPECT_EQ(kEmpty, Scratch());
  EXPECT_EQ(S_OK, Run("", true));
  EXPECT_EQ(S_OK, Run(" \r\n\t ", false));
}

TEST_F(ScriptInstall, VariablesAreExpandedBeforeAnyKeyIsTouched) {
  // Replacement text is used as it is: a quote in it must come doubled.
  EXPECT_EQ(S_OK, Run(InScratch("Var = s '100%% %Name%' { val %Name% = s '%%' }"), true, L"NAME", L"it''s"));
  EXPECT_EQ((Tree{{"", {}}, {"Var", {{"", Text("100% it's")}, {"it''s", Text("%")}}}}), Scratch());
  EXPECT_EQ(DISP_E_EXCEPTION, Run(InScratch("Before = s 'x' After = s '%Missing%'"), true));
  EXPECT_EQ(DISP_E_EXCEPTION, Run(InScratch("Before = s 'x' After = s '%Open"), true));
  EXPECT_EQ(E_FAIL, Run(InScratch("Before = s '%" + std::string(32, 'v') + "%'"), true));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, At("Before")));
}

TEST_F(ScriptInstall, FailedRootBlockIsTakenBackAndEarlierBlocksStay) {
  const std::string bad = InScratch("Pre = s 'x' Parent = s 'p' { Child = s 'c' { val V = s 'v' } Bad = q 'z' }");
  EXPECT_EQ(DISP_E_EXCEPTION, Run(InScratch("Kept = s 'first block'") + bad, true));
  EXPECT_EQ((Tree{{"", {}}, {"Kept", {{"", Text("first block")}}}}), Scratch());
  // A key that holds something else stays.
  SetString(HKEY_CURRENT_USER, At("Parent\\Foreign"), "F", "f");
  EXPECT_EQ(DISP_E_EXCEPTION, Run(bad, true));
  Tree tree = Scratch();
  EXPECT_EQ(1u, tree.count("Parent\\Foreign"));
  EXPECT_EQ(0u, tree.count("Pre") + tree.count("Parent\\Child"));
}

TEST_F(ScriptInstall, ForceRemoveAndDeleteSpareProtectedKeys) {
  for (const char* name : {"CLSID", "TypeLib", "Other", "Gone"}) {
    SetString(HKEY_CURRENT_USER, At(name) + "\\Keep", "V", "old");
  }
  ASSERT_EQ(S_OK, Install("ForceRemove clsid = s 'c' ForceRemove TYPELIB ForceRemove Other = s 'o' Delete Gone "
                          "Delete CLSID Delete TypeLib = s 'read over'"));
  EXPECT_EQ((Tree{{"", {}},
                  {"CLSID", {{"", Text("c")}}},
                  {"CLSID\\Keep", {{"V", Text("old")}}},
                  {"TypeLib", {}},
                  {"TypeLib\\Keep", {{"V", Text("old")}}},
                  {"Other", {{"", Text("o")}}}}),
            Scratch());
}

// The registry tells "Stale" and "Stale\xAD" apart; a linguistic comparison
// does not, and then took the second for the first one still listed.
TEST_F(ScriptInstall, ForceRemoveDeletesSubkeysThatDifferOnlyByAnIgnorableCharacter) {
  for (const char* name : {"Stale", "Stale\xAD", "stale\xAD\xAD"}) {
    CreateKey(HKEY_CURRENT_USER, At(std::string("Force\\") + name + "\\Deep"));
  }
  ASSERT_EQ(S_OK, Install("ForceRemove Force = s 'new'"));
  EXPECT_EQ((Tree{{"", {}}, {"Force", {{"", Text("new")}}}}), Scratch());
}

using ScriptRemove = ScratchTest;

TEST_F(ScriptRemove, RemovesWhatInstallWroteAndRunsTwice) {
  const std::string body = "Top = s 't' { val Named = s 'n' Child { Grand = s 'g' } Empty { } 'Other' } Last "
                           "Plain {6F1B52C4-3D07-4E21-9A58-2C7D4E90B3A1} = s 'sibling, not a block'";
  ASSERT_EQ(S_OK, Install(body));
  ASSERT_EQ(9u, Scratch().size());
  EXPECT_EQ(S_OK, Remove(body));
  EXPECT_EQ(kEmpty, Scratch());
  EXPECT_EQ(S_OK, Remove(body));
  EXPECT_EQ(kEmpty, Scratch());
}

TEST_F(ScriptRemove, NoRemoveSparesThatKeyAndEveryLaterKeyOfTheBlock) {
  const std::string body = "Parent { First NoRemove Second Third { Deep } } After";
  ASSERT_EQ(S_OK, Install(body));
  EXPECT_EQ(S_OK, Remove(body));
  EXPECT_EQ((Tree{{"", {}}, {"Parent", {}}, {"Parent\\Second", {}}, {"Parent\\Third", {}}}), Scratch());
}

TEST_F(ScriptRemove, ForeignSubkeysKeepTheirKeyAndOnlyTheSameNamedSubkeyGoes) {
  const std::string body = "Owner = s 'o' { Listed = s 'l' val V = s 'v' } Box { Inner } CLSID { Inner }";
  ASSERT_EQ(S_OK, Install(body));
  SetString(HKEY_CURRENT_USER, At("Owner\\Foreign"), "F", "f");
  CreateKey(HKEY_CURRENT_USER, At("Box\\Box\\Deeper"));
  CreateKey(HKEY_CURRENT_USER, At("Box\\Stranger"));
  CreateKey(HKEY_CURRENT_USER, At("CLSID\\CLSID"));
  EXPECT_EQ(S_OK, Remove(body));
  EXPECT_EQ((Tree{{"", {}},
                  {"Owner", {{"", Text("o")}}},  // its listed value V is gone
                  {"Owner\\Foreign", {{"F", Text("f")}}},
                  {"Box", {}},
                  {"Box\\Stranger", {}},
                  {"CLSID", {}},
                  {"CLSID\\CLSID", {}}}),
            Scratch());
}

TEST_F(ScriptRemove, KeysAlreadyGoneDoNotStopTheirSiblings) {
  const std::string body = "P { A B = s 'b' { val X = s 'x' } C { D } E }";
  ASSERT_EQ(S_OK, Install(body));
  DeleteTree(HKEY_CURRENT_USER, At("P\\A"));
  DeleteTree(HKEY_CURRENT_USER, At("P\\C"));
  // Without its named value B goes at once, and its block is read over.
  devlore::UniqueRegistryKey b;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, At("P\\B").c_str(), 0, KEY_ALL_ACCESS, b.Receive()));
  RegDeleteValueA(b.Get(), "X");
  b.Reset();
  EXPECT_EQ(S_OK, Remove(body));
  EXPECT_EQ(kEmpty, Scratch());
}

TEST_F(ScriptRemove, NestingDepthIsBounded) {
  auto nested = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "K { ";
    for (int i = 0; i < levels; ++i) text += "} ";
    return text;
  };
  const int allowed = kScriptMaxBlockDepth - 3;  // the scratch wrapper takes three levels
  EXPECT_EQ(S_OK, Install(nested(allowed)));
  EXPECT_EQ(static_cast<size_t>(allowed + 1), Scratch().size());
  EXPECT_EQ(S_OK, Remove(nested(allowed)));
  // One level more fails, and the rollback still takes back every level.
  EXPECT_EQ(DISP_E_EXCEPTION, Install(nested(allowed + 1)));
  EXPECT_EQ(DISP_E_EXCEPTION, Remove(nested(allowed + 1)));
  std::string hostile;
  for (int i = 0; i < 200000; ++i) hostile += "K {\n";
  EXPECT_EQ(DISP_E_EXCEPTION, Install(hostile));
  EXPECT_EQ(kEmpty, Scratch());
}

}  // namespace
}  // namespace devlore::regtest
