// The document's history: every picture step undone and redone bit for bit, the settings given
// back, runs of settings folded into one step, one straightening never built on another, and
// what the history keeps.
#include "app/document.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "picture/straighten.h"
#include "tests/picture/noise.h"

namespace {

// A picture's size and pixels.
using Shot = std::tuple<int, int, std::vector<uint8_t>>;
Shot Take(const raster::Bitmap& bm) {
    return {bm.width, bm.height, Pixels(bm)};
}

PictureEdit Turn(PixelOrientation o) {
    return {.kind = PictureEdit::Kind::Orient, .orientation = o};
}
PictureEdit Straightened(double angle) {
    return {.kind = PictureEdit::Kind::Straighten, .angle = angle};
}
PictureEdit Commit(ToneParams tone, uint32_t cast) {
    return {.kind = PictureEdit::Kind::Commit, .tone = tone, .cast = cast};
}

ViewState Bars(int gamma) {
    ViewState v;
    v.controls.tone.gamma = gamma;
    return v;
}

// Applies `edit` as the window does, the picture replaced when it changes shape, and records it.
void Apply(Document& doc, std::unique_ptr<raster::Bitmap>& picture, const PictureEdit& edit,
           const ViewState& before = {}, const ViewState& after = {}) {
    std::unique_ptr<raster::Bitmap> replaced;
    ASSERT_TRUE(doc.Apply(*picture, edit, replaced));
    if (replaced) picture = std::move(replaced);
    doc.RecordEdit(edit, before, after);
}

// One step back (or forward with `redo`) in the history, the picture replaced where it must be.
const HistoryStep* Move(Document& doc, std::unique_ptr<raster::Bitmap>& picture, bool redo) {
    std::unique_ptr<raster::Bitmap> replaced;
    const HistoryStep* step = redo ? doc.Redo(*picture, replaced) : doc.Undo(*picture, replaced);
    if (replaced) picture = std::move(replaced);
    return step;
}

// A session as the window makes it: each edit applied and recorded, the picture replaced when it
// changes shape; then everything undone and redone, each picture compared with the one it had.
TEST(Document, EveryPictureStepUndoesAndRedoesBitForBit) {
    const std::vector<std::vector<PictureEdit>> sessions = {
        {Turn(kTurnRight), Turn(kTurnRight), Turn(kTurnRight), Turn(kTurnRight)},
        {Commit({120, 230, 20, 130, 110}, 0)},
        {Turn(kTurnRight), Commit({140, 255, 0, 100, 100}, 0x000306), Turn(kMirror),
         Straightened(3.0), Commit({155, 240, 10, 150, 90}, 0), Turn(kTurnLeft), Straightened(-1.2),
         Commit({100, 255, 30, 80, 120}, 0x050000), Turn(kMirror)},
        {Straightened(15.0), Straightened(-15.0), Straightened(0.0), Turn(kTurnLeft)},
    };
    for (int bpp : {24, 32}) {
        for (const auto& session : sessions) {
            SCOPED_TRACE(testing::Message() << bpp << " bpp, " << session.size() << " edits");
            Document doc;
            std::unique_ptr<raster::Bitmap> picture = Noise(61, 43, bpp);
            std::vector<Shot> shots = {Take(*picture)};
            int gamma = 155;
            for (const PictureEdit& edit : session) {
                Apply(doc, picture, edit, Bars(gamma), Bars(gamma + 1));
                ++gamma;
                shots.push_back(Take(*picture));
            }
            for (size_t i = shots.size() - 1; i > 0; --i) {
                const HistoryStep* step = Move(doc, picture, false);
                ASSERT_NE(step, nullptr);
                EXPECT_EQ(step->before.controls.tone.gamma, 155 + static_cast<int>(i) - 1);
                ASSERT_EQ(Take(*picture), shots[i - 1]) << "undo to " << i - 1;
            }
            EXPECT_EQ(Move(doc, picture, false), nullptr);
            for (size_t i = 1; i < shots.size(); ++i) {
                ASSERT_NE(Move(doc, picture, true), nullptr);
                ASSERT_EQ(Take(*picture), shots[i]) << "redo to " << i;
            }
            EXPECT_FALSE(doc.CanRedo());
        }
    }
}

// A second straightening replaces the first: the picture is that of one straightening of the
// picture as loaded, in the orientation the user sees, by the angle chosen last.
TEST(Document, StraighteningTwiceResamplesOnce) {
    auto loaded = Noise(80, 50, 32);
    for (const auto& [first, between, second] : {std::tuple{4.0, PixelOrientation{}, -2.5},
                                                 {4.0, kTurnRight, 6.0},
                                                 {-3.0, kMirror, 1.5}}) {
        Document doc;
        auto picture = raster::Clone(*loaded);
        Apply(doc, picture, Straightened(first));
        if (between != PixelOrientation{}) Apply(doc, picture, Turn(between));
        EXPECT_DOUBLE_EQ(doc.State().ShownAngle(), between.mirrored ? -first : first);
        std::unique_ptr<raster::Bitmap> replaced;
        ASSERT_TRUE(doc.Apply(*picture, Straightened(second), replaced));
        ASSERT_TRUE(replaced);
        EXPECT_EQ(Take(*replaced), Take(*Straighten(*loaded, between, second)));
    }
}

// Settings alone: a run (one drag, one key held) is one step; a run that ends where it began is
// none; a new step drops what was undone.
TEST(Document, SettingsRunsFoldIntoOneStep) {
    auto picture = Noise(4, 4, 32);
    Document doc;
    doc.RecordSettings(Bars(155), Bars(150), 7);
    doc.RecordSettings(Bars(150), Bars(140), 7);
    EXPECT_EQ(doc.StepCount(), 1u);
    doc.EndRun();
    doc.RecordSettings(Bars(140), Bars(130), 7);
    doc.RecordSettings(Bars(130), Bars(120), 8);
    EXPECT_EQ(doc.StepCount(), 3u);
    doc.RecordSettings(Bars(120), Bars(130), 8);  // back where the run began
    EXPECT_EQ(doc.StepCount(), 2u);
    doc.RecordSettings(Bars(130), Bars(130), 0);  // no change
    EXPECT_EQ(doc.StepCount(), 2u);
    const HistoryStep* step = Move(doc, picture, false);
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->before, Bars(140));
    EXPECT_EQ(step->after, Bars(130));
    EXPECT_EQ(Move(doc, picture, false)->before, Bars(155));
    doc.RecordSettings(Bars(155), Bars(100), 9);
    EXPECT_FALSE(doc.CanRedo());
    EXPECT_EQ(doc.StepCount(), 1u);
    doc.Clear();
    EXPECT_FALSE(doc.CanUndo());
}

// Turns and mirrors keep no picture; the first edit that cannot be undone exactly keeps one copy,
// and no later edit keeps another.
TEST(Document, HistoryKeepsAtMostOneCopyOfThePicture) {
    Document doc;
    auto picture = Noise(300, 200, 32);
    const size_t bytes = picture->ByteSize();
    for (int i = 0; i < 10; ++i)
        Apply(doc, picture, Turn(i % 2 ? kMirror : kTurnRight));
    EXPECT_LT(doc.HistoryBytes(), 4096u);
    for (int i = 0; i < 50; ++i)
        Apply(doc, picture,
              i % 3 == 0   ? Straightened(i % 15)
              : i % 3 == 1 ? Commit({150, 250, 2, 110, 100}, 0)
                           : Turn(kTurnLeft));
    EXPECT_LE(doc.HistoryBytes(), bytes + 60 * sizeof(HistoryStep) * 2);
    EXPECT_GE(doc.HistoryBytes(), bytes);
}

}  // namespace
