#include "imagelib/heif_decoder.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "imagelib/colour_profile.h"
#include "imagelib/load_limits.h"

namespace {

// Neither HEVC nor AV1 describes more than a few thousand pixels per byte of a real photo; a
// large picture from a tiny file is a bomb (a grid repeating one tile, say).
constexpr uint64_t kMaxPixelsPerByte = 8192;
// Working memory per pixel while decoding: the coded planes (up to 4:4:4 with alpha, 16 bits)
// and the interleaved result.
constexpr uint64_t kBytesPerPixel = 8 + 4;
// EXIF blocks larger than this are not a camera's.
constexpr size_t kMaxExif = size_t{1} << 20;

bool Ok(const heif_error& e) {
    return e.code == heif_error_Ok;
}

// Brands of the HEIF family (ISO/IEC 23008-12 and AVIF), any of which a
// HEIF or AVIF file names in its ftyp box.
constexpr const char* kHeifBrands[] = {"mif1", "mif2", "msf1", "miaf", "heic", "heix", "heim",
                                       "heis", "hevc", "hevx", "hevm", "hevs", "avif", "avis"};

// A file that starts with an ftyp box naming a brand of the HEIF family, as its major brand or
// among the compatible brands within `head`, or that libheif itself takes for HEIF. Whether it
// can be decoded is for libheif to find out: many brands it reads are not ones it calls
// supported. Other ISO media files (videos) are not read further.
bool LooksLikeHeif(ByteView head) {
    if (head.size() < 16 || std::memcmp(head.data() + 4, "ftyp", 4) != 0) return false;
    if (heif_check_filetype(head.data(), static_cast<int>(head.size())) != heif_filetype_no)
        return true;
    const size_t boxSize = std::min<size_t>(
        head.size(), uint32_t{head[0]} << 24 | uint32_t{head[1]} << 16 | head[2] << 8 | head[3]);
    for (size_t at = 8; at + 4 <= boxSize; at += at == 8 ? 8 : 4)  // major, minor, compatible
        for (const char* brand : kHeifBrands)
            if (std::memcmp(head.data() + at, brand, 4) == 0) return true;
    return false;
}

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// The fields of one box's body read in turn as big-endian numbers; a read past the end gives 0
// and leaves the reader failed for good.
class Fields {
public:
    explicit Fields(ByteView bytes) : bytes_(bytes) {}
    uint64_t Next(uint64_t width) {
        if (!ok_ || width > 8 || width > bytes_.size() - at_) {
            ok_ = false;
            return 0;
        }
        uint64_t value = 0;
        for (uint64_t i = 0; i < width; ++i)
            value = value << 8 | bytes_[at_++];
        return value;
    }
    void Skip(uint64_t bytes) {
        if (!ok_ || bytes > bytes_.size() - at_)
            ok_ = false;
        else
            at_ += bytes;
    }
    bool Ok() const { return ok_; }

private:
    ByteView bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

// The boxes laid one after another in `span`, each as its type and body; false when a box's
// size does not fit what is left of the span.
bool ForEachBox(ByteView span, auto&& visit) {
    while (!span.empty()) {
        Fields header(span);
        uint64_t size = header.Next(4);
        const uint64_t type = header.Next(4);
        uint64_t headerSize = 8;
        if (size == 1)
            size = header.Next(8), headerSize = 16;
        else if (size == 0)
            size = span.size();
        if (!header.Ok() || size < headerSize || size > span.size()) return false;
        if (!visit(static_cast<uint32_t>(type), span.subspan(headerSize, size - headerSize)))
            return true;
        span = span.subspan(size);
    }
    return true;
}

constexpr uint32_t FourCc(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
           uint32_t(uint8_t(name[2])) << 8 | uint8_t(name[3]);
}

// More references or extents than this for the items of one picture are no encoder's: such a
// file is judged by its whole size rather than spending time and memory on them.
constexpr size_t kMaxExtents = size_t{1} << 16;

// The bytes of `file` that hold the coded data of item `primary` and of the items it is derived
// from ('dimg' references, followed through grids of grids), as its iloc box places them in the
// file or in the meta box's idat; data placed twice counts once, data outside the file not at
// all. The whole file's size when the boxes are anything this reader cannot follow (an item in
// another file or built from other items, an iloc field size the standard does not have), so
// that such a file is judged as a whole.
uint64_t CodedBytes(ByteView file, uint32_t primary) {
    const uint64_t whole = file.size();
    ByteView meta, iloc, iref, idat;
    bool found = false;
    if (!ForEachBox(file,
                    [&](uint32_t type, ByteView body) {
                        if (type != FourCc("meta")) return true;
                        meta = body, found = true;
                        return false;
                    }) ||
        !found || meta.size() < 4)
        return whole;
    const bool followed = ForEachBox(meta.subspan(4), [&](uint32_t type, ByteView body) {
        ByteView* box = type == FourCc("iloc")   ? &iloc
                        : type == FourCc("iref") ? &iref
                        : type == FourCc("idat") ? &idat
                                                 : nullptr;
        if (box && box->empty()) *box = body;
        return true;
    });
    if (!followed || iloc.size() < 4) return whole;

    // The items whose data make up the picture.
    std::vector<std::pair<uint32_t, uint32_t>> derivedFrom;  // (derived item, item it uses)
    if (iref.size() >= 4) {
        const uint64_t idWidth = iref[0] == 0 ? 2 : 4;
        if (!ForEachBox(iref.subspan(4), [&](uint32_t type, ByteView body) {
                if (type != FourCc("dimg")) return true;
                Fields f(body);
                const auto from = static_cast<uint32_t>(f.Next(idWidth));
                for (uint64_t n = f.Next(2); n > 0 && f.Ok(); --n)
                    derivedFrom.emplace_back(from, static_cast<uint32_t>(f.Next(idWidth)));
                return derivedFrom.size() <= kMaxExtents;
            }))
            return whole;
        if (derivedFrom.size() > kMaxExtents) return whole;
    }
    std::sort(derivedFrom.begin(), derivedFrom.end());
    std::set<uint32_t> items = {primary};
    std::vector<uint32_t> pending = {primary};
    while (!pending.empty()) {
        const uint32_t item = pending.back();
        pending.pop_back();
        auto from =
            std::lower_bound(derivedFrom.begin(), derivedFrom.end(), std::pair{item, uint32_t{0}});
        for (; from != derivedFrom.end() && from->first == item; ++from)
            if (items.insert(from->second).second) pending.push_back(from->second);
    }

    // Their extents as ranges of the file.
    Fields f(iloc);
    const uint64_t version = f.Next(1);
    f.Skip(3);
    const uint64_t sizes = f.Next(2);
    const uint64_t offsetSize = sizes >> 12, lengthSize = sizes >> 8 & 15;
    const uint64_t baseSize = sizes >> 4 & 15, indexSize = version == 0 ? 0 : sizes & 15;
    for (uint64_t size : {offsetSize, lengthSize, baseSize, indexSize})
        if (size != 0 && size != 4 && size != 8) return whole;
    if (version > 2) return whole;
    const uint64_t idWidth = version == 2 ? 4 : 2;
    const uint64_t idatStart = idat.empty() ? 0 : uint64_t(idat.data() - file.data());
    std::vector<std::pair<uint64_t, uint64_t>> ranges;  // [begin, end) in the file
    for (uint64_t n = f.Next(idWidth); n > 0 && f.Ok(); --n) {
        const auto id = static_cast<uint32_t>(f.Next(idWidth));
        const uint64_t method = version == 0 ? 0 : f.Next(2) & 15;
        const uint64_t reference = f.Next(2);
        const uint64_t base = f.Next(baseSize);
        const uint64_t extents = f.Next(2);
        const uint64_t extentSize = indexSize + offsetSize + lengthSize;
        if (!items.contains(id)) {
            f.Skip(extents * extentSize);
            continue;
        }
        if (reference != 0 || method > 1) return whole;
        // Offsets within the idat box (construction method 1) are moved to the file's.
        const uint64_t start = method == 0 ? 0 : idatStart;
        const uint64_t end = method == 0 ? whole : idatStart + idat.size();
        for (uint64_t e = 0; e < extents && f.Ok(); ++e) {
            f.Skip(indexSize);
            const uint64_t offset = f.Next(offsetSize);
            const uint64_t length = f.Next(lengthSize);
            if (ranges.size() >= kMaxExtents) return whole;
            // Every sum is checked against the end before it is formed.
            if (base > end - start || offset > end - start - base) continue;
            const uint64_t begin = start + base + offset;
            ranges.emplace_back(begin, length == 0 || length > end - begin ? end : begin + length);
        }
    }
    if (!f.Ok()) return whole;
    std::sort(ranges.begin(), ranges.end());
    uint64_t total = 0, covered = 0;
    for (const auto& [begin, end] : ranges) {
        const uint64_t from = std::max(begin, covered);
        if (end > from) total += end - from, covered = end;
    }
    return total;
}

// One picture being decoded: the file, libheif's context and the primary image's handle.
class HeifSession final : public PictureDecoder {
public:
    explicit HeifSession(ByteView file) : data_(file.data()), size_(file.size()) {}
    ~HeifSession() override {
        if (image_) heif_image_release(image_);
        if (handle_) heif_image_handle_release(handle_);
        if (context_) heif_context_free(context_);
    }
    HeifSession(const HeifSession&) = delete;
    HeifSession& operator=(const HeifSession&) = delete;

    // Reads the boxes and decodes the primary image, so that a file that cannot be decoded is
    // refused here: Rows24, or Rows32 with alpha; NotThisFormat when the file is no HEIF file,
    // TooLarge or Damaged when it is refused.
    ProbeAnswer Probe() {
        if (!LooksLikeHeif(ByteView(data_, size_))) return ProbeAnswer::NotThisFormat;
        context_ = heif_context_alloc();
        if (!context_) return ProbeAnswer::TooLarge;
        heif_context_set_maximum_image_size_limit(context_, raster::kMaxSide + 1);
        const heif_error read =
            heif_context_read_from_memory_without_copy(context_, data_, size_, nullptr);
        if (read.code == heif_error_Unsupported_filetype)
            return ProbeAnswer::NotThisFormat;  // another ISO media file
        if (!Ok(read)) return Refusal(read);
        if (!Ok(heif_context_get_primary_image_handle(context_, &handle_)))
            return ProbeAnswer::Damaged;
        width_ = heif_image_handle_get_width(handle_);
        height_ = heif_image_handle_get_height(handle_);
        if (width_ <= 0 || height_ <= 0) return ProbeAnswer::Damaged;
        alpha_ = heif_image_handle_has_alpha_channel(handle_) != 0;
        // Pixels per byte are judged by the primary image's coded data alone, so that padding
        // (a free box, data no item uses) does not make a bomb look plausible.
        heif_item_id primary = 0;
        if (!Ok(heif_context_get_primary_image_ID(context_, &primary))) return ProbeAnswer::Damaged;
        if (const auto refusal = PictureSizeRefusal(width_, height_, alpha_ ? 32 : 24,
                                                    CodedBytes(ByteView(data_, size_), primary),
                                                    kMaxPixelsPerByte, kBytesPerPixel))
            return *refusal;
        // No side of what is decoded may outgrow the announced picture or its ispe box: a grid
        // whose output is larger than its ispe box says is refused by libheif's limit before it
        // is assembled.
        const int coded = std::max({width_, height_, heif_image_handle_get_ispe_width(handle_),
                                    heif_image_handle_get_ispe_height(handle_)});
        // The codecs decode whole coding blocks (up to 128 pixels square) before the crop.
        heif_context_set_maximum_image_size_limit(context_, (coded + 127) / 128 * 128 + 1);

        heif_decoding_options* options = heif_decoding_options_alloc();
        if (!options) return ProbeAnswer::TooLarge;
        options->convert_hdr_to_8bit = 1;
        const heif_error e = heif_decode_image(
            handle_, &image_, heif_colorspace_RGB,
            alpha_ ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options);
        heif_decoding_options_free(options);
        if (!Ok(e)) return Refusal(e);
        if (!image_) return ProbeAnswer::Damaged;
        plane_ = heif_image_get_plane_readonly(image_, heif_channel_interleaved, &planeStride_);
        // libheif turns and crops by the irot, imir and clap properties while decoding. The size
        // it announces is the ispe box's as transformed by the properties listed before that
        // box, so a file that names irot or clap first announces the size before the turn or the
        // crop. The decoded picture may be the announced one turned a quarter, or cropped from it;
        // never larger, so that the checks above hold for it.
        const int w = heif_image_get_width(image_, heif_channel_interleaved);
        const int h = heif_image_get_height(image_, heif_channel_interleaved);
        const bool fits = (w <= width_ && h <= height_) || (w <= height_ && h <= width_);
        if (!plane_ || w <= 0 || h <= 0 || !fits || planeStride_ < w * (alpha_ ? 4 : 3))
            return ProbeAnswer::Damaged;
        width_ = w;
        height_ = h;
        return alpha_ ? ProbeAnswer::Rows32 : ProbeAnswer::Rows24;
    }

    // Writes the decoded picture into `buffer` as blue, green, red (and alpha), in sRGB.
    DecodedRows Decode(uint8_t* buffer, int stride) override {
        const int bytes = alpha_ ? 4 : 3;
        for (int y = 0; y < height_; ++y) {
            const uint8_t* src = plane_ + static_cast<size_t>(y) * planeStride_;
            uint8_t* dst = buffer + static_cast<size_t>(y) * stride;
            for (int x = 0; x < width_; ++x, src += bytes, dst += bytes) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
                if (alpha_) dst[3] = src[3];
            }
        }
        heif_image_release(image_);
        image_ = nullptr;
        if (auto srgb = Colours(bytes))
            srgb->Apply(buffer, static_cast<size_t>(stride), width_, height_);
        return {height_, height_};
    }

    int Width() const override { return width_; }
    int Height() const override { return height_; }

    // The first Exif block: normally a four-byte offset to the TIFF header, then the data. Some
    // writers leave the offset out and start with the TIFF header itself (or with the
    // "Exif\0\0" of a JPEG segment); those blocks are taken as they are.
    std::vector<uint8_t> Exif() const override {
        heif_item_id id = 0;
        if (heif_image_handle_get_list_of_metadata_block_IDs(handle_, "Exif", &id, 1) < 1)
            return {};
        const size_t size = heif_image_handle_get_metadata_size(handle_, id);
        if (size < 4 || size > kMaxExif) return {};
        std::vector<uint8_t> block(size);
        if (!Ok(heif_image_handle_get_metadata(handle_, id, block.data()))) return {};
        static const uint8_t kIntel[4] = {'I', 'I', 42, 0}, kMotorola[4] = {'M', 'M', 0, 42};
        static const uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
        if (std::memcmp(block.data(), kIntel, 4) == 0 ||
            std::memcmp(block.data(), kMotorola, 4) == 0)
            return block;
        if (size >= 6 && std::memcmp(block.data(), kExifHeader, 6) == 0) {
            block.erase(block.begin(), block.begin() + 6);
            return block;
        }
        const uint32_t offset = BigEndian32(block.data());
        if (offset > size - 4) return {};
        block.erase(block.begin(), block.begin() + 4 + offset);
        return block;
    }

private:
    // A file libheif refuses: over its security limits (a grid of too many tiles or too large
    // an output) is too large, anything else damaged.
    static ProbeAnswer Refusal(const heif_error& e) {
        return e.subcode == heif_suberror_Security_limit_exceeded ? ProbeAnswer::TooLarge
                                                                  : ProbeAnswer::Damaged;
    }

    // The conversion to sRGB the file's colour information asks for; null for none.
    std::unique_ptr<SrgbConversion> Colours(int bytesPerPixel) const {
        const size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle_);
        if (iccSize > 0) {
            std::vector<uint8_t> icc(iccSize);
            if (Ok(heif_image_handle_get_raw_color_profile(handle_, icc.data())))
                return SrgbConversion::FromIcc(icc.data(), icc.size(), bytesPerPixel,
                                               CodedColours::Rgb);
            return nullptr;
        }
        heif_color_profile_nclx* nclx = nullptr;
        // libheif may hand out a profile along with an error (unknown primaries, say).
        const bool known = Ok(heif_image_handle_get_nclx_color_profile(handle_, &nclx));
        if (!nclx) return nullptr;
        if (!known) {
            heif_nclx_color_profile_free(nclx);
            return nullptr;
        }
        const float primaries[8] = {nclx->color_primary_red_x,   nclx->color_primary_red_y,
                                    nclx->color_primary_green_x, nclx->color_primary_green_y,
                                    nclx->color_primary_blue_x,  nclx->color_primary_blue_y,
                                    nclx->color_primary_white_x, nclx->color_primary_white_y};
        const int transfer = nclx->transfer_characteristics;
        heif_nclx_color_profile_free(nclx);
        return SrgbConversion::FromPrimaries(primaries, transfer, bytesPerPixel);
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    heif_context* context_ = nullptr;
    heif_image_handle* handle_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    bool alpha_ = false;
    heif_image* image_ = nullptr;
    const uint8_t* plane_ = nullptr;
    int planeStride_ = 0;
};

const ImageDecoder kHeifDecoder = {.name = "HEIF",
                                   .sniff = LooksLikeHeif,
                                   .probe = ProbeWith<HeifSession>,
                                   .mediaTypes = "image/heif image/heic image/avif"};

}  // namespace

const ImageDecoder* HeifDecoder() {
    return &kHeifDecoder;
}
