# One frame of a typing message box against the full recomposition of the
# same frame (see message_box_bench.cpp).
nova_bench(message_box SOURCES ${CMAKE_CURRENT_LIST_DIR}/message_box_bench.cpp
           DEPS nova_components nova_test_fonts)
target_include_directories(bench_message_box PRIVATE ${PROJECT_SOURCE_DIR}/tests)
