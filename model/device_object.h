#pragma once
// The base of every device kind. Native callers receive pointers to these
// objects through GetPointerToDeviceObjectArray and rely on the layout:
//   - the table of virtual functions starts with Format, then Collect (both
//     take only the object and return a 32-bit success flag); the destructor
//     comes after them, so no compiler places anything before those two slots;
//   - after the table pointer come the fields below, in this order.
#include <windows.h>
#include <oleauto.h>
#include <stdint.h>

namespace devlore {

class DeviceObject {
 public:
  // Builds every category's element strings from the collected values. Sets
  // `formatted` whatever its outcome.
  virtual int Format() = 0;
  // Gathers the raw values from the platform.
  virtual int Collect() = 0;
  virtual ~DeviceObject();

  DeviceObject(const DeviceObject&) = delete;
  DeviceObject& operator=(const DeviceObject&) = delete;

  // Collects until Collect succeeds once, formats exactly once, and hands out
  // the BSTR table of one category. True when both steps succeeded; the
  // table is for use only then. The index must be below categoryCount.
  bool GetCategory(uint32_t categoryIndex, BSTR** table);

  BSTR** categoryStrings;   // per category, one BSTR per element (made by Format)
  int32_t collected;        // Collect has succeeded once
  int32_t formatted;        // Format has run once
  uint32_t categoryCount;
  uint32_t* elementCounts;  // categoryCount entries
  BSTR typeName;            // the device type text shown to clients

 protected:
  // Kinds are made by value-initialisation (new (std::nothrow) Kind()), which
  // zero-fills every field before any constructor runs.
  DeviceObject() = default;

  // Sets the type text and the category shape. With allocateStrings the outer
  // array of categoryStrings gets one (null) slot per category. False when
  // an allocation failed; the object is then only fit to be destroyed.
  bool InitializeBase(const char* typeText, uint32_t categories, const uint32_t* counts, bool allocateStrings);

  // Finishes a device that a kind's Create has just made: InitializeBase, and
  // the device is destroyed when that fails. Returns the device, or null when
  // it was null or could not be initialised.
  static DeviceObject* Initialized(DeviceObject* device, const char* typeText, uint32_t categories,
                                   const uint32_t* counts, bool allocateStrings);

  // Allocates the outer array of categoryStrings (one null slot per category).
  bool AllocateCategorySlots();

  // Releases the strings of one category (each BSTR, then its array).
  void ReleaseCategoryStrings(uint32_t category);
};

// A category's display lines: one 260-byte ANSI buffer per element, owned here.
class ElementLines {
 public:
  ElementLines() = default;
  ~ElementLines() { Reset(); }
  ElementLines(const ElementLines&) = delete;
  ElementLines& operator=(const ElementLines&) = delete;

  // Makes count zero-filled buffers, freeing any earlier ones. False on failure.
  bool Allocate(uint32_t count);
  void Reset();

  char* operator[](uint32_t index) const { return lines_[index]; }
  char* const* Lines() const { return lines_; }
  uint32_t Count() const { return count_; }

 private:
  char** lines_ = nullptr;  // count_ pointers into text_
  char* text_ = nullptr;    // the buffers, one block of count_ * 260 bytes
  uint32_t count_ = 0;
};

// The Format frame shared by the one-category kinds: the caller has written the
// lines; this makes the category's BSTR array, converts the lines into it and
// sets `formatted`. Returns the conversion's result.
bool ConvertSingleCategory(DeviceObject& device, const ElementLines& lines);

// The start of that frame: makes the category's empty lines. On failure sets
// `formatted` (the strings stay absent for good) and returns false.
bool StartSingleCategory(DeviceObject& device, ElementLines& lines);

// The whole frame for kinds whose lines are ready-made texts: one text per
// element (a null text leaves its line empty), each cut to the line size.
bool FormatSingleCategory(DeviceObject& device, ElementLines& lines, const char* const* texts);

// The type text of a logical disk device, "Drive %C:" for drive index 0..25.
void FormatDriveTypeText(int32_t driveIndex, char* out);

}  // namespace devlore
