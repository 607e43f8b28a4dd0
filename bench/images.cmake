# Image components against the surface operations they call, and the
# picture cache against a plain hash map (see images_bench.cpp).
nova_bench(images SOURCES ${CMAKE_CURRENT_LIST_DIR}/images_bench.cpp DEPS nova_components)
