#pragma once

#include <cstdint>

// The grains' random numbers: 31-bit uniform integers from an additive
// lagged-Fibonacci generator (lags 31 and 3, seeded by a Lehmer sequence).
// With seed 1 it yields the same sequence as the C library's rand() in a
// fresh glibc process, so a new instance renders exactly as a standalone
// program built on rand() would, while every instance keeps its own state:
// two plug-ins in one host never disturb each other's grains.
class GrainRandom
{
public:
    static constexpr int32_t maxValue = 0x7fffffff;

    explicit GrainRandom (uint32_t seed = 1) noexcept { setSeed (seed); }

    void setSeed (uint32_t seed) noexcept
    {
        if (seed == 0)
            seed = 1;

        auto word = (int32_t) seed;
        state[0] = word;

        for (int i = 1; i < degree; ++i)
        {
            // 16807 * word mod (2^31 - 1) without overflow.
            const auto hi = word / 127773;
            const auto lo = word % 127773;
            word = 16807 * lo - 2836 * hi;

            if (word < 0)
                word += 2147483647;

            state[i] = word;
        }

        front = separation;
        rear = 0;

        for (int i = 0; i < 10 * degree; ++i)
            (void) next();
    }

    // Uniform in 0 .. 2^31 - 1.
    int32_t next() noexcept
    {
        const auto value = (uint32_t) state[front] + (uint32_t) state[rear];
        state[front] = (int32_t) value;

        if (++front >= degree)
        {
            front = 0;
            ++rear;
        }
        else if (++rear >= degree)
        {
            rear = 0;
        }

        return (int32_t) (value >> 1);
    }

private:
    static constexpr int degree = 31;
    static constexpr int separation = 3;

    int32_t state[degree] {};
    int front = separation;
    int rear = 0;
};
