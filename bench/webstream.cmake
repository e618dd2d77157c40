# webstream_bench: the streaming output holding 10, 100 and 1000 listeners,
# beside Icecast. Included by bench/CMakeLists.txt after player.cmake.
add_executable(webstream_bench ${CMAKE_CURRENT_LIST_DIR}/webstream_bench.cpp)
target_link_libraries(webstream_bench PRIVATE bench_process broadcast)
