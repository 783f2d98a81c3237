#include "codec/zmbv_driver_win.h"

#include "codec/pixel_layout.h"
#include "codec/zmbv_decoder.h"
#include "codec/zmbv_encoder.h"

#include <vfw.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

namespace zmbv_driver {

namespace {

constexpr uint32_t kDib = mmioFOURCC('D', 'I', 'B', ' ');
// With no key-frame interval asked for, a key frame every this many seconds of movie keeps the
// file seekable without costing much.
constexpr uint32_t kKeySeconds = 10;

struct Shape {
    int width = 0, height = 0, bits = 0;
    bool bottomUp = true;
    zmbv::PixelFormat format = zmbv::PixelFormat::Bgr32;
};

// The frames we compress: uncompressed RGB at 8, 16, 24 or 32 bits, or 16-bit 5-6-5 fields.
std::optional<Shape> InputShape(const BITMAPINFOHEADER* h) {
    if (h == nullptr || h->biSize < sizeof(BITMAPINFOHEADER) || h->biPlanes != 1)
        return std::nullopt;
    const int height = h->biHeight < 0 ? -h->biHeight : h->biHeight;
    if (h->biHeight == INT32_MIN || !zmbv::ValidFrameSize(h->biWidth, height))
        return std::nullopt;
    bool rgb565 = false;
    if (h->biCompression == BI_BITFIELDS && h->biBitCount == 16) {
        const auto* masks = reinterpret_cast<const DWORD*>(h + 1);
        if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F)
            rgb565 = true;
        else if (!(masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F))
            return std::nullopt;
    } else if (h->biCompression != BI_RGB) {
        return std::nullopt;
    }
    const auto format = zmbv::StreamFormatFor(h->biBitCount, rgb565);
    if (!format)
        return std::nullopt;
    return Shape{h->biWidth, height, h->biBitCount, h->biHeight > 0, *format};
}

// A ZMBV stream's format record. Its bit count is only a hint: ours says 8, 15 (5-5-5), 16
// (5-6-5) or 32, other programs write what they like (24 for every format, say); the key frames
// say what the pixels really are.
bool IsOurs(const BITMAPINFOHEADER* h) {
    return h != nullptr && h->biSize >= sizeof(BITMAPINFOHEADER) && h->biCompression == kFourcc &&
           h->biHeight > 0 && zmbv::ValidFrameSize(h->biWidth, h->biHeight) && h->biBitCount <= 32;
}

WORD RecordBits(zmbv::PixelFormat f) {
    return f == zmbv::PixelFormat::Rgb555 ? 15 : static_cast<WORD>(zmbv::BytesPerPixel(f) * 8);
}

// The layout a player gets when it does not ask for one: the stream's own where its record says
// which that is, else 32-bit RGB, which holds every format exactly. Records of takes made before
// 5-5-5 was told apart say 16 for it too: written as 5-6-5 they lose nothing.
zmbv::Layout NaturalLayout(const BITMAPINFOHEADER* in) {
    switch (in->biBitCount) {
    case 8:
        return zmbv::Layout::Pal8;
    case 15:
        return zmbv::Layout::Rgb555;
    case 16:
        return zmbv::Layout::Rgb565;
    default:
        return zmbv::Layout::Bgr32;
    }
}

constexpr DWORD kMasks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr DWORD kMasks555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr DWORD kMasks888[3] = {0xFF0000, 0x00FF00, 0x0000FF};

bool HasMasks(const BITMAPINFOHEADER* h, const DWORD (&masks)[3]) {
    // After a plain header, or inside a larger one at the same place.
    return std::memcmp(reinterpret_cast<const uint8_t*>(h) + sizeof(BITMAPINFOHEADER), masks,
                       sizeof masks) == 0;
}

// The layout a player's picture format describes, if we can write it.
std::optional<zmbv::Layout> LayoutOf(const BITMAPINFOHEADER* h) {
    if (h == nullptr || h->biSize < sizeof(BITMAPINFOHEADER) || h->biPlanes > 1)
        return std::nullopt;
    if (h->biCompression == BI_RGB) {
        switch (h->biBitCount) {
        case 8:
            return zmbv::Layout::Pal8;
        case 16:
            return zmbv::Layout::Rgb555;
        case 24:
            return zmbv::Layout::Bgr24;
        case 32:
            return zmbv::Layout::Bgr32;
        default:
            return std::nullopt;
        }
    }
    if (h->biCompression == BI_BITFIELDS && h->biBitCount == 16)
        return HasMasks(h, kMasks565)   ? std::optional(zmbv::Layout::Rgb565)
               : HasMasks(h, kMasks555) ? std::optional(zmbv::Layout::Rgb555)
                                        : std::nullopt;
    if (h->biCompression == BI_BITFIELDS && h->biBitCount == 32 && HasMasks(h, kMasks888))
        return zmbv::Layout::Bgr32;
    return std::nullopt;
}

size_t RowBytes(int width, int bits) {
    return (static_cast<size_t>(width) * bits + 31) / 32 * 4;
}

LRESULT GetInfo(ICINFO* info, LPARAM size) {
    if (info == nullptr || size < static_cast<LPARAM>(sizeof(ICINFO)))
        return 0;
    std::memset(info, 0, sizeof(ICINFO));
    info->dwSize = sizeof(ICINFO);
    info->fccType = ICTYPE_VIDEO;
    info->fccHandler = kFourcc;
    // Temporal without needing the previous frame handed back: the encoder keeps its own. Being
    // lossless it meets every quality; saying so keeps a compressing stream from compressing a
    // large frame again at a lower quality, which would feed the encoder the same frame twice.
    info->dwFlags = VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC | VIDCF_COMPRESSFRAMES | VIDCF_QUALITY;
    info->dwVersion = 1;
    info->dwVersionICM = ICVERSION;
    std::wcsncpy(info->szName, L"ZMBV", std::size(info->szName) - 1);
    std::wcsncpy(info->szDescription, kDescription, std::size(info->szDescription) - 1);
    return sizeof(ICINFO);
}

// One open instance of the codec: a compression and a decompression session.
class Codec {
public:
    LRESULT Message(UINT message, LPARAM lParam1, LPARAM lParam2);

private:
    LRESULT CompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out);
    LRESULT CompressFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out);
    LRESULT CompressBegin(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out);
    LRESULT Compress(const ICCOMPRESS& c);
    LRESULT DecompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out,
                            bool wider = false);
    LRESULT DecompressFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out);
    LRESULT DecompressBegin(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out,
                            bool wider = false);
    LRESULT Decompress(DWORD flags, const BITMAPINFOHEADER* in, const void* data,
                       BITMAPINFOHEADER* out, void* pixels, bool wider = false);
    LRESULT DecompressEx(UINT message, const ICDECOMPRESSEX* d);

    zmbv::Encoder encoder_;
    std::vector<uint8_t> packet_;
    Shape input_;
    bool compressing_ = false;
    uint32_t rate_ = 0, scale_ = 0;
    LONG keyRate_ = -1;
    LONG sinceKey_ = 0;
    LONG lastFrame_ = 0;
    bool haveLast_ = false;
    zmbv::Decoder decoder_;
    bool decompressing_ = false;
};

LRESULT Codec::CompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    const auto shape = InputShape(in);
    if (!shape)
        return ICERR_BADFORMAT;
    if (out != nullptr &&
        (!IsOurs(out) || out->biWidth != shape->width || out->biHeight != shape->height))
        return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT Codec::CompressFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
    const auto shape = InputShape(in);
    if (!shape)
        return ICERR_BADFORMAT;
    if (out == nullptr)
        return sizeof(BITMAPINFOHEADER);
    zmbv::Encoder sizer;
    if (!sizer.Start(shape->width, shape->height, shape->format, 0))
        return ICERR_BADFORMAT;
    std::memset(out, 0, sizeof(BITMAPINFOHEADER));
    out->biSize = sizeof(BITMAPINFOHEADER);
    out->biWidth = shape->width;
    out->biHeight = shape->height;
    out->biPlanes = 1;
    out->biBitCount = RecordBits(shape->format);
    out->biCompression = kFourcc;
    out->biSizeImage = static_cast<DWORD>(sizer.MaxFrameBytes());
    return ICERR_OK;
}

LRESULT Codec::CompressBegin(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    if (CompressQuery(in, out) != ICERR_OK)
        return ICERR_BADFORMAT;
    input_ = *InputShape(in);
    if (!encoder_.Start(input_.width, input_.height, input_.format, zmbv::kDefaultLevel,
                        zmbv::DefaultThreads()))
        return ICERR_MEMORY;
    packet_.reserve(encoder_.MaxFrameBytes());
    compressing_ = true;
    sinceKey_ = 0;
    haveLast_ = false;
    return ICERR_OK;
}

LRESULT Codec::Compress(const ICCOMPRESS& c) {
    if (!compressing_ || c.lpInput == nullptr || c.lpOutput == nullptr || c.lpbiOutput == nullptr)
        return ICERR_BADPARAM;
    const auto shape = InputShape(c.lpbiInput);
    if (!shape || shape->width != input_.width || shape->height != input_.height ||
        shape->format != input_.format)
        return ICERR_BADFORMAT;
    zmbv::Palette palette{};
    if (shape->bits == 8) {
        const DWORD used =
            c.lpbiInput->biClrUsed == 0 ? 256 : std::min<DWORD>(256, c.lpbiInput->biClrUsed);
        const auto* table = reinterpret_cast<const RGBQUAD*>(
            reinterpret_cast<const uint8_t*>(c.lpbiInput) + c.lpbiInput->biSize);
        for (DWORD i = 0; i < used; ++i) {
            palette[i * 3] = table[i].rgbRed;
            palette[i * 3 + 1] = table[i].rgbGreen;
            palette[i * 3 + 2] = table[i].rgbBlue;
        }
    }
    const size_t row = RowBytes(shape->width, shape->bits);
    const auto* bits = static_cast<const uint8_t*>(c.lpInput);
    zmbv::InputFrame frame{bits, static_cast<ptrdiff_t>(row), shape->bits,
                           shape->bits == 8 ? &palette : nullptr};
    if (shape->bottomUp) {
        frame.top = bits + row * static_cast<size_t>(shape->height - 1);
        frame.stride = -frame.stride;
    }
    // Asked for no key frames after the first: one every few seconds of movie all the same.
    bool key = (c.dwFlags & ICCOMPRESS_KEYFRAME) != 0;
    if (keyRate_ <= 0 && rate_ != 0 && scale_ != 0 &&
        static_cast<uint64_t>(sinceKey_) * scale_ >= uint64_t{kKeySeconds} * rate_)
        key = true;
    // The same frame asked again (a caller retrying): the encoder has already moved past it,
    // so the frame it gave then is given again.
    const bool again = haveLast_ && c.lFrameNum == lastFrame_ && !packet_.empty() &&
                       (!key || encoder_.LastWasKey());
    if (!again && !encoder_.Encode(frame, key, packet_)) {
        haveLast_ = false;
        return ICERR_ERROR;
    }
    haveLast_ = true;
    lastFrame_ = c.lFrameNum;
    if (packet_.size() > encoder_.MaxFrameBytes())
        return ICERR_ERROR;
    std::memcpy(c.lpOutput, packet_.data(), packet_.size());
    c.lpbiOutput->biSizeImage = static_cast<DWORD>(packet_.size());
    if (!again)
        sinceKey_ = encoder_.LastWasKey() ? 1 : sinceKey_ + 1;
    if (c.lpdwFlags != nullptr)
        *c.lpdwFlags = encoder_.LastWasKey() ? AVIIF_KEYFRAME : 0;
    if (c.lpckid != nullptr)
        *c.lpckid = 0;
    return ICERR_OK;
}

// `wider`: the extended calls may hand a picture wider than the frame (a renderer's surface), the
// frame going to its left.
LRESULT Codec::DecompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out,
                               bool wider) {
    if (!IsOurs(in))
        return ICERR_BADFORMAT;
    if (out == nullptr)
        return ICERR_OK;
    const auto layout = LayoutOf(out);
    const LONG height = out->biHeight < 0 ? -out->biHeight : out->biHeight;
    if (!layout || height != in->biHeight ||
        (wider ? out->biWidth < in->biWidth : out->biWidth != in->biWidth))
        return ICERR_BADFORMAT;
    // Palette indices only from a palette stream.
    if (*layout == zmbv::Layout::Pal8 && NaturalLayout(in) != zmbv::Layout::Pal8)
        return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT Codec::DecompressFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
    if (!IsOurs(in))
        return ICERR_BADFORMAT;
    const zmbv::Layout layout = NaturalLayout(in);
    const size_t extra = layout == zmbv::Layout::Pal8     ? 256 * sizeof(RGBQUAD)
                         : layout == zmbv::Layout::Rgb565 ? sizeof kMasks565
                                                          : 0;
    if (out == nullptr)
        return static_cast<LRESULT>(sizeof(BITMAPINFOHEADER) + extra);
    std::memset(out, 0, sizeof(BITMAPINFOHEADER) + extra);
    out->biSize = sizeof(BITMAPINFOHEADER);
    out->biWidth = in->biWidth;
    out->biHeight = in->biHeight;
    out->biPlanes = 1;
    out->biBitCount = static_cast<WORD>(zmbv::LayoutBits(layout));
    out->biCompression = layout == zmbv::Layout::Rgb565 ? BI_BITFIELDS : BI_RGB;
    out->biSizeImage = static_cast<DWORD>(RowBytes(in->biWidth, out->biBitCount) * in->biHeight);
    if (layout == zmbv::Layout::Rgb565)
        std::memcpy(out + 1, kMasks565, sizeof kMasks565);
    if (layout == zmbv::Layout::Pal8) {
        // The real palette comes with each frame; until then a grey ramp.
        out->biClrUsed = 256;
        auto* table = reinterpret_cast<RGBQUAD*>(out + 1);
        for (size_t i = 0; i < 256; ++i)
            table[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    }
    return ICERR_OK;
}

LRESULT Codec::DecompressBegin(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out,
                               bool wider) {
    // A host may hand the stream's own compressed format here instead of the picture's (Wine's
    // DirectShow decompressor does): only the input can be checked then. Every frame's call
    // checks the picture it is given, so no wrong picture can come of it.
    const bool picture =
        out != nullptr && (out->biCompression == BI_RGB || out->biCompression == BI_BITFIELDS);
    if (DecompressQuery(in, picture ? out : nullptr, wider) != ICERR_OK)
        return ICERR_BADFORMAT;
    // A new start after a seek: the next frame must be a key frame.
    if (!decoder_.Start(in->biWidth, in->biHeight))
        return ICERR_MEMORY;
    decompressing_ = true;
    return ICERR_OK;
}

LRESULT Codec::Decompress(DWORD flags, const BITMAPINFOHEADER* in, const void* data,
                          BITMAPINFOHEADER* out, void* pixels, bool wider) {
    if (!decompressing_ || in == nullptr || out == nullptr ||
        (data == nullptr && in->biSizeImage != 0))
        return ICERR_BADPARAM;
    if (DecompressQuery(in, out, wider) != ICERR_OK || in->biWidth != decoder_.Width() ||
        in->biHeight != decoder_.Height())
        return ICERR_BADFORMAT;
    // A delta frame the decoder cannot place (no key frame since the start or since a damaged
    // frame) is an error, never a picture made of the wrong frame.
    if (decoder_.Decode({static_cast<const uint8_t*>(data), in->biSizeImage}) !=
        zmbv::DecodeResult::Ok)
        return ICERR_ERROR;
    const zmbv::Layout layout = *LayoutOf(out);
    if (!zmbv::CanWrite(decoder_.Format(), layout))
        return ICERR_BADFORMAT;
    // Catching up after a seek: the frame counts for the next ones, but nobody looks at it.
    if ((flags & ICDECOMPRESS_HURRYUP) != 0 || pixels == nullptr)
        return ICERR_OK;
    const size_t row = RowBytes(out->biWidth, zmbv::LayoutBits(layout));
    const size_t sourceRow =
        static_cast<size_t>(decoder_.Width()) * zmbv::BytesPerPixel(decoder_.Format());
    const bool bottomUp = out->biHeight > 0;
    for (int y = 0; y < decoder_.Height(); ++y)
        zmbv::WriteRow(decoder_.Format(), decoder_.Pixels().data() + sourceRow * y,
                       decoder_.PaletteRgb(), layout,
                       static_cast<uint8_t*>(pixels) +
                           row * static_cast<size_t>(bottomUp ? decoder_.Height() - 1 - y : y),
                       decoder_.Width());
    if (layout == zmbv::Layout::Pal8 && (out->biClrUsed == 0 || out->biClrUsed == 256)) {
        auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(out) + out->biSize);
        const auto& p = decoder_.PaletteRgb();
        for (size_t i = 0; i < 256; ++i)
            table[i] = {p[i * 3 + 2], p[i * 3 + 1], p[i * 3], 0};
    }
    return ICERR_OK;
}

// The extended calls, which DirectShow's decompressor uses: the same, for the whole frame only
// (an empty rectangle meaning the whole frame).
LRESULT Codec::DecompressEx(UINT message, const ICDECOMPRESSEX* d) {
    if (d == nullptr)
        return ICERR_BADPARAM;
    const BITMAPINFOHEADER* in = d->lpbiSrc;
    if (!IsOurs(in))
        return ICERR_BADFORMAT;
    const auto whole = [&](int x, int y, int dx, int dy) {
        return (x == 0 && y == 0 && dx == 0 && dy == 0) ||
               (x == 0 && y == 0 && dx == in->biWidth && dy == in->biHeight);
    };
    if (!whole(d->xSrc, d->ySrc, d->dxSrc, d->dySrc) ||
        !whole(d->xDst, d->yDst, d->dxDst, d->dyDst))
        return ICERR_BADPARAM;
    switch (message) {
    case ICM_DECOMPRESSEX_QUERY:
        return DecompressQuery(in, d->lpbiDst, true);
    case ICM_DECOMPRESSEX_BEGIN:
        return DecompressBegin(in, d->lpbiDst, true);
    default:
        return Decompress(d->dwFlags, in, d->lpSrc, d->lpbiDst, d->lpDst, true);
    }
}

LRESULT Codec::Message(UINT message, LPARAM lParam1, LPARAM lParam2) {
    const auto* in = reinterpret_cast<const BITMAPINFOHEADER*>(lParam1);
    switch (message) {
    case ICM_GETDEFAULTQUALITY:
        if (lParam1 != 0)
            *reinterpret_cast<DWORD*>(lParam1) = ICQUALITY_HIGH;
        return ICERR_OK;
    case ICM_GETDEFAULTKEYFRAMERATE:
        // Ten seconds at the usual 15 frames a second.
        if (lParam1 != 0)
            *reinterpret_cast<DWORD*>(lParam1) = kKeySeconds * 15;
        return ICERR_OK;
    case ICM_GETSTATE:
        return 0;
    case ICM_SETSTATE:
        return 0;
    case ICM_COMPRESS_QUERY:
        return CompressQuery(in, reinterpret_cast<const BITMAPINFOHEADER*>(lParam2));
    case ICM_COMPRESS_GET_FORMAT:
        return CompressFormat(in, reinterpret_cast<BITMAPINFOHEADER*>(lParam2));
    case ICM_COMPRESS_GET_SIZE: {
        const auto shape = InputShape(in);
        zmbv::Encoder sizer;
        if (!shape || !sizer.Start(shape->width, shape->height, shape->format, 0))
            return 0;
        return static_cast<LRESULT>(sizer.MaxFrameBytes());
    }
    case ICM_COMPRESS_FRAMES_INFO:
        if (const auto* f = reinterpret_cast<const ICCOMPRESSFRAMES*>(lParam1)) {
            rate_ = f->dwRate;
            scale_ = f->dwScale;
            keyRate_ = f->lKeyRate;
        }
        return ICERR_OK;
    case ICM_COMPRESS_BEGIN:
        return CompressBegin(in, reinterpret_cast<const BITMAPINFOHEADER*>(lParam2));
    case ICM_COMPRESS:
        if (lParam1 == 0)
            return ICERR_BADPARAM;
        return Compress(*reinterpret_cast<const ICCOMPRESS*>(lParam1));
    case ICM_COMPRESS_END:
        compressing_ = false;
        return ICERR_OK;
    case ICM_DECOMPRESS_QUERY:
        return DecompressQuery(in, reinterpret_cast<const BITMAPINFOHEADER*>(lParam2));
    case ICM_DECOMPRESS_GET_FORMAT:
        return DecompressFormat(in, reinterpret_cast<BITMAPINFOHEADER*>(lParam2));
    case ICM_DECOMPRESS_BEGIN:
        return DecompressBegin(in, reinterpret_cast<const BITMAPINFOHEADER*>(lParam2));
    case ICM_DECOMPRESS: {
        if (lParam1 == 0)
            return ICERR_BADPARAM;
        const auto& d = *reinterpret_cast<const ICDECOMPRESS*>(lParam1);
        return Decompress(d.dwFlags, d.lpbiInput, d.lpInput, d.lpbiOutput, d.lpOutput);
    }
    case ICM_DECOMPRESS_END:
    case ICM_DECOMPRESSEX_END:
        decompressing_ = false;
        return ICERR_OK;
    case ICM_DECOMPRESSEX_QUERY:
    case ICM_DECOMPRESSEX_BEGIN:
    case ICM_DECOMPRESSEX:
        return DecompressEx(message, reinterpret_cast<const ICDECOMPRESSEX*>(lParam1));
    default:
        return ICERR_UNSUPPORTED;
    }
}

} // namespace

extern "C" LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM lParam1,
                                       LPARAM lParam2) {
    // No exception may cross into the platform: a failure becomes the platform's error code.
    try {
        switch (message) {
        case DRV_LOAD:
        case DRV_FREE:
        case DRV_ENABLE:
        case DRV_DISABLE:
        case DRV_INSTALL:
        case DRV_REMOVE:
            return DRV_OK;
        case DRV_OPEN: {
            auto* open = reinterpret_cast<ICOPEN*>(lParam2);
            if (open != nullptr && open->fccType != ICTYPE_VIDEO)
                return 0;
            auto* codec = new (std::nothrow) Codec;
            if (open != nullptr)
                open->dwError = codec ? ICERR_OK : ICERR_MEMORY;
            return reinterpret_cast<LRESULT>(codec);
        }
        case DRV_CLOSE:
            delete reinterpret_cast<Codec*>(id);
            return DRV_OK;
        case DRV_QUERYCONFIGURE:
            return 0;
        case DRV_CONFIGURE:
            return DRV_CANCEL;
        default:
            if (message < DRV_USER)
                return ::DefDriverProc(id, driver, message, lParam1, lParam2);
            // The enumeration asks for the description without opening the codec.
            if (message == ICM_GETINFO)
                return GetInfo(reinterpret_cast<ICINFO*>(lParam1), lParam2);
            if (id == 0)
                return ICERR_BADHANDLE;
            return reinterpret_cast<Codec*>(id)->Message(message, lParam1, lParam2);
        }
    } catch (const std::bad_alloc&) {
        return ICERR_MEMORY;
    } catch (...) {
        return ICERR_INTERNAL;
    }
}

Installation::Installation() noexcept
    : installed_(::ICInstall(ICTYPE_VIDEO, kFourcc, reinterpret_cast<LPARAM>(&DriverProc), nullptr,
                             ICINSTALL_FUNCTION) != FALSE) {}

Installation::~Installation() {
    if (installed_)
        ::ICRemove(ICTYPE_VIDEO, kFourcc, 0);
}

uint32_t FallbackHandler(const BITMAPINFO* frameFormat) {
    const HIC ic = ::ICOpen(ICTYPE_VIDEO, kFourcc, ICMODE_COMPRESS);
    if (ic == nullptr)
        return kDib;
    const bool takes = ICCompressQuery(ic, frameFormat, nullptr) == ICERR_OK;
    ::ICClose(ic);
    return takes ? kFourcc : kDib;
}

} // namespace zmbv_driver
