#include "DelayTime.h"
#include "Parameters.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace
{
// The delay-time stage with its own state, as the processor holds it after
// prepareToPlay at the given rate.
struct Stage
{
    juce::SmoothedValue<double> smoother;
    bool wasSync = false;
    float lastSyncedTime = 0.0f;
    double rate;

    explicit Stage (double sampleRate) : rate (sampleRate) { smoother.reset (sampleRate, 1.0); }

    std::vector<float> block (bool sync, float time, float bpm, int n)
    {
        std::vector<float> delays ((size_t) std::max (n, 1), -1.0f);
        DelayTime::fillSampleDelays ({ smoother, wasSync, lastSyncedTime }, rate, sync, time, bpm, delays.data(), n);
        return delays;
    }

    std::vector<float> run (bool sync, float time, float bpm, int total, int blockSize = 512)
    {
        std::vector<float> all;
        for (int done = 0; done < total; done += blockSize)
        {
            const auto d = block (sync, time, bpm, std::min (blockSize, total - done));
            all.insert (all.end(), d.begin(), d.begin() + std::min (blockSize, total - done));
        }
        return all;
    }
};
} // namespace

TEST (DelayTime, SyncedQuarterTripletAt120BpmRampsInAFifthOfASecond)
{
    Stage stage (44100.0);
    const auto delays = stage.run (true, 0.6f, 120.0f, 10000);

    // E = 0.5 s per beat x 4 x 0.165 x 44100 = 14553 samples (in single
    // precision a hair above), reached exactly after 8820 steps.
    const auto target = (float) ((double) (0.5f * (0.165f * 4.0f)) * 44100.0);
    EXPECT_NEAR (target, 14553.0f, 0.002f);
    EXPECT_EQ (delays[8819], target);
    EXPECT_EQ (delays[9999], target);
    EXPECT_LT (delays[8818], target);
    EXPECT_NEAR (delays[0], 14553.0f / 8820.0f, 1.0e-3f);
    EXPECT_NEAR (delays[4409], 14553.0f * 4410.0f / 8820.0f, 0.05f);
    EXPECT_EQ (stage.lastSyncedTime, 0.165f);
    EXPECT_TRUE (stage.wasSync);
}

TEST (DelayTime, EnteringSyncStartsFromTheTimeFractionReadAsSamples)
{
    Stage stage (44100.0);
    (void) stage.run (false, 0.5f, 120.0f, 50000);
    ASSERT_EQ (stage.smoother.getCurrentValue(), 0.5);

    const auto delays = stage.run (true, 0.5f, 120.0f, 9000);
    const auto target = (float) (0.5 * 4.0 * 0.1875 * 44100.0);
    EXPECT_NEAR (delays[0], 0.5f + (target - 0.5f) / 8820.0f, 1.0e-3f);
    EXPECT_EQ (delays[8819], target);
}

TEST (DelayTime, LeavingSyncGlidesOverOneSecondFromTheLastSyncedTime)
{
    Stage stage (44100.0);
    (void) stage.run (true, 0.6f, 120.0f, 10000);
    const auto delays = stage.run (false, 0.3f, 120.0f, 44200);

    const auto samplesPerUnit = 44100.0 * (double) 1.999f;
    const auto step = (0.3 - (double) 0.165f) / 44100.0;
    EXPECT_EQ (delays[0], (float) (((double) 0.165f + step) * samplesPerUnit + 1.0));
    EXPECT_EQ (delays[44099], (float) ((double) 0.3f * samplesPerUnit + 1.0));
    EXPECT_FALSE (stage.wasSync);
}

TEST (DelayTime, FreeTargetMovesOnlyBeyondOneHundredth)
{
    Stage stage (48000.0);
    (void) stage.run (false, 0.5f, 120.0f, 60000);
    ASSERT_EQ (stage.smoother.getTargetValue(), (double) 0.5f);

    (void) stage.block (false, 0.505f, 120.0f, 16);
    EXPECT_EQ (stage.smoother.getTargetValue(), (double) 0.5f);

    (void) stage.block (false, 0.52f, 120.0f, 16);
    EXPECT_EQ (stage.smoother.getTargetValue(), (double) 0.52f);
    EXPECT_TRUE (stage.smoother.isSmoothing());
}

TEST (DelayTime, FirstFreeBlockAfterConstructionGlidesUpFromOneSample)
{
    Stage stage (44100.0);
    const auto delays = stage.run (false, 1.0f, 120.0f, 44100);
    EXPECT_NEAR (delays[0], 1.0f + 1.999f, 1.0e-3f);
    EXPECT_EQ (delays[44099], (float) (1.0 * 44100.0 * (double) 1.999f + 1.0));
}

TEST (DelayTime, EmptyBlockStillTracksTheMode)
{
    Stage stage (44100.0);
    (void) stage.block (true, 0.6f, 120.0f, 0);
    EXPECT_TRUE (stage.wasSync);
    EXPECT_EQ (stage.smoother.getCurrentValue(), 0.0);
    EXPECT_EQ (stage.lastSyncedTime, 0.165f);
}

TEST (DelayTime, RingHoldsEightBeatsUpToTheCap)
{
    struct Case { double rate; float bpm; int length; };
    constexpr Case cases[] = {
        { 44100.0, 120.0f, 176400 }, { 48000.0, 120.0f, 192000 }, { 48000.0, 20.0f, 767998 },
        { 192000.0, 120.0f, 768000 - 2 }, { 192000.0, 240.0f, 384000 }, { 8000.0, 999.0f, 3843 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.bpm);
        EXPECT_EQ (DelayTime::ringLength (c.rate, c.bpm), c.length);
    }
}

TEST (DelayTime, TempoThatIsNotAUsableNumberCountsAsNone)
{
    struct Case { bool has; double bpm; float expected; };
    const Case cases[] = {
        { false, 90.0, 120.0f }, { true, 90.0, 90.0f }, { true, 0.0, 120.0f }, { true, -60.0, 120.0f },
        { true, std::numeric_limits<double>::quiet_NaN(), 120.0f },
        { true, std::numeric_limits<double>::infinity(), 120.0f },
        { true, 1.0e-40, 120.0f }, { true, 1.0e300, 120.0f }, { true, 300.5, 300.5f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.bpm);
        EXPECT_EQ (DelayTime::usableTempo (c.has, c.bpm), c.expected);
    }
}
