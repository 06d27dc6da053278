// The output's choices on the window's export of a 24-megapixel photo (6000 x 4000, tone and a
// colour cast off their defaults, the whole picture as the frame), each against the same export
// without them, in interleaved rounds with medians so that a change of the machine's load falls
// on all alike. An export is what "Bild speichern..." does once the name is chosen: the pixels
// made (ExportCut), the file written and the picture's commit (its tone pass), the file beside
// the commit when there is no budget, before it when there is one, as the window does it.
// - a size budget of 5 MB at "Originalgrösse" (the file at quality 100 is about three times
//   that) against the same export without a budget: target at most 2;
// - the sharpening's share of an export at "Foto bis 15cm x 20cm" (2700 x 1800), "Bildschirm"
//   and "Druck": the export's time with it less without it, over the time with it; and the
//   sharpening of the reduced cut timed alone, over the same: target at most 10 %.
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/export.h"
#include "imagelib/jpeg_encoder.h"
#include "picture/export.h"
#include "picture/sharpen.h"
#include "platform/helper_thread.h"
#include "platform/raster.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
constexpr int kRounds = 7;
constexpr size_t kBudget = 5000000;
constexpr int kPresetOriginal = 0, kPreset15x20 = 5;
constexpr ToneParams kTone{120, 230, 20, 130, 120};
constexpr uint32_t kCast = 5 | 10 << 8;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A photo-like picture: gradients, fine noise and hard edges, as a loaded file is held.
std::unique_ptr<raster::Bitmap> Photo() {
    auto bm = raster::Create(kWidth, kHeight, 24, false, false);
    if (!bm) return nullptr;
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = bm->Row(y);
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const bool edge = ((x / 97) + (y / 61)) % 2 == 0;
            row[3 * x] = static_cast<uint8_t>((x * 255 / kWidth + (noise >> 28)) & 255);
            row[3 * x + 1] = static_cast<uint8_t>(
                (y * 255 / kHeight + (noise >> 24 & 15) + (edge ? 40 : 0)) & 255);
            row[3 * x + 2] = static_cast<uint8_t>(
                ((x + y) * 127 / (kWidth + kHeight) + (edge ? 90 : 20) + (noise >> 29)) & 255);
        }
    }
    return bm;
}

struct Export {
    const raster::Bitmap& original;  // what ExportCut reads, never changed
    raster::Bitmap& committed;       // what the commit's pass adjusts in place, round after round
    std::string path;

    ExportSettings Settings(int preset, Sharpening sharpen) const {
        ExportSettings s;
        s.tone = kTone;
        s.cast = kCast;
        s.preset = preset;
        s.sharpen = sharpen;
        return s;
    }
    void Commit() const {
        ExportSettings s = Settings(kPresetOriginal, Sharpening::Off);
        (void)ExportPicture(committed, PixelRect{}, s);
    }
    // Without a budget: the file is written on the helper thread beside the commit.
    bool Plain(int preset, Sharpening sharpen) const {
        const PixelRect frame{0, 0, kWidth, kHeight};
        const auto pixels = ExportCut(original, frame, Settings(preset, sharpen));
        if (!pixels) return false;
        bool written = false;
        helper::Job file;
        auto write = [&] { written = ExportWriteJpeg(*pixels, path.c_str(), 0, nullptr); };
        const bool aside = file.Start(write);
        Commit();
        file.Wait();
        if (!aside) write();
        return written;
    }
    // Within the budget: smaller pictures made anew from the picture; then the commit.
    BudgetWrite Within(size_t budget) const {
        const PixelRect frame{0, 0, kWidth, kHeight};
        const ExportSettings s = Settings(kPresetOriginal, Sharpening::Off);
        const auto pixels = ExportCut(original, frame, s);
        if (!pixels) return {};
        const BudgetWrite w = ExportWriteJpegWithin(
            *pixels, path.c_str(), 0, nullptr, budget,
            [&](int width, int height) { return ExportCut(original, frame, s, width, height); });
        Commit();
        return w;
    }
};

}  // namespace

int main() {
    RegisterJpegEncoder();
    const auto photo = Photo();
    const auto scratch = photo ? raster::Clone(*photo) : nullptr;
    if (!photo || !scratch) return 1;
    char dir[] = "/tmp/kadrovo-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const Export e{*photo, *scratch, std::string(dir) + "/out.jpg"};

    std::vector<double> plainT, budgetT, offT, screenT, printT, screenAloneT, printAloneT;
    BudgetWrite last;
    for (int round = 0; round < kRounds; ++round) {
        bool ok = true;
        plainT.push_back(Seconds([&] { ok = ok && e.Plain(kPresetOriginal, Sharpening::Off); }));
        budgetT.push_back(Seconds([&] { last = e.Within(kBudget); }));
        offT.push_back(Seconds([&] { ok = ok && e.Plain(kPreset15x20, Sharpening::Off); }));
        screenT.push_back(Seconds([&] { ok = ok && e.Plain(kPreset15x20, Sharpening::Screen); }));
        printT.push_back(Seconds([&] { ok = ok && e.Plain(kPreset15x20, Sharpening::Print); }));
        // The sharpening alone, on the reduced cut the export makes.
        const auto reduced = ExportCut(*photo, PixelRect{0, 0, kWidth, kHeight},
                                       e.Settings(kPreset15x20, Sharpening::Off));
        auto copy = reduced ? raster::Clone(*reduced) : nullptr;
        if (!copy) return 1;
        screenAloneT.push_back(
            Seconds([&] { ok = ok && SharpenBitmap(*copy, Sharpening::Screen); }));
        printAloneT.push_back(
            Seconds([&] { ok = ok && SharpenBitmap(*reduced, Sharpening::Print); }));
        if (!ok || !last.written) {
            std::fprintf(stderr, "an export failed\n");
            return 1;
        }
    }
    unlink(e.path.c_str());
    rmdir(dir);

    const double plain = Median(plainT), budget = Median(budgetT), off = Median(offT);
    const double screen = Median(screenT), print = Median(printT);
    std::printf(
        "Window export of a 24-megapixel photo (%d x %d), medians of %d interleaved rounds:\n",
        kWidth, kHeight, kRounds);
    std::printf("  Originalgrösse, unbegrenzt       %8.1f ms\n", plain * 1e3);
    std::printf(
        "  Originalgrösse, höchstens 5 MB   %8.1f ms   %.2f x unbegrenzt (target at most 2)"
        "\n    quality %d, %.2f MB, %d x %d, %d encodes\n",
        budget * 1e3, budget / plain, last.quality, last.bytes / 1e6, last.width, last.height,
        last.encodes);
    std::printf("  Foto bis 15cm x 20cm, aus        %8.1f ms\n", off * 1e3);
    std::printf(
        "  the same, Bildschirm             %8.1f ms   share %4.1f %% (alone %4.1f %%; target at "
        "most 10 %%)\n",
        screen * 1e3, 100 * (screen - off) / screen, 100 * Median(screenAloneT) / screen);
    std::printf(
        "  the same, Druck                  %8.1f ms   share %4.1f %% (alone %4.1f %%; target at "
        "most 10 %%)\n",
        print * 1e3, 100 * (print - off) / print, 100 * Median(printAloneT) / print);
    return 0;
}
