#include "app/batch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "app/export.h"
#include "app/frame.h"
#include "app/refusal.h"
#include "imagelib/clipboard.h"
#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/load.h"
#include "imagelib/save.h"
#include "picture/working_pixels.h"

namespace {

constexpr int kWorkers = 2;             // one picture per core, at most two in memory
constexpr int kFirstWorkerImage = 200;  // image numbers of the workers' pictures

// The window's preview of `picture` (drawn stretched into a screen bitmap) captured, and the
// cast inside `frame` measured on it as the check box does.
uint32_t MeasureCastOnPreview(const raster::Bitmap& picture, const PixelRect& frame) {
    int pw = 0, ph = 0;
    frame::PreviewSize(picture.width, picture.height, pw, ph);
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
        start_ = std::chrono::steady_clock::now();
        std::vector<std::thread> workers;
        const int count = std::min<int>(kWorkers, static_cast<int>(files_.size()));
        for (int w = 0; w < count; ++w)
            workers.emplace_back([this, w] { Work(kFirstWorkerImage + w); });
        for (std::thread& t : workers)
            t.join();
        if (terminal_ && !options_.quiet && !files_.empty()) std::fputc('\n', messages_);
        return failed_ > 0 ? 1 : 0;
    }

private:
    void Work(int image) {
        for (size_t i = next_++; i < files_.size(); i = next_++) {
            std::string reason;
            const std::string out = Export(files_[i], image, reason);
            Report(files_[i], out, reason);
        }
    }

    // Exports one file; returns the output path, and `reason` when it failed.
    std::string Export(const std::string& input, int image, std::string& reason) {
        const std::string out = BatchOutputPath(input, options_);
        const std::string name = FileName(out);
        if (!options_.overwrite && Exists(out)) {
            reason = "Die Datei " + name + " existiert bereits!";
            return out;
        }
        LoadResult loaded;
        {
            // The image table and the decoders are shared; the pixel work and the writing are not.
            std::lock_guard<std::mutex> lock(table_);
            loaded = ImageLoadFile(image, input.c_str());
        }
        if (!loaded) {
            // The window's refusal, on one line.
            reason = LoadRefusalText(input, loaded.error, " ");
            return out;
        }
        raster::Bitmap* picture = loaded.bitmap;
        ExportResult result = BatchExportPicture(*picture, options_);
        std::vector<uint8_t> exif;
        {
            std::lock_guard<std::mutex> lock(table_);
            if (const std::vector<uint8_t>* e = ImageGetExif(image)) exif = *e;
            ImageRelease(image);
        }
        const std::string cantSave = "Die Datei " + name + " konnte nicht gespeichert werden!";
        if (!result.adjusted) {
            reason = "Für das Bild ist nicht genug Speicher frei!";
            return out;
        }
        if (!result.cut) {
            reason = cantSave;
            return out;
        }
        const std::string temp = options_.outDir + "/." + name + ".kadrovo-" +
                                 std::to_string(getpid()) + "-" + std::to_string(image);
        const bool written =
            options_.type == OutputType::Png
                ? WritePng(*result.cut, temp.c_str())
                : ExportWriteJpeg(*result.cut, temp.c_str(), options_.format, &exif);
        bool existed = false;
        if (!written || !Publish(temp, out, options_.overwrite, existed)) {
            unlink(temp.c_str());
            reason = existed ? "Die Datei " + name + " existiert bereits!" : cantSave;
        }
        return out;
    }

    void Report(const std::string& input, const std::string& out, const std::string& reason) {
        std::lock_guard<std::mutex> lock(report_);
        ++done_;
        if (!reason.empty()) {
            ++failed_;
            if (terminal_ && !options_.quiet) std::fputc('\n', messages_);
            std::fprintf(messages_, "kadrovo: %s: %s\n", input.c_str(), reason.c_str());
        }
        if (options_.quiet) return;
        const size_t total = files_.size();
        if (!terminal_) {
            if (reason.empty())
                std::fprintf(messages_, "kadrovo: %zu/%zu %s -> %s\n", done_, total, input.c_str(),
                             out.c_str());
            return;
        }
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const int left = static_cast<int>(elapsed / done_ * (total - done_) + 0.5);
        constexpr int kBar = 24;
        const int filled = static_cast<int>(kBar * done_ / total);
        std::fprintf(messages_, "\r[%s%s] %zu/%zu noch %d:%02d  %s\033[K",
                     std::string(filled, '#').c_str(), std::string(kBar - filled, '.').c_str(),
                     done_, total, left / 60, left % 60, FileName(input).c_str());
        std::fflush(messages_);
    }

    const BatchOptions& options_;
    std::FILE* messages_;
    const bool terminal_;
    std::vector<std::string> files_;
    std::atomic<size_t> next_{0};
    std::mutex table_, report_;
    size_t done_ = 0, failed_ = 0;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace

BatchFrame BatchPlanFrame(int width, int height, const BatchOptions& o) {
    int pw = 0, ph = 0;
    frame::PreviewSize(width, height, pw, ph);
    // As the window places a new picture's frame, in its preview's pixels.
    const bool landscape = width > height;
    const bool portrait =
        o.orientation == Orientation::Auto ? !landscape : o.orientation == Orientation::Portrait;
    const float ratio = frame::RatioFor(o.format, portrait);
    Selection sel = frame::DefaultFrame(!portrait, ratio);
    frame::Clamp(sel, ratio, pw, ph);
    if (o.placement == Placement::Centre) {
        sel.left = std::max(0, (pw - sel.width) / 2);
        sel.top = std::max(0, (ph - sel.height) / 2);
    }
    const float factor = static_cast<float>(width) / static_cast<float>(pw);
    BatchFrame f{sel, FrameToPicture(sel, factor)};
    if (o.placement == Placement::At) {
        // The frame's size stays; its corner moves as far towards the point as the picture
        // allows.
        f.cut.left = std::max(0, std::min(o.left, width - f.cut.width));
        f.cut.top = std::max(0, std::min(o.top, height - f.cut.height));
        f.preview.left = frame::Nearest(f.cut.left / static_cast<double>(factor));
        f.preview.top = frame::Nearest(f.cut.top / static_cast<double>(factor));
    }
    return f;
}

ExportResult BatchExportPicture(raster::Bitmap& picture, const BatchOptions& o) {
    const BatchFrame f = BatchPlanFrame(picture.width, picture.height, o);
    ExportSettings settings;
    settings.tone = o.tone;
    settings.preset = o.preset;
    if (o.removeCast) settings.cast = MeasureCastOnPreview(picture, f.preview);
    return ExportPicture(picture, f.cut, settings);
}

std::string BatchOutputPath(const std::string& input, const BatchOptions& o) {
    std::string stem = FileName(input);
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.resize(dot);
    return o.outDir + "/" + stem + "_" + frame::kPrintFormats[o.format].shortName +
           (o.type == OutputType::Png ? ".png" : ".jpg");
}

int RunBatch(const BatchOptions& options, std::FILE* messages) {
    ImageInit();
    ImageResetDecoders();
    RegisterJpegDecoder();
    RegisterPngDecoder();
    RegisterHeifDecoder();
    RegisterWebpDecoder();
    RegisterJpegEncoder();
    struct stat st {};
    if (stat(options.outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(messages, "kadrovo: %s: kein Ordner\n", options.outDir.c_str());
        return 1;
    }
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
