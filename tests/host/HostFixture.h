#pragma once

// Loads the built VST3 and LV2 bundles through JUCE's hosting classes, as a
// host nobody here wrote would.

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

struct ParameterRow
{
    const char* id;
    const char* name;
    float defaultNormalised;
    const char* defaultText;
    juce::int64 vst3Number;
};

// VST3 and Audio Unit hosts store automation under numbers hashed from the
// string IDs; these must never change.
inline constexpr ParameterRow parameterTable[] = {
    { "SYNC", "Sync", 1.0f, "On", 2560667 },
    { "TIME", "Time", 0.6f, "0.60", 2575053 },
    { "MIX", "Mix", 0.48f, "0.48", 76348 },
    { "DUAL", "Dual", 0.75f, "0.75", 2109564 },
    { "FEEDBACK", "Feedback", 0.6f, "0.60", 591125381 },
    { "REVERB", "Reverb", 0.25f, "0.25", 266460626 },
    { "FILTER", "Filter", 0.2f, "0.20", 2073804664 },
    { "DUCK", "Duck", 0.75f, "0.75", 2109625 },
    { "FREEZE", "Freeze", 0.0f, "Off", 2081894039 },
    { "GRANULAR", "Granular", 1.0f, "On", 881876832 },
    { "REVERSE", "Reverse", 0.0f, "Off", 1817829058 },
    { "ONOFF", "OnOff", 1.0f, "On", 75360016 },
};

class HostFixture : public ::testing::TestWithParam<const char*>
{
protected:
    static void SetUpTestSuite()
    {
        // The LV2 host searches ~/.lv2: point it at a home of our own that
        // holds only the bundle under test, never the user's plug-ins.
        home = std::make_unique<juce::TemporaryFile>();
        const auto folder = home->getFile();
        folder.getChildFile (".lv2").createDirectory();
        juce::File (OVALMERE_LV2_BUNDLE).createSymbolicLink (folder.getChildFile (".lv2/Ovalmere.lv2"), true);
        setenv ("HOME", folder.getFullPathName().toRawUTF8(), 1);

        // The editors opened here keep their settings file in the same place.
        setenv ("OVALMERE_SETTINGS_DIR", folder.getChildFile ("settings").getFullPathName().toRawUTF8(), 1);

        gui = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
        formats = std::make_unique<juce::AudioPluginFormatManager>();
        formats->addDefaultFormats();
    }

    static void TearDownTestSuite()
    {
        formats.reset();
        gui.reset();
        home->getFile().deleteRecursively();
        home.reset();
    }

    static std::unique_ptr<juce::AudioPluginInstance> load (const juce::String& formatName, double rate = 48000.0,
                                                            int block = 512)
    {
        for (auto* format : formats->getFormats())
        {
            if (format->getName() != formatName)
                continue;

            juce::OwnedArray<juce::PluginDescription> found;
            format->findAllTypesForFile (found, formatName == "VST3" ? OVALMERE_VST3_BUNDLE : OVALMERE_LV2_URI);

            if (found.isEmpty())
                return nullptr;

            juce::String error;
            auto instance = formats->createPluginInstance (*found[0], rate, block, error);
            EXPECT_TRUE (error.isEmpty()) << error;
            return instance;
        }

        return nullptr;
    }

    // The plug-in's own twelve parameters, without any the host adds.
    static juce::Array<juce::AudioProcessorParameter*> ownParameters (juce::AudioPluginInstance& plugin)
    {
        juce::Array<juce::AudioProcessorParameter*> own;
        for (auto* p : plugin.getParameters())
            if (p->getName (100) != "Bypass")
                own.add (p);
        return own;
    }

    // A VST3 host lists the parameters in the plug-in's order; an LV2 host
    // sees an unordered set of parameter URIs (JUCE's host sorts them), so
    // there they are found by the ID at the end of their URI.
    static juce::AudioProcessorParameter* parameter (juce::AudioPluginInstance& plugin, int index)
    {
        const auto params = ownParameters (plugin);

        if (juce::String (GetParam()) == "VST3")
            return params[index];

        const auto suffix = juce::String (":") + parameterTable[index].id;
        for (auto* p : params)
            if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (p))
                if (hosted->getParameterID().endsWith (suffix))
                    return p;

        return nullptr;
    }

    static inline std::unique_ptr<juce::TemporaryFile> home;
    static inline std::unique_ptr<juce::ScopedJuceInitialiser_GUI> gui;
    static inline std::unique_ptr<juce::AudioPluginFormatManager> formats;
};
