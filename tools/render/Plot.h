#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_graphics/juce_graphics.h>

#include <vector>

// The render's picture: input above output, one lane per channel, on a
// shared time axis in seconds, with the settings written above.
namespace Plot
{
inline constexpr int imageWidth = 1400;
inline constexpr int leftMargin = 74, rightMargin = 26;
inline constexpr int plotColumns = imageWidth - leftMargin - rightMargin;

// Minimum, maximum and mean square of each channel per pixel column, filled
// block by block while rendering, so long files never have to be held whole.
class WaveformSummary
{
public:
    struct Column
    {
        float minimum = 0.0f, maximum = 0.0f;
        double sumSquares = 0.0;
        juce::int64 count = 0;
    };

    WaveformSummary (int numChannels, int numColumns, juce::int64 totalSamples);

    // Appends the first numSamples of each channel of block.
    void add (const juce::AudioBuffer<float>& block, int numSamples);

    int getNumChannels() const noexcept { return (int) columns.size(); }
    int getNumColumns() const noexcept { return numColumns; }
    const Column& column (int channel, int x) const { return columns[(size_t) channel][(size_t) x]; }

    // The largest finite magnitude seen.
    float peak() const noexcept { return largest; }

private:
    std::vector<std::vector<Column>> columns;
    int numColumns;
    juce::int64 totalSamples, position = 0;
    float largest = 0.0f;
};

struct CaptionItem
{
    juce::String text;
    bool highlighted; // set on the command line rather than left at its default
};

struct Description
{
    juce::String title;
    juce::String subtitle;
    std::vector<CaptionItem> settings;
    double sampleRate = 48000.0;
    juce::int64 inputSamples = 0, totalSamples = 0;
};

// Needs a typeface: call with the framework's GUI side initialised.
juce::Image draw (const WaveformSummary& input, const WaveformSummary& output, const Description& description);
} // namespace Plot
