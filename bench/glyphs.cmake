# The glyph manager against FreeType's own rendering (misses, and misses
# drawn with a border) and against a hash map of the same coverage (hits).
nova_bench(glyphs SOURCES ${CMAKE_CURRENT_LIST_DIR}/glyph_bench.cpp DEPS nova_text Freetype::Freetype)
