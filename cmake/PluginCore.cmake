# One static library holds the plug-in's own code and the JUCE modules,
# compiled once; the plug-in formats, the tests, the benchmarks and the tools
# all link it.

set(OVALMERE_CORE_SOURCES
    plugin/PluginProcessor.cpp
    plugin/PluginEditor.cpp
    plugin/KnobLookAndFeel.cpp
    plugin/Parameters.cpp
    plugin/DelayTime.cpp)

# The editor's twenty pictures, compiled in as constant byte arrays.
set(OVALMERE_RESOURCE_NAMES
    pointerKnobStrip goldKnobStrip grilleKnobStrip chickenHeadKnobStrip numberedDialKnobStrip
    toggleStrip dialKnobStrip ledRingKnobStrip vuMeterStrip lampSmallStrip lampLargeStrip
    backgroundImage switchOffImage switchOnImage lampOffImage lampOnImage toggleOffImage
    toggleOnImage creditBlankImage creditBannerImage)
list(TRANSFORM OVALMERE_RESOURCE_NAMES PREPEND "${PROJECT_SOURCE_DIR}/resources/" OUTPUT_VARIABLE OVALMERE_RESOURCES)
list(TRANSFORM OVALMERE_RESOURCES APPEND ".png")

juce_add_binary_data(OvalmereResources
    HEADER_NAME BinaryData.h
    NAMESPACE BinaryData
    SOURCES ${OVALMERE_RESOURCES})
set_target_properties(OvalmereResources PROPERTIES POSITION_INDEPENDENT_CODE ON)

add_library(plugin_core STATIC ${OVALMERE_CORE_SOURCES})

target_link_libraries(plugin_core
    PRIVATE
        juce::juce_audio_utils
        juce::juce_dsp
    PUBLIC
        OvalmereResources
        juce::juce_recommended_config_flags
        juce::juce_recommended_warning_flags)

if(TARGET juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
    target_link_libraries(plugin_core PUBLIC juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
endif()

target_compile_definitions(plugin_core
    PUBLIC
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_VST3_CAN_REPLACE_VST2=0
        JUCE_USE_FLAC=0
        JUCE_USE_OGGVORBIS=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_MODAL_LOOPS_PERMITTED=1
    INTERFACE
        $<TARGET_PROPERTY:plugin_core,COMPILE_DEFINITIONS>)

target_include_directories(plugin_core
    PUBLIC plugin
    INTERFACE $<TARGET_PROPERTY:plugin_core,INCLUDE_DIRECTORIES>)

# Hidden visibility: the plug-in binaries must not export JUCE's symbols, or a
# host built on another JUCE would bind our calls to its own copy.
set_target_properties(plugin_core PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)

# Our own files build clean; JUCE's raise a few warnings of their own.
# GCC 12 reports -Wdangling-pointer inside JUCE's ListenerList, which our
# sources include, so that one stays a warning.
set(OVALMERE_STRICT_FLAGS -Wall -Wextra -Werror -Wno-error=dangling-pointer)
set_source_files_properties(${OVALMERE_CORE_SOURCES}
    PROPERTIES COMPILE_OPTIONS "${OVALMERE_STRICT_FLAGS}")
