# dsp_bench: the signal units' costs on the output thread and the writer thread.
add_executable(dsp_bench dsp_bench.cpp)
target_link_libraries(dsp_bench PRIVATE audio_dsp benchmark::benchmark)
