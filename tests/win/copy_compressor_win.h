#pragma once

// A video compressor for tests, installed in this process only. It "compresses" by copying the
// frame and tagging it with its own FOURCC, so the AVI services run their whole compressing path
// with a codec whose output is known byte for byte. It can be made slow on the first frame (a
// codec that warms up) or on every frame (one that cannot keep up with the capture rate).

#include <windows.h>
// windows.h first: vfw.h depends on its types.
#include <vfw.h>

#include <atomic>
#include <cstring>

namespace copy_compressor {

inline constexpr DWORD kFourcc = mmioFOURCC('T', 'S', 'T', 'C');

struct Behaviour {
    std::atomic<DWORD> firstFrameDelayMs{0};
    std::atomic<DWORD> frameDelayMs{0};
    // Stands for a codec that cannot take the screen's frames at all.
    std::atomic<bool> refuseFrames{false};
    // Stands for a codec that says yes when asked and then fails inside the compressing stream.
    std::atomic<bool> failToBegin{false};
    std::atomic<int> framesCompressed{0};
    std::atomic<int> openInstances{0};
};

inline Behaviour& Current() {
    static Behaviour behaviour;
    return behaviour;
}

inline DWORD ImageBytes(const BITMAPINFOHEADER& h) {
    const LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    return static_cast<DWORD>((h.biWidth * h.biBitCount + 31) / 32 * 4 * height);
}

inline bool Accepts(const BITMAPINFOHEADER* in) {
    return in != nullptr && !Current().refuseFrames.load() && in->biCompression == BI_RGB &&
           in->biWidth > 0 && in->biHeight != 0 &&
           (in->biBitCount == 16 || in->biBitCount == 24 || in->biBitCount == 32);
}

// The output is the input's own header under our FOURCC: no colour table, same size.
inline void OutputFormat(const BITMAPINFOHEADER& in, BITMAPINFOHEADER& out) {
    out = in;
    out.biSize = sizeof(BITMAPINFOHEADER);
    out.biCompression = kFourcc;
    out.biSizeImage = ImageBytes(in);
    out.biClrUsed = 0;
    out.biClrImportant = 0;
}

inline LRESULT Compress(ICCOMPRESS& c) {
    Behaviour& b = Current();
    const int frame = b.framesCompressed.fetch_add(1);
    const DWORD delay = frame == 0 ? b.firstFrameDelayMs.load() : b.frameDelayMs.load();
    if (delay > 0)
        ::Sleep(delay);
    const DWORD size = ImageBytes(*c.lpbiInput);
    std::memcpy(c.lpOutput, c.lpInput, size);
    c.lpbiOutput->biSizeImage = size;
    if (c.lpdwFlags != nullptr)
        *c.lpdwFlags = AVIIF_KEYFRAME;
    return ICERR_OK;
}

inline LRESULT Decompress(ICDECOMPRESS& d) {
    std::memcpy(d.lpOutput, d.lpInput, ImageBytes(*d.lpbiOutput));
    return ICERR_OK;
}

inline LRESULT Info(ICINFO* info, LPARAM size) {
    if (info == nullptr)
        return sizeof(ICINFO);
    if (size < static_cast<LPARAM>(sizeof(ICINFO)))
        return 0;
    std::memset(info, 0, sizeof(ICINFO));
    info->dwSize = sizeof(ICINFO);
    info->fccType = ICTYPE_VIDEO;
    info->fccHandler = kFourcc;
    // Quality-aware: the compressing stream then trusts each frame's size and calls us once.
    info->dwFlags = VIDCF_QUALITY;
    info->dwVersion = 1;
    info->dwVersionICM = ICVERSION;
    std::memcpy(info->szName, L"TestCopy", sizeof L"TestCopy");
    std::memcpy(info->szDescription, L"Test copying codec", sizeof L"Test copying codec");
    return sizeof(ICINFO);
}

inline LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR, UINT msg, LPARAM p1, LPARAM p2) {
    const auto* in = reinterpret_cast<const BITMAPINFOHEADER*>(p1);
    auto* out = reinterpret_cast<BITMAPINFOHEADER*>(p2);
    switch (msg) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_INSTALL:
    case DRV_REMOVE:
        return DRV_OK;
    case DRV_OPEN: {
        // Opened without an ICOPEN only for configuration; a compressor needs one.
        const auto* open = reinterpret_cast<const ICOPEN*>(p2);
        if (open != nullptr && open->fccType != ICTYPE_VIDEO)
            return 0;
        Current().openInstances.fetch_add(1);
        return 1;
    }
    case DRV_CLOSE:
        if (id != 0)
            Current().openInstances.fetch_sub(1);
        return DRV_OK;
    case DRV_QUERYCONFIGURE:
        return 0;
    case ICM_GETINFO:
        return Info(reinterpret_cast<ICINFO*>(p1), p2);
    case ICM_GETDEFAULTQUALITY:
        if (p1 != 0)
            *reinterpret_cast<DWORD*>(p1) = 7500;
        return ICERR_OK;
    case ICM_GETSTATE:
        return 0;
    case ICM_SETSTATE:
        return 0;
    case ICM_COMPRESS_QUERY:
        if (!Accepts(in))
            return ICERR_BADFORMAT;
        if (out != nullptr && (out->biCompression != kFourcc || out->biWidth != in->biWidth ||
                               out->biHeight != in->biHeight || out->biBitCount != in->biBitCount))
            return ICERR_BADFORMAT;
        return ICERR_OK;
    case ICM_COMPRESS_GET_FORMAT:
        if (!Accepts(in))
            return ICERR_BADFORMAT;
        if (out == nullptr)
            return sizeof(BITMAPINFOHEADER);
        OutputFormat(*in, *out);
        return ICERR_OK;
    case ICM_COMPRESS_GET_SIZE:
        return Accepts(in) ? static_cast<LRESULT>(ImageBytes(*in)) : 0;
    case ICM_COMPRESS_BEGIN:
        return Accepts(in) && !Current().failToBegin.load() ? ICERR_OK : ICERR_BADFORMAT;
    case ICM_COMPRESS_END:
        return ICERR_OK;
    case ICM_COMPRESS:
        return Compress(*reinterpret_cast<ICCOMPRESS*>(p1));
    case ICM_DECOMPRESS_QUERY:
        return in != nullptr && in->biCompression == kFourcc ? ICERR_OK : ICERR_BADFORMAT;
    case ICM_DECOMPRESS_GET_FORMAT:
        if (in == nullptr || in->biCompression != kFourcc)
            return ICERR_BADFORMAT;
        if (out == nullptr)
            return sizeof(BITMAPINFOHEADER);
        *out = *in;
        out->biCompression = BI_RGB;
        return ICERR_OK;
    case ICM_DECOMPRESS_BEGIN:
    case ICM_DECOMPRESS_END:
        return ICERR_OK;
    case ICM_DECOMPRESS:
        return Decompress(*reinterpret_cast<ICDECOMPRESS*>(p1));
    default:
        return msg < DRV_USER ? 0 : ICERR_UNSUPPORTED;
    }
}

// Installs the compressor for the life of the object, with a fresh behaviour.
class Installation {
public:
    Installation() {
        Behaviour& b = Current();
        b.firstFrameDelayMs = 0;
        b.frameDelayMs = 0;
        b.refuseFrames = false;
        b.failToBegin = false;
        b.framesCompressed = 0;
        installed_ = ::ICInstall(ICTYPE_VIDEO, kFourcc, reinterpret_cast<LPARAM>(&DriverProc),
                                 nullptr, ICINSTALL_FUNCTION) != FALSE;
    }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;
    ~Installation() {
        if (installed_)
            ::ICRemove(ICTYPE_VIDEO, kFourcc, 0);
    }
    [[nodiscard]] bool Installed() const noexcept { return installed_; }

private:
    bool installed_ = false;
};

} // namespace copy_compressor
