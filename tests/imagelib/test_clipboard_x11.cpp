// The clipboard between two programs on a real X display (a fresh Xvfb through xvfb-run): one of
// our programs offers a picture, another takes it and saves it as BMP.
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "imagelib/image.h"
#include "imagelib/load.h"
#include "platform/raster.h"

TEST(ClipboardX11, PictureCrossesBetweenPrograms) {
    if (std::system("command -v xvfb-run >/dev/null") != 0) GTEST_SKIP() << "no xvfb-run";
    char templ[] = "/tmp/kadrovo-x11-XXXXXX";
    ASSERT_TRUE(mkdtemp(templ));
    const std::string dir = templ, peer = CLIPBOARD_PEER;
    // The offering program serves until the other has taken the picture; each side waits for a
    // file or for the other's end, and the peers give up after a minute.
    const std::string script =
        "cd " + dir + " && export QT_QPA_PLATFORM=xcb && { " + peer + " offer ready done & } && " +
        "while [ ! -e ready ] && kill -0 $! 2>/dev/null; do sleep 0.05; done; [ -e ready ] && " +
        peer + " take taken.bmp; t=$?; touch done; wait $! && [ $t = 0 ]";
    EXPECT_EQ(std::system(("xvfb-run -a sh -c '" + script + "'").c_str()), 0);

    ImageInit();
    ASSERT_TRUE(ImageLoadFile(7, (dir + "/taken.bmp").c_str()));
    ASSERT_EQ(ImageGetWidth(7), 64);
    ASSERT_EQ(ImageGetHeight(7), 48);
    const raster::Bitmap& bm = *ImageGetBitmap(7);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(raster::GetPixel(bm, x, y), uint32_t(x * 4 | y * 5 << 8 | 99 << 16))
                << x << "," << y;
    ImageRelease(7);
    std::filesystem::remove_all(dir);
}
