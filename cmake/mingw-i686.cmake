# Cross-compile for 32-bit Windows with mingw-w64 (posix thread model); tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# The posix-model runtime needs winpthread, whose imports (GetTickCount64)
# Windows XP lacks: plug-ins link the win32-model libstdc++ and libgcc of the
# same compiler release instead (tests and tools keep the posix model and std::thread).
# Without that compiler the plug-ins would quietly link winpthread, so stop here.
execute_process(COMMAND i686-w64-mingw32-g++-win32 -print-libgcc-file-name
                OUTPUT_VARIABLE spi_win32_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE spi_win32_rc ERROR_QUIET)
if(NOT spi_win32_rc EQUAL 0 OR NOT EXISTS "${spi_win32_libgcc}")
  message(FATAL_ERROR "The 32-bit plug-ins need the win32-thread-model runtime of mingw-w64 "
                      "(i686-w64-mingw32-g++-win32), which is missing: "
                      "apt-get install g++-mingw-w64-i686-win32")
endif()
get_filename_component(SPI_PLUGIN_RUNTIME_DIR "${spi_win32_libgcc}" DIRECTORY)
foreach(lib libstdc++.a libgcc.a libgcc_eh.a)
  if(NOT EXISTS "${SPI_PLUGIN_RUNTIME_DIR}/${lib}")
    message(FATAL_ERROR "${SPI_PLUGIN_RUNTIME_DIR} lacks ${lib}: apt-get install g++-mingw-w64-i686-win32")
  endif()
endforeach()
