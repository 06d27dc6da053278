// Prints the colour a preview pixel takes under the five track-bar positions:
//   tone_expect GAMMA WHITE BLACK SATURATION CONTRAST RED GREEN BLUE  ->  "RED GREEN BLUE"
#include <cstdio>
#include <cstdlib>

#include "picture/tone.h"

int main(int argc, char** argv) {
    if (argc != 9) {
        std::fprintf(stderr, "usage: tone_expect gamma white black saturation contrast r g b\n");
        return 2;
    }
    int v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = std::atoi(argv[i + 1]);
    const uint8_t source[3] = {static_cast<uint8_t>(v[7]), static_cast<uint8_t>(v[6]),
                               static_cast<uint8_t>(v[5])};
    uint8_t target[3] = {0, 0, 0};
    ToneAdjustBuffer(source, target, 1, 1, 3, ToneClampParams({v[0], v[1], v[2], v[3], v[4]}));
    std::printf("%d %d %d\n", target[2], target[1], target[0]);
    return 0;
}
