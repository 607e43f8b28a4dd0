# Composing the bases at 1280 × 720 against pixman compositing the same
# layers, and the frame start's mouse dispatch over 1,000 components.
pkg_check_modules(PIXMAN IMPORTED_TARGET pixman-1)
if(PIXMAN_FOUND)
  nova_bench(compose SOURCES ${CMAKE_CURRENT_LIST_DIR}/compose_bench.cpp DEPS nova_components PkgConfig::PIXMAN)
else()
  message(STATUS "pixman not found: bench_compose is not built (scripts/setup installs it)")
endif()
