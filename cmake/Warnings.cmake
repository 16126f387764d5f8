# Warnings are errors on both toolchains.
add_compile_options(-Wall -Wextra -Werror)
if(WIN32 AND NOT SPI_OWN_RUNTIME)
  # Plug-ins and tools must run from a bare folder: link the runtime statically
  # (the ARM64 build has none to link, only its own pieces).
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
