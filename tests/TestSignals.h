#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

// Signal makers and measurements shared by the tests.

inline std::vector<float> makeImpulse (int length, int at = 0, float height = 1.0f)
{
    std::vector<float> v ((size_t) length, 0.0f);
    if (at >= 0 && at < length)
        v[(size_t) at] = height;
    return v;
}

inline std::vector<float> makeSine (int length, double freqHz, double sampleRate, float amplitude = 0.5f)
{
    std::vector<float> v ((size_t) length);
    for (int i = 0; i < length; ++i)
        v[(size_t) i] = amplitude * (float) std::sin (2.0 * 3.141592653589793 * freqHz * i / sampleRate);
    return v;
}

inline std::vector<float> makeNoise (int length, uint32_t seed, float amplitude = 0.5f)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> dist (-amplitude, amplitude);
    std::vector<float> v ((size_t) length);
    for (auto& s : v)
        s = dist (rng);
    return v;
}

inline float peak (const float* data, size_t length)
{
    float p = 0.0f;
    for (size_t i = 0; i < length; ++i)
        p = std::max (p, std::abs (data[i]));
    return p;
}

inline float peak (const std::vector<float>& v) { return peak (v.data(), v.size()); }

inline bool allFinite (const std::vector<float>& v)
{
    return std::all_of (v.begin(), v.end(), [] (float s) { return std::isfinite (s); });
}

inline size_t indexOfPeak (const std::vector<float>& v, size_t from = 0, size_t to = SIZE_MAX)
{
    to = std::min (to, v.size());
    size_t best = from;
    for (size_t i = from; i < to; ++i)
        if (std::abs (v[i]) > std::abs (v[best]))
            best = i;
    return best;
}
