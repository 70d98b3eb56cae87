#include "PluginProcessor.h"

#include "PluginEditor.h"

#include <cmath>

namespace
{
// Note lengths as fractions of a whole note. The triplets are 0.33 halved
// again and again, not exact thirds: saved projects were made with these.
const float timeDivisions[16] = { 1.0f,   0.75f,   0.5f,    0.33f,    0.375f,  0.25f,
                                  0.165f, 0.1875f, 0.125f,  0.0825f,  0.09375f, 0.0625f,
                                  0.04125f, 0.046875f, 0.03125f, 0.020625f };

const juce::String timeDivisionStrings[16] = { "1",    "1/2.",  "1/2",  "1/2T",  "1/4.", "1/4",
                                               "1/4T", "1/8.",  "1/8",  "1/8T",  "1/16.", "1/16",
                                               "1/16T", "1/32.", "1/32", "1/32T" };

// rand()-style 31-bit integers scale to [0, 1) with this factor (exactly 2^-31).
constexpr float twoToMinus31 = 4.656613e-10f;

bool isOn (float switchValue) noexcept { return switchValue != 0.0f; }

// Guards the state restore against a parser fault: a crafted document type
// declaration can corrupt memory inside the framework's XML reader. Our
// blocks never contain one.
bool containsDoctype (const void* data, int sizeInBytes) noexcept
{
    static constexpr char pattern[] = "<!doctype";
    constexpr int patternLength = (int) sizeof (pattern) - 1;
    const auto* bytes = static_cast<const unsigned char*> (data);

    for (int start = 0; start + patternLength <= sizeInBytes; ++start)
    {
        int k = 0;
        while (k < patternLength && std::tolower (bytes[start + k]) == pattern[k])
            ++k;

        if (k == patternLength)
            return true;
    }

    return false;
}

// The framework's text reader trusts every UTF-8 lead byte: a sequence cut
// short by the end of the text makes it step over the terminating zero and
// read past the buffer. Our blocks hold well-formed UTF-8 only; anything
// else is a damaged block.
bool isWellFormedUtf8 (const unsigned char* text, int length) noexcept
{
    for (int i = 0; i < length && text[i] != 0;)
    {
        const auto lead = text[i];
        int extra = 0;

        if (lead < 0x80)
            extra = 0;
        else if (lead >= 0xc2 && lead <= 0xdf)
            extra = 1;
        else if (lead >= 0xe0 && lead <= 0xef)
            extra = 2;
        else if (lead >= 0xf0 && lead <= 0xf4)
            extra = 3;
        else
            return false;

        if (i + extra >= length)
            return false;

        for (int k = 1; k <= extra; ++k)
            if ((text[i + k] & 0xc0) != 0x80)
                return false;

        i += extra + 1;
    }

    return true;
}

// The XML text of a state block as the framework will read it: after the
// eight header bytes, as long as the length field says but no longer than
// the block. Null when the header rejects the block.
const unsigned char* stateText (const void* data, int sizeInBytes, int& length) noexcept
{
    const auto* bytes = static_cast<const unsigned char*> (data);

    if (sizeInBytes <= 8)
        return nullptr;

    const auto field = (int32_t) ((uint32_t) bytes[4] | ((uint32_t) bytes[5] << 8) | ((uint32_t) bytes[6] << 16)
                                  | ((uint32_t) bytes[7] << 24));
    if (field <= 0)
        return nullptr;

    length = juce::jmin (sizeInBytes - 8, (int) field);
    return bytes + 8;
}
} // namespace

float timeDivisionValue (int row) noexcept
{
    return timeDivisions[juce::jlimit (0, 15, row)];
}

const juce::String& timeDivisionLabel (int row) noexcept
{
    return timeDivisionStrings[juce::jlimit (0, 15, row)];
}

//==============================================================================
QuelmarAudioProcessor::QuelmarAudioProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr, juce::Identifier ("Parameters"), createParameterLayout())
{
    param.sync = parameters.getRawParameterValue (ParamIDs::sync);
    param.time = parameters.getRawParameterValue (ParamIDs::time);
    param.mix = parameters.getRawParameterValue (ParamIDs::mix);
    param.dual = parameters.getRawParameterValue (ParamIDs::dual);
    param.feedback = parameters.getRawParameterValue (ParamIDs::feedback);
    param.reverb = parameters.getRawParameterValue (ParamIDs::reverb);
    param.filter = parameters.getRawParameterValue (ParamIDs::filter);
    param.duck = parameters.getRawParameterValue (ParamIDs::duck);
    param.freeze = parameters.getRawParameterValue (ParamIDs::freeze);
    param.granular = parameters.getRawParameterValue (ParamIDs::granular);
    param.reverse = parameters.getRawParameterValue (ParamIDs::reverse);
    param.onOff = parameters.getRawParameterValue (ParamIDs::onOff);

    // The limiter keeps the framework's default settings until prepared, but
    // needs its per-channel state sized in case a host processes before it
    // prepares.
    feedbackCompressor.prepare ({ 44100.0, 512, 2 });
}

QuelmarAudioProcessor::~QuelmarAudioProcessor() = default;

const juce::String QuelmarAudioProcessor::getName() const { return "Ovalmere"; }

double QuelmarAudioProcessor::getTailLengthSeconds() const { return 0.0; }
bool QuelmarAudioProcessor::acceptsMidi() const { return false; }
bool QuelmarAudioProcessor::producesMidi() const { return false; }
bool QuelmarAudioProcessor::isMidiEffect() const { return false; }

juce::AudioProcessorEditor* QuelmarAudioProcessor::createEditor()
{
    return new WrappedRasterAudioProcessorEditor (*this);
}

bool QuelmarAudioProcessor::hasEditor() const { return true; }

int QuelmarAudioProcessor::getNumPrograms() { return 1; }
int QuelmarAudioProcessor::getCurrentProgram() { return 0; }
void QuelmarAudioProcessor::setCurrentProgram (int) {}
const juce::String QuelmarAudioProcessor::getProgramName (int) { return {}; }
void QuelmarAudioProcessor::changeProgramName (int, const juce::String&) {}

bool QuelmarAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto output = layouts.getMainOutputChannelSet();

    if (output != juce::AudioChannelSet::mono() && output != juce::AudioChannelSet::stereo())
        return false;

    return layouts.getMainInputChannelSet() == output;
}

//==============================================================================
void QuelmarAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const auto state = parameters.copyState();

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

void QuelmarAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (data == nullptr)
        return;

    int textLength = 0;
    const auto* text = stateText (data, sizeInBytes, textLength);

    if (text == nullptr || containsDoctype (data, sizeInBytes) || ! isWellFormedUtf8 (text, textLength))
        return;

    const auto xml = getXmlFromBinary (data, sizeInBytes);

    if (xml == nullptr || ! xml->getTagName().equalsIgnoreCase (parameters.state.getType().toString()))
        return;

    auto restored = juce::ValueTree::fromXml (*xml);

    if (! restored.isValid())
        return;

    juce::StringArray sortedIds;
    for (const auto* id : ParamIDs::all)
        sortedIds.add (id);
    sortedIds.sort (false);

    for (const auto& id : sortedIds)
    {
        bool present = false;

        for (auto child : restored)
        {
            if (child.getProperty ("id").toString() != id)
                continue;

            present = true;

            // The framework reads "nan" as a number and no range check stops
            // it: a crafted preset would leave the parameter (a switch too)
            // holding NaN. Such a value counts as no value: the default.
            if (child.hasProperty ("value") && std::isnan ((float) child.getProperty ("value")))
                child.removeProperty ("value", nullptr);
        }

        // The framework resets a parameter that the block does not mention
        // to its default; a preset that lacks one must leave it as it is.
        // Appending its node with the current value, in ID order, is what
        // the framework would append, only with the value kept.
        if (! present)
        {
            juce::ValueTree node ("PARAM");
            node.setProperty ("id", id, nullptr);
            node.setProperty ("value", parameters.getRawParameterValue (id)->load(), nullptr);
            restored.appendChild (node, nullptr);
        }
    }

    parameters.replaceState (restored);
}

//==============================================================================
void QuelmarAudioProcessor::prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock)
{
    // A host that reports no usable rate still gets a working engine.
    if (! (sampleRate > 0.0) || ! std::isfinite (sampleRate))
        sampleRate = 44100.0;

    const auto maxBlock = (juce::uint32) juce::jmax (1, maximumExpectedSamplesPerBlock);

    for (auto& filter : highPassFilters)
        filter.calculateCoefficients (150.0f, (int) (float) sampleRate);

    for (auto& filter : ladderFilters)
        filter.prepare ({ sampleRate, maxBlock, 1 });

    for (int ch = 0; ch < 2; ++ch)
    {
        for (int g = 0; g < numGrains; ++g)
        {
            grainDelay[ch][g] = (float) sampleRate;
            grainCountdown[ch][g] = 0;
            grainGlide[ch][g].reset (sampleRate, 2.0);
        }
    }

    delayTimeSmoother.reset (sampleRate, 1.0);
    duckGain.reset (sampleRate, 0.5);

    currentSampleRate = sampleRate;

    reverb.setSampleRate (sampleRate);

    outputPeak.store (0.0f, std::memory_order_relaxed);
    inputPeak = 0.0f;

    // A limiter just above full scale keeps the recirculating signal bounded.
    feedbackCompressor.setThreshold (0.75f);
    feedbackCompressor.setRatio (8.0f);
    feedbackCompressor.setAttack (5.0f);
    feedbackCompressor.setRelease (5.0f);
    feedbackCompressor.prepare ({ sampleRate, maxBlock, 2 });

    granularSuppressed = false;
    reverseSuppressed = false;
    dualFreezeScale = 1.0f;
    filterFreezeScale = 1.0f;
    freezePosition.store (0.0f, std::memory_order_relaxed);
    reversePosition.store (0.0f, std::memory_order_relaxed);
    lastSyncedTime = 0.0f;
}

void QuelmarAudioProcessor::releaseResources() {}

float QuelmarAudioProcessor::hostTempo()
{
    bool hasTempo = false;
    double bpm = 0.0;

    if (auto* host = getPlayHead())
    {
        if (const auto position = host->getPosition())
        {
            if (const auto hostBpm = position->getBpm())
            {
                hasTempo = true;
                bpm = *hostBpm;
            }
        }
    }

    const auto tempo = DelayTime::usableTempo (hasTempo, bpm);

    if (wrapperType == wrapperType_LV2)
    {
        if (hasTempo && tempo == (float) bpm)
            lastLv2Tempo = tempo;
        else if (! hasTempo)
            return lastLv2Tempo;
    }

    return tempo;
}

void QuelmarAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    const auto bufferChannels = buffer.getNumChannels();
    const auto numChannels = juce::jmin (getTotalNumInputChannels(), bufferChannels, 2);
    const auto numOutputs = juce::jmin (getTotalNumOutputChannels(), bufferChannels, 2);

    for (int ch = numChannels; ch < numOutputs; ++ch)
        buffer.clear (ch, 0, buffer.getNumSamples());

    const auto n = juce::jmin (buffer.getNumSamples(), maxBlockSamples);
    const auto bpm = hostTempo();

    BlockSettings s {};
    s.dual = param.dual->load();
    s.mix = param.mix->load();
    s.feedback = param.feedback->load();
    s.freeze = isOn (param.freeze->load());
    const auto granular = isOn (param.granular->load());
    const auto reverse = isOn (param.reverse->load());
    s.reverbAmount = param.reverb->load();
    s.filter = param.filter->load();
    s.duck = param.duck->load();
    s.sync = isOn (param.sync->load());

    // The editor's freeze lamp shows where the previous block left the loop.
    const auto& firstLine = delayLines[0];
    freezePosition.store (firstLine.freezeState == CircularBuffer::frozen ? firstLine.loopPosition : 0.0f,
                          std::memory_order_relaxed);

    // Freeze bookkeeping: what a freeze captures when it engages holds for
    // its whole life, applied to the current FILTER and DUAL.
    s.granularOn = granular;
    s.reverseOn = reverse;
    auto filterAmount = s.filter;
    auto dualAmount = s.dual;

    if (s.freeze)
    {
        if (firstLine.freezeState != CircularBuffer::frozen)
        {
            granularSuppressed = granular && s.feedback > 0.55f;
            reverseSuppressed = reverse && s.feedback > 0.55f;
            const auto k = 1.0f - s.feedback * s.feedback;
            filterFreezeScale = k * (1.0f - s.filter * s.filter);
            dualFreezeScale = k * (1.0f - s.dual * s.dual);
        }

        s.granularOn = granular && ! granularSuppressed;
        s.reverseOn = reverse && ! reverseSuppressed;
        filterAmount = s.filter * filterFreezeScale;
        dualAmount = s.dual * dualFreezeScale;
    }

    auto reverbParameters = reverb.getParameters();
    reverbParameters.roomSize = 0.9f;
    reverbParameters.damping = 0.6f;
    reverbParameters.wetLevel = (s.reverbAmount * 0.5f) * s.mix;
    reverbParameters.dryLevel = 0.5f - reverbParameters.wetLevel;
    reverb.setParameters (reverbParameters);

    // Ducking follows the previous block's input peak.
    {
        const auto headroom = 1.0f - s.duck;
        const auto x = inputPeak - headroom * headroom * headroom;
        auto target = 1.0f;

        if (x > 0.0f)
        {
            const auto y = 1.0f - juce::jmin (0.99f, x);
            target = y * y * y * y;
        }

        duckGain.setTargetValue (target);
    }

    float sampleDelays[maxBlockSamples];
    DelayTime::fillSampleDelays ({ delayTimeSmoother, wasSync, lastSyncedTime }, currentSampleRate, s.sync,
                                 param.time->load(), bpm, sampleDelays, n);

    if (numChannels == 0)
    {
        outputPeak.store (0.0f, std::memory_order_relaxed);
        inputPeak = 0.0f;
        return;
    }

    const auto f = 1.0f - 0.999f * filterAmount;
    const auto cutoffHz = (((20000.0f * f) * f) * f) * f + 100.0f;
    const auto drive = 3.0f * (1.0f - f * f) + 1.0f;
    const auto resonance = (1.0f - s.feedback) * 0.1f;

    s.dual = dualAmount;
    s.dryGain = s.mix < 0.5f ? 1.0f : 2.0f - 2.0f * s.mix;
    s.wetGain = s.mix > 0.5f ? 1.0f : 2.0f * s.mix;
    s.dualRatio = s.sync ? 0.5f : 0.618f;
    s.dualReverseSpan = s.sync ? 1.0f : 1.236f;
    s.granularTapScale = s.freeze ? 1.0f - s.feedback : 1.0f;
    s.rateSpread = (s.filter * 0.001f) * 2.5e-7f;
    s.pull = 0.99f * s.feedback;
    {
        const auto rest = 1.0f - s.feedback;
        s.octaveChance = 1.0f - rest * rest;
    }
    s.lastDelay = n > 0 ? sampleDelays[n - 1] : 0.0f;

    const auto ringLength = DelayTime::ringLength (currentSampleRate, bpm);

    float inPeak = 0.0f, outPeak = 0.0f;
    auto latestReversePosition = reversePosition.load (std::memory_order_relaxed);
    float lastOffsets[2] = { reverseOffsets[0], reverseOffsets[1] };

    for (int ch = 0; ch < numChannels; ++ch)
    {
        auto& mainLine = delayLines[ch];
        auto& dualLine = dualDelayLines[ch];

        // A reverse run starts from fresh offsets when the lines were read
        // forwards until now.
        if (s.reverseOn && mainLine.forward)
            reverseOffsets[0] = reverseOffsets[1] = 0.0f;

        mainLine.forward = dualLine.forward = ! s.reverseOn;

        mainLine.length = ringLength;
        dualLine.length = ringLength;

        auto& ladder = ladderFilters[ch];
        ladder.setCutoffFrequency (cutoffHz);
        ladder.setResonance (resonance);
        ladder.setDrive (drive);

        // Each channel starts from the same offsets and sees the same delays,
        // so both run identical offsets.
        lastOffsets[0] = reverseOffsets[0];
        lastOffsets[1] = reverseOffsets[1];

        if (n > 0)
        {
            const auto mainGain = ch == 0 ? 1.0f : 1.0f - dualAmount * dualAmount;
            const auto dualGain = ch == 0 ? dualAmount * (1.0f - dualAmount * dualAmount) : dualAmount;

            processChannel (ch, buffer.getWritePointer (ch), n, sampleDelays, s, mainGain, dualGain,
                            lastOffsets, inPeak, outPeak, latestReversePosition);
        }
    }

    if (s.reverbAmount > 0.001f && isOn (param.onOff->load()))
    {
        if (numChannels == 1)
            reverb.processMono (buffer.getWritePointer (0), n);
        else
            reverb.processStereo (buffer.getWritePointer (0), buffer.getWritePointer (1), n);
    }

    reverseOffsets[0] = lastOffsets[0];
    reverseOffsets[1] = lastOffsets[1];

    reversePosition.store (latestReversePosition, std::memory_order_relaxed);
    outputPeak.store (outPeak, std::memory_order_relaxed);
    inputPeak = inPeak;
}

//==============================================================================
void QuelmarAudioProcessor::processChannel (int ch, float* samples, int n, const float* sampleDelays,
                                            const BlockSettings& s, float mainGain, float dualGain,
                                            float (&offsets)[2], float& inPeak, float& outPeak,
                                            float& latestReversePosition)
{
    auto& mainLine = delayLines[ch];
    auto& dualLine = dualDelayLines[ch];
    auto& ladder = ladderFilters[ch];
    auto& highPass = highPassFilters[ch];
    const auto freeze = s.freeze;
    auto oM = offsets[0];
    auto oD = offsets[1];

    for (int i = 0; i < n; ++i)
    {
        const auto input = samples[i];

        // A sample that is not finite (a misbehaving host or plug-in ahead of
        // us) must never reach the lines: they are never cleared, so it would
        // echo for the life of the instance. It counts as silence.
        const auto x = std::isfinite (input) ? input : 0.0f;
        const auto d = sampleDelays[i];
        float wet;

        if (s.reverseOn)
        {
            // The read offset grows by two while the write position moves on
            // by one: the read head runs backwards at normal speed, in
            // segments one delay long, faded over 300 samples at each end.
            oM = oM + 2.0f;
            const auto spanM = 2.0f * d;
            if (spanM < oM)
                oM = 1.0f;

            latestReversePosition = oM / spanM;

            const auto envM = oM < 600.0f ? oM / 600.0f
                                          : (oM > spanM - 600.0f ? (spanM - oM) / 600.0f : 1.0f);

            // Forward reads at the true delay let a freeze engage and its loop
            // be measured as in forward playback; reversed reads never
            // re-measure it.
            if (d != (float) mainLine.loopLength || (freeze && mainLine.freezeState != CircularBuffer::frozen))
            {
                mainLine.forward = dualLine.forward = true;
                (void) mainLine.pop (d, freeze, false);
                (void) dualLine.pop (s.dualRatio * d, freeze, false);
                mainLine.forward = dualLine.forward = false;
            }

            const auto tM = mainLine.pop (oM, freeze, false);

            oD = oD + 2.0f;
            const auto spanD = s.dualReverseSpan * d;
            if (spanD < oD)
                oD = 1.0f;

            const auto envD = oD < 600.0f ? oD / 600.0f
                                          : (oD > spanD - 600.0f ? (spanD - oD) / 600.0f : envM);

            const auto tD = dualLine.pop (oD, freeze, false);
            wet = (mainGain * envM) * tM + envD * dualGain * tD;
        }
        else
        {
            wet = mainGain * mainLine.pop (d, freeze, false)
                  + dualGain * dualLine.pop (s.dualRatio * d, freeze, false);
        }

        if (s.granularOn)
            wet = 0.1875f * sumGrains (ch, d, wet * s.granularTapScale, s);

        ladder.updateSmoothers();
        const auto y = ladder.processSample (wet, 0);

        if (! freeze)
        {
            // One feedback signal for both lines; the high-pass and the
            // limiter's envelope advance once per line.
            const auto fb = y * s.feedback;
            const auto fbMain = s.granularOn ? highPass.processSample (fb) : fb;
            mainLine.push (x + feedbackCompressor.processSample (ch, fbMain));
            const auto fbDual = s.granularOn ? highPass.processSample (fb) : fb;
            dualLine.push (x + feedbackCompressor.processSample (ch, fbDual));
        }

        mainLine.advance (s.lastDelay);
        dualLine.advance (s.dualRatio * s.lastDelay);

        inPeak = juce::jmax (inPeak, std::abs (x));

        auto out = input;

        if (isOn (param.onOff->load (std::memory_order_relaxed)))
        {
            out = x * s.dryGain + y * (s.wetGain * duckGain.getNextValue());
            samples[i] = out;
        }

        outPeak = juce::jmax (outPeak, std::abs (out));
    }

    offsets[0] = oM;
    offsets[1] = oD;
}

float QuelmarAudioProcessor::sumGrains (int ch, float d, float tapSum, const BlockSettings& s) noexcept
{
    auto& mainLine = delayLines[ch];
    auto& dualLine = dualDelayLines[ch];
    auto* countdown = grainCountdown[ch];
    auto* delay = grainDelay[ch];
    auto* rate = grainRate[ch];
    auto* glide = grainGlide[ch];
    const auto freeze = s.freeze;
    auto sum = tapSum;

    for (int g = 0; g < numGrains; ++g)
    {
        const auto c = countdown[g];
        countdown[g] = c - 1;
        int32_t remaining;

        if (c <= 0)
        {
            startGrain (ch, g, d, s);
            remaining = countdown[g];
        }
        else
        {
            remaining = c - 1;
        }

        // An 800-sample fade at each end, softened by the fourth power.
        const auto e = remaining <= 799 ? (float) remaining / 800.0f
                                        : juce::jmin (1.0f, (delay[g] - (float) remaining) / 800.0f);
        const auto gain = e * e * e * e;

        const auto a = mainLine.pop (delay[g], freeze, true);
        const auto b = dualLine.pop (delay[g] * s.dualRatio, freeze, true);
        sum = sum + a * gain;
        delay[g] = rate[g] * delay[g];
        sum = sum + s.dual * gain * b;
        delay[g] = glide[g].getNextValue() + delay[g];
    }

    return sum;
}

void QuelmarAudioProcessor::startGrain (int ch, int g, float d, const BlockSettings& s) noexcept
{
    auto& delay = grainDelay[ch][g];
    auto& glide = grainGlide[ch][g];
    const auto old = delay;

    // A little shorter than the delay: between 0.9025 and 0.9801 of it.
    const auto r = (float) random.next() * 0.04000002f * twoToMinus31 + 0.95f;
    delay = r * r * d;

    const auto pick = (float) random.next() * twoToMinus31;
    const auto spread = (float) random.next() * s.rateSpread * twoToMinus31;
    grainRate[ch][g] = pick > 0.5f ? 1.0000005f + spread : 0.9999995f - spread;

    glide.setCurrentAndTargetValue (0.0f);

    // One grain in twenty starts an octave further back and glides up.
    if (pick > 0.95f)
    {
        glide.setTargetValue (-0.5f);
        delay = delay * 2.0f;
    }

    if (s.freeze)
    {
        // In a freeze, grains pile onto the previous grain's position and
        // some glide down towards an octave below.
        const auto u = (float) random.next() * twoToMinus31;

        if (u * s.octaveChance > 0.5f && glide.getTargetValue() != 0.5f)
            glide.setTargetValue (0.5f);

        delay = old * s.pull + delay;

        if (delay > (float) delayLines[ch].length)
            delay -= (float) delayLines[ch].length;
    }

    grainCountdown[ch][g] = (int32_t) delay;
}

//==============================================================================
// The framework's plug-in clients create every instance through this.
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new QuelmarAudioProcessor();
}
