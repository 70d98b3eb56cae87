#include "Parameters.h"

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout()
{
    using juce::AudioParameterBool;
    using juce::AudioParameterFloat;
    using juce::ParameterID;

    // Every continuous control runs 0..1 in hundredths; the host shows JUCE's
    // default two-decimal text.
    const juce::NormalisableRange<float> unit { 0.0f, 1.0f, 0.01f, 1.0f, false };

    auto makeFloat = [&unit] (const char* id, const char* name, float defaultValue)
    {
        return std::make_unique<AudioParameterFloat> (ParameterID { id, 1 }, name, unit, defaultValue);
    };
    auto makeBool = [] (const char* id, const char* name, bool defaultValue)
    {
        return std::make_unique<AudioParameterBool> (ParameterID { id, 1 }, name, defaultValue);
    };

    juce::AudioProcessorValueTreeState::ParameterLayout layout;
    layout.add (makeBool (ParamIDs::sync, "Sync", true),
                makeFloat (ParamIDs::time, "Time", 0.6f),
                makeFloat (ParamIDs::mix, "Mix", 0.48f),
                makeFloat (ParamIDs::dual, "Dual", 0.75f),
                makeFloat (ParamIDs::feedback, "Feedback", 0.6f),
                makeFloat (ParamIDs::reverb, "Reverb", 0.25f),
                makeFloat (ParamIDs::filter, "Filter", 0.2f),
                makeFloat (ParamIDs::duck, "Duck", 0.75f),
                makeBool (ParamIDs::freeze, "Freeze", false),
                makeBool (ParamIDs::granular, "Granular", true),
                makeBool (ParamIDs::reverse, "Reverse", false),
                makeBool (ParamIDs::onOff, "OnOff", true));
    return layout;
}
