#pragma once

// The movie a recording writes: its file name (numbered or not), the file, our AVI writer on it,
// the compressor the frames go through (none for uncompressed frames), the checkpoints that keep
// the file on disk playable, and the room on the disk that completing it needs. One per
// recording. The set-up and the close run on the recording's thread; in between the frames are
// compressed and written on a thread of the movie's own, so that neither a slow compressor nor a
// flush to a slow disk holds up the user interface, and the sound is written beside them.

#include "avi/avi_writer.h"
#include "avi/win_file_win.h"
#include "engine/cost_meter.h"
#include "engine/frame_grabber_win.h"
#include "engine/frame_ring.h"
#include "engine/recording_options.h"
#include "engine/video_compressor_win.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <windows.h>

class SoundCapture;

// What the user is told when a stage of a recording's set-up fails: "(Open AVI)", say.
[[nodiscard]] std::string SetupStageFailed(const char* stage);

class MovieOutput {
public:
    // `frameIndex` holds the positions written, or the abort code; the first abort posts the
    // stop request to `notify`.
    MovieOutput(RecordingOptions& options, FrameCounter& frameIndex, HWND notify);
    ~MovieOutput();
    MovieOutput(const MovieOutput&) = delete;
    MovieOutput& operator=(const MovieOutput&) = delete;

    // The set-up's stages, in order. Each returns what to tell the user when it failed.
    // Makes the file under the name asked for, or the next free number; `renamed` when the name
    // in the options changed.
    [[nodiscard]] std::optional<std::string> CreateFile(bool& renamed);
    // Chooses and opens the compressor and writes the movie's first headers for frames like
    // `first`, with an audio stream when `audio` is given.
    [[nodiscard]] std::optional<std::string> Open(const FrameGrabber& frames,
                                                  const std::optional<avi::AudioStreamInfo>& audio);
    // The sound shares the disk: its chunks' index entries and its last buffer need room too.
    void ShareDiskWith(const SoundCapture& sound) noexcept { sound_ = &sound; }

    // From here on the frames `frames` publishes into its ring are written on the movie's
    // thread, woken by `ready`; while `recordState` is idle they are let go unwritten.
    void StartWriting(FrameGrabber& frames, const std::atomic<int32_t>& recordState, HANDLE ready);
    // Returns once every frame waiting in the ring is written, and with `checkpoint` the file on
    // disk brought up to date (a pause, which may be long or the last thing before a crash).
    void Settle(bool checkpoint);
    // Ends the movie's thread; frames it has not taken from the ring stay unwritten.
    void StopWriting();
    // The next frame is a key frame: a player seeking to where the take goes on finds a whole
    // picture there.
    void KeyFrameDue() noexcept { keyFrameDue_.store(true); }
    // Room for `bytes` more while keeping what completing the file needs; unless `finishing`,
    // also the last part-filled sound buffer, which the stop still writes.
    [[nodiscard]] bool RoomFor(uint64_t bytes, bool finishing) const;
    // Stores the abort code and asks for the stop, unless the recording is already aborted.
    // Always false, for the writers' failure paths.
    bool Abort(HRESULT hr, int32_t code);
    // After the last write: final when frames are in it, else deleted when this recording made
    // it.
    void Close();

    [[nodiscard]] avi::Writer* Stream() noexcept { return movie_.get(); }
    // The stream has its format: sound may go in.
    [[nodiscard]] bool HasFormat() const noexcept { return formatGeneration_.load() >= 0; }
    [[nodiscard]] bool HasAudio() const noexcept { return audio_; }
    [[nodiscard]] uint32_t Handler() const noexcept { return handler_.load(); }
    [[nodiscard]] int32_t FramesWritten() const noexcept { return framesWritten_.load(); }
    // The error of the failure that ended the recording.
    [[nodiscard]] HRESULT LastError() const noexcept { return lastError_; }
    // The costs of a frame written (compressed and into the file), for the timing log.
    [[nodiscard]] std::string DescribeCosts() const;

private:
    void WriteLoop();
    // Writes the frames waiting in the ring, oldest first, until it is empty or the recording
    // has ended.
    void WriteWaiting();
    // Writes one captured frame at `position`, the stream's format first when the frame's is
    // new; false when the recording must end (the abort is stored and the stop asked for).
    bool Write(const FrameSlot& slot, int32_t position);
    // About once a second, and at once when `now`: the file on disk plays up to here.
    void Checkpoint(bool now);
    uint32_t ChooseHandler(const FrameGrabber& frames);
    HRESULT OpenCompressor(const FrameFormatBlock& format);
    // The stream's format at the first frame and after a palette change (the compressor begun
    // anew for it); false when refused, with the abort stored.
    bool GiveFormat(const FrameSlot& slot);
    void RequestStop() const;

    RecordingOptions& options_;
    FrameCounter& frameIndex_;
    HWND notify_;
    const SoundCapture* sound_ = nullptr;
    HRESULT lastError_ = S_OK;

    std::unique_ptr<avi::WinFile> file_;
    std::unique_ptr<avi::Writer> movie_;
    std::unique_ptr<VideoCompressor> compressor_;
    std::string fileName_;
    std::string directory_;    // where the free space is measured, with a trailing backslash
    bool fileCreated_ = false; // only a file this recording created may be deleted
    std::atomic<uint32_t> handler_{0};
    bool handlerChosenByDepth_ = false; // free to fall back to uncompressed frames
    int32_t imageSize_ = 0;
    std::atomic<int32_t> formatGeneration_{-1}; // of the format the stream has now
    std::atomic<bool> keyFrameDue_{false};
    bool audio_ = false; // the movie has an audio stream
    DWORD lastCheckpointMs_ = 0;
    std::atomic<int32_t> framesWritten_{0}; // a file without a single frame is not a recording
    CostMeter writeCost_;
    CostMeter compressCost_;

    // The movie's thread, and what the recording's thread asks of it.
    std::thread thread_;
    FrameGrabber* frames_ = nullptr;
    const std::atomic<int32_t>* recordState_ = nullptr;
    HANDLE ready_ = nullptr;
    std::atomic<bool> quit_{false};
    std::mutex askMutex_;
    std::condition_variable settled_;
    uint64_t settleAsked_ = 0; // under askMutex_, as the three below
    uint64_t settleDone_ = 0;
    bool checkpointAsked_ = false;
    bool threadGone_ = false;
};
