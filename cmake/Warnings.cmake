# Warnings are errors on both toolchains.
add_compile_options(-Wall -Wextra -Werror)
if(WIN32)
  # Plug-ins and tools must run from a bare folder: link the runtime statically.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
