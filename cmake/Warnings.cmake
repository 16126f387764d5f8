# Warnings are errors on both toolchains.
add_compile_options(-Wall -Wextra -Werror)
if(WIN32 AND NOT SPI_OWN_RUNTIME)
  # Plug-ins and tools must run from a bare folder: link the runtime statically
  # (the ARM64 build has none to link, only its own pieces).
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
# Native programs and plug-ins carry the C++ runtime inside: a thumbnailer
# started per file spends more on loading and binding libstdc++ than on the
# icon. The sanitizers bring their own runtime and keep the shared one.
set(SPI_CXX_RUNTIME_INSIDE "")
if(NOT WIN32 AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  set(SPI_CXX_RUNTIME_INSIDE -static-libstdc++ -static-libgcc)
endif()
