#pragma once
// The control's persistent properties and their stream format: a 32-bit
// version (0x300), then one record per named entry of the property set in
// table order. A member entry's record is the member's bytes as they are.
#include <windows.h>
#include <objidl.h>
#include <oaidl.h>

namespace devlore {

// The persisted members of the control: the current extent in HIMETRIC.
struct ControlProperties {
  SIZEL currentExtent;
};

// One row of a property set. A null page class ends the table; an entry without
// a name is skipped; a member size of 0 marks a dispatch entry.
struct PropertyEntry {
  const wchar_t* name;
  DISPID dispatchId;
  const CLSID* pageClass;
  const IID* dispatchInterface;
  DWORD memberOffset;  // within ControlProperties
  DWORD memberSize;
  VARTYPE type;
};

constexpr DWORD kPropertyStreamVersion = 0x300;

// The control's table: "_cx" and "_cy", then the end row.
const PropertyEntry* ControlPropertySet();

// A dispatch entry's record is a tagged value: the 16-bit automation type, then
// 1, 2, 4 or 8 bytes for numbers, an object written with OleSaveToStream (a null
// object as a null class identifier), or for every other type the value as
// text: a 32-bit byte count including the terminator (0 for a null string)
// and that many bytes of UTF-16. Text payloads longer than this are refused.
constexpr DWORD kMaxTextPayload = 0x10000;
// At most this many named entries per table.
constexpr DWORD kMaxPropertyEntries = 16;

// Writes the version and the records. Stops at the first failed write and
// returns its result; a short write gives STG_E_WRITEFAULT. Dispatch entries
// are read from control through their dispatch interface (E_FAIL when the
// interface or the property cannot be had).
[[nodiscard]] HRESULT SaveProperties(IStream* stream, const PropertyEntry* table, const ControlProperties& properties,
                       IUnknown* control);
// The same for tables of member entries only (a dispatch entry gives
// E_NOTIMPL), without the tagged-value code: what the control itself needs.
[[nodiscard]] HRESULT SaveMemberProperties(IStream* stream, const PropertyEntry* table, const ControlProperties& properties);

// Reads every record of the stream before anything is applied, so a damaged
// stream changes nothing: a version above 0x300, a stream that ends inside a
// field, a text length that is odd, too short, too long or whose text is not
// terminated all give E_FAIL; a read error is returned as it is. Then member
// records are stored and dispatch entries are put through control, in table
// order; a failed put ends the load with E_FAIL.
[[nodiscard]] HRESULT LoadProperties(IStream* stream, const PropertyEntry* table, ControlProperties& properties,
                       IUnknown* control);
[[nodiscard]] HRESULT LoadMemberProperties(IStream* stream, const PropertyEntry* table, ControlProperties& properties);

}  // namespace devlore
