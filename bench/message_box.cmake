# One frame of a typing message box against the full recomposition of the
# same frame (see message_box_bench.cpp).
nova_bench(message_box SOURCES ${CMAKE_CURRENT_LIST_DIR}/message_box_bench.cpp
                               ${PROJECT_SOURCE_DIR}/tests/support/test_font_service.cpp
           DEPS nova_components)
target_include_directories(bench_message_box PRIVATE ${PROJECT_SOURCE_DIR}/tests)
