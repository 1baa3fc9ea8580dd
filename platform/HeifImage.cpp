#include "platform/HeifImage.h"

#include <QColorSpace>
#include <QPointF>
#include <algorithm>
#include <climits>
#include <libheif/heif.h>
#include <memory>
#include <vector>

#include "medialib/tq9media.h"

namespace tq9 {

namespace {

constexpr int kMaxSide = 16384; // with kMaxPixels below, more than any photo

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct NclxFree {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
using ContextPtr = std::unique_ptr<heif_context, ContextFree>;
using HandlePtr = std::unique_ptr<heif_image_handle, HandleFree>;
using ImagePtr = std::unique_ptr<heif_image, ImageFree>;
using NclxPtr = std::unique_ptr<heif_color_profile_nclx, NclxFree>;

// The primary picture of file; file must outlive context (it is not copied).
HandlePtr PrimaryPicture(const QByteArray& file, ContextPtr& context)
{
    context.reset(heif_context_alloc());
    if (!context)
        return nullptr;
    // libheif allocates what a header claims, up to a gigapixel by default.
    heif_context_set_maximum_image_size_limit(context.get(), kMaxSide);
    if (heif_context_read_from_memory_without_copy(context.get(), file.constData(),
                        static_cast<size_t>(file.size()), nullptr)
                            .code != heif_error_Ok)
        return nullptr;
    heif_image_handle* handle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok)
        return nullptr;
    return HandlePtr(handle);
}

// The nclx colour description, when the picture has one (not an ICC profile).
NclxPtr NclxOf(const heif_image_handle* handle)
{
    heif_color_profile_nclx* raw = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &raw).code != heif_error_Ok)
        return nullptr;
    return NclxPtr(raw);
}

bool IsHdr(const heif_color_profile_nclx* nclx)
{
    return nclx && Tq9MediaIsHdrTransfer(nclx->transfer_characteristics);
}

// The brightest the picture gets, as its content light level or else its mastering display says; 0 unknown.
double PeakNits(const heif_image* image)
{
    if (heif_image_has_content_light_level(image)) {
        heif_content_light_level light{};
        heif_image_get_content_light_level(image, &light);
        if (light.max_content_light_level > 0)
            return light.max_content_light_level;
    }
    if (heif_image_has_mastering_display_colour_volume(image)) {
        heif_mastering_display_colour_volume coded{};
        heif_decoded_mastering_display_colour_volume display{};
        heif_image_get_mastering_display_colour_volume(image, &coded);
        if (heif_mastering_display_colour_volume_decode(&coded, &display).code == heif_error_Ok)
            return display.max_display_mastering_luminance;
    }
    return 0;
}

// A 16-bit copy of HDR pixels stored with bits bits (10, 12), widened to the full 16 by repeating the top
// bits below them (1023 -> 65535).
QImage DeepCopy(const uint8_t* pixels, int width, int height, int stride, int bits, bool alpha)
{
    if (bits < 8 || bits > 16)
        return {};
    QImage picture(width, height, alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    if (picture.isNull())
        return {};
    const int channels = alpha ? 4 : 3;
    const int up = 16 - bits;
    const int down = bits - up;
    const uint16_t max = static_cast<uint16_t>((1u << bits) - 1);
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const uint16_t*>(pixels + static_cast<size_t>(y) * stride);
        auto* out = reinterpret_cast<uint16_t*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x, in += channels, out += 4) {
            for (int c = 0; c < channels; ++c) {
                const uint16_t v = std::min(in[c], max);
                out[c] = static_cast<uint16_t>(v << up | v >> down);
            }
            if (!alpha)
                out[3] = 0xffff;
        }
    }
    return picture;
}

// An ICC profile, or the primaries of an nclx description with an SDR transfer; invalid otherwise.
QColorSpace ColourSpaceOf(const heif_image_handle* handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        QByteArray icc(static_cast<qsizetype>(heif_image_handle_get_raw_color_profile_size(handle)), '\0');
        if (icc.isEmpty() || heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
            return {};
        return QColorSpace::fromIccProfile(icc);
    }
    const NclxPtr nclx = NclxOf(handle);
    if (!nclx)
        return {};
    if (nclx->color_primaries == heif_color_primaries_unspecified)
        return {};
    QColorSpace::TransferFunction transfer = QColorSpace::TransferFunction::SRgb;
    switch (nclx->transfer_characteristics) {
    case heif_transfer_characteristic_linear:
        transfer = QColorSpace::TransferFunction::Linear;
        break;
    case heif_transfer_characteristic_ITU_R_BT_2100_0_PQ:
    case heif_transfer_characteristic_ITU_R_BT_2100_0_HLG:
        return {}; // HDR pictures are converted through CHdrStill instead
    default:
        break; // sRGB and the video curves photos are tagged with, all close to sRGB's
    }
    return QColorSpace(QPointF(nclx->color_primary_white_x, nclx->color_primary_white_y),
        QPointF(nclx->color_primary_red_x, nclx->color_primary_red_y),
        QPointF(nclx->color_primary_green_x, nclx->color_primary_green_y),
        QPointF(nclx->color_primary_blue_x, nclx->color_primary_blue_y), transfer);
}

// Big-endian reads within [at, end) of a file; a read past end sets ok to false and yields 0.
struct BoxReader {
    const QByteArray& file;
    qint64 at;
    qint64 end;
    bool ok = true;

    uint64_t Read(int bytes)
    {
        if (bytes < 0 || bytes > 8 || end - at < bytes) {
            ok = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | static_cast<uint8_t>(file[at++]);
        return v;
    }
    // The next box's type, its payload becoming [at, payloadEnd); false at the end or on a bad size.
    bool NextBox(uint32_t& type, qint64& payloadEnd)
    {
        if (end - at < 8)
            return false;
        const qint64 start = at;
        uint64_t size = Read(4);
        type = static_cast<uint32_t>(Read(4));
        if (size == 1)
            size = Read(8);
        else if (size == 0)
            size = static_cast<uint64_t>(end - start);
        if (!ok || size < static_cast<uint64_t>(at - start))
            return false;
        // libheif reads a box that claims more than its parent holds up to the parent's end.
        size = std::min(size, static_cast<uint64_t>(end - start));
        payloadEnd = start + static_cast<qint64>(size);
        return true;
    }
};

constexpr uint32_t fourcc(const char (&s)[5])
{
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

// The item types libheif 1.15 decodes as pictures.
constexpr uint32_t kPictureTypes[] = {fourcc("hvc1"), fourcc("av01"), fourcc("grid"), fourcc("iovl"), fourcc("iden")};

// What a file's derived pictures (grids, overlays) are made of, as far as libheif 1.15 does not check it.
struct DerivedT {
    // The output size the primary picture's grid or overlay description gives (what libheif allocates for
    // it, whatever the declared size says); invalid when it is neither or its description cannot be found.
    QSize size;
    // A derived picture names a part that is no coded picture (an overlay of a missing item aborted libheif).
    bool dangling = false;
};

DerivedT Derived(const QByteArray& file)
{
    DerivedT derived;
    BoxReader top{file, 0, file.size()};
    uint32_t type = 0;
    qint64 metaEnd = 0;
    while (top.NextBox(type, metaEnd) && type != fourcc("meta"))
        top.at = metaEnd;
    if (type != fourcc("meta"))
        return derived;
    BoxReader meta{file, top.at + 4, metaEnd}; // past the version and flags
    uint64_t primary = 0;
    uint32_t primaryType = 0;
    qint64 idat = -1, idatEnd = -1;
    struct {
        int method = -1;
        uint64_t offset = 0;
        uint64_t length = 0;
    } data;
    std::vector<std::pair<uint64_t, uint32_t>> types; // item id, item type
    std::vector<uint64_t> parts;                      // the items derived pictures are made of
    qint64 childEnd = 0;
    for (; meta.NextBox(type, childEnd); meta.at = childEnd) {
        BoxReader box{file, meta.at, childEnd};
        const int version = static_cast<int>(box.Read(4) >> 24);
        if (type == fourcc("pitm")) {
            primary = box.Read(version == 0 ? 2 : 4);
        } else if (type == fourcc("iinf")) {
            box.Read(version == 0 ? 2 : 4);
            qint64 infeEnd = 0;
            for (uint32_t infe = 0; box.NextBox(infe, infeEnd); box.at = infeEnd) {
                BoxReader entry{file, box.at, infeEnd};
                const int entryVersion = static_cast<int>(entry.Read(4) >> 24);
                if (infe != fourcc("infe") || entryVersion < 2)
                    continue;
                const uint64_t id = entry.Read(entryVersion == 2 ? 2 : 4);
                entry.Read(2);
                const uint32_t itemType = static_cast<uint32_t>(entry.Read(4));
                if (entry.ok)
                    types.emplace_back(id, itemType);
            }
        } else if (type == fourcc("iref")) {
            qint64 refEnd = 0;
            for (uint32_t ref = 0; box.NextBox(ref, refEnd); box.at = refEnd) {
                BoxReader entry{file, box.at, refEnd};
                entry.Read(version == 0 ? 2 : 4);
                const uint64_t count = entry.Read(2);
                for (uint64_t i = 0; i < count && entry.ok && ref == fourcc("dimg"); ++i)
                    parts.push_back(entry.Read(version == 0 ? 2 : 4));
            }
        } else if (type == fourcc("idat")) {
            idat = meta.at;
            idatEnd = childEnd;
        }
    }
    for (const uint64_t part : parts) {
        const auto item = std::find_if(types.begin(), types.end(), [part](const auto& t) { return t.first == part; });
        derived.dangling = derived.dangling || item == types.end() ||
                           !std::count(std::begin(kPictureTypes), std::end(kPictureTypes), item->second);
    }
    for (const auto& [id, itemType] : types)
        if (id == primary)
            primaryType = itemType;
    if (primaryType != fourcc("grid") && primaryType != fourcc("iovl"))
        return derived;
    // The location of the description: its first extent holds the few bytes needed.
    for (meta.at = top.at + 4; meta.NextBox(type, childEnd); meta.at = childEnd) {
        if (type != fourcc("iloc"))
            continue;
        BoxReader box{file, meta.at, childEnd};
        const int version = static_cast<int>(box.Read(4) >> 24);
        const int sizes = static_cast<int>(box.Read(1));
        const int more = static_cast<int>(box.Read(1));
        const int offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = more >> 4;
        const int indexSize = version >= 1 ? more & 15 : 0;
        const uint64_t count = box.Read(version < 2 ? 2 : 4);
        for (uint64_t item = 0; item < count && box.ok; ++item) {
            const uint64_t id = box.Read(version < 2 ? 2 : 4);
            const int method = version >= 1 ? static_cast<int>(box.Read(2) & 15) : 0;
            box.Read(2);
            const uint64_t base = box.Read(baseSize);
            const uint64_t extents = box.Read(2);
            for (uint64_t e = 0; e < extents && box.ok; ++e) {
                box.Read(indexSize);
                const uint64_t offset = box.Read(offsetSize);
                const uint64_t length = box.Read(lengthSize);
                if (id == primary && e == 0 && box.ok)
                    data = {method, base + offset, length};
            }
        }
    }
    qint64 from = 0, to = file.size();
    if (data.method == 1 && idat >= 0) {
        from = idat;
        to = idatEnd;
    } else if (data.method != 0) {
        return derived;
    }
    if (data.offset > static_cast<uint64_t>(to - from))
        return derived;
    BoxReader description{file, from + static_cast<qint64>(data.offset), to};
    if (data.length > 0 && data.length < static_cast<uint64_t>(description.end - description.at))
        description.end = description.at + static_cast<qint64>(data.length);
    description.Read(1);
    const bool wide = description.Read(1) & 1;
    // A grid's rows and columns, an overlay's four fill values, before the size.
    for (int skip = primaryType == fourcc("grid") ? 2 : 8; skip > 0; skip -= 2)
        description.Read(2);
    const uint64_t width = description.Read(wide ? 4 : 2);
    const uint64_t height = description.Read(wide ? 4 : 2);
    if (description.ok && width <= INT_MAX && height <= INT_MAX)
        derived.size = QSize(static_cast<int>(width), static_cast<int>(height));
    return derived;
}

} // namespace

bool CHeifImage::IsHeif(const QByteArray& head)
{
    if (head.size() < kHeadSize)
        return false;
    return heif_check_filetype(reinterpret_cast<const uint8_t*>(head.constData()), static_cast<int>(head.size())) ==
        heif_filetype_yes_supported;
}

QSize CHeifImage::ShownSize(const QByteArray& file)
{
    ContextPtr context;
    const HandlePtr handle = PrimaryPicture(file, context);
    if (!handle)
        return {};
    return QSize(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()));
}

QImage CHeifImage::Read(const QByteArray& file, CHdrStill* hdr)
{
    ContextPtr context;
    const HandlePtr handle = PrimaryPicture(file, context);
    if (!handle)
        return {};
    // libheif allocates what the header claims: no photo is larger than this.
    // The size as shown (a crop applied) and as stored (ispe), which a grid must fill.
    const int shownWidth = heif_image_handle_get_width(handle.get());
    const int shownHeight = heif_image_handle_get_height(handle.get());
    const int ispeWidth = heif_image_handle_get_ispe_width(handle.get());
    const int ispeHeight = heif_image_handle_get_ispe_height(handle.get());
    const bool stored = ispeWidth > 0 && ispeHeight > 0;
    const int64_t claimed = stored ? int64_t(ispeWidth) * ispeHeight : int64_t(shownWidth) * shownHeight;
    const int longest = std::max({shownWidth, shownHeight, ispeWidth, ispeHeight});
    if (shownWidth <= 0 || shownHeight <= 0 || claimed > kMaxPixels || longest >= kMaxSide)
        return {};
    // A grid's size comes from its own data, which libheif 1.15 never compares with the declared one: 530
    // bytes declaring 24x32 made it assemble 16383x16383 (1.6 GB, 19 s). No side may outgrow the declared
    // longest one (libheif refuses a side at or above the limit).
    heif_context_set_maximum_image_size_limit(context.get(), longest + 1);
    // That limit takes one side for both, so a long thin declaration (16383x1) still let a grid make a
    // 16383x16383 picture (24 s, 1.6 GB; an overlay 17 s): a grid's or an overlay's own size may not
    // outgrow the declared area either.
    const DerivedT derived = Derived(file);
    if (derived.dangling || (derived.size.isValid() && int64_t(derived.size.width()) * derived.size.height() > claimed))
        return {};
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    const NclxPtr nclx = NclxOf(handle.get());
    const bool deep = IsHdr(nclx.get()); // PQ and HLG need their 10 bits through the tone mapping
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* raw = nullptr;
    // libheif applies the rotation and mirroring the file asks for (irot, imir) while decoding.
    if (heif_decode_image(handle.get(), &raw, heif_colorspace_RGB, chroma, nullptr).code != heif_error_Ok)
        return {};
    const ImagePtr image(raw);
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!pixels || width <= 0 || height <= 0)
        return {};
    if (deep) {
        if (hdr)
            *hdr = CHdrStill(nclx->transfer_characteristics, nclx->color_primaries, PeakNits(image.get()));
        return DeepCopy(pixels, width, height, stride,
            heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved), alpha);
    }
    // A deep copy: the pixels belong to the decoded image, released on return.
    QImage picture =
        QImage(pixels, width, height, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888).copy();
    picture.setColorSpace(ColourSpaceOf(handle.get()));
    return picture;
}

} // namespace tq9
