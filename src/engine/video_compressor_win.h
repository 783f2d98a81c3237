#pragma once
// An installed video compressor driven frame by frame through the video compression manager:
// the recording's frames go in, compressed frames and the compressor's key-frame flags come out.
// Key frames come at the first frame after every Begin, every `keyFrameEvery` frames when that
// is not 0, and whenever the caller asks for one (the first frame after a pause, so a player can
// seek there).

#include "framework/handles_win.h"

#include <cstdint>
#include <memory>
#include <vector>
#include <windows.h>
// windows.h first: vfw.h depends on its types.
#include <vfw.h>

class VideoCompressor {
public:
    struct Settings {
        uint32_t quality = 0;       // 0 to 10000
        uint32_t keyFrameEvery = 0; // 0: the compressor's own choice after the first
        uint32_t rate = 0;          // the stream's rate / scale: frames per second of movie
        uint32_t scale = 1;
    };

    // Opens `handler` for frames in `input` and learns its output format. AVIERR_NOCOMPRESSOR
    // when no such compressor opens, AVIERR_BADFORMAT when it refuses the frames.
    [[nodiscard]] static HRESULT Open(uint32_t handler, const BITMAPINFO* input, size_t inputSize,
                                      const Settings& settings,
                                      std::unique_ptr<VideoCompressor>& compressor);
    ~VideoCompressor();
    VideoCompressor(const VideoCompressor&) = delete;
    VideoCompressor& operator=(const VideoCompressor&) = delete;

    // The stream format of the compressed frames: for the frames Open or the last Begin gave.
    [[nodiscard]] const std::vector<uint8_t>& OutputFormat() const noexcept { return output_; }
    // Room the stream header needs for any output format of these frames.
    [[nodiscard]] size_t OutputFormatSize() const noexcept { return output_.size(); }

    // Starts compressing frames in `input` (again after a palette change, with the new colour
    // table); the next frame is a key frame. AVIERR_BADFORMAT when the compressor will not.
    [[nodiscard]] HRESULT Begin(const BITMAPINFO* input, size_t inputSize);
    // One frame of the format Begin was given. The result stays valid until the next call.
    struct Frame {
        const void* data = nullptr;
        size_t size = 0;
        bool key = false;
    };
    [[nodiscard]] HRESULT Compress(const void* bits, bool forceKey, Frame& frame);

private:
    VideoCompressor(UniqueCompressor ic, const Settings& settings)
        : ic_(std::move(ic)), settings_(settings) {}
    [[nodiscard]] HRESULT LearnOutputFormat(const BITMAPINFO* input, size_t inputSize);
    void End() noexcept;

    UniqueCompressor ic_;
    Settings settings_;
    std::vector<uint8_t> input_;   // the format of the frames going in
    std::vector<uint8_t> output_;  // the compressor's format for them
    std::vector<uint8_t> working_; // its copy the compressor writes each frame's size into
    std::vector<uint8_t> compressed_;
    size_t imageBytes_ = 0;
    // A temporal compressor that keeps no copy of its own is handed the frame before.
    bool wantsPrevious_ = false;
    std::vector<uint8_t> previous_;
    bool havePrevious_ = false;
    bool begun_ = false;
    uint32_t sinceKey_ = 0; // frames since the last key frame; 0 means one is due
    LONG frameNumber_ = 0;
};
