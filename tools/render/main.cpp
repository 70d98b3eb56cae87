#include "CommandLine.h"

#include <juce_events/juce_events.h>

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace
{
// Ctrl-C or a kill in the middle of a render: the temporary files go, then
// the signal does what it would have done.
extern "C" void onTerminatingSignal (int signalNumber)
{
    Render::removeUnfinishedFiles();
    std::signal (signalNumber, SIG_DFL);
    std::raise (signalNumber);
}
} // namespace

int main (int argc, char* argv[])
{
    for (const auto signalNumber : { SIGINT, SIGTERM, SIGHUP })
        std::signal (signalNumber, onTerminatingSignal);

    juce::StringArray arguments;
    for (int i = 1; i < argc; ++i)
        arguments.add (juce::String::fromUTF8 (argv[i]));

    // Fonts and images need the framework's GUI side. Every JUCE object the
    // render makes lives inside run(), so all of them are gone before the
    // initialiser shuts the framework down.
    const juce::ScopedJuceInitialiser_GUI framework;
    return CommandLine::run (arguments, std::cout, std::cerr, ::isatty (STDERR_FILENO) != 0);
}
