#pragma once

#include <BinaryData.h>

// The editor's pictures, compiled into the plug-in: each a pointer to its PNG
// bytes and their count, under its resource name.
namespace Resources
{
struct Resource
{
    const char* data;
    int size;
};

#define OVALMERE_RESOURCE(name) inline const Resource name { BinaryData::name##_png, BinaryData::name##_pngSize };

OVALMERE_RESOURCE (pointerKnobStrip)
OVALMERE_RESOURCE (goldKnobStrip)
OVALMERE_RESOURCE (grilleKnobStrip)
OVALMERE_RESOURCE (chickenHeadKnobStrip)
OVALMERE_RESOURCE (numberedDialKnobStrip)
OVALMERE_RESOURCE (toggleStrip)
OVALMERE_RESOURCE (dialKnobStrip)
OVALMERE_RESOURCE (ledRingKnobStrip)
OVALMERE_RESOURCE (vuMeterStrip)
OVALMERE_RESOURCE (lampSmallStrip)
OVALMERE_RESOURCE (lampLargeStrip)
OVALMERE_RESOURCE (backgroundImage)
OVALMERE_RESOURCE (switchOffImage)
OVALMERE_RESOURCE (switchOnImage)
OVALMERE_RESOURCE (lampOffImage)
OVALMERE_RESOURCE (lampOnImage)
OVALMERE_RESOURCE (toggleOffImage)
OVALMERE_RESOURCE (toggleOnImage)
OVALMERE_RESOURCE (creditBlankImage)
OVALMERE_RESOURCE (creditBannerImage)

#undef OVALMERE_RESOURCE
} // namespace Resources
