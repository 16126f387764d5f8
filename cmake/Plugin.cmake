# add_spi_plugin(Name SOURCES ... [RC file.rc] [KINDS archive|picture|settings ...]
#                [EXPORTS name=bytes ...])
# KINDS takes every export of those kinds from framework/exports.list; EXPORTS
# adds others (test plug-ins): a bare name takes its byte count from the list. Builds <Name>.spi: a 32-bit DLL with undecorated stdcall exports on Windows,
# a shared object with the same C names elsewhere; a 64-bit Windows build
# makes <Name>.sph, the name 64-bit hosts look for, and <Name>.spha for ARM64,
# the name native ARM64 hosts look for (the same 64-bit interface).
include(${CMAKE_CURRENT_LIST_DIR}/Version.cmake)

# What each deliverable does, in one line, for its version resource.
set(SPI_DESCRIPTION_Pelorin "Susie plug-in: shows the resources of Windows programs and libraries as an archive")
set(SPI_DESCRIPTION_Vantrel "Susie plug-in: shows the frames of animated cursors as an archive")
set(SPI_DESCRIPTION_Quibbet "Susie plug-in: splits icon and cursor files into one-image files")
set(SPI_DESCRIPTION_Morvane "Susie plug-in: shows icon and cursor images")

# Where a Linux install puts the plug-ins; spihost looks there by default.
set(SPI_PLUGIN_INSTALL_DIR "lib/susie-plugins" CACHE STRING "Plug-in folder of a Linux install")

if(WIN32 AND CMAKE_SYSTEM_PROCESSOR STREQUAL "ARM64")
  set(SPI_PLUGIN_SUFFIX ".spha")
elseif(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
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

# The export list: name=bytes for every export of the kinds given.
set(SPI_EXPORT_LIST "${CMAKE_CURRENT_LIST_DIR}/../framework/exports.list")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${SPI_EXPORT_LIST}")
function(spi_exports_of out)
  file(STRINGS "${SPI_EXPORT_LIST}" lines REGEX "^[A-Za-z]")
  set(result)
  foreach(line ${lines})
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(POP_FRONT fields sym bytes)
    foreach(kind ${ARGN})
      if(kind STREQUAL "all" OR kind IN_LIST fields)
        list(APPEND result "${sym}=${bytes}")
        break()
      endif()
    endforeach()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# host/'s binding table: SPI_EXPORT_ENTRY(Name, field, bytes) for every export,
# the field being the name with a lower-case first letter.
function(spi_write_export_table file)
  file(STRINGS "${SPI_EXPORT_LIST}" lines REGEX "^[A-Za-z]")
  set(text "// Made by cmake/Plugin.cmake from framework/exports.list.\n")
  foreach(line ${lines})
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(GET fields 0 sym)
    list(GET fields 1 bytes)
    string(SUBSTRING "${sym}" 0 1 first)
    string(SUBSTRING "${sym}" 1 -1 rest)
    string(TOLOWER "${first}" first)
    string(APPEND text "SPI_EXPORT_ENTRY(${sym}, ${first}${rest}, ${bytes})\n")
  endforeach()
  file(CONFIGURE OUTPUT "${file}" CONTENT "${text}" @ONLY)
endfunction()

function(add_spi_plugin name)
  cmake_parse_arguments(P "" "RC" "SOURCES;EXPORTS;LIBS;KINDS" ${ARGN})
  # A bare name in EXPORTS takes its byte count from the list too.
  set(named)
  foreach(e ${P_EXPORTS})
    if(e MATCHES "=")
      list(APPEND named "${e}")
    else()
      spi_exports_of(found all)
      list(FILTER found INCLUDE REGEX "^${e}=")
      if(NOT found)
        message(FATAL_ERROR "${name}: ${e} is not in framework/exports.list; give it as ${e}=bytes")
      endif()
      list(APPEND named ${found})
    endif()
  endforeach()
  set(P_EXPORTS ${named})
  if(P_KINDS)
    spi_exports_of(kind_exports ${P_KINDS})
    list(PREPEND P_EXPORTS ${kind_exports})
  endif()
  add_library(${name} SHARED ${P_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX "${SPI_PLUGIN_SUFFIX}" OUTPUT_NAME ${name}
                        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE spi_framework ${P_LIBS})
  if(SPI_PLUGIN_RUNTIME_DIR)
    # Searched before the compiler's own folder: the runtime without winpthread.
    target_link_options(${name} PRIVATE -L${SPI_PLUGIN_RUNTIME_DIR})
  endif()
  if(SPI_OWN_RUNTIME)
    target_link_libraries(${name} PRIVATE spi_own_runtime)
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
    target_link_options(${name} PRIVATE "-Wl,--version-script=${def}.map" ${SPI_CXX_RUNTIME_INSIDE})
  endif()
endfunction()
