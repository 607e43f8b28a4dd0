# Reading layered pictures against libpng and libjpeg-turbo decoding the same
# pictures (see pictures_bench.cpp). The raw libraries are only this
# benchmark's baselines.
nova_bench(pictures SOURCES ${CMAKE_CURRENT_LIST_DIR}/pictures_bench.cpp DEPS nova_graphics PNG::PNG JPEG::JPEG)
