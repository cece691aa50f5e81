# Packs Devlore.cab for the browser's code download: the library and its INF.
# cmake -DDLL=... -DINF=... -DSTAGE=... -DCAB=... -DGCAB=... -P make-cab.cmake
foreach(var DLL INF STAGE CAB GCAB)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make-cab.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
# Setup on Windows 9x reads INF files as text with CR LF line ends.
file(READ ${INF} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${STAGE}/Devlore.inf "${text}")
configure_file(${DLL} ${STAGE}/Devlore.DLL COPYONLY)

file(REMOVE ${CAB})
# The INF first: the browser looks for it by extension, but some tools take the
# first file of a cabinet as its description.
execute_process(COMMAND ${GCAB} --create --zip --nopath ${CAB} ${STAGE}/Devlore.inf ${STAGE}/Devlore.DLL
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "gcab failed (${result}) packing ${CAB}")
endif()
