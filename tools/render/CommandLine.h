#pragma once

#include "Render.h"

#include <iosfwd>

// The renderer's command line: arguments to options, and the whole run with
// its messages and exit code, kept out of main so the tests can drive it.
namespace CommandLine
{
enum ExitCode
{
    success = 0,
    renderFailed = 1,   // the files or settings were refused, or writing failed
    badCommandLine = 2, // unknown option, missing value, wrong number of files
};

struct Parsed
{
    Render::Options options;
    bool showHelp = false;
    juce::String error; // one line; empty when the arguments make sense
};

// Relative paths are taken from workingDirectory.
Parsed parse (const juce::StringArray& arguments, const juce::File& workingDirectory);

juce::String usage();

// Parses, renders and reports: usage or the result line on out, errors (and
// the progress bar, when err is a terminal) on err.
int run (const juce::StringArray& arguments, std::ostream& out, std::ostream& err, bool errIsTerminal);
} // namespace CommandLine
