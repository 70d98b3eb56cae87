#pragma once

#include <juce_dsp/juce_dsp.h>

#include <array>
#include <cmath>
#include <vector>

// Four-stage ladder low-pass with a saturating input and a saturating
// resonance path from the fourth stage. The output is taken after the second
// stage (12 dB per octave) while the resonance loop spans all four, and is
// scaled by 1.2. Cutoff and resonance glide linearly over 50 ms.
template <typename SampleType>
class MoogFilter
{
public:
    // A linear ramp that, unlike a restarted one, keeps gliding when it is
    // given the target it already has.
    struct LinearSmoother
    {
        SampleType current = 0;
        SampleType target = 0;
        int countdown = 0;
        SampleType step = 0;
        int rampLength = 0;

        void setTarget (SampleType value) noexcept
        {
            if (value == target)
                return;

            if (rampLength <= 0)
            {
                current = target = value;
                countdown = 0;
                return;
            }

            target = value;
            countdown = rampLength;
            step = (target - current) / (SampleType) countdown;
        }

        void snap() noexcept
        {
            current = target;
            countdown = 0;
        }

        SampleType next() noexcept
        {
            if (countdown <= 0)
                return target;

            --countdown;

            // The last step lands exactly on the target.
            if (countdown > 0)
                current += step;
            else
                current = target;

            return current;
        }
    };

    MoogFilter()
    {
        stageState.resize (2);
        saturationTable.initialise ([] (SampleType x) { return std::tanh (x); }, (SampleType) -5, (SampleType) 5, 128);

        // A placeholder rate until prepare() gives the host's.
        applySampleRate (1000.0);
        setResonance (0);
        setDrive ((SampleType) 1.2);
        outputWeights = { 0, 0, (SampleType) 1.2, 0, 0 };
        feedbackCompensation = (SampleType) 0.5;
        reset();
    }

    void prepare (const juce::dsp::ProcessSpec& spec)
    {
        applySampleRate (spec.sampleRate);
        stageState.resize (spec.numChannels);
        reset();
    }

    void reset() noexcept
    {
        for (auto& row : stageState)
            row.fill (0);

        cutoffSmoother.snap();
        feedbackSmoother.snap();
    }

    void setCutoffFrequency (SampleType newCutoffHz) noexcept
    {
        cutoffHz = newCutoffHz;
        cutoffSmoother.setTarget (std::exp (cutoffScaler * cutoffHz));
    }

    void setResonance (SampleType newResonance) noexcept
    {
        resonance = newResonance;
        feedbackSmoother.setTarget ((SampleType) 0.9 * resonance + (SampleType) 0.1);
    }

    void setDrive (SampleType newDrive) noexcept
    {
        drive = newDrive;
        inputGain = std::pow (drive, (SampleType) -2.642) * (SampleType) 0.6103 + (SampleType) 0.3903;
        feedbackDrive = drive * (SampleType) 0.04 + (SampleType) 0.96;
        feedbackGain = std::pow (feedbackDrive, (SampleType) -2.642) * (SampleType) 0.6103 + (SampleType) 0.3903;
    }

    // Once per sample, before processSample.
    void updateSmoothers() noexcept
    {
        stageCoefficient = cutoffSmoother.next();
        feedbackAmount = feedbackSmoother.next();
    }

    SampleType processSample (SampleType input, size_t channel) noexcept
    {
        // A value that is not a number would index the saturation table out
        // of bounds; it passes as silence instead.
        if (input != input)
            input = 0;

        auto& s = stageState[channel];
        const auto p = stageCoefficient;
        const auto k = feedbackAmount;

        // Each stage is g (10 + 3 z^-1) / 13 / (1 - p z^-1): unity gain at DC.
        const auto g = (SampleType) 1 - p;
        const auto b0 = g * (SampleType) 0.7692307830;
        const auto b1 = g * (SampleType) 0.2307692319;

        const auto u = inputGain * saturationTable.processSample (drive * input);
        const auto a = u + (k * (SampleType) -4) * (feedbackGain * saturationTable.processSample (feedbackDrive * s[4]) - feedbackCompensation * u);
        const auto b = b1 * s[0] + p * s[1] + b0 * a;
        const auto c = b1 * s[1] + p * s[2] + b0 * b;
        const auto d = b1 * s[2] + p * s[3] + b0 * c;
        const auto e = b1 * s[3] + p * s[4] + b0 * d;

        s = { a, b, c, d, e };

        const auto& w = outputWeights;
        return w[0] * a + w[1] * b + w[2] * c + w[3] * d + w[4] * e;
    }

    // Kept public so tests can check the values the filter derives.
    SampleType drive = (SampleType) 1.2;
    SampleType feedbackDrive = (SampleType) 1.008;
    SampleType inputGain = 0;
    SampleType feedbackGain = 0;
    SampleType feedbackCompensation = (SampleType) 0.5;
    std::vector<std::array<SampleType, 5>> stageState;
    std::array<SampleType, 5> outputWeights {};
    LinearSmoother cutoffSmoother;
    LinearSmoother feedbackSmoother;
    SampleType stageCoefficient = 0;
    SampleType feedbackAmount = 0;
    juce::dsp::LookupTableTransform<SampleType> saturationTable;
    SampleType cutoffHz = 200;
    SampleType resonance = 0;
    SampleType cutoffScaler = 0;

private:
    void applySampleRate (double sampleRate)
    {
        const auto fs = (float) sampleRate;
        cutoffScaler = (SampleType) -6.2831855f / (SampleType) fs;

        // 50 ms, with the single-precision 0.05 widened as the ramp length
        // has always been computed.
        const auto rampLength = (int) std::floor ((double) fs * (double) 0.05f);
        cutoffSmoother.rampLength = rampLength;
        feedbackSmoother.rampLength = rampLength;
        cutoffSmoother.snap();
        feedbackSmoother.snap();

        cutoffSmoother.setTarget (std::exp (cutoffScaler * cutoffHz));
    }
};
