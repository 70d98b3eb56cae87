#include "ProcessorHarness.h"

#include <gtest/gtest.h>

namespace
{
struct ParameterRow
{
    const char* id;
    const char* name;
    bool isSwitch;
    float defaultValue;
    const char* defaultText;
};

// The framework snaps each float default to the 0.01 grid in single
// precision, so 0.6 is held as 0.59999996 and 0.2 as 0.19999999.
constexpr ParameterRow parameterTable[] = {
    { "SYNC", "Sync", true, 1.0f, "On" },
    { "TIME", "Time", false, 0.6f, "0.60" },
    { "MIX", "Mix", false, 0.48f, "0.48" },
    { "DUAL", "Dual", false, 0.75f, "0.75" },
    { "FEEDBACK", "Feedback", false, 0.6f, "0.60" },
    { "REVERB", "Reverb", false, 0.25f, "0.25" },
    { "FILTER", "Filter", false, 0.2f, "0.20" },
    { "DUCK", "Duck", false, 0.75f, "0.75" },
    { "FREEZE", "Freeze", true, 0.0f, "Off" },
    { "GRANULAR", "Granular", true, 1.0f, "On" },
    { "REVERSE", "Reverse", true, 0.0f, "Off" },
    { "ONOFF", "OnOff", true, 1.0f, "On" },
};
} // namespace

TEST (Parameters, HostSeesTwelveInFixedOrderWithDefaultsAndTexts)
{
    auto owner = std::make_unique<QuelmarAudioProcessor>();
    auto& processor = *owner;
    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), 12);

    for (int i = 0; i < 12; ++i)
    {
        const auto& row = parameterTable[i];
        SCOPED_TRACE (row.id);
        auto* p = dynamic_cast<juce::RangedAudioParameter*> (params[i]);
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->paramID, row.id);
        EXPECT_EQ (p->getName (100), row.name);
        EXPECT_EQ (p->getVersionHint(), 1);
        EXPECT_EQ (p->getText (p->getValue(), 100), row.defaultText);
        EXPECT_NEAR (processor.parameters.getRawParameterValue (row.id)->load(), row.defaultValue, 1.0e-7f);
        EXPECT_TRUE (p->isAutomatable());
        EXPECT_FALSE (p->isMetaParameter());
        EXPECT_EQ (p->getLabel(), "");

        if (row.isSwitch)
        {
            EXPECT_NE (dynamic_cast<juce::AudioParameterBool*> (p), nullptr);
        }
        else
        {
            const auto& range = p->getNormalisableRange();
            EXPECT_EQ (range.start, 0.0f);
            EXPECT_EQ (range.end, 1.0f);
            EXPECT_EQ (range.interval, 0.01f);
            EXPECT_EQ (range.skew, 1.0f);
        }
    }
}

TEST (Parameters, FloatValuesSnapToHundredths)
{
    auto owner = std::make_unique<QuelmarAudioProcessor>();
    auto& processor = *owner;
    auto* mix = processor.parameters.getParameter ("MIX");
    mix->setValueNotifyingHost (0.456f);
    EXPECT_NEAR (processor.parameters.getRawParameterValue ("MIX")->load(), 0.46f, 1.0e-6f);
    EXPECT_EQ (mix->getText (mix->getValue(), 100), "0.46");
}

TEST (Parameters, TimeSelectsNoteDivisionRows)
{
    struct Row { float time; int row; const char* label; float value; };
    constexpr Row rows[] = {
        { 1.0f, 0, "1", 1.0f },          { 0.94f, 0, "1", 1.0f },
        { 0.93f, 1, "1/2.", 0.75f },     { 0.6f, 6, "1/4T", 0.165f },
        { 0.5f, 7, "1/8.", 0.1875f },    { 0.12f, 13, "1/32.", 0.046875f },
        { 0.06f, 14, "1/32", 0.03125f }, { 0.0f, 15, "1/32T", 0.020625f },
    };

    for (const auto& r : rows)
    {
        SCOPED_TRACE (r.time);
        EXPECT_EQ (timeDivisionIndex (r.time), r.row);
        EXPECT_EQ (timeDivisionLabel (r.row), r.label);
        EXPECT_EQ (timeDivisionValue (r.row), r.value);
    }
}

TEST (Parameters, RowBoundariesOnTheHundredthGrid)
{
    // The smallest grid value of TIME that selects each row, as the host
    // holds it (hundredths snapped in single precision).
    constexpr float firstTimeOfRow[16] = { 0.94f, 0.88f, 0.82f, 0.75f, 0.69f, 0.63f, 0.56f, 0.50f,
                                           0.44f, 0.37f, 0.31f, 0.25f, 0.18f, 0.12f, 0.06f, 0.00f };
    auto owner = std::make_unique<QuelmarAudioProcessor>();
    auto& processor = *owner;
    auto* time = processor.parameters.getParameter ("TIME");

    for (int step = 0; step <= 100; ++step)
    {
        time->setValueNotifyingHost ((float) step / 100.0f);
        const auto t = processor.parameters.getRawParameterValue ("TIME")->load();
        int expected = 15;
        for (int row = 0; row < 16; ++row)
        {
            if (t >= firstTimeOfRow[row] - 1.0e-6f)
            {
                expected = row;
                break;
            }
        }
        SCOPED_TRACE (step);
        EXPECT_EQ (timeDivisionIndex (t), expected);
    }
}
