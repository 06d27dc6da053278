#include "imagelib/metadata.h"

#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The tags an export keeps, each in the directory it belongs to.
struct KeptTag {
    ExifIfd ifd;
    ExifTag tag;
};
constexpr KeptTag kKept[] = {
    {EXIF_IFD_0, EXIF_TAG_MAKE},
    {EXIF_IFD_0, EXIF_TAG_MODEL},
    {EXIF_IFD_0, EXIF_TAG_DATE_TIME},
    {EXIF_IFD_0, EXIF_TAG_ARTIST},
    {EXIF_IFD_0, EXIF_TAG_COPYRIGHT},
    {EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL},
    {EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_DIGITIZED},
    {EXIF_IFD_EXIF, EXIF_TAG_SUB_SEC_TIME_ORIGINAL},
    {EXIF_IFD_EXIF, EXIF_TAG_OFFSET_TIME_ORIGINAL},
};
// Texts longer than this are not dates or names.
constexpr unsigned kMaxText = 4096;

struct DataUnref {
    void operator()(ExifData* d) const { exif_data_unref(d); }
};
using Data = std::unique_ptr<ExifData, DataUnref>;

// A new entry of `tag` in `ifd`, filled with libexif's defaults for the tag; null on failure.
ExifEntry* AddEntry(ExifData* data, ExifIfd ifd, ExifTag tag) {
    ExifEntry* e = exif_entry_new();
    if (!e) return nullptr;
    exif_content_add_entry(data->ifd[ifd], e);
    exif_entry_initialize(e, tag);
    exif_entry_unref(e);  // the directory holds it now
    return e->data ? e : nullptr;
}

// A copy of a text tag of the source, kept only when it really is text.
void CopyText(ExifData* out, ExifIfd ifd, const ExifEntry* from) {
    if (!from || from->format != EXIF_FORMAT_ASCII || !from->data || from->size == 0 ||
        from->size > kMaxText || from->components != from->size)
        return;
    ExifEntry* e = exif_entry_new();
    if (!e) return;
    e->data = static_cast<unsigned char*>(std::malloc(from->size));  // freed by libexif
    if (!e->data) {
        exif_entry_unref(e);
        return;
    }
    std::memcpy(e->data, from->data, from->size);
    e->size = from->size;
    e->components = from->components;
    e->format = EXIF_FORMAT_ASCII;
    e->tag = from->tag;
    exif_content_add_entry(out->ifd[ifd], e);
    exif_entry_unref(e);
}

}  // namespace

std::vector<uint8_t> ExportExif(const uint8_t* source, size_t size, int dpi) {
    static const uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    Data out(exif_data_new());
    if (!out) return {};
    // Only what is set here goes out: no tags made up to complete the directories.
    exif_data_unset_option(out.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_data_type(out.get(), EXIF_DATA_TYPE_COMPRESSED);
    exif_data_set_byte_order(out.get(), EXIF_BYTE_ORDER_INTEL);
    const ExifByteOrder order = EXIF_BYTE_ORDER_INTEL;

    if (source && size > 8 && size < (size_t{1} << 24)) {
        const size_t header = std::memcmp(source, kHeader, 6) == 0 ? 0 : 6;
        std::vector<uint8_t> framed(header + size);
        std::memcpy(framed.data(), kHeader, header);
        std::memcpy(framed.data() + header, source, size);
        Data in(exif_data_new());
        if (in) {
            // Read as stored: nothing added, no maker note interpreted.
            exif_data_unset_option(in.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
            exif_data_set_option(in.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
            exif_data_load_data(in.get(), framed.data(), static_cast<unsigned>(framed.size()));
            for (const KeptTag& k : kKept)
                CopyText(out.get(), k.ifd, exif_content_get_entry(in->ifd[k.ifd], k.tag));
        }
    }

    if (dpi < 1) dpi = 1;
    if (dpi > 65535) dpi = 65535;
    if (ExifEntry* e = AddEntry(out.get(), EXIF_IFD_0, EXIF_TAG_ORIENTATION))
        exif_set_short(e->data, order, 1);
    for (ExifTag tag : {EXIF_TAG_X_RESOLUTION, EXIF_TAG_Y_RESOLUTION})
        if (ExifEntry* e = AddEntry(out.get(), EXIF_IFD_0, tag))
            exif_set_rational(e->data, order, ExifRational{static_cast<ExifLong>(dpi), 1});
    if (ExifEntry* e = AddEntry(out.get(), EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT))
        exif_set_short(e->data, order, 2);  // inches
    AddEntry(out.get(), EXIF_IFD_EXIF, EXIF_TAG_EXIF_VERSION);
    if (ExifEntry* e = AddEntry(out.get(), EXIF_IFD_EXIF, EXIF_TAG_COLOR_SPACE))
        exif_set_short(e->data, order, 1);  // sRGB

    unsigned char* bytes = nullptr;
    unsigned int length = 0;
    exif_data_save_data(out.get(), &bytes, &length);
    std::vector<uint8_t> result;
    if (bytes && length > 0 && length <= 65533) result.assign(bytes, bytes + length);
    std::free(bytes);
    return result;
}
