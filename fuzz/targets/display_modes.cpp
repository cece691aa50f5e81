// The display mode table and its distinct-resolution lists against a plain
// reference: distinct names by bytes, ascending by key (first comma removed,
// leading digits, capped at the largest signed 32-bit value), names of equal
// key in the order of their last listing; the row and resolution limits; the
// depth parse; the largest depth listing a name; no name leaked on clear.
// Input lines: "#name" starts a depth row, any other line is a resolution of
// the current row; the first byte sets the capacity of the list.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devices/display_modes.h"
#include "support/stand_ins.h"

namespace {

int64_t SortKeyReference(std::string name) {
  const size_t comma = name.find(',');
  if (comma != std::string::npos) name.erase(comma, 1);
  int64_t value = 0;
  for (char c : name) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > 0x7FFFFFFF) return 0x7FFFFFFF;
  }
  return value;
}

uint32_t DepthReference(const std::string& name) {
  size_t i = name.find_first_not_of(" \t");
  uint64_t value = 0;
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
    value = value * 10 + static_cast<uint64_t>(name[i] - '0');
    if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(value);
}

struct Row {
  uint32_t depth;
  std::vector<std::string> names;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t capacity = data[0] % 80;
  std::vector<std::string> lines(1);
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == '\n') {
      lines.emplace_back();
    } else if (data[i] != 0) {
      lines.back() += static_cast<char>(data[i]);
    }
  }

  devlore::ModeEntry table[devlore::kMaxModeRows];
  uint32_t count = 0;
  devlore::ModeEntry* current = nullptr;
  std::vector<Row> rows;
  for (const std::string& line : lines) {
    if (!line.empty() && line[0] == '#') {
      current = devlore::AddModeRow(table, count, line.c_str() + 1);
      FUZZ_CHECK((current != nullptr) == (rows.size() < devlore::kMaxModeRows));
      if (current) {
        rows.push_back({DepthReference(line.substr(1)), {}});
        FUZZ_CHECK(current->depth == rows.back().depth && current->resolutionCount == 0);
      }
    } else if (current) {
      const bool room = rows.back().names.size() < devlore::kMaxResolutionsPerRow;
      FUZZ_CHECK(devlore::AddResolution(*current, line.c_str()) == (room ? 1 : 0));
      if (room) rows.back().names.push_back(line.substr(0, devlore::kLineSize - 1));
    }
  }
  FUZZ_CHECK(count == rows.size());

  // Reference: each distinct name with its key and last listing.
  struct Listed {
    std::string name;
    int64_t key;
    size_t last;
  };
  std::vector<Listed> distinct;
  size_t position = 0;
  for (const Row& row : rows) {
    for (const std::string& name : row.names) {
      FUZZ_CHECK(devlore::ResolutionSortKey(name.c_str()) == SortKeyReference(name));
      auto found = std::find_if(distinct.begin(), distinct.end(), [&](const Listed& l) { return l.name == name; });
      if (found == distinct.end()) {
        distinct.push_back({name, SortKeyReference(name), position});
      } else {
        found->last = position;
      }
      ++position;
    }
  }
  std::sort(distinct.begin(), distinct.end(), [](const Listed& a, const Listed& b) {
    return a.key != b.key ? a.key < b.key : a.last < b.last;
  });

  FUZZ_CHECK(devlore::CountDistinctResolutions(table, count) == distinct.size());
  std::vector<std::vector<char>> buffers(capacity, std::vector<char>(devlore::kLineSize));
  std::vector<char*> names;
  for (auto& b : buffers) names.push_back(b.data());
  const uint32_t written = devlore::ListDistinctResolutions(table, count, names.data(), capacity);
  FUZZ_CHECK(written == (std::min<size_t>)(capacity, distinct.size()));
  for (uint32_t i = 0; i < written; ++i) FUZZ_CHECK(distinct[i].name == names[i]);

  // The largest depth of the rows listing a name, for every listed name and one
  // that may be listed nowhere.
  std::vector<std::string> probes;
  for (const Listed& l : distinct) probes.push_back(l.name);
  probes.push_back(lines.back() + "!");
  for (const std::string& probe : probes) {
    uint32_t largest = 0;
    for (const Row& row : rows)
      if (std::find(row.names.begin(), row.names.end(), probe) != row.names.end()) largest = (std::max)(largest, row.depth);
    FUZZ_CHECK(devlore::LargestListedDepth(table, count, probe.c_str()) == largest);

    std::vector<char> text(probe.begin(), probe.end());
    text.push_back('\0');
    devlore::CommaToX(text.data());
    std::string expected = probe;
    const size_t comma = expected.find(',');
    if (comma != std::string::npos) expected[comma] = 'x';
    FUZZ_CHECK(expected == text.data());
  }

  devlore::ClearModeTable(table, count);
  FUZZ_CHECK(count == 0);
  FUZZ_CHECK(devlore::CountDistinctResolutions(table, count) == 0);
  return 0;
}
