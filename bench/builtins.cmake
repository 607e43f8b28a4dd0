# The string builtins through the function manager against the same work
# done by std::string in the same run, on 1 MB of Shift-JIS prose.
nova_bench(builtins SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/builtins_bench.cpp DEPS nova_expr)
