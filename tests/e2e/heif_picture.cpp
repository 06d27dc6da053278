// Writes a phone-style HEIC for the end-to-end tests: 800 x 600 pixels of one colour stored on
// their side (irot), so that the upright picture is 600 x 800. Prints the colour the loader
// gives its pixels, which the test then expects on the screen:
//   heif_picture PATH RED GREEN BLUE  ->  "RED GREEN BLUE"
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "imagelib/heif_decoder.h"
#include "load_fixtures.h"
#include "platform/raster.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: heif_picture path red green blue\n");
        return 2;
    }
    const fixtures::Rgba colour{static_cast<uint8_t>(std::atoi(argv[2])),
                                static_cast<uint8_t>(std::atoi(argv[3])),
                                static_cast<uint8_t>(std::atoi(argv[4])), 255};
    const fixtures::Bytes file = fixtures::MakeHeif(
        {.width = 800, .height = 600, .orientation = 6, .colour = [colour](int, int) {
             return colour;
         }});
    auto picture = DecodeWhole(*HeifDecoder(), file);
    if (!picture || picture->width != 600 || picture->height != 800) return 1;
    std::ofstream(argv[1], std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    const uint32_t c = raster::GetPixel(*picture, 300, 400);
    std::printf("%u %u %u\n", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return 0;
}
