// What a strict host does that unit tests rarely do: many instances at every
// rate and block size, automation of everything every block, state saved and
// restored (also from garbage) while audio runs, and the editor opened and
// closed under running audio. Through the built VST3 and LV2 bundles.

#include "HostFixture.h"

#include <atomic>
#include <thread>

namespace
{
// Noise in -0.5..0.5 gives at most this much out: the dry part, the wet part
// bounded by the ladder's saturation and the feedback limiter, and the reverb.
constexpr float outputBound = 8.0f;

void fillNoise (juce::AudioBuffer<float>& buffer, juce::Random& random)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            buffer.setSample (ch, i, random.nextFloat() - 0.5f);
}

::testing::AssertionResult finiteAndBounded (const juce::AudioBuffer<float>& buffer)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const auto s = buffer.getSample (ch, i);
            if (! std::isfinite (s) || std::abs (s) > outputBound)
                return ::testing::AssertionFailure() << "sample " << i << " of channel " << ch << " is " << s;
        }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult allInRange (juce::AudioPluginInstance& plugin)
{
    for (auto* p : plugin.getParameters())
    {
        const auto v = p->getValue();
        if (! std::isfinite (v) || v < 0.0f || v > 1.0f)
            return ::testing::AssertionFailure() << p->getName (100) << " holds " << v;
    }
    return ::testing::AssertionSuccess();
}

// Puts a state block of our own into what the host saves. A VST3 host hands
// its saved bytes to the plug-in as they are; an LV2 host keeps a Turtle
// document in which the plug-in's block is a base64 string, so garbage for
// the plug-in goes inside that string, not in place of the document (which
// would only exercise the host's own parser).
juce::MemoryBlock wrapForHost (const juce::String& format, const juce::MemoryBlock& hostState,
                               const juce::MemoryBlock& pluginBlock)
{
    if (format == "VST3")
        return pluginBlock;

    const auto text = hostState.toString();
    const auto key = text.indexOf ("StateString");
    const auto open = text.indexOf (key, "\"");
    const auto close = text.indexOf (open + 1, "\"");

    if (key < 0 || open < 0 || close < 0)
        return hostState;

    const auto replaced = text.substring (0, open + 1) + pluginBlock.toBase64Encoding() + text.substring (close);
    return { replaced.toRawUTF8(), replaced.getNumBytesAsUTF8() };
}

// An audio thread that processes noise through the plug-in until it goes out
// of scope, and remembers whether any block came out not finite or too loud.
class RunningAudio
{
public:
    RunningAudio (juce::AudioPluginInstance& plugin, int blockSize, juce::int64 seed)
        : thread ([this, &plugin, blockSize, seed]
                  {
                      juce::Random random (seed);
                      juce::AudioBuffer<float> buffer (2, blockSize);
                      juce::MidiBuffer midi;

                      while (running)
                      {
                          fillNoise (buffer, random);
                          plugin.processBlock (buffer, midi);
                          if (! finiteAndBounded (buffer))
                              failed = true;
                      }
                  })
    {
    }

    ~RunningAudio()
    {
        running = false;
        thread.join();
    }

    std::atomic<bool> running { true };
    std::atomic<bool> failed { false };

private:
    std::thread thread;
};

using HostStress = HostFixture;
} // namespace

TEST_P (HostStress, EveryRateAndBlockSizeWithEmptyBlocksBetween)
{
    juce::Random random (7);
    juce::MidiBuffer midi;

    for (const double rate : { 44100.0, 48000.0, 96000.0, 192000.0 })
    {
        for (const int block : { 1, 17, 64, 512, 4096, 8192 })
        {
            SCOPED_TRACE (juce::String (rate) + " Hz, block " + juce::String (block));
            auto plugin = load (GetParam(), rate, block);
            ASSERT_NE (plugin, nullptr);
            plugin->prepareToPlay (rate, block);

            juce::AudioBuffer<float> buffer (2, block);
            juce::AudioBuffer<float> empty (2, 0);
            const auto blocks = juce::jmax (4, (int) (rate * 0.25) / block);

            for (int b = 0; b < blocks; ++b)
            {
                fillNoise (buffer, random);
                plugin->processBlock (buffer, midi);
                ASSERT_TRUE (finiteAndBounded (buffer)) << "block " << b;

                if (b % 3 == 0)
                    plugin->processBlock (empty, midi);
            }

            plugin->releaseResources();
        }
    }
}

TEST_P (HostStress, RandomAutomationOfEveryParameterEveryBlock)
{
    auto plugin = load (GetParam(), 48000.0, 256);
    ASSERT_NE (plugin, nullptr);
    plugin->prepareToPlay (48000.0, 256);

    juce::Random random (11);
    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    const auto params = ownParameters (*plugin);

    // Twenty seconds of audio, every parameter moved every block.
    for (int b = 0; b < 20 * 48000 / 256; ++b)
    {
        for (auto* p : params)
            p->setValueNotifyingHost (random.nextFloat());

        fillNoise (buffer, random);
        plugin->processBlock (buffer, midi);
        ASSERT_TRUE (finiteAndBounded (buffer)) << "block " << b;
    }

    EXPECT_TRUE (allInRange (*plugin));
}

TEST_P (HostStress, StateSavedAndRestoredWhileAudioRuns)
{
    auto plugin = load (GetParam(), 48000.0, 128);
    ASSERT_NE (plugin, nullptr);
    plugin->prepareToPlay (48000.0, 128);

    auto audio = std::make_unique<RunningAudio> (*plugin, 128, 3);

    juce::Random random (5);
    juce::MemoryBlock good;
    plugin->getStateInformation (good);

    for (int round = 0; round < 300; ++round)
    {
        juce::MemoryBlock saved;
        plugin->getStateInformation (saved);

        if (round % 3 == 0)
        {
            plugin->setStateInformation (good.getData(), (int) good.getSize());
        }
        else
        {
            // Garbage of every kind for the plug-in: random bytes, and a
            // state block of ours with damaged bytes.
            juce::MemoryBlock garbage;
            if (round % 3 == 1)
            {
                garbage.setSize ((size_t) random.nextInt (200));
                for (size_t i = 0; i < garbage.getSize(); ++i)
                    garbage[i] = (char) random.nextInt (256);
            }
            else
            {
                const char* text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <Parameters>"
                                   "<PARAM id=\"MIX\" value=\"0.3\"/><PARAM id=\"ONOFF\" value=\"1\"/></Parameters>";
                const auto length = (uint32_t) strlen (text);
                garbage.append ("VC2!", 4);
                garbage.append (&length, 4);
                garbage.append (text, length + 1);
                for (int k = 0; k < 5; ++k)
                    garbage[(size_t) random.nextInt ((int) garbage.getSize())] = (char) random.nextInt (256);
            }

            const auto forHost = wrapForHost (GetParam(), saved, garbage);
            plugin->setStateInformation (forHost.getData(), (int) forHost.getSize());
        }

        juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
    }

    const auto audioFailed = audio->failed.load();
    audio.reset();

    EXPECT_FALSE (audioFailed);
    EXPECT_TRUE (allInRange (*plugin));
}

TEST_P (HostStress, EditorOpensAndClosesWhileAudioRuns)
{
    // JUCE's LV2 host embeds the plug-in's window through X properties that
    // exist only under a window manager; its VST3 host needs no display.
    if (juce::String (GetParam()) == "LV2")
        GTEST_SKIP() << "the LV2 host side needs a window manager";

    auto plugin = load (GetParam(), 48000.0, 256);
    ASSERT_NE (plugin, nullptr);
    plugin->prepareToPlay (48000.0, 256);

    RunningAudio audio (*plugin, 256, 9);

    for (int i = 0; i < 20; ++i)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (plugin->createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
        plugin->editorBeingDeleted (editor.get());
    }

    EXPECT_FALSE (audio.failed.load());
}

INSTANTIATE_TEST_SUITE_P (Formats, HostStress, ::testing::Values ("VST3", "LV2"),
                          [] (const auto& info) { return std::string (info.param); });
