#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Draws a rotary slider as one frame of a filmstrip picture: square frames
// stacked vertically, frame 0 at the slider's minimum. One instance per
// style is shared by every slider of that style.
class KnobLookAndFeel : public juce::LookAndFeel_V4
{
public:
    enum KnobStyle
    {
        pointerKnob = 0,
        goldKnob,
        grilleKnob,
        chickenHeadKnob,
        numberedDialKnob,
        toggle,
        dialKnob,
        ledRingKnob,
        vuMeter,
        lampSmall,
        lampLarge
    };

    static constexpr int numStyles = 11;

    explicit KnobLookAndFeel (KnobStyle knobStyle);
    ~KnobLookAndFeel() override;

    void drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPosProportional,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider& slider) override;

    juce::Image filmstrip;
    KnobStyle style;
};
