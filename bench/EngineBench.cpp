// Cost of the engine per stereo frame and of its building blocks per call.
//
//   cmake -S . -B build -DOVALMERE_BUILD_BENCH=ON && cmake --build build --target plugin_bench
//   build/plugin_bench

#include "PluginProcessor.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace
{
struct Setting
{
    const char* id;
    float value;
};

void set (QuelmarAudioProcessor& p, const char* id, float value)
{
    auto* param = p.parameters.getParameter (id);
    param->setValueNotifyingHost (param->convertTo0to1 (value));
}

// One scenario: a mode (a set of parameters) at a short or a long delay.
void processBlockBench (benchmark::State& state, std::vector<Setting> settings)
{
    const auto blockSize = (int) state.range (0);
    const auto longDelay = state.range (1) != 0;

    auto processor = std::make_unique<QuelmarAudioProcessor>();
    set (*processor, "SYNC", 0.0f);
    set (*processor, "TIME", longDelay ? 0.95f : 0.05f);
    for (const auto& s : settings)
        set (*processor, s.id, s.value);

    processor->prepareToPlay (48000.0, blockSize);

    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    std::mt19937 rng (1);
    std::uniform_real_distribution<float> noise (-0.3f, 0.3f);
    juce::AudioBuffer<float> input (2, 48000);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 48000; ++i)
            input.setSample (ch, i, noise (rng));

    // A couple of seconds first, so the lines, grains and smoothers are busy.
    int position = 0;
    auto next = [&]
    {
        for (int ch = 0; ch < 2; ++ch)
            buffer.copyFrom (ch, 0, input, ch, position, blockSize);
        position = (position + blockSize) % (48000 - blockSize);
        processor->processBlock (buffer, midi);
    };

    for (int i = 0; i < 2 * 48000 / blockSize; ++i)
        next();

    for (auto _ : state)
    {
        next();
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }

    state.SetItemsProcessed (state.iterations() * blockSize);
    // Inverted rate: seconds per frame, shown by the benchmark library in
    // its own units (ns for values this small).
    state.counters["per_stereo_frame"] = benchmark::Counter (
        (double) state.iterations() * blockSize, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void blockArgs (benchmark::internal::Benchmark* b)
{
    for (const int block : { 64, 512, 4096 })
        for (const int longDelay : { 0, 1 })
            b->Args ({ block, longDelay });
    b->ArgNames ({ "block", "long" });
    b->Unit (benchmark::kMicrosecond);
}

void delayLineBench (benchmark::State& state)
{
    auto line = std::make_unique<CircularBuffer>();
    line->length = 384000;
    float x = 0.1f, sum = 0.0f;
    for (auto _ : state)
    {
        sum += line->pop (12345.6f, false, false);
        line->push (x);
        line->advance (12345.6f);
        x = -x;
    }
    benchmark::DoNotOptimize (sum);
}

void ladderBench (benchmark::State& state)
{
    MoogFilter<float> filter;
    filter.prepare ({ 48000.0, 512, 1 });
    filter.setCutoffFrequency (2000.0f);
    filter.setResonance (0.5f);
    filter.setDrive (2.0f);
    float x = 0.3f, sum = 0.0f;
    for (auto _ : state)
    {
        filter.updateSmoothers();
        sum += filter.processSample (x, 0);
        x = -x;
    }
    benchmark::DoNotOptimize (sum);
}
} // namespace

BENCHMARK_CAPTURE (processBlockBench, defaults, std::vector<Setting> {})->Apply (blockArgs);
BENCHMARK_CAPTURE (processBlockBench, forward_only, std::vector<Setting> { { "GRANULAR", 0.0f }, { "REVERB", 0.0f } })->Apply (blockArgs);
BENCHMARK_CAPTURE (processBlockBench, reverse, std::vector<Setting> { { "GRANULAR", 0.0f }, { "REVERB", 0.0f }, { "REVERSE", 1.0f } })->Apply (blockArgs);
BENCHMARK_CAPTURE (processBlockBench, freeze, std::vector<Setting> { { "GRANULAR", 0.0f }, { "REVERB", 0.0f }, { "FREEZE", 1.0f } })->Apply (blockArgs);
BENCHMARK_CAPTURE (processBlockBench, granular_freeze_reverse,
                   std::vector<Setting> { { "FREEZE", 1.0f }, { "REVERSE", 1.0f }, { "FEEDBACK", 0.3f } })->Apply (blockArgs);
BENCHMARK (delayLineBench);
BENCHMARK (ladderBench);

BENCHMARK_MAIN();
