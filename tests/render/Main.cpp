#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

// The plot tests need fonts and images, which need the framework's GUI side
// for the whole run.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    const juce::ScopedJuceInitialiser_GUI framework;
    return RUN_ALL_TESTS();
}
