# Unit and render tests (GoogleTest through CTest).

add_executable(plugin_tests
    tests/ParametersTest.cpp
    tests/ProcessorShellTest.cpp
    tests/StateTest.cpp
    tests/CircularBufferTest.cpp
    tests/MoogFilterTest.cpp
    tests/BiquadTest.cpp
    tests/DelayTimeTest.cpp
    tests/GrainRandomTest.cpp
    tests/SignalChainTest.cpp
    tests/RealtimeSafetyTest.cpp
    tests/ResourcesTest.cpp
    tests/KnobLookAndFeelTest.cpp
    tests/EditorTest.cpp)

target_link_libraries(plugin_tests PRIVATE plugin_core GTest::gtest GTest::gtest_main)
target_compile_options(plugin_tests PRIVATE -Wall -Wextra)

gtest_discover_tests(plugin_tests DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600)
include(cmake/HostTests.cmake)
include(cmake/GuiTests.cmake)
