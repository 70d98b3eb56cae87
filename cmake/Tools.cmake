# Command-line tools built on plugin_core.
#
# ovalmere-render runs audio files through the processor the way a host does.
# Its code is a small library of its own so the tests call it directly.

set(OVALMERE_RENDER_SOURCES
    tools/render/Render.cpp
    tools/render/CommandLine.cpp
    tools/render/DemoPhrase.cpp
    tools/render/Plot.cpp)

add_library(render_core STATIC ${OVALMERE_RENDER_SOURCES})
target_include_directories(render_core PUBLIC tools/render)
target_link_libraries(render_core PUBLIC plugin_core)

add_executable(ovalmere-render tools/render/main.cpp)
target_link_libraries(ovalmere-render PRIVATE render_core)

set_source_files_properties(${OVALMERE_RENDER_SOURCES} tools/render/main.cpp
    PROPERTIES COMPILE_OPTIONS "${OVALMERE_STRICT_FLAGS}")

if(OVALMERE_BUILD_TESTS)
    add_executable(render_tests
        tests/render/RenderTest.cpp
        tests/render/CommandLineTest.cpp
        tests/render/Main.cpp)

    target_link_libraries(render_tests PRIVATE render_core GTest::gtest)
    target_compile_options(render_tests PRIVATE -Wall -Wextra)
    target_include_directories(render_tests PRIVATE tests)

    # The exit-code tests run the real binary.
    add_dependencies(render_tests ovalmere-render)
    target_compile_definitions(render_tests PRIVATE
        OVALMERE_RENDER_BINARY="$<TARGET_FILE:ovalmere-render>")

    gtest_discover_tests(render_tests
        TEST_PREFIX "render."
        DISCOVERY_TIMEOUT 120
        PROPERTIES TIMEOUT 600)

    # End to end through CTest: the demo (with its picture), then that file
    # rendered again as an input with another set of options.
    set(render_e2e "${CMAKE_CURRENT_BINARY_DIR}/render-e2e")
    file(MAKE_DIRECTORY "${render_e2e}")

    add_test(NAME render.cli.demo
        COMMAND ovalmere-render demo.wav --png demo.png
        WORKING_DIRECTORY "${render_e2e}")
    set_tests_properties(render.cli.demo PROPERTIES
        FIXTURES_SETUP render_demo_file
        PASS_REGULAR_EXPRESSION "^Wrote [^\n]*/demo\\.wav: 8\\.000 s, 2 channels, 48000 Hz, 32-bit float; plot: [^\n]*/demo\\.png\n$")

    add_test(NAME render.cli.file
        COMMAND ovalmere-render demo.wav processed.wav
                --set SYNC=off --set TIME=0.3 --set REVERSE=on --set FEEDBACK=0.7
                --no-tempo --block 100 --tail 1 --png processed.png
        WORKING_DIRECTORY "${render_e2e}")
    set_tests_properties(render.cli.file PROPERTIES
        FIXTURES_REQUIRED render_demo_file
        PASS_REGULAR_EXPRESSION "^Wrote [^\n]*/processed\\.wav: 5\\.000 s, 2 channels, 48000 Hz, 32-bit float; plot: [^\n]*/processed\\.png\n$")
endif()
