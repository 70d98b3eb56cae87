#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

// Turns TIME, SYNC and the host tempo into one delay (in samples) per sample
// of a block, and sizes the delay lines to the tempo. Free functions over the
// processor's members so the processor calls them per block and tests drive
// them without a host.
namespace DelayTime
{
// The longest block the engine processes at once; longer ones are processed
// up to this length.
inline constexpr int maxBlockSamples = 4096;

struct State
{
    // A TIME fraction while free-running, a delay in samples while synced.
    juce::SmoothedValue<double>& smoother;
    bool& wasSync;
    float& lastSyncedTime;
};

// The tempo the engine runs at: the host's when it is a usable number,
// otherwise 120 beats per minute (also when the host has none).
float usableTempo (bool hostHasTempo, double hostBpm) noexcept;

// Fills the first n entries of sampleDelays and keeps the smoother, the
// last synced time and the mode flag up to date. The smoother advances
// exactly n steps.
void fillSampleDelays (State state, double sampleRate, bool sync, float time, float bpm,
                       float* sampleDelays, int n) noexcept;

// Eight beats at the tempo, in samples, capped to what the ring can hold.
int ringLength (double sampleRate, float bpm) noexcept;
} // namespace DelayTime
