#include "CommandLine.h"

#include <iomanip>
#include <ostream>
#include <string>

namespace CommandLine
{
namespace
{
constexpr const char* programName = "ovalmere-render";

// Renders shorter than this finish before a bar would be worth reading.
constexpr double minSecondsForProgress = 5.0;

class ProgressBar
{
public:
    ProgressBar (std::ostream& s, bool terminal) : stream (s), enabled (terminal) {}

    void update (juce::int64 done, juce::int64 total, double sampleRate)
    {
        if (! enabled || total <= 0 || (double) total / sampleRate < minSecondsForProgress)
            return;

        const auto percent = (int) (done * 100 / total);
        if (percent == lastPercent)
            return;

        lastPercent = percent;
        const auto filled = (size_t) (percent * width / 100);
        stream << "\rrendering [" << std::string (filled, '#') << std::string ((size_t) width - filled, '.') << "] "
               << std::setw (3) << percent << "%  " << std::fixed << std::setprecision (1)
               << (double) done / sampleRate << " of " << (double) total / sampleRate << " s" << std::flush;
        shown = true;
    }

    // Clears the bar so the next line starts clean.
    void finish()
    {
        if (shown)
            stream << "\r\x1b[K" << std::flush;

        shown = false;
    }

private:
    static constexpr int width = 32;
    std::ostream& stream;
    bool enabled, shown = false;
    int lastPercent = -1;
};

bool isNonNegativeInteger (const juce::String& text)
{
    return text.isNotEmpty() && text.length() <= 9 && text.containsOnly ("0123456789");
}
// The IDs under --set, wrapped to fit a terminal 80 columns wide.
juce::String wrappedIds()
{
    const juce::String indent ("                   ");
    juce::String text, line = indent + "IDs:";

    for (const auto& id : Render::parameterIds())
    {
        if (line.length() + 1 + id.length() > 78)
        {
            text << line << "\n";
            line = indent + "    ";
        }

        line << " " << id;
    }

    return text + line;
}
} // namespace

juce::String usage()
{
    return juce::String (R"(usage: ovalmere-render [INPUT.wav] OUTPUT.wav [options]

Runs a WAV file through Ovalmere as a host would (one block after another,
bus layout and sample rate taken from the file) and writes the result as a
32-bit float WAV at the input's rate and channel count. Without INPUT it
renders a built-in demo phrase: two bars at the tempo, stereo, 48 kHz.
INPUT may be mono or stereo, 16/24-bit integer or 32-bit float, 8-192 kHz.

options:
  --set ID=VALUE   set a parameter before rendering (repeatable). VALUE is a
                   number from 0 to 1 (continuous ones move to the nearest
                   0.01, as in a host), or on/off/true/false/1/0 for switches.
)") + wrappedIds() + R"(
  --bpm N          tempo the host reports, 20 to 999 (default 120)
  --no-tempo       no play head at all (the plug-in then assumes 120)
  --block N        samples per processing block, 1 to 4096 (default 512)
  --tail SECONDS   silence appended so the echoes ring out, 0 to 600
                   (default 4)
  --png PLOT.png   also draw input and output waveforms with the settings
  -h, --help       print this help

Files are written under a temporary name and renamed into place only when
complete. Exit status: 0 done, 1 render refused or failed, 2 bad command line.
)";
}

Parsed parse (const juce::StringArray& arguments, const juce::File& workingDirectory)
{
    Parsed parsed;
    auto& options = parsed.options;
    juce::StringArray files;
    bool bpmGiven = false, noTempo = false, optionsEnded = false;

    auto fail = [&parsed] (const juce::String& message)
    {
        parsed.error = message;
        return parsed;
    };

    // Asking for help is never an error, whatever else is on the line.
    for (const auto& argument : arguments)
    {
        if (argument == "--")
            break;

        if (argument == "-h" || argument == "--help")
        {
            parsed.showHelp = true;
            return parsed;
        }
    }

    for (int i = 0; i < arguments.size(); ++i)
    {
        const auto& argument = arguments[i];

        if (optionsEnded || ! argument.startsWith ("-") || argument == "-")
        {
            files.add (argument);
            continue;
        }

        if (argument == "--")
        {
            optionsEnded = true;
            continue;
        }

        // "--name value" and "--name=value" both work.
        const auto name = argument.upToFirstOccurrenceOf ("=", false, false);
        const auto inlineValue = argument.containsChar ('=');

        if (name == "--no-tempo")
        {
            if (inlineValue)
                return fail ("--no-tempo takes no value");

            noTempo = true;
            continue;
        }

        if (name != "--set" && name != "--bpm" && name != "--block" && name != "--tail" && name != "--png")
            return fail ("unknown option '" + argument + "'");

        juce::String value;

        if (inlineValue)
        {
            value = argument.fromFirstOccurrenceOf ("=", false, false);
        }
        else
        {
            if (i + 1 >= arguments.size() || arguments[i + 1].startsWith ("--"))
                return fail (name + " needs a value");

            value = arguments[++i];
        }

        if (name == "--set")
        {
            const auto id = value.upToFirstOccurrenceOf ("=", false, false);

            if (! value.containsChar ('=') || id.trim().isEmpty())
                return fail ("--set needs ID=VALUE, not '" + value + "'");

            options.settings.push_back ({ id, value.fromFirstOccurrenceOf ("=", false, false) });
        }
        else if (name == "--bpm")
        {
            const auto bpm = Render::parseNumber (value);

            if (! bpm || *bpm < Render::minBpm || *bpm > Render::maxBpm)
                return fail ("--bpm takes a tempo from 20 to 999, not '" + value + "'");

            options.bpm = *bpm;
            bpmGiven = true;
        }
        else if (name == "--block")
        {
            if (! isNonNegativeInteger (value) || value.getIntValue() < 1 || value.getIntValue() > Render::maxBlockSamples)
                return fail ("--block takes a whole number of samples from 1 to "
                             + juce::String (Render::maxBlockSamples) + ", not '" + value + "'");

            options.blockSamples = value.getIntValue();
        }
        else if (name == "--tail")
        {
            const auto seconds = Render::parseNumber (value);

            if (! seconds || *seconds < 0.0 || *seconds > Render::maxTailSeconds)
                return fail ("--tail takes seconds from 0 to 600, not '" + value + "'");

            options.tailSeconds = *seconds;
        }
        else
        {
            if (value.isEmpty())
                return fail ("--png needs a file name");

            options.plotFile = workingDirectory.getChildFile (value);
        }
    }

    if (bpmGiven && noTempo)
        return fail ("--bpm and --no-tempo contradict each other");

    if (noTempo)
        options.bpm.reset();

    if (files.isEmpty())
        return fail ("no output file given");

    if (files.size() > 2)
        return fail ("too many files: give at most INPUT.wav and OUTPUT.wav");

    for (const auto& file : files)
        if (file.isEmpty())
            return fail ("an empty file name was given");

    if (files.size() == 2)
        options.inputFile = workingDirectory.getChildFile (files[0]);

    options.outputFile = workingDirectory.getChildFile (files[files.size() - 1]);
    return parsed;
}

int run (const juce::StringArray& arguments, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    auto parsed = parse (arguments, juce::File::getCurrentWorkingDirectory());

    if (parsed.showHelp)
    {
        out << usage().toStdString() << std::flush;
        return success;
    }

    if (parsed.error.isNotEmpty())
    {
        err << programName << ": " << parsed.error.toStdString() << " (see --help)" << std::endl;
        return badCommandLine;
    }

    ProgressBar bar (err, errIsTerminal);
    parsed.options.progress = [&bar] (juce::int64 done, juce::int64 total, double sampleRate)
    {
        bar.update (done, total, sampleRate);
    };

    const auto result = Render::render (parsed.options);
    bar.finish();

    if (! result.ok())
    {
        err << programName << ": " << result.error.toStdString() << std::endl;
        return renderFailed;
    }

    out << "Wrote " << result.outputFile.getFullPathName().toStdString() << ": " << std::fixed
        << std::setprecision (3) << result.lengthSeconds() << " s, " << result.numChannels
        << (result.numChannels == 1 ? " channel, " : " channels, ") << std::setprecision (0) << result.sampleRate
        << " Hz, 32-bit float";

    if (result.plotFile != juce::File())
        out << "; plot: " << result.plotFile.getFullPathName().toStdString();

    out << std::endl;
    return success;
}
} // namespace CommandLine
