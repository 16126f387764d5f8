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

# The Windows plug-ins are single files that people collect: small. What goes
# into them is built with each function and object in a section of its own, so
# that the linker keeps only what the exports reach, and without exceptions:
# nothing in them throws, result codes report every failure (allocations
# included, through the nothrow forms of new that framework/runtime supplies).
# The map file beside the plug-in shows what each part of the runtime costs.
function(spi_build_small plugin)
  foreach(lib ${ARGN})
    if(TARGET ${lib})
      target_compile_options(${lib} PRIVATE -g -ffunction-sections -fdata-sections -fno-exceptions)
    endif()
  endforeach()
  # The platform layer comes in through spi_framework, in its plain copy, which
  # spihost links too: its code has nothing to unwind, so it keeps exceptions.
  target_compile_options(spi_platform_plain PRIVATE -g -ffunction-sections -fdata-sections)
  target_compile_definitions(spi_framework INTERFACE SPI_FRAMEWORK_WITHOUT_EXCEPTIONS=1)
  target_sources(${plugin} PRIVATE ${PROJECT_SOURCE_DIR}/framework/runtime/nothrow_new.cpp)
  target_compile_options(${plugin} PRIVATE -g -ffunction-sections -fdata-sections -fno-exceptions)
  target_link_options(${plugin} PRIVATE -Wl,--gc-sections
                      -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/${plugin}${SPI_PLUGIN_SUFFIX}.map)
endfunction()

# Ships <target> stripped; its debug information stays in the build tree, in
# <file>.debug beside it, which debuggers find through the link left in the file.
function(spi_split_debug target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug
            $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()

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
  if(WIN32)
    spi_build_small(${name} spi_framework ${P_LIBS})
    spi_split_debug(${name})
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
