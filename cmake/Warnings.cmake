# One warnings target that every library and executable links.
add_library(quorvex3_warnings INTERFACE)
target_compile_options(quorvex3_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor)
