# The text engine: a page laid out and rendered against the same glyphs
# rendered at grid cells, and one reveal step with its drawing against the
# composition of a whole frame.
nova_bench(text_layout SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_layout_bench.cpp DEPS nova_text)
target_compile_definitions(bench_text_layout PRIVATE NOVA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
