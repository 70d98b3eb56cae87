#pragma once

#include <cmath>
#include <cstdint>

// The delay line: a fixed ring of up to 768000 samples with one write
// position, linearly interpolated fractional reads, and a built-in freeze.
//
// While frozen the engine stops writing, the write position becomes a play
// position cycling over the loop, and every read is folded into the loop made
// of the last loopLength samples recorded before the freeze. A 128-entry
// table hides the seam where the loop wraps. Releasing the freeze fades the
// next 128 writes in over the old material.
//
// All storage lives inside the object (about 3 MB): nothing is allocated after
// construction and nothing clears the ring, so a line keeps its content across
// re-preparation and sample-rate changes.
class CircularBuffer
{
public:
    static constexpr int capacity = 768000;
    static constexpr int crossfadeLength = 128;

    enum FreezeState : int32_t
    {
        live = 0,
        frozen = 1,
        thawing = 2
    };

    // Reads the sample `delay` samples behind the write position. `freeze` is
    // the caller's freeze request for this read and drives the freeze state
    // machine; grain reads never re-measure the loop.
    float pop (float delay, bool freeze, bool grainRead) noexcept
    {
        delay = wrapDelay (delay);

        if (freeze)
        {
            if (freezeState == live)
            {
                freezeStart = writeIndex;
                freezeState = frozen;

                if (grainRead)
                    loopLength = (int32_t) delay;
            }

            if (freezeState == frozen && forward && ! grainRead)
            {
                const auto measured = (int32_t) delay;

                if (measured != loopLength)
                {
                    loopLength = measured;
                    buildCrossfade (delay);
                }
            }
        }
        else if (freezeState == frozen)
        {
            freezeState = thawing;
            thawCountdown = crossfadeLength;
        }

        auto pos = (float) writeIndex - delay;
        const bool isFrozen = freezeState == frozen;

        if (isFrozen)
            pos = foldIntoLoop (pos);

        int32_t i = 0;
        const auto out = interpolateAt (pos, i);

        return isFrozen ? applyLoopSeam (i, out) : out;
    }

    // Writes one sample at the write position; crossfaded while thawing.
    void push (float value) noexcept
    {
        if (writeIndex < 0 || writeIndex >= length)
            writeIndex = 0;

        if (freezeState == thawing)
        {
            const auto c = thawCountdown;
            thawCountdown = c - 1;
            const auto t = (float) c * 0.0078125f;
            samples[writeIndex] = value * (1.0f - t) + t * samples[writeIndex];

            if (c <= 1)
            {
                freezeState = live;
                // Forces the next freeze to measure its loop (and build its
                // seam table) on its first forward read.
                loopLength = 1;
            }
        }
        else
        {
            samples[writeIndex] = value;
        }
    }

    // Moves the write position on by one sample. While frozen it is a play
    // position cycling over [freezeStart, freezeStart + loopSpan) so that the
    // reads, at their delay behind it, walk through the loop.
    void advance (float loopSpan) noexcept
    {
        ++writeIndex;

        if (freezeState == frozen)
        {
            // The second test only matters for a span that is not finite: the
            // play position must not run away (and overflow) during a long freeze.
            if ((float) writeIndex >= (float) freezeStart + loopSpan || writeIndex - freezeStart > (1 << 30))
                writeIndex = freezeStart;
        }
        else if (writeIndex >= length)
        {
            writeIndex = 0;
        }
    }

    // The engine sets length and forward directly and reads freezeState and
    // loopPosition; the rest is the line's own bookkeeping.
    float samples[capacity] {};
    float crossfade[crossfadeLength] {};
    int32_t length = capacity;
    int32_t writeIndex = 0;
    bool forward = true;
    int32_t freezeState = live;
    int32_t thawCountdown = 0;
    int32_t freezeStart = 0;
    int32_t loopLength = 0;
    float loopPosition = 0.0f;

private:
    // Brings any delay into [0, length]. Ordinary delays take at most one
    // step; far-out ones are reduced with fmod, which gives the same result as
    // stepping by whole lengths for every delay below 2^24 samples (each of
    // those steps is exact) and finishes in bounded time for the rest. A delay
    // that is not a number reads as 0.
    float wrapDelay (float delay) const noexcept
    {
        const auto len = (float) length;

        if (delay > len)
        {
            if (delay <= 2.0f * len)
                return delay - len;

            if (! std::isfinite (delay))
                return 0.0f;

            const auto r = std::fmod (delay, len);
            return r == 0.0f ? len : r;
        }

        if (delay < 0.0f)
        {
            if (delay >= -len)
                return delay + len;

            if (! std::isfinite (delay))
                return 0.0f;

            const auto r = std::fmod (delay, len);
            return r < 0.0f ? r + len : r;
        }

        if (delay != delay)
            return 0.0f;

        return delay;
    }

    // The linear interpolation at a read position, which is brought into the
    // ring first; i receives the index of the earlier of the two samples.
    float interpolateAt (float pos, int32_t& i) const noexcept
    {
        if (pos < 0.0f)
            pos += (float) length;

        i = (int32_t) pos;
        const auto frac = pos - (float) i;

        if (i < 0 || i >= length)
            i = wrapIndex (i);

        auto j = i + 1;
        if (j >= length)
            j -= length;

        return samples[j] * frac + (1.0f - frac) * samples[i];
    }

    int32_t wrapIndex (int32_t index) const noexcept
    {
        index %= length;
        return index < 0 ? index + length : index;
    }

    // Folds a read position into the loop [freezeStart - loopLength,
    // freezeStart). Ten steps at most each way: a read further away than that
    // stays outside the loop, but never outside the ring.
    float foldIntoLoop (float pos) const noexcept
    {
        const auto s = (float) freezeStart;
        const auto L = (float) loopLength;

        for (int n = 0; n < 10 && pos < s; ++n)
            pos += L;

        for (int n = 0; n < 10 && pos >= s; ++n)
            pos -= L;

        return pos;
    }

    // Records where the read fell in the loop and, over the last 127 samples
    // before the loop's end, replaces the read by the seam table.
    float applyLoopSeam (int32_t i, float out) noexcept
    {
        const auto L = loopLength;

        // A loop shorter than one sample has no seam and no position in it.
        if (L < 1)
        {
            loopPosition = 0.0f;
            return out;
        }

        auto k = i;
        for (int n = 0; n < 10 && k >= freezeStart; ++n)
            k -= L;

        const auto distance = freezeStart - k;
        loopPosition = (float) (L - distance) / (float) L;

        if (distance >= 1 && distance <= crossfadeLength - 1)
            return crossfade[crossfadeLength - distance];

        return out;
    }

    // Entry k belongs to the read index freezeStart - 128 + k: towards the
    // loop's end the output moves from the recorded material to the material
    // one loop earlier, which runs on seamlessly into the loop's start.
    void buildCrossfade (float delay) noexcept
    {
        for (int k = 0; k < crossfadeLength; ++k)
        {
            const auto t = (float) k * 0.0078125f;
            const auto a = freezeStart - crossfadeLength + k;
            const auto b = (int32_t) ((float) a - delay);
            crossfade[k] = (1.0f - t * t) * samples[wrapIndex (a)]
                           + (1.0f - (1.0f - t) * (1.0f - t)) * samples[wrapIndex (b)];
        }
    }
};
