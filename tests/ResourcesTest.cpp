#include "Resources.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

namespace
{
struct Picture
{
    const char* name;
    Resources::Resource resource;
    int width, height, frames;
    enum Surround { cutOut, opaque, invisible } surround;
};

const Picture pictures[] = {
    { "pointerKnobStrip", Resources::pointerKnobStrip, 90, 2790, 31, Picture::cutOut },
    { "goldKnobStrip", Resources::goldKnobStrip, 65, 6565, 101, Picture::cutOut },
    { "grilleKnobStrip", Resources::grilleKnobStrip, 120, 600, 5, Picture::cutOut },
    { "chickenHeadKnobStrip", Resources::chickenHeadKnobStrip, 66, 660, 10, Picture::cutOut },
    { "numberedDialKnobStrip", Resources::numberedDialKnobStrip, 128, 12928, 101, Picture::cutOut },
    { "toggleStrip", Resources::toggleStrip, 64, 128, 2, Picture::cutOut },
    { "dialKnobStrip", Resources::dialKnobStrip, 128, 12928, 101, Picture::cutOut },
    { "ledRingKnobStrip", Resources::ledRingKnobStrip, 72, 7272, 101, Picture::cutOut },
    { "vuMeterStrip", Resources::vuMeterStrip, 128, 12928, 101, Picture::cutOut },
    { "lampSmallStrip", Resources::lampSmallStrip, 96, 6144, 64, Picture::cutOut },
    { "lampLargeStrip", Resources::lampLargeStrip, 198, 12672, 64, Picture::cutOut },
    { "backgroundImage", Resources::backgroundImage, 1024, 1024, 1, Picture::opaque },
    { "switchOffImage", Resources::switchOffImage, 100, 50, 1, Picture::cutOut },
    { "switchOnImage", Resources::switchOnImage, 100, 50, 1, Picture::cutOut },
    { "lampOffImage", Resources::lampOffImage, 52, 52, 1, Picture::cutOut },
    { "lampOnImage", Resources::lampOnImage, 52, 52, 1, Picture::cutOut },
    { "toggleOffImage", Resources::toggleOffImage, 64, 64, 1, Picture::cutOut },
    { "toggleOnImage", Resources::toggleOnImage, 64, 64, 1, Picture::cutOut },
    { "creditBlankImage", Resources::creditBlankImage, 241, 74, 1, Picture::invisible },
    { "creditBannerImage", Resources::creditBannerImage, 241, 74, 1, Picture::cutOut },
};
} // namespace

TEST (Resources, EveryPictureDecodesWithItsGeometryAndTransparency)
{
    juce::ScopedJuceInitialiser_GUI gui;

    for (const auto& p : pictures)
    {
        SCOPED_TRACE (p.name);
        const auto image = juce::ImageCache::getFromMemory (p.resource.data, p.resource.size);
        ASSERT_TRUE (image.isValid());
        EXPECT_EQ (image.getWidth(), p.width);
        EXPECT_EQ (image.getHeight(), p.height);
        if (p.frames > 1)
        {
            EXPECT_EQ (image.getHeight(), p.frames * image.getWidth());
        }

        const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);
        auto alphaAt = [&pixels] (int x, int y) { return pixels.getPixelColour (x, y).getAlpha(); };

        switch (p.surround)
        {
            case Picture::opaque:
                for (int y = 0; y < p.height; y += 7)
                    for (int x = 0; x < p.width; x += 7)
                        ASSERT_EQ (alphaAt (x, y), 255) << x << "," << y;
                break;

            case Picture::invisible:
                for (int y = 0; y < p.height; ++y)
                    for (int x = 0; x < p.width; ++x)
                        ASSERT_EQ (alphaAt (x, y), 0) << x << "," << y;
                break;

            case Picture::cutOut:
                // Every frame's corners are see-through, and something is drawn.
                for (int frame = 0; frame < p.frames; ++frame)
                {
                    const auto top = frame * p.width;
                    const auto bottom = top + (p.frames > 1 ? p.width : p.height) - 1;
                    ASSERT_EQ (alphaAt (0, top), 0) << "frame " << frame;
                    ASSERT_EQ (alphaAt (p.width - 1, top), 0) << "frame " << frame;
                    ASSERT_EQ (alphaAt (0, bottom), 0) << "frame " << frame;
                    ASSERT_EQ (alphaAt (p.width - 1, bottom), 0) << "frame " << frame;
                }
                EXPECT_GT (alphaAt (p.width / 2, p.frames > 1 ? p.width / 2 : p.height / 2), 0);
                break;
        }
    }
}

TEST (Resources, FilmstripFramesDifferFromFirstToLast)
{
    juce::ScopedJuceInitialiser_GUI gui;

    for (const auto& p : pictures)
    {
        if (p.frames < 2)
            continue;

        SCOPED_TRACE (p.name);
        const auto image = juce::ImageCache::getFromMemory (p.resource.data, p.resource.size);
        const auto first = image.getClippedImage ({ 0, 0, p.width, p.width });
        const auto last = image.getClippedImage ({ 0, (p.frames - 1) * p.width, p.width, p.width });

        int differing = 0;
        for (int y = 0; y < p.width; ++y)
            for (int x = 0; x < p.width; ++x)
                differing += first.getPixelAt (x, y) != last.getPixelAt (x, y) ? 1 : 0;
        EXPECT_GT (differing, p.width / 2);
    }
}
