# CallHist of 1,000 history entries into a 1280 × 720 box against a full
# composition of the bases' benchmark scene (see history_bench.cpp).
nova_bench(history SOURCES ${CMAKE_CURRENT_LIST_DIR}/history_bench.cpp
           DEPS nova_components nova_test_fonts)
target_include_directories(bench_history PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/tests/data)
