#include "app/batch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "app/export.h"
#include "app/frame.h"
#include "app/refusal.h"
#include "imagelib/clipboard.h"
#include "imagelib/image.h"
#include "imagelib/library_start.h"
#include "imagelib/load.h"
#include "imagelib/save.h"
#include "picture/orient.h"
#include "picture/straighten.h"
#include "picture/working_pixels.h"

namespace {

constexpr int kWorkers = 2;  // one picture per core, at most two in memory

// The window's preview of `picture` (drawn stretched into a screen bitmap) captured, and the
// cast inside `frame` measured on it as the check box does.
uint32_t MeasureCastOnPreview(const raster::Bitmap& picture, const PixelRect& frame) {
    const auto [pw, ph] = frame::PreviewSize(picture.width, picture.height);
    auto preview = raster::Create(pw, ph, 32, true, true);
    if (!preview) return 0;
    if (pw == picture.width && ph == picture.height) {
        raster::Blit(*preview, 0, 0, pw, ph, picture, 0, 0);
    } else {
        raster::Stretch(*preview, 0, 0, pw, ph, picture, raster::StretchMode::Halftone);
    }
    WorkingPixels pixels;
    return pixels.Capture(*preview) ? pixels.MeasureCast(frame) : 0;
}

std::string FileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Moves the finished temporary file to `out`; without `overwrite` only when nothing is there,
// decided by the file system in one step.
bool Publish(const std::string& temp, const std::string& out, bool overwrite, bool& existed) {
    existed = false;
    if (overwrite) return std::rename(temp.c_str(), out.c_str()) == 0;
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, out.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without that rename: a hard link fails just as atomically on a name in
        // use.
        if (link(temp.c_str(), out.c_str()) == 0) {
            unlink(temp.c_str());
            return true;
        }
    }
    existed = errno == EEXIST;
    return false;
}

bool WritePng(const raster::Bitmap& cut, const char* path) {
    const std::vector<uint8_t> png = PngFromBitmap(&cut);
    if (png.empty()) return false;
    FileReplace out(path);
    return out.stream() && std::fwrite(png.data(), 1, png.size(), out.stream()) == png.size() &&
           out.Commit();
}

// What became of one file.
enum class Outcome { Written, Skipped, Failed };

class Batch {
public:
    Batch(const BatchOptions& options, std::FILE* messages)
        : options_(options), messages_(messages), terminal_(isatty(fileno(messages)) == 1) {}

    int Run() {
        for (const std::string& f : options_.files) {
            if (f != "-") {
                files_.push_back(f);
                continue;
            }
            for (std::string line; std::getline(std::cin, line);)
                if (!line.empty()) files_.push_back(line);
        }
        outputs_ = BatchOutputPaths(files_, options_);
        std::error_code error;
        std::filesystem::create_directories(options_.outDir, error);
        if (!std::filesystem::is_directory(options_.outDir, error)) {
            std::fprintf(messages_, "kadrovo: %s: Ordner kann nicht angelegt werden\n",
                         options_.outDir.c_str());
            count_[static_cast<int>(Outcome::Failed)] = files_.size();
        } else {
            start_ = std::chrono::steady_clock::now();
            std::vector<std::thread> workers;
            const int count = std::min<int>(kWorkers, static_cast<int>(files_.size()));
            for (int w = 0; w < count; ++w)
                workers.emplace_back([this, w] { Work(w); });
            for (std::thread& t : workers)
                t.join();
            if (terminal_ && !options_.quiet && !files_.empty()) std::fputc('\n', messages_);
        }
        const size_t failed = count_[static_cast<int>(Outcome::Failed)];
        std::fprintf(messages_, "%zu geschrieben, %zu übersprungen, %zu fehlgeschlagen\n",
                     count_[static_cast<int>(Outcome::Written)],
                     count_[static_cast<int>(Outcome::Skipped)], failed);
        return failed > 0 ? 1 : 0;
    }

private:
    void Work(int worker) {
        // The last picture's bitmap: a folder of photos from one camera decodes into the same
        // memory again and again instead of mapping and clearing fresh pages for each.
        std::unique_ptr<raster::Bitmap> spare;
        for (size_t i = next_++; i < files_.size(); i = next_++) {
            std::string reason;
            const Outcome outcome = Export(files_[i], outputs_[i], worker, spare, reason);
            Report(files_[i], outputs_[i], outcome, reason);
        }
    }

    // Exports one file to `out`; `reason` says why it was skipped or failed, or how a file written
    // within the size budget was lowered. The picture's bitmap
    // is left in `spare` for the next file.
    Outcome Export(const std::string& input, const std::string& out, int worker,
                   std::unique_ptr<raster::Bitmap>& spare, std::string& reason) {
        const std::string name = FileName(out);
        const std::string skipped = out + " existiert bereits, übersprungen";
        if (!options_.overwrite && Exists(out)) {
            reason = skipped;
            return Outcome::Skipped;
        }
        // Decoded into a bitmap of this worker's own: the two workers decode at the same time.
        LoadOutcome loaded;
        std::vector<uint8_t> exif;
        std::unique_ptr<raster::Bitmap> picture = ImageDecodeBitmap(
            ImageFindDecoder(input.c_str()), loaded, nullptr, &exif, std::move(spare));
        if (!picture) {
            // The window's refusal, on one line.
            reason = LoadRefusalText(input, loaded.error, " ");
            return Outcome::Failed;
        }
        // The window keeps what was read and says so; unattended, a picture with a grey rest
        // would pass for a print.
        if (loaded.Incomplete() && !options_.allowIncomplete) {
            reason = LoadIncompleteText(input, loaded.rows);
            return Outcome::Failed;
        }
        picture = BatchOrientPicture(std::move(picture), options_);
        if (!picture) {
            reason = "Für das Bild ist nicht genug Speicher frei!";
            return Outcome::Failed;
        }
        ExportResult result = BatchExportPicture(*picture, options_);
        spare = std::move(picture);
        const std::string cantSave = "Die Datei " + name + " konnte nicht gespeichert werden!";
        if (!result.adjusted) {
            reason = "Für das Bild ist nicht genug Speicher frei!";
            return Outcome::Failed;
        }
        if (!result.cut) {
            reason = cantSave;
            return Outcome::Failed;
        }
        const std::string temp = options_.outDir + "/." + name + ".kadrovo-" +
                                 std::to_string(getpid()) + "-" + std::to_string(worker);
        bool written = false;
        if (options_.type == OutputType::Png) {
            written = WritePng(*result.cut, temp.c_str());
        } else {
            // A smaller picture is stretched from the cut's adjusted rows, not from the reduced
            // and sharpened cut, and sharpened at its own size.
            const raster::Bitmap& adjusted = *spare;
            const PixelRect cut =
                ClipToPicture(BatchPlanFrame(adjusted.width, adjusted.height, options_).cut,
                              adjusted.width, adjusted.height);
            const BudgetReduce reduce = [&](int width, int height) {
                auto smaller =
                    raster::Create(width, height, adjusted.bpp, adjusted.topDown, adjusted.screen);
                if (!smaller ||
                    !raster::StretchPart(*smaller, 0, 0, width, height, adjusted, cut.left, cut.top,
                                         cut.width, cut.height, raster::StretchMode::Halftone) ||
                    !SharpenBitmap(*smaller, options_.sharpen))
                    smaller.reset();
                return smaller;
            };
            const BudgetWrite w = ExportWriteJpegWithin(*result.cut, temp.c_str(), options_.format,
                                                        &exif, options_.maxBytes, reduce);
            if (w.refused) {
                reason = "Die Datei " + name + " passt nicht in " +
                         std::to_string(options_.maxBytes) + " Bytes, auch nicht verkleinert";
                return Outcome::Failed;
            }
            written = w.written;
            // A file written at lower quality or size says so on its progress line.
            if (w.lowered) reason = BudgetNote(w, result.cut->width);
        }
        bool existed = false;
        if (written && Publish(temp, out, options_.overwrite, existed)) return Outcome::Written;
        unlink(temp.c_str());
        // Another program took the name meanwhile: as if it had been there before.
        reason = existed ? skipped : cantSave;
        return existed ? Outcome::Skipped : Outcome::Failed;
    }

    void Report(const std::string& input, const std::string& out, Outcome outcome,
                const std::string& reason) {
        std::lock_guard<std::mutex> lock(report_);
        ++done_;
        ++count_[static_cast<int>(outcome)];
        // Failures are always told; skips unless quiet.
        if (outcome == Outcome::Failed || (outcome == Outcome::Skipped && !options_.quiet)) {
            if (terminal_ && !options_.quiet) std::fputc('\n', messages_);
            std::fprintf(messages_, "kadrovo: %s: %s\n", input.c_str(), reason.c_str());
        }
        if (options_.quiet) return;
        const size_t total = files_.size();
        if (!terminal_) {
            if (outcome == Outcome::Written)
                std::fprintf(messages_, "kadrovo: %zu/%zu %s -> %s%s\n", done_, total,
                             input.c_str(), out.c_str(),
                             reason.empty() ? "" : (" (" + reason + ")").c_str());
            return;
        }
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const int left = static_cast<int>(elapsed / done_ * (total - done_) + 0.5);
        constexpr int kBar = 24;
        const int filled = static_cast<int>(kBar * done_ / total);
        std::fprintf(messages_, "\r[%s%s] %zu/%zu noch %d:%02d  %s\033[K",
                     std::string(filled, '#').c_str(), std::string(kBar - filled, '.').c_str(),
                     done_, total, left / 60, left % 60,
                     (FileName(input) +
                      (outcome == Outcome::Written && !reason.empty() ? " (" + reason + ")" : ""))
                         .c_str());
        std::fflush(messages_);
    }

    const BatchOptions& options_;
    std::FILE* messages_;
    const bool terminal_;
    std::vector<std::string> files_, outputs_;
    std::atomic<size_t> next_{0};
    std::mutex report_;
    size_t done_ = 0;
    size_t count_[3] = {};  // by Outcome
    std::chrono::steady_clock::time_point start_;
};

}  // namespace

BatchFrame BatchPlanFrame(int width, int height, const BatchOptions& o) {
    const bool landscape = width > height;
    const bool portrait =
        o.orientation == Orientation::Auto ? !landscape : o.orientation == Orientation::Portrait;
    const float ratio = frame::RatioFor(o.format, portrait);
    // The cut is planned in picture pixels: exactly the largest frame, exactly where asked.
    PixelRect cut = LargestFrame(width, height, ratio);
    if (o.placement == Placement::Centre) {
        cut.left = (width - cut.width) / 2;
        cut.top = (height - cut.height) / 2;
    } else if (o.placement == Placement::At) {
        cut.left = std::max(0, std::min(o.left, width - cut.width));
        cut.top = std::max(0, std::min(o.top, height - cut.height));
    }
    // The frame on the preview, where the cast is measured as the window measures it: at the top
    // left the window's own frame for a new picture, whose cut this is; elsewhere moved to the
    // cut's corner scaled down.
    const auto [pw, ph] = frame::PreviewSize(width, height);
    Selection sel = frame::DefaultFrame(!portrait, ratio);
    frame::Clamp(sel, ratio, pw, ph);
    if (o.placement != Placement::TopLeft) {
        const double factor = static_cast<float>(width) / static_cast<float>(pw);
        sel.left = std::max(0, std::min(frame::Nearest(cut.left / factor), pw - sel.width));
        sel.top = std::max(0, std::min(frame::Nearest(cut.top / factor), ph - sel.height));
    }
    return {sel, cut};
}

ExportResult BatchExportPicture(raster::Bitmap& picture, const BatchOptions& o) {
    const BatchFrame f = BatchPlanFrame(picture.width, picture.height, o);
    ExportSettings settings;
    settings.tone = o.tone;
    settings.preset = o.preset;
    settings.sharpen = o.sharpen;
    settings.cutRowsOnly = true;  // the picture is dropped after its export
    if (o.removeCast) settings.cast = MeasureCastOnPreview(picture, f.preview);
    return ExportPicture(picture, f.cut, settings);
}

std::unique_ptr<raster::Bitmap> BatchOrientPicture(std::unique_ptr<raster::Bitmap> picture,
                                                   const BatchOptions& o) {
    const PixelOrientation orientation =
        Compose(PixelOrientation{o.turns % 4, false}, o.mirror ? kMirror : PixelOrientation{});
    if (picture && orientation != PixelOrientation{}) picture = Orient(*picture, orientation);
    if (picture && o.straighten != 0) picture = Straighten(*picture, {}, o.straighten);
    return picture;
}

std::vector<std::string> BatchOutputPaths(const std::vector<std::string>& inputs,
                                          const BatchOptions& o) {
    const std::string suffix = std::string("_") + frame::kPrintFormats[o.format].shortName;
    const char* const extension = o.type == OutputType::Png ? ".png" : ".jpg";
    std::vector<std::string> outputs;
    std::set<std::string> taken;
    for (const std::string& input : inputs) {
        std::string stem = FileName(input);
        const size_t dot = stem.rfind('.');
        if (dot != std::string::npos && dot > 0) stem.resize(dot);
        const std::string base = o.outDir + "/" + stem + suffix;
        std::string out = base + extension;
        for (int n = 2; !taken.insert(out).second; ++n)
            out = base + "-" + std::to_string(n) + extension;
        outputs.push_back(out);
    }
    return outputs;
}

int RunBatch(const BatchOptions& options, std::FILE* messages) {
    ImageLibraryStart();
    return Batch(options, messages).Run();
}

int BatchMain(int argc, const char* const* argv) {
    const BatchCommand command = ParseBatchCommand(argc, argv);
    if (command.help) {
        std::fputs(BatchUsage().c_str(), stdout);
        return 0;
    }
    if (!command.options) {
        std::fprintf(stderr, "kadrovo: %s\n%s", command.error.c_str(), BatchUsage().c_str());
        return 2;
    }
    return RunBatch(*command.options, stderr);
}
