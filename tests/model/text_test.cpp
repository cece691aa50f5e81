#include "model/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/handles.h"
#include "tests/support/registry_fixture.h"

namespace devlore {
namespace {

std::string Grouped(uint64_t value) {
  char buffer[32];
  std::memset(buffer, 'X', sizeof buffer);
  GroupThousands(value, buffer);
  return buffer;
}

TEST(GroupThousands, InsertsSeparatorsEveryThreeDigits) {
  EXPECT_EQ("0", Grouped(0));
  EXPECT_EQ("999", Grouped(999));
  EXPECT_EQ("1,000", Grouped(1000));
  EXPECT_EQ("100,000", Grouped(100000));
  EXPECT_EQ("1,234,567", Grouped(1234567));
  EXPECT_EQ("67,108,864", Grouped(67108864));
  EXPECT_EQ("69,206,016", Grouped(69206016));
  EXPECT_EQ("18,446,744,073,709,551,615", Grouped(18446744073709551615ull));
}

TEST(GroupThousands, WritesOnlyTheGroupedTextAndItsTerminator) {
  char buffer[32];
  std::memset(buffer, 'X', sizeof buffer);
  GroupThousands(1234, buffer);
  EXPECT_STREQ("1,234", buffer);
  EXPECT_EQ('X', buffer[6]);  // nothing written past length + 1
}

std::string ByteSize(uint64_t value) {
  char out[64];
  std::memset(out, '#', sizeof out);
  out[63] = '\0';
  if (!FormatByteSize(value, out)) return "<none:" + std::string(out, 3) + ">";
  return out;
}

TEST(FormatByteSize, ChoosesTheUnitAndTruncatesTheTenth) {
  EXPECT_EQ("1.5 KB", ByteSize(1536));
  EXPECT_EQ("1.0 KB", ByteSize(1024));
  EXPECT_EQ("1023.9 KB", ByteSize(1048575));
  EXPECT_EQ("1.0 MB", ByteSize(1048576));
  EXPECT_EQ("64.0 MB", ByteSize(67108864));
  EXPECT_EQ("11.7 MB", ByteSize(12345678));
  EXPECT_EQ("1.0 GB", ByteSize(1073741824));
  EXPECT_EQ("2.0 GB", ByteSize(2147483648ull));
  EXPECT_EQ("4.0 KB", ByteSize(4096));
  // Totals of large drives: the whole units and the first decimal, truncated.
  EXPECT_EQ("1.9 GB", ByteSize(2147483647ull));
  EXPECT_EQ("7.9 GB", ByteSize(8589934591ull));
  EXPECT_EQ("127.9 GB", ByteSize(137438953471ull));
  EXPECT_EQ("8192.0 GB", ByteSize(8796093022208ull));
}

TEST(FormatByteSize, WritesNothingBelowOneKilobyte) {
  EXPECT_EQ("<none:###>", ByteSize(1023));
  EXPECT_EQ("<none:###>", ByteSize(512));
  EXPECT_EQ("<none:###>", ByteSize(0));
  EXPECT_EQ(0, FormatByteSize(4096, nullptr));
}

// AnsiToWide with its copy held by an owner from the start.
HRESULT OwnedWide(const char* text, UniqueTaskMemory& copy) {
  wchar_t* wide = nullptr;
  const HRESULT result = AnsiToWide(text, &wide);
  copy.Reset(wide);
  return result;
}

const wchar_t* Wide(const UniqueTaskMemory& copy) { return static_cast<const wchar_t*>(copy.Get()); }

TEST(AnsiToWide, ConvertsWithTheTerminator) {
  UniqueTaskMemory copy;
  ASSERT_EQ(S_OK, OwnedWide("Drive C:", copy));
  ASSERT_NE(nullptr, Wide(copy));
  EXPECT_STREQ(L"Drive C:", Wide(copy));

  ASSERT_EQ(S_OK, OwnedWide("", copy));
  ASSERT_NE(nullptr, Wide(copy));
  EXPECT_EQ(L'\0', Wide(copy)[0]);

  wchar_t* wide = reinterpret_cast<wchar_t*>(1);
  EXPECT_EQ(S_OK, AnsiToWide(nullptr, &wide));
  EXPECT_EQ(nullptr, wide);
}

TEST(AnsiToWide, ConvertsTheWesternPlusMinusSign) {
  ASSERT_EQ(1252u, GetACP()) << "the test prefix must run under the Western code page";
  UniqueTaskMemory copy;
  ASSERT_EQ(S_OK, OwnedWide("233 MHz (\xB1 3MHz)", copy));
  EXPECT_STREQ(L"233 MHz (\u00B1 3MHz)", Wide(copy));
}

TEST(ConvertElementStrings, MakesOneBstrPerLine) {
  char first[] = "Memory Summary";
  char second[] = "";
  char* lines[] = {first, second};
  BSTR strings[2] = {};
  const int converted = ConvertElementStrings(lines, strings, 2);
  const UniqueBstr owners[] = {UniqueBstr(strings[0]), UniqueBstr(strings[1])};
  ASSERT_EQ(1, converted);
  EXPECT_STREQ(L"Memory Summary", strings[0]);
  ASSERT_NE(nullptr, strings[1]);
  EXPECT_EQ(0u, SysStringLen(strings[1]));
}

TEST(ConvertElementStrings, ANullLineEndsTheConversionWithFailure) {
  // AnsiToWide of null succeeds with a null copy; SysAllocString(null) is null.
  char first[] = "one";
  char third[] = "three";
  char* lines[] = {first, nullptr, third};
  BSTR strings[3] = {};
  EXPECT_EQ(0, ConvertElementStrings(lines, strings, 3));
  const UniqueBstr owners[] = {UniqueBstr(strings[0]), UniqueBstr(strings[1]), UniqueBstr(strings[2])};
  EXPECT_STREQ(L"one", strings[0]);
  EXPECT_EQ(nullptr, strings[1]);
  EXPECT_EQ(nullptr, strings[2]);
}

class ReadRegistryValueTest : public ::testing::Test {
 protected:
  const std::string path_ = "Software\\DevloreTest\\Values";
  void TearDown() override { test::DeleteTree(HKEY_CURRENT_USER, "Software\\DevloreTest"); }
};

TEST_F(ReadRegistryValueTest, ReadsATextValue) {
  test::SetString(HKEY_CURRENT_USER, path_, "BIOSName", "XYZ BIOS");
  char buffer[kLineSize] = {};
  ASSERT_EQ(1, ReadRegistryValue(HKEY_CURRENT_USER, path_.c_str(), "BIOSName", buffer, kLineSize, REG_SZ));
  EXPECT_STREQ("XYZ BIOS", buffer);
}

TEST_F(ReadRegistryValueTest, RefusesMissingPiecesAndNullArguments) {
  test::SetString(HKEY_CURRENT_USER, path_, "Present", "x");
  char buffer[kLineSize] = {};
  EXPECT_EQ(0, ReadRegistryValue(HKEY_CURRENT_USER, path_.c_str(), "Absent", buffer, kLineSize, REG_SZ));
  EXPECT_EQ(0, ReadRegistryValue(HKEY_CURRENT_USER, "Software\\DevloreTest\\Nowhere", "Present", buffer,
                                 kLineSize, REG_SZ));
  EXPECT_EQ(0, ReadRegistryValue(HKEY_CURRENT_USER, path_.c_str(), nullptr, buffer, kLineSize, REG_SZ));
  EXPECT_EQ(0, ReadRegistryValue(HKEY_CURRENT_USER, nullptr, "Present", buffer, kLineSize, REG_SZ));
  EXPECT_EQ(0, ReadRegistryValue(nullptr, path_.c_str(), "Present", buffer, kLineSize, REG_SZ));
  EXPECT_EQ(0, ReadRegistryValue(HKEY_CURRENT_USER, path_.c_str(), "Present", nullptr, kLineSize, REG_SZ));
}

TEST_F(ReadRegistryValueTest, ValuesAtAndBeyondTheBufferSize) {
  char buffer[kLineSize + 8];
  // 259 characters and a terminator fit exactly.
  test::SetString(HKEY_CURRENT_USER, path_, "Fits", std::string(259, 'a'));
  std::memset(buffer, 'Z', sizeof buffer);
  ASSERT_EQ(1, ReadRegistryValue(HKEY_CURRENT_USER, path_.c_str(), "Fits", buffer, kLineSize, REG_SZ));
  EXPECT_EQ(259u, std::strlen(buffer));
  EXPECT_EQ('Z', buffer[kLineSize]);

  // 260 characters do not fit with their terminator.
  test::SetString(HKEY_CURRENT_USER, path_, "TooLong", std::string(260, 'b'));
  std::memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(0, ReadRegistryValue(HKEY_CURRENT_USER, path_.c_str(), "TooLong", buffer, kLineSize, REG_SZ));
  EXPECT_EQ('Z', buffer[kLineSize]);

  // 260 bytes of binary data without any terminator are refused as text.
  std::string raw(260, 'c');
  test::SetRaw(HKEY_CURRENT_USER, path_, "RawFull", REG_BINARY, raw.data(), 260);
  EXPECT_EQ(0, ReadRegistryValue(HKEY_CURRENT_USER, path_.c_str(), "RawFull", buffer, kLineSize, REG_SZ));

  // A short binary value is copied and terminated.
  test::SetRaw(HKEY_CURRENT_USER, path_, "RawShort", REG_BINARY, "abc", 3);
  std::memset(buffer, 'Z', sizeof buffer);
  ASSERT_EQ(1, ReadRegistryValue(HKEY_CURRENT_USER, path_.c_str(), "RawShort", buffer, kLineSize, REG_SZ));
  EXPECT_STREQ("abc", buffer);
}

}  // namespace
}  // namespace devlore
