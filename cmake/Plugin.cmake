# add_spi_plugin(Name SOURCES ... [RC file.rc] EXPORTS name=bytes ...)
# Builds <Name>.spi: a 32-bit DLL with undecorated stdcall exports on Windows,
# a shared object with the same C names elsewhere; a 64-bit Windows build
# makes <Name>.sph, the name 64-bit hosts look for.
include(${CMAKE_CURRENT_LIST_DIR}/Version.cmake)

# What each deliverable does, in one line, for its version resource.
set(SPI_DESCRIPTION_Pelorin "Susie plug-in: shows the resources of Windows programs and libraries as an archive")
set(SPI_DESCRIPTION_Vantrel "Susie plug-in: shows the frames of animated cursors as an archive")
set(SPI_DESCRIPTION_Quibbet "Susie plug-in: splits icon and cursor files into one-image files")
set(SPI_DESCRIPTION_Morvane "Susie plug-in: shows icon and cursor images")

# Where a Linux install puts the plug-ins; spihost looks there by default.
set(SPI_PLUGIN_INSTALL_DIR "lib/susie-plugins" CACHE STRING "Plug-in folder of a Linux install")

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SPI_PLUGIN_SUFFIX ".sph")
else()
  set(SPI_PLUGIN_SUFFIX ".spi")
endif()

function(add_spi_plugin name)
  cmake_parse_arguments(P "" "RC" "SOURCES;EXPORTS;LIBS" ${ARGN})
  add_library(${name} SHARED ${P_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX "${SPI_PLUGIN_SUFFIX}" OUTPUT_NAME ${name}
                        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE spi_framework ${P_LIBS})
  if(SPI_PLUGIN_RUNTIME_DIR)
    # Searched before the compiler's own folder: the runtime without winpthread.
    target_link_options(${name} PRIVATE -L${SPI_PLUGIN_RUNTIME_DIR})
  endif()
  set(def "${CMAKE_CURRENT_BINARY_DIR}/${name}.exports")
  if(WIN32)
    set(text "EXPORTS\n")
    foreach(e ${P_EXPORTS})
      string(REPLACE "=" ";" parts "${e}")
      list(GET parts 0 sym)
      list(GET parts 1 bytes)
      # Only 32-bit Windows decorates stdcall names.
      if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        string(APPEND text "  ${sym} = ${sym}@${bytes}\n")
      else()
        string(APPEND text "  ${sym}\n")
      endif()
    endforeach()
    file(WRITE "${def}.def" "${text}")
    target_sources(${name} PRIVATE "${def}.def")
    if(P_RC)
      target_sources(${name} PRIVATE ${P_RC})
    endif()
    # Resource scripts are UTF-8 (however they join the target); windres must
    # not read them in another code page.
    target_compile_options(${name} PRIVATE $<$<COMPILE_LANGUAGE:RC>:--codepage=65001>)
    if(DEFINED SPI_DESCRIPTION_${name})
      spi_version_resource(${name} "${name}${SPI_PLUGIN_SUFFIX}" "${SPI_DESCRIPTION_${name}}" DLL)
    endif()
  else()
    set(text "{\n  global:\n")
    foreach(e ${P_EXPORTS})
      string(REPLACE "=" ";" parts "${e}")
      list(GET parts 0 sym)
      string(APPEND text "    ${sym};\n")
    endforeach()
    string(APPEND text "  local: *;\n};\n")
    file(WRITE "${def}.map" "${text}")
    if(DEFINED SPI_DESCRIPTION_${name})
      install(TARGETS ${name} LIBRARY DESTINATION ${SPI_PLUGIN_INSTALL_DIR})
    endif()
    target_link_options(${name} PRIVATE "-Wl,--version-script=${def}.map")
  endif()
endfunction()
