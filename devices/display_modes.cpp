#include "devices/display_modes.h"

#include <windows.h>

#include <new>

#include "base/unique_array.h"
#include "model/same_text.h"

namespace devlore {
namespace {

// Marks a record whose resolution is listed again further on.
constexpr uint32_t kDuplicateMark = 0xFFFFFFFFu;
constexpr uint32_t kLargestKey = 0x7FFFFFFFu;

uint32_t KeyOf(const ListedResolution& record) { return static_cast<uint32_t>(record.resolutionSortKey); }

// The working list shared by the two distinct-resolution procedures: every
// listed name with its key, sorted by key, each distinct name kept once (its
// last record in the sorted order). Empty when nothing is listed or no memory
// was left.
class DistinctResolutions {
 public:
  DistinctResolutions(const ModeEntry* rows, uint32_t rowCount) {
    uint32_t total = 0;
    for (uint32_t r = 0; r < rowCount; ++r) total += rows[r].resolutionCount;
    if (total == 0) return;
    records_ = UniqueArray<ListedResolution>::Allocate(total);
    if (!records_) return;
    for (uint32_t r = 0; r < rowCount; ++r) {
      for (uint32_t i = 0; i < rows[r].resolutionCount; ++i) {
        ListedResolution& record = records_[count_++];
        record.name = rows[r].resolutions[i];
        record.resolutionSortKey = ResolutionSortKey(record.name);
      }
    }
    if (count_ > 1) {
      Sort();
      MarkDuplicates();
    }
  }

  uint32_t Count() const { return count_; }
  bool Kept(uint32_t index) const { return KeyOf(records_[index]) != kDuplicateMark; }
  const char* Name(uint32_t index) const { return records_[index].name; }

 private:
  // Insertion sort that moves a record back only past records of a strictly
  // greater key, so records of equal key keep their table order.
  void Sort() {
    for (uint32_t i = 1; i < count_; ++i) {
      ListedResolution moving = records_[i];
      uint32_t j = i;
      while (j > 0 && KeyOf(records_[j - 1]) > KeyOf(moving)) {
        records_[j] = records_[j - 1];
        --j;
      }
      records_[j] = moving;
    }
  }

  // Within each run of equal keys, a record is a duplicate when a later record
  // of the run holds the same name. Names that merely share a key (possible only
  // for names not of the form width,height) stay listed each on their own.
  void MarkDuplicates() {
    for (uint32_t i = 0; i + 1 < count_; ++i) {
      const uint32_t key = KeyOf(records_[i]);
      for (uint32_t j = i + 1; j < count_ && KeyOf(records_[j]) == key; ++j) {
        if (SameText(records_[i].name, records_[j].name)) {
          records_[i].resolutionSortKey = static_cast<int32_t>(kDuplicateMark);
          break;
        }
      }
    }
  }

  UniqueArray<ListedResolution> records_;
  uint32_t count_ = 0;
};

}  // namespace

void ClearModeTable(ModeEntry* rows, uint32_t& count) {
  for (uint32_t r = 0; r < count && r < kMaxModeRows; ++r) {
    for (uint32_t i = 0; i < rows[r].resolutionCount && i < kMaxResolutionsPerRow; ++i) {
      delete[] rows[r].resolutions[i];
      rows[r].resolutions[i] = nullptr;
    }
    rows[r].resolutionCount = 0;
    rows[r].depth = 0;
  }
  count = 0;
}

ModeEntry* AddModeRow(ModeEntry* rows, uint32_t& count, const char* depthName) {
  if (count >= kMaxModeRows) return nullptr;
  ModeEntry& row = rows[count++];
  row.depth = ParseDepth(depthName);
  row.resolutionCount = 0;
  for (uint32_t i = 0; i < kMaxResolutionsPerRow; ++i) row.resolutions[i] = nullptr;
  return &row;
}

bool AddResolution(ModeEntry& row, const char* name) {
  if (row.resolutionCount >= kMaxResolutionsPerRow) return false;
  char* copy = new (std::nothrow) char[kLineSize]();
  if (!copy) return false;
  CopyText(copy, kLineSize, name);
  row.resolutions[row.resolutionCount++] = copy;
  return true;
}

uint32_t ParseDepth(const char* name) {
  const char* p = name;
  while (*p == ' ' || *p == '\t') ++p;
  uint32_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    const uint32_t digit = static_cast<uint32_t>(*p - '0');
    if (value > (0xFFFFFFFFu - digit) / 10) return 0xFFFFFFFFu;
    value = value * 10 + digit;
  }
  return value;
}

int32_t ResolutionSortKey(const char* name) {
  bool commaSkipped = false;
  uint32_t value = 0;
  for (const char* p = name; *p; ++p) {
    if (*p == ',' && !commaSkipped) {
      commaSkipped = true;
      continue;
    }
    if (*p < '0' || *p > '9') break;
    const uint32_t digit = static_cast<uint32_t>(*p - '0');
    if (value > (kLargestKey - digit) / 10) return static_cast<int32_t>(kLargestKey);
    value = value * 10 + digit;
  }
  return static_cast<int32_t>(value);
}

uint32_t CountDistinctResolutions(const ModeEntry* rows, uint32_t count) {
  DistinctResolutions list(rows, count);
  uint32_t distinct = 0;
  for (uint32_t i = 0; i < list.Count(); ++i) {
    if (list.Kept(i)) ++distinct;
  }
  return distinct;
}

uint32_t ListDistinctResolutions(const ModeEntry* rows, uint32_t count, char* const* names,
                                 uint32_t capacity) {
  DistinctResolutions list(rows, count);
  uint32_t written = 0;
  for (uint32_t i = 0; i < list.Count() && written < capacity; ++i) {
    if (list.Kept(i)) CopyText(names[written++], kLineSize, list.Name(i));
  }
  return written;
}

uint32_t LargestListedDepth(const ModeEntry* rows, uint32_t count, const char* name) {
  uint32_t largest = 0;
  for (uint32_t r = 0; r < count; ++r) {
    for (uint32_t i = 0; i < rows[r].resolutionCount; ++i) {
      if (SameText(rows[r].resolutions[i], name) && rows[r].depth > largest) largest = rows[r].depth;
    }
  }
  return largest;
}

void CommaToX(char* text) {
  for (char* p = text; *p; ++p) {
    if (*p == ',') {
      *p = 'x';
      return;
    }
  }
}

}  // namespace devlore
