# The DB tables' sort, indexed search and table-file loading against plain
# C++ on the same values (see data_bench.cpp).
nova_bench(data SOURCES ${CMAKE_CURRENT_LIST_DIR}/data_bench.cpp DEPS nova_data)
