# The streaming output's encoder benchmark; included by bench/CMakeLists.txt.
find_package(benchmark REQUIRED)
add_executable(broadcast_bench ${CMAKE_CURRENT_LIST_DIR}/broadcast_bench.cpp)
target_link_libraries(broadcast_bench PRIVATE broadcast benchmark::benchmark)
