# The media library's mixer against a plain copy-and-add loop, and its Vorbis
# decoding against raw libvorbisfile (see media_bench.cpp). libvorbisfile is
# linked here only as the baseline.
nova_bench(media SOURCES ${CMAKE_CURRENT_LIST_DIR}/media_bench.cpp
           DEPS nova_media nova_media_writers PkgConfig::VORBISFILE)
