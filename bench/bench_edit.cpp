// The picture edits at 24 megapixels (6000 x 4000, the screen bitmap the window holds), each
// against what it is held to, in interleaved rounds with medians so that a change of the
// machine's load falls on all alike:
// - a quarter turn against a memcpy of the same bytes (both into memory already touched, so
//   that page faults flatter neither);
// - the straightening by 2.5 degrees on both cores and on one core (its time alone: the target
//   is absolute);
// - the undo of an export's commit in the document (the picture worked out again from the kept
//   copy), and the same undo as Ctrl+Z does it in the (offscreen) window, preview made anew and
//   painted, again their time alone;
// - the history's memory after a session of turns, straightenings and commits, as a share of the
//   picture's own bytes.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/document.h"
#include "app/edit.h"
#include "app/export.h"
#include "app/settings.h"
#include "bench/bench_support.h"
#include "picture/orient.h"
#include "picture/straighten.h"
#include "platform/helper_thread.h"
#include "platform/raster.h"
#include "toolkit/requester.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
constexpr int kRounds = 9;

std::unique_ptr<raster::Bitmap> Photo() {
    auto bm = raster::Create(kWidth, kHeight, 32, true, true);
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = bm->Row(y);
        for (int x = 0; x < kWidth; ++x, row += 4) {
            noise = noise * 1664525u + 1013904223u;
            row[0] = static_cast<uint8_t>(x * 255 / kWidth + (noise >> 28));
            row[1] = static_cast<uint8_t>(y * 255 / kHeight + (noise >> 24 & 15));
            row[2] = static_cast<uint8_t>((x + y) * 127 / (kWidth + kHeight) + 64);
        }
    }
    return bm;
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs `work` with the helper thread held busy: every shared pass runs on one core.
void OnOneCore(const std::function<void()>& work) {
    std::atomic<bool> release{false};
    helper::Job hold;
    (void)hold.Start([&] {
        while (!release.load()) {
        }
    });
    work();
    release = true;
}

// Answers the save dialog with one file name.
struct SaveTo : RequesterScript {
    std::string path;
    int Message(const std::string&, const std::string&, int) override { return IDYES; }
    std::string File(bool, const std::string&, const std::string&, const std::string&,
                     const std::string&, int) override {
        return path;
    }
};

// The window's Ctrl+Z and Ctrl+Shift+Z on the export's commit of a 24-megapixel picture: medians.
double WindowUndo() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!bench::OpenMainWindow(kWidth, kHeight, [](int x, int y, uint8_t* px) {
            px[0] = static_cast<uint8_t>(x), px[1] = static_cast<uint8_t>(y), px[2] = 128;
        }))
        return 0;
    SaveTo script;
    script.path = "/tmp/kadrovo-bench-edit.jpg";
    RequesterSetScript(&script);
    WindowSettings settings = ReadWindowSettings();
    settings.tone.gamma = 120;
    WriteWindowSettings(settings);
    SelectionExport(false, settings);
    std::remove(script.path.c_str());
    std::vector<double> undo;
    for (int round = 0; round < kRounds; ++round) {
        undo.push_back(Seconds([] { RunEditCommand(kCommandUndo); }));
        RunEditCommand(kCommandRedo);
    }
    RequesterSetScript(nullptr);
    bench::CloseMainWindow();
    return Median(undo);
}

}  // namespace

int main() {
    auto photo = Photo();
    auto turned = raster::Create(kHeight, kWidth, 32, true, true);
    auto copy = raster::Create(kWidth, kHeight, 32, true, true);
    int sw = 0, sh = 0;
    StraightenedSize(kWidth, kHeight, 2.5, sw, sh);
    auto straight = raster::Create(sw, sh, 32, true, true);
    // Touch every page of the outputs first.
    std::memset(turned->bits.get(), 1, turned->ByteSize());
    std::memset(copy->bits.get(), 1, copy->ByteSize());
    std::memset(straight->bits.get(), 1, straight->ByteSize());

    // The document after an export: one commit, its undo and its redo in turn.
    Document doc;
    auto picture = raster::Clone(*photo);
    PictureEdit commit;
    commit.kind = PictureEdit::Kind::Commit;
    commit.tone = {120, 230, 20, 130, 110};
    std::unique_ptr<raster::Bitmap> replaced;
    if (!doc.Apply(*picture, commit, replaced)) return 1;
    doc.RecordEdit(commit, {}, {});

    std::vector<double> memcpyT, turnT, turnOneT, straightT, straightOneT, undoT;
    for (int round = 0; round < kRounds; ++round) {
        memcpyT.push_back(
            Seconds([&] { std::memcpy(copy->bits.get(), photo->bits.get(), photo->ByteSize()); }));
        turnT.push_back(Seconds([&] { OrientInto(*photo, kTurnRight, *turned); }));
        OnOneCore(
            [&] { turnOneT.push_back(Seconds([&] { OrientInto(*photo, kTurnRight, *turned); })); });
        straightT.push_back(Seconds([&] { StraightenInto(*photo, {}, 2.5, *straight); }));
        OnOneCore([&] {
            straightOneT.push_back(Seconds([&] { StraightenInto(*photo, {}, 2.5, *straight); }));
        });
        undoT.push_back(Seconds([&] { (void)doc.Undo(*picture, replaced); }));
        if (replaced || !doc.Redo(*picture, replaced)) return 1;
    }

    const double mc = Median(memcpyT), turn = Median(turnT), turnOne = Median(turnOneT);
    std::printf("24 megapixels (%d x %d, 32 bits), medians of %d interleaved rounds:\n", kWidth,
                kHeight, kRounds);
    std::printf("  memcpy of the picture      %8.1f ms\n", mc * 1e3);
    std::printf("  quarter turn, both cores   %8.1f ms   %.2f x memcpy (target at most 1.2)\n",
                turn * 1e3, turn / mc);
    std::printf("  quarter turn, one core     %8.1f ms   %.2f x memcpy\n", turnOne * 1e3,
                turnOne / mc);
    std::printf("  straighten 2.5, both cores %8.1f ms   (target at most 250 ms)\n",
                Median(straightT) * 1e3);
    std::printf("  straighten 2.5, one core   %8.1f ms\n", Median(straightOneT) * 1e3);
    std::printf("  undo of an export's commit %8.1f ms   (target at most 300 ms)\n",
                Median(undoT) * 1e3);
    std::printf("  the same, Ctrl+Z in window %8.1f ms   (preview made anew and painted)\n",
                WindowUndo() * 1e3);

    // A session: turns, straightenings and commits; the history's bytes against the picture's.
    Document session;
    auto current = raster::Clone(*photo);
    const PictureEdit edits[] = {
        [] {
            PictureEdit e;
            e.kind = PictureEdit::Kind::Orient;
            e.orientation = kTurnRight;
            return e;
        }(),
        commit,
        [] {
            PictureEdit e;
            e.kind = PictureEdit::Kind::Straighten;
            e.angle = -1.5;
            return e;
        }(),
        commit,
        [] {
            PictureEdit e;
            e.kind = PictureEdit::Kind::Orient;
            e.orientation = kMirror;
            return e;
        }(),
    };
    for (int i = 0; i < 4; ++i)
        for (const PictureEdit& e : edits) {
            if (!session.Apply(*current, e, replaced)) return 1;
            if (replaced) current = std::move(replaced);
            session.RecordEdit(e, {}, {});
        }
    std::printf(
        "  history after %zu edits     %8.1f MB   %.3f x the picture's %.1f MB "
        "(target at most 1)\n",
        session.StepCount(), session.HistoryBytes() / 1e6,
        static_cast<double>(session.HistoryBytes()) / photo->ByteSize(), photo->ByteSize() / 1e6);
    return 0;
}
