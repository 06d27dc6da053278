// What the preview at device resolution keeps between paintings (see devicepreview.h): the
// picture stretched to the device size, as captured and as shown, and how each was made.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "picture/tone.h"
#include "platform/raster.h"

// How the shown copy was made from the captured one.
struct DeviceAdjustment {
    bool any = false;  // false: the captured pixels as they are
    ToneParams params{};
    uint32_t cast = 0;
    bool operator==(const DeviceAdjustment& o) const {
        return any == o.any &&
               (!any ||
                (params.gamma == o.params.gamma && params.white == o.params.white &&
                 params.black == o.params.black && params.saturation == o.params.saturation &&
                 params.contrast == o.params.contrast && cast == o.cast));
    }
};

// The device copies mirror the working buffers: `source` the captured pixels, `shown` what
// image 101 shows. Sides are the preview's times the ratio.
struct DeviceCopies {
    double ratio = 0;
    int previewWidth = 0, previewHeight = 0;
    std::unique_ptr<raster::Bitmap> source, shown;
    DeviceAdjustment shownAs;       // how `shown` was made from `source`
    DeviceAdjustment wanted;        // how image 101 was made from the captured pixels
    std::vector<uint8_t> captured;  // the working source buffer as last seen
    bool captureKnown = false;      // false until the capture of a new preview has been seen
    bool rebuild = true;
};
