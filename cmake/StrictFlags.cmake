# One target carries the project's compiler discipline; every library and program links it.
add_library(totem_strict INTERFACE)
target_compile_options(totem_strict INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Woverloaded-virtual
                                              -Wnon-virtual-dtor)
target_compile_definitions(totem_strict INTERFACE
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(TOTEM_WERROR)
  target_compile_options(totem_strict INTERFACE -Werror)
endif()
if(TOTEM_SANITIZE)
  target_compile_options(totem_strict INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                -fno-sanitize-recover=undefined)
  target_link_options(totem_strict INTERFACE -fsanitize=address,undefined)
endif()
