#include "PluginEditor.h"
#include "ProcessorHarness.h"

#include <gtest/gtest.h>

namespace
{
// Every editor test keeps the settings files in a folder of its own and
// never touches the user's or the system's.
class EditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        settingsFolder.getFile().createDirectory();
        WrappedRasterAudioProcessorEditor::setStorageFolderForTesting (settingsFolder.getFile());
    }

    void TearDown() override
    {
        WrappedRasterAudioProcessorEditor::setStorageFolderForTesting ({});
        settingsFolder.getFile().deleteRecursively();
    }

    juce::File settingsFile() const { return settingsFolder.getFile().getChildFile ("Ovalmere.settings"); }

    void storeRatio (double ratio)
    {
        juce::PropertiesFile file (WrappedRasterAudioProcessorEditor::storageOptions());
        file.setValue ("sizeRatio", ratio);
        ASSERT_TRUE (file.save());
    }

    double storedRatio()
    {
        juce::PropertiesFile file (WrappedRasterAudioProcessorEditor::storageOptions());
        return file.getDoubleValue ("sizeRatio", -1.0);
    }

    void settle() { juce::MessageManager::getInstance()->runDispatchLoopUntil (30); }

    juce::ScopedJuceInitialiser_GUI gui;
    juce::TemporaryFile settingsFolder;
    Harness host;
};

float raw (QuelmarAudioProcessor& p, const char* id) { return p.parameters.getRawParameterValue (id)->load(); }
} // namespace

TEST_F (EditorTest, ControlsSitAtTheirDesignBoundsInZOrder)
{
    QuelmarAudioProcessorEditor editor (*host.processor);
    editor.setSize (512, 512);

    struct Row { juce::Component* control; juce::Rectangle<int> bounds; };
    const Row rows[] = {
        { &editor.timeKnob, { 68, 176, 115, 115 } },     { &editor.mixKnob, { 336, 175, 115, 115 } },
        { &editor.levelMeter, { 369, 44, 78, 78 } },     { &editor.reverseGlow, { 401, 373, 49, 49 } },
        { &editor.freezeGlow, { 63, 373, 48, 48 } },     { &editor.dualKnob, { 171, 437, 46, 46 } },
        { &editor.syncToggle, { 232, 184, 50, 50 } },    { &editor.syncLamp, { 242, 131, 28, 28 } },
        { &editor.freezeToggle, { 167, 372, 50, 50 } },  { &editor.freezeLamp, { 178, 322, 28, 28 } },
        { &editor.granularToggle, { 231, 372, 50, 50 } }, { &editor.granularLamp, { 243, 322, 28, 28 } },
        { &editor.reverseToggle, { 296, 372, 50, 50 } }, { &editor.reverseLamp, { 307, 322, 28, 28 } },
        { &editor.powerSwitch, { 82, 66, 42, 22 } },     { &editor.feedbackKnob, { 213, 437, 46, 46 } },
        { &editor.reverbKnob, { 255, 437, 46, 46 } },    { &editor.filterKnob, { 297, 437, 46, 46 } },
        { &editor.duckKnob, { 235, 248, 46, 46 } },      { &editor.timeDisplay, { 66, 175, 115, 115 } },
        { &editor.mixDisplay, { 334, 175, 115, 115 } },  { &editor.creditButton, { 194, 48, 120, 37 } },
    };

    ASSERT_EQ (editor.getNumChildComponents(), (int) std::size (rows));
    for (int i = 0; i < (int) std::size (rows); ++i)
    {
        SCOPED_TRACE (i);
        EXPECT_EQ (editor.getChildComponent (i), rows[i].control);
        EXPECT_EQ (rows[i].control->getBounds(), rows[i].bounds);
        EXPECT_TRUE (rows[i].control->isVisible() || rows[i].control == &editor.reverseGlow || rows[i].control == &editor.freezeGlow);
    }

    // Whatever size the panel is given, the controls keep their design bounds.
    editor.setSize (900, 300);
    EXPECT_EQ (editor.timeKnob.getBounds(), rows[0].bounds);
}

TEST_F (EditorTest, KnobsShareOneLookPerStyleAndAreSetUpAlike)
{
    QuelmarAudioProcessorEditor editor (*host.processor);
    using KLF = KnobLookAndFeel;

    struct Row { juce::Slider* slider; KLF::KnobStyle style; const char* id; };
    const Row rows[] = {
        { &editor.timeKnob, KLF::dialKnob, "TIME" },       { &editor.mixKnob, KLF::dialKnob, "MIX" },
        { &editor.dualKnob, KLF::ledRingKnob, "DUAL" },    { &editor.feedbackKnob, KLF::ledRingKnob, "FEEDBACK" },
        { &editor.reverbKnob, KLF::ledRingKnob, "REVERB" }, { &editor.filterKnob, KLF::ledRingKnob, "FILTER" },
        { &editor.duckKnob, KLF::ledRingKnob, "DUCK" },    { &editor.levelMeter, KLF::vuMeter, nullptr },
        { &editor.reverseGlow, KLF::lampSmall, nullptr },  { &editor.freezeGlow, KLF::lampLarge, nullptr },
    };

    for (const auto& r : rows)
    {
        SCOPED_TRACE (r.slider->getBounds().toString());
        EXPECT_EQ (&r.slider->getLookAndFeel(), editor.knobLooks[(size_t) r.style]);
        EXPECT_EQ (r.slider->getSliderStyle(), juce::Slider::RotaryVerticalDrag);
        EXPECT_EQ (r.slider->getTextBoxPosition(), juce::Slider::NoTextBox);
        EXPECT_EQ (r.slider->getMinimum(), 0.0);
        EXPECT_EQ (r.slider->getMaximum(), 1.0);
        EXPECT_NEAR (r.slider->getInterval(), 0.01, 1.0e-6);

        if (r.id != nullptr)
        {
            EXPECT_NEAR (r.slider->getValue(), raw (*host.processor, r.id), 1.0e-6);
        }
    }

    for (int style = 0; style < KLF::numStyles; ++style)
        EXPECT_EQ (editor.knobLooks[(size_t) style]->style, style);

    bool self = true, children = true;
    editor.reverseGlow.getInterceptsMouseClicks (self, children);
    EXPECT_FALSE (self);
    EXPECT_FALSE (children);
    editor.freezeGlow.getInterceptsMouseClicks (self, children);
    EXPECT_FALSE (self);
    EXPECT_FALSE (children);
    editor.levelMeter.getInterceptsMouseClicks (self, children);
    EXPECT_TRUE (self);
    editor.timeDisplay.getInterceptsMouseClicks (self, children);
    EXPECT_FALSE (self);

    EXPECT_EQ (editor.timeDisplay.findColour (juce::Label::textColourId), juce::Colours::green);
    EXPECT_EQ (editor.mixDisplay.getFont().getHeight(), 12.0f);
    EXPECT_TRUE (editor.mixDisplay.getFont().isBold());
    EXPECT_EQ (editor.mixDisplay.getJustificationType(), juce::Justification::horizontallyCentred);
}

TEST_F (EditorTest, ButtonsFlipTheirParameterAndFollowTheHost)
{
    QuelmarAudioProcessorEditor editor (*host.processor);

    struct Row { juce::ImageButton* toggle; juce::ImageButton* lamp; const char* id; };
    const Row rows[] = {
        { &editor.syncToggle, &editor.syncLamp, "SYNC" },
        { &editor.freezeToggle, &editor.freezeLamp, "FREEZE" },
        { &editor.granularToggle, &editor.granularLamp, "GRANULAR" },
        { &editor.reverseToggle, &editor.reverseLamp, "REVERSE" },
        { &editor.powerSwitch, nullptr, "ONOFF" },
    };

    for (const auto& r : rows)
    {
        SCOPED_TRACE (r.id);
        for (auto* button : { r.toggle, r.lamp })
        {
            if (button == nullptr)
                continue;

            const auto before = raw (*host.processor, r.id);
            EXPECT_FALSE (button->getWantsKeyboardFocus());
            EXPECT_EQ (button->getToggleState(), before != 0.0f);

            // A click flips the parameter; toggle and lamp both show it.
            button->triggerClick();
            settle();
            EXPECT_EQ (raw (*host.processor, r.id), before != 0.0f ? 0.0f : 1.0f);
            EXPECT_EQ (r.toggle->getToggleState(), before == 0.0f);
            if (r.lamp != nullptr)
            {
                EXPECT_EQ (r.lamp->getToggleState(), before == 0.0f);
            }
            EXPECT_FALSE (button->hasKeyboardFocus (true));
        }

        // Host automation moves both buttons.
        host.set (r.id, 1.0f);
        settle();
        EXPECT_TRUE (r.toggle->getToggleState());
        host.set (r.id, 0.0f);
        settle();
        EXPECT_FALSE (r.toggle->getToggleState());
        if (r.lamp != nullptr)
        {
            EXPECT_FALSE (r.lamp->getToggleState());
        }
    }

    // The credit plaque toggles on its own, bound to nothing.
    EXPECT_FALSE (editor.creditButton.getToggleState());
    editor.creditButton.triggerClick();
    settle();
    EXPECT_TRUE (editor.creditButton.getToggleState());
}

TEST_F (EditorTest, KnobsFollowTheHostAndDoubleClickResets)
{
    QuelmarAudioProcessorEditor editor (*host.processor);

    host.set ("FEEDBACK", 0.9f);
    settle();
    EXPECT_NEAR (editor.feedbackKnob.getValue(), 0.9, 1.0e-6);

    editor.mixKnob.setValue (0.23);
    settle();
    EXPECT_NEAR (raw (*host.processor, "MIX"), 0.23f, 1.0e-6f);

    auto source = juce::Desktop::getInstance().getMainMouseSource();
    const juce::MouseEvent doubleClick (source, {}, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, &editor.mixKnob, &editor.mixKnob,
                                        juce::Time::getCurrentTime(), {}, juce::Time::getCurrentTime(), 2, false);
    editor.mixKnob.mouseDoubleClick (doubleClick);
    EXPECT_NEAR (raw (*host.processor, "MIX"), 0.48f, 1.0e-6f);
}

TEST_F (EditorTest, TimerWritesTheTextsMeterAndLamps)
{
    QuelmarAudioProcessorEditor editor (*host.processor);

    struct TextCase { float sync; float time; const char* text; };
    const TextCase texts[] = {
        { 0.0f, 0.0f, "000" }, { 0.0f, 0.5f, "1000" }, { 0.0f, 1.0f, "2000" }, { 0.0f, 0.29999998f, "599" },
        { 1.0f, 1.0f, "1" }, { 1.0f, 0.5f, "1/8." }, { 1.0f, 0.0f, "1/32T" }, { 1.0f, 0.6f, "1/4T" },
    };

    for (const auto& c : texts)
    {
        SCOPED_TRACE (c.text);
        // Raw values as the host may hold them, a hair off the grid included.
        host.processor->parameters.getRawParameterValue ("SYNC")->store (c.sync);
        host.processor->parameters.getRawParameterValue ("TIME")->store (c.time);
        editor.parameterChanged ("TIME", c.time);
        editor.timerCallback();
        EXPECT_EQ (editor.timeDisplay.getText(), c.text);
    }

    host.set ("MIX", 0.48f);
    editor.timerCallback();
    EXPECT_EQ (editor.mixDisplay.getText(), "0.48");

    // Without a change the texts are not rebuilt.
    editor.timeDisplay.setText ("stale", juce::dontSendNotification);
    editor.timerCallback();
    EXPECT_EQ (editor.timeDisplay.getText(), "stale");

    // Meter: instant rise, a tenth off per tick, the square law on top.
    host.processor->outputPeak = 0.5f;
    editor.timerCallback();
    // The slider holds hundredths on its single-precision step.
    EXPECT_NEAR (editor.levelMeter.getValue(), 0.75, 1.0e-6);
    host.processor->outputPeak = 0.0f;
    editor.timerCallback();
    EXPECT_FLOAT_EQ (editor.meterLevel, 0.45f);
    host.processor->outputPeak = 3.0f;
    editor.timerCallback();
    EXPECT_NEAR (editor.levelMeter.getValue(), 1.0, 1.0e-6);

    // The lamps follow their switches and the published positions.
    host.set ("REVERSE", 0.0f);
    host.processor->reversePosition = 0.5f;
    editor.timerCallback();
    EXPECT_FALSE (editor.reverseGlow.isVisible());
    host.set ("REVERSE", 1.0f);
    editor.timerCallback();
    EXPECT_TRUE (editor.reverseGlow.isVisible());
    EXPECT_NEAR (editor.reverseGlow.getValue(), 0.5, 1.0e-6);

    host.set ("FREEZE", 1.0f);
    host.processor->freezePosition = 0.25f;
    editor.timerCallback();
    EXPECT_TRUE (editor.freezeGlow.isVisible());
    EXPECT_NEAR (editor.freezeGlow.getValue(), 0.25, 1.0e-6);
    host.set ("FREEZE", 0.0f);
    editor.timerCallback();
    EXPECT_FALSE (editor.freezeGlow.isVisible());
}

TEST_F (EditorTest, HostChangesReachTheTextsWithinATick)
{
    QuelmarAudioProcessorEditor editor (*host.processor);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (600);
    host.set ("SYNC", 0.0f);
    host.set ("TIME", 0.25f);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (600);
    EXPECT_EQ (editor.timeDisplay.getText(), "500");
}

TEST_F (EditorTest, WrapperOpensAtTheStoredScale)
{
    struct Case { double stored; int side; double storedAfter; };
    constexpr Case cases[] = {
        { 2.0, 1024, 2.0 }, { 0.5, 256, 0.5 }, { 1.3, 665, 1.298828125 }, { 1.0, 512, 1.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.stored);
        storeRatio (c.stored);
        {
            WrappedRasterAudioProcessorEditor wrapper (*host.processor);
            EXPECT_EQ (wrapper.getWidth(), c.side);
            EXPECT_EQ (wrapper.getHeight(), c.side);
            EXPECT_EQ (wrapper.innerEditor.getBounds(), juce::Rectangle<int> (0, 0, 512, 512));
            EXPECT_EQ (wrapper.innerEditor.getTransform(), juce::AffineTransform::scale ((float) c.side / 512.0f));
        }
        EXPECT_EQ (storedRatio(), c.storedAfter);
    }
}

TEST_F (EditorTest, ResizingIsSquareWithinLimitsAndRemembered)
{
    ASSERT_FALSE (settingsFile().exists());
    {
        auto editor = std::unique_ptr<juce::AudioProcessorEditor> (host.processor->createEditor());
        ASSERT_NE (dynamic_cast<WrappedRasterAudioProcessorEditor*> (editor.get()), nullptr);
        EXPECT_EQ (editor->getWidth(), 512);
        EXPECT_TRUE (editor->isResizable());

        auto* constrainer = editor->getConstrainer();
        ASSERT_NE (constrainer, nullptr);
        EXPECT_EQ (constrainer->getFixedAspectRatio(), 1.0);
        EXPECT_EQ (constrainer->getMinimumWidth(), 256);
        EXPECT_EQ (constrainer->getMaximumWidth(), 1024);

        // What a drag of the corner to 700 x 690 leaves.
        auto bounds = juce::Rectangle<int> (0, 0, 700, 690);
        constrainer->checkBounds (bounds, editor->getBounds(), juce::Desktop::getInstance().getDisplays().getTotalBounds (true), false, false, true, true);
        EXPECT_EQ (bounds.getWidth(), bounds.getHeight());
        editor->setSize (700, 700);
    }
    EXPECT_EQ (storedRatio(), 1.3671875);

    // Another instance's editor opens at the remembered size.
    Harness other;
    auto next = std::unique_ptr<juce::AudioProcessorEditor> (other.processor->createEditor());
    EXPECT_EQ (next->getWidth(), 700);
}

TEST_F (EditorTest, OpeningAndClosingManyTimesIsClean)
{
    for (int i = 0; i < 50; ++i)
    {
        auto editor = std::unique_ptr<juce::AudioProcessorEditor> (host.processor->createEditor());
        auto snapshot = editor->createComponentSnapshot (editor->getLocalBounds());
        ASSERT_TRUE (snapshot.isValid());
    }
}

TEST_F (EditorTest, PanelPaintsTheBackground)
{
    auto editor = std::unique_ptr<juce::AudioProcessorEditor> (host.processor->createEditor());
    const auto snapshot = editor->createComponentSnapshot (editor->getLocalBounds());

    // OVALMERE_SNAPSHOT_DIR keeps a picture of the panel for a person to look at.
    const auto folder = juce::SystemStats::getEnvironmentVariable ("OVALMERE_SNAPSHOT_DIR", {});
    if (juce::File::isAbsolutePath (folder))
    {
        juce::FileOutputStream out (juce::File (folder).getChildFile ("editor.png"));
        out.setPosition (0);
        out.truncate();
        juce::PNGImageFormat().writeImageToStream (snapshot, out);
    }

    // The corners of the panel show the opaque background picture.
    for (const auto& p : { juce::Point<int> (3, 3), juce::Point<int> (508, 3), juce::Point<int> (3, 508) })
        EXPECT_EQ (snapshot.getPixelAt (p.x, p.y).getAlpha(), 255);
}
