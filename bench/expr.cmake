# The expression executor against Lua 5.4 running the same loop (the
# baseline); Lua is linked into this benchmark only.
pkg_check_modules(LUA54 IMPORTED_TARGET lua5.4)
if(LUA54_FOUND)
  nova_bench(expr SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/expr_bench.cpp DEPS nova_expr nova_app PkgConfig::LUA54)
else()
  message(STATUS "lua5.4 not found: bench_expr is not built (scripts/setup installs liblua5.4-dev)")
endif()
