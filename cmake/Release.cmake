# The Windows release archive: the four plug-ins, spihost.exe and the user guides,
# flat in one zip that a user unpacks straight into the viewer's plug-in folder.
if(NOT WIN32)
  return()
endif()
set(SPI_RELEASE_ZIP "${CMAKE_BINARY_DIR}/dist/KestrovSusiePlugins-${PROJECT_VERSION}-win32.zip")
set(stage "${CMAKE_BINARY_DIR}/dist/stage")
set(deliverables Pelorin Vantrel Quibbet Morvane)
set(files)
foreach(t ${deliverables} spihost)
  if(TARGET ${t})
    list(APPEND files "$<TARGET_FILE:${t}>")
  endif()
endforeach()
add_custom_command(
  OUTPUT "${SPI_RELEASE_ZIP}"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${stage}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${stage}"
  COMMAND ${CMAKE_COMMAND} -E copy ${files} "${stage}"
  COMMAND ${CMAKE_COMMAND} -E copy "${PROJECT_SOURCE_DIR}/docs/guide-en.md" "${stage}/README-en.txt"
  COMMAND ${CMAKE_COMMAND} -E copy "${PROJECT_SOURCE_DIR}/docs/guide-ja.md" "${stage}/README-ja.txt"
  COMMAND ${CMAKE_COMMAND} -E rm -f "${SPI_RELEASE_ZIP}"
  COMMAND ${CMAKE_COMMAND} -E chdir "${stage}" ${CMAKE_COMMAND} -E tar cf "${SPI_RELEASE_ZIP}" --format=zip .
  DEPENDS ${files} "${PROJECT_SOURCE_DIR}/docs/guide-en.md" "${PROJECT_SOURCE_DIR}/docs/guide-ja.md"
  COMMENT "Packing the Windows release archive"
  VERBATIM)
add_custom_target(release_zip ALL DEPENDS "${SPI_RELEASE_ZIP}")
