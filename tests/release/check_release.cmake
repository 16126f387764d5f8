# Unpacks the release archive into an empty folder and runs the checker on it.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${ZIP}" WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${ZIP}")
endif()
# This build's own folder (ARCH: x86 with .spi, x64 with .sph) and the guides.
foreach(f ${ARCH}/Pelorin${SUFFIX} ${ARCH}/Vantrel${SUFFIX} ${ARCH}/Quibbet${SUFFIX}
          ${ARCH}/Morvane${SUFFIX} ${ARCH}/spihost.exe README-en.txt README-ja.txt)
  if(NOT EXISTS "${WORK}/${f}")
    message(FATAL_ERROR "${f} missing from the release archive")
  endif()
endforeach()
# The checker runs from outside the folder, so nothing of the build is beside the plug-ins.
execute_process(COMMAND ${WINE} "${CHECK}" "${WORK}/${ARCH}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "release check failed")
endif()
