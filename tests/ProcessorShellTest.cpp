#include "ProcessorHarness.h"

#include <gtest/gtest.h>

TEST (ProcessorShell, DeclaresStereoInputAndOutputBuses)
{
    auto owner = std::make_unique<QuelmarAudioProcessor>();
    auto& processor = *owner;
    ASSERT_EQ (processor.getBusCount (true), 1);
    ASSERT_EQ (processor.getBusCount (false), 1);
    EXPECT_EQ (processor.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (processor.getBus (true, 0)->getDefaultLayout(), juce::AudioChannelSet::stereo());
    EXPECT_EQ (processor.getBus (false, 0)->getDefaultLayout(), juce::AudioChannelSet::stereo());
    EXPECT_TRUE (processor.getBus (true, 0)->isEnabledByDefault());
    EXPECT_TRUE (processor.getBus (false, 0)->isEnabledByDefault());
}

TEST (ProcessorShell, AcceptsOnlyMatchingMonoOrStereoLayouts)
{
    using Set = juce::AudioChannelSet;
    struct Case { const char* name; std::optional<Set> in, out; bool accepted; };
    const Case cases[] = {
        { "mono/mono", Set::mono(), Set::mono(), true },
        { "stereo/stereo", Set::stereo(), Set::stereo(), true },
        { "mono/stereo", Set::mono(), Set::stereo(), false },
        { "stereo/mono", Set::stereo(), Set::mono(), false },
        { "quad/quad", Set::quadraphonic(), Set::quadraphonic(), false },
        { "5.1/5.1", Set::create5point1(), Set::create5point1(), false },
        { "no input", std::nullopt, Set::stereo(), false },
        { "no output", Set::stereo(), std::nullopt, false },
        { "disabled/disabled", Set::disabled(), Set::disabled(), false },
    };

    auto owner = std::make_unique<QuelmarAudioProcessor>();
    auto& processor = *owner;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        juce::AudioProcessor::BusesLayout layout;
        if (c.in)
            layout.inputBuses.add (*c.in);
        if (c.out)
            layout.outputBuses.add (*c.out);
        EXPECT_EQ (processor.checkBusesLayoutSupported (layout), c.accepted);
    }
}

TEST (ProcessorShell, HostFacingAnswers)
{
    Harness h;
    auto& p = *h.processor;
    EXPECT_EQ (p.getName(), "Ovalmere");
    EXPECT_FALSE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_FALSE (p.isMidiEffect());
    EXPECT_TRUE (p.hasEditor());
    EXPECT_EQ (p.getLatencySamples(), 0);

    // No tail is reported, however long the echoes ring.
    h.set ("FEEDBACK", 1.0f);
    h.set ("REVERB", 1.0f);
    EXPECT_EQ (p.getTailLengthSeconds(), 0.0);

    EXPECT_EQ (p.getNumPrograms(), 1);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    p.setCurrentProgram (3);
    p.changeProgramName (0, "renamed");
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_EQ (p.getProgramName (0), "");
    EXPECT_EQ (p.getProgramName (7), "");
}

TEST (ProcessorShell, IsLargeAndOwnsItsDelayMemory)
{
    // Four rings of 768000 floats live inside the object.
    EXPECT_GT (sizeof (QuelmarAudioProcessor), 4u * 768000u * sizeof (float));
    EXPECT_LT (sizeof (QuelmarAudioProcessor), 13u * 1024u * 1024u);
}

TEST (ProcessorShell, ReleaseThenPrepareKeepsWorking)
{
    Harness h;
    h.plainDelay();
    h.set ("SYNC", 0.0f);
    h.set ("MIX", 1.0f);
    auto input = makeImpulse (44100 * 2, 10);
    h.processor->releaseResources();
    h.processor->prepareToPlay (44100.0, 256);
    const auto out = h.runMono (input, 256);
    EXPECT_TRUE (allFinite (out));
    EXPECT_GT (peak (out), 0.01f);
}
