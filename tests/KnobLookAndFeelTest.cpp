#include "KnobLookAndFeel.h"

#include <gtest/gtest.h>

namespace
{
// A filmstrip whose frame k is a flat colour with red k, so the frame drawn
// can be read back from any pixel it covers.
juce::Image makeNumberedStrip (int frameSize, int frames)
{
    juce::Image strip (juce::Image::ARGB, frameSize, frameSize * frames, true);
    juce::Graphics g (strip);
    for (int k = 0; k < frames; ++k)
    {
        g.setColour (juce::Colour ((juce::uint8) k, 200, 0));
        g.fillRect (0, k * frameSize, frameSize, frameSize);
    }
    return strip;
}

struct Drawn
{
    int frame = -1;
    juce::Rectangle<int> area;
};

// Draws the slider through the look into a transparent canvas and reports
// which frame landed where.
Drawn draw (KnobLookAndFeel& look, juce::Slider& slider, juce::Rectangle<int> bounds, juce::Point<int> canvasOrigin = {})
{
    juce::Image canvas (juce::Image::ARGB, 300, 300, true);
    {
        juce::Graphics g (canvas);
        g.setOrigin (canvasOrigin);
        look.drawRotarySlider (g, bounds.getX(), bounds.getY(), bounds.getWidth(), bounds.getHeight(), 0.0f, 0.0f, 0.0f, slider);
    }

    Drawn result;
    int minX = 1000, minY = 1000, maxX = -1, maxY = -1;
    for (int y = 0; y < canvas.getHeight(); ++y)
        for (int x = 0; x < canvas.getWidth(); ++x)
            if (canvas.getPixelAt (x, y).getAlpha() > 0)
            {
                minX = std::min (minX, x); maxX = std::max (maxX, x);
                minY = std::min (minY, y); maxY = std::max (maxY, y);
            }

    if (maxX >= 0)
    {
        result.area = { minX, minY, maxX - minX + 1, maxY - minY + 1 };
        result.frame = canvas.getPixelAt (result.area.getCentreX(), result.area.getCentreY()).getRed();
    }
    return result;
}
} // namespace

TEST (KnobLookAndFeel, FrameIndexRoundsUpOverTheLinearRange)
{
    juce::ScopedJuceInitialiser_GUI gui;
    struct Case { int frames; double value; int frame; };
    constexpr Case cases[] = {
        { 101, 0.0, 0 }, { 101, 1.0, 100 }, { 101, 0.004, 1 }, { 101, 0.5, 50 }, { 101, 0.991, 100 },
        { 2, 0.0, 0 }, { 2, 0.01, 1 }, { 2, 1.0, 1 }, { 31, 0.5, 15 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.frames);
        SCOPED_TRACE (c.value);
        KnobLookAndFeel look (KnobLookAndFeel::dialKnob);
        look.filmstrip = makeNumberedStrip (16, c.frames);
        juce::Slider slider;
        slider.setRange (0.0, 1.0);
        slider.setSkewFactor (3.0);  // ignored: the frame follows the value linearly
        slider.setValue (c.value);
        EXPECT_EQ (draw (look, slider, { 0, 0, 16, 16 }).frame, c.frame);
    }
}

TEST (KnobLookAndFeel, FrameSitsInACentredSquareOnePixelLeft)
{
    juce::ScopedJuceInitialiser_GUI gui;
    struct Case { juce::Rectangle<int> bounds; juce::Rectangle<int> drawn; };
    const Case cases[] = {
        { { 10, 20, 100, 60 }, { 29, 20, 60, 60 } },   // radius 30: left = x + 19
        { { 10, 20, 75, 75 }, { 9, 20, 74, 74 } },     // radius 37.5, side 74, left = x - 1
        { { 50, 50, 46, 46 }, { 49, 50, 46, 46 } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.bounds.toString());
        KnobLookAndFeel look (KnobLookAndFeel::ledRingKnob);
        look.filmstrip = makeNumberedStrip (32, 3);
        juce::Slider slider;
        slider.setRange (0.0, 1.0);
        slider.setValue (1.0);
        const auto d = draw (look, slider, c.bounds);
        EXPECT_EQ (d.area, c.drawn);
        EXPECT_EQ (d.frame, 2);
    }
}

TEST (KnobLookAndFeel, MissingPictureShowsNoImageText)
{
    juce::ScopedJuceInitialiser_GUI gui;
    KnobLookAndFeel look (KnobLookAndFeel::vuMeter);
    look.filmstrip = juce::Image();
    juce::Slider slider;
    slider.setRange (0.0, 1.0);

    // Relative to the component: the slider's x and y are not added.
    const auto d = draw (look, slider, { 100, 100, 200, 100 });
    ASSERT_GE (d.frame, 0) << "nothing drawn";
    const juce::Rectangle<int> textArea (66, 50, 70, 50);
    EXPECT_TRUE (textArea.contains (d.area)) << d.area.toString();
}

TEST (KnobLookAndFeel, StylesPickTheirFilmstrips)
{
    juce::ScopedJuceInitialiser_GUI gui;
    struct Case { int style; int width; int frames; };
    constexpr Case cases[] = {
        { 0, 90, 31 }, { 1, 65, 101 }, { 2, 120, 5 }, { 3, 66, 10 }, { 4, 128, 101 }, { 5, 64, 2 },
        { 6, 128, 101 }, { 7, 72, 101 }, { 8, 128, 101 }, { 9, 96, 64 }, { 10, 198, 64 },
        { 11, 90, 31 }, { 15, 90, 31 },  // out of range: the pointer knob
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.style);
        KnobLookAndFeel look ((KnobLookAndFeel::KnobStyle) c.style);
        ASSERT_TRUE (look.filmstrip.isValid());
        EXPECT_EQ (look.filmstrip.getWidth(), c.width);
        EXPECT_EQ (look.filmstrip.getHeight() / look.filmstrip.getWidth(), c.frames);
    }

    // Two looks of one style share one decoded picture.
    KnobLookAndFeel a (KnobLookAndFeel::dialKnob), b (KnobLookAndFeel::dialKnob);
    EXPECT_EQ (a.filmstrip.getPixelData(), b.filmstrip.getPixelData());
}
