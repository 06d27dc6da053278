// The picture edits at 24 megapixels (6000 x 4000), each against what it is held to, in
// interleaved rounds with medians so that a change of the machine's load falls on all alike. The
// picture is held at 24 bits, as a JPEG opens, and at 32 bits, as a PNG with transparency does:
// - a quarter turn against a memcpy of the same bytes (both into memory already touched, so
//   that page faults flatter neither), on both cores and on one;
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

// A loaded picture: 24 bits top-down as a decoder gives it, or 32 bits.
std::unique_ptr<raster::Bitmap> Photo(int bpp = 24) {
    auto bm = raster::Create(kWidth, kHeight, bpp, true, false);
    const int n = bpp / 8;
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = bm->Row(y);
        for (int x = 0; x < kWidth; ++x, row += n) {
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

// A new bitmap of `bm`'s shape with every page touched.
std::unique_ptr<raster::Bitmap> Touched(const raster::Bitmap& bm, int width, int height) {
    auto out = raster::Create(width, height, bm.bpp, bm.topDown, bm.screen);
    std::memset(out->bits.get(), 1, out->ByteSize());
    return out;
}

// Per depth: the pictures and the seconds of each round.
struct Depth {
    std::unique_ptr<raster::Bitmap> photo, copy, turned, straight;
    std::vector<double> memcpyT, turnT, turnOneT, straightT, straightOneT;
};

}  // namespace

int main() {
    const auto [sw, sh] = StraightenedSize(kWidth, kHeight, 2.5);
    Depth depths[2];
    for (int i = 0; i < 2; ++i) {
        Depth& d = depths[i];
        d.photo = Photo(i == 0 ? 24 : 32);
        d.copy = Touched(*d.photo, kWidth, kHeight);
        d.turned = Touched(*d.photo, kHeight, kWidth);
        d.straight = Touched(*d.photo, sw, sh);
    }
    const auto& photo = depths[0].photo;

    // The document after an export: one commit, its undo and its redo in turn.
    Document doc;
    auto picture = raster::Clone(*photo);
    PictureEdit commit;
    commit.kind = PictureEdit::Kind::Commit;
    commit.tone = {120, 230, 20, 130, 110};
    std::unique_ptr<raster::Bitmap> replaced;
    if (!doc.Apply(*picture, commit, replaced)) return 1;
    doc.RecordEdit(commit, {}, {});

    std::vector<double> undoT;
    for (int round = 0; round < kRounds; ++round) {
        for (Depth& d : depths) {
            d.memcpyT.push_back(Seconds([&] {
                std::memcpy(d.copy->bits.get(), d.photo->bits.get(), d.photo->ByteSize());
            }));
            d.turnT.push_back(Seconds([&] { OrientInto(*d.photo, kTurnRight, *d.turned); }));
            OnOneCore([&] {
                d.turnOneT.push_back(Seconds([&] { OrientInto(*d.photo, kTurnRight, *d.turned); }));
            });
            d.straightT.push_back(Seconds([&] { StraightenInto(*d.photo, {}, 2.5, *d.straight); }));
            OnOneCore([&] {
                d.straightOneT.push_back(
                    Seconds([&] { StraightenInto(*d.photo, {}, 2.5, *d.straight); }));
            });
        }
        undoT.push_back(Seconds([&] { (void)doc.Undo(*picture, replaced); }));
        if (replaced || !doc.Redo(*picture, replaced)) return 1;
    }

    std::printf("24 megapixels (%d x %d), medians of %d interleaved rounds:\n", kWidth, kHeight,
                kRounds);
    for (const Depth& d : depths) {
        const int bits = d.photo->bpp;
        const double mc = Median(d.memcpyT), turn = Median(d.turnT), one = Median(d.turnOneT);
        std::printf("  %d bits: memcpy of the picture %8.1f ms\n", bits, mc * 1e3);
        std::printf(
            "  %d bits: turn, both cores      %8.1f ms   %.2f x memcpy (target at most 1.2)\n",
            bits, turn * 1e3, turn / mc);
        std::printf("  %d bits: turn, one core        %8.1f ms   %.2f x memcpy\n", bits, one * 1e3,
                    one / mc);
        std::printf("  %d bits: straighten 2.5, both  %8.1f ms   (target at most 250 ms)\n", bits,
                    Median(d.straightT) * 1e3);
        std::printf("  %d bits: straighten 2.5, one   %8.1f ms\n", bits,
                    Median(d.straightOneT) * 1e3);
    }
    std::printf("  undo of an export's commit     %8.1f ms   (target at most 300 ms)\n",
                Median(undoT) * 1e3);
    std::printf("  the same, Ctrl+Z in window     %8.1f ms   (preview made anew and painted)\n",
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
        "  history after %zu edits       %8.1f MB   %.3f x the picture's %.1f MB "
        "(target at most 1)\n",
        session.StepCount(), session.HistoryBytes() / 1e6,
        static_cast<double>(session.HistoryBytes()) / photo->ByteSize(), photo->ByteSize() / 1e6);
    return 0;
}
