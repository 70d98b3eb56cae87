#include "Plot.h"

#include <algorithm>
#include <cmath>

namespace Plot
{
namespace
{
const juce::Colour background { 0xfffbfbfa };
const juce::Colour laneFill { 0xffffffff };
const juce::Colour laneBorder { 0xffd2d2cc };
const juce::Colour grid { 0xffe9e9e4 };
const juce::Colour text { 0xff22262b };
const juce::Colour quietText { 0xff5f6670 };
const juce::Colour highlight { 0xffb8420d };
const juce::Colour tailShade { 0x10000000 };
const juce::Colour fullScale { 0xffd64545 };

struct WaveColours
{
    juce::Colour peak, rms;
};

const WaveColours inputColours { juce::Colour (0xffaebdcc), juce::Colour (0xff4f6479) };
const WaveColours outputColours { juce::Colour (0xff90d2c5), juce::Colour (0xff1d7d6e) };

constexpr int laneGap = 8;

// Steps a reader can add up in their head; the first that gives at most a
// dozen ticks across the render wins.
static constexpr double tickSteps[] = { 0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5,
                                        1.0,   2.0,   5.0,   10.0, 15.0, 30.0, 60.0, 120.0, 300.0 };

double tickStepSeconds (double durationSeconds) noexcept
{
    for (const auto step : tickSteps)
        if (durationSeconds / step <= 12.0)
            return step;

    return 600.0;
}

juce::String tickLabel (double seconds, double step)
{
    const auto decimals = step >= 1.0 ? 0 : (int) std::ceil (-std::log10 (step) - 1.0e-9);
    return juce::String (seconds, decimals);
}

// Full scale is one unless the signal goes beyond it: then the lanes grow to
// fit and red lines mark where one is.
float laneScale (float peak) noexcept
{
    return peak > 1.0f ? peak * 1.05f : 1.0f;
}

juce::String scaleLabel (float scale)
{
    return juce::String (scale, scale < 10.0f ? 1 : 0);
}

struct Geometry
{
    double sampleRate;
    juce::int64 totalSamples;

    float xForSeconds (double seconds) const noexcept
    {
        if (totalSamples <= 0)
            return (float) leftMargin;

        return (float) leftMargin + (float) (seconds * sampleRate / (double) totalSamples * plotColumns);
    }

    double durationSeconds() const noexcept { return (double) totalSamples / sampleRate; }
};

void drawLane (juce::Graphics& g, const WaveformSummary& summary, int channel, juce::Rectangle<float> area,
               float scale, const WaveColours& colours, const Geometry& geometry, double inputSeconds)
{
    g.setColour (laneFill);
    g.fillRect (area);

    g.setColour (grid);
    const auto step = tickStepSeconds (geometry.durationSeconds());
    for (double t = 0.0; t <= geometry.durationSeconds() + 1.0e-9; t += step)
        g.drawVerticalLine ((int) geometry.xForSeconds (t), area.getY(), area.getBottom());

    const auto centreY = area.getCentreY();
    const auto halfHeight = area.getHeight() * 0.5f - 2.0f;
    auto yFor = [&] (float value) { return centreY - juce::jlimit (-1.0f, 1.0f, value / scale) * halfHeight; };

    g.drawHorizontalLine ((int) centreY, area.getX(), area.getRight());

    if (inputSeconds < geometry.durationSeconds())
    {
        const auto tailX = geometry.xForSeconds (inputSeconds);
        g.setColour (tailShade);
        g.fillRect (area.withLeft (tailX));
    }

    for (int x = 0; x < summary.getNumColumns(); ++x)
    {
        const auto& c = summary.column (channel, x);
        if (c.count == 0)
            continue;

        const auto px = area.getX() + (float) x;
        const auto rms = (float) std::sqrt (c.sumSquares / (double) c.count);

        // At least a pixel, so quiet passages still show as a trace.
        auto top = yFor (c.maximum);
        auto bottom = yFor (c.minimum);
        if (bottom - top < 1.0f)
        {
            top = (top + bottom) * 0.5f - 0.5f;
            bottom = top + 1.0f;
        }

        g.setColour (colours.peak);
        g.fillRect (px, top, 1.0f, bottom - top);

        const auto rmsTop = juce::jmax (top, yFor (rms));
        const auto rmsBottom = juce::jmin (bottom, yFor (-rms));
        if (rmsBottom > rmsTop)
        {
            g.setColour (colours.rms);
            g.fillRect (px, rmsTop, 1.0f, rmsBottom - rmsTop);
        }
    }

    if (scale > 1.0f)
    {
        g.setColour (fullScale.withAlpha (0.7f));
        const float dashes[] = { 5.0f, 4.0f };
        for (const auto level : { 1.0f, -1.0f })
            g.drawDashedLine ({ area.getX(), yFor (level), area.getRight(), yFor (level) }, dashes, 2, 1.0f);
    }

    g.setColour (laneBorder);
    g.drawRect (area, 1.0f);
}

void drawLaneLabels (juce::Graphics& g, juce::Rectangle<float> area, const juce::String& name, float scale)
{
    const auto labelArea = juce::Rectangle<float> (4.0f, area.getY(), (float) leftMargin - 10.0f, area.getHeight());

    g.setColour (text);
    g.setFont (juce::Font (15.0f, juce::Font::bold));
    g.drawText (name, labelArea, juce::Justification::centredRight);

    g.setColour (quietText);
    g.setFont (juce::Font (12.0f));
    g.drawText ("+" + scaleLabel (scale), labelArea.withHeight (16.0f), juce::Justification::topRight);
    g.drawText ("-" + scaleLabel (scale), labelArea.withTop (area.getBottom() - 16.0f), juce::Justification::bottomRight);
}

juce::String channelName (int channel, int numChannels)
{
    if (numChannels == 1)
        return "mono";

    return channel == 0 ? "L" : "R";
}

int laneHeightFor (int numChannels) noexcept
{
    return numChannels == 1 ? 170 : 120;
}

// Lays the items out in rows no wider than the plot; returns the rows' bottom.
float drawCaption (juce::Graphics& g, const std::vector<CaptionItem>& items, float top, bool draw)
{
    const juce::Font font (15.0f);
    const auto lineHeight = 22.0f;
    const auto gap = 20.0f;
    const auto left = (float) leftMargin;
    const auto right = (float) (imageWidth - rightMargin);
    auto x = left;
    auto y = top;

    if (draw)
        g.setFont (font);

    for (const auto& item : items)
    {
        const auto width = font.getStringWidthFloat (item.text);

        if (x > left && x + width > right)
        {
            x = left;
            y += lineHeight;
        }

        if (draw)
        {
            g.setColour (item.highlighted ? highlight : text);
            g.drawText (item.text, juce::Rectangle<float> (x, y, width + 2.0f, lineHeight),
                        juce::Justification::centredLeft);
        }

        x += width + gap;
    }

    return y + lineHeight;
}
} // namespace

//==============================================================================
WaveformSummary::WaveformSummary (int numChannels, int columnsWanted, juce::int64 total)
    : columns ((size_t) numChannels, std::vector<Column> ((size_t) columnsWanted)),
      numColumns (columnsWanted),
      totalSamples (total)
{
}

void WaveformSummary::add (const juce::AudioBuffer<float>& block, int numSamples)
{
    const auto channels = juce::jmin (getNumChannels(), block.getNumChannels());

    for (int ch = 0; ch < channels; ++ch)
    {
        const auto* samples = block.getReadPointer (ch);
        auto& lane = columns[(size_t) ch];

        for (int i = 0; i < numSamples; ++i)
        {
            const auto s = samples[i];
            if (! std::isfinite (s))
                continue;

            const auto x = (size_t) std::clamp<juce::int64> ((position + i) * numColumns / std::max<juce::int64> (1, totalSamples),
                                                             0, numColumns - 1);
            auto& c = lane[x];

            if (c.count == 0)
            {
                c.minimum = c.maximum = s;
            }
            else
            {
                c.minimum = juce::jmin (c.minimum, s);
                c.maximum = juce::jmax (c.maximum, s);
            }

            c.sumSquares += (double) s * (double) s;
            ++c.count;
            largest = juce::jmax (largest, std::abs (s));
        }
    }

    position += numSamples;
}

//==============================================================================
juce::Image draw (const WaveformSummary& input, const WaveformSummary& output, const Description& description)
{
    const auto numChannels = output.getNumChannels();
    const auto laneHeight = laneHeightFor (numChannels);
    const auto panelHeight = 26 + numChannels * laneHeight + (numChannels - 1) * laneGap;
    const auto captionTop = 72.0f;

    // The caption can wrap, so it is laid out once to find the height.
    juce::Image measure (juce::Image::RGB, 1, 1, false);
    juce::Graphics measuring (measure);
    const auto captionBottom = drawCaption (measuring, description.settings, captionTop, false);

    const auto firstPanelTop = (int) captionBottom + 14;
    const auto secondPanelTop = firstPanelTop + panelHeight + 16;
    const auto axisTop = secondPanelTop + panelHeight;
    const auto height = axisTop + 54;

    juce::Image image (juce::Image::RGB, imageWidth, height, true);
    juce::Graphics g (image);
    g.fillAll (background);

    g.setColour (text);
    g.setFont (juce::Font (22.0f, juce::Font::bold));
    g.drawText (description.title, leftMargin, 14, plotColumns, 30, juce::Justification::centredLeft);

    g.setColour (quietText);
    g.setFont (juce::Font (15.0f));
    g.drawText (description.subtitle, leftMargin, 46, plotColumns, 22, juce::Justification::centredLeft);

    (void) drawCaption (g, description.settings, captionTop, true);

    const Geometry geometry { description.sampleRate, description.totalSamples };
    const auto inputSeconds = (double) description.inputSamples / description.sampleRate;
    const auto scale = laneScale (juce::jmax (input.peak(), output.peak()));

    auto drawPanel = [&] (const WaveformSummary& summary, const juce::String& heading, const WaveColours& colours,
                          int top)
    {
        g.setColour (text);
        g.setFont (juce::Font (17.0f, juce::Font::bold));
        g.drawText (heading, leftMargin, top, plotColumns, 22, juce::Justification::centredLeft);

        if (&summary == &input && inputSeconds < geometry.durationSeconds())
        {
            const juce::Font font (13.0f);
            const auto tailX = (int) geometry.xForSeconds (inputSeconds);
            const auto room = imageWidth - rightMargin - tailX - 6;
            const juce::String longLabel ("tail: silence in, echoes out");
            const auto label = font.getStringWidthFloat (longLabel) < (float) room ? longLabel : juce::String ("tail");

            g.setColour (quietText);
            g.setFont (font);
            g.drawText (label, tailX + 6, top, juce::jmax (room, 40), 22, juce::Justification::centredLeft);
        }

        for (int ch = 0; ch < numChannels; ++ch)
        {
            const juce::Rectangle<float> area ((float) leftMargin, (float) (top + 26 + ch * (laneHeight + laneGap)),
                                               (float) plotColumns, (float) laneHeight);
            drawLane (g, summary, ch, area, scale, colours, geometry, inputSeconds);
            drawLaneLabels (g, area, channelName (ch, numChannels), scale);
        }
    };

    drawPanel (input, "Input", inputColours, firstPanelTop);
    drawPanel (output, "Output", outputColours, secondPanelTop);

    // Time axis under the output.
    const auto duration = geometry.durationSeconds();
    const auto step = tickStepSeconds (duration);
    g.setFont (juce::Font (13.0f));

    for (int k = 0; (double) k * step <= duration + 1.0e-9; ++k)
    {
        const auto t = (double) k * step;
        const auto x = geometry.xForSeconds (t);
        g.setColour (quietText);
        g.drawVerticalLine ((int) x, (float) axisTop, (float) axisTop + 6.0f);
        g.setColour (text);
        g.drawText (tickLabel (t, step), juce::Rectangle<float> (x - 40.0f, (float) axisTop + 7.0f, 80.0f, 16.0f),
                    juce::Justification::centred);
    }

    g.setColour (quietText);
    g.drawText ("time (seconds)", leftMargin, axisTop + 28, plotColumns, 18, juce::Justification::centred);

    return image;
}
} // namespace Plot
