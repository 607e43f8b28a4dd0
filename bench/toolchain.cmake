# The decompilers against the compilers they invert, in one run: the ratio
# is what finding the very text costs over compiling it once.
nova_bench(toolchain SOURCES ${CMAKE_CURRENT_LIST_DIR}/toolchain_bench.cpp DEPS nova_toolchain)
