#include "PluginEditor.h"

#include "Resources.h"

namespace
{
juce::Image pictureFromCache (const Resources::Resource& resource)
{
    return juce::ImageCache::getFromMemory (resource.data, resource.size);
}

juce::File& storageFolderOverride()
{
    static juce::File folder;
    return folder;
}

// Where the settings go instead of the standard folders: a folder set by a
// test, or the OVALMERE_SETTINGS_DIR environment variable (portable set-ups,
// and test runs of the real app that must not touch the machine's files).
juce::File settingsFolder()
{
    if (storageFolderOverride() != juce::File())
        return storageFolderOverride();

    const auto fromEnvironment = juce::SystemStats::getEnvironmentVariable ("OVALMERE_SETTINGS_DIR", {});

    if (juce::File::isAbsolutePath (fromEnvironment))
        return juce::File (fromEnvironment);

    return {};
}
} // namespace

//==============================================================================
QuelmarAudioProcessorEditor::QuelmarAudioProcessorEditor (QuelmarAudioProcessor& processor)
    : processorRef (processor)
{
    using KLF = KnobLookAndFeel;

    for (int style = 0; style < KLF::numStyles; ++style)
        knobLooks[(size_t) style] = new KnobLookAndFeel ((KLF::KnobStyle) style);

    setUpSlider (timeKnob, KLF::dialKnob, ParamIDs::time, &timeAttachment);
    setUpSlider (mixKnob, KLF::dialKnob, ParamIDs::mix, &mixAttachment);
    setUpSlider (levelMeter, KLF::vuMeter, nullptr, nullptr);
    setUpSlider (reverseGlow, KLF::lampSmall, nullptr, nullptr);
    setUpSlider (freezeGlow, KLF::lampLarge, nullptr, nullptr);
    setUpSlider (dualKnob, KLF::ledRingKnob, ParamIDs::dual, &dualAttachment);

    // The glows are displays: clicks go through them to whatever lies below.
    reverseGlow.setInterceptsMouseClicks (false, false);
    freezeGlow.setInterceptsMouseClicks (false, false);

    const auto toggleOff = pictureFromCache (Resources::toggleOffImage);
    const auto toggleOn = pictureFromCache (Resources::toggleOnImage);
    const auto lampOff = pictureFromCache (Resources::lampOffImage);
    const auto lampOn = pictureFromCache (Resources::lampOnImage);

    auto& state = processorRef.parameters;
    auto bind = [this, &state] (juce::ImageButton& button, const juce::Image& off, const juce::Image& on,
                                const char* parameterID, std::unique_ptr<ButtonAttachment>& attachment)
    {
        setUpButton (button, off, on);
        attachment = std::make_unique<ButtonAttachment> (state, parameterID, button);
        button.setWantsKeyboardFocus (false);
        addAndMakeVisible (button);
    };

    bind (syncToggle, toggleOff, toggleOn, ParamIDs::sync, syncToggleAttachment);
    bind (syncLamp, lampOff, lampOn, ParamIDs::sync, syncLampAttachment);
    bind (freezeToggle, toggleOff, toggleOn, ParamIDs::freeze, freezeToggleAttachment);
    bind (freezeLamp, lampOff, lampOn, ParamIDs::freeze, freezeLampAttachment);
    bind (granularToggle, toggleOff, toggleOn, ParamIDs::granular, granularToggleAttachment);
    bind (granularLamp, lampOff, lampOn, ParamIDs::granular, granularLampAttachment);
    bind (reverseToggle, toggleOff, toggleOn, ParamIDs::reverse, reverseToggleAttachment);
    bind (reverseLamp, lampOff, lampOn, ParamIDs::reverse, reverseLampAttachment);
    bind (powerSwitch, pictureFromCache (Resources::switchOffImage), pictureFromCache (Resources::switchOnImage),
          ParamIDs::onOff, powerAttachment);

    setUpSlider (feedbackKnob, KLF::ledRingKnob, ParamIDs::feedback, &feedbackAttachment);
    setUpSlider (reverbKnob, KLF::ledRingKnob, ParamIDs::reverb, &reverbAttachment);
    setUpSlider (filterKnob, KLF::ledRingKnob, ParamIDs::filter, &filterAttachment);
    setUpSlider (duckKnob, KLF::ledRingKnob, ParamIDs::duck, &duckAttachment);

    setUpLabel (timeDisplay);
    setUpLabel (mixDisplay);

    // The credit plaque over the name plate: a click shows it, the next hides
    // it. Its state is never stored, so it starts hidden with every editor.
    setUpButton (creditButton, pictureFromCache (Resources::creditBlankImage), pictureFromCache (Resources::creditBannerImage));
    creditButton.setWantsKeyboardFocus (false);
    addAndMakeVisible (creditButton);

    state.addParameterListener (ParamIDs::time, this);
    state.addParameterListener (ParamIDs::sync, this);
    state.addParameterListener (ParamIDs::mix, this);

    displayNeedsRefresh = true;
    startTimer (100);
}

QuelmarAudioProcessorEditor::~QuelmarAudioProcessorEditor()
{
    auto& state = processorRef.parameters;
    state.removeParameterListener (ParamIDs::time, this);
    state.removeParameterListener (ParamIDs::sync, this);
    state.removeParameterListener (ParamIDs::mix, this);

    for (auto* slider : { &timeKnob, &mixKnob, &levelMeter, &reverseGlow, &freezeGlow, &dualKnob, &feedbackKnob,
                          &reverbKnob, &filterKnob, &duckKnob })
        slider->setLookAndFeel (nullptr);

    for (auto*& look : knobLooks)
    {
        delete look;
        look = nullptr;
    }
}

void QuelmarAudioProcessorEditor::setUpSlider (juce::Slider& slider, KnobLookAndFeel::KnobStyle style,
                                               const char* parameterID, std::unique_ptr<SliderAttachment>* attachment)
{
    slider.setLookAndFeel (knobLooks[(size_t) style]);
    slider.setSliderStyle (juce::Slider::RotaryVerticalDrag);
    slider.setRange (0.0, 1.0, (double) 0.01f);
    slider.setValue (parameterID != nullptr ? 0.5 : 0.0);
    slider.setTextBoxStyle (juce::Slider::NoTextBox, true, 0, 0);
    addAndMakeVisible (slider);

    // The attachment takes over range, step and value from the parameter,
    // and makes a double-click return the knob to the parameter's default.
    if (parameterID != nullptr)
        *attachment = std::make_unique<SliderAttachment> (processorRef.parameters, parameterID, slider);
}

void QuelmarAudioProcessorEditor::setUpButton (juce::ImageButton& button, const juce::Image& off, const juce::Image& on)
{
    button.setClickingTogglesState (true);

    // Pictures stretched to the button; the whole rectangle takes clicks.
    button.setImages (false, true, false,
                      off, 1.0f, juce::Colours::transparentBlack,
                      off, 1.0f, juce::Colours::transparentBlack,
                      on, 1.0f, juce::Colours::transparentBlack,
                      0.0f);
}

void QuelmarAudioProcessorEditor::setUpLabel (juce::Label& label)
{
    addAndMakeVisible (label);

    // The text sits over a knob: a drag on it must reach the knob below.
    label.setInterceptsMouseClicks (false, false);
    label.setColour (juce::Label::textColourId, juce::Colours::green);
    label.setFont (juce::Font (12.0f, juce::Font::bold));
    label.setJustificationType (juce::Justification::horizontallyCentred);
}

void QuelmarAudioProcessorEditor::paint (juce::Graphics& g)
{
    g.fillAll (getLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId));

    const auto background = pictureFromCache (Resources::backgroundImage);

    if (background.isValid())
        g.drawImage (background, 0, 0, getWidth(), getHeight(), 0, 0, background.getWidth(), background.getHeight());
}

void QuelmarAudioProcessorEditor::resized()
{
    timeKnob.setBounds (68, 176, 115, 115);
    mixKnob.setBounds (336, 175, 115, 115);
    levelMeter.setBounds (369, 44, 78, 78);
    reverseGlow.setBounds (401, 373, 49, 49);
    freezeGlow.setBounds (63, 373, 48, 48);
    dualKnob.setBounds (171, 437, 46, 46);
    syncToggle.setBounds (232, 184, 50, 50);
    syncLamp.setBounds (242, 131, 28, 28);
    freezeToggle.setBounds (167, 372, 50, 50);
    freezeLamp.setBounds (178, 322, 28, 28);
    granularToggle.setBounds (231, 372, 50, 50);
    granularLamp.setBounds (243, 322, 28, 28);
    reverseToggle.setBounds (296, 372, 50, 50);
    reverseLamp.setBounds (307, 322, 28, 28);
    powerSwitch.setBounds (82, 66, 42, 22);
    feedbackKnob.setBounds (213, 437, 46, 46);
    reverbKnob.setBounds (255, 437, 46, 46);
    filterKnob.setBounds (297, 437, 46, 46);
    duckKnob.setBounds (235, 248, 46, 46);
    timeDisplay.setBounds (66, 175, 115, 115);
    mixDisplay.setBounds (334, 175, 115, 115);

    const auto banner = pictureFromCache (Resources::creditBannerImage);
    const auto bannerValid = banner.isValid();
    creditButton.setBounds (194, 48, bannerValid ? banner.getWidth() / 2 : 0, bannerValid ? banner.getHeight() / 2 : 0);
}

void QuelmarAudioProcessorEditor::parameterChanged (const juce::String&, float)
{
    displayNeedsRefresh = true;
}

void QuelmarAudioProcessorEditor::timerCallback()
{
    auto& state = processorRef.parameters;

    // Cleared before the values are read, so a change that lands during this
    // tick is shown at the next one at the latest.
    if (displayNeedsRefresh.exchange (false))
    {
        const auto sync = state.getRawParameterValue (ParamIDs::sync)->load();
        const auto time = state.getRawParameterValue (ParamIDs::time)->load();

        auto timeText = juce::String::formatted ("%03d", (int) (2000.0f * time));

        if (sync != 0.0f)
            timeText = timeDivisionLabel (timeDivisionIndex (time));

        timeDisplay.setText (timeText, juce::dontSendNotification);

        const auto mix = state.getRawParameterValue (ParamIDs::mix)->load();
        mixDisplay.setText (juce::String::formatted ("%.2f", (double) mix), juce::dontSendNotification);
    }

    // The needle jumps up at once and falls by a tenth per tick; the square
    // law moves it quickly near rest and slowly near full scale.
    const auto peakLevel = processorRef.outputPeak.load (std::memory_order_relaxed);

    if (meterLevel < peakLevel)
        meterLevel = peakLevel;
    else
        meterLevel *= 0.9f;

    const auto m = juce::jmin (1.0f, meterLevel);
    levelMeter.setValue ((double) (1.0f - (1.0f - m) * (1.0f - m)), juce::sendNotificationAsync);

    if (state.getRawParameterValue (ParamIDs::reverse)->load() != 0.0f)
    {
        reverseGlow.setVisible (true);
        reverseGlow.setValue ((double) processorRef.reversePosition.load (std::memory_order_relaxed));
    }
    else
    {
        reverseGlow.setVisible (false);
    }

    if (state.getRawParameterValue (ParamIDs::freeze)->load() != 0.0f)
    {
        freezeGlow.setVisible (true);
        freezeGlow.setValue ((double) processorRef.freezePosition.load (std::memory_order_relaxed));
    }
    else
    {
        freezeGlow.setVisible (false);
    }
}

//==============================================================================
WrappedRasterAudioProcessorEditor::WrappedRasterAudioProcessorEditor (QuelmarAudioProcessor& owner)
    : juce::AudioProcessorEditor (owner), innerEditor (owner)
{
    addAndMakeVisible (innerEditor);
    appProperties.setStorageParameters (storageOptions());

    if (auto* bounds = getConstrainer())
    {
        bounds->setFixedAspectRatio (1.0);
        bounds->setSizeLimits (256, 256, 1024, 1024);
    }

    auto side = QuelmarAudioProcessorEditor::designSize;

    if (auto* settings = appProperties.getCommonSettings (true))
        side = (int) (512.0f * (float) settings->getDoubleValue ("sizeRatio", 1.0));

    setResizable (true, true);
    setSize (side, side);
}

WrappedRasterAudioProcessorEditor::~WrappedRasterAudioProcessorEditor() = default;

void WrappedRasterAudioProcessorEditor::resized()
{
    // Whole-pixel widths up to 1024 give ratios that are exact in single
    // precision, so a stored ratio restores the same width.
    const auto ratio = (float) getWidth() * 0.001953125f;
    innerEditor.setTransform (juce::AffineTransform::scale (ratio));
    innerEditor.setBounds (0, 0, QuelmarAudioProcessorEditor::designSize, QuelmarAudioProcessorEditor::designSize);

    if (auto* settings = appProperties.getCommonSettings (true))
        settings->setValue ("sizeRatio", (double) ratio);
}

juce::PropertiesFile::Options WrappedRasterAudioProcessorEditor::storageOptions()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Ovalmere";
    options.filenameSuffix = "settings";
    options.folderName = {};
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = true;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.processLock = nullptr;

    // An absolute folder name takes the place of both standard folders.
    if (const auto folder = settingsFolder(); folder != juce::File())
        options.folderName = folder.getFullPathName();

    return options;
}

void WrappedRasterAudioProcessorEditor::setStorageFolderForTesting (const juce::File& folder)
{
    storageFolderOverride() = folder;
}
