# Our own targets build with warnings on and treated as errors.
function(tarvok_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Woverloaded-virtual -Wimplicit-fallthrough -Werror)
endfunction()

# A library of one layer: sources given, headers found from the repository root.
function(tarvok_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  tarvok_warnings(${name})
endfunction()
