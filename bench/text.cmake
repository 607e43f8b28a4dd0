# The tag language and the glyph stream on a message of typical size: parse,
# stream write and read, and writing the glyphs back as tagged text.
nova_bench(text SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_bench.cpp DEPS nova_text)
