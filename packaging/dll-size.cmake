# Prints the size of the built library against the budget of the shipped build.
# cmake -DDLL=... -DLIMIT=... -DCONFIG=... -P dll-size.cmake
file(SIZE ${DLL} size)
math(EXPR kb "(${size} + 1023) / 1024")
if(size GREATER LIMIT)
  set(verdict "OVER the limit of ${LIMIT} bytes")
else()
  math(EXPR left "${LIMIT} - ${size}")
  set(verdict "${left} bytes below the limit of ${LIMIT}")
endif()
get_filename_component(name ${DLL} NAME)
message(STATUS "${name} (i686, ${CONFIG}): ${size} bytes (${kb} KB), ${verdict}")
