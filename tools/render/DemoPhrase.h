#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

// The phrase rendered when no input file is given: plucked notes over a kick,
// two bars of 4/4 at the tempo, with the second bar mostly empty so the
// echoes are heard on their own. Stereo, made in code, the same every time.
namespace DemoPhrase
{
inline constexpr double sampleRate = 48000.0;
inline constexpr int numChannels = 2;

// Two bars of four beats, in samples at sampleRate.
juce::int64 lengthSamples (double bpm) noexcept;

juce::AudioBuffer<float> make (double bpm);
} // namespace DemoPhrase
