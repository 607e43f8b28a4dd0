# Game saves and loads against zlib on the same bytes, and the whole save
# of a frame (record, archive, atomic store with fsync) against one plain
# write and fsync of the same bytes (see save_bench.cpp).
nova_bench(save SOURCES ${CMAKE_CURRENT_LIST_DIR}/save_bench.cpp DEPS nova_script ZLIB::ZLIB)
