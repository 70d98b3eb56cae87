#include "ProcessorHarness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace
{
juce::MemoryBlock saveState (QuelmarAudioProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

void restore (QuelmarAudioProcessor& p, const juce::MemoryBlock& block)
{
    p.setStateInformation (block.getData(), (int) block.getSize());
}

// A state block around the given text, with an explicit length field.
juce::MemoryBlock makeBlock (const std::string& text, int64_t lengthField, uint32_t magic = 0x21324356)
{
    juce::MemoryBlock block;
    const uint32_t len = (uint32_t) lengthField;
    const unsigned char header[8] = { (unsigned char) magic, (unsigned char) (magic >> 8),
                                      (unsigned char) (magic >> 16), (unsigned char) (magic >> 24),
                                      (unsigned char) len, (unsigned char) (len >> 8),
                                      (unsigned char) (len >> 16), (unsigned char) (len >> 24) };
    block.append (header, 8);
    block.append (text.data(), text.size());
    block.append ("", 1);
    return block;
}

juce::MemoryBlock makeBlock (const std::string& text) { return makeBlock (text, (int64_t) text.size()); }

std::string xmlOf (const std::string& params, const char* root = "Parameters")
{
    return std::string ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <") + root + ">" + params + "</" + root + ">";
}

std::vector<float> allValues (QuelmarAudioProcessor& p)
{
    std::vector<float> v;
    for (const auto* id : ParamIDs::all)
        v.push_back (p.parameters.getRawParameterValue (id)->load());
    return v;
}

void setAll (Harness& h, float floats, bool switches)
{
    for (const auto* id : { "TIME", "MIX", "DUAL", "FEEDBACK", "REVERB", "FILTER", "DUCK" })
        h.set (id, floats);
    for (const auto* id : { "SYNC", "FREEZE", "GRANULAR", "REVERSE", "ONOFF" })
        h.set (id, switches ? 1.0f : 0.0f);
}

void expectAllInRange (QuelmarAudioProcessor& p)
{
    for (const auto* id : ParamIDs::all)
    {
        const auto v = p.parameters.getRawParameterValue (id)->load();
        SCOPED_TRACE (id);
        ASSERT_TRUE (std::isfinite (v));
        ASSERT_GE (v, 0.0f);
        ASSERT_LE (v, 1.0f);
        auto* param = p.parameters.getParameter (id);
        if (dynamic_cast<juce::AudioParameterBool*> (param) != nullptr)
            ASSERT_TRUE (v == 0.0f || v == 1.0f);
        else
            ASSERT_NEAR (v * 100.0f, std::round (v * 100.0f), 1.0e-3f);
    }
}
} // namespace

TEST (State, FreshProcessorSavesTheDocumentedBlock)
{
    auto owner = std::make_unique<QuelmarAudioProcessor>();
    auto& p = *owner;
    const auto block = saveState (p);
    const auto* bytes = static_cast<const unsigned char*> (block.getData());
    const auto size = block.getSize();

    ASSERT_GT (size, 9u);
    EXPECT_EQ (std::memcmp (bytes, "VC2!", 4), 0);
    const uint32_t length = bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | ((uint32_t) bytes[7] << 24);
    EXPECT_EQ (length, size - 9);
    EXPECT_EQ (bytes[size - 1], 0);

    const std::string text ((const char*) bytes + 8, length);
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <Parameters>";
    EXPECT_EQ (text.substr (0, declaration.size()), declaration);
    EXPECT_EQ (text.find ('\n'), std::string::npos);
    EXPECT_EQ (text.substr (text.size() - 13), "</Parameters>");

    // Children in byte order of their IDs, attributes "id" then "value".
    const char* byteOrder[] = { "DUAL", "DUCK", "FEEDBACK", "FILTER", "FREEZE", "GRANULAR",
                                "MIX", "ONOFF", "REVERB", "REVERSE", "SYNC", "TIME" };
    size_t at = declaration.size();
    for (const auto* id : byteOrder)
    {
        SCOPED_TRACE (id);
        const auto tag = std::string ("<PARAM id=\"") + id + "\" value=\"";
        ASSERT_EQ (text.compare (at, tag.size(), tag), 0);
        const auto close = text.find ("\"/>", at + tag.size());
        ASSERT_NE (close, std::string::npos);
        const auto value = std::stod (text.substr (at + tag.size(), close - at - tag.size()));
        EXPECT_EQ ((float) value, p.parameters.getRawParameterValue (id)->load());
        at = close + 3;
    }
    EXPECT_EQ (at, text.size() - 13);
}

TEST (State, RoundTripRestoresEveryParameter)
{
    Harness source;
    setAll (source, 0.37f, false);
    source.set ("MIX", 0.91f);
    const auto saved = saveState (*source.processor);
    const auto expected = allValues (*source.processor);

    Harness target;
    setAll (target, 0.82f, true);
    restore (*target.processor, saved);
    EXPECT_EQ (allValues (*target.processor), expected);
    EXPECT_EQ (saveState (*target.processor), saved);
}

TEST (State, RejectedBlocksChangeNothing)
{
    const auto validXml = xmlOf ("<PARAM id=\"MIX\" value=\"0.1\"/>");
    struct Case { const char* name; juce::MemoryBlock block; };
    const Case cases[] = {
        { "empty", juce::MemoryBlock() },
        { "eight bytes", juce::MemoryBlock (makeBlock (validXml).getData(), 8) },
        { "wrong magic", makeBlock (validXml, (int64_t) validXml.size(), 0x21324357) },
        { "zero length", makeBlock (validXml, 0) },
        { "negative length", makeBlock (validXml, -5) },
        { "not xml", makeBlock ("this is not xml at all") },
        { "markup only", makeBlock ("<<<>>>") },
        { "other root", makeBlock (xmlOf ("<PARAM id=\"MIX\" value=\"0.1\"/>", "OtherPlugin")) },
        { "doctype", makeBlock ("<?xml version=\"1.0\"?><!DOCTYPE Parameters [<!ENTITY e \"x\">]><Parameters><PARAM id=\"MIX\" value=\"0.1\"/></Parameters>") },
        { "doctype lower case", makeBlock ("<!doctype Parameters><Parameters><PARAM id=\"MIX\" value=\"0.1\"/></Parameters>") },
        { "utf-8 cut short", makeBlock (xmlOf ("<PARAM id=\"MIX\" value=\"0.1\"/>") + "\xe2") },
        { "stray continuation byte", makeBlock (xmlOf ("<PARAM id=\"MIX\" value=\"0.1\"/><!-- \x80 -->")) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Harness h;
        setAll (h, 0.33f, true);
        const auto before = saveState (*h.processor);
        restore (*h.processor, c.block);
        EXPECT_EQ (saveState (*h.processor), before);
        EXPECT_NEAR (h.get ("MIX"), 0.33f, 1.0e-6f);
    }
}

TEST (State, WellFormedUnicodeTextIsAccepted)
{
    Harness h;
    restore (*h.processor, makeBlock (xmlOf ("<!-- r\xc3\xa9glage \xe2\x86\x92 \xf0\x9f\x8e\xb8 --><PARAM id=\"MIX\" value=\"0.2\"/>")));
    EXPECT_NEAR (h.get ("MIX"), 0.2f, 1.0e-6f);
}

TEST (State, LengthFieldLargerThanDataUsesTheBytesPresent)
{
    Harness h;
    const auto text = xmlOf ("<PARAM id=\"MIX\" value=\"0.1\"/>");
    restore (*h.processor, makeBlock (text, (int64_t) text.size() + 1000));
    EXPECT_NEAR (h.get ("MIX"), 0.1f, 1.0e-6f);
}

TEST (State, RootNameMatchesWithoutRegardToCaseAndKeepsItsSpelling)
{
    Harness h;
    restore (*h.processor, makeBlock (xmlOf ("<PARAM id=\"MIX\" value=\"0.2\"/>", "parameters")));
    EXPECT_NEAR (h.get ("MIX"), 0.2f, 1.0e-6f);

    const auto saved = saveState (*h.processor);
    const std::string text ((const char*) saved.getData() + 8, saved.getSize() - 9);
    EXPECT_NE (text.find ("<parameters>"), std::string::npos);
}

TEST (State, PartialBlocksKeepMissingParametersAndUnknownContent)
{
    Harness h;
    setAll (h, 0.33f, false);

    restore (*h.processor, makeBlock (xmlOf ("<PARAM id=\"MIX\" value=\"0.456\"/>"
                                             "<PARAM id=\"DUCK\"/>"
                                             "<PARAM id=\"REVERSE\" value=\"1\"/>"
                                             "<PARAM id=\"FUTURE\" value=\"0.7\"/>")));

    EXPECT_NEAR (h.get ("MIX"), 0.46f, 1.0e-6f);     // snapped to the grid
    EXPECT_NEAR (h.get ("DUCK"), 0.75f, 1.0e-6f);    // no value: the default
    EXPECT_EQ (h.get ("REVERSE"), 1.0f);
    EXPECT_NEAR (h.get ("TIME"), 0.33f, 1.0e-6f);    // missing: kept
    EXPECT_NEAR (h.get ("FEEDBACK"), 0.33f, 1.0e-6f);
    EXPECT_EQ (h.get ("SYNC"), 0.0f);

    // The restored order comes first, then the missing ones in ID order; the
    // unknown element survives the next save.
    const auto saved = saveState (*h.processor);
    const std::string text ((const char*) saved.getData() + 8, saved.getSize() - 9);
    const auto pos = [&text] (const char* id) { return text.find (std::string ("id=\"") + id + "\""); };
    EXPECT_NE (pos ("FUTURE"), std::string::npos);
    EXPECT_LT (pos ("MIX"), pos ("DUCK"));
    EXPECT_LT (pos ("FUTURE"), pos ("DUAL"));
    EXPECT_LT (pos ("DUAL"), pos ("FEEDBACK"));
    EXPECT_LT (pos ("SYNC"), pos ("TIME"));

    // Restoring that save brings back exactly the same values.
    const auto values = allValues (*h.processor);
    Harness other;
    restore (*other.processor, saved);
    EXPECT_EQ (allValues (*other.processor), values);
}

TEST (State, ValuesThatAreNotNumbersFallBackToTheDefault)
{
    struct Case { const char* text; float expectedMix; float expectedFreeze; };
    constexpr Case cases[] = {
        { "nan", 0.48f, 0.0f },
        { "NaN", 0.48f, 0.0f },
        { "-nan", 0.48f, 0.0f },
        { "inf", 1.0f, 1.0f },
        { "-inf", 0.0f, 0.0f },
        { "1e39", 1.0f, 1.0f },
        { "-3", 0.0f, 0.0f },
        { "0.999", 1.0f, 1.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.text);
        Harness h;
        h.set ("MIX", 0.3f);
        h.set ("FREEZE", 1.0f);
        const auto v = std::string (c.text);
        restore (*h.processor, makeBlock (xmlOf ("<PARAM id=\"MIX\" value=\"" + v + "\"/><PARAM id=\"FREEZE\" value=\"" + v + "\"/>")));
        EXPECT_NEAR (h.get ("MIX"), c.expectedMix, 1.0e-6f);
        EXPECT_EQ (h.get ("FREEZE"), c.expectedFreeze);
        expectAllInRange (*h.processor);
    }
}

TEST (State, HostileBytesNeverCrashAndLeaveParametersInRange)
{
    // A deterministic mutation loop over valid and crafted blocks: flipped,
    // inserted and deleted bytes, hostile values and ids, damaged length
    // fields. Run under AddressSanitizer too (see the README).
    const char* values[] = { "nan", "inf", "-inf", "1e999", "-1e999", "", "abc", "0x10", "1e-45", "  0.5  ", "-0", "\xff\xfe" };
    const char* ids[] = { "MIX", "ONOFF", "TIME", "NOPE", "", "mix", "FREEZE" };
    std::mt19937 rng (1234);

    auto owner = std::make_unique<QuelmarAudioProcessor>();
    auto& p = *owner;
    std::vector<std::string> seeds;
    {
        const auto saved = saveState (p);
        seeds.emplace_back ((const char*) saved.getData() + 8, saved.getSize() - 9);
    }
    seeds.push_back (xmlOf ("<PARAM id=\"MIX\" value=\"0.5\"/><PARAM id=\"MIX\" value=\"nan\"/>"));
    seeds.push_back (xmlOf ("<X id=\"TIME\" value=\"nan\"/><PARAM id=\"TIME\"/>"));
    seeds.push_back ("<Parameters><PARAM id=\"ONOFF\" value=\"2\"><PARAM id=\"SYNC\" value=\"-1\"/></PARAM></Parameters>");

    auto pick = [&rng] (int n) { return (int) (rng() % (uint32_t) n); };

    for (int iteration = 0; iteration < 6000; ++iteration)
    {
        auto text = seeds[(size_t) pick ((int) seeds.size())];

        for (int m = pick (6); m >= 0; --m)
        {
            switch (pick (6))
            {
                case 0: if (! text.empty()) text[(size_t) pick ((int) text.size())] = (char) pick (256); break;
                case 1: text.insert ((size_t) pick ((int) text.size() + 1), 1, (char) pick (256)); break;
                case 2: if (! text.empty()) text.erase ((size_t) pick ((int) text.size()), (size_t) (1 + pick (8))); break;
                case 3: text.insert ((size_t) pick ((int) text.size() + 1), std::string ("<PARAM id=\"") + ids[pick (7)] + "\" value=\"" + values[pick (12)] + "\"/>"); break;
                case 4: text.insert ((size_t) pick ((int) text.size() + 1), values[pick (12)]); break;
                default: text = text.substr (0, (size_t) pick ((int) text.size() + 1)); break;
            }
        }

        int64_t lengthField = (int64_t) text.size();
        switch (pick (5))
        {
            case 0: lengthField = (int64_t) rng(); break;
            case 1: lengthField = -(int64_t) pick (100); break;
            case 2: lengthField = (int64_t) text.size() + pick (50); break;
            default: break;
        }

        auto block = makeBlock (text, lengthField);
        if (pick (10) == 0)
            block.setSize ((size_t) pick ((int) block.getSize() + 1));

        p.setStateInformation (block.getData(), (int) block.getSize());
        ASSERT_NO_FATAL_FAILURE (expectAllInRange (p)) << "iteration " << iteration;
    }

    // Pure noise too, of every short length.
    for (int iteration = 0; iteration < 2000; ++iteration)
    {
        std::vector<unsigned char> noise ((size_t) pick (64));
        for (auto& b : noise)
            b = (unsigned char) pick (256);
        if (noise.size() >= 4 && pick (2) == 0)
            std::memcpy (noise.data(), "VC2!", 4);
        p.setStateInformation (noise.data(), (int) noise.size());
        ASSERT_NO_FATAL_FAILURE (expectAllInRange (p));
    }
}
