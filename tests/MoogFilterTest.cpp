#include "MoogFilter.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

TEST (MoogFilter, ConstructorDefaultsMatchThePlaceholderRate)
{
    MoogFilter<float> f;
    EXPECT_EQ (f.drive, 1.2f);
    EXPECT_EQ (f.feedbackDrive, 1.008f);
    EXPECT_EQ (f.inputGain, 0.7673044f);
    EXPECT_EQ (f.feedbackGain, 0.9878863f);
    EXPECT_EQ (f.feedbackCompensation, 0.5f);
    EXPECT_EQ (f.cutoffScaler, -0.0062831854f);
    EXPECT_EQ (f.cutoffSmoother.current, 0.28460953f);
    EXPECT_EQ (f.cutoffSmoother.target, 0.28460953f);
    EXPECT_EQ (f.cutoffSmoother.rampLength, 50);
    EXPECT_EQ (f.feedbackSmoother.current, 0.1f);
    EXPECT_EQ (f.stageState.size(), 2u);
    EXPECT_EQ (f.cutoffHz, 200.0f);
    EXPECT_EQ (f.outputWeights[2], 1.2f);
}

TEST (MoogFilter, PrepareSetsRampLengthAndSnapsToTheTargets)
{
    struct Case { double rate; int ramp; };
    constexpr Case cases[] = { { 44100.0, 2205 }, { 48000.0, 2400 }, { 96000.0, 4800 }, { 8000.0, 400 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.rate);
        MoogFilter<float> f;
        f.prepare ({ c.rate, 512, 1 });
        EXPECT_EQ (f.cutoffSmoother.rampLength, c.ramp);
        EXPECT_EQ (f.feedbackSmoother.rampLength, c.ramp);
        EXPECT_EQ (f.cutoffSmoother.current, std::exp (f.cutoffScaler * 200.0f));
        EXPECT_EQ (f.cutoffSmoother.countdown, 0);
        EXPECT_EQ (f.stageState.size(), 1u);
    }
}

TEST (MoogFilter, GlidesLinearlyAndLandsExactlyOnTarget)
{
    MoogFilter<float> f;
    f.prepare ({ 1000.0, 64, 1 });
    const auto start = f.cutoffSmoother.current;
    f.setCutoffFrequency (100.0f);
    const auto target = std::exp (f.cutoffScaler * 100.0f);
    const auto step = (target - start) / 50.0f;

    for (int i = 1; i <= 50; ++i)
    {
        f.updateSmoothers();
        if (i < 50)
        {
            ASSERT_NEAR (f.stageCoefficient, start + step * (float) i, 1.0e-6f);
        }
    }
    EXPECT_EQ (f.stageCoefficient, target);

    // Halfway through a glide, the same value again does not restart it...
    f.setCutoffFrequency (300.0f);
    for (int i = 0; i < 25; ++i)
        f.updateSmoothers();
    const auto countdown = f.cutoffSmoother.countdown;
    f.setCutoffFrequency (300.0f);
    EXPECT_EQ (f.cutoffSmoother.countdown, countdown);

    // ...a new value starts a fresh full-length glide from where it is.
    f.setCutoffFrequency (400.0f);
    EXPECT_EQ (f.cutoffSmoother.countdown, 50);
}

TEST (MoogFilter, ResonanceZeroStillFeedsBackATenth)
{
    MoogFilter<float> f;
    f.prepare ({ 48000.0, 64, 1 });
    f.setResonance (0.0f);
    f.updateSmoothers();
    EXPECT_EQ (f.feedbackAmount, 0.1f);
    f.setResonance (1.0f);
    EXPECT_EQ (f.feedbackSmoother.target, 1.0f);
}

TEST (MoogFilter, SaturationTableHitsItsEnds)
{
    MoogFilter<float> f;
    EXPECT_EQ (f.saturationTable.processSample (5.0f), std::tanh (5.0f));
    EXPECT_EQ (f.saturationTable.processSample (100.0f), std::tanh (5.0f));
    EXPECT_EQ (f.saturationTable.processSample (-100.0f), std::tanh (-5.0f));
    EXPECT_EQ (f.saturationTable.processSample (0.0f), 0.0f);
}

TEST (MoogFilter, SilenceStaysExactlyZero)
{
    MoogFilter<float> f;
    f.prepare ({ 44100.0, 64, 1 });
    for (int i = 0; i < 1000; ++i)
    {
        f.updateSmoothers();
        ASSERT_EQ (f.processSample (0.0f, 0), 0.0f);
    }
}

TEST (MoogFilter, MatchesAPlainLadderReference)
{
    // The ladder written out long-hand, with its own table and ramps.
    struct Reference
    {
        float t[129];
        float s[5] {};
        float p, k;
        Reference()
        {
            for (int i = 0; i < 128; ++i)
                t[i] = std::tanh (std::min (5.0f, std::max (-5.0f, 10.0f * (float) i / 127.0f + -5.0f)));
            t[128] = t[127];
        }
        float T (float v) const
        {
            v = std::min (5.0f, std::max (-5.0f, v));
            const auto idx = v * 12.7f + 63.5f;
            const auto i = (int) idx;
            const auto f = idx - (float) i;
            return t[i] + f * (t[i + 1] - t[i]);
        }
        float run (float in, float drive)
        {
            const auto inGain = std::pow (drive, -2.642f) * 0.6103f + 0.3903f;
            const auto fbDrive = drive * 0.04f + 0.96f;
            const auto fbGain = std::pow (fbDrive, -2.642f) * 0.6103f + 0.3903f;
            const auto g = 1.0f - p;
            const auto b0 = g * 0.7692307830f, b1 = g * 0.2307692319f;
            const auto u = inGain * T (drive * in);
            const auto a = u + (k * -4.0f) * (fbGain * T (fbDrive * s[4]) - 0.5f * u);
            const auto b = b1 * s[0] + p * s[1] + b0 * a;
            const auto c = b1 * s[1] + p * s[2] + b0 * b;
            const auto d = b1 * s[2] + p * s[3] + b0 * c;
            const auto e = b1 * s[3] + p * s[4] + b0 * d;
            s[0] = a; s[1] = b; s[2] = c; s[3] = d; s[4] = e;
            return 1.2f * c;
        }
    };

    MoogFilter<float> f;
    f.prepare ({ 48000.0, 64, 1 });
    f.setCutoffFrequency (1500.0f);
    f.setResonance (0.7f);
    f.setDrive (2.5f);

    // Both run at the settled coefficients after the glide.
    for (int i = 0; i < 2400; ++i)
        f.updateSmoothers();

    Reference ref;
    ref.p = std::exp ((-6.2831855f / 48000.0f) * 1500.0f);
    ref.k = 0.9f * 0.7f + 0.1f;
    ASSERT_EQ (f.stageCoefficient, ref.p);
    ASSERT_EQ (f.feedbackAmount, ref.k);

    const auto input = makeNoise (4000, 7, 0.9f);
    for (size_t i = 0; i < input.size(); ++i)
    {
        f.updateSmoothers();
        const auto expected = ref.run (input[i], 2.5f);
        ASSERT_EQ (f.processSample (input[i], 0), expected) << "sample " << i;
    }
}

TEST (MoogFilter, NaNInputCannotIndexOutsideTheTable)
{
    MoogFilter<float> f;
    f.prepare ({ 44100.0, 64, 1 });
    f.updateSmoothers();
    EXPECT_TRUE (std::isfinite (f.processSample (std::numeric_limits<float>::quiet_NaN(), 0)));
    EXPECT_TRUE (std::isfinite (f.processSample (std::numeric_limits<float>::infinity(), 0)));
}
