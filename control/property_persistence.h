#pragma once
// The control's persistent properties and their stream format: a 32-bit
// version (0x300), then one record per named entry of the property set in
// table order. A member entry's record is the member's bytes as they are.
// (The table keeps the layout of a general property set, whose dispatch
// entries would be read and written through the control's dispatch interface;
// the control has none, so no code for them is carried.)
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

// At most this many named entries per table.
constexpr DWORD kMaxPropertyEntries = 16;

// Writes the version and the records. Stops at the first failed write and
// returns its result; a short write gives STG_E_WRITEFAULT. The control's
// properties are all members: a dispatch entry gives E_NOTIMPL.
[[nodiscard]] HRESULT SaveMemberProperties(IStream* stream, const PropertyEntry* table,
                                           const ControlProperties& properties);

// Reads every record of the stream before anything is applied, so a damaged
// stream changes nothing: a version above 0x300 or a stream that ends inside a
// field gives E_FAIL; a read error is returned as it is; a dispatch entry gives
// E_NOTIMPL. Then the member records are stored in table order.
[[nodiscard]] HRESULT LoadMemberProperties(IStream* stream, const PropertyEntry* table,
                                           ControlProperties& properties);

}  // namespace devlore
