#include "Render.h"

#include "DemoPhrase.h"
#include "Plot.h"
#include "PluginProcessor.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <unistd.h>

namespace Render
{
namespace
{
namespace fs = std::filesystem;

juce::String pathOf (const juce::File& file)
{
    return file.getFullPathName();
}

fs::path fsPath (const juce::File& file)
{
    return fs::path (file.getFullPathName().toStdString());
}

// Same file by identity when both exist (symlinks, hard links, "dir/../x"),
// otherwise by canonical spelling.
bool samePath (const juce::File& a, const juce::File& b)
{
    std::error_code error;

    if (a.exists() && b.exists())
    {
        const auto same = fs::equivalent (fsPath (a), fsPath (b), error);
        return ! error && same;
    }

    const auto canonicalA = fs::weakly_canonical (fsPath (a), error);
    if (error)
        return false;

    const auto canonicalB = fs::weakly_canonical (fsPath (b), error);
    return ! error && canonicalA == canonicalB;
}

// The temporaries being written, where a signal handler can find them
// without allocating or locking.
constexpr int maxUnfinished = 2;
constexpr size_t maxPathBytes = 4096;
char unfinishedPaths[maxUnfinished][maxPathBytes];
volatile std::sig_atomic_t unfinishedInUse[maxUnfinished] {};

int registerUnfinished (const juce::File& file) noexcept
{
    const auto* path = file.getFullPathName().toRawUTF8();
    const auto length = std::strlen (path);

    for (int slot = 0; slot < maxUnfinished && length < maxPathBytes; ++slot)
    {
        if (unfinishedInUse[slot] == 0)
        {
            std::memcpy (unfinishedPaths[slot], path, length + 1);
            std::atomic_signal_fence (std::memory_order_seq_cst); // the path is whole before the handler may read it
            unfinishedInUse[slot] = 1;
            return slot;
        }
    }

    return -1;
}

void forgetUnfinished (int slot) noexcept
{
    if (slot >= 0)
        unfinishedInUse[slot] = 0;
}

// A file written under a hidden temporary name in its destination's folder
// and renamed over the destination only when complete: the rename is atomic
// within a folder, so a failed or interrupted render never leaves a partial
// file, and an older file of the same name survives until the new one is
// whole.
class StagedFile
{
public:
    explicit StagedFile (juce::File destinationFile) : destination (std::move (destinationFile)) {}

    ~StagedFile()
    {
        forgetUnfinished (slot);

        if (! committed && temporary != juce::File())
            temporary.deleteFile();
    }

    // Creating the temporary up front proves the folder writable before any
    // time goes into rendering.
    juce::String create()
    {
        const auto folder = destination.getParentDirectory();

        for (int attempt = 0; attempt < 100; ++attempt)
        {
            const auto candidate = folder.getChildFile ("." + destination.getFileName() + "."
                                                        + juce::String::toHexString (juce::Random::getSystemRandom().nextInt())
                                                        + ".part");
            const auto fd = ::open (candidate.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);

            if (fd >= 0)
            {
                ::close (fd);
                temporary = candidate;
                slot = registerUnfinished (temporary);
                return {};
            }

            if (errno != EEXIST)
                return "cannot write in " + pathOf (folder) + ": " + juce::String (std::strerror (errno));
        }

        return "cannot create a temporary file in " + pathOf (folder);
    }

    juce::String commit()
    {
        std::error_code error;
        fs::rename (fsPath (temporary), fsPath (destination), error);

        if (error)
            return "cannot move the finished file to " + pathOf (destination) + ": " + error.message();

        committed = true;
        forgetUnfinished (slot);
        slot = -1;
        return {};
    }

    const juce::File& getTemporary() const noexcept { return temporary; }

private:
    juce::File destination, temporary;
    bool committed = false;
    int slot = -1;
};

// What the destination must be before anything is written: in an existing
// folder, not a folder itself, and not a file we may not replace.
juce::String checkDestination (const juce::File& file, const juce::String& what)
{
    if (file == juce::File())
        return "no " + what + " file given";

    const auto folder = file.getParentDirectory();

    if (! folder.isDirectory())
        return "the folder for the " + what + " does not exist: " + pathOf (folder);

    if (file.isDirectory())
        return "the " + what + " is a folder: " + pathOf (file);

    if (file.exists() && ::access (file.getFullPathName().toRawUTF8(), W_OK) != 0)
        return "the " + what + " exists and is read-only: " + pathOf (file);

    return {};
}

// The host's transport as an offline bounce reports it: playing from the
// start at a fixed tempo in 4/4, moved on by every block.
class RenderPlayHead : public juce::AudioPlayHead
{
public:
    RenderPlayHead (double bpmToReport, double rate) : bpm (bpmToReport), sampleRate (rate) {}

    void moveTo (juce::int64 samplePosition) noexcept { position = samplePosition; }

    juce::Optional<PositionInfo> getPosition() const override
    {
        const auto seconds = (double) position / sampleRate;

        PositionInfo info;
        info.setBpm (bpm);
        info.setTimeSignature (TimeSignature { 4, 4 });
        info.setTimeInSamples (position);
        info.setTimeInSeconds (seconds);
        info.setPpqPosition (seconds * bpm / 60.0);
        info.setPpqPositionOfLastBarStart (std::floor (seconds * bpm / 60.0 / 4.0) * 4.0);
        info.setIsPlaying (true);
        return info;
    }

private:
    double bpm, sampleRate;
    juce::int64 position = 0;
};

struct ParameterChoice
{
    juce::RangedAudioParameter* parameter = nullptr;
    juce::String id;
    bool isSwitch = false;
};

ParameterChoice findParameter (QuelmarAudioProcessor& processor, const juce::String& typedId)
{
    for (const auto* id : ParamIDs::all)
    {
        if (typedId.equalsIgnoreCase (id))
        {
            auto* parameter = processor.parameters.getParameter (id);
            return { parameter, id, dynamic_cast<juce::AudioParameterBool*> (parameter) != nullptr };
        }
    }

    return {};
}

// Turns the typed value into the plain value the parameter takes, or explains
// why it cannot.
std::optional<float> plainValue (const ParameterChoice& choice, const juce::String& typed, juce::String& error)
{
    const auto text = typed.trim().toLowerCase();

    if (choice.isSwitch)
    {
        if (text == "on" || text == "true")
            return 1.0f;

        if (text == "off" || text == "false")
            return 0.0f;

        if (const auto number = parseNumber (text); number && (*number == 0.0 || *number == 1.0))
            return (float) *number;

        error = choice.id + " is a switch: give on, off, true, false, 1 or 0, not '" + typed + "'";
        return {};
    }

    const auto number = parseNumber (text);

    if (! number)
    {
        error = choice.id + " takes a number from 0 to 1, not '" + typed + "'";
        return {};
    }

    if (*number < 0.0 || *number > 1.0)
    {
        error = choice.id + " must be from 0 to 1, not " + typed.trim();
        return {};
    }

    return (float) *number;
}

// "120" rather than "120.00", "0.5" rather than "0.50".
juce::String compactNumber (double value)
{
    auto text = juce::String (value, 2);
    if (text.containsChar ('.'))
        text = text.trimCharactersAtEnd ("0").trimCharactersAtEnd (".");
    return text;
}

juce::String describeTime (float time, bool sync, double sampleRate)
{
    if (sync)
        return timeDivisionLabel (timeDivisionIndex (time)) + " note";

    // The engine's free delay: TIME of 1 is just under two seconds.
    const auto delaySamples = (double) time * (sampleRate * (double) 1.999f) + 1.0;
    return juce::String (juce::roundToInt (delaySamples / sampleRate * 1000.0)) + " ms";
}

Plot::Description describe (const Options& options, QuelmarAudioProcessor& processor,
                            const juce::StringArray& setIds, double sampleRate, int numChannels,
                            juce::int64 inputSamples, juce::int64 totalSamples)
{
    Plot::Description d;
    const auto source = options.inputFile == juce::File() ? juce::String ("built-in demo")
                                                           : options.inputFile.getFileName();
    d.title = "Ovalmere: " + source + juce::String (juce::CharPointer_UTF8 ("  \xe2\x86\x92  ")) + options.outputFile.getFileName();

    const auto tempo = options.bpm ? compactNumber (*options.bpm) + " BPM"
                                   : juce::String ("no tempo from the host (120 BPM assumed)");
    d.subtitle = compactNumber (sampleRate) + " Hz, " + (numChannels == 1 ? "mono" : "stereo") + ", " + tempo
                 + ", blocks of " + juce::String (options.blockSamples) + " samples, "
                 + compactNumber (options.tailSeconds) + " s tail"
                 + (setIds.isEmpty() ? "" : "; orange: set on the command line");

    const auto value = [&processor] (const char* id) { return processor.parameters.getRawParameterValue (id)->load(); };
    const auto sync = value (ParamIDs::sync) != 0.0f;

    for (const auto* id : ParamIDs::all)
    {
        auto* parameter = processor.parameters.getParameter (id);
        const auto v = value (id);
        juce::String text = juce::String (id) + " ";

        if (dynamic_cast<juce::AudioParameterBool*> (parameter) != nullptr)
            text << (v != 0.0f ? "on" : "off");
        else
            text << juce::String (v, 2);

        if (juce::String (id) == ParamIDs::time)
            text << " (" << describeTime (v, sync, sampleRate) << ")";

        d.settings.push_back ({ text, setIds.contains (id) });
    }

    d.sampleRate = sampleRate;
    d.inputSamples = inputSamples;
    d.totalSamples = totalSamples;
    return d;
}

juce::String writePng (const juce::Image& image, const juce::File& file)
{
    juce::FileOutputStream stream (file);

    if (! stream.openedOk())
        return "cannot write " + pathOf (file) + ": " + stream.getStatus().getErrorMessage();

    if (! juce::PNGImageFormat().writeImageToStream (image, stream))
        return "cannot encode the plot as PNG";

    stream.flush();

    if (stream.getStatus().failed())
        return "cannot write " + pathOf (file) + ": " + stream.getStatus().getErrorMessage();

    return {};
}
} // namespace

//==============================================================================
void removeUnfinishedFiles() noexcept
{
    for (int slot = 0; slot < maxUnfinished; ++slot)
        if (unfinishedInUse[slot] != 0)
            ::unlink (unfinishedPaths[slot]);
}

juce::StringArray parameterIds()
{
    juce::StringArray ids;
    for (const auto* id : ParamIDs::all)
        ids.add (id);
    return ids;
}

std::optional<double> parseNumber (const juce::String& text)
{
    const auto utf8 = text.toStdString();

    // strtod would skip leading spaces and accept "nan" and "inf"; none of
    // those is a setting anyone means.
    if (utf8.empty() || std::isspace ((unsigned char) utf8.front()))
        return {};

    char* end = nullptr;
    errno = 0;
    const auto value = std::strtod (utf8.c_str(), &end);

    if (end != utf8.c_str() + utf8.size() || errno == ERANGE || ! std::isfinite (value))
        return {};

    return value;
}

Result render (const Options& options)
{
    Result result;
    auto failed = [&result] (const juce::String& message)
    {
        result.error = message;
        return result;
    };

    if (options.blockSamples < 1 || options.blockSamples > maxBlockSamples)
        return failed ("the block size must be from 1 to " + juce::String (maxBlockSamples) + " samples, not "
                       + juce::String (options.blockSamples));

    if (! (options.tailSeconds >= 0.0 && options.tailSeconds <= maxTailSeconds))
        return failed ("the tail must be from 0 to " + compactNumber (maxTailSeconds) + " seconds");

    if (options.bpm && ! (*options.bpm >= minBpm && *options.bpm <= maxBpm))
        return failed ("the tempo must be from " + compactNumber (minBpm) + " to " + compactNumber (maxBpm) + " BPM");

    // Settings are checked before any file is opened, so a typo costs nothing.
    auto processor = std::make_unique<QuelmarAudioProcessor>();
    juce::StringArray setIds;

    for (const auto& setting : options.settings)
    {
        const auto choice = findParameter (*processor, setting.id.trim());

        if (choice.parameter == nullptr)
            return failed ("unknown parameter '" + setting.id + "'; the IDs are " + parameterIds().joinIntoString (", "));

        juce::String error;
        const auto value = plainValue (choice, setting.value, error);

        if (! value)
            return failed (error);

        choice.parameter->setValueNotifyingHost (choice.parameter->convertTo0to1 (*value));
        setIds.addIfNotAlreadyThere (choice.id);
    }

    // Input: a WAV file, or the demo phrase.
    const auto useDemo = options.inputFile == juce::File();
    std::unique_ptr<juce::AudioFormatReader> reader;
    juce::AudioBuffer<float> demo;
    double sampleRate = DemoPhrase::sampleRate;
    int numChannels = DemoPhrase::numChannels;
    juce::int64 inputSamples = 0;

    if (useDemo)
    {
        demo = DemoPhrase::make (options.bpm.value_or (defaultBpm));
        inputSamples = demo.getNumSamples();
    }
    else
    {
        const auto& file = options.inputFile;

        if (! file.exists())
            return failed ("input file not found: " + pathOf (file));

        if (file.isDirectory())
            return failed ("the input is a folder, not a WAV file: " + pathOf (file));

        auto stream = std::make_unique<juce::FileInputStream> (file);

        if (stream->failedToOpen())
            return failed ("cannot read " + pathOf (file) + ": " + stream->getStatus().getErrorMessage());

        reader.reset (juce::WavAudioFormat().createReaderFor (stream.release(), true));

        if (reader == nullptr)
            return failed ("not a WAV file this tool can read (16/24-bit integer or 32-bit float PCM): " + pathOf (file));

        if (reader->numChannels < 1 || reader->numChannels > 2)
            return failed ("the input has " + juce::String (reader->numChannels)
                           + " channels; only mono and stereo files can be rendered");

        if (! (reader->sampleRate >= minSampleRate && reader->sampleRate <= maxSampleRate))
            return failed ("the input's sample rate, " + compactNumber (reader->sampleRate) + " Hz, is outside "
                           + compactNumber (minSampleRate) + " to " + compactNumber (maxSampleRate) + " Hz");

        sampleRate = reader->sampleRate;
        numChannels = (int) reader->numChannels;
        inputSamples = std::max<juce::int64> (0, reader->lengthInSamples);
    }

    // Outputs: never the input, never each other, in a folder we can write.
    if (auto error = checkDestination (options.outputFile, "output"); error.isNotEmpty())
        return failed (error);

    if (! useDemo && samePath (options.inputFile, options.outputFile))
        return failed ("the output is the input file; choose another name: " + pathOf (options.outputFile));

    const auto wantPlot = options.plotFile != juce::File();

    if (wantPlot)
    {
        if (auto error = checkDestination (options.plotFile, "plot"); error.isNotEmpty())
            return failed (error);

        if (samePath (options.plotFile, options.outputFile) || (! useDemo && samePath (options.plotFile, options.inputFile)))
            return failed ("the plot must go to its own file, not over the input or output: " + pathOf (options.plotFile));

        // Without a typeface the plot would be drawn without any text.
        if (juce::Font::findAllTypefaceNames().isEmpty())
            return failed ("no fonts found for the plot's text; install fonts-dejavu-core");
    }

    StagedFile stagedAudio (options.outputFile);
    if (auto error = stagedAudio.create(); error.isNotEmpty())
        return failed (error);

    std::optional<StagedFile> stagedPlot;
    if (wantPlot)
    {
        stagedPlot.emplace (options.plotFile);
        if (auto error = stagedPlot->create(); error.isNotEmpty())
            return failed (error);
    }

    auto outStream = std::make_unique<juce::FileOutputStream> (stagedAudio.getTemporary());
    if (! outStream->openedOk())
        return failed ("cannot write " + pathOf (stagedAudio.getTemporary()) + ": "
                       + outStream->getStatus().getErrorMessage());

    auto* rawOutStream = outStream.get();
    std::unique_ptr<juce::AudioFormatWriter> writer (
        juce::WavAudioFormat().createWriterFor (rawOutStream, sampleRate, (unsigned int) numChannels, 32, {}, 0));

    if (writer == nullptr)
        return failed ("cannot create a WAV writer at " + compactNumber (sampleRate) + " Hz");

    (void) outStream.release(); // the writer owns it now

    // The processor, set up as a host sets up an offline bounce.
    if (numChannels == 1)
    {
        juce::AudioProcessor::BusesLayout mono;
        mono.inputBuses.add (juce::AudioChannelSet::mono());
        mono.outputBuses.add (juce::AudioChannelSet::mono());

        if (! processor->setBusesLayout (mono))
            return failed ("the processor refused a mono layout");
    }

    RenderPlayHead playHead (options.bpm.value_or (defaultBpm), sampleRate);
    processor->setPlayHead (options.bpm ? &playHead : nullptr);
    processor->setNonRealtime (true);
    processor->setRateAndBufferSizeDetails (sampleRate, options.blockSamples);
    processor->prepareToPlay (sampleRate, options.blockSamples);

    const auto tailSamples = (juce::int64) std::llround (options.tailSeconds * sampleRate);
    const auto totalSamples = inputSamples + tailSamples;

    std::optional<Plot::WaveformSummary> inputSummary, outputSummary;
    if (wantPlot)
    {
        inputSummary.emplace (numChannels, Plot::plotColumns, totalSamples);
        outputSummary.emplace (numChannels, Plot::plotColumns, totalSamples);
    }

    juce::AudioBuffer<float> buffer (numChannels, options.blockSamples);
    juce::MidiBuffer midi;

    if (options.progress)
        options.progress (0, totalSamples, sampleRate);

    for (juce::int64 start = 0; start < totalSamples; start += options.blockSamples)
    {
        const auto n = (int) std::min<juce::int64> (options.blockSamples, totalSamples - start);
        const auto fromInput = (int) std::clamp<juce::int64> (inputSamples - start, 0, n);

        buffer.setSize (numChannels, n, false, false, true);
        buffer.clear();

        if (fromInput > 0)
        {
            if (reader != nullptr)
            {
                if (! reader->read (&buffer, 0, fromInput, start, true, true))
                    return failed ("cannot read " + pathOf (options.inputFile));
            }
            else
            {
                for (int ch = 0; ch < numChannels; ++ch)
                    buffer.copyFrom (ch, 0, demo, ch, (int) start, fromInput);
            }
        }

        if (inputSummary)
            inputSummary->add (buffer, n);

        playHead.moveTo (start);
        processor->processBlock (buffer, midi);
        midi.clear();

        if (outputSummary)
            outputSummary->add (buffer, n);

        if (! writer->writeFromAudioSampleBuffer (buffer, 0, n))
            return failed ("cannot write " + pathOf (options.outputFile) + " (is the disk full?)");

        if (options.progress)
            options.progress (start + n, totalSamples, sampleRate);
    }

    processor->releaseResources();
    processor->setPlayHead (nullptr);

    // Buffered bytes that fail to reach the disk show only here.
    writer->flush();
    rawOutStream->flush();
    if (rawOutStream->getStatus().failed())
        return failed ("cannot write " + pathOf (options.outputFile) + ": " + rawOutStream->getStatus().getErrorMessage());

    writer.reset();

    const auto dataBytes = totalSamples * numChannels * (juce::int64) sizeof (float);
    if (stagedAudio.getTemporary().getSize() < dataBytes)
        return failed ("cannot write " + pathOf (options.outputFile) + " (is the disk full?)");

    if (wantPlot)
    {
        const auto image = Plot::draw (*inputSummary, *outputSummary,
                                       describe (options, *processor, setIds, sampleRate, numChannels,
                                                 inputSamples, totalSamples));

        if (auto error = writePng (image, stagedPlot->getTemporary()); error.isNotEmpty())
            return failed (error);
    }

    if (auto error = stagedAudio.commit(); error.isNotEmpty())
        return failed (error);

    if (stagedPlot)
        if (auto error = stagedPlot->commit(); error.isNotEmpty())
            return failed (error);

    result.outputFile = options.outputFile;
    result.plotFile = options.plotFile;
    result.lengthSamples = totalSamples;
    result.sampleRate = sampleRate;
    result.numChannels = numChannels;
    return result;
}
} // namespace Render
