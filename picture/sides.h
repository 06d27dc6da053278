#pragma once

// A picture's width and height in pixels, as sizes are handed back.
struct Sides {
    int width = 0;
    int height = 0;
    bool operator==(const Sides&) const = default;
};
