#include "GrainRandom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

TEST (GrainRandom, MatchesTheCLibrarySequenceFromSeedOne)
{
    std::srand (1);
    GrainRandom random;
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ (random.next(), std::rand()) << "draw " << i;
}

TEST (GrainRandom, InstancesKeepSeparateState)
{
    GrainRandom a, b;
    const auto first = a.next();
    (void) a.next();
    EXPECT_EQ (b.next(), first);
}

TEST (GrainRandom, DrawsAreThirtyOneBitIntegers)
{
    EXPECT_EQ (4.656613e-10f, std::ldexp (1.0f, -31));
    GrainRandom random;
    for (int i = 0; i < 100000; ++i)
    {
        const auto v = random.next();
        ASSERT_GE (v, 0);
        ASSERT_LE (v, GrainRandom::maxValue);
    }
}
