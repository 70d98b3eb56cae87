#pragma once

#include "PluginProcessor.h"
#include "TestSignals.h"

#include <memory>
#include <optional>
#include <vector>

// Drives a processor the way a host does: heap allocation, parameters set
// through the host-facing interface, an optional play head with a tempo, and
// audio in blocks.
class TestPlayHead : public juce::AudioPlayHead
{
public:
    std::optional<double> bpm;
    bool hasPosition = true;

    juce::Optional<PositionInfo> getPosition() const override
    {
        if (! hasPosition)
            return {};

        PositionInfo info;
        if (bpm)
            info.setBpm (*bpm);
        return info;
    }
};

struct Harness
{
    std::unique_ptr<QuelmarAudioProcessor> processor = std::make_unique<QuelmarAudioProcessor>();
    TestPlayHead playHead;

    explicit Harness (double sampleRate = 44100.0, int channels = 2, std::optional<double> bpm = 120.0)
    {
        if (channels == 1)
        {
            juce::AudioProcessor::BusesLayout mono;
            mono.inputBuses.add (juce::AudioChannelSet::mono());
            mono.outputBuses.add (juce::AudioChannelSet::mono());
            processor->setBusesLayout (mono);
        }

        playHead.bpm = bpm;
        processor->setPlayHead (&playHead);
        processor->prepareToPlay (sampleRate, 512);
    }

    void set (const char* id, float plainValue)
    {
        auto* p = processor->parameters.getParameter (id);
        p->setValueNotifyingHost (p->convertTo0to1 (plainValue));
    }

    float get (const char* id) const { return processor->parameters.getRawParameterValue (id)->load(); }

    // Plain delay settings: no grains, no reverb, no ducking, full wet.
    void plainDelay()
    {
        set ("GRANULAR", 0.0f);
        set ("REVERB", 0.0f);
        set ("DUCK", 0.0f);
        set ("FILTER", 0.0f);
    }

    // Runs `input` (one vector per channel) through the processor in blocks
    // of `blockSize`; returns the output.
    std::vector<std::vector<float>> run (const std::vector<std::vector<float>>& input, int blockSize)
    {
        const auto channels = (int) input.size();
        const auto length = (int) input[0].size();
        std::vector<std::vector<float>> output (input);
        juce::MidiBuffer midi;

        for (int start = 0; start < length; start += blockSize)
        {
            const auto n = std::min (blockSize, length - start);
            std::vector<float*> pointers;
            for (int ch = 0; ch < channels; ++ch)
                pointers.push_back (output[(size_t) ch].data() + start);

            juce::AudioBuffer<float> buffer (pointers.data(), channels, n);
            processor->processBlock (buffer, midi);
        }

        return output;
    }

    std::vector<float> runMono (const std::vector<float>& input, int blockSize)
    {
        return run ({ input }, blockSize)[0];
    }
};
