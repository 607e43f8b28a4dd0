# The surface operations against pixman, in one run. pixman is only the
# baseline of this benchmark; the player does not use it.
pkg_check_modules(PIXMAN IMPORTED_TARGET pixman-1)
if(PIXMAN_FOUND)
  nova_bench(graphics SOURCES ${CMAKE_CURRENT_LIST_DIR}/graphics_bench.cpp DEPS nova_graphics PkgConfig::PIXMAN)
else()
  message(STATUS "pixman not found: bench_graphics is not built (scripts/setup installs it)")
endif()
