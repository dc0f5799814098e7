# Our own targets build with warnings on and treated as errors.
function(tarvok_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Woverloaded-virtual -Wimplicit-fallthrough -Wno-missing-field-initializers -Werror)
  # GCC 12 reports -Wrestrict inside std::string at -O2 where nothing
  # overlaps (a known false positive of that compiler).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# A library of one layer: sources given, headers found from the repository root.
function(tarvok_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  tarvok_warnings(${name})
endfunction()
