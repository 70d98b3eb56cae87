#include "KnobLookAndFeel.h"

#include "Resources.h"

namespace
{
Resources::Resource filmstripFor (KnobLookAndFeel::KnobStyle style)
{
    using KLF = KnobLookAndFeel;

    switch (style)
    {
        case KLF::goldKnob:         return Resources::goldKnobStrip;
        case KLF::grilleKnob:       return Resources::grilleKnobStrip;
        case KLF::chickenHeadKnob:  return Resources::chickenHeadKnobStrip;
        case KLF::numberedDialKnob: return Resources::numberedDialKnobStrip;
        case KLF::toggle:           return Resources::toggleStrip;
        case KLF::dialKnob:         return Resources::dialKnobStrip;
        case KLF::ledRingKnob:      return Resources::ledRingKnobStrip;
        case KLF::vuMeter:          return Resources::vuMeterStrip;
        case KLF::lampSmall:        return Resources::lampSmallStrip;
        case KLF::lampLarge:        return Resources::lampLargeStrip;
        case KLF::pointerKnob:
        default:                    return Resources::pointerKnobStrip;
    }
}
} // namespace

KnobLookAndFeel::KnobLookAndFeel (KnobStyle knobStyle) : style (knobStyle)
{
    // Through the image cache, so every look of a style shares one decoded picture.
    const auto resource = filmstripFor (style);
    filmstrip = juce::ImageCache::getFromMemory (resource.data, resource.size);
}

KnobLookAndFeel::~KnobLookAndFeel() = default;

void KnobLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float, float, float,
                                        juce::Slider& slider)
{
    if (! filmstrip.isValid())
    {
        g.setColour (juce::Colours::white);
        const juce::Rectangle<float> area ((float) width * 0.65f * 0.5f + 1.0f, (float) height * 0.5f,
                                           (float) width * 0.35f, (float) height * 0.5f);
        g.drawFittedText ("No Image", area.getSmallestIntegerContainer(), juce::Justification::centred, 1);
        return;
    }

    const auto frameSize = filmstrip.getWidth();
    const auto frameCount = filmstrip.getHeight() / frameSize;

    // The range is taken linearly, whatever skew the slider has; the ceiling
    // shows any value above the minimum with at least the second frame.
    const auto proportion = (slider.getValue() - slider.getMinimum()) / (slider.getMaximum() - slider.getMinimum());
    const auto frameIndex = juce::jlimit (0, frameCount - 1, (int) std::ceil ((double) (frameCount - 1) * proportion));

    const auto radius = juce::jmin ((float) width * 0.5f, (float) height * 0.5f);
    const auto side = 2 * (int) radius;
    const auto left = (int) ((float) x + (float) width * 0.5f - radius - 1.0f);
    const auto top = (int) ((float) y + (float) height * 0.5f - radius);

    g.drawImage (filmstrip, left, top, side, side, 0, frameIndex * frameSize, frameSize, frameSize, false);
}
