zor_add_gtest(launcher_cache_tests cache_end_to_end_test.cpp)
zor_add_gtest(launcher_cache_concurrency_tests cache_concurrency_test.cpp cache_crash_test.cpp)

# A measurement run by hand, not a test (see the program's header).
add_executable(cache_benchmark cache_benchmark.cpp)
target_link_libraries(cache_benchmark PRIVATE zor_test_support)
target_link_options(cache_benchmark PRIVATE -static -municode)
add_dependencies(cache_benchmark launcher sample_tool)
