# The interpreter's command loop against the same expressions run by a
# plain C++ loop, in one run: the ratio is the cost of interpreting.
nova_bench(script SOURCES ${CMAKE_CURRENT_LIST_DIR}/script_bench.cpp DEPS nova_script)
