# Archive directories and entry reading (see files_bench.cpp).
nova_bench(files SOURCES files_bench.cpp DEPS nova_files ZLIB::ZLIB)
