#include "engine/movie_output_win.h"

#include "codec/zmbv_driver_win.h"
#include "engine/file_naming.h"
#include "engine/frame_format.h"
#include "engine/option_rules.h"
#include "engine/record_state_win.h"
#include "engine/sound_capture_win.h"
#include "engine/stopwatch_win.h"
#include "framework/app_win.h"
#include "framework/text_format.h"
#include "resources/resource_ids.h"

#include <algorithm>
#include <mmsystem.h>
#include <set>
#include <utility>

namespace {

// Room the file needs besides the next frame and the old index's entry per chunk: a new index
// chunk for each stream, a segment header, and this to spare.
constexpr uint64_t kSpareRoom = 32 * 1024;
// How often the file on disk is brought up to date while recording: a take cut off by a crash
// loses no more than this.
constexpr DWORD kCheckpointMs = 1000;
// A stream's name is kept in 64 characters, its ending zero included.
constexpr size_t kStreamNameChars = 64;

// The folder a file is in, as GetDiskFreeSpaceEx wants it: full path, trailing backslash.
std::string DirectoryOf(const std::string& fileName) {
    char full[MAX_PATH];
    char* namePart = nullptr;
    const DWORD n = ::GetFullPathNameA(fileName.c_str(), MAX_PATH, full, &namePart);
    if (n == 0 || n >= MAX_PATH || namePart == nullptr)
        return {};
    return std::string(full, namePart);
}

bool FileOrDirectoryExists(const std::string& name) {
    return ::GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

std::string SetupStageFailed(const char* stage) {
    return FormatText(App().LoadString(IDS_AVI_SETUP_FAILED), {stage});
}

MovieOutput::MovieOutput(RecordingOptions& options, FrameCounter& frameIndex, HWND notify)
    : options_(options), frameIndex_(frameIndex), notify_(notify) {}

MovieOutput::~MovieOutput() {
    StopWriting();
    Close();
}

void MovieOutput::StartWriting(FrameGrabber& frames, const std::atomic<int32_t>& recordState,
                               HANDLE ready) {
    frames_ = &frames;
    recordState_ = &recordState;
    ready_ = ready;
    quit_.store(false);
    thread_ = std::thread([this] { WriteLoop(); });
}

void MovieOutput::WriteLoop() {
    try {
        while (!quit_.load()) {
            ::WaitForSingleObject(ready_, INFINITE);
            uint64_t asked = 0;
            bool checkpoint = false;
            {
                const std::lock_guard lock(askMutex_);
                asked = settleAsked_;
                checkpoint = std::exchange(checkpointAsked_, false);
            }
            WriteWaiting();
            if (checkpoint)
                Checkpoint(true);
            {
                const std::lock_guard lock(askMutex_);
                settleDone_ = asked;
            }
            settled_.notify_all();
        }
    } catch (...) {
        // Out of memory in a compressor, say: the take so far is kept and the user told.
        (void)Abort(E_OUTOFMEMORY, abort_code::VideoWriteFailed);
    }
    {
        const std::lock_guard lock(askMutex_);
        threadGone_ = true;
    }
    settled_.notify_all();
}

void MovieOutput::WriteWaiting() {
    FrameRing& ring = frames_->Ring();
    while (!frameIndex_.Aborted()) {
        const int slot = ring.NextFilled();
        if (slot < 0)
            return;
        const bool written = recordState_->load() == record_state::Idle ||
                             Write(frames_->Slot(slot), ring.Position(slot));
        ring.Release(slot);
        if (!written)
            return; // the stop reports the failure, from the recording's queue
    }
}

void MovieOutput::Settle(bool checkpoint) {
    if (!thread_.joinable())
        return;
    std::unique_lock lock(askMutex_);
    const uint64_t ticket = ++settleAsked_;
    checkpointAsked_ = checkpointAsked_ || checkpoint;
    ::SetEvent(ready_);
    settled_.wait(lock, [&] { return settleDone_ >= ticket || threadGone_; });
}

void MovieOutput::StopWriting() {
    if (!thread_.joinable())
        return;
    quit_.store(true);
    ::SetEvent(ready_);
    thread_.join();
}

std::optional<std::string> MovieOutput::CreateFile(bool& renamed) {
    renamed = false;
    const std::string wanted = EnsureAviExtension(options_.FileName);
    std::string name = wanted;
    DWORD error = 0;
    if (!options_.IncrementFileName) {
        if (name.size() > option_rules::kMaxFileName)
            return FormatText(App().LoadString(IDS_BAD_FILE_NAME), {name});
        // The user marked it to keep: never record over it, whoever runs the program.
        const DWORD attributes = ::GetFileAttributesA(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return SetupStageFailed("(Open AVI)");
        ::DeleteFileA(name.c_str());
        file_ = avi::WinFile::Create(name, error);
    } else {
        // Another copy of the program may pick the same free number at the same moment: the
        // file is made only where none is, and the next number is tried where one appeared.
        std::set<std::string> taken;
        for (;;) {
            const auto next = NextFreeFileName(wanted, [&taken](const std::string& candidate) {
                return taken.count(candidate) > 0 || FileOrDirectoryExists(candidate);
            });
            switch (next.error) {
            case NamingError::None:
                break;
            case NamingError::NoFreeNumber:
                return FormatText(App().LoadString(IDS_NO_FREE_FILE_NAME), {wanted});
            case NamingError::TooLong:
            case NamingError::NumberTooLarge:
                return FormatText(App().LoadString(IDS_BAD_FILE_NAME), {wanted});
            }
            if (next.name.size() > option_rules::kMaxFileName)
                return FormatText(App().LoadString(IDS_BAD_FILE_NAME), {next.name});
            name = next.name;
            file_ = avi::WinFile::CreateNew(name, error);
            if (file_ || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS))
                break;
            taken.insert(name);
        }
    }
    if (!file_)
        return SetupStageFailed("(Open AVI)");
    fileCreated_ = true;
    fileName_ = name;
    directory_ = DirectoryOf(name);
    if (name != options_.FileName) {
        options_.FileName = name;
        renamed = true;
    }
    return std::nullopt;
}

std::optional<std::string> MovieOutput::Open(const FrameGrabber& frames,
                                             const std::optional<avi::AudioStreamInfo>& audio) {
    imageSize_ = frames.ImageSize();
    const uint32_t handler = ChooseHandler(frames);
    const bool uncompressed = handler == fourcc::Dib;
    handler_ = handler;
    if (!uncompressed && OpenCompressor(frames.FirstFormat()) != AVIERR_OK)
        return SetupStageFailed("(Make Compressed Stream)");
    audio_ = audio.has_value();
    const auto rate = VideoStreamRate(options_.FrameRate, options_.PlaybackRate);
    avi::VideoStreamInfo video;
    video.handler = handler;
    video.rate = rate->rate;
    video.scale = rate->scale;
    video.suggestedBufferSize = static_cast<uint32_t>(imageSize_);
    video.width = options_.Width;
    video.height = options_.Height;
    // As long as a stream name may be, ending in its zero.
    video.name = (App().Name() + " Video").substr(0, kStreamNameChars - 1);
    video.compressed = !uncompressed;
    // Room for the frames' own format (a palette change keeps its size) or the compressor's.
    const size_t formatBytes = std::max(frames.FirstFormat().bytes.size(),
                                        compressor_ ? compressor_->OutputFormatSize() : 0);
    video.formatCapacity = static_cast<uint32_t>(std::max<size_t>(2048, formatBytes + 64));
    const avi::WriterLimits limits = avi::LimitsForRate(video.rate, video.scale);
    movie_ = std::make_unique<avi::Writer>(*file_, std::move(video), audio, limits);
    switch (movie_->Open()) {
    case avi::WriteStatus::Ok:
        break;
    case avi::WriteStatus::WriteFailed:
        return SetupStageFailed("(Open AVI)");
    default:
        return SetupStageFailed("(Create Video Stream)");
    }
    lastCheckpointMs_ = ::timeGetTime();
    return std::nullopt;
}

uint32_t MovieOutput::ChooseHandler(const FrameGrabber& frames) {
    uint32_t handler = options_.CompFourcc;
    handlerChosenByDepth_ = handler == 0;
    if (handler != 0)
        return handler;
    // The choice by depth is only a guess: ask it first, and when it cannot take these frames
    // use our lossless screen codec, or uncompressed frames where even that cannot, rather than
    // fail.
    handler = DefaultHandler(frames.BitsPerPixel());
    if (handler != fourcc::Dib) {
        UniqueCompressor ic(::ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS));
        if (!ic || ICCompressQuery(ic.get(), frames.FirstFormat().Info(), nullptr) != ICERR_OK)
            handler = zmbv_driver::FallbackHandler(frames.FirstFormat().Info());
    }
    return handler;
}

HRESULT MovieOutput::OpenCompressor(const FrameFormatBlock& format) {
    const auto rate = VideoStreamRate(options_.FrameRate, options_.PlaybackRate);
    VideoCompressor::Settings settings;
    settings.quality = CompressorQuality(options_.CompQuality);
    settings.keyFrameEvery = KeyFrameInterval(options_.KeyFrames);
    settings.rate = rate->rate;
    settings.scale = rate->scale;
    // The user's own choice is asked too: a refusal is reported now, not at the first frame with
    // an empty movie left behind.
    return VideoCompressor::Open(handler_, format.Info(), format.bytes.size(), settings,
                                 compressor_);
}

// A write that fails on a full disk leaves a movie that plays, but one without its last index
// and finished headers is only what the last checkpoint saw. So the writer stops while there is
// still room to complete the file. Frames and sound share the disk: each write must leave room for
// the index entries of every chunk so far and, while sound is captured, for the part-filled buffer
// the stop writes last.
bool MovieOutput::RoomFor(uint64_t bytes, bool finishing) const {
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExA(directory_.c_str(), &available, nullptr, nullptr))
        return true; // cannot tell: let the write itself report
    const int32_t frames = frameIndex_.Load();
    const uint64_t chunks = static_cast<uint64_t>(frames > 0 ? frames : 0) +
                            static_cast<uint64_t>(audio_ && sound_ ? sound_->Chunks() : 0) + 1;
    const uint64_t indexChunk = movie_ ? movie_->IndexChunkBytes() : 0;
    uint64_t needed = bytes + 16 * chunks + 2 * indexChunk + kSpareRoom;
    if (audio_ && sound_ && !finishing)
        needed += static_cast<uint64_t>(sound_->Runs().BufferBytes());
    return available.QuadPart >= needed;
}

bool MovieOutput::GiveFormat(const FrameSlot& slot) {
    const FrameFormatBlock& format = *slot.format;
    HRESULT hr = AVIERR_OK;
    if (compressor_) {
        hr = compressor_->Begin(format.Info(), format.bytes.size());
        if (hr != AVIERR_OK && formatGeneration_.load() < 0 && handlerChosenByDepth_) {
            // A compressor can accept the frames when asked and still fail when it begins. The
            // choice was ours, so record uncompressed frames; the header still may say so.
            compressor_.reset();
            handler_ = fourcc::Dib;
            const avi::WriteStatus status = movie_->SetVideoHandler(fourcc::Dib, false);
            if (status != avi::WriteStatus::Ok)
                return Abort(avi::AviError(status), abort_code::VideoWriteFailed);
            hr = AVIERR_OK;
        }
    }
    if (hr != AVIERR_OK)
        return Abort(hr, abort_code::FormatRefused);
    const std::vector<uint8_t>& bytes = compressor_ ? compressor_->OutputFormat() : format.bytes;
    const avi::WriteStatus status = movie_->SetVideoFormat(bytes.data(), bytes.size());
    if (status == avi::WriteStatus::WriteFailed)
        return Abort(AVIERR_FILEWRITE, abort_code::VideoWriteFailed);
    if (status != avi::WriteStatus::Ok)
        return Abort(AVIERR_BADFORMAT, abort_code::FormatRefused);
    formatGeneration_ = slot.generation;
    return true;
}

bool MovieOutput::Write(const FrameSlot& slot, int32_t position) {
    if (slot.generation > formatGeneration_.load() && !GiveFormat(slot))
        return false;
    const Stopwatch writeWatch;
    VideoCompressor::Frame frame{slot.bits, static_cast<size_t>(imageSize_), true};
    if (compressor_) {
        const HRESULT hr = compressor_->Compress(slot.bits, keyFrameDue_.load(), frame);
        if (hr != AVIERR_OK)
            return Abort(hr, abort_code::VideoWriteFailed);
        compressCost_.Add(writeWatch.Microseconds());
    }
    // Frames only go forwards: one the clock placed behind the last is put after it.
    const int64_t at = std::max<int64_t>(position, movie_->VideoLength());
    // The frame as it goes into the file (compressed, it may be a small part of the picture),
    // with the empty frames of the positions a stall left behind.
    if (!RoomFor(movie_->BytesForVideo(at, frame.size), false))
        return Abort(AVIERR_FILEWRITE, abort_code::VideoWriteFailed);
    const avi::WriteStatus status = movie_->WriteVideo(at, frame.data, frame.size, frame.key);
    if (status != avi::WriteStatus::Ok)
        return Abort(avi::AviError(status), abort_code::VideoWriteFailed);
    if (frame.key)
        keyFrameDue_.store(false);
    // The checkpoints' clock starts with the first frame, not with the set-up before it (the
    // sound's start, the beep), which would make the first one due at once.
    if (framesWritten_.load() == 0)
        lastCheckpointMs_ = ::timeGetTime();
    ++framesWritten_;
    frameIndex_.AdvanceTo(static_cast<int32_t>(at + 1));
    Checkpoint(false);
    writeCost_.Add(writeWatch.Microseconds());
    return true;
}

void MovieOutput::Checkpoint(bool now) {
    if (!movie_ || framesWritten_.load() == 0 || frameIndex_.Aborted())
        return;
    const DWORD time = ::timeGetTime();
    if (!now && time - lastCheckpointMs_ < kCheckpointMs)
        return;
    lastCheckpointMs_ = time;
    const avi::WriteStatus status = movie_->Checkpoint();
    if (status != avi::WriteStatus::Ok)
        (void)Abort(avi::AviError(status), abort_code::VideoWriteFailed);
}

bool MovieOutput::Abort(HRESULT hr, int32_t code) {
    // A write the movie refused because it holds all it can is its end, not a failure,
    // whichever write it was.
    if (movie_ && movie_->Full())
        code = abort_code::MovieFull;
    // The first abort is the one reported, with its own error, and only its author asks for the
    // stop.
    if (frameIndex_.Abort(code)) {
        lastError_ = hr;
        RequestStop();
    }
    return false;
}

void MovieOutput::RequestStop() const {
    ::PostMessageA(notify_, WM_ENGINE_STOP_REQUEST, 0, 0);
}

void MovieOutput::Close() {
    if (movie_ && framesWritten_.load() > 0) {
        // Everything final: the last index entries, the sizes and lengths, the old index. A
        // failure here still leaves the movie as the last checkpoint saw it, and is told.
        const avi::WriteStatus status = movie_->Finish();
        if (status != avi::WriteStatus::Ok && frameIndex_.Abort(abort_code::VideoWriteFailed))
            lastError_ = avi::AviError(status);
    }
    compressor_.reset();
    movie_.reset();
    file_.reset();
    // A file without a single frame is not a recording; never delete one this run did not make.
    if (fileCreated_ && framesWritten_.load() == 0)
        ::DeleteFileA(fileName_.c_str());
    fileCreated_ = false;
}

std::string MovieOutput::DescribeCosts() const {
    return writeCost_.Describe("writes") + " " + compressCost_.Describe("compress");
}
