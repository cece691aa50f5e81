// The text routines against plain reference versions: grouped decimals, byte
// sizes, bounded copy and append (into buffers of exactly their stated size,
// so a byte written past the end shows), byte-exact name equality, and the
// conversion of lines into BSTRs (which must give back every string and task
// block it took).
// Input: 8 bytes of a number, 1 byte of a buffer size, then lines of text.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/same_text.h"
#include "model/text.h"
#include "support/stand_ins.h"

namespace {

std::string GroupedReference(uint64_t value) {
  std::string digits = std::to_string(value), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// The whole part is printed as a 32-bit number, as "%lu" is on the platform;
// inputs stay below 2^62 bytes, where it fits.
std::string ByteSizeReference(uint64_t value) {
  static const char* const kUnits[] = {"KB", "MB", "GB"};
  int unit = 2;
  while (unit >= 0 && value < (1ull << (10 * (unit + 1)))) --unit;
  if (unit < 0) return "";
  const uint64_t scale = 1ull << (10 * (unit + 1));
  const uint64_t tenth = (value % scale) * 10 / scale;
  return std::to_string(value / scale) + "." + std::to_string(tenth) + " " + kUnits[unit];
}

bool SameTextReference(const std::string& a, const std::string& b, bool fold) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (fold && x >= 'A' && x <= 'Z') x += 32;
    if (fold && y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

void CheckCopyAndAppend(const std::string& text, const std::string& head, uint32_t size) {
  std::vector<char> buffer(size ? size : 1);
  char* out = buffer.data();
  if (size == 0) {
    FUZZ_CHECK(devlore::CopyText(out, 0, text.c_str()) == 0);
    return;
  }
  const bool fits = text.size() < size;
  FUZZ_CHECK(devlore::CopyText(out, size, text.c_str()) == (fits ? 1 : 0));
  FUZZ_CHECK(std::string(out) == text.substr(0, size - 1));

  // Appending to a text already in the buffer, or to a buffer with no terminator.
  const bool headFits = head.size() < size;
  if (headFits) {
    memcpy(out, head.c_str(), head.size() + 1);
  } else {
    memset(out, 'x', size);
  }
  const int appended = devlore::AppendText(out, size, text.c_str());
  if (!headFits) {
    FUZZ_CHECK(appended == 0);
    for (uint32_t i = 0; i < size; ++i) FUZZ_CHECK(out[i] == 'x');
    return;
  }
  const std::string whole = head + text;
  FUZZ_CHECK(appended == (whole.size() < size ? 1 : 0));
  FUZZ_CHECK(std::string(out) == whole.substr(0, size - 1));
}

void CheckConversions(const std::vector<std::string>& lines) {
  std::vector<char*> texts;
  for (const std::string& line : lines) texts.push_back(const_cast<char*>(line.c_str()));
  std::vector<BSTR> strings(lines.size(), nullptr);
  // Twice: the second run frees what the first one made.
  for (int run = 0; run < 2; ++run) {
    FUZZ_CHECK(devlore::ConvertElementStrings(texts.data(), strings.data(), static_cast<uint32_t>(texts.size())) == 1);
    for (size_t i = 0; i < texts.size(); ++i) {
      FUZZ_CHECK(strings[i] != nullptr && SysStringLen(strings[i]) == lines[i].size());
      for (size_t c = 0; c < lines[i].size(); ++c)
        FUZZ_CHECK(strings[i][c] == static_cast<unsigned char>(lines[i][c]));
      FUZZ_CHECK(strings[i][lines[i].size()] == 0);
    }
    FUZZ_CHECK(standin::LiveBstrs() == static_cast<long>(lines.size()));
  }
  for (BSTR s : strings) SysFreeString(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  uint64_t value;
  memcpy(&value, data, 8);
  const uint32_t bufferSize = data[8];
  std::vector<std::string> lines(1);
  for (size_t i = 9; i < size && lines.size() < 64; ++i) {
    if (data[i] == '\n') {
      lines.emplace_back();
    } else if (data[i] != 0) {
      lines.back() += static_cast<char>(data[i]);
    }
  }

  char grouped[27];
  devlore::GroupThousands(value, grouped);
  FUZZ_CHECK(grouped == GroupedReference(value));

  const uint64_t bytes = value >> 2;  // below 2^62
  char sized[64];
  memset(sized, 0, sizeof sized);
  const std::string expected = ByteSizeReference(bytes);
  FUZZ_CHECK(devlore::FormatByteSize(bytes, sized) == (expected.empty() ? 0 : 1));
  FUZZ_CHECK(sized == expected);

  const std::string& first = lines[0];
  const std::string& second = lines.size() > 1 ? lines[1] : lines[0];
  CheckCopyAndAppend(first, second, bufferSize);
  for (bool fold : {false, true})
    FUZZ_CHECK(devlore::SameText(first.c_str(), second.c_str(), fold) == SameTextReference(first, second, fold));
  FUZZ_CHECK(!devlore::SameText(first.c_str(), nullptr));

  wchar_t* wide = nullptr;
  FUZZ_CHECK(devlore::AnsiToWide(first.c_str(), &wide) == 0 && wide);
  for (size_t c = 0; c <= first.size(); ++c) FUZZ_CHECK(wide[c] == static_cast<unsigned char>(first.c_str()[c]));
  CoTaskMemFree(wide);

  CheckConversions(lines);
  FUZZ_CHECK(standin::LiveBstrs() == 0 && standin::LiveTaskBlocks() == 0);
  return 0;
}
