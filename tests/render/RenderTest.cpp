#include "Plot.h"
#include "Render.h"
#include "RenderFixtures.h"

#include <cmath>
#include <cstring>
#include <random>

// What a render must do for its audio: the effect heard exactly as a host
// would hear it, in the file's format, with the tail appended.

namespace
{
size_t firstAbove (const std::vector<float>& v, size_t from, float threshold = 1.0e-6f)
{
    for (size_t i = from; i < v.size(); ++i)
        if (std::abs (v[i]) > threshold)
            return i;
    return v.size();
}

Channels impulses (int numChannels, size_t length, size_t at, float height)
{
    Channels c ((size_t) numChannels, std::vector<float> (length, 0.0f));
    for (auto& channel : c)
        channel[at] = height;
    return c;
}

Render::Options renderOptions (const ScratchFolder& scratch, const juce::String& input, const juce::String& output)
{
    Render::Options options;
    if (input.isNotEmpty())
        options.inputFile = scratch.file (input);
    options.outputFile = scratch.file (output);
    return options;
}

// The plain echo: one tap, no grains, reverb, ducking, filter or feedback,
// and nothing of the dry signal.
const std::vector<Render::Setting> plainEcho = {
    { "GRANULAR", "off" }, { "REVERB", "0" }, { "DUCK", "0" }, { "FILTER", "0" },
    { "MIX", "1" },        { "DUAL", "0" },   { "FEEDBACK", "0" },
};

bool sameBits (const std::vector<float>& a, const float* b, size_t length)
{
    return a.size() >= length && std::memcmp (a.data(), b, length * sizeof (float)) == 0;
}

// Noise with the values a float file can carry that integer files cannot:
// beyond full scale, and far below the smallest integer step.
std::vector<float> floatOnlyNoise (size_t length, uint32_t seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> dist (-1.5f, 1.5f);
    std::vector<float> v (length);
    for (auto& s : v)
        s = dist (rng);
    v[1] = 1.0e-30f;
    v[2] = -3.0e-39f; // subnormal
    return v;
}
} // namespace

TEST (RenderAudio, ImpulseEchoLandsAtTheDelay)
{
    // The processor starts from a fresh state, so the free delay glides up
    // from one sample over the first second and a sync starts with a 0.2 s
    // glide: the impulse waits 1.5 s for both.
    struct Case
    {
        const char* name;
        double rate;
        int channels, bits, block;
        bool sync;
        const char* time;
        std::optional<double> bpm;
        double expectedDelaySamples; // from the control's law, not the engine
    };

    // Free: TIME x 1.999 s plus one sample. Synced TIME 0.65 is a quarter
    // note: one beat.
    auto freeDelay = [] (double time, double rate) { return (double) (float) (time * (rate * (double) 1.999f) + 1.0); };
    const Case cases[] = {
        { "free, 44.1 kHz stereo float", 44100.0, 2, 32, 512, false, "0.25", 120.0, freeDelay (0.25, 44100.0) },
        { "free, 48 kHz mono 24-bit, odd blocks", 48000.0, 1, 24, 37, false, "0.5", 120.0, freeDelay (0.5, 48000.0) },
        { "free, 96 kHz stereo 16-bit, long blocks", 96000.0, 2, 16, 4096, false, "0.75", 120.0, freeDelay (0.75, 96000.0) },
        { "synced at 90 BPM, 48 kHz", 48000.0, 2, 32, 256, true, "0.65", 90.0, 48000.0 * 60.0 / 90.0 },
        { "synced without a play head: 120 BPM", 44100.0, 1, 16, 1, true, "0.65", std::nullopt, 44100.0 * 0.5 },
        { "synced at 174 BPM, 8 kHz", 8000.0, 1, 32, 64, true, "0.65", 174.0, 8000.0 * 60.0 / 174.0 },
    };

    ScratchFolder scratch;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto at = (size_t) (1.5 * c.rate);
        const auto inputLength = at + (size_t) (0.1 * c.rate);
        ASSERT_TRUE (writeWav (scratch.file ("in.wav"), impulses (c.channels, inputLength, at, 0.5f), c.rate, c.bits));

        auto options = renderOptions (scratch, "in.wav", "out.wav");
        options.settings = plainEcho;
        options.settings.push_back ({ "SYNC", c.sync ? "on" : "off" });
        options.settings.push_back ({ "TIME", c.time });
        options.bpm = c.bpm;
        options.blockSamples = c.block;
        options.tailSeconds = 1.6; // the longest echo lands in the tail

        const auto result = Render::render (options);
        ASSERT_TRUE (result.ok()) << result.error;

        const auto out = readWav (scratch.file ("out.wav"));
        ASSERT_EQ ((int) out.channels.size(), c.channels);

        // The first sample whose interpolation reaches the impulse.
        const auto onset = at + (size_t) std::floor (c.expectedDelaySamples);

        for (const auto& channel : out.channels)
        {
            // MIX 1: nothing before the echo, not even the impulse itself.
            EXPECT_EQ (firstAbove (channel, 0), onset);
            EXPECT_GT (std::abs (channel[onset]) + std::abs (channel[onset + 1]), 0.25f);
        }
    }
}

TEST (RenderAudio, BypassReproducesTheInputAndAppendsSilence)
{
    struct Case
    {
        const char* name;
        int channels, bits;
        double rate, tailSeconds;
        size_t length;
    };

    // Lengths that are not a multiple of the block, so the short last block
    // is covered.
    const Case cases[] = {
        { "stereo float, default tail", 2, 32, 44100.0, 4.0, 10007 },
        { "mono float, no tail", 1, 32, 48000.0, 0.0, 4099 },
        { "stereo 16-bit, 192 kHz", 2, 16, 192000.0, 0.25, 30011 },
        { "mono 24-bit, 22.05 kHz", 1, 24, 22050.0, 1.0, 5003 },
    };

    ScratchFolder scratch;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Channels input;
        for (int ch = 0; ch < c.channels; ++ch)
            input.push_back (floatOnlyNoise (c.length, (uint32_t) (7 + ch)));

        ASSERT_TRUE (writeWav (scratch.file ("in.wav"), input, c.rate, c.bits));

        // What any reader decodes from the file is what the host would pass;
        // for float files that is the noise itself, bit for bit.
        const auto decoded = readWav (scratch.file ("in.wav"));
        if (c.bits == 32)
        {
            for (int ch = 0; ch < c.channels; ++ch)
                ASSERT_TRUE (sameBits (decoded.channels[(size_t) ch], input[(size_t) ch].data(), c.length));
        }

        auto options = renderOptions (scratch, "in.wav", "out.wav");
        // Every effect that would colour the sound is left on; ONOFF alone
        // must keep them out.
        options.settings = { { "ONOFF", "off" }, { "REVERB", "1" }, { "FEEDBACK", "0.9" } };
        options.tailSeconds = c.tailSeconds;

        const auto result = Render::render (options);
        ASSERT_TRUE (result.ok()) << result.error;

        const auto out = readWav (scratch.file ("out.wav"));
        const auto tailLength = (size_t) std::llround (c.tailSeconds * c.rate);

        EXPECT_TRUE (out.isFloat);
        EXPECT_EQ (out.bitsPerSample, 32u);
        EXPECT_EQ (out.sampleRate, c.rate);
        ASSERT_EQ (out.channels.size(), (size_t) c.channels);
        ASSERT_EQ (out.length(), c.length + tailLength);
        EXPECT_EQ (result.lengthSamples, (juce::int64) (c.length + tailLength));

        for (int ch = 0; ch < c.channels; ++ch)
        {
            const auto& channel = out.channels[(size_t) ch];
            EXPECT_TRUE (sameBits (channel, decoded.channels[(size_t) ch].data(), c.length));
            EXPECT_EQ (firstAbove (channel, c.length, 0.0f), channel.size()) << "the tail is not silent";
        }
    }
}

TEST (RenderAudio, SettingsReachTheProcessor)
{
    // Each row changes one thing from the plain echo and names a sample that
    // only that change can make sound.
    constexpr double rate = 48000.0;
    const auto at = (size_t) (1.5 * rate);
    const auto echo = at + (size_t) std::floor ((float) (0.5 * (rate * (double) 1.999f) + 1.0));

    struct Case
    {
        const char* name;
        Render::Setting change;
        size_t silentUnlessApplied;
    };

    const Case cases[] = {
        // DUAL's second tap feeds the right channel at 0.618 of the delay.
        { "DUAL", { "dual", "1" }, at + (size_t) (0.618 * (echo - at)) + 1 },
        // MIX below one lets the dry impulse through.
        { "MIX", { "MIX", "0.5" }, at },
        // FEEDBACK brings a second echo at twice the delay.
        { "FEEDBACK", { "Feedback", "0.5" }, at + 2 * (echo - at) },
    };

    ScratchFolder scratch;
    ASSERT_TRUE (writeWav (scratch.file ("in.wav"), impulses (2, at + 100, at, 0.5f), rate, 32));

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto peakNear = [&scratch] (const std::vector<Render::Setting>& settings, size_t index)
        {
            auto options = renderOptions (scratch, "in.wav", "out.wav");
            options.settings = plainEcho;
            options.settings.push_back ({ "SYNC", "off" });
            options.settings.push_back ({ "TIME", "0.5" });
            options.settings.insert (options.settings.end(), settings.begin(), settings.end());
            options.tailSeconds = 2.5;

            const auto result = Render::render (options);
            EXPECT_TRUE (result.ok()) << result.error;

            float p = 0.0f;
            for (const auto& channel : readWav (scratch.file ("out.wav")).channels)
                for (size_t i = index - 2; i <= index + 2 && i < channel.size(); ++i)
                    p = std::max (p, std::abs (channel[i]));
            return p;
        };

        EXPECT_LT (peakNear ({}, c.silentUnlessApplied), 1.0e-6f);
        EXPECT_GT (peakNear ({ c.change }, c.silentUnlessApplied), 0.01f);
    }
}

TEST (RenderDemo, IsTwoBarsOfStereoAtTheTempo)
{
    struct Case
    {
        std::optional<double> bpm;
        double seconds;
    };

    const Case cases[] = { { 120.0, 4.0 }, { 90.0, 16.0 / 3.0 }, { std::nullopt, 4.0 } };
    ScratchFolder scratch;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.bpm ? juce::String (*c.bpm).toStdString() : "no tempo");
        auto options = renderOptions (scratch, {}, "demo.wav");
        options.settings = { { "ONOFF", "off" } };
        options.bpm = c.bpm;
        options.tailSeconds = 0.0;

        const auto result = Render::render (options);
        ASSERT_TRUE (result.ok()) << result.error;

        const auto out = readWav (scratch.file ("demo.wav"));
        EXPECT_EQ (out.sampleRate, 48000.0);
        ASSERT_EQ (out.channels.size(), 2u);
        EXPECT_EQ ((double) out.length(), std::round (c.seconds * 48000.0));

        // Sound in both bars and both channels, loud but not clipping.
        const auto half = out.length() / 2;
        for (const auto& channel : out.channels)
        {
            float firstBar = 0.0f, secondBar = 0.0f;
            for (size_t i = 0; i < channel.size(); ++i)
            {
                auto& bar = i < half ? firstBar : secondBar;
                bar = std::max (bar, std::abs (channel[i]));
            }

            EXPECT_GT (firstBar, 0.3f);
            EXPECT_GT (secondBar, 0.1f);
            EXPECT_LE (std::max (firstBar, secondBar), 1.0f);
        }
    }
}

TEST (RenderDemo, IsTheSameEveryTimeAndItsEchoesRingOut)
{
    ScratchFolder scratch;
    auto options = renderOptions (scratch, {}, "a.wav");
    ASSERT_TRUE (Render::render (options).ok());
    options.outputFile = scratch.file ("b.wav");
    ASSERT_TRUE (Render::render (options).ok());

    juce::MemoryBlock a, b;
    scratch.file ("a.wav").loadFileAsData (a);
    scratch.file ("b.wav").loadFileAsData (b);
    EXPECT_TRUE (a == b);

    // Default settings: the echoes of the second bar are heard in the tail.
    const auto out = readWav (scratch.file ("a.wav"));
    ASSERT_EQ (out.length(), (size_t) (8.0 * 48000.0));
    float tailPeak = 0.0f;
    for (const auto& channel : out.channels)
        for (size_t i = (size_t) (4.5 * 48000.0); i < channel.size(); ++i)
        {
            ASSERT_TRUE (std::isfinite (channel[i]));
            tailPeak = std::max (tailPeak, std::abs (channel[i]));
        }

    EXPECT_GT (tailPeak, 0.01f);
}

TEST (RenderPlot, ShowsTextAndPutsTheEchoAtItsTime)
{
    constexpr double rate = 48000.0;
    const auto at = (size_t) (1.5 * rate);
    const auto echo = at + (size_t) std::floor ((float) (0.5 * (rate * (double) 1.999f) + 1.0));

    for (const auto channels : { 1, 2 })
    {
        SCOPED_TRACE (channels == 1 ? "mono" : "stereo");
        ScratchFolder scratch;
        ASSERT_TRUE (writeWav (scratch.file ("in.wav"), impulses (channels, at + 100, at, 0.9f), rate, 32));

        auto options = renderOptions (scratch, "in.wav", "out.wav");
        options.settings = plainEcho;
        options.settings.push_back ({ "SYNC", "off" });
        options.settings.push_back ({ "TIME", "0.5" });
        options.tailSeconds = 1.5;
        options.plotFile = scratch.file ("plot.png");

        const auto result = Render::render (options);
        ASSERT_TRUE (result.ok()) << result.error;

        const auto image = juce::ImageFileFormat::loadFrom (scratch.file ("plot.png"));
        ASSERT_TRUE (image.isValid());
        const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);

        // Without a usable font the caption would be blank: count the dark
        // pixels of the title and caption rows.
        int dark = 0;
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                if (pixels.getPixelColour (x, y).getBrightness() < 0.4f)
                    ++dark;
        EXPECT_GT (dark, 500);

        // The output's colour shows in the echo's column and nowhere between
        // the impulse and the echo.
        const auto total = (double) result.lengthSamples;
        const auto columnOf = [&] (double sample) { return Plot::leftMargin + (int) (sample * Plot::plotColumns / total); };
        const juce::Colour outputPeak (0xff90d2c5);

        auto columnHas = [&] (int x)
        {
            for (int y = 0; y < image.getHeight(); ++y)
                if (pixels.getPixelColour (x, y) == outputPeak)
                    return true;
            return false;
        };

        EXPECT_TRUE (columnHas (columnOf ((double) echo)));
        EXPECT_FALSE (columnHas (columnOf ((double) (at + echo) / 2.0)));
    }
}
