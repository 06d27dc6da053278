// The frame and preview arithmetic: rounding, preview sizes, clamp and drag steps, on the
// figures a user sees. Sizes and frames are compared as "width x height at
// left,top" text, one case a line.
#include "app/frame.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <tuple>

#include "picture/export.h"

namespace {

const float kAcross = 2.0f / 3.0f;  // "10 x 15" across

std::string Str(const Selection& s) {
    return std::to_string(s.width) + "x" + std::to_string(s.height) + " at " +
           std::to_string(s.left) + "," + std::to_string(s.top);
}

TEST(Nearest, HalvesGoToTheEvenNeighbourAndSaturate) {
    const std::pair<double, int> cases[] = {
        {0.5, 0},      {2.5, 2},    {475.5, 476},       {-1.5, -2},
        {317.33, 317}, {2.4999, 2}, {1e12, 2147483647}, {-1e12, -2147483647 - 1}};
    for (auto [in, out] : cases)
        EXPECT_EQ(frame::Nearest(in), out) << in;
}

TEST(PreviewSize, HalvesRoundToEvenAndSidesStayAtLeastOne) {
    auto preview = [](int w, int h) {
        const auto [pw, ph] = frame::PreviewSize(w, h);
        return std::to_string(pw) + "x" + std::to_string(ph);
    };
    EXPECT_EQ(preview(480, 300), "480x298");  // exactly 480 wide is still stretched: 297.5
    EXPECT_EQ(preview(100000, 1), "480x1");
    EXPECT_EQ(preview(1, 30000), "1x476");
    // No selection (-1) or a stray index counts as the first format.
    EXPECT_EQ(frame::RatioFor(-1, true), frame::RatioFor(0, true));
    EXPECT_EQ(frame::RatioFor(10, false), frame::RatioFor(0, false));
}

TEST(Clamp, NarrowsNeverMoves) {
    auto clamp = [](Selection s, int pw = 480, int ph = 357) {
        frame::Clamp(s, kAcross, pw, ph);
        return Str(s);
    };
    EXPECT_EQ(clamp(Selection{-5, -7, 100, 0}), "100x67 at 0,0");       // negative corner to 0
    EXPECT_EQ(clamp(Selection{400, 0, 300, 0}), "80x53 at 400,0");      // right edge
    EXPECT_EQ(clamp(Selection{0, 100, 480, 0}), "385x257 at 0,100");    // bottom: 257 / r < 385.5
    EXPECT_EQ(clamp(Selection{0, 0, 10, 0}), "25x17 at 0,0");           // minimum width
    EXPECT_EQ(clamp(Selection{0, 0, 300, 0}, 5, 476), "25x17 at 0,0");  // narrow preview: 25 wins
    EXPECT_EQ(clamp(Selection{470, 350, 300, 0}), "25x17 at 470,350");  // no room: past the edges
}

TEST(DragStart, CornerSquareThenStrictInside) {
    // Frame 200 x 100 at (50, 40): drawn from client (64, 60) to corner point (264, 160).
    auto start = [](int mx, int my, bool moving = false) {
        FrameState st{.selection = Selection{50, 40, 200, 100}, .moving = moving};
        frame::DragStart(st, mx, my, 480, 357);
        if (st.resizing) return std::string("resize");
        return st.moving ? "move " + std::to_string(st.grabX) + "," + std::to_string(st.grabY)
                         : std::string("none");
    };
    EXPECT_EQ(start(264, 160), "resize");  // corner point
    EXPECT_EQ(start(250, 150), "resize");  // inside and in the corner square: resize wins
    EXPECT_EQ(start(245, 179), "resize");  // corner square edge, 19 away
    EXPECT_EQ(start(244, 160), "none");    // 20 away is outside the square
    EXPECT_EQ(start(100, 100), "move 50,60");
    EXPECT_EQ(start(64, 100), "none");  // on the left edge
    EXPECT_EQ(start(65, 61), "move 15,21");
    EXPECT_EQ(start(-1, -1), "none");              // pointer outside the client area
    EXPECT_EQ(start(264, 160, true), "move 0,0");  // nothing starts while a drag is under way
}

// A resize that follows the pointer, past the preview's edge and out of the window, and a plain
// move are the real mouse's (load_drag).
TEST(DragSteps, ResizeFollowsTheRightEdgeMoveTheTopLeftCorner) {
    auto resize = [](Selection s, int mx) {
        frame::ResizeTo(s, kAcross, mx, 480, 357);
        return Str(s);
    };
    const Selection a = Selection{50, 40, 200, 100};
    EXPECT_EQ(resize(a, 30), "25x17 at 50,40");  // past its own left edge: minimum
    // Only 157 rows below top 200; 157 / r lies just below 235.5 (the float ratio is just above
    // 2/3).
    EXPECT_EQ(resize(Selection{0, 200, 200, 100}, 400), "235x157 at 0,200");

    auto move = [](Selection s, int mx, int my, int grab = 20, int pw = 480, int ph = 357) {
        frame::MoveTo(s, kAcross, mx, my, grab, grab, pw, ph);
        return Str(s);
    };
    const Selection b = Selection{50, 40, 200, 133};
    // At the bottom edge the clamp sees 200 x r + 224 = 357.33 > 357 and narrows the frame.
    EXPECT_EQ(move(b, 900, 900), "199x133 at 280,224");
    EXPECT_EQ(move(b, -1, -1), "200x133 at 0,0");  // pointer outside: jumps to the top-left
    // A frame wider than a narrow preview stays at the left edge.
    EXPECT_EQ(move(Selection{0, 10, 25, 17}, 300, 900, 5, 5, 476), "25x17 at 0,459");
}

// The frame a new picture gets cuts exactly the largest frame of its format, whatever the
// rounding of the preview's sides, for every format, both ways round, on shapes from a sliver to
// a panorama.
TEST(FrameCut, NewPictureFrameIsTheLargest) {
    const std::pair<int, int> sizes[] = {{1600, 1000}, {1000, 1600}, {1280, 720},  {800, 600},
                                         {600, 800},   {500, 500},   {4000, 3000}, {3000, 4000},
                                         {1801, 1199}, {1215, 1800}, {300, 200},   {64, 48},
                                         {20, 3000},   {3000, 20},   {481, 477},   {7, 5}};
    for (auto [w, h] : sizes) {
        const auto [pw, ph] = frame::PreviewSize(w, h);
        for (int format = 0; format < frame::kFormatCount; ++format) {
            for (bool portrait : {false, true}) {
                const float ratio = frame::RatioFor(format, portrait);
                Selection sel = frame::DefaultFrame(w > h, ratio);
                frame::Clamp(sel, ratio, pw, ph);
                EXPECT_EQ(PreviewFrameCut({sel, ratio, pw, ph, w, h}), LargestFrame(w, h, ratio))
                    << w << "x" << h << " format " << format << " portrait " << portrait;
            }
        }
    }
}

// A frame at the preview's edges is cut at the picture's edges; others are scaled. 1600 x 1000
// (preview 480 x 298, 10/3 picture pixels each) with "10 x 15" across, whose largest frame is
// 447 x 298 on the preview and 1500 x 1000 on the picture.
TEST(FrameCut, EdgesOfThePreviewAreEdgesOfThePicture) {
    auto cut = [](Selection s) {
        frame::Clamp(s, kAcross, 480, 298);
        return Str(PreviewFrameCut({s, kAcross, 480, 298, 1600, 1000}));
    };
    const std::pair<Selection, const char*> cases[] = {
        {{0, 0, 480, 0}, "1500x1000 at 0,0"},         // the largest, not 1490 x 993
        {{33, 0, 447, 0}, "1500x1000 at 100,0"},      // dragged right: flush with the right edge
        {{10, 0, 447, 0}, "1500x1000 at 33,0"},       // in between: scaled corner
        {{330, 198, 150, 0}, "500x333 at 1100,667"},  // dragged into the lower-right corner
        {{0, 198, 150, 0}, "500x333 at 0,667"},       // bottom left
        {{100, 50, 150, 0}, "500x333 at 333,167"},    // inside: scaled
        {{455, 0, 25, 0}, "83x57 at 1517,0"},         // minimum width at the right edge
    };
    for (const auto& [frame, want] : cases)
        EXPECT_EQ(cut(frame), want) << Str(frame);
    // No picture or no preview: no cut.
    EXPECT_EQ(PreviewFrameCut({{0, 0, 100, 67}, kAcross, 0, 0, 1600, 1000}).width, 0);
}

}  // namespace

namespace {

TEST(FrameEntry, WholeNumbersOnly) {
    const std::pair<const char*, std::optional<int>> cases[] = {{"42", 42},
                                                                {" -7 ", -7},
                                                                {"+0", 0},
                                                                {"", std::nullopt},
                                                                {"-", std::nullopt},
                                                                {"3.5", std::nullopt},
                                                                {"12a", std::nullopt},
                                                                {"1000001", std::nullopt},
                                                                {"99999999999", std::nullopt}};
    for (auto [text, number] : cases)
        EXPECT_EQ(frame::WholeNumber(text), number) << "'" << text << "'";
}

// An 800 x 600 picture, the narrowest frame 42 wide: what is taken, and why not as typed.
TEST(FrameEntry, TakenClampedOrRefused) {
    // What is typed, the format's ratio, the frame taken ("" when refused) and why.
    const std::tuple<std::array<std::string, 4>, float, const char*, const char*> cases[] = {
        {{"10", "20", "300", "200"}, kAcross, "300x200 at 10,20", ""},
        {{" 10", "+20 ", "300", "200"}, kAcross, "300x200 at 10,20", ""},
        {{"abc", "20", "300", "200"}, kAcross, "", "Links: keine ganze Zahl"},
        {{"0", "", "3.5", "2"}, kAcross, "", "Oben: keine ganze Zahl\nBreite: keine ganze Zahl"},
        {{"10", "20", "10", "7"},
         kAcross,
         "42x28 at 10,20",
         "Breite: mindestens 42\nHöhe: folgt der Breite: 28"},
        {{"0", "0", "900", "600"},
         kAcross,
         "800x533 at 0,0",
         "Breite: höchstens 800 in diesem Format\nHöhe: folgt der Breite: 533"},
        {{"0", "0", "500", "750"},
         1.5f,
         "400x600 at 0,0",
         "Breite: höchstens 400 in diesem Format\nHöhe: folgt der Breite: 600"},
        {{"-5", "100", "300", "200"}, kAcross, "300x200 at 0,100", "Links: nicht unter 0"},
        {{"600", "500", "300", "200"},
         kAcross,
         "300x200 at 500,400",
         "Links: höchstens 500, sonst reicht der Rahmen über das Bild\n"
         "Oben: höchstens 400, sonst reicht der Rahmen über das Bild"},
    };
    for (const auto& [typed, ratio, frame, why] : cases) {
        const frame::FrameEntry e = frame::CheckFrameEntry(typed, 800, 600, ratio, 42);
        EXPECT_EQ(e.refused ? "" : Str(e.frame), frame) << typed[0] << " " << typed[2];
        EXPECT_EQ(e.why, why) << typed[0] << " " << typed[2];
    }
    EXPECT_EQ(Str(frame::CentredFrame(800, kAcross, 800, 600)), "800x533 at 0,33");
    EXPECT_EQ(Str(frame::CentredFrame(300, kAcross, 800, 600)), "300x200 at 250,200");
}

}  // namespace
