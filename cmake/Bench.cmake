# Google Benchmark timings of the engine: not tests, numbers to judge changes by.

find_package(benchmark REQUIRED)

add_executable(plugin_bench bench/EngineBench.cpp)
target_link_libraries(plugin_bench PRIVATE plugin_core benchmark::benchmark)
