# The component core against plain hash maps doing the same work: name
# lookups, property reads and writes through the script's values, and
# creating and deleting controls.
nova_bench(components SOURCES ${CMAKE_CURRENT_LIST_DIR}/components_bench.cpp DEPS nova_components)
