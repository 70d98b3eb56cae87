#include "CommandLine.h"
#include "RenderFixtures.h"

#include <sstream>

// The command as scripts and people meet it: what the arguments mean, what
// it says, its exit status, and that a refused run leaves the files alone.

namespace
{
juce::StringArray split (const juce::String& arguments)
{
    return juce::StringArray::fromTokens (arguments, " ", "");
}

const juce::File here ("/work/here");
} // namespace

TEST (RenderCommandLine, ArgumentsBecomeOptions)
{
    {
        SCOPED_TRACE ("output only: the demo, with every default");
        const auto p = CommandLine::parse (split ("out.wav"), here);
        ASSERT_TRUE (p.error.isEmpty()) << p.error;
        EXPECT_EQ (p.options.inputFile, juce::File());
        EXPECT_EQ (p.options.outputFile, here.getChildFile ("out.wav"));
        EXPECT_EQ (p.options.bpm, std::optional<double> (120.0));
        EXPECT_EQ (p.options.blockSamples, 512);
        EXPECT_EQ (p.options.tailSeconds, 4.0);
        EXPECT_EQ (p.options.plotFile, juce::File());
        EXPECT_TRUE (p.options.settings.empty());
    }
    {
        SCOPED_TRACE ("every option, both spellings, options between the files");
        const auto p = CommandLine::parse (split ("--set TIME=0.35 /abs/in.wav --set=sync=off --block=64 out.wav "
                                                  "--tail 0.5 --png plots/p.png --bpm=93.5"),
                                           here);
        ASSERT_TRUE (p.error.isEmpty()) << p.error;
        EXPECT_EQ (p.options.inputFile, juce::File ("/abs/in.wav"));
        EXPECT_EQ (p.options.outputFile, here.getChildFile ("out.wav"));
        EXPECT_EQ (p.options.plotFile, here.getChildFile ("plots/p.png"));
        EXPECT_EQ (p.options.bpm, std::optional<double> (93.5));
        EXPECT_EQ (p.options.blockSamples, 64);
        EXPECT_EQ (p.options.tailSeconds, 0.5);
        ASSERT_EQ (p.options.settings.size(), 2u);
        EXPECT_EQ (p.options.settings[0].id, "TIME");
        EXPECT_EQ (p.options.settings[0].value, "0.35");
        EXPECT_EQ (p.options.settings[1].id, "sync");
        EXPECT_EQ (p.options.settings[1].value, "off");
    }
    {
        SCOPED_TRACE ("--no-tempo means no play head; -- lets a file start with a dash");
        const auto p = CommandLine::parse (split ("--no-tempo -- -in.wav -out.wav"), here);
        ASSERT_TRUE (p.error.isEmpty()) << p.error;
        EXPECT_FALSE (p.options.bpm.has_value());
        EXPECT_EQ (p.options.inputFile, here.getChildFile ("-in.wav"));
        EXPECT_EQ (p.options.outputFile, here.getChildFile ("-out.wav"));
    }
    {
        SCOPED_TRACE ("help wins over everything else, but not as a file name after --");
        EXPECT_TRUE (CommandLine::parse (split ("--frobnicate --help"), here).showHelp);
        EXPECT_TRUE (CommandLine::parse (split ("a.wav b.wav c.wav -h"), here).showHelp);
        const auto p = CommandLine::parse (split ("-- --help"), here);
        EXPECT_FALSE (p.showHelp);
        EXPECT_EQ (p.options.outputFile, here.getChildFile ("--help"));
    }
}

TEST (RenderCommandLine, ProgressBarOnlyOnATerminalAndOnlyForLongRenders)
{
    struct Case
    {
        const char* name;
        bool terminal;
        double tailSeconds;
        bool expectBar;
    };

    const Case cases[] = {
        { "terminal, 10 s", true, 10.0, true },
        { "terminal, 1 s", true, 1.0, false },
        { "pipe, 10 s", false, 10.0, false },
    };

    ScratchFolder scratch;
    ASSERT_TRUE (writeWav (scratch.file ("in.wav"), { std::vector<float> (800, 0.1f) }, 8000.0, 16));

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        std::ostringstream out, err;
        const auto code = CommandLine::run ({ scratch.path ("in.wav"), scratch.path ("out.wav"), "--tail",
                                              juce::String (c.tailSeconds) },
                                            out, err, c.terminal);
        ASSERT_EQ (code, CommandLine::success) << err.str();

        const auto bar = err.str();
        if (c.expectBar)
        {
            EXPECT_NE (bar.find ("100%"), std::string::npos);
            // Cleared at the end, so the result line starts on a clean line.
            EXPECT_EQ (bar.substr (bar.size() - 4), "\r\x1b[K");
        }
        else
        {
            EXPECT_EQ (bar, "");
        }

        EXPECT_EQ (out.str(), "Wrote " + scratch.path ("out.wav").toStdString() + ": "
                                  + (c.tailSeconds == 10.0 ? "10.100" : "1.100") + " s, 1 channel, 8000 Hz, 32-bit float\n");
    }
}

TEST (RenderCommandLine, HelpListsEveryOptionAndParameter)
{
    std::ostringstream out, err;
    EXPECT_EQ (CommandLine::run ({ "--help" }, out, err, false), CommandLine::success);
    EXPECT_EQ (err.str(), "");

    for (const auto* word : { "--set", "--bpm", "--no-tempo", "--block", "--tail", "--png", "--help" })
        EXPECT_NE (out.str().find (word), std::string::npos) << word;

    for (const auto& id : Render::parameterIds())
        EXPECT_NE (out.str().find (id.toStdString()), std::string::npos) << id;
}

//==============================================================================
// Runs the built binary: every refusal exits non-zero with one line on
// stderr, nothing on stdout, and the folder exactly as it was.
class RenderRefusals : public ::testing::Test
{
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        ASSERT_TRUE (writeWav (scratch.file ("in.wav"), { std::vector<float> (4800, 0.25f), std::vector<float> (4800, -0.25f) },
                               48000.0, 32));
        ASSERT_TRUE (writeWav (scratch.file ("three.wav"), Channels (3, std::vector<float> (480, 0.1f)), 48000.0, 16));
        ASSERT_TRUE (writeWav (scratch.file ("slow.wav"), { std::vector<float> (400, 0.1f) }, 4000.0, 16));
        ASSERT_TRUE (writeWav (scratch.file ("fast.wav"), { std::vector<float> (400, 0.1f) }, 384000.0, 16));
        ASSERT_TRUE (scratch.file ("text.wav").replaceWithText ("RIFF? no, just words\n"));
        ASSERT_TRUE (scratch.file ("empty.wav").create());
        ASSERT_TRUE (scratch.file ("existing.wav").replaceWithText ("an earlier render, to be kept\n"));
        ASSERT_TRUE (scratch.file ("sub").createDirectory());
        ASSERT_TRUE (scratch.file ("in.wav").createSymbolicLink (scratch.file ("in-link.wav"), true));

        ASSERT_TRUE (scratch.file ("locked.wav").replaceWithText ("read-only\n"));
        fs::permissions (scratch.path ("locked.wav").toStdString(), fs::perms::owner_read | fs::perms::group_read);
        ASSERT_TRUE (scratch.file ("locked-folder").createDirectory());
        fs::permissions (scratch.path ("locked-folder").toStdString(), fs::perms::owner_read | fs::perms::owner_exec);
        ASSERT_TRUE (writeWav (scratch.file ("unreadable.wav"), { std::vector<float> (48, 0.1f) }, 48000.0, 16));
        fs::permissions (scratch.path ("unreadable.wav").toStdString(), fs::perms::none);
    }

    ScratchFolder scratch;
};

TEST_F (RenderRefusals, LeaveFilesAloneAndSayWhyInOneLine)
{
    // Permissions do not stop root; those rows only run for other users.
    const auto isRoot = ::geteuid() == 0;

    struct Case
    {
        const char* arguments; // {} is the scratch folder
        int exitCode;
        const char* saying;
        bool needsNonRoot = false;
    };

    const Case cases[] = {
        // The input.
        { "{}/missing.wav {}/out.wav", 1, "input file not found" },
        { "{}/sub {}/out.wav", 1, "is a folder" },
        { "{}/unreadable.wav {}/out.wav", 1, "cannot read", true },
        { "{}/text.wav {}/existing.wav", 1, "not a WAV file" },
        { "{}/empty.wav {}/out.wav", 1, "not a WAV file" },
        { "{}/three.wav {}/out.wav", 1, "3 channels" },
        { "{}/slow.wav {}/out.wav", 1, "4000 Hz, is outside 8000 to 192000 Hz" },
        { "{}/fast.wav {}/out.wav", 1, "384000 Hz, is outside" },

        // Parameters.
        { "{}/in.wav {}/existing.wav --set DELAY=0.5", 1,
          "unknown parameter 'DELAY'; the IDs are SYNC, TIME, MIX, DUAL, FEEDBACK, REVERB, FILTER, DUCK, FREEZE, "
          "GRANULAR, REVERSE, ONOFF" },
        { "{}/in.wav {}/out.wav --set TIME=1.5", 1, "TIME must be from 0 to 1" },
        { "{}/in.wav {}/out.wav --set MIX=-0.01", 1, "MIX must be from 0 to 1" },
        { "{}/in.wav {}/out.wav --set TIME=abc", 1, "TIME takes a number from 0 to 1, not 'abc'" },
        { "{}/in.wav {}/out.wav --set TIME=nan", 1, "TIME takes a number" },
        { "{}/in.wav {}/out.wav --set TIME=0.3x", 1, "TIME takes a number" },
        { "{}/in.wav {}/out.wav --set TIME=", 1, "TIME takes a number" },
        { "{}/in.wav {}/out.wav --set FREEZE=0.5", 1, "FREEZE is a switch" },
        { "{}/in.wav {}/out.wav --set SYNC=maybe", 1, "SYNC is a switch" },

        // The output.
        { "{}/in.wav {}/in.wav", 1, "the output is the input" },
        { "{}/in.wav {}/sub/../in.wav", 1, "the output is the input" },
        { "{}/in.wav {}/in-link.wav", 1, "the output is the input" },
        { "{}/in.wav {}/nowhere/out.wav", 1, "does not exist" },
        { "{}/in.wav {}/sub", 1, "the output is a folder" },
        { "{}/in.wav {}/locked.wav", 1, "read-only", true },
        { "{}/in.wav {}/locked-folder/out.wav", 1, "cannot write in", true },
        { "{}/in.wav {}/out.wav --png {}/nowhere/p.png", 1, "the folder for the plot does not exist" },
        { "{}/in.wav {}/out.wav --png {}/out.wav", 1, "the plot must go to its own file" },
        { "{}/in.wav {}/out.wav --png {}/in.wav", 1, "the plot must go to its own file" },

        // The command line itself.
        { "", 2, "no output file given" },
        { "{}/in.wav {}/a.wav {}/b.wav", 2, "too many files" },
        { "{}/in.wav {}/out.wav --frobnicate", 2, "unknown option '--frobnicate'" },
        { "{}/in.wav {}/out.wav -x", 2, "unknown option '-x'" },
        { "{}/in.wav {}/out.wav --bpm", 2, "--bpm needs a value" },
        { "{}/in.wav {}/out.wav --png --bpm 90", 2, "--png needs a value" },
        { "{}/in.wav {}/out.wav --set TIME", 2, "--set needs ID=VALUE" },
        { "{}/in.wav {}/out.wav --set =0.5", 2, "--set needs ID=VALUE" },
        { "{}/in.wav {}/out.wav --bpm 10", 2, "--bpm takes a tempo from 20 to 999" },
        { "{}/in.wav {}/out.wav --bpm fast", 2, "--bpm takes a tempo" },
        { "{}/in.wav {}/out.wav --block 0", 2, "--block takes a whole number" },
        { "{}/in.wav {}/out.wav --block 4097", 2, "--block takes a whole number" },
        { "{}/in.wav {}/out.wav --block 1.5", 2, "--block takes a whole number" },
        { "{}/in.wav {}/out.wav --tail -1", 2, "--tail takes seconds" },
        { "{}/in.wav {}/out.wav --tail=forever", 2, "--tail takes seconds" },
        { "{}/in.wav {}/out.wav --bpm 100 --no-tempo", 2, "contradict" },
        { "{}/in.wav {}/out.wav --no-tempo=yes", 2, "--no-tempo takes no value" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.arguments);

        if (c.needsNonRoot && isRoot)
            continue;

        const auto before = snapshot (scratch.get());
        const auto result = runRenderer (split (juce::String (c.arguments).replace ("{}", scratch.get().getFullPathName())),
                                         scratch);

        EXPECT_EQ (result.exitCode, c.exitCode);
        EXPECT_EQ (result.out, "");
        EXPECT_TRUE (result.err.startsWith ("ovalmere-render: ")) << result.err;
        EXPECT_TRUE (result.err.contains (c.saying)) << result.err;
        EXPECT_EQ (result.err.indexOfChar ('\n'), result.err.length() - 1) << "not exactly one line: " << result.err;
        EXPECT_TRUE (snapshot (scratch.get()) == before) << "the folder changed";
    }
}

TEST_F (RenderRefusals, ASuccessfulRunReplacesTheOutputAndSaysSoOnStdoutOnly)
{
    const auto before = snapshot (scratch.get());
    const auto result = runRenderer ({ scratch.path ("in.wav"), scratch.path ("existing.wav"), "--png",
                                       scratch.path ("plot.png"), "--set", "time=0.2", "--tail", "6" },
                                     scratch);

    EXPECT_EQ (result.exitCode, 0);
    // Longer than the progress bar's threshold, but stderr is a file here.
    EXPECT_EQ (result.err, "");
    EXPECT_EQ (result.out, "Wrote " + scratch.path ("existing.wav") + ": 6.100 s, 2 channels, 48000 Hz, 32-bit float; plot: "
                               + scratch.path ("plot.png") + "\n");

    // Exactly the two named files changed or appeared: no temporary left.
    auto after = snapshot (scratch.get());
    EXPECT_EQ (readWav (scratch.file ("existing.wav")).length(), (size_t) (6.1 * 48000.0));
    EXPECT_TRUE (scratch.file ("plot.png").existsAsFile());
    after.erase ("existing.wav");
    after.erase ("plot.png");
    auto expected = before;
    expected.erase ("existing.wav");
    EXPECT_TRUE (after == expected);
}
