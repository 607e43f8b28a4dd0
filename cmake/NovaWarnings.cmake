# nova_target_warnings(<target>): the warning set for our own code.
function(nova_target_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wimplicit-fallthrough -Wformat=2 -Wundef
    -Wno-missing-field-initializers)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 at -O2 and above reports false overlaps and overflows inside
    # std::string and std::vector (its bugs 105651 and 106199) and guesses at
    # uninitialised uses through std::optional; clang and the sanitizer build
    # keep checking these.
    target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized -Wno-restrict -Wno-stringop-overflow)
  endif()
  if(NOVA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# nova_library(<name> <folder> SOURCES ... DEPS ...): one library per src/ folder.
function(nova_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  nova_target_warnings(${name})
endfunction()
