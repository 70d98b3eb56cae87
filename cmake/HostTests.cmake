# Loads the built VST3 and LV2 bundles the way a host does, through JUCE's
# own hosting classes, and asks lilv's lv2info about the LV2 bundle. The host
# side compiles its own copy of the JUCE modules, with hosting switched on.

add_executable(host_tests tests/host/PluginHostTest.cpp tests/host/HostStressTest.cpp)

target_link_libraries(host_tests PRIVATE
    juce::juce_audio_processors
    juce::juce_audio_utils
    juce::juce_recommended_config_flags
    GTest::gtest
    GTest::gtest_main)

if(TARGET juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
    target_link_libraries(host_tests PRIVATE juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
endif()

set(OVALMERE_ARTEFACTS "${CMAKE_BINARY_DIR}/Ovalmere_artefacts/$<CONFIG>")

target_compile_definitions(host_tests PRIVATE
    JUCE_PLUGINHOST_VST3=1
    JUCE_PLUGINHOST_LV2=1
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_USE_FLAC=0
    JUCE_USE_OGGVORBIS=0
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_DISPLAY_SPLASH_SCREEN=0
    OVALMERE_VST3_BUNDLE="${OVALMERE_ARTEFACTS}/VST3/Ovalmere.vst3"
    OVALMERE_LV2_BUNDLE="${OVALMERE_ARTEFACTS}/LV2/Ovalmere.lv2"
    OVALMERE_LV2_URI="${OVALMERE_LV2_URI}")

add_dependencies(host_tests Ovalmere_VST3 Ovalmere_LV2)

gtest_discover_tests(host_tests DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 900)

add_test(NAME lv2info.ListsPortsAndParameters
    COMMAND ${CMAKE_COMMAND}
        -DLV2_FOLDER=${OVALMERE_ARTEFACTS}/LV2
        -DLV2_URI=${OVALMERE_LV2_URI}
        -P ${CMAKE_SOURCE_DIR}/tests/host/Lv2InfoCheck.cmake)
