#include "Biquad.h"

#include <gtest/gtest.h>

TEST (HighPass, CoefficientsMatchTheReferenceTable)
{
    struct Case { int rate; float a0, a1, b1, b2; };
    constexpr Case cases[] = {
        { 44100, 0.98500174f, -1.97000349f, -1.96977854f, 0.97022843f },
        { 48000, 0.98621190f, -1.97242379f, -1.97223365f, 0.97261393f },
        { 96000, 0.99308205f, -1.98616409f, -1.98611629f, 0.98621196f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.rate);
        SO_BUTTERWORTH_HPF hp;
        hp.calculateCoefficients (150.0f, c.rate);
        EXPECT_EQ (hp.a0, c.a0);
        EXPECT_EQ (hp.a2, c.a0);
        EXPECT_EQ (hp.a1, c.a1);
        EXPECT_EQ (hp.b1, c.b1);
        EXPECT_EQ (hp.b2, c.b2);
    }
}

TEST (HighPass, DirectCurrentDecaysToZero)
{
    SO_BUTTERWORTH_HPF hp;
    hp.calculateCoefficients (150.0f, 44100);
    EXPECT_EQ (hp.a0 + hp.a1 + hp.a2, 0.0f);

    float y = 1.0f;
    for (int i = 0; i < 44100; ++i)
        y = hp.processSample (1.0f);
    EXPECT_LT (std::abs (y), 1.0e-6f);
}

TEST (HighPass, FractionalRateUsesItsWholePart)
{
    SO_BUTTERWORTH_HPF exact, fractional;
    exact.calculateCoefficients (150.0f, 44100);
    fractional.calculateCoefficients (150.0f, (int) (float) 44100.9);
    EXPECT_EQ (exact.a0, fractional.a0);
    EXPECT_EQ (exact.b1, fractional.b1);
}

TEST (HighPass, RedesignKeepsTheStateAndUnpreparedOutputsZero)
{
    SO_BUTTERWORTH_HPF hp;
    EXPECT_EQ (hp.processSample (1.0f), 0.0f);

    hp.calculateCoefficients (150.0f, 44100);
    const auto first = hp.processSample (0.5f);
    EXPECT_EQ (first, hp.a1 * 1.0f + hp.a0 * 0.5f);
    hp.calculateCoefficients (150.0f, 96000);
    EXPECT_EQ (hp.x1, 0.5f);
    EXPECT_EQ (hp.y1, first);
}
