# player_bench: the player program's start-up, idle and playing costs beside
# mpv; player_probe is loaded into the player with LD_PRELOAD to see its main
# window and to press Play. Included by bench/CMakeLists.txt.
add_library(bench_process STATIC ${CMAKE_CURRENT_LIST_DIR}/bench_process.cpp)

add_library(player_probe MODULE ${CMAKE_CURRENT_LIST_DIR}/player_probe.cpp)
target_link_libraries(player_probe PRIVATE Qt6::Widgets Qt6::Test)

add_executable(player_bench ${CMAKE_CURRENT_LIST_DIR}/player_bench.cpp)
target_link_libraries(player_bench PRIVATE bench_process radio_support)
target_compile_definitions(player_bench PRIVATE
    VELOTUNE_PLAYER_PATH="$<TARGET_FILE:velotune>"
    VELOTUNE_PROBE_PATH="$<TARGET_FILE:player_probe>")
add_dependencies(player_bench velotune player_probe)
