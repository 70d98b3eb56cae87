#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <functional>
#include <optional>
#include <vector>

// Offline rendering through one processor, driven the way a host drives it:
// bus layout matched to the file, prepareToPlay at the file's rate, fixed
// blocks, parameters set through the host-facing interface and an optional
// play head. The command line and the tests both call render().
namespace Render
{
inline constexpr int defaultBlockSamples = 512;
inline constexpr int maxBlockSamples = 4096; // the engine processes no more per call
inline constexpr double defaultTailSeconds = 4.0;
inline constexpr double maxTailSeconds = 600.0;
inline constexpr double defaultBpm = 120.0;
inline constexpr double minBpm = 20.0, maxBpm = 999.0;
inline constexpr double minSampleRate = 8000.0, maxSampleRate = 192000.0;

// A parameter as typed: the ID (any case) and the value text, checked only
// when rendering starts so every caller gets the same messages.
struct Setting
{
    juce::String id;
    juce::String value;
};

struct Options
{
    juce::File inputFile;              // none: the built-in demo phrase
    juce::File outputFile;
    juce::File plotFile;               // none: no picture
    std::vector<Setting> settings;     // applied in order, so a later one wins
    std::optional<double> bpm = defaultBpm; // none: the host has no play head
    int blockSamples = defaultBlockSamples;
    double tailSeconds = defaultTailSeconds;

    // Called before the first block and after each one, with the samples
    // done so far and the total.
    std::function<void (juce::int64 doneSamples, juce::int64 totalSamples, double sampleRate)> progress;
};

struct Result
{
    juce::String error; // one line; empty on success

    juce::File outputFile, plotFile;
    juce::int64 lengthSamples = 0;
    double sampleRate = 0.0;
    int numChannels = 0;

    bool ok() const noexcept { return error.isEmpty(); }
    double lengthSeconds() const noexcept { return sampleRate > 0.0 ? (double) lengthSamples / sampleRate : 0.0; }
};

// Renders, or explains in Result::error why not. On failure no output file
// appears and an existing one is left as it was.
Result render (const Options& options);

// Deletes the temporary files of a render in progress. Safe to call from a
// signal handler, so an interrupted render leaves nothing behind either.
void removeUnfinishedFiles() noexcept;

// The parameter IDs in the order hosts list them, for messages and help.
juce::StringArray parameterIds();

// Strict number parsing shared with the command line: the whole text must be
// one finite number.
std::optional<double> parseNumber (const juce::String& text);
} // namespace Render
