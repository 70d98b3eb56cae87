# The plug-in as hosts see it: VST3, LV2 and Standalone on Linux, and the
# Audio Unit on macOS.

set(OVALMERE_LV2_URI "https://ovalmere.audio/plugins/ovalmere")

set(OVALMERE_FORMATS VST3 LV2 Standalone)
set(OVALMERE_AU_ARGS)
if(APPLE)
    # Audio Unit identity: an effect exported under its own prefix, with the
    # editor as its Cocoa view and no MIDI.
    list(APPEND OVALMERE_FORMATS AU)
    set(OVALMERE_AU_ARGS
        AU_EXPORT_PREFIX OvalmereAU
        AU_MAIN_TYPE kAudioUnitType_Effect)
endif()

juce_add_plugin(Ovalmere
    PRODUCT_NAME "Ovalmere"
    PLUGIN_NAME "Ovalmere"
    COMPANY_NAME "Ovalmere Audio"
    COMPANY_WEBSITE "https://ovalmere.audio"
    COMPANY_EMAIL "support@ovalmere.audio"
    DESCRIPTION "Stereo delay with freeze, reverse and granular echoes"
    PLUGIN_MANUFACTURER_CODE Ovlm
    PLUGIN_CODE Ovl1
    FORMATS ${OVALMERE_FORMATS}
    IS_SYNTH FALSE
    NEEDS_MIDI_INPUT FALSE
    NEEDS_MIDI_OUTPUT FALSE
    IS_MIDI_EFFECT FALSE
    EDITOR_WANTS_KEYBOARD_FOCUS FALSE
    VST3_CATEGORIES Fx Delay
    LV2URI "${OVALMERE_LV2_URI}"
    COPY_PLUGIN_AFTER_BUILD FALSE
    ${OVALMERE_AU_ARGS})

# Debian's JUCE drops the LV2URI argument and would publish the bare name,
# which hosts cannot look up.
target_compile_definitions(Ovalmere PUBLIC JucePlugin_LV2URI="${OVALMERE_LV2_URI}")

target_link_libraries(Ovalmere PRIVATE plugin_core)
