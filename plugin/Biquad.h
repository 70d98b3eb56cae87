#pragma once

#include <cmath>

// Direct-form-I second-order section in single precision.
class Biquad
{
public:
    virtual ~Biquad() = default;

    float processSample (float x) noexcept
    {
        const auto y = ((a1 * x1 + a0 * x) + a2 * x2) - b1 * y1 - b2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }

    float x1 = 0.0f, x2 = 0.0f;
    float y1 = 0.0f, y2 = 0.0f;
    float a0 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    float b1 = 0.0f, b2 = 0.0f;
};

// Second-order Butterworth high-pass (Q = 1/sqrt 2). Re-designing only
// rewrites the coefficients: the filter state carries on.
class SO_BUTTERWORTH_HPF : public Biquad
{
public:
    ~SO_BUTTERWORTH_HPF() override = default;

    void calculateCoefficients (float cutoffHz, int sampleRateHz) noexcept
    {
        constexpr double sqrt2 = 1.4142135623730951;
        constexpr double pi = 3.141592653589793;

        const auto c = (double) (float) std::tan (pi * (double) cutoffHz / (double) sampleRateHz);

        a0 = (float) (1.0 / ((sqrt2 * c + 1.0) + c * c));
        a1 = -2.0f * a0;
        a2 = a0;
        b1 = (float) ((c * c - 1.0) * (2.0 * (double) a0));
        b2 = (float) (((1.0 - sqrt2 * c) + c * c) * (double) a0);
    }
};
