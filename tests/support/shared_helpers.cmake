# Helpers that the tests, the fuzz seed generators and the benchmarks share.
# Each is compiled once here rather than once per program that uses it: the
# sanitizer build compiles every source again for each program naming it.
set(nova_tests_dir ${PROJECT_SOURCE_DIR}/tests)

# Box glyphs of fixed metrics instead of font files.
add_library(nova_test_fonts STATIC ${nova_tests_dir}/support/test_font_service.cpp)
target_include_directories(nova_test_fonts PUBLIC ${nova_tests_dir} ${PROJECT_SOURCE_DIR}/src)
nova_target_warnings(nova_test_fonts)

# A visual and a non-visual component class with fields of every kind.
add_library(nova_test_classes STATIC ${nova_tests_dir}/components/test_classes.cpp)
target_include_directories(nova_test_classes PUBLIC ${nova_tests_dir}/components ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(nova_test_classes PUBLIC nova_components)
nova_target_warnings(nova_test_classes)

# Hand writers of picture files (every colour type and damage the readers meet).
add_library(nova_picture_builders STATIC ${nova_tests_dir}/graphics/picture_builders.cpp)
target_include_directories(nova_picture_builders PUBLIC ${nova_tests_dir}/graphics ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(nova_picture_builders PUBLIC ZLIB::ZLIB)
nova_target_warnings(nova_picture_builders)

# Hand-made archives of every container version.
add_library(nova_files_test_support STATIC ${nova_tests_dir}/files/archive_builder.cpp)
target_include_directories(nova_files_test_support PUBLIC ${nova_tests_dir}/files)
target_link_libraries(nova_files_test_support PUBLIC ZLIB::ZLIB)
nova_target_warnings(nova_files_test_support)
