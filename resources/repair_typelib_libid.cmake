# Makes sure that the library identifier stored in a compiled type library is
# the one its source declares. The widl of some MinGW releases overwrites the
# last byte of the library's GUID entry while it adds an interface that the
# library only refers to, so the type library would register under a wrong
# identifier. The entry is rewritten in place from the declared value; a type
# library that is already right is left as it is.
# Usage: cmake -DTYPELIB=file.tlb -DLIBID=XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX -P repair_typelib_libid.cmake
file(READ "${TYPELIB}" hex HEX)

# A little-endian 32-bit field of the file.
function(read_int32 offset out)
  math(EXPR start "${offset} * 2")
  string(SUBSTRING "${hex}" ${start} 8 bytes)
  string(REGEX REPLACE "^(..)(..)(..)(..)$" "\\4\\3\\2\\1" swapped "${bytes}")
  math(EXPR value "0x${swapped}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

string(SUBSTRING "${hex}" 0 8 magic)
if(NOT magic STREQUAL "4d534654")
  message(FATAL_ERROR "${TYPELIB} is not a compiled type library")
endif()
read_int32(8 guid_position)        # the library's entry in the GUID table
read_int32(20 varflags)
read_int32(32 typeinfo_count)
# The segment directory follows the header, the type information offsets and,
# with a help DLL, one more field; the GUID table is its sixth segment.
math(EXPR directory "84 + ${typeinfo_count} * 4")
math(EXPR has_help_dll "${varflags} & 256")
if(has_help_dll)
  math(EXPR directory "${directory} + 4")
endif()
math(EXPR guid_segment_field "${directory} + 5 * 16")
read_int32(${guid_segment_field} guid_table)
math(EXPR entry "${guid_table} + ${guid_position}")

# The declared identifier in the file's byte order: the first three fields
# little-endian, the last eight bytes as written.
string(TOLOWER "${LIBID}" id)
if(NOT id MATCHES "^([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])-([0-9a-f][0-9a-f][0-9a-f][0-9a-f])-([0-9a-f][0-9a-f][0-9a-f][0-9a-f])-([0-9a-f][0-9a-f][0-9a-f][0-9a-f])-([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])$")
  message(FATAL_ERROR "bad library identifier ${LIBID}")
endif()
set(fields "${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}" "${CMAKE_MATCH_3}" "${CMAKE_MATCH_4}${CMAKE_MATCH_5}")
list(GET fields 0 data1)
list(GET fields 1 data2)
list(GET fields 2 data3)
list(GET fields 3 data4)
string(REGEX REPLACE "^(..)(..)(..)(..)$" "\\4\\3\\2\\1" data1 "${data1}")
string(REGEX REPLACE "^(..)(..)$" "\\2\\1" data2 "${data2}")
string(REGEX REPLACE "^(..)(..)$" "\\2\\1" data3 "${data3}")
set(expected "${data1}${data2}${data3}${data4}")

math(EXPR entry_start "${entry} * 2")
string(SUBSTRING "${hex}" ${entry_start} 32 stored)
if(stored STREQUAL expected)
  return()
endif()
# Only the damage described above is repaired: the first fifteen bytes must match.
string(SUBSTRING "${stored}" 0 30 stored_head)
string(SUBSTRING "${expected}" 0 30 expected_head)
if(NOT stored_head STREQUAL expected_head)
  message(FATAL_ERROR "${TYPELIB}: library identifier entry at ${entry} holds ${stored}, expected ${expected}")
endif()
string(SUBSTRING "${expected}" 30 2 last)
math(EXPR last_value "0x${last}")
math(EXPR last_octal_2 "${last_value} / 64")
math(EXPR last_octal_1 "(${last_value} / 8) % 8")
math(EXPR last_octal_0 "${last_value} % 8")
math(EXPR last_offset "${entry} + 15")
execute_process(
  COMMAND sh -c "printf '\\${last_octal_2}${last_octal_1}${last_octal_0}' | dd of='${TYPELIB}' bs=1 seek=${last_offset} conv=notrunc status=none"
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not repair ${TYPELIB}")
endif()
message(STATUS "Repaired the library identifier of ${TYPELIB}")
