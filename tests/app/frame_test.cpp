// The frame and preview arithmetic: preview sizes, ratios, default frame, clamp, drag steps and
// the texts, on the figures a user sees.
#include "app/frame.h"

#include <gtest/gtest.h>

namespace {

Selection Sel(int height, int width, int left, int top) {
    return Selection{height, width, left, top};
}

void ExpectSel(const Selection& s, int height, int width, int left, int top) {
    EXPECT_EQ(s.height, height);
    EXPECT_EQ(s.width, width);
    EXPECT_EQ(s.left, left);
    EXPECT_EQ(s.top, top);
}

TEST(Nearest, HalvesGoToTheEvenNeighbour) {
    struct Case {
        double in;
        int out;
    } cases[] = {
        {0.5, 0},   {1.5, 2},      {2.5, 2},    {475.5, 476},       {-0.5, 0},
        {-1.5, -2}, {317.33, 317}, {2.4999, 2}, {1e12, 2147483647}, {-1e12, -2147483647 - 1}};
    for (const Case& c : cases)
        EXPECT_EQ(frame::Nearest(c.in), c.out) << c.in;
}

TEST(RatioFor, EveryFormatIsTheFloatNearestItsFraction) {
    struct Case {
        int index;
        double portrait;
        double landscape;
    } cases[] = {{0, 13.0 / 9, 9.0 / 13}, {1, 1.5, 2.0 / 3},  {2, 18.0 / 13, 13.0 / 18},
                 {3, 4.0 / 3, 0.75},      {4, 1.5, 2.0 / 3},  {5, 4.0 / 3, 0.75},
                 {6, 1.5, 2.0 / 3},       {7, 4.0 / 3, 0.75}, {8, 1.0, 1.0},
                 {9, 16.0 / 9, 0.5625}};
    for (const Case& c : cases) {
        EXPECT_EQ(frame::RatioFor(c.index, true), static_cast<float>(c.portrait)) << c.index;
        EXPECT_EQ(frame::RatioFor(c.index, false), static_cast<float>(c.landscape)) << c.index;
    }
    EXPECT_FLOAT_EQ(frame::RatioFor(0, true), 1.4444444f);
    // No selection (-1) or a stray index falls back to the first format.
    EXPECT_EQ(frame::RatioFor(-1, true), frame::RatioFor(0, true));
    EXPECT_EQ(frame::RatioFor(10, false), frame::RatioFor(0, false));
}

TEST(PreviewSize, FitsTheBoxKeepingOrientation) {
    struct Case {
        int w, h, pw, ph;
    } cases[] = {
        {800, 600, 480, 357},  // landscape: 476 x 0.75
        {600, 800, 360, 476},  // portrait: 480 / 1.3333334
        {500, 500, 480, 476},  // square counts as portrait
        {480, 300, 480, 298},  // exactly 480 wide is still stretched: 297.5 goes to 298
        {10, 1000, 5, 476},    // very narrow: preview below the minimum frame width
        {100000, 1, 480, 1},   // extreme strip keeps one row
        {1, 30000, 1, 476},
    };
    for (const Case& c : cases) {
        int pw = 0, ph = 0;
        frame::PreviewSize(c.w, c.h, pw, ph);
        EXPECT_EQ(pw, c.pw) << c.w << "x" << c.h;
        EXPECT_EQ(ph, c.ph) << c.w << "x" << c.h;
    }
}

TEST(DefaultFrame, LargestFrameOfTheFormat) {
    const float landscape = frame::RatioFor(1, false);
    const float portrait = frame::RatioFor(1, true);
    ExpectSel(frame::DefaultFrame(true, landscape), 320, 480, 0, 0);
    // 476 / 1.5 = 317.33 -> 317; 317 x 1.5 = 475.5 -> 476.
    ExpectSel(frame::DefaultFrame(false, portrait), 476, 317, 0, 0);

    // 800 x 600 with "10 x 15" in a 480 x 357 preview: the frame fits unchanged.
    Selection s = frame::DefaultFrame(true, landscape);
    frame::Clamp(s, landscape, 480, 357);
    ExpectSel(s, 320, 480, 0, 0);
    // 600 x 800 in a 360 x 476 preview.
    s = frame::DefaultFrame(false, portrait);
    frame::Clamp(s, portrait, 360, 476);
    ExpectSel(s, 476, 317, 0, 0);
    // "16:9" across on a 4:3 picture: the height limits the width.
    const float wide = frame::RatioFor(9, false);
    s = frame::DefaultFrame(true, wide);
    frame::Clamp(s, wide, 480, 357);
    ExpectSel(s, 270, 480, 0, 0);
}

TEST(Clamp, NarrowsNeverMoves) {
    const float r = 2.0f / 3.0f;  // "10 x 15" across
    struct Case {
        Selection in;
        int pw, ph;
        Selection out;
    } cases[] = {
        {Sel(0, 100, -5, -7), 480, 357, Sel(67, 100, 0, 0)},       // negative corner to 0
        {Sel(0, 300, 400, 0), 480, 357, Sel(53, 80, 400, 0)},      // right edge
        {Sel(0, 480, 0, 100), 480, 357, Sel(257, 385, 0, 100)},    // bottom: 257 / r < 385.5
        {Sel(0, 10, 0, 0), 480, 357, Sel(17, 25, 0, 0)},           // minimum width
        {Sel(0, 300, 0, 0), 5, 476, Sel(17, 25, 0, 0)},            // narrow preview: 25 wins
        {Sel(0, 300, 470, 350), 480, 357, Sel(17, 25, 470, 350)},  // no room: past the edges
    };
    for (const Case& c : cases) {
        Selection s = c.in;
        frame::Clamp(s, r, c.pw, c.ph);
        ExpectSel(s, c.out.height, c.out.width, c.out.left, c.out.top);
    }
}

TEST(Clamp, ToggleSwapsOrientation) {
    // A 300 x 200 frame across, toggled: width 200, ratio 1.5, height 300 when there is room.
    Selection s = Sel(200, 300, 10, 20);
    std::swap(s.height, s.width);
    const float upright = frame::RatioFor(1, true);
    frame::Clamp(s, upright, 480, 357);
    ExpectSel(s, 300, 200, 10, 20);
    // With the frame lower down, 300 + top exceeds PH and the width shrinks.
    s = Sel(200, 300, 10, 100);
    std::swap(s.height, s.width);
    frame::Clamp(s, upright, 480, 357);
    ExpectSel(s, 256, 171, 10, 100);  // 257 / 1.5 = 171.33 -> 171; 256.5 -> 256
}

struct DragCase {
    const char* what;
    int mx, my;
    bool resizing, moving;
};

TEST(DragStart, CornerSquareThenStrictInside) {
    // Frame 200 x 100 at (50, 40): drawn from client (64, 60) to corner point (264, 160).
    const DragCase cases[] = {
        {"corner point", 264, 160, true, false},
        {"inside and in corner square: resize wins", 250, 150, true, false},
        {"corner square edge 19", 245, 179, true, false},
        {"20 away is outside the square", 244, 160, false, false},
        {"strictly inside", 100, 100, false, true},
        {"on the left edge", 64, 100, false, false},
        {"on the top edge", 100, 60, false, false},
        {"just inside top-left", 65, 61, false, true},
        {"outside the frame", 30, 30, false, false},
        {"right of the preview", 494, 100, false, false},
        {"below the preview", 100, 377, false, false},
        {"pointer outside the client area", -1, -1, false, false},
    };
    for (const DragCase& c : cases) {
        AppState st;
        st.selection = Sel(100, 200, 50, 40);
        frame::DragStart(st, c.mx, c.my, 480, 357);
        EXPECT_EQ(st.resizing == 1, c.resizing) << c.what;
        EXPECT_EQ(st.moving == 1, c.moving) << c.what;
        if (st.moving) {
            EXPECT_EQ(st.grabX, c.mx - 50) << c.what;
            EXPECT_EQ(st.grabY, c.my - 40) << c.what;
        }
    }
}

TEST(DragStart, NothingWhileADragIsUnderWay) {
    AppState st;
    st.selection = Sel(100, 200, 50, 40);
    st.moving = 1;
    st.grabX = 7;
    frame::DragStart(st, 264, 160, 480, 357);
    EXPECT_EQ(st.resizing, 0);
    EXPECT_EQ(st.grabX, 7);
}

TEST(ResizeTo, RightEdgeFollowsThePointer) {
    const float r = 2.0f / 3.0f;
    struct Case {
        const char* what;
        int mx;
        int width, height;
    } cases[] = {
        {"wider", 364, 300, 200},
        {"past the preview's right edge", 700, 430, 287},
        {"past its own left edge", 30, 25, 17},
        {"pointer outside the client area", -1, 25, 17},
    };
    for (const Case& c : cases) {
        Selection s = Sel(100, 200, 50, 40);
        frame::ResizeTo(s, r, c.mx, 480, 357);
        EXPECT_EQ(s.width, c.width) << c.what;
        EXPECT_EQ(s.height, c.height) << c.what;
        EXPECT_EQ(s.left, 50) << c.what;
        EXPECT_EQ(s.top, 40) << c.what;
    }
    // Bottom limit: with top 200 only 157 rows remain; 157 / r lies just below 235.5 because the
    // float ratio lies just above 2/3.
    Selection s = Sel(100, 200, 0, 200);
    frame::ResizeTo(s, r, 400, 480, 357);
    EXPECT_EQ(s.width, 235);
    EXPECT_EQ(s.height, 157);
}

TEST(MoveTo, FollowsThePointerInsideThePreview) {
    const float r = 2.0f / 3.0f;
    struct Case {
        const char* what;
        int mx, my;
        int left, top, width;
    } cases[] = {
        {"plain move", 120, 90, 100, 70, 200},
        // At the bottom edge the clamp sees 200 x r + 224 = 357.33 > 357 and narrows the frame.
        {"past the right and bottom edges", 900, 900, 280, 224, 199},
        {"pointer outside the client area jumps to the top-left", -1, -1, 0, 0, 200},
    };
    for (const Case& c : cases) {
        Selection s = Sel(133, 200, 50, 40);
        frame::MoveTo(s, r, c.mx, c.my, 20, 20, 480, 357);
        EXPECT_EQ(s.left, c.left) << c.what;
        EXPECT_EQ(s.top, c.top) << c.what;
        EXPECT_EQ(s.width, c.width) << c.what;
        EXPECT_EQ(s.height, 133) << c.what;
    }
    // A frame wider than a narrow preview stays at the left edge.
    Selection s = Sel(17, 25, 0, 10);
    frame::MoveTo(s, r, 300, 900, 5, 5, 5, 476);
    EXPECT_EQ(s.left, 0);
    EXPECT_EQ(s.top, 459);
}

TEST(Texts, StatusLineAndLabels) {
    EXPECT_EQ(frame::StatusText(800, 600, Sel(320, 480, 0, 0), 480),
              "Bild: 800x600 / Auswahl: 800x533");
    EXPECT_EQ(frame::StatusText(600, 800, Sel(476, 317, 0, 0), 360),
              "Bild: 600x800 / Auswahl: 528x793");
    const frame::LabelTexts d = frame::ValueLabels(155, 255, 0, 100, 100);
    EXPECT_EQ(d.gamma, "Gamma: 100");
    EXPECT_EQ(d.whitePoint, "Whitepoint: 255");
    EXPECT_EQ(d.blackPoint, "Blackpoint: 0");
    EXPECT_EQ(d.saturation, "Sättigung: 100");
    EXPECT_EQ(d.contrast, "Kontrast: 100");
    EXPECT_EQ(frame::ValueLabels(20, 100, 245, 0, 50).gamma, "Gamma: 235");
}

}  // namespace
