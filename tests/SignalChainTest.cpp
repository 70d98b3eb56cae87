#include "ProcessorHarness.h"

#include <gtest/gtest.h>

namespace
{
constexpr double rate44 = 44100.0;

// Runs one block so the smoothers take their targets, then re-prepares so
// they sit there: the delay, the ducking gain and the filter start settled.
void settle (Harness& h, double sampleRate, int channels = 2)
{
    std::vector<std::vector<float>> silence ((size_t) channels, std::vector<float> (64, 0.0f));
    (void) h.run (silence, 64);
    h.processor->prepareToPlay (sampleRate, 512);
}

// Free-running delay in samples for a TIME value, as the engine computes it.
float freeDelay (float time, double sampleRate)
{
    return (float) ((double) time * (sampleRate * (double) 1.999f) + 1.0);
}

// Synced delay in samples for a TIME value and tempo.
float syncedDelay (float time, float bpm, double sampleRate)
{
    const auto beat = 60.0f / bpm;
    const auto note = timeDivisionValue (timeDivisionIndex (time)) * 4.0f;
    return (float) ((double) (beat * note) * sampleRate);
}

size_t firstAbove (const std::vector<float>& v, size_t from, float threshold = 1.0e-6f)
{
    for (size_t i = from; i < v.size(); ++i)
        if (std::abs (v[i]) > threshold)
            return i;
    return v.size();
}

// A plain wet-only delay: no grains, reverb, ducking, feedback or filter.
Harness makeEchoHarness (double sampleRate, bool sync, float time, std::optional<double> bpm = 120.0,
                         int channels = 2)
{
    Harness h (sampleRate, channels, bpm);
    h.plainDelay();
    h.set ("FEEDBACK", 0.0f);
    h.set ("MIX", 1.0f);
    h.set ("DUAL", 0.0f);
    h.set ("SYNC", sync ? 1.0f : 0.0f);
    h.set ("TIME", time);
    settle (h, sampleRate, channels);
    return h;
}
} // namespace

TEST (SignalChain, ImpulseEchoLandsAtTheDelay)
{
    struct Case { const char* name; double rate; bool sync; float time; std::optional<double> bpm; };
    const Case cases[] = {
        { "free 44.1k", 44100.0, false, 0.25f, 120.0 },
        { "free 48k", 48000.0, false, 0.5f, 120.0 },
        { "synced 120 bpm 44.1k", 44100.0, true, 0.6f, 120.0 },
        { "synced 90 bpm 48k", 48000.0, true, 0.8f, 90.0 },
        { "synced 174 bpm 96k", 96000.0, true, 0.3f, 174.0 },
        { "synced without tempo: 120 bpm", 44100.0, true, 0.6f, std::nullopt },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto h = makeEchoHarness (c.rate, c.sync, c.time, c.bpm);
        const auto d = c.sync ? syncedDelay (c.time, (float) c.bpm.value_or (120.0), c.rate) : freeDelay (c.time, c.rate);
        // The first sample that interpolates any of the impulse.
        const auto onset = (size_t) (100 + (int) std::floor (d));
        const auto length = (int) d + 2000;
        const auto out = h.run ({ makeImpulse (length, 100, 0.5f), makeImpulse (length, 100, 0.5f) }, 512);

        for (int ch = 0; ch < 2; ++ch)
        {
            // MIX 1: the impulse itself is gone, its echo starts at the delay.
            EXPECT_EQ (firstAbove (out[(size_t) ch], 0), onset);
        }
    }
}

TEST (SignalChain, MissingPlayHeadOrTempoMeans120Bpm)
{
    auto withTempo = makeEchoHarness (rate44, true, 0.6f, 120.0);
    auto noTempo = makeEchoHarness (rate44, true, 0.6f, std::nullopt);
    auto noHead = makeEchoHarness (rate44, true, 0.6f, 120.0);
    noHead.processor->setPlayHead (nullptr);

    const auto input = makeNoise (20000, 3);
    const auto a = withTempo.runMono (input, 256);
    EXPECT_EQ (noTempo.runMono (input, 256), a);
    EXPECT_EQ (noHead.runMono (input, 256), a);
}

TEST (SignalChain, DualTapFeedsTheRightChannelAtItsRatio)
{
    struct Case { bool sync; float time; float ratio; };
    const Case cases[] = { { false, 0.25f, 0.618f }, { true, 0.6f, 0.5f } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.sync ? "synced" : "free");
        auto h = makeEchoHarness (rate44, c.sync, c.time);
        h.set ("DUAL", 1.0f);
        const auto d = c.sync ? syncedDelay (c.time, 120.0f, rate44) : freeDelay (c.time, rate44);
        const auto length = (int) d + 2000;
        const auto out = h.run ({ makeImpulse (length, 100, 0.5f), makeImpulse (length, 100, 0.5f) }, 512);

        // DUAL 1: the left hears only the main tap, the right only the dual.
        EXPECT_EQ (firstAbove (out[0], 0), (size_t) (100 + (int) std::floor (d)));
        const auto dualAt = firstAbove (out[1], 0);
        EXPECT_NEAR ((double) dualAt, 100.0 + c.ratio * d, 1.0);
        EXPECT_LT (peak (out[1].data() + 100 + (int) d, 500), 1.0e-3f);
    }
}

TEST (SignalChain, DualWeightsFollowTheLaw)
{
    // DUAL 0.5: left hears main x 1 and dual x 0.375, right main x 0.75 and
    // dual x 0.5. Measured on the taps' echo peaks with the filter wide open.
    auto h = makeEchoHarness (rate44, false, 0.25f);
    h.set ("DUAL", 0.5f);
    const auto d = freeDelay (0.25f, rate44);
    const auto length = (int) d + 2000;
    const auto out = h.run ({ makeImpulse (length, 100, 0.1f), makeImpulse (length, 100, 0.1f) }, 512);

    const auto dualStart = (size_t) (100 + 0.618f * d) - 2;
    const auto mainStart = (size_t) (100 + d) - 2;
    const auto leftDual = peak (out[0].data() + dualStart, 40);
    const auto rightDual = peak (out[1].data() + dualStart, 40);
    const auto leftMain = peak (out[0].data() + mainStart, 40);
    const auto rightMain = peak (out[1].data() + mainStart, 40);
    EXPECT_NEAR (leftDual / rightDual, 0.375f / 0.5f, 0.02f);
    EXPECT_NEAR (rightMain / leftMain, 0.75f, 0.02f);
}

TEST (SignalChain, FeedbackDecaysAndTheLimiterBoundsIt)
{
    auto h = makeEchoHarness (rate44, false, 0.1f);
    h.set ("FEEDBACK", 0.5f);
    const auto d = (int) freeDelay (0.1f, rate44);
    const auto out = h.runMono (makeImpulse (d * 6 + 100, 10, 0.5f), 512);

    float previous = 1.0f;
    for (int k = 1; k <= 5; ++k)
    {
        const auto echo = peak (out.data() + 10 + k * d - 5, 60);
        SCOPED_TRACE (k);
        EXPECT_GT (echo, 0.0f);
        EXPECT_LT (echo, previous);
        previous = echo;
    }

    // Full feedback on loud noise: the recirculation stays bounded.
    auto loud = makeEchoHarness (rate44, false, 0.05f);
    loud.set ("FEEDBACK", 1.0f);
    loud.set ("GRANULAR", 1.0f);
    const auto noisy = loud.runMono (makeNoise (44100 * 10, 11, 1.0f), 512);
    EXPECT_TRUE (allFinite (noisy));
    EXPECT_LT (peak (noisy), 4.0f);
}

TEST (SignalChain, FilterDarkensTheEchoes)
{
    auto energyOfEcho = [] (float filter)
    {
        auto h = makeEchoHarness (rate44, false, 0.1f);
        h.set ("FILTER", filter);
        settle (h, rate44);
        const auto d = (int) freeDelay (0.1f, rate44);
        const auto out = h.runMono (makeSine (d + 4000, 6000.0, rate44, 0.3f), 512);
        return peak (out.data() + d + 1000, 2000);
    };

    const auto open = energyOfEcho (0.0f);
    const auto dark = energyOfEcho (0.8f);
    EXPECT_GT (open, 0.1f);
    EXPECT_LT (dark, open * 0.1f);
}

TEST (SignalChain, OnOffOffPassesInputBitForBitAndKeepsRecording)
{
    auto h = makeEchoHarness (rate44, false, 0.1f);
    h.set ("REVERB", 0.5f);
    h.set ("ONOFF", 0.0f);
    const auto d = (int) freeDelay (0.1f, rate44);
    const auto input = makeNoise (1000, 5, 0.7f);

    const auto bypassed = h.run ({ input, input }, 1000);
    EXPECT_EQ (bypassed[0], input);
    EXPECT_EQ (bypassed[1], input);
    EXPECT_EQ (h.processor->outputPeak.load(), peak (input));

    // The lines recorded while bypassed: switched on, the echoes play.
    h.set ("ONOFF", 1.0f);
    const auto echoes = h.run ({ std::vector<float> ((size_t) d + 500, 0.0f), std::vector<float> ((size_t) d + 500, 0.0f) }, 512);
    EXPECT_GT (peak (echoes[0]), 0.05f);
}

TEST (SignalChain, MixLawAndReverbSkipping)
{
    const auto input = makeNoise (6000, 9, 0.5f);

    // MIX 0 with the reverb off: the input comes back unchanged.
    {
        auto h = makeEchoHarness (rate44, false, 0.01f);
        h.set ("MIX", 0.0f);
        h.set ("FEEDBACK", 0.5f);
        EXPECT_EQ (h.runMono (input, 256), input);
        EXPECT_EQ (h.processor->reverb.getParameters().wetLevel, 0.0f);
    }

    // Above 0.001 the reverb runs over the mixed output.
    {
        auto dry = makeEchoHarness (rate44, false, 0.01f);
        dry.set ("MIX", 0.5f);
        auto wet = makeEchoHarness (rate44, false, 0.01f);
        wet.set ("MIX", 0.5f);
        wet.set ("REVERB", 0.5f);
        EXPECT_NE (wet.runMono (input, 256), dry.runMono (input, 256));
    }

    // REVERB 0.01 at MIX 0.5: wet 0.0025, dry 0.4975.
    {
        auto h = makeEchoHarness (rate44, false, 0.01f);
        h.set ("MIX", 0.5f);
        h.set ("REVERB", 0.01f);
        (void) h.runMono (input, 256);
        EXPECT_EQ (h.processor->reverb.getParameters().wetLevel, (0.01f * 0.5f) * 0.5f);
        EXPECT_EQ (h.processor->reverb.getParameters().dryLevel, 0.5f - (0.01f * 0.5f) * 0.5f);
        EXPECT_EQ (h.processor->reverb.getParameters().roomSize, 0.9f);
        EXPECT_EQ (h.processor->reverb.getParameters().damping, 0.6f);
    }

    // MIX 1: no dry signal at all before the first echo.
    {
        auto h = makeEchoHarness (rate44, false, 0.5f);
        const auto out = h.runMono (input, 256);
        EXPECT_EQ (peak (out), 0.0f);
    }
}

TEST (SignalChain, MixHalfGivesUnityDryAndWet)
{
    auto h = makeEchoHarness (rate44, false, 0.1f);
    h.set ("MIX", 0.5f);
    const auto d = (int) freeDelay (0.1f, rate44);
    const auto out = h.runMono (makeImpulse (d + 500, 10, 0.25f), 512);
    EXPECT_EQ (out[10], 0.25f);

    auto wetOnly = makeEchoHarness (rate44, false, 0.1f);
    const auto reference = wetOnly.runMono (makeImpulse (d + 500, 10, 0.25f), 512);
    for (int i = d; i < d + 200; ++i)
        ASSERT_EQ (out[(size_t) i], reference[(size_t) i]);
}

TEST (SignalChain, OnlyTheFirst4096SamplesOfABlockAreProcessed)
{
    Harness h;
    auto input = makeNoise (5000, 21, 0.5f);
    const auto out = h.runMono (input, 5000);
    EXPECT_NE (std::vector<float> (out.begin(), out.begin() + 4096), std::vector<float> (input.begin(), input.begin() + 4096));
    EXPECT_EQ (std::vector<float> (out.begin() + 4096, out.end()), std::vector<float> (input.begin() + 4096, input.end()));
}

TEST (SignalChain, ChannelsBeyondTheSecondAreUntouched)
{
    Harness h;
    const auto noise = makeNoise (3000, 4, 0.5f);
    const auto out = h.run ({ noise, noise, noise }, 512);
    EXPECT_EQ (out[2], noise);
    EXPECT_NE (out[0], noise);
}

TEST (SignalChain, MonoLayoutProcessesOneChannelWithTheLeftWeights)
{
    auto mono = makeEchoHarness (rate44, false, 0.2f, 120.0, 1);
    mono.set ("DUAL", 0.5f);
    auto stereo = makeEchoHarness (rate44, false, 0.2f);
    stereo.set ("DUAL", 0.5f);

    const auto input = makeImpulse (20000, 10, 0.3f);
    const auto a = mono.runMono (input, 512);
    const auto b = stereo.run ({ input, input }, 512);
    EXPECT_EQ (a, b[0]);
}

TEST (SignalChain, ZeroLengthAndChannelLessBlocksAreHarmless)
{
    Harness h;
    juce::MidiBuffer midi;
    juce::AudioBuffer<float> empty (2, 0);
    juce::AudioBuffer<float> noChannels (0, 512);

    (void) h.runMono (makeNoise (1000, 1), 100);
    for (int i = 0; i < 10; ++i)
    {
        h.processor->processBlock (empty, midi);
        EXPECT_EQ (h.processor->outputPeak.load(), 0.0f);
        h.processor->processBlock (noChannels, midi);
        EXPECT_EQ (h.processor->outputPeak.load(), 0.0f);
    }

    const auto out = h.runMono (makeNoise (1000, 2), 100);
    EXPECT_TRUE (allFinite (out));
}

TEST (SignalChain, SameOutputWhateverTheBlockSize)
{
    // With the parameters held still and no ducking (the one setting taken
    // from the previous block's peak), every block size renders the same
    // samples bit for bit. In stereo the grains are off: both channels draw
    // from one generator, channel after channel within each block, so their
    // sequence follows the block boundaries. One channel keeps them on.
    struct Case { const char* name; int channels; bool granular; bool reverse; };
    constexpr Case cases[] = {
        { "stereo forward", 2, false, false },
        { "stereo reverse", 2, false, true },
        { "mono granular", 1, true, false },
        { "mono granular reverse", 1, true, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto input = makeNoise (30000, 17, 0.5f);
        const std::vector<std::vector<float>> in ((size_t) c.channels, input);
        std::vector<std::vector<float>> reference;

        for (const int blockSize : { 4096, 1, 7, 64, 1000 })
        {
            // Settled first: while the ducking gain ramps, stereo channels
            // share its steps block by block.
            Harness h (48000.0, c.channels);
            h.set ("DUCK", 0.0f);
            h.set ("GRANULAR", c.granular ? 1.0f : 0.0f);
            h.set ("REVERSE", c.reverse ? 1.0f : 0.0f);
            settle (h, 48000.0, c.channels);
            const auto out = h.run (in, blockSize);
            if (reference.empty())
                reference = out;
            else
                EXPECT_EQ (out, reference) << "block size " << blockSize;
        }
    }
}

TEST (SignalChain, DuckingFollowsThePreviousBlocksInputPeak)
{
    auto h = makeEchoHarness (rate44, false, 0.1f);
    h.set ("DUCK", 1.0f);
    (void) h.runMono (makeImpulse (512, 3, 0.5f), 512);
    // The next block sets the target from this block's peak of 0.5.
    (void) h.runMono (std::vector<float> (16, 0.0f), 16);
    EXPECT_EQ (h.processor->duckGain.getTargetValue(), 0.0625f);
    EXPECT_TRUE (h.processor->duckGain.isSmoothing());

    // DUCK 0 ducks only above full scale.
    auto h0 = makeEchoHarness (rate44, false, 0.1f);
    (void) h0.runMono (makeImpulse (512, 3, 0.9f), 512);
    (void) h0.runMono (std::vector<float> (16, 0.0f), 16);
    EXPECT_EQ (h0.processor->duckGain.getTargetValue(), 1.0f);
}

TEST (SignalChain, SampleRateChangeKeepsTheLines)
{
    auto h = makeEchoHarness (rate44, false, 0.1f);
    const auto d = (int) freeDelay (0.1f, rate44);
    (void) h.runMono (makeImpulse (d / 2, 10, 0.5f), 512);

    h.processor->prepareToPlay (48000.0, 512);
    const auto out = h.runMono (std::vector<float> ((size_t) d * 2, 0.0f), 512);
    EXPECT_GT (peak (out), 0.05f);
}

TEST (SignalChain, FreezeHoldsTheLoopAndThawsOver128Writes)
{
    auto h = makeEchoHarness (rate44, false, 0.05f);
    h.set ("FEEDBACK", 0.5f);
    const auto d = (int) freeDelay (0.05f, rate44);
    (void) h.runMono (makeNoise (d * 3, 8, 0.5f), 512);

    h.set ("FREEZE", 1.0f);
    const auto snapshot = std::vector<float> (h.processor->delayLines[0].samples,
                                              h.processor->delayLines[0].samples + 200000);

    // Loud input while frozen: nothing is written, the loop keeps playing.
    const auto frozenOut = h.runMono (makeNoise (d * 4, 9, 0.9f), 512);
    EXPECT_EQ (h.processor->delayLines[0].freezeState, CircularBuffer::frozen);
    EXPECT_EQ (std::vector<float> (h.processor->delayLines[0].samples, h.processor->delayLines[0].samples + 200000), snapshot);
    EXPECT_GT (peak (frozenOut.data() + frozenOut.size() - (size_t) d, (size_t) d), 0.01f);
    EXPECT_GT (h.processor->freezePosition.load(), 0.0f);

    // Released: the lines thaw and are live again after 128 writes.
    h.set ("FREEZE", 0.0f);
    (void) h.runMono (std::vector<float> (127, 0.0f), 127);
    EXPECT_EQ (h.processor->delayLines[0].freezeState, CircularBuffer::thawing);
    (void) h.runMono (std::vector<float> (1, 0.0f), 1);
    EXPECT_EQ (h.processor->delayLines[0].freezeState, CircularBuffer::live);
    EXPECT_EQ (h.processor->dualDelayLines[1].freezeState, CircularBuffer::live);
    (void) h.runMono (std::vector<float> (1, 0.0f), 1);
    EXPECT_EQ (h.processor->freezePosition.load(), 0.0f);
}

TEST (SignalChain, FreezeAtHighFeedbackHoldsGranularOffForTheWholeFreeze)
{
    Harness h;
    h.set ("FEEDBACK", 0.6f);
    (void) h.runMono (makeNoise (20000, 12, 0.5f), 512);
    const auto countdownBefore = h.processor->grainCountdown[0][0];

    h.set ("FREEZE", 1.0f);
    (void) h.runMono (makeNoise (2048, 13, 0.5f), 512);
    h.set ("FEEDBACK", 0.1f);
    (void) h.runMono (makeNoise (2048, 14, 0.5f), 512);

    // Grains did not move during the freeze: granular playback was off.
    EXPECT_EQ (h.processor->grainCountdown[0][0], countdownBefore);
    EXPECT_TRUE (h.processor->granularSuppressed);
    const auto fb = 0.6f, filter = h.get ("FILTER");
    EXPECT_NEAR (h.processor->filterFreezeScale, (1.0f - fb * fb) * (1.0f - filter * filter), 1.0e-6f);

    h.set ("FREEZE", 0.0f);
    (void) h.runMono (makeNoise (512, 15, 0.5f), 512);
    EXPECT_NE (h.processor->grainCountdown[0][0], countdownBefore);
}

TEST (SignalChain, ReversePlaysBackwardsInSegmentsOfOneDelay)
{
    // A rising ramp recorded, then played reversed: within a segment the
    // echo falls sample by sample.
    auto h = makeEchoHarness (rate44, false, 0.05f);
    const auto d = (int) freeDelay (0.05f, rate44);
    std::vector<float> ramp ((size_t) d * 4);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = 0.5f * (float) (i % 4096) / 4096.0f;

    (void) h.runMono (ramp, 512);
    h.set ("REVERSE", 1.0f);
    const auto out = h.runMono (std::vector<float> ((size_t) d * 3, 0.0f), 512);

    // The first segment runs from offset 2 to 2d; its middle (full level,
    // away from the 300-sample fades) is the recording read backwards.
    int falling = 0, rising = 0;
    for (int i = 400; i < d - 400; ++i)
        (out[(size_t) i + 1] < out[(size_t) i] ? falling : rising)++;
    EXPECT_GT (falling, rising * 20);

    // Progress through the segment is published.
    EXPECT_GT (h.processor->reversePosition.load(), 0.0f);
    EXPECT_LE (h.processor->reversePosition.load(), 1.0f);
    EXPECT_FALSE (h.processor->delayLines[0].forward);
}

TEST (SignalChain, ReverseSegmentsRestartAtTwiceTheDelay)
{
    auto h = makeEchoHarness (rate44, false, 0.02f);
    const auto d = freeDelay (0.02f, rate44);
    const auto span = 2.0f * d;

    h.set ("REVERSE", 1.0f);
    float offset = 0.0f;
    int restarts = 0;
    for (int i = 0; i < 3000; ++i)
    {
        (void) h.runMono (std::vector<float> (1, 0.0f), 1);

        // From a reset the offsets run 2, 4, ... up to twice the delay, then
        // every later segment 1, 3, ...
        offset += 2.0f;
        if (span < offset)
        {
            offset = 1.0f;
            ++restarts;
        }
        ASSERT_EQ (h.processor->reversePosition.load(), offset / span) << i;
        ASSERT_EQ (h.processor->reverseOffsets[0], offset);
    }
    EXPECT_EQ (restarts, 1);

    // Off and on again: the offsets restart from 0.
    h.set ("REVERSE", 0.0f);
    (void) h.runMono (std::vector<float> (10, 0.0f), 10);
    h.set ("REVERSE", 1.0f);
    (void) h.runMono (std::vector<float> (1, 0.0f), 1);
    EXPECT_EQ (h.processor->reverseOffsets[0], 2.0f);
    EXPECT_EQ (h.processor->reverseOffsets[1], 2.0f);
}

TEST (SignalChain, ReverseSegmentsFadeOver300SamplesAtEachEnd)
{
    // A steady, quiet level recorded and played reversed: the level out
    // follows the segment's envelope (the filter is wide open and the
    // saturation nearly linear at this level). Free-running, so the dual
    // segments are shorter; DUAL 0 keeps them out of the left channel.
    auto h = makeEchoHarness (rate44, false, 0.05f);
    const auto d = freeDelay (0.05f, rate44);
    (void) h.runMono (std::vector<float> ((size_t) d * 3, 0.01f), 512);

    h.set ("REVERSE", 1.0f);
    const auto out = h.runMono (std::vector<float> ((size_t) d, 0.0f), 512);

    // Sample k of the first segment reads at offset 2(k + 1).
    const auto full = out[(size_t) d / 2];
    ASSERT_GT (full, 0.005f);
    struct Case { int offset; float envelope; };
    const Case cases[] = { { 150, 0.25f }, { 300, 0.5f }, { 450, 0.75f }, { 800, 1.0f } };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.offset);
        EXPECT_NEAR (out[(size_t) (c.offset / 2 - 1)] / full, c.envelope, 0.02f);
    }

    // The fade out: (span - offset) / 600 over the last 300 samples.
    const auto span = 2.0f * d;
    const auto k = (int) (d - 150.0f);
    EXPECT_NEAR (out[(size_t) k] / full, (span - 2.0f * (float) (k + 1)) / 600.0f, 0.02f);
}

TEST (SignalChain, NonFiniteInputNeverReachesTheLines)
{
    Harness h;
    auto input = makeNoise (20000, 31, 0.5f);
    input[100] = std::numeric_limits<float>::quiet_NaN();
    input[5000] = std::numeric_limits<float>::infinity();
    input[7000] = -std::numeric_limits<float>::infinity();

    const auto out = h.run ({ input, input }, 512);
    for (size_t i = 0; i < out[0].size(); ++i)
        ASSERT_TRUE (std::isfinite (out[0][i])) << i;

    const auto later = h.run ({ std::vector<float> (200000, 0.0f), std::vector<float> (200000, 0.0f) }, 512);
    EXPECT_TRUE (allFinite (later[0]));
    EXPECT_TRUE (allFinite (later[1]));
    for (int ch = 0; ch < 2; ++ch)
        for (int k = 0; k < CircularBuffer::capacity; ++k)
            ASSERT_TRUE (std::isfinite (h.processor->delayLines[ch].samples[k]));
}

TEST (SignalChain, NoiseAtEveryRateStaysFiniteWithoutDenormals)
{
    for (const double rate : { 8000.0, 44100.0, 48000.0, 96000.0, 192000.0 })
    {
        SCOPED_TRACE (rate);
        Harness h (rate);
        h.set ("FEEDBACK", 0.9f);
        h.set ("REVERSE", 1.0f);
        auto out = h.run ({ makeNoise ((int) rate, 1), makeNoise ((int) rate, 2) }, 333);
        const auto tail = h.run ({ std::vector<float> ((size_t) rate * 2, 0.0f), std::vector<float> ((size_t) rate * 2, 0.0f) }, 512);
        for (const auto& channel : { out[0], out[1], tail[0], tail[1] })
            for (const auto s : channel)
                ASSERT_TRUE (std::isfinite (s) && (s == 0.0f || std::abs (s) >= std::numeric_limits<float>::min()));
    }
}

TEST (SignalChain, GrainsStartInsideTheirWindowWithMatchingLifetimes)
{
    Harness h;
    h.set ("SYNC", 0.0f);
    h.set ("TIME", 0.5f);
    settle (h, rate44);
    const auto d = freeDelay (0.5f, rate44);

    // The first granular sample starts all 32 grains of each channel.
    (void) h.run ({ std::vector<float> (1, 0.0f), std::vector<float> (1, 0.0f) }, 1);

    int doubled = 0;
    for (int ch = 0; ch < 2; ++ch)
    {
        for (int g = 0; g < QuelmarAudioProcessor::numGrains; ++g)
        {
            const auto delay = h.processor->grainDelay[ch][g];
            const auto lifetime = h.processor->grainCountdown[ch][g];
            const auto isDoubled = delay > 1.5f * d;
            doubled += isDoubled ? 1 : 0;
            const auto base = isDoubled ? delay / 2.0f : delay;
            SCOPED_TRACE (g);
            EXPECT_GE (base, 0.9025f * d * 0.9999f);
            EXPECT_LT (base, 0.9801f * d * 1.0001f);
            EXPECT_NEAR ((float) lifetime, delay, 2.0f);
        }
    }
    EXPECT_LT (doubled, 16);

    // Over many starts about one grain in twenty is doubled, half drift up.
    // A grain lives far longer than a block, so a countdown that went up
    // during a block marks one start.
    int starts = 0, doubledStarts = 0, slower = 0;
    for (int block = 0; block < 1000; ++block)
    {
        int32_t before[QuelmarAudioProcessor::numGrains];
        std::copy (h.processor->grainCountdown[0], h.processor->grainCountdown[0] + QuelmarAudioProcessor::numGrains, before);
        (void) h.run ({ std::vector<float> (512, 0.0f), std::vector<float> (512, 0.0f) }, 512);

        for (int g = 0; g < QuelmarAudioProcessor::numGrains; ++g)
        {
            if (h.processor->grainCountdown[0][g] <= before[g] - 512)
                continue;

            ++starts;
            doubledStarts += h.processor->grainGlide[0][g].getTargetValue() == -0.5f ? 1 : 0;
            slower += h.processor->grainRate[0][g] > 1.0f ? 1 : 0;
        }
    }
    EXPECT_GT (starts, 200);
    EXPECT_NEAR ((double) doubledStarts / starts, 0.05, 0.03);
    EXPECT_NEAR ((double) slower / starts, 0.5, 0.1);
}

TEST (SignalChain, TwoInstancesRenderTheSameAndDoNotShareGrains)
{
    const auto input = makeNoise (20000, 77, 0.5f);
    Harness a, b;
    const auto outA = a.run ({ input, input }, 512);
    const auto outB = b.run ({ input, input }, 512);
    EXPECT_EQ (outA, outB);

    // A third instance running in between changes neither.
    Harness c, d;
    const auto first = c.run ({ input, input }, 512);
    Harness noise;
    (void) noise.run ({ input, input }, 512);
    EXPECT_EQ (first, outA);
    EXPECT_EQ (d.run ({ input, input }, 512), outA);
}
