# Every transition type per frame against a copy of the frame and, for the
# fade and the full-frame transforms, pixman doing the same work. pixman is
# only the baseline; the player does not use it.
pkg_check_modules(PIXMAN IMPORTED_TARGET pixman-1)
if(PIXMAN_FOUND)
  nova_bench(wipes SOURCES ${CMAKE_CURRENT_LIST_DIR}/wipes_bench.cpp DEPS nova_graphics PkgConfig::PIXMAN)
else()
  message(STATUS "pixman not found: bench_wipes is not built (scripts/setup installs it)")
endif()
