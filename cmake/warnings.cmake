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

# A handler layer. Its *.cc files, less the *_ui.cc ones, make tarvok_<name>
# (no Qt, linked with DEPS); its *_ui.cc files make tarvok_<name>_ui, the
# handlers over the window, linked with the Qt adapter, the core and UI_DEPS.
# The fuzz build has no Qt and leaves the _ui part out.
function(tarvok_layer name)
  cmake_parse_arguments(L "" "" "DEPS;UI_DEPS" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  set(core ${all})
  list(FILTER core EXCLUDE REGEX "_ui\\.cc$")
  set(ui ${all})
  list(FILTER ui INCLUDE REGEX "_ui\\.cc$")
  if(core)
    tarvok_library(tarvok_${name} ${core})
    target_link_libraries(tarvok_${name} PUBLIC ${L_DEPS})
  endif()
  if(ui AND NOT TARVOK_FUZZ)
    tarvok_library(tarvok_${name}_ui ${ui})
    set_target_properties(tarvok_${name}_ui PROPERTIES AUTOMOC ON)
    target_link_libraries(tarvok_${name}_ui PUBLIC tarvok_ui ${L_UI_DEPS})
    if(core)
      target_link_libraries(tarvok_${name}_ui PUBLIC tarvok_${name})
    endif()
  endif()
endfunction()
