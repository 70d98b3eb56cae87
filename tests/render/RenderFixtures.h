#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// Fixtures for the renderer's tests: a scratch folder, WAV files written and
// read with the framework's own codec, and a way to run the built binary.

using Channels = std::vector<std::vector<float>>;

// A fresh folder under the system's temporary folder, removed with
// everything in it (read-only modes are undone first).
class ScratchFolder
{
public:
    ScratchFolder()
        : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                      .getNonexistentChildFile ("ovalmere-render-test", ""))
    {
        folder.createDirectory();
    }

    ~ScratchFolder()
    {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::path root (folder.getFullPathName().toStdString());

        fs::permissions (root, fs::perms::owner_all, fs::perm_options::add, error);
        for (const auto& entry : fs::recursive_directory_iterator (root, error))
            if (! entry.is_symlink())
                fs::permissions (entry.path(), fs::perms::owner_all, fs::perm_options::add, error);

        fs::remove_all (root, error);
    }

    juce::File file (const juce::String& name) const { return folder.getChildFile (name); }
    juce::String path (const juce::String& name) const { return file (name).getFullPathName(); }
    const juce::File& get() const noexcept { return folder; }

private:
    juce::File folder;
};

struct WavContent
{
    Channels channels;
    double sampleRate = 0.0;
    unsigned int bitsPerSample = 0;
    bool isFloat = false;

    size_t length() const { return channels.empty() ? 0 : channels[0].size(); }
};

inline bool writeWav (const juce::File& file, const Channels& channels, double sampleRate, int bitsPerSample)
{
    file.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (file);
    if (! stream->openedOk())
        return false;

    std::unique_ptr<juce::AudioFormatWriter> writer (juce::WavAudioFormat().createWriterFor (
        stream.get(), sampleRate, (unsigned int) channels.size(), bitsPerSample, {}, 0));
    if (writer == nullptr)
        return false;

    (void) stream.release();

    std::vector<const float*> pointers;
    for (const auto& c : channels)
        pointers.push_back (c.data());

    return writer->writeFromFloatArrays (pointers.data(), (int) pointers.size(), (int) channels[0].size());
}

inline WavContent readWav (const juce::File& file)
{
    WavContent content;
    std::unique_ptr<juce::AudioFormatReader> reader (
        juce::WavAudioFormat().createReaderFor (new juce::FileInputStream (file), true));

    if (reader == nullptr)
        return content;

    content.sampleRate = reader->sampleRate;
    content.bitsPerSample = reader->bitsPerSample;
    content.isFloat = reader->usesFloatingPointData;

    const auto length = (int) reader->lengthInSamples;
    juce::AudioBuffer<float> buffer ((int) reader->numChannels, length);
    reader->read (&buffer, 0, length, 0, true, true);

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        content.channels.emplace_back (buffer.getReadPointer (ch), buffer.getReadPointer (ch) + length);

    return content;
}

// Every file below the folder, hidden ones included, with its bytes: equal
// snapshots mean nothing was created, removed or changed.
inline std::map<juce::String, juce::MemoryBlock> snapshot (const juce::File& folder)
{
    std::map<juce::String, juce::MemoryBlock> files;

    for (const auto& entry : juce::RangedDirectoryIterator (folder, true, "*", juce::File::findFilesAndDirectories,
                                                                    juce::File::FollowSymlinks::no))
    {
        const auto f = entry.getFile();
        juce::MemoryBlock bytes;

        if (f.existsAsFile() && ! f.isSymbolicLink())
            f.loadFileAsData (bytes);

        files[f.getRelativePathFrom (folder) + (f.isDirectory() ? "/" : "")] = bytes;
    }

    return files;
}

struct ProcessOutput
{
    int exitCode = -1;
    juce::String out, err;
};

// Runs the built renderer with stdout and stderr going to files, as from a
// script: stderr is not a terminal.
inline ProcessOutput runRenderer (const juce::StringArray& arguments, const ScratchFolder& scratch)
{
    const auto outFile = scratch.get().getSiblingFile (scratch.get().getFileName() + ".stdout");
    const auto errFile = scratch.get().getSiblingFile (scratch.get().getFileName() + ".stderr");

    std::vector<std::string> storage { OVALMERE_RENDER_BINARY };
    for (const auto& a : arguments)
        storage.push_back (a.toStdString());

    std::vector<char*> argv;
    for (auto& s : storage)
        argv.push_back (s.data());
    argv.push_back (nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen (&actions, 1, outFile.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen (&actions, 2, errFile.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    ProcessOutput result;
    pid_t pid = 0;

    if (posix_spawn (&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
    {
        int status = 0;
        if (waitpid (pid, &status, 0) == pid && WIFEXITED (status))
            result.exitCode = WEXITSTATUS (status);
    }

    posix_spawn_file_actions_destroy (&actions);

    result.out = outFile.loadFileAsString();
    result.err = errFile.loadFileAsString();
    outFile.deleteFile();
    errFile.deleteFile();
    return result;
}
