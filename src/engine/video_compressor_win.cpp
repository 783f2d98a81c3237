#include "engine/video_compressor_win.h"

#include "engine/frame_format.h"

#include <algorithm>
#include <cstring>

namespace {

BITMAPINFOHEADER* Header(std::vector<uint8_t>& format) {
    return reinterpret_cast<BITMAPINFOHEADER*>(format.data());
}

} // namespace

HRESULT VideoCompressor::Open(uint32_t handler, const BITMAPINFO* input, size_t inputSize,
                              const Settings& settings,
                              std::unique_ptr<VideoCompressor>& compressor) {
    compressor.reset();
    UniqueCompressor ic(::ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS));
    if (!ic)
        return AVIERR_NOCOMPRESSOR;
    if (ICCompressQuery(ic.get(), input, nullptr) != ICERR_OK)
        return AVIERR_BADFORMAT;
    std::unique_ptr<VideoCompressor> made(new VideoCompressor(std::move(ic), settings));
    ICINFO info{};
    info.dwSize = sizeof info;
    if (::ICGetInfo(made->ic_.get(), &info, sizeof info) != 0)
        made->wantsPrevious_ =
            (info.dwFlags & VIDCF_TEMPORAL) != 0 && (info.dwFlags & VIDCF_FASTTEMPORALC) == 0;
    const HRESULT hr = made->LearnOutputFormat(input, inputSize);
    if (hr != AVIERR_OK)
        return hr;
    compressor = std::move(made);
    return AVIERR_OK;
}

VideoCompressor::~VideoCompressor() {
    End();
}

void VideoCompressor::End() noexcept {
    if (begun_)
        ICCompressEnd(ic_.get());
    begun_ = false;
}

HRESULT VideoCompressor::LearnOutputFormat(const BITMAPINFO* input, size_t inputSize) {
    const auto* in = &input->bmiHeader;
    const auto image =
        ImageSize(in->biWidth, in->biHeight < 0 ? -in->biHeight : in->biHeight, in->biBitCount);
    const LRESULT formatSize = ICCompressGetFormatSize(ic_.get(), input);
    if (!image || formatSize < static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)) ||
        formatSize > (1 << 20))
        return AVIERR_BADFORMAT;
    std::vector<uint8_t> output(static_cast<size_t>(formatSize), 0);
    if (ICCompressGetFormat(ic_.get(), input, Header(output)) != ICERR_OK)
        return AVIERR_BADFORMAT;
    // Some compressors say a larger size than they fill: the header says what is there.
    const BITMAPINFOHEADER* out = Header(output);
    if (out->biSize < sizeof(BITMAPINFOHEADER) || out->biSize > output.size())
        return AVIERR_BADFORMAT;
    const DWORD largest = ICCompressGetSize(ic_.get(), input, Header(output));
    input_.assign(reinterpret_cast<const uint8_t*>(input),
                  reinterpret_cast<const uint8_t*>(input) + inputSize);
    output_ = std::move(output);
    imageBytes_ = static_cast<size_t>(*image);
    // A compressor that cannot say how large a frame may get is given twice the raw frame.
    const size_t room = largest > 0 ? largest : 2 * imageBytes_ + 65536;
    compressed_.assign(std::max(room, size_t{4096}), 0);
    return AVIERR_OK;
}

HRESULT VideoCompressor::Begin(const BITMAPINFO* input, size_t inputSize) {
    End();
    HRESULT hr = LearnOutputFormat(input, inputSize);
    if (hr != AVIERR_OK)
        return hr;
    // The movie's rate, quality and key-frame interval, as the AVI services tell a compressor.
    ICCOMPRESSFRAMES frames{};
    frames.lpbiOutput = Header(output_);
    frames.lOutput = static_cast<LONG>(compressed_.size());
    frames.lpbiInput = reinterpret_cast<LPBITMAPINFOHEADER>(input_.data());
    frames.lInput = static_cast<LONG>(imageBytes_);
    frames.lQuality = static_cast<LONG>(settings_.quality);
    frames.lKeyRate = static_cast<LONG>(settings_.keyFrameEvery);
    frames.dwRate = settings_.rate;
    frames.dwScale = settings_.scale;
    ::ICSendMessage(ic_.get(), ICM_COMPRESS_FRAMES_INFO, reinterpret_cast<DWORD_PTR>(&frames),
                    sizeof frames);
    if (ICCompressBegin(ic_.get(), input_.data(), output_.data()) != ICERR_OK)
        return AVIERR_BADFORMAT;
    begun_ = true;
    working_ = output_;
    sinceKey_ = 0;
    havePrevious_ = false;
    if (wantsPrevious_)
        previous_.assign(imageBytes_, 0);
    return AVIERR_OK;
}

HRESULT VideoCompressor::Compress(const void* bits, bool forceKey, Frame& frame) {
    if (!begun_)
        return AVIERR_COMPRESSOR;
    const bool key = forceKey || sinceKey_ == 0 ||
                     (settings_.keyFrameEvery > 0 && sinceKey_ >= settings_.keyFrameEvery) ||
                     (wantsPrevious_ && !havePrevious_);
    // The compressor writes the frame's size into the output header.
    BITMAPINFOHEADER* out = Header(working_);
    out->biSizeImage = static_cast<DWORD>(compressed_.size());
    DWORD ckid = 0;
    DWORD flags = 0;
    const bool previous = wantsPrevious_ && havePrevious_ && !key;
    const DWORD result =
        ::ICCompress(ic_.get(), key ? ICCOMPRESS_KEYFRAME : 0, out, compressed_.data(),
                     reinterpret_cast<LPBITMAPINFOHEADER>(input_.data()), const_cast<void*>(bits),
                     &ckid, &flags, frameNumber_++, 0, settings_.quality,
                     previous ? reinterpret_cast<LPBITMAPINFOHEADER>(input_.data()) : nullptr,
                     previous ? previous_.data() : nullptr);
    if (result != ICERR_OK || out->biSizeImage > compressed_.size())
        return AVIERR_COMPRESSOR;
    frame.data = compressed_.data();
    frame.size = out->biSizeImage;
    frame.key = (flags & AVIIF_KEYFRAME) != 0;
    sinceKey_ = frame.key ? 1 : sinceKey_ + 1;
    if (wantsPrevious_) {
        std::memcpy(previous_.data(), bits, imageBytes_);
        havePrevious_ = true;
    }
    return AVIERR_OK;
}
