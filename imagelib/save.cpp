#include "imagelib/save.h"
#include "imagelib/byte_order.h"

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

constexpr int kMaxEncoders = 100;
const ImageEncoder* g_encoders[kMaxEncoders];
int g_encoderCount = 0;

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
    const uint64_t imageSize = static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
    if (imageSize + 54 > 0xffffffffu) return 0;

    uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, static_cast<uint32_t>(54 + imageSize));
    Put32(header + 10, 54);
    Put32(header + 14, 40);
    Put32(header + 18, static_cast<uint32_t>(width));
    Put32(header + 22, static_cast<uint32_t>(height));
    Put16(header + 26, 1);
    Put16(header + 28, 24);
    Put32(header + 34, static_cast<uint32_t>(imageSize));

    FileReplace out(path);
    if (!out.stream()) return 0;
    if (fwrite(header, 1, 14, out.stream()) != 14) return 0;
    if (fwrite(header + 14, 1, 40, out.stream()) != 40) return 0;
    if (fwrite(pixels, 1, imageSize, out.stream()) != imageSize) return 0;
    return out.Commit() ? 1 : 0;
}

// --- encoder registry ----------------------------------------------------------------------------

void ImageRegisterEncoder(const ImageEncoder* encoder) {
    if (!encoder || g_encoderCount >= kMaxEncoders) return;
    g_encoders[g_encoderCount++] = encoder;
}

int ImageEncode(const char* path, const uint8_t* pixels, uint32_t identifier, int width, int height,
                int stride, int quality, const ImageMetadata* metadata) {
    for (int i = 0; i < g_encoderCount; ++i) {
        if (g_encoders[i]->identifier == identifier && g_encoders[i]->encode)
            return g_encoders[i]->encode(path, pixels, width, height, stride, quality, metadata);
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
    const int w = bitmap.width, h = bitmap.height;
    const size_t stride = raster::StrideFor(w, 24);
    if (w <= 0 || h <= 0 || stride == 0) return 0;
    // Refuse an unknown identifier before spending memory on the conversion.
    if (format != IMAGE_FORMAT_BMP) {
        bool known = false;
        for (int i = 0; i < g_encoderCount && !known; ++i)
            known = g_encoders[i]->identifier == format;
        if (!known) return 0;
    }

    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[stride * static_cast<size_t>(h)]);
    if (!pixels) return 0;
    raster::ToBgr24BottomUp(bitmap, pixels.get());
    if (format == IMAGE_FORMAT_BMP)
        return BmpWriter(path, pixels.get(), w, h, static_cast<int>(stride));
    return ImageEncode(path, pixels.get(), format, w, h, static_cast<int>(stride), quality,
                       metadata);
}
