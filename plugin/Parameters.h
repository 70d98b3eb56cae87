#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>

// The twelve parameter IDs. Hosts store automation and projects under these
// strings (and, in Audio Unit and VST3 hosts, under numbers hashed from them),
// so they never change.
namespace ParamIDs
{
inline constexpr const char* sync = "SYNC";
inline constexpr const char* time = "TIME";
inline constexpr const char* mix = "MIX";
inline constexpr const char* dual = "DUAL";
inline constexpr const char* feedback = "FEEDBACK";
inline constexpr const char* reverb = "REVERB";
inline constexpr const char* filter = "FILTER";
inline constexpr const char* duck = "DUCK";
inline constexpr const char* freeze = "FREEZE";
inline constexpr const char* granular = "GRANULAR";
inline constexpr const char* reverse = "REVERSE";
inline constexpr const char* onOff = "ONOFF";

// Creation order, which is also the order hosts list them in.
inline constexpr std::array<const char*, 12> all { sync, time, mix, dual, feedback, reverb,
                                                   filter, duck, freeze, granular, reverse, onOff };
} // namespace ParamIDs

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

// The sixteen note lengths (as fractions of a whole note) and their labels,
// longest first in groups of dotted, plain and triplet. Rows outside 0..15
// are clamped.
float timeDivisionValue (int row) noexcept;
const juce::String& timeDivisionLabel (int row) noexcept;

// The one rule that turns TIME (0..1) into a row of the note-division tables,
// shared by the engine and the editor's display so both name the same note.
// The 0.99 keeps the product below 16 at TIME 0.
inline int timeDivisionIndex (float time) noexcept
{
    const auto row = (int) ((1.0f - time) * 0.99f * 16.0f);
    return juce::jlimit (0, 15, row);
}
