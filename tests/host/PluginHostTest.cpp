// Loads the built VST3 and LV2 bundles through JUCE's hosting classes, as a
// host nobody here wrote would, and checks what the plug-in promises hosts.

#include "HostFixture.h"

namespace
{
using HostedPlugin = HostFixture;

TEST_P (HostedPlugin, PresentsItsIdentity)
{
    auto plugin = load (GetParam());
    ASSERT_NE (plugin, nullptr);

    EXPECT_EQ (plugin->getName(), "Ovalmere");
    EXPECT_FALSE (plugin->acceptsMidi());
    EXPECT_FALSE (plugin->producesMidi());
    EXPECT_EQ (plugin->getLatencySamples(), 0);
    EXPECT_EQ (plugin->getTailLengthSeconds(), 0.0);
    EXPECT_TRUE (plugin->hasEditor());
    EXPECT_EQ (plugin->getMainBusNumInputChannels(), 2);
    EXPECT_EQ (plugin->getMainBusNumOutputChannels(), 2);
}

TEST_P (HostedPlugin, ListsTwelveParametersInOrderWithDefaultsAndTexts)
{
    auto plugin = load (GetParam());
    ASSERT_NE (plugin, nullptr);
    const auto params = ownParameters (*plugin);
    ASSERT_EQ (params.size(), 12);

    for (int i = 0; i < 12; ++i)
    {
        const auto& row = parameterTable[i];
        SCOPED_TRACE (row.id);
        auto* p = parameter (*plugin, i);
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->getName (100), juce::String (row.name));
        EXPECT_NEAR (p->getDefaultValue(), row.defaultNormalised, 1.0e-6f);
        EXPECT_NEAR (p->getValue(), row.defaultNormalised, 1.0e-6f);

        // An LV2 host formats values itself; the plug-in's texts reach VST3 hosts.
        if (juce::String (GetParam()) == "VST3")
        {
            EXPECT_EQ (p->getText (p->getValue(), 100), juce::String (row.defaultText));
        }

        if (juce::String (GetParam()) == "VST3")
        {
            auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (p);
            ASSERT_NE (hosted, nullptr);
            EXPECT_EQ (hosted->getParameterID().getLargeIntValue(), row.vst3Number);
        }
    }
}

TEST_P (HostedPlugin, StateSurvivesTheHostsSaveAndRestore)
{
    constexpr int mix = 2, freeze = 8, sync = 0;
    auto plugin = load (GetParam());
    ASSERT_NE (plugin, nullptr);
    plugin->prepareToPlay (48000.0, 256);

    // An LV2 plug-in hears of parameter changes, and tells its host of
    // restored values, through messages handled while it processes.
    auto runAWhile = [] (juce::AudioPluginInstance& p)
    {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        for (int i = 0; i < 4; ++i)
        {
            buffer.clear();
            p.processBlock (buffer, midi);
            juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
        }
    };

    parameter (*plugin, mix)->setValueNotifyingHost (0.91f);
    parameter (*plugin, freeze)->setValueNotifyingHost (1.0f);
    parameter (*plugin, sync)->setValueNotifyingHost (0.0f);
    runAWhile (*plugin);

    juce::MemoryBlock saved;
    plugin->getStateInformation (saved);

    parameter (*plugin, mix)->setValueNotifyingHost (0.1f);
    parameter (*plugin, freeze)->setValueNotifyingHost (0.0f);
    parameter (*plugin, sync)->setValueNotifyingHost (1.0f);
    runAWhile (*plugin);

    auto restored = load (GetParam());
    ASSERT_NE (restored, nullptr);
    restored->prepareToPlay (48000.0, 256);
    restored->setStateInformation (saved.getData(), (int) saved.getSize());
    runAWhile (*restored);

    EXPECT_NEAR (parameter (*restored, mix)->getValue(), 0.91f, 1.0e-6f);
    EXPECT_EQ (parameter (*restored, freeze)->getValue(), 1.0f);
    EXPECT_EQ (parameter (*restored, sync)->getValue(), 0.0f);
}

TEST_P (HostedPlugin, AudioPassesAndBypassIsBitExact)
{
    auto plugin = load (GetParam(), 48000.0, 256);
    ASSERT_NE (plugin, nullptr);
    plugin->prepareToPlay (48000.0, 256);

    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    juce::Random random (42);

    // Defaults: the delay answers with echoes, all finite.
    float outputEnergy = 0.0f;
    for (int block = 0; block < 400; ++block)
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 256; ++i)
                buffer.setSample (ch, i, block < 20 ? random.nextFloat() - 0.5f : 0.0f);

        plugin->processBlock (buffer, midi);

        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 256; ++i)
            {
                ASSERT_TRUE (std::isfinite (buffer.getSample (ch, i)));
                if (block >= 20)
                    outputEnergy += buffer.getSample (ch, i) * buffer.getSample (ch, i);
            }
    }
    EXPECT_GT (outputEnergy, 1.0f) << "no echoes after the input stopped";

    // ONOFF off: the input comes through untouched.
    parameter (*plugin, 11)->setValueNotifyingHost (0.0f);
    juce::AudioBuffer<float> input (2, 256);
    for (int block = 0; block < 4; ++block)
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 256; ++i)
                input.setSample (ch, i, random.nextFloat() - 0.5f);

        buffer.makeCopyOf (input);
        plugin->processBlock (buffer, midi);

        // The first block may still carry the switch in flight.
        if (block == 0)
            continue;

        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ (buffer.getSample (ch, i), input.getSample (ch, i));
    }

    plugin->releaseResources();
}

// A host that sends the transport once, as LV2 hosts do when it changes, and
// then nothing.
struct OneShotPlayHead : public juce::AudioPlayHead
{
    bool sendTempo = false;
    double bpm = 60.0;

    juce::Optional<PositionInfo> getPosition() const override
    {
        if (! sendTempo)
            return {};

        PositionInfo info;
        info.setBpm (bpm);
        info.setIsPlaying (true);
        info.setTimeInSamples (0);
        return info;
    }
};

TEST_P (HostedPlugin, TempoSentOnceHoldsInLv2AndFallsBackInVst3)
{
    auto plugin = load (GetParam(), 48000.0, 512);
    ASSERT_NE (plugin, nullptr);
    plugin->prepareToPlay (48000.0, 512);

    OneShotPlayHead playHead;
    plugin->setPlayHead (&playHead);

    // A plain synced delay of a dotted eighth: 0.75 beats.
    const std::pair<int, float> settings[] = { { 0, 1.0f }, { 1, 0.5f }, { 2, 1.0f }, { 3, 0.0f }, { 4, 0.0f },
                                               { 5, 0.0f }, { 6, 0.0f }, { 7, 0.0f }, { 9, 0.0f } };
    for (const auto& [index, value] : settings)
        parameter (*plugin, index)->setValueNotifyingHost (value);

    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    std::vector<float> left;

    for (int block = 0; block < 250; ++block)
    {
        playHead.sendTempo = block == 0;
        buffer.clear();
        if (block == 100)
            buffer.setSample (0, 0, 0.5f);
        plugin->processBlock (buffer, midi);
        if (block >= 100)
            left.insert (left.end(), buffer.getReadPointer (0), buffer.getReadPointer (0) + 512);
    }

    size_t echo = 0;
    while (echo < left.size() && std::abs (left[echo]) < 1.0e-4f)
        ++echo;

    // LV2 keeps the 60 bpm it was sent: 0.75 s. VST3 hosts send the tempo
    // with every block; a block without one means no tempo, 120 bpm.
    const auto expected = juce::String (GetParam()) == "LV2" ? 36000.0 : 18000.0;
    EXPECT_NEAR ((double) echo, expected, 3.0);
}

INSTANTIATE_TEST_SUITE_P (Formats, HostedPlugin, ::testing::Values ("VST3", "LV2"),
                          [] (const auto& info) { return std::string (info.param); });
} // namespace
