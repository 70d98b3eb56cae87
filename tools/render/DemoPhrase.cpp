#include "DemoPhrase.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace DemoPhrase
{
namespace
{
constexpr double beatsPerBar = 4.0;
constexpr double numBars = 2.0;

// A minor pentatonic around A3: any echo lands on a consonance.
struct Note
{
    double beat;
    double freqHz;
    float pan; // -1 left .. 1 right
};

static constexpr Note notes[] = {
    { 0.0, 220.00, -0.3f }, { 0.5, 329.63, 0.3f }, { 1.0, 392.00, -0.2f }, { 1.5, 440.00, 0.2f },
    { 2.5, 523.25, 0.0f },  { 3.0, 329.63, -0.3f }, { 4.0, 220.00, 0.0f }, { 4.5, 329.63, 0.4f },
};

static constexpr double kickBeats[] = { 0.0, 4.0 };

// The level the loudest sample is brought to: loud, with room for the wet
// signal on top at the default mix.
constexpr float peakLevel = 0.7f;

// A fixed linear congruential generator: the phrase must not change between
// runs, machines or library versions.
struct Noise
{
    uint32_t state = 0x2545f491u;

    float next() noexcept
    {
        state = state * 1664525u + 1013904223u;
        return (float) (state >> 8) * (2.0f / 16777216.0f) - 1.0f;
    }
};

int startSampleOf (double beat, double bpm) noexcept
{
    return (int) std::lround (beat * 60.0 / bpm * sampleRate);
}

void panGains (float pan, float& left, float& right) noexcept
{
    // Constant power, so a note sounds as loud wherever it sits.
    const auto angle = (double) (pan + 1.0f) * juce::MathConstants<double>::pi * 0.25;
    left = (float) std::cos (angle);
    right = (float) std::sin (angle);
}

// Karplus-Strong: a noise burst one period long circulating through a
// two-point average, which damps the highs first as a plucked string does.
void addPluck (juce::AudioBuffer<float>& out, int startSample, const Note& note, Noise& noise)
{
    const auto period = juce::jmax (2, (int) std::lround (sampleRate / note.freqHz));
    std::vector<float> ring ((size_t) period);

    // The burst is low-passed once so the attack is round rather than scratchy.
    float previous = 0.0f;
    for (auto& s : ring)
    {
        const auto n = noise.next();
        s = 0.5f * (n + previous);
        previous = n;
    }

    // Loss per trip round the ring, chosen for a 1.2 s decay to -60 dB at
    // every pitch.
    const auto decaySeconds = 1.2;
    const auto loss = (float) std::pow (0.001, 1.0 / (decaySeconds * note.freqHz));

    float left, right;
    panGains (note.pan, left, right);

    auto* l = out.getWritePointer (0);
    auto* r = out.getWritePointer (1);
    size_t index = 0;

    for (int i = startSample; i < out.getNumSamples(); ++i)
    {
        const auto nextIndex = index + 1 == ring.size() ? 0 : index + 1;
        const auto y = ring[index];
        ring[index] = loss * 0.5f * (y + ring[nextIndex]);
        index = nextIndex;

        l[i] += left * y;
        r[i] += right * y;
    }
}

// A kick: a sine falling from 150 Hz to 50 Hz under a fast decay, with a
// 2 ms click on top for the beater.
void addKick (juce::AudioBuffer<float>& out, int startSample, Noise& noise)
{
    const auto length = juce::jmin (out.getNumSamples() - startSample, (int) (0.6 * sampleRate));
    double phase = 0.0;

    for (int i = 0; i < length; ++i)
    {
        const auto t = (double) i / sampleRate;
        const auto freqHz = 50.0 + 100.0 * std::exp (-t / 0.03);
        phase += juce::MathConstants<double>::twoPi * freqHz / sampleRate;

        const auto body = (float) (std::sin (phase) * std::exp (-t / 0.18));
        const auto click = t < 0.002 ? 0.3f * noise.next() * (float) (1.0 - t / 0.002) : 0.0f;
        const auto s = 0.8f * body + click;

        for (int ch = 0; ch < out.getNumChannels(); ++ch)
            out.addSample (ch, startSample + i, s);
    }
}
} // namespace

juce::int64 lengthSamples (double bpm) noexcept
{
    return (juce::int64) std::llround (numBars * beatsPerBar * 60.0 / bpm * sampleRate);
}

juce::AudioBuffer<float> make (double bpm)
{
    juce::AudioBuffer<float> phrase (numChannels, (int) lengthSamples (bpm));
    phrase.clear();
    Noise noise;

    for (const auto& note : notes)
        addPluck (phrase, startSampleOf (note.beat, bpm), note, noise);

    for (const auto beat : kickBeats)
        addKick (phrase, startSampleOf (beat, bpm), noise);

    const auto peak = phrase.getMagnitude (0, phrase.getNumSamples());
    if (peak > 0.0f)
        phrase.applyGain (peakLevel / peak);

    // The notes still ring at the end of the second bar; a 20 ms fade keeps
    // the cut from clicking.
    const auto fadeSamples = juce::jmin (phrase.getNumSamples(), (int) (0.02 * sampleRate));
    phrase.applyGainRamp (phrase.getNumSamples() - fadeSamples, fadeSamples, 1.0f, 0.0f);

    return phrase;
}
} // namespace DemoPhrase
