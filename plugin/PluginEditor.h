#pragma once

#include "KnobLookAndFeel.h"
#include "PluginProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <memory>

// The control panel: filmstrip knobs, image buttons, a VU meter, two glowing
// mode lamps and two text displays over one background picture, laid out in
// a fixed 512 x 512 design space. It never sizes itself: the wrapper below
// holds it at the design size and scales it as a whole.
class QuelmarAudioProcessorEditor : public juce::Component,
                                    public juce::AudioProcessorValueTreeState::Listener,
                                    public juce::Timer
{
public:
    static constexpr int designSize = 512;

    explicit QuelmarAudioProcessorEditor (QuelmarAudioProcessor& processor);
    ~QuelmarAudioProcessorEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    // Any thread: only raises the flag the timer reads.
    void parameterChanged (const juce::String& parameterID, float newValue) override;

    // Message thread, every 100 ms: texts, meter and mode lamps.
    void timerCallback() override;

    // Members are declared in teardown order: the attachments go before the
    // controls they bind, the looks are deleted by hand after every control
    // has let go of them.
    std::array<KnobLookAndFeel*, KnobLookAndFeel::numStyles> knobLooks {};

    juce::Slider timeKnob;

    juce::ImageButton syncToggle, syncLamp;
    juce::ImageButton freezeToggle, freezeLamp;
    juce::ImageButton granularToggle, granularLamp;
    juce::ImageButton reverseToggle, reverseLamp;
    juce::ImageButton powerSwitch;

    juce::Slider dualKnob, mixKnob, feedbackKnob, reverbKnob, filterKnob;
    juce::Slider levelMeter, reverseGlow, freezeGlow;
    juce::Slider duckKnob;

    juce::ImageButton creditButton;

    using SliderAttachment = juce::AudioProcessorValueTreeState::SliderAttachment;
    using ButtonAttachment = juce::AudioProcessorValueTreeState::ButtonAttachment;

    std::unique_ptr<SliderAttachment> timeAttachment, mixAttachment, dualAttachment, feedbackAttachment,
        reverbAttachment, filterAttachment, duckAttachment;
    std::unique_ptr<ButtonAttachment> syncToggleAttachment, syncLampAttachment, freezeToggleAttachment,
        freezeLampAttachment, granularToggleAttachment, granularLampAttachment, reverseToggleAttachment,
        reverseLampAttachment, powerAttachment;

    QuelmarAudioProcessor& processorRef;
    std::atomic<bool> displayNeedsRefresh { false };
    float meterLevel = 0.0f;

    juce::Label timeDisplay { {}, {} };
    juce::Label mixDisplay { {}, {} };

private:
    void setUpSlider (juce::Slider& slider, KnobLookAndFeel::KnobStyle style, const char* parameterID,
                      std::unique_ptr<SliderAttachment>* attachment);
    void setUpButton (juce::ImageButton& button, const juce::Image& off, const juce::Image& on);
    void setUpLabel (juce::Label& label);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuelmarAudioProcessorEditor)
};

// What the host opens: the panel at its design size, scaled uniformly to the
// square window the user drags it to (256 to 1024 pixels a side). The scale
// is remembered in a small settings file, so every editor opened later, in
// any instance and after a restart, opens at the same size.
class WrappedRasterAudioProcessorEditor : public juce::AudioProcessorEditor
{
public:
    explicit WrappedRasterAudioProcessorEditor (QuelmarAudioProcessor& owner);
    ~WrappedRasterAudioProcessorEditor() override;

    void resized() override;

    // Where the settings file lives: the framework's per-user and all-users
    // folders for "Ovalmere", unless OVALMERE_SETTINGS_DIR names another.
    static juce::PropertiesFile::Options storageOptions();

    // Tests keep both settings files inside a folder of their own.
    static void setStorageFolderForTesting (const juce::File& folder);

    QuelmarAudioProcessorEditor innerEditor;
    juce::ApplicationProperties appProperties;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WrappedRasterAudioProcessorEditor)
};
