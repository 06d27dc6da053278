#include "imagelib/save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "imagelib/image.h"
#include "platform/raster.h"

namespace {

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Permissions for the new file: those of the file it replaces, else what a plain creat() with
// 0666 would give under the current umask (mkstemp makes 0600).
mode_t ModeFor(const std::string& target) {
    struct stat st {};
    if (stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

// --- complete-or-nothing writing ---------------------------------------------------------------

FileReplace::FileReplace(const char* path) {
    if (!path || !*path) return;
    target_ = path;
    std::string folder = FolderOf(target_);
    size_t slash = target_.rfind('/');
    std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (base.empty()) return;  // a folder, not a file
    // Hidden and in the same folder, so that rename() stays on one file system; the name is
    // shortened so that a target near the length limit still gets a temporary.
    std::string templ = folder + "/." + base.substr(0, 200) + ".XXXXXX";
    int fd = mkstemp(templ.data());
    if (fd < 0) return;
    temp_ = templ;
    if (fchmod(fd, ModeFor(target_)) != 0 || !(file_ = fdopen(fd, "wb"))) {
        close(fd);
        unlink(temp_.c_str());
        temp_.clear();
    }
}

FileReplace::~FileReplace() {
    if (committed_) return;
    if (file_) fclose(file_);
    if (!temp_.empty()) unlink(temp_.c_str());
}

bool FileReplace::Write(std::span<const uint8_t> bytes) {
    return file_ && fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
}

bool FileReplace::Commit() {
    if (!file_ || committed_) return false;
    bool ok = fflush(file_) == 0 && !ferror(file_) && fsync(fileno(file_)) == 0;
    ok = fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok || rename(temp_.c_str(), target_.c_str()) != 0) return false;  // destructor unlinks
    committed_ = true;
    // Make the rename itself durable; a folder that cannot be opened or synced loses nothing.
    int dir = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

// --- BMP writer ----------------------------------------------------------------------------------

int BmpWriter(const char* path, const uint8_t* pixels, int width, int height, int stride) {
    if (!path || !pixels || width <= 0 || height <= 0 || stride <= 0) return 0;
    FileReplace out(path);
    return out.stream() && WriteBmp(out, {pixels, width, height, static_cast<size_t>(stride)}) &&
                   out.Commit()
               ? 1
               : 0;
}

// --- encoder registry ----------------------------------------------------------------------------

namespace {

// The encoders in the order they were registered.
struct EncoderList {
    static constexpr int kMax = 100;
    const ImageEncoder* entries[kMax] = {};
    int count = 0;
};

EncoderList g_encoders;

}  // namespace

void ImageRegisterEncoder(const ImageEncoder* encoder) {
    EncoderList& list = g_encoders;
    if (!encoder || list.count >= EncoderList::kMax) return;
    for (int i = 0; i < list.count; ++i)
        if (list.entries[i] == encoder) return;
    list.entries[list.count++] = encoder;
}

int ImageEncode(const char* path, const uint8_t* pixels, uint32_t identifier, int width, int height,
                int stride, int quality, const ImageMetadata* metadata) {
    const EncoderList& list = g_encoders;
    for (int i = 0; i < list.count; ++i) {
        if (list.entries[i]->identifier == identifier && list.entries[i]->encode)
            return list.entries[i]->encode(path, pixels, width, height, stride, quality, metadata);
    }
    return 0;
}

// --- saving --------------------------------------------------------------------------------------

int ImageSaveFile(int number, const char* path, uint32_t format, int quality,
                  const ImageMetadata* metadata) {
    const raster::Bitmap* bitmap = ImageGetBitmap(number);
    return bitmap ? BitmapSaveFile(*bitmap, path, format, quality, metadata) : 0;
}

int BitmapSaveFile(const raster::Bitmap& bitmap, const char* path, uint32_t format, int quality,
                   const ImageMetadata* metadata) {
    if (!bitmap.bits || !path || !*path) return 0;
    if (bitmap.width <= 0 || bitmap.height <= 0 || raster::StrideFor(bitmap.width, 24) == 0)
        return 0;
    // Refuse an unknown identifier before spending memory on the conversion.
    if (format != IMAGE_FORMAT_BMP) {
        bool known = false;
        const EncoderList& list = g_encoders;
        for (int i = 0; i < list.count && !known; ++i)
            known = list.entries[i]->identifier == format;
        if (!known) return 0;
    }

    const OwnedEncoderRows converted = EncoderRowsOf(bitmap);
    const EncoderRows& rows = converted.rows;
    if (!rows.pixels) return 0;
    if (format == IMAGE_FORMAT_BMP)
        return BmpWriter(path, rows.pixels, rows.width, rows.height, static_cast<int>(rows.stride));
    return ImageEncode(path, rows.pixels, format, rows.width, rows.height,
                       static_cast<int>(rows.stride), quality, metadata);
}
