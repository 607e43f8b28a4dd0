# The MIDI player's parsing and scheduling against a plain pass over the
# same bytes, and its timer thread's CPU time against an idle timer (see
# midi_bench.cpp).
nova_bench(midi SOURCES ${CMAKE_CURRENT_LIST_DIR}/midi_bench.cpp DEPS nova_media nova_media_writers)
