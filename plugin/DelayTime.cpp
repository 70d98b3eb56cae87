#include "DelayTime.h"

#include "Parameters.h"

namespace DelayTime
{
float usableTempo (bool hostHasTempo, double hostBpm) noexcept
{
    const auto bpm = (float) hostBpm;

    // A tempo of 0 would make the delay infinite, one that is not a number
    // would make it NaN, and one so slow that a beat overflows is no better:
    // all of them count as no tempo.
    if (! hostHasTempo || ! (bpm > 0.0f) || ! std::isfinite (bpm))
        return 120.0f;

    // Four beats of a whole note, in samples at the highest rate, must still
    // be a finite single-precision number.
    const auto beat = 60.0f / bpm;
    if (! std::isfinite (beat) || ! std::isfinite ((float) ((double) (beat * 4.0f) * 1.0e6)))
        return 120.0f;

    return bpm;
}

void fillSampleDelays (State state, double sampleRate, bool sync, float time, float bpm,
                       float* sampleDelays, int n) noexcept
{
    auto& smoother = state.smoother;

    if (sync)
    {
        if (! state.wasSync)
        {
            // Entering sync: a short 0.2 s glide. The current value is left as
            // it is (a TIME fraction read as samples, so at most one sample).
            smoother.reset ((int) (sampleRate * (double) 0.2f));
        }

        const auto row = timeDivisionIndex (time);
        const auto beat = 60.0f / bpm;
        const auto note = timeDivisionValue (row) * 4.0f;
        const auto seconds = beat * note;
        const auto target = (double) (float) ((double) seconds * sampleRate);

        smoother.setTargetValue (target);

        for (int i = 0; i < n; ++i)
            sampleDelays[i] = (float) smoother.getNextValue();

        state.lastSyncedTime = (float) (target / (2.0 * sampleRate));
        state.wasSync = true;
        return;
    }

    if (state.wasSync)
    {
        // Leaving sync: glide for a second from the last synced delay,
        // expressed on the TIME scale, to the free time.
        smoother.reset ((int) sampleRate);
        smoother.setCurrentAndTargetValue ((double) state.lastSyncedTime);
        smoother.setTargetValue ((double) time);
    }
    else if (std::abs (smoother.getTargetValue() - (double) time) > (double) 0.01f)
    {
        smoother.setTargetValue ((double) time);
    }

    state.wasSync = false;

    const auto samplesPerUnit = sampleRate * (double) 1.999f;

    for (int i = 0; i < n; ++i)
        sampleDelays[i] = (float) (smoother.getNextValue() * samplesPerUnit + 1.0);
}

int ringLength (double sampleRate, float bpm) noexcept
{
    const auto beat = (double) (60.0f / bpm);
    const auto eightBeats = (float) (sampleRate * beat) * 8.0f;

    if (eightBeats >= 768000.0f)
        return 767998;

    if (! (eightBeats >= 1.0f))
        return 1;

    return (int) eightBeats;
}
} // namespace DelayTime
