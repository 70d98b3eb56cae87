#include "CircularBuffer.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
// A ring whose sample at index k holds k + 1, with the write position at w.
std::unique_ptr<CircularBuffer> makeRamp (int length, int w)
{
    auto line = std::make_unique<CircularBuffer>();
    line->length = length;
    for (int k = 0; k < length; ++k)
        line->samples[k] = (float) (k + 1);
    line->writeIndex = w;
    return line;
}
} // namespace

TEST (CircularBuffer, FractionalReadsWrapIntoTheRing)
{
    constexpr int length = 1000;
    constexpr int w = 300;
    struct Case { float delay; float expected; const char* name; };
    const Case cases[] = {
        { 0.0f, 301.0f, "delay 0 reads the oldest sample" },
        { 1.0f, 300.0f, "delay 1 reads the newest sample" },
        { 0.5f, 300.5f, "delay 0.5 interpolates" },
        { 10.0f, 291.0f, "delay 10" },
        { (float) length, 301.0f, "delay length reads as delay 0" },
        { (float) length + 10.0f, 291.0f, "delay length + 10 reads as 10" },
        { -10.0f, 311.0f, "delay -10 reads as length - 10" },
        { 301.0f, 1000.0f, "read position wraps below zero" },
        { 300.5f, 500.5f, "interpolation across the ring's seam" },
        { 5.0f * length + 10.0f, 291.0f, "many lengths out" },
        { -7.0f * length - 10.0f, 311.0f, "many lengths back" },
        { 3.0e9f, 301.0f, "absurdly far out finishes and stays in the ring" },
        { std::numeric_limits<float>::infinity(), 301.0f, "infinite delay reads as 0" },
        { std::numeric_limits<float>::quiet_NaN(), 301.0f, "NaN delay reads as 0" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto line = makeRamp (length, w);
        EXPECT_EQ (line->pop (c.delay, false, false), c.expected);
    }
}

TEST (CircularBuffer, PushWritesAtTheWritePositionAndAdvanceWraps)
{
    auto line = std::make_unique<CircularBuffer>();
    line->length = 4;
    for (int k = 0; k < 6; ++k)
    {
        line->push ((float) (k + 1));
        line->advance (1.0f);
    }
    // 1..6 written into a ring of 4: 5, 6, 3, 4, next write at index 2.
    EXPECT_EQ (line->samples[0], 5.0f);
    EXPECT_EQ (line->samples[1], 6.0f);
    EXPECT_EQ (line->samples[2], 3.0f);
    EXPECT_EQ (line->writeIndex, 2);
    EXPECT_EQ (line->pop (1.0f, false, false), 6.0f);

    // A write position left outside a shrunken ring starts again at 0.
    line->writeIndex = 3;
    line->length = 2;
    line->push (9.0f);
    EXPECT_EQ (line->samples[0], 9.0f);
}

TEST (CircularBuffer, FreezeLoopsTheLastDelayWithTheSeamTable)
{
    constexpr int length = 4000;
    auto line = makeRamp (length, 1000);
    constexpr float delay = 441.0f;

    // The reference seam table, built the slow way.
    float table[128];
    for (int k = 0; k < 128; ++k)
    {
        const auto t = (float) k / 128.0f;
        const auto a = 1000 - 128 + k;
        const auto b = (int) ((float) a - delay);
        table[k] = (1.0f - t * t) * line->samples[a] + (1.0f - (1.0f - t) * (1.0f - t)) * line->samples[b];
    }

    // Two full loops: indices 559..999, then 559 again.
    for (int step = 0; step < 2 * 441 + 3; ++step)
    {
        const auto out = line->pop (delay, true, false);
        const auto readIndex = 559 + step % 441;
        const auto distance = 1000 - readIndex;
        const auto expected = distance <= 127 ? table[128 - distance] : line->samples[readIndex];

        SCOPED_TRACE (step);
        ASSERT_EQ (line->freezeState, CircularBuffer::frozen);
        ASSERT_EQ (line->loopLength, 441);
        ASSERT_EQ (out, expected);
        ASSERT_EQ (line->loopPosition, (float) (441 - distance) / 441.0f);
        line->advance (delay);
    }
}

TEST (CircularBuffer, ReMeasuresOnlyWhenTheWholeLoopLengthChanges)
{
    auto line = makeRamp (4000, 1000);
    (void) line->pop (441.7f, true, false);
    ASSERT_EQ (line->loopLength, 441);
    const auto tableBefore = line->crossfade[5];

    (void) line->pop (441.2f, true, false);
    EXPECT_EQ (line->loopLength, 441);

    // A grain read never re-measures.
    (void) line->pop (900.0f, true, true);
    EXPECT_EQ (line->loopLength, 441);
    EXPECT_EQ (line->crossfade[5], tableBefore);

    // Nor does a reversed read.
    line->forward = false;
    (void) line->pop (700.0f, true, false);
    EXPECT_EQ (line->loopLength, 441);
    line->forward = true;

    (void) line->pop (442.0f, true, false);
    EXPECT_EQ (line->loopLength, 442);

    // Rebuilt for the new length: entry 0 mixes in the sample one loop back.
    const auto a = 1000 - 128;
    EXPECT_EQ (line->crossfade[0], line->samples[a]);
    EXPECT_EQ (line->crossfade[64], 0.75f * line->samples[a + 64] + 0.75f * line->samples[a + 64 - 442]);
}

TEST (CircularBuffer, GrainReadThatEngagesAFreezeTakesItsOwnLoopLength)
{
    auto line = makeRamp (4000, 1000);
    (void) line->pop (300.9f, true, true);
    EXPECT_EQ (line->freezeState, CircularBuffer::frozen);
    EXPECT_EQ (line->loopLength, 300);
    EXPECT_EQ (line->freezeStart, 1000);
}

TEST (CircularBuffer, ThawCrossfadesTheNext128Writes)
{
    auto line = makeRamp (4000, 1000);
    (void) line->pop (441.0f, true, false);
    line->advance (441.0f);
    const auto p = line->writeIndex;

    (void) line->pop (441.0f, false, false);
    ASSERT_EQ (line->freezeState, CircularBuffer::thawing);

    for (int c = 128; c >= 1; --c)
    {
        SCOPED_TRACE (c);
        const auto index = p + (128 - c);
        const auto old = line->samples[index];
        line->push (-1.0f);
        const auto t = (float) c / 128.0f;
        ASSERT_EQ (line->samples[index], -1.0f * (1.0f - t) + t * old);
        ASSERT_EQ (line->freezeState, c > 1 ? CircularBuffer::thawing : CircularBuffer::live);
        line->advance (441.0f);
    }

    EXPECT_EQ (line->loopLength, 1);
    line->push (-2.0f);
    EXPECT_EQ (line->samples[p + 128], -2.0f);
}

TEST (CircularBuffer, FreezeRequestWhileThawingReadsPlainly)
{
    auto line = makeRamp (4000, 1000);
    (void) line->pop (441.0f, true, false);
    (void) line->pop (441.0f, false, false);
    ASSERT_EQ (line->freezeState, CircularBuffer::thawing);

    EXPECT_EQ (line->pop (2000.0f, true, false), line->samples[1000 - 2000 + 4000]);
    EXPECT_EQ (line->freezeState, CircularBuffer::thawing);
}

TEST (CircularBuffer, LoopShorterThanOneSampleStaysUnfoldedAndInBounds)
{
    auto line = makeRamp (4000, 1000);
    const auto out = line->pop (0.5f, true, false);
    EXPECT_EQ (line->loopLength, 0);
    EXPECT_EQ (line->loopPosition, 0.0f);
    EXPECT_EQ (out, 0.5f * 1001.0f + 0.5f * 1000.0f);

    for (int i = 0; i < 10; ++i)
    {
        line->advance (0.5f);
        EXPECT_TRUE (std::isfinite (line->pop (0.5f, true, false)));
    }
}

TEST (CircularBuffer, FrozenPlayPositionBeyondAShrunkenRingStaysInBounds)
{
    auto line = makeRamp (700000, 600000);
    (void) line->pop (50000.0f, true, false);

    // The tempo doubles during the freeze: the ring shrinks below the loop.
    line->length = 1000;
    for (int i = 0; i < 3000; ++i)
    {
        EXPECT_TRUE (std::isfinite (line->pop (50000.0f, true, false)));
        EXPECT_TRUE (std::isfinite (line->pop (123.0f, true, true)));
        line->advance (50000.0f);
    }
}
