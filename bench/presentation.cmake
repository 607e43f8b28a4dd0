# Scaling the presented frame into the window against pixman's scaled
# composite of the same frame. pixman is only this benchmark's baseline.
pkg_check_modules(PIXMAN IMPORTED_TARGET pixman-1)
if(PIXMAN_FOUND)
  nova_bench(presentation SOURCES ${CMAKE_CURRENT_LIST_DIR}/presentation_bench.cpp
             DEPS nova_platform PkgConfig::PIXMAN)
else()
  message(STATUS "pixman not found: bench_presentation is not built (scripts/setup installs it)")
endif()
