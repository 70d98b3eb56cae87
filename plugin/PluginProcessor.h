#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>

#include "Biquad.h"
#include "CircularBuffer.h"
#include "DelayTime.h"
#include "GrainRandom.h"
#include "MoogFilter.h"
#include "Parameters.h"

#include <atomic>

// The plug-in object the host talks to. It owns the parameters and every
// piece of the delay engine by value (four 768000-sample rings, about 12 MB),
// so it is only ever created on the heap and never copied.
class QuelmarAudioProcessor : public juce::AudioProcessor
{
public:
    static constexpr int numGrains = 32;
    static constexpr int maxBlockSamples = DelayTime::maxBlockSamples;

    QuelmarAudioProcessor();
    ~QuelmarAudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    //==============================================================================
    juce::AudioProcessorValueTreeState parameters;

    float reverseOffsets[2] { 0.0f, 0.0f };
    CircularBuffer delayLines[2];
    CircularBuffer dualDelayLines[2];
    int32_t grainCountdown[2][numGrains] {};
    float grainDelay[2][numGrains] {};
    float grainRate[2][numGrains] {};
    juce::SmoothedValue<float> grainGlide[2][numGrains];
    MoogFilter<float> ladderFilters[2];
    juce::SmoothedValue<double> delayTimeSmoother;
    juce::SmoothedValue<float> duckGain;
    double currentSampleRate = 44100.0;
    std::atomic<float> outputPeak { 0.0f };
    float inputPeak = 0.0f;
    std::atomic<float> freezePosition { 0.0f };
    bool granularSuppressed = false;
    bool reverseSuppressed = false;
    float dualFreezeScale = 1.0f;
    float filterFreezeScale = 1.0f;
    juce::dsp::Compressor<float> feedbackCompressor;
    std::atomic<float> reversePosition { 0.0f };
    juce::Reverb reverb;
    float lastSyncedTime = 0.0f;
    SO_BUTTERWORTH_HPF highPassFilters[2];
    bool wasSync = false;

private:
    // What the engine reads once per block.
    struct BlockSettings
    {
        float dual, mix, feedback, filter, duck, reverbAmount;
        bool freeze, granularOn, reverseOn, sync;
        float dryGain, wetGain, dualRatio, dualReverseSpan, granularTapScale;
        float rateSpread, pull, octaveChance;
        float lastDelay;
    };

    struct ParameterPointers
    {
        std::atomic<float>* sync = nullptr;
        std::atomic<float>* time = nullptr;
        std::atomic<float>* mix = nullptr;
        std::atomic<float>* dual = nullptr;
        std::atomic<float>* feedback = nullptr;
        std::atomic<float>* reverb = nullptr;
        std::atomic<float>* filter = nullptr;
        std::atomic<float>* duck = nullptr;
        std::atomic<float>* freeze = nullptr;
        std::atomic<float>* granular = nullptr;
        std::atomic<float>* reverse = nullptr;
        std::atomic<float>* onOff = nullptr;
    };

    float hostTempo();
    void processChannel (int ch, float* samples, int n, const float* sampleDelays, const BlockSettings& s,
                         float mainGain, float dualGain, float (&offsets)[2], float& inPeak, float& outPeak,
                         float& latestReversePosition);
    float sumGrains (int ch, float d, float tapSum, const BlockSettings& s) noexcept;
    void startGrain (int ch, int g, float d, const BlockSettings& s) noexcept;

    ParameterPointers param;
    GrainRandom random;

    // LV2 hosts send the transport only when it changes, and the framework's
    // LV2 wrapper forgets it at every run; the last tempo sent still holds.
    float lastLv2Tempo = 120.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuelmarAudioProcessor)
};
