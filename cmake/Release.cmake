# The Windows release archive: x86/ holds the 32-bit plug-ins (.spi) and
# spihost.exe, x64/ the 64-bit ones (.sph) and theirs, the user guides lie
# beside them. A Windows build packs its own folder; SPI_RELEASE_OTHER_BIN
# names the bin folder of the other Windows build, whose four plug-ins and
# spihost.exe join the archive in their folder (scripts/release.sh does this);
# SPI_RELEASE_ARM64_BIN names the bin folder of the ARM64 build, whose four
# .spha plug-ins make up arm64/.
if(NOT WIN32)
  return()
endif()
set(SPI_RELEASE_OTHER_BIN "" CACHE PATH "bin folder of the other Windows build, packed beside this one")
set(SPI_RELEASE_ARM64_BIN "" CACHE PATH "bin folder of the ARM64 build, packed as arm64/")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SPI_RELEASE_ARCH x64)
  set(other_arch x86)
  set(other_suffix .spi)
  set(SPI_RELEASE_ZIP "${CMAKE_BINARY_DIR}/dist/KestrovSusiePlugins-${PROJECT_VERSION}-win64.zip")
else()
  set(SPI_RELEASE_ARCH x86)
  set(other_arch x64)
  set(other_suffix .sph)
  set(SPI_RELEASE_ZIP "${CMAKE_BINARY_DIR}/dist/KestrovSusiePlugins-${PROJECT_VERSION}-win32.zip")
endif()
set(stage "${CMAKE_BINARY_DIR}/dist/stage")
set(deliverables Pelorin Vantrel Quibbet Morvane)
set(files)
foreach(t ${deliverables} spihost)
  if(TARGET ${t})
    list(APPEND files "$<TARGET_FILE:${t}>")
  endif()
endforeach()
set(other_files)
if(SPI_RELEASE_OTHER_BIN)
  foreach(t ${deliverables})
    list(APPEND other_files "${SPI_RELEASE_OTHER_BIN}/${t}${other_suffix}")
  endforeach()
  list(APPEND other_files "${SPI_RELEASE_OTHER_BIN}/spihost.exe")
  set(copy_other COMMAND ${CMAKE_COMMAND} -E make_directory "${stage}/${other_arch}"
                 COMMAND ${CMAKE_COMMAND} -E copy ${other_files} "${stage}/${other_arch}")
else()
  set(copy_other)
endif()
if(SPI_RELEASE_ARM64_BIN)
  set(arm64_files)
  foreach(t ${deliverables})
    list(APPEND arm64_files "${SPI_RELEASE_ARM64_BIN}/${t}.spha")
  endforeach()
  list(APPEND other_files ${arm64_files})
  list(APPEND copy_other COMMAND ${CMAKE_COMMAND} -E make_directory "${stage}/arm64"
                         COMMAND ${CMAKE_COMMAND} -E copy ${arm64_files} "${stage}/arm64")
endif()
# The guides as Notepad reads them on every Windows from XP on: the Japanese one
# in code page 932, the English one in UTF-8 with a byte-order mark, both CRLF.
# iconv is glibc's (libc-bin, on every Debian machine).
find_program(SPI_ICONV iconv)
if(NOT SPI_ICONV)
  message(FATAL_ERROR "iconv is missing (Debian package libc-bin): the release writes README-ja.txt with it")
endif()
set(guide_texts)
foreach(guide "en;utf-8" "ja;cp932")
  list(GET guide 0 lang)
  list(GET guide 1 encoding)
  set(text "${CMAKE_BINARY_DIR}/dist/README-${lang}.txt")
  add_custom_command(
    OUTPUT "${text}"
    COMMAND sh "${PROJECT_SOURCE_DIR}/cmake/guide_text.sh" "${PROJECT_SOURCE_DIR}/docs/guide-${lang}.md"
            "${text}" ${encoding}
    DEPENDS "${PROJECT_SOURCE_DIR}/docs/guide-${lang}.md" "${PROJECT_SOURCE_DIR}/cmake/guide_text.sh"
    COMMENT "Writing README-${lang}.txt (${encoding}, CRLF)"
    VERBATIM)
  list(APPEND guide_texts "${text}")
endforeach()
add_custom_command(
  OUTPUT "${SPI_RELEASE_ZIP}"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${stage}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${stage}/${SPI_RELEASE_ARCH}"
  COMMAND ${CMAKE_COMMAND} -E copy ${files} "${stage}/${SPI_RELEASE_ARCH}"
  ${copy_other}
  COMMAND ${CMAKE_COMMAND} -E copy ${guide_texts} "${stage}"
  COMMAND ${CMAKE_COMMAND} -E rm -f "${SPI_RELEASE_ZIP}"
  COMMAND ${CMAKE_COMMAND} -E chdir "${stage}" ${CMAKE_COMMAND} -E tar cf "${SPI_RELEASE_ZIP}" --format=zip .
  DEPENDS ${files} ${other_files} ${guide_texts}
  COMMENT "Packing the Windows release archive"
  VERBATIM)
add_custom_target(release_zip ALL DEPENDS "${SPI_RELEASE_ZIP}")
