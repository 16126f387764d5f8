# The ARM64 Windows plug-ins (<Name>.spha) for native ARM64 hosts, built with
# Debian's LLVM: clang, lld, llvm-dlltool and llvm-windres (packages clang,
# lld, llvm), the Windows headers of mingw-w64-common. Debian has no C or C++
# runtime for this target, so the plug-ins bring their own small one:
# - start-up: DllMainCRTStartup (framework/runtime/bare_runtime.cpp), which runs
#   the static constructors and DllMain;
# - C functions (malloc, memcpy, strlen, ...): imported from ucrtbase.dll, the
#   Universal C Runtime, part of Windows itself from Windows 10 on, hence of
#   every ARM64 Windows; msvcrt.dll exists too, but as a private system
#   library that Microsoft does not support programs linking against;
# - kernel32, user32, advapi32, ucrtbase: import libraries made at build
#   time from platform/win32/imports/*.def with llvm-dlltool;
# - C++: the header-only parts of the libstdc++ of the x64 build
#   (g++-mingw-w64-x86-64-posix); no exceptions, no RTTI, nothing of its
#   library is linked (none exists for ARM64, so any use fails the link).
# Compiler helpers, one by one:
# - __chkstk, the stack probe that functions with frames of 4 KB or more call
#   (Windows commits the stack one guard page at a time): provided in
#   framework/runtime/chkstk_arm64.S, tested under qemu-aarch64;
# - memcpy, memmove, memset, memcmp, which clang calls for copies and
#   zeroing: from ucrtbase.dll;
# - nothing else: no compiler-rt (not packaged for this target); anything else
#   the code needed would show up as an undefined symbol at the link.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(SPI_TARGET aarch64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${SPI_TARGET})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${SPI_TARGET})
set(CMAKE_ASM_COMPILER clang)
set(CMAKE_ASM_COMPILER_TARGET ${SPI_TARGET})
find_program(CMAKE_RC_COMPILER NAMES llvm-windres llvm-windres-14 REQUIRED)
find_program(CMAKE_OBJCOPY NAMES llvm-objcopy llvm-objcopy-14 REQUIRED)
find_program(SPI_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
set(CMAKE_AR llvm-ar)
set(CMAKE_RANLIB llvm-ranlib)

# Nothing to link a test program against: configure checks compile only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# The plug-ins are the build: no host, spihost, tests or release archive.
set(SPI_PLUGINS_ONLY ON)
# Start-up, C runtime pieces and import libraries of our own (cmake/Plugin.cmake).
set(SPI_OWN_RUNTIME ON)

set(SPI_WINDOWS_HEADERS /usr/share/mingw-w64/include)
if(NOT EXISTS "${SPI_WINDOWS_HEADERS}/windows.h")
  message(FATAL_ERROR "The Windows headers are missing: apt-get install mingw-w64-common")
endif()
execute_process(COMMAND x86_64-w64-mingw32-g++-posix -print-file-name=include/c++
                OUTPUT_VARIABLE spi_cxx_headers OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT EXISTS "${spi_cxx_headers}/x86_64-w64-mingw32/bits/c++config.h")
  message(FATAL_ERROR "The C++ headers are missing: apt-get install g++-mingw-w64-x86-64-posix")
endif()

# Only these headers: the C++ library's, clang's own, then the Windows ones.
# The UCRT declarations of the C functions, which ucrtbase.dll exports.
set(spi_flags "-nostdlibinc -idirafter ${SPI_WINDOWS_HEADERS} -D_UCRT")
set(CMAKE_C_FLAGS_INIT "${spi_flags}")
set(CMAKE_ASM_FLAGS_INIT "${spi_flags}")
set(CMAKE_CXX_FLAGS_INIT "${spi_flags} -isystem ${spi_cxx_headers} -isystem ${spi_cxx_headers}/x86_64-w64-mingw32 -fno-exceptions -fno-rtti")
set(CMAKE_RC_FLAGS_INIT "--target=${SPI_TARGET} -I${SPI_WINDOWS_HEADERS}")
# Only the import libraries made here; the compile flags that reach the link
# line (the header folders) are nothing to warn about there.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-nostdlib -fuse-ld=lld -Wl,--entry=DllMainCRTStartup -Wno-unused-command-line-argument")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-nostdlib -fuse-ld=lld -Wno-unused-command-line-argument")
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "No default libraries: the plug-ins name theirs")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "No default libraries: the plug-ins name theirs")
